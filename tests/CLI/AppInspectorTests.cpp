// The inspector run through the router against fixture desktops: the report on the diagnostic
// log, the tree alone on standard output, the status.
#include "CLI/CLIRouter.h"

#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "TestSupport/DesktopTest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

namespace lorvantine {
namespace {

using ::testing::Contains;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Matcher;
using ::testing::Not;
using ::testing::StartsWith;

struct Report {
    int status = -1;
    std::vector<std::string> lines; // after the permission line
    std::string tree;               // standard output
};

class AppInspectorTest : public ::testing::Test {
protected:
    void use(const SimFixture& fixture)
    {
        m_services.reset();
        desktop = SimDesktop::create(fixture);
        m_services.emplace(desktop->services());
    }

    Report inspect(const std::vector<std::string>& more = {})
    {
        CLIRouter::Arguments args { "lorvantine", "--inspect" };
        args.insert(args.end(), more.begin(), more.end());
        std::ostringstream out;
        Log::Capture log;
        std::streambuf* previous = std::cout.rdbuf(out.rdbuf());
        Report report;
        report.status = CLIRouter::route(args);
        std::cout.rdbuf(previous);
        report.lines = log.lines();
        EXPECT_EQ(report.lines.front(), "✅ 辅助功能权限已授权");
        report.lines.erase(report.lines.begin());
        report.tree = out.str();
        return report;
    }

    std::string recommendation(const Report& report)
    {
        for (const std::string& line : report.lines)
            if (line.starts_with("   📋 分类建议: "))
                return line.substr(std::string("   📋 分类建议: ").size());
        return "(none)";
    }

    std::shared_ptr<SimDesktop> desktop;

private:
    std::optional<Platform::ScopedServices> m_services;
};

TEST_F(AppInspectorTest, GalleryReportCountsTextsImagesAndRolesProbesAndPreviewsTheTexts)
{
    use(fixtureNamed("inspect-gallery.json"));
    Report report = inspect({ "--app", "com.example.Gallery" });
    EXPECT_EQ(report.status, 0);
    const std::vector<Matcher<std::string>> expected {
        "━━━ App Inspector ━━━",
        "应用: Gallery",
        "Bundle ID: com.example.Gallery",
        "PID: 941",
        "窗口数: 1",
        "── 窗口 0: Holiday album [AXWindow] (820×600 at 120,80)",
        "   AXWebArea: ❌  AXScrollArea: ✅",
        // The empty caption is a static text of the histogram, not a text.
        "   AXStaticText 节点: 3",
        "   总字符数: 64",
        "   平均文本长度: 21 字符  最大: 32 字符  最小: 6 字符",
        // Equal counts in the order of their names.
        "   Role 分布: AXStaticText:4, AXGroup:3, AXImage:3, AXButton:1, AXScrollArea:1, AXWindow:1",
        "   📋 分类建议: Category B (原生文本) — 3 个文本节点",
        "   ── AX 能力探测 ──",
        "   元素[0]: \"The beach at Porthcurno↵low tide...\" (32 chars)",
        "     AXNumberOfCharacters: 32 ✅",
        StartsWith("     AXBoundsForRange[0,1]: (352,160 "),
        "     AXStringForRange[0,5]: \"The b\" ✅",
        "     AXScrollToVisible: ✅  Actions: AXShowMenu, AXScrollToVisible",
        "   元素[1]: \"Boats in Mousehole harbour...\" (26 chars)",
        "     AXNumberOfCharacters: 26 ✅",
        StartsWith("     AXBoundsForRange[0,1]: (352,326 "),
        "     AXStringForRange[0,5]: \"Boats\" ✅",
        "     AXScrollToVisible: ❌  Actions: ",
        "   ── 文本预览 ──",
        "   [0] \"The beach at Porthcurno↵low tide\" frame=(352,160 560×40)",
        "   [1] \"Boats in Mousehole harbour\" frame=(352,326 560×24)",
        "   [2] \"Cliffs\" frame=(352,492 560×24)",
        "",
        "   ── AX 树（stdout，可重定向）──",
        "",
    };
    EXPECT_THAT(report.lines, ElementsAreArray(expected));
    EXPECT_EQ(report.tree, "[AXWindow] title=\"Holiday album\"\n"
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
                           "      [AXStaticText] value=\"Cliffs\"\n");
}

TEST_F(AppInspectorTest, ProbesAskForTheFirstFiveCharactersInUtf16Units)
{
    use(fixtureNamed("inspect-text-averages.json"));
    Report report = inspect({ "--app", "com.example.LineNotes" });
    const std::string accents = "e\u0301e\u0301"; // each an e with a combining acute
    // Three thumbs with skin tones (4 units each) and two accents of two scalars (2 units each).
    EXPECT_THAT(report.lines, Contains("   元素[0]: \"👍🏽👍🏽👍🏽" + accents + "The harbour wakes before the town d...\" (60 chars)"));
    EXPECT_THAT(report.lines, Contains("     AXNumberOfCharacters: 71 ✅"));
    EXPECT_THAT(report.lines, Contains("     AXStringForRange[0,16]: \"👍🏽👍🏽👍🏽" + accents + "\" ✅"));
    EXPECT_THAT(report.lines, Contains("   平均文本长度: 99 字符  最大: 140 字符  最小: 60 字符"));
}

TEST_F(AppInspectorTest, DepthLimitsEveryWalkAndANonNumberMeansSixteen)
{
    use(fixtureNamed("inspect-gallery.json"));
    Report shallow = inspect({ "--depth", "0" });
    EXPECT_EQ(shallow.tree, "[AXWindow] title=\"Holiday album\"\n");
    EXPECT_THAT(shallow.lines, Contains("   AXStaticText 节点: 0"));
    EXPECT_THAT(shallow.lines, Contains("   Role 分布: AXWindow:1"));
    // The role searches keep their own depths.
    EXPECT_THAT(shallow.lines, Contains("   AXWebArea: ❌  AXScrollArea: ✅"));
    EXPECT_THAT(shallow.lines, Not(Contains("   ── AX 能力探测 ──")));
    EXPECT_THAT(shallow.lines, Not(Contains("   ── 文本预览 ──")));

    Report three = inspect({ "--depth", "3" });
    EXPECT_THAT(three.tree, HasSubstr("      [AXStaticText] value=\"Cliffs\"\n"));
    Report two = inspect({ "--depth", "+2" });
    EXPECT_THAT(two.lines, Contains("   Role 分布: AXGroup:3, AXButton:1, AXScrollArea:1, AXWindow:1"));
    EXPECT_THAT(two.tree, Not(HasSubstr("AXImage")));

    const Report byDefault = inspect();
    for (const char* notANumber : { "x", "", "1.5", "+-1", "99999999999999999999", " 2" }) {
        SCOPED_TRACE(notANumber);
        Report report = inspect({ "--depth", notANumber });
        EXPECT_EQ(report.lines, byDefault.lines);
        EXPECT_EQ(report.tree, byDefault.tree);
    }
    EXPECT_EQ(inspect({ "--depth", "16" }).tree, byDefault.tree);
    // "--depth" as the last argument has no value.
    EXPECT_EQ(inspect({ "--depth" }).tree, byDefault.tree);
}

TEST_F(AppInspectorTest, WithoutAppItInspectsTheFrontmostApplication)
{
    use(fixtureNamed("inspect-text-averages.json"));
    Report report = inspect({ "--app" });
    EXPECT_THAT(report.lines, Contains("Bundle ID: com.example.ParaNotes"));
    EXPECT_THAT(report.tree, StartsWith("[AXWindow] title=\"Harbour diary\"\n"));
}

TEST_F(AppInspectorTest, WithNothingInFrontThereIsNoApplicationToInspect)
{
    use(SimFixture {});
    Report report = inspect();
    EXPECT_EQ(report.status, 1);
    EXPECT_EQ(report.lines, (std::vector<std::string> { "❌ 未找到目标应用" }));
}

TEST_F(AppInspectorTest, WithoutAWindowListItShowsWhyAndTakesOnlyAnElementForTheFocusedWindow)
{
    use(fixtureNamed("inspect-no-windows.json"));
    Report agent = inspect({ "--app", "com.example.Agent" });
    EXPECT_EQ(agent.status, 0);
    EXPECT_EQ(agent.lines, (std::vector<std::string> {
                               "━━━ App Inspector ━━━", "应用: Agent", "Bundle ID: com.example.Agent", "PID: 961", "窗口数: 0",
                               "   kAXWindows 错误码: 0 (success)", "   focusedWindow: ❌",
                               "   可用属性: AXRole, AXChildren, AXTitle, AXWindows, AXFocusedWindow, AXMainWindow, AXFrontmost, "
                               "AXHidden, AXFocusedUIElement",
                               "   应用 AXRole: AXApplication", "", "⚠️  没有窗口（可能需要额外权限或应用使用非标准窗口模型）" }));
    EXPECT_EQ(agent.tree, "");

    // A focused window that answers with something other than an element is no window.
    desktop->setAttribute(AXElement { 962, 0 }, "AXFocusedWindow", std::string("Sketch"));
    Report odd = inspect({ "--app", "com.example.Canvas" });
    EXPECT_THAT(odd.lines, Contains("   focusedWindow: ❌"));
    EXPECT_EQ(odd.tree, "");
}

TEST_F(AppInspectorTest, OnlyTheFirstWindowsTreeIsPrinted)
{
    use(fixtureNamed("inspect-text-averages.json"));
    SimWindow second;
    second.title = "Second";
    second.frame = Rect(300, 300, 400, 300);
    second.children.push_back(SimElement("AXStaticText", "A second window's text"));
    desktop->addWindow(932, second);
    Report report = inspect({ "--app", "com.example.ParaNotes" });
    EXPECT_THAT(report.lines, Contains("窗口数: 2"));
    EXPECT_THAT(report.lines, Contains(StartsWith("── 窗口 1: ")));
    EXPECT_EQ(std::count(report.tree.begin(), report.tree.end(), '\n'), 12); // one window, its group and ten texts
    EXPECT_EQ(report.lines.back(), "");
}

TEST_F(AppInspectorTest, AWebAreaNineLevelsDownIsNotSeenAndTheTextsDecide)
{
    for (int depth : { 8, 9 }) {
        SimElement web = SimElement("AXWebArea").child(
            SimElement("AXStaticText", std::string(120, 'w')).frame(Rect(0, 0, 500, 60)));
        SimElement content = std::move(web);
        for (int level = 1; level < depth; ++level)
            content = SimElement("AXGroup").child(std::move(content));
        use(oneWindowFixture({ std::move(content) }));
        Report report = inspect();
        EXPECT_THAT(recommendation(report), StartsWith(depth == 8 ? "Category A" : "Category B (原生文本，按段暴露)")) << depth;
    }
}

TEST_F(AppInspectorTest, ATreeThatLeadsBackUpIsWalkedOnceWhateverTheDepth)
{
    use(fixtureNamed("inspect-gallery.json"));
    const AXElement window = desktop->windowElement(9410);
    const AXElement album = desktop->element("album");
    // The album now lists one caption, then the window and itself again and again.
    std::vector<AXElement> children { desktop->element("caption-cliffs") };
    children.insert(children.end(), 20, window);
    children.insert(children.end(), 20, album);
    desktop->setAttribute(album, "AXChildren", children);
    Report report = inspect({ "--depth", "1000000000" });
    EXPECT_THAT(report.lines, Contains("   AXStaticText 节点: 1"));
    EXPECT_THAT(report.lines, Contains("   Role 分布: AXButton:1, AXScrollArea:1, AXStaticText:1, AXWindow:1"));
}

} // namespace
} // namespace lorvantine
