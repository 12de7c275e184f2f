// "lorvantine --inspect" run as a program against fixture desktops: what each stream holds and
// the exit status.
#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"

#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;


struct InspectRun {
    const char* fixture;
    std::vector<std::string> arguments;
    int status;
    std::string out;                    // standard output, exactly; or its beginning with `outPrefix`
    bool outPrefix;
    std::vector<std::string> errLines;  // lines standard error must hold
};

const std::string galleryTree = "[AXWindow] title=\"Holiday album\"\n"
                                "  [AXButton] title=\"Slideshow\"\n"
                                "  [AXScrollArea]\n"
                                "    [AXGroup]\n"
                                "      [AXImage] desc=\"Beach\"\n"
                                "      [AXStaticText] value=\"The beach at Porthcurno\nlow tide\"\n"
                                "    [AXGroup]\n"
                                "      [AXImage] desc=\"Harbour\"\n"
                                "      [AXStaticText] value=\"Boats in Mousehole harbour\"\n"
                                "      [AXStaticText] value=\"\"\n"
                                "    [AXGroup]\n"
                                "      [AXImage] desc=\"Cliffs\"\n"
                                "      [AXStaticText] value=\"Cliffs\"\n";

TEST(InspectCommand, WritesTheReportOnStandardErrorAndTheTreeAloneOnStandardOutput)
{
    const InspectRun runs[] = {
        // The frontmost application, at depth 16 when the depth is no number.
        { "inspect-gallery.json", { "--inspect", "--depth", "x" }, 0, galleryTree, false,
          { "Bundle ID: com.example.Gallery", "   📋 分类建议: Category B (原生文本) — 3 个文本节点", "   ── AX 树（stdout，可重定向）──" } },
        { "inspect-gallery.json", { "--inspect", "--depth", "0" }, 0, "[AXWindow] title=\"Holiday album\"\n", false,
          { "   AXStaticText 节点: 0", "   📋 分类建议: Unknown — 无 AXStaticText 也无 AXImage，需手动分析" } },
        { "safari-article.json", { "--inspect", "--app", "com.apple.Safari" }, 0,
          "[AXWindow] title=\"The Quiet Art of Reading Aloud – Example Press\"\n", true,
          { "   📋 分类建议: Category A (Electron/WebView) — 复用现有 ArticleParser，加 bundleID 即可" } },
        { "inspect-text-averages.json", { "--inspect", "--app", "com.example.ParaNotes" }, 0, "[AXWindow] title=\"Harbour diary\"\n", true,
          { "   📋 分类建议: Category B (原生文本，按段暴露) — AXStaticText 已是段落粒度，平均 100 字符/段" } },
        { "inspect-text-averages.json", { "--inspect", "--app", "com.example.LineNotes" }, 0, "[AXWindow] title=\"Tide tables\"\n", true,
          { "   📋 分类建议: Category B (原生文本，按行暴露) — 需要 NativeDocumentParser 行合并，平均 99 字符/行" } },
        { "inspect-image-only.json", { "--inspect" }, 0,
          "[AXWindow] title=\"Chapter 1\"\n  [AXToolbar]\n    [AXButton] title=\"Next page\"\n  [AXImage] desc=\"Page 1\"\n", false,
          { "   📋 分类建议: Category C (图片渲染) — AX 无文本，需要 OCR" } },
        { "inspect-no-windows.json", { "--inspect", "--app", "com.example.Agent" }, 0, "", false,
          { "   kAXWindows 错误码: 0 (success)", "   focusedWindow: ❌", "   应用 AXRole: AXApplication",
            "⚠️  没有窗口（可能需要额外权限或应用使用非标准窗口模型）" } },
        { "inspect-no-windows.json", { "--inspect", "--app", "com.example.Canvas" }, 0,
          "[AXWindow] title=\"Sketch\"\n  [AXStaticText] value=\"Layer 1: the outline of the hills\"\n", false,
          { "   kAXWindows 错误码: -25204 (cannotComplete)", "   focusedWindow: Sketch ✅" } },
        { "inspect-gallery.json", { "--inspect", "--app", "com.example.Missing" }, 1, "", false,
          { "⚠️  应用 com.example.Missing 未运行", "❌ 未找到目标应用" } },
    };
    ScratchDirectory directory;
    for (const InspectRun& run : runs) {
        SCOPED_TRACE(std::string(run.fixture) + " " + testing::PrintToString(run.arguments));
        ChildProcess child({ .program = lorvantineProgram,
                             .arguments = run.arguments,
                             .environment = { { "LORVANTINE_DESKTOP", (testFixtures / run.fixture).string() } },
                             .directory = directory.path() });
        EXPECT_EQ(child.wait(10s), run.status);
        const std::string out = child.standardOutput();
        const std::string err = child.standardError();
        if (run.outPrefix)
            EXPECT_EQ(out.substr(0, run.out.size()), run.out);
        else
            EXPECT_EQ(out, run.out);
        EXPECT_TRUE(err.starts_with("✅ 辅助功能权限已授权\n")) << err;
        for (const std::string& line : run.errLines)
            EXPECT_NE(err.find("\n" + line + "\n"), std::string::npos) << line << "\n" << err;
        // Not a line of the tree on standard error.
        EXPECT_EQ(err.find("\n[AXWindow] title="), std::string::npos) << err;
    }
}

} // namespace
} // namespace lorvantine::test
