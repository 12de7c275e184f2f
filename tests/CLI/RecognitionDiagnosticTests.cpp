#include "CLI/DiagnosticCommandTest.h"

#include "Documents/DocumentSourceRegistry.h"
#include "Platform/TextRecognitionPort.h"
#include "Support/Files.h"
#include "Support/Text.h"
#include "TestSupport/ScratchDirectory.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <mutex>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

// Passes recognition on and keeps the languages each request asked for.
class LanguageRecordingRecognizer final : public TextRecognitionPort {
public:
    explicit LanguageRecordingRecognizer(std::shared_ptr<TextRecognitionPort> inner) : m_inner(std::move(inner)) {}
    Expected<std::vector<TextObservation>, ErrorValue> recognize(const Image& image, const TextRecognitionRequest& request) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request.recognitionLanguages);
        }
        return m_inner->recognize(image, request);
    }
    std::vector<std::vector<std::string>> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

private:
    std::shared_ptr<TextRecognitionPort> m_inner;
    mutable std::mutex m_mutex;
    std::vector<std::vector<std::string>> m_requests;
};

std::string numberedWords(int count)
{
    std::string words;
    for (int i = 1; i <= count; ++i)
        words += (i > 1 ? " w" : "w") + std::to_string(i);
    return words;
}

class RecognitionDiagnosticTest : public DiagnosticCommandTest {
protected:
    // The reader's window at (100, 50), 600 × 400, with `text` at the top of it.
    void useText(const std::string& text, std::function<void(SimFixture&)> change = {})
    {
        SimFixture fixture = oneWindowFixture({ SimElement("AXStaticText", text).at({ 20, 20 }).sized(1160).fontSize(16) });
        fixture.applications[0].windows[0].title.clear();
        fixture.applications[0].windows[0].frame = Rect(100, 50, 1200, 400);
        if (change)
            change(fixture);
        use(fixture, [this](PlatformServices base) {
            recognizer = std::make_shared<LanguageRecordingRecognizer>(base.textRecognizer);
            base.textRecognizer = recognizer;
            return base;
        });
    }
    // A command that fails over `text` changed by `change`, its last line saying why.
    struct FailureCase {
        std::vector<std::string> arguments;
        std::function<void(SimFixture&)> change;
        std::string last;
    };
    void expectFailures(const std::string& text, const std::vector<FailureCase>& cases)
    {
        for (const FailureCase& c : cases) {
            useText(text, c.change);
            CommandRun result = run(c.arguments);
            EXPECT_EQ(result.status, 1) << c.last;
            EXPECT_EQ(result.lines.back(), c.last);
        }
    }

    std::shared_ptr<LanguageRecordingRecognizer> recognizer;
};

TEST_F(RecognitionDiagnosticTest, WindowWordsAreNumberedAndJoined)
{
    useText("one two three four five six seven eight nine ten eleven twelve");
    CommandRun twelve = run({ "--probe-ocr-window", "--app", "com.example.Reader" });
    EXPECT_EQ(twelve.status, 0);
    EXPECT_EQ(twelve.lines[0], "🎯 target: com.example.Reader pid=700");
    EXPECT_EQ(twelve.lines[1], "📐 窗口矩形: 100,50 1200x400");
    auto listed = twelve.from("前 30 个词 (text | rect):", 13);
    ASSERT_EQ(listed.size(), 13u);
    EXPECT_THAT(listed[1], MatchesRegex("   1\\. one                        \\(120,70 [0-9]+x[0-9]+\\)"));
    EXPECT_THAT(listed[12], MatchesRegex("  12\\. twelve                     \\([0-9]+,70 [0-9]+x[0-9]+\\)"));
    EXPECT_EQ(twelve.lines.back(), "one two three four five six seven eight nine ten eleven twelve");
    EXPECT_EQ(twelve.lines[twelve.lines.size() - 2], "全文拼接 (前 500 字):");
    EXPECT_TRUE(twelve.has("词数: 12  耗时: 0ms"));
    // The default languages, and a second of the clock for the application to come forward.
    EXPECT_THAT(recognizer->requests(), ElementsAre(std::vector<std::string> { "en", "zh-Hans", "zh-Hant" }));
    EXPECT_DOUBLE_EQ(elapsed(), 1.0);

    useText(numberedWords(32));
    CommandRun many = run({ "--probe-ocr-window", "--app", "com.example.Reader" });
    EXPECT_EQ(many.countContaining("  ("), 30u);
    EXPECT_THAT(many.lines, ::testing::Contains(MatchesRegex("  30\\. w30                        \\(.*")));
    EXPECT_TRUE(many.has("词数: 32  耗时: 0ms"));
    EXPECT_EQ(many.lines.back(), numberedWords(32));
}

TEST_F(RecognitionDiagnosticTest, WindowRecognitionFailures)
{
    const std::vector<FailureCase> cases {
        { { "--probe-ocr-window" }, {}, "用法: --probe-ocr-window --app <bundleID>" },
        { { "--probe-ocr-window", "--app", "com.example.Other" }, {}, "❌ 找不到运行中的 com.example.Other" },
        { { "--probe-ocr-window", "--app", "com.example.Reader" }, [](SimFixture& f) { f.applications[0].windows.clear(); },
          "❌ 找不到 focused window" },
        { { "--probe-ocr-window", "--app", "com.example.Reader" },
          [](SimFixture& f) { f.applications[0].windows[0].errors["AXPosition"] = AXError::cannotComplete; },
          "❌ 无法读取窗口 pos/size" },
        { { "--probe-ocr-window", "--app", "com.example.Reader" }, [](SimFixture& f) { f.captureTool = SimCaptureTool::cannotStart; },
          "❌ OCR 失败" },
    };
    expectFailures("some words", cases);
}

TEST_F(RecognitionDiagnosticTest, ASelectionAtOnePointStillGivesABoxTwoHundredPointsWide)
{
    test::ScratchDirectory scratch;
    const std::string picture = (scratch / "selection.png").string();
    useText("first second third fourth fifth sixth");
    CommandRun result = run({ "--test-selection-ocr", "--app", "com.example.Reader", "--start", "230,78", "--end", "230,78",
                              "--clip-text", "second third", "--overlay", picture });
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(std::vector<std::string>(result.lines.begin(), result.lines.begin() + 3),
                ElementsAre("🎯 com.example.Reader win=100,50 1200×400", "   start=(230,78) end=(230,78)",
                            "   OCR box=130,70 200×16"));
    EXPECT_TRUE(result.has("📋 使用 --clip-text: second third"));
    auto paragraph = result.from("━━━ 段落结果 ━━━", 5);
    EXPECT_THAT(paragraph, ElementsAre("━━━ 段落结果 ━━━", "words=2 chars=12", "text: second third",
                                       "语言: en → voice=af_heart", "诊断 PNG: " + picture));
    EXPECT_THAT(recognizer->requests(), ElementsAre(std::vector<std::string> { "zh-Hans", "zh-Hant", "en" }));
    EXPECT_TRUE(std::filesystem::is_regular_file(picture));
    EXPECT_DOUBLE_EQ(elapsed(), 0.6);
}

TEST_F(RecognitionDiagnosticTest, TheDiagnosticPictureNeverFollowsALinkPlantedAtItsPath)
{
    test::ScratchDirectory scratch;
    const std::filesystem::path target = scratch / "precious.txt";
    const std::filesystem::path picture = scratch / "selection.png";
    test::writeFile(target, "keep me");
    std::filesystem::create_symlink(target, picture);
    useText("first second third fourth fifth sixth");
    CommandRun result = run({ "--test-selection-ocr", "--app", "com.example.Reader", "--start", "230,78", "--end", "300,78",
                              "--clip-text", "second third", "--overlay", picture.string() });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(*Files::readAll(target.string()), "keep me");
    EXPECT_TRUE(std::filesystem::is_symlink(picture));
}

TEST_F(RecognitionDiagnosticTest, SelectionTestFailuresSayWhatIsMissing)
{
    const std::vector<std::string> reader { "--test-selection-ocr", "--app", "com.example.Reader" };
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> all = reader;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    const std::vector<FailureCase> cases {
        { { "--test-selection-ocr", "--start", "1,2" }, {},
          "用法: --test-selection-ocr --app <bundleID> --start X,Y --end X,Y [--overlay /tmp/out.png] [--languages en,zh-Hans]" },
        { with({ "--start", "230,78", "--end", "230" }), {}, "❌ 需要 --start X,Y --end X,Y" },
        // No point lies at infinity, and "nan" would make the box the whole window.
        { with({ "--start", "inf,0", "--end", "230,78" }), {}, "❌ 需要 --start X,Y --end X,Y" },
        { with({ "--start", "nan,nan", "--end", "230,78" }), {}, "❌ 需要 --start X,Y --end X,Y" },
        { with({ "--start", "230,78", "--end", "-inf,1e999" }), {}, "❌ 需要 --start X,Y --end X,Y" },
        { { "--test-selection-ocr", "--app", "com.example.Other", "--start", "1,2", "--end", "3,4" }, {}, "❌ 找不到 com.example.Other" },
        { with({ "--start", "230,78", "--end", "230,78" }), [](SimFixture& f) { f.applications[0].windows.clear(); }, "❌ 找不到 window" },
        { with({ "--start", "230,78", "--end", "230,78" }),
          [](SimFixture& f) { f.applications[0].windows[0].errors["AXSize"] = AXError::cannotComplete; },
          "❌ 无法读取窗口 pos/size" },
        { with({ "--start", "2000,2000", "--end", "2000,2000" }), {},
          "❌ 选区与窗口无交集: sel=(1900.0, 1992.0, 200.0, 16.0) win=(100.0, 50.0, 1200.0, 400.0)" },
        { with({ "--start", "230,454", "--end", "230,454" }), {},
          "❌ 选区与窗口无交集: sel=(130.0, 446.0, 200.0, 16.0) win=(100.0, 50.0, 1200.0, 400.0)" },
        { with({ "--start", "230,78", "--end", "230,78" }), [](SimFixture& f) { f.captureTool = SimCaptureTool::cannotStart; },
          "❌ OCR 无结果" },
        { with({ "--start", "230,78", "--end", "230,78" }), {}, "❌ --test-selection-ocr 需要 --clip-text <text> 参数" },
        { with({ "--start", "230,78", "--end", "230,78", "--clip-text", "unrelated" }), {}, "❌ Builder 返回 nil" },
    };
    expectFailures("first second third fourth fifth sixth", cases);
}

TEST_F(RecognitionDiagnosticTest, LanguagesAreTheOnesGivenEvenNone)
{
    for (const auto& [given, expected] : std::vector<std::pair<std::string, std::vector<std::string>>> {
             { "en", { "en" } }, { ",", {} }, { "en,,zh-Hans", { "en", "zh-Hans" } } }) {
        useText("first second third fourth fifth sixth");
        run({ "--test-selection-ocr", "--app", "com.example.Reader", "--start", "230,78", "--end", "230,78", "--clip-text",
              "second", "--languages", given, "--overlay", "/dev/null/never" });
        EXPECT_THAT(recognizer->requests(), ElementsAre(expected)) << given;
    }
}

// --- Which document source takes an application ---

TEST_F(RecognitionDiagnosticTest, DetectSourceReportsTheSessionOnStandardOutput)
{
    use(fixtureNamed("wechat-inline-code.json"));
    CommandRun result = run({ "--detect-source", "--app", "com.tencent.xinWeChat" }, true);
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.lines, ElementsAre("🎯 detecting com.tencent.xinWeChat pid=910"));
    std::vector<std::string> report = Text::components(result.standardOutput, "\n");
    ASSERT_EQ(report.size(), 8u);
    EXPECT_THAT(report[0], MatchesRegex("✅ detect 命中: WeChatArticleSession  耗时 0ms"));
    EXPECT_EQ(report[1], "   title: 命令行里的小习惯");
    EXPECT_EQ(report[2], "   paragraphs: 6");
    EXPECT_THAT(report[3], MatchesRegex("   \\[0\\] \"命令行里的小习惯\"  frame=\\([0-9.]+, [0-9.]+, [0-9.]+, [0-9.]+\\)"));
    EXPECT_THAT(report[5], ::testing::StartsWith("   [2] \"先运行 cargo build 再运行 cargo test，错误会少很多。\"  frame=("));
    EXPECT_EQ(report[6], "   ...（共 6 段）");
    EXPECT_EQ(report[7], "");
}

TEST_F(RecognitionDiagnosticTest, DetectSourceNamesEverySourceInRegistryOrderWhenNoneTakesIt)
{
    std::vector<std::string> names;
    for (const DocumentSource& source : DocumentSourceRegistry::sources())
        names.push_back(source.name);
    ASSERT_GE(names.size(), 10u);

    useText("nothing any source reads");
    CommandRun none = run({ "--detect-source", "--app", "com.example.Reader" }, true);
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.standardOutput, "");
    EXPECT_THAT(none.lines, ElementsAre("🎯 detecting com.example.Reader pid=700",
                                        "❌ DocumentSourceRegistry.detect(com.example.Reader) 返回 nil — 该 App 未命中任何 Source",
                                        "   候选来源：" + Text::joined(names, ", ")));
    EXPECT_EQ(names.front(), "WeChatArticleSource");

    CommandRun usage = run({ "--detect-source" });
    EXPECT_EQ(usage.status, 1);
    EXPECT_EQ(usage.lines, std::vector<std::string> { "用法: --detect-source --app <bundleID>" });
    CommandRun missing = run({ "--detect-source", "--app", "com.amazon.Lassen" });
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.lines, std::vector<std::string> { "❌ 找不到运行中的 com.amazon.Lassen（请先打开该 App 并载入文档）" });
}

} // namespace
} // namespace lorvantine
