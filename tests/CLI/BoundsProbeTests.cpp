#include "CLI/DiagnosticCommandTest.h"

#include "Accessibility/AXReader.h"
#include "Support/Text.h"
#include "TestSupport/ProbeCountingAccessibility.h"

#include <gmock/gmock.h>

namespace lorvantine {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* probedBooksID = "com.apple.iBooksX";

// "é" written as e + combining acute: one Character, two scalars.
const std::string nineteen = "Cafe\u0301 light on water"; // 19 Characters, 20 UTF-16 units
const std::string twenty = "Cafe\u0301 lights on water";  // 20 Characters

SimFixture readerWith(std::vector<SimElement> content, const std::string& bundleID = "com.example.Reader")
{
    SimFixture fixture = oneWindowFixture(std::move(content));
    fixture.applications[0].bundleIdentifier = bundleID;
    return fixture;
}

class BoundsProbeTest : public DiagnosticCommandTest {
protected:
    void useCounted(const SimFixture& fixture)
    {
        use(fixture, [this](PlatformServices base) {
            auto [wrapped, port] = test::ProbeCountingAccessibility::wrap(std::move(base));
            counter = port;
            return wrapped;
        });
    }
    std::shared_ptr<test::ProbeCountingAccessibility> counter;
};

TEST_F(BoundsProbeTest, AsksNoBoundsWithoutTestAndExactlyOnceWithIt)
{
    SimFixture fixture = readerWith({ SimElement("AXStaticText", "The harbour wall was built of grey stone.").sized(400),
                                      SimElement("AXStaticText", "Children counted the gulls on it, one by one.").sized(400) },
                                    probedBooksID);
    fixture.osVersion = { 13, 6, 1 };
    fixture.applications[0].bundleVersion = "6.5";
    useCounted(fixture);

    CommandRun plain = run({ "--probe-bounds" });
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(counter->boundsCalls(), 0);
    EXPECT_EQ(plain.lines.front(), "━━━ Probe Bounds v2 (零 BoundsForRange 调用) ━━━");
    EXPECT_EQ(plain.countContaining("  [pick] "), 2u);
    EXPECT_TRUE(plain.has("找到 2 个文本元素，逐个探测替代属性"));
    EXPECT_THAT(plain.lines, Not(Contains(HasSubstr("macOS"))));

    CommandRun tested = run({ "--probe-bounds", "--test" });
    EXPECT_EQ(tested.status, 0);
    EXPECT_EQ(counter->boundsCalls(), 1);
    EXPECT_EQ(tested.lines.front(), "━━━ Probe Bounds v2 + 实测 ━━━");
    auto raw = tested.from("━━━ 实测 BoundsForRange（原始诊断）━━━", 8);
    ASSERT_EQ(raw.size(), 8u);
    EXPECT_EQ(raw[1], "目标: \"The harbour wall was built of grey stone...\" (41 chars)");
    EXPECT_EQ(raw[2], "  AXError: 0 (success)");
    EXPECT_THAT(raw[3], ::testing::MatchesRegex("  原始矩形: \\([0-9.]+, [0-9.]+, [0-9.]+, [0-9.]+\\)"));
    EXPECT_EQ(raw[4], "  → ✅ BoundsForRange 正常工作");
    EXPECT_EQ(raw[5], "");
    EXPECT_EQ(raw[6], "  macOS: 13.6.1");
    EXPECT_EQ(raw[7], "  Apple Books: 6.5");
}

TEST_F(BoundsProbeTest, TheRawBoundsAnswerIsNamedAsThePlatformNamesIt)
{
    struct Case {
        std::optional<AXError> error; // none: success with the rectangle below
        Rect rect;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases {
        { AXError::attributeUnsupported, {}, { "  AXError: -25205 (attributeUnsupported)" } },
        { AXError::noValue, {}, { "  AXError: -25212 (noValue)" } },
        { AXError::illegalArgument, {}, { "  AXError: -25201 (unknown: -25201)" } },
        { std::nullopt, Rect(0, 0, 0.5, 0.5),
          { "  AXError: 0 (success)", "  原始矩形: (0.0, 0.0, 0.5, 0.5)", "  → 返回 success 但矩形为零！（WebKit 内部异常）" } },
        { std::nullopt, Rect(12, 30.5, 9, 0.5),
          { "  AXError: 0 (success)", "  原始矩形: (12.0, 30.5, 9.0, 0.5)", "  → ✅ BoundsForRange 正常工作" } },
    };
    useCounted(readerWith({ SimElement("AXStaticText", "A line of twenty-one or more.").sized(400) }));
    for (const Case& c : cases) {
        counter->boundsOverride = [&c](const AXElement&, const AXRange&, AXValue& out) -> std::optional<AXError> {
            if (c.error)
                return *c.error;
            out = c.rect;
            return AXError::success;
        };
        CommandRun result = run({ "--probe-bounds", "--app", "com.example.Reader", "--test" });
        EXPECT_EQ(result.status, 0);
        auto lines = result.from(c.expected.front(), c.expected.size());
        EXPECT_EQ(lines, c.expected);
    }
    counter->boundsOverride = [](const AXElement&, const AXRange&, AXValue&) -> std::optional<AXError> { return AXError::success; };
    EXPECT_TRUE(run({ "--probe-bounds", "--app", "com.example.Reader", "--test" }).has("  → success 但 result 为 nil（异常）"));
}

TEST_F(BoundsProbeTest, TextsOfNineteenCharactersAreNeitherPickedNorSkipped)
{
    useCounted(readerWith({
        SimElement("AXStaticText", nineteen).sized(400),
        SimElement("AXStaticText", twenty).sized(400),
        SimElement("AXStaticText", twenty + " left").at({ -300, 200 }).sized(280, 20),
        SimElement("AXStaticText", twenty + " unplaced").failing("AXPosition", AXError::cannotComplete),
        SimElement("AXGenericElement").with("AXDescription", std::string("A described element of some length")).sized(300, 20),
    }));
    CommandRun result = run({ "--probe-bounds", "--app", "com.example.Reader" });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.countContaining(nineteen + "\""), 0u);
    EXPECT_THAT(result.lines, Contains(::testing::MatchesRegex("  \\[pick\\] x=100 y=[0-9]+ w=400 h=[0-9]+ len=20 \"Cafe\u0301 lights on water\"")));
    EXPECT_TRUE(result.has("  [skip] X<0: x=-200 len=25 \"" + twenty + " left\""));
    EXPECT_TRUE(result.has("  [skip] no position: len=29 \"" + twenty + " unplaced\""));
    EXPECT_THAT(result.lines, Contains(HasSubstr("len=34 \"A described element of some length\"")));
    EXPECT_TRUE(result.has("找到 2 个文本元素，逐个探测替代属性"));
    EXPECT_TRUE(result.has("[0] \"" + twenty + "\" (20 chars)"));

    use(readerWith({ SimElement("AXStaticText", nineteen).sized(400) }));
    CommandRun none = run({ "--probe-bounds", "--app", "com.example.Reader" });
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.lines.back(), "❌ 未找到文本元素");
}

TEST_F(BoundsProbeTest, BooksWithoutALanguageIsNeverAskedForLayoutOthersAre)
{
    const std::string text = "The tide turned at six and the boats came in.";
    AXAttributedString withLanguage { "T", { AXAttributeRun { AXRange { 0, 1 }, { { "AXLanguage", "en" } } } } };
    struct Case {
        std::string bundleID;
        bool language;
        bool layoutAsked;
    };
    for (const Case& c : { Case { probedBooksID, false, false }, Case { probedBooksID, true, true }, Case { "com.example.Reader", false, true } }) {
        SimElement element = SimElement("AXStaticText", text).sized(400);
        if (c.language)
            element.with("AXAttributedStringForRange", withLanguage);
        use(readerWith({ element }, c.bundleID));
        CommandRun result = run({ "--probe-bounds", "--app", c.bundleID });
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.has("    ⚠️ This book's ePub is missing lang attribute, BoundsForRange UNSAFE"), !c.layoutAsked) << c.bundleID;
        EXPECT_EQ(result.has("    AXLineForIndex(0): 0 ✅"), c.layoutAsked) << c.bundleID;
        EXPECT_EQ(result.countContaining("    AXRangeForLine(0): loc=0 len="), c.layoutAsked ? 1u : 0u);
        EXPECT_EQ(result.countContaining("    AXRangeForPosition(120,"), c.layoutAsked ? 1u : 0u);
        if (c.language) {
            EXPECT_TRUE(result.has("    AXAttributedStringForRange(0,1): \"T\" {0, 1} {AXLanguage=en} ✅"));
        }
    }
}

TEST_F(BoundsProbeTest, AttributesAreListedInTheirOrderWithTheirPrintedForm)
{
    SimElement element = SimElement("AXStaticText", "Selected words in a longer line").sized(400);
    element.selection = AXRange { 0, 8 };
    element.failing("AXInsertionPointLineNumber", AXError::noValue);
    use(readerWith({ element }));
    CommandRun result = run({ "--probe-bounds", "--app", "com.example.Reader" });
    auto block = result.from("[0] \"Selected words in a longer line\" (31 chars)", 12);
    ASSERT_GE(block.size(), 9u);
    EXPECT_THAT(block[1], ::testing::MatchesRegex("    frame: \\(100,[0-9]+\\) 400×[0-9]+"));
    EXPECT_EQ(block[2], "    AXNumberOfCharacters: 31 ✅");
    EXPECT_THAT(std::vector<std::string>(block.begin() + 3, block.begin() + 8),
                ElementsAre(HasSubstr("AXNumberOfCharacters: 31 ✅"), "    AXSelectedText: Selected ✅",
                            "    AXSelectedTextRange: {0, 8} ✅", "    AXVisibleCharacterRange: {0, 31} ✅",
                            "    ── 参数化属性实测 ──"));
    EXPECT_THAT(result.lines, Not(Contains(HasSubstr("AXInsertionPointLineNumber"))));
}

TEST_F(BoundsProbeTest, MissingApplicationOrWindowFails)
{
    use(readerWith({}));
    CommandRun missing = run({ "--probe-bounds" });
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.lines, std::vector<std::string> { "❌ com.apple.iBooksX 未运行" });

    SimFixture windowless = readerWith({});
    windowless.applications[0].windows.clear();
    use(windowless);
    CommandRun noWindow = run({ "--probe-bounds", "--app", "com.example.Reader" });
    EXPECT_EQ(noWindow.status, 1);
    EXPECT_EQ(noWindow.lines, std::vector<std::string> { "❌ 未找到 com.example.Reader 窗口" });
}

// --- The WeChat article's paragraphs ---

class ArticleBoundsTest : public DiagnosticCommandTest {
protected:
    void SetUp() override
    {
        DiagnosticCommandTest::SetUp();
        article = fixtureNamed("wechat-inline-code.json");
    }
    // The web area's paragraphs, to add to or take from.
    std::vector<SimElement>& paragraphs() { return article.applications[0].windows[0].children[0].children[0].children[0].children; }

    SimFixture article;
};

TEST_F(ArticleBoundsTest, TestBoundsWritesABlockForEachOfTheFirstThreeParagraphs)
{
    use(article);
    CommandRun result = run({ "--test-bounds" });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.lines.front(), "📖 命令行里的小习惯 — 6 段");
    EXPECT_EQ(result.countContaining("--- para["), 3u);
    EXPECT_TRUE(result.has("--- para[1] role=AXGroup text=\"每天都在终端里工作的人，总有几个离不开的小习惯。...\""));
    EXPECT_TRUE(result.has("  ❌ boundsForRange on AXHeading failed"));
    EXPECT_TRUE(result.has("  child[1] role=AXGroup chars=-1"));
    EXPECT_THAT(result.lines, Contains(::testing::MatchesRegex("  ✅ boundsForRange\\(0,5\\) on AXGroup → \\(432.0, [0-9.]+, [0-9.]+, [0-9.]+\\)")));

    paragraphs().resize(2);
    paragraphs().erase(paragraphs().begin());
    use(article);
    CommandRun one = run({ "--test-bounds" });
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.countContaining("--- para["), 1u);

    use(readerWith({}));
    CommandRun none = run({ "--test-bounds" });
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.lines, std::vector<std::string> { "❌ 找不到公号文章窗口" });
}

TEST_F(ArticleBoundsTest, DiagHighlightAsksCharacterBoundsAtTheirUtf16Place)
{
    use(article);
    CommandRun result = run({ "--diag-highlight" });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.countContaining("═══ para["), 4u);
    EXPECT_TRUE(result.has("  delta: 0 chars (inline code text)"));
    EXPECT_TRUE(result.has("    child[1] AXGroup pos=(488,220) sz=94×21 text=\"cargo build\" (11 chars, offset=4)"));
    EXPECT_TRUE(result.has("      ↳ grandchild[0] pos=(488,220) sz=94×21 text=\"cargo build\""));
    EXPECT_TRUE(result.has("    matches fullText: true"));

    // The emoji before the last Character takes two UTF-16 units: the full stop's bounds are
    // those accessibility gives at its UTF-16 place, not one unit earlier.
    const AXElement paragraph = desktop->element("p-emoji");
    const std::string full = "函数 Vec::push 在末尾追加元素 🚀 很快。";
    const int lastUnit = static_cast<int>(Text::utf16Count(full)) - 1;
    auto expected = AXReader::boundsForRange(paragraph, lastUnit, 1);
    ASSERT_TRUE(expected);
    const std::string place = "(" + std::to_string(static_cast<int>(expected->origin.x)) + ","
        + std::to_string(static_cast<int>(expected->origin.y)) + ")";
    EXPECT_TRUE(result.has("    idx=25 char=\"。\" → " + place + " 17×21"));
    EXPECT_THAT(result.lines, Contains(HasSubstr("child[2] start[12]=")));
    EXPECT_THAT(result.lines, Contains(HasSubstr("end[25]=" + place)));
}

TEST_F(ArticleBoundsTest, DiagHighlightStopsAtFiveParagraphsAndSaysWhenNoneQualifies)
{
    SimElement copy = paragraphs()[2];
    for (int i = 0; i < 3; ++i) {
        copy.name = "p-copy-" + std::to_string(i);
        paragraphs().push_back(copy);
    }
    use(article);
    CommandRun many = run({ "--diag-highlight" });
    EXPECT_EQ(many.status, 0);
    EXPECT_EQ(many.countContaining("═══ para["), 5u);

    paragraphs().resize(2);
    use(article);
    CommandRun none = run({ "--diag-highlight" });
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.lines, std::vector<std::string> { "没有找到含 inline code 的段落" });

    use(readerWith({}));
    CommandRun missing = run({ "--diag-highlight" });
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.lines, std::vector<std::string> { "❌ 找不到文章窗口" });
}

} // namespace
} // namespace lorvantine
