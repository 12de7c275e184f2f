#include "Core/HighlightTester.h"

#include "Core/HighlightTestReportJson.h"

#include "Accessibility/AXReader.h"
#include "Articles/ArticleTestSupport.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Support/Text.h"
#include "TestSupport/ProbeCountingAccessibility.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lorvantine {

// Failed comparisons show the check, not its bytes.
inline void PrintTo(const CheckResult& check, std::ostream* out)
{
    *out << check.name << (check.passed ? " ✓ " : " ✗ ") << check.detail;
}

namespace {

using HighlightTester::CharRange;

std::optional<CheckResult> checkNamed(const std::vector<CheckResult>& checks, const std::string& name)
{
    for (const CheckResult& check : checks) {
        if (check.name == name)
            return check;
    }
    return std::nullopt;
}

std::vector<CheckResult> failuresOf(const ParagraphTestResult& paragraph)
{
    std::vector<CheckResult> failures;
    for (const CheckResult& check : paragraph.checks)
        if (!check.passed)
            failures.push_back(check);
    for (const SentenceTestResult& sentence : paragraph.sentences)
        for (const CheckResult& check : sentence.checks)
            if (!check.passed)
                failures.push_back(check);
    return failures;
}

ArticleParagraph textOnly(std::string text, std::string role = "AXStaticText")
{
    return ArticleParagraph { .text = std::move(text), .role = std::move(role) };
}

TEST(HighlightTester, SentencesEndAfterTheirEndersAndCoverTheText)
{
    const struct {
        std::string text;
        std::vector<CharRange> ranges;
    } cases[] = {
        { "", {} },
        { "Two words. Joined", { { 0, 17 } } },
        { "你好。再见", { { 0, 3 }, { 3, 5 } } },
        { "Wow!! Yes? No; fine", { { 0, 4 }, { 4, 5 }, { 5, 10 }, { 10, 14 }, { 14, 19 } } },
        { "一！二？三；四…五", { { 0, 2 }, { 2, 4 }, { 4, 6 }, { 6, 8 }, { 8, 9 } } },
        { "line one\nline two\n", { { 0, 9 }, { 9, 18 } } },
        { "kept\r\ntogether", { { 0, 13 } } },
        { "🍞!👍🏽;cafe\u0301.", { { 0, 2 }, { 2, 4 }, { 4, 9 } } },
        { "。", { { 0, 1 } } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(HighlightTester::splitSentences(c.text), c.ranges) << c.text;
}

TEST(HighlightTester, LineChecksHoldTheirThresholds)
{
    const Rect para(100, 100, 400, 60);
    const struct {
        const char* what;
        std::vector<Rect> lines;
        HighlightTester::WidthCheck width;
        std::vector<CheckResult> checks;
    } cases[] = {
        { "inside by 8 pt, touching lines", { Rect(92, 92, 416, 20), Rect(100, 112, 400, 56) }, HighlightTester::WidthCheck::consider,
          { { "containment", true, "ok" }, { "no_vertical_gap", true, "ok" }, { "width_consistency", true, "ok" },
            { "reasonable_dims", true, "ok" } } },
        { "two of three lines outside", { Rect(91, 100, 300, 20), Rect(100, 120, 300, 20), Rect(100, 140, 300, 28.5) },
          HighlightTester::WidthCheck::skip,
          { { "containment", false, "line[0] (91,100 300×20) outside para (100,100 400×60)" },
            { "containment", false, "line[2] (100,140 300×28) outside para (100,100 400×60)" },
            { "no_vertical_gap", true, "ok" }, { "reasonable_dims", true, "ok" } } },
        { "gaps of 2 and 2.5 pt", { Rect(100, 100, 400, 18), Rect(100, 120, 400, 18), Rect(100, 140.5, 400, 18) },
          HighlightTester::WidthCheck::skip,
          { { "containment", true, "ok" }, { "no_vertical_gap", false, "gap=2.5pt between line[1] and line[2]" },
            { "reasonable_dims", true, "ok" } } },
        { "first line 40 pt short", { Rect(120, 100, 360, 20), Rect(100, 120, 200, 20) }, HighlightTester::WidthCheck::consider,
          { { "containment", true, "ok" }, { "no_vertical_gap", true, "ok" }, { "width_consistency", true, "ok" },
            { "reasonable_dims", true, "ok" } } },
        { "first line 40.5 pt short", { Rect(110, 100, 359.5, 20), Rect(100, 120, 200, 20) },
          HighlightTester::WidthCheck::consider,
          { { "containment", true, "ok" }, { "no_vertical_gap", true, "ok" },
            { "width_consistency", false, "line[0] width=359.5 vs para=400.0 diff=40.5" }, { "reasonable_dims", true, "ok" } } },
        { "first line indented more than 20 pt", { Rect(121, 100, 100, 20), Rect(100, 120, 200, 20) },
          HighlightTester::WidthCheck::consider,
          { { "containment", true, "ok" }, { "no_vertical_gap", true, "ok" }, { "reasonable_dims", true, "ok" } } },
        { "one line", { Rect(100, 100, 100, 20) }, HighlightTester::WidthCheck::consider,
          { { "containment", true, "ok" }, { "reasonable_dims", true, "ok" } } },
        { "slivers", { Rect(100, 100, 2, 4), Rect(100, 104, 1.95, 3.96) }, HighlightTester::WidthCheck::skip,
          { { "containment", true, "ok" }, { "no_vertical_gap", true, "ok" }, { "reasonable_dims", false, "line[1] 1.9×4.0" } } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(HighlightTester::judgeLines(c.lines, para, c.width), c.checks) << c.what;
}

TEST(HighlightTester, ParagraphWithoutElementIsJudgedOnItsTextAlone)
{
    const ParagraphTestResult result = HighlightTester::testParagraph(textOnly("你好。再见"));
    EXPECT_EQ(result.textPreview, "你好。再见");
    EXPECT_EQ(result.charCount, 5);
    EXPECT_EQ(result.sentenceCount, 2);
    EXPECT_EQ(result.checks, (std::vector<CheckResult> { { "mega_paragraph", true, "5 chars" },
                                                          { "coverage", true, "all 5 chars covered" },
                                                          { "no_sentence_overlap", true, "ok" } }));
    ASSERT_EQ(result.sentences.size(), 2u);
    EXPECT_EQ(result.sentences[1].charRange, "3..<5");
    EXPECT_EQ(result.sentences[1].checks, (std::vector<CheckResult> { { "bounds_available", false, "no element or paraRect" } }));
    EXPECT_EQ(result.sentences[1].lineCount, 0);
    EXPECT_EQ(result.diagnostics, (ParagraphDiagnostics { .frameHeight = 0, .textCharCount = 5 }));

    const ParagraphTestResult empty = HighlightTester::testParagraph(textOnly(""));
    EXPECT_TRUE(empty.sentences.empty());
    EXPECT_EQ(empty.checks, (std::vector<CheckResult> { { "mega_paragraph", true, "0 chars" },
                                                         { "coverage", true, "all 0 chars covered" },
                                                         { "no_sentence_overlap", true, "ok" } }));
}

TEST(HighlightTester, MegaParagraphsAreLongUnlessAGroupOfManyLines)
{
    const std::string lines6 = std::string(1996, 'a') + "\nb\nc\nd\ne\nf"; // 2006 Characters, 6 lines
    const std::string lines5 = std::string(1997, 'a') + "\nb\nc\nd\ne";   // 2005 Characters, 5 lines
    const struct {
        std::string text;
        std::string role;
        CheckResult check;
    } cases[] = {
        { std::string(2000, 'a'), "AXStaticText", { "mega_paragraph", true, "2000 chars" } },
        { std::string(2001, 'a'), "AXStaticText", { "mega_paragraph", false, "2001 chars, role=AXStaticText" } },
        { lines6, "AXGroup", { "mega_paragraph", true, "2006 chars" } },
        { lines6, "AXTextArea", { "mega_paragraph", false, "2006 chars, role=AXTextArea" } },
        { lines5, "AXGroup", { "mega_paragraph", false, "2005 chars, role=AXGroup" } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(checkNamed(HighlightTester::testParagraph(textOnly(c.text, c.role)).checks, "mega_paragraph"), c.check)
            << c.check.detail;
}

TEST(HighlightTester, ParagraphWithBoundsDisabledOnlySaysSo)
{
    ArticleParagraph paragraph = textOnly(std::string(100, 'x') + "!");
    paragraph.boundsDisabled = true;
    const ParagraphTestResult result = HighlightTester::testParagraph(paragraph);
    EXPECT_EQ(result.textPreview, std::string(80, 'x'));
    EXPECT_EQ(result.charCount, 101);
    EXPECT_EQ(result.sentenceCount, 0);
    EXPECT_TRUE(result.sentences.empty());
    EXPECT_FALSE(result.diagnostics);
    EXPECT_EQ(result.checks, (std::vector<CheckResult> {
                                 { "bounds_disabled", true, "BoundsForRange disabled (drop cap page), skipping all bounds tests" } }));
}

// The report of a paragraph without geometry and one whose bounds are disabled, byte for byte as
// results files (one line) and the pretty form hold it.
TEST(HighlightTester, ReportIsWrittenAsTheGoldenLineAndPrettyForm)
{
    ArticleParagraph disabled { .index = 1, .text = "Drop cap", .role = "AXStaticText" };
    disabled.boundsDisabled = true;
    const ArticleParagraph tea { .index = 0, .text = "Tea/茶。🍵 ok", .role = "AXStaticText" };
    HighlightTestReport report = HighlightTester::test({ tea, disabled }, "Tea/茶", std::string("https://example.com/tea"));
    report.timestamp = "2026-12-07T09:00:00Z";

    const std::string line = test::readFile(fixturePath("highlight-tester-report.jsonl"));
    std::string pretty = test::readFile(fixturePath("highlight-tester-report.json"));
    ASSERT_TRUE(Text::hasSuffix(pretty, "}\n"));
    pretty.pop_back();
    EXPECT_EQ(*HighlightTestReportJson::jsonLine(report), line);
    EXPECT_EQ(*HighlightTestReportJson::prettyJson(report), pretty);
    EXPECT_EQ(*HighlightTestReportJson::decode(line), report);
    EXPECT_EQ(*HighlightTestReportJson::decode(pretty), report);
}

// A web page of the test's own elements, behind a port that can answer bounds probes itself.
class HighlightTesterPage : public ::testing::Test {
protected:
    std::shared_ptr<SimDesktop> desktop;
    std::shared_ptr<test::ProbeCountingAccessibility> probes;
    std::optional<Platform::ScopedServices> scope;
    Log::Capture log;

    void install(std::shared_ptr<SimDesktop> loaded)
    {
        scope.reset();
        desktop = std::move(loaded);
        auto [services, port] = test::ProbeCountingAccessibility::wrap(desktop->services());
        probes = port;
        scope.emplace(services);
    }
    void install(std::vector<SimElement> content) { install(SimDesktop::create(articleFixture(std::move(content)))); }

    AXElement element(const std::string& name)
    {
        AXElement found = desktop->element(name);
        EXPECT_FALSE(found.isNull()) << name;
        return found;
    }

    // Every bounds probe answers `rect`, except the probe at `lastLocation` when given.
    void answerBounds(Rect rect, std::optional<std::pair<int, Rect>> last = std::nullopt)
    {
        probes->boundsOverride = [=](const AXElement&, const AXRange& range, AXValue& out) -> std::optional<AXError> {
            out = (last && range.location == last->first) ? last->second : rect;
            return AXError::success;
        };
    }
};

// The block's element stands at (100, 150), 600 × 60, on screen.
SimElement block(const std::string& text, double height = 60)
{
    return SimElement("AXStaticText", text).named("block").frame(Rect(0, 100, 600, height));
}

TEST_F(HighlightTesterPage, FirstCharacterGapAndFrameHeightHoldTheirThresholds)
{
    const double expected = 20 * 1.4; // one line of 11 Characters, 60 to a line of 600 pt
    const struct {
        double firstTop;
        double frameHeight;
        CheckResult gap;
        CheckResult ratio;
    } cases[] = {
        { 170, 60, { "first_char_top_gap", true, "gap=20.0pt" }, { "frame_height_ratio", false, "ratio=2.1 (frame=60pt expected≈28pt)" } },
        { 171, 60, { "first_char_top_gap", false, "gap=21.0pt (firstChar.minY=171 para.minY=150)" },
          { "frame_height_ratio", false, "ratio=2.1 (frame=60pt expected≈28pt)" } },
        { 150, 2 * expected, { "first_char_top_gap", true, "gap=0.0pt" }, { "frame_height_ratio", true, "ratio=2.0" } },
        { 130, std::nextafter(2 * expected, 100.0), { "first_char_top_gap", true, "gap=-20.0pt" },
          { "frame_height_ratio", false, "ratio=2.0 (frame=56pt expected≈28pt)" } },
    };
    for (const auto& c : cases) {
        install({ block("Hello world", c.frameHeight) });
        answerBounds(Rect(100, c.firstTop, 10, 20));
        ArticleParagraph paragraph { .text = "Hello world", .role = "AXStaticText", .element = element("block") };
        const ParagraphTestResult result = HighlightTester::testParagraph(paragraph);
        EXPECT_EQ(checkNamed(result.checks, "first_char_top_gap"), c.gap) << c.firstTop;
        EXPECT_EQ(checkNamed(result.checks, "frame_height_ratio"), c.ratio) << c.firstTop;
        ASSERT_TRUE(result.diagnostics);
        EXPECT_EQ(result.diagnostics->frameHeight, c.frameHeight);
        EXPECT_EQ(result.diagnostics->firstCharTopGap, c.firstTop - 150);
        EXPECT_EQ(result.diagnostics->expectedHeight, expected);
        EXPECT_EQ(result.diagnostics->axFullCharCount, 11);
    }
}

TEST_F(HighlightTesterPage, FirstAndLastCharactersMustLieInTheParagraph)
{
    const struct {
        Rect first;
        std::optional<Rect> last;
        CheckResult check;
    } cases[] = {
        { Rect(100, 142, 10, 20), Rect(200, 188, 10, 30), { "frame_text_alignment", true, "ok" } },
        { Rect(100, 141, 10, 20), Rect(200, 180, 10, 20), { "frame_text_alignment", false, "firstChar Y=141 outside para [150,210]" } },
        { Rect(100, 150, 10, 20), Rect(200, 190, 10, 30),
          { "frame_text_alignment", false, "lastChar Y=190 outside para [150,210]" } },
        { Rect(100, 100, 10, 20), Rect(200, 300, 10, 20),
          { "frame_text_alignment", false, "firstChar Y=100 outside para [150,210]; lastChar Y=300 outside para [150,210]" } },
        { Rect(100, 2, 10, 20), Rect(200, 300, 10, 20),
          { "frame_text_alignment", true, "skipped: BoundsForRange anomalous (y≈0, para at 150)" } },
    };
    for (const auto& c : cases) {
        install({ block("Hello world") });
        answerBounds(c.first, c.last ? std::optional(std::pair(10, *c.last)) : std::nullopt);
        ArticleParagraph paragraph { .text = "Hello world", .role = "AXStaticText", .element = element("block") };
        EXPECT_EQ(checkNamed(HighlightTester::testParagraph(paragraph).checks, "frame_text_alignment"), c.check)
            << c.check.detail;
    }
}

TEST_F(HighlightTesterPage, TextBelowTheElementIsComparedWithTheParagraph)
{
    const std::string text = "Hello world"; // 11 Characters
    const struct {
        std::vector<std::string> pieces;
        CheckResult completeness;
        std::optional<CheckResult> alignment;
    } cases[] = {
        { { "Hello ", "world" }, { "text_completeness", true, "axFull=11 extracted=11" },
          CheckResult { "text_ax_alignment", true, "exact match (11 chars)" } },
        { { "Hello world", "!!" }, { "text_completeness", true, "axFull=13 extracted=11" },
          CheckResult { "text_ax_alignment", true, "minor diff (para=11 ax=13 unmapped=0)" } },
        { { "Hello world", "!!!" }, { "text_completeness", true, "axFull=14 extracted=11" },
          CheckResult { "text_ax_alignment", false, "para=11 ax=14 unmapped=0 length diff" } },
        { { "Hello world", "12345" }, { "text_completeness", true, "axFull=16 extracted=11" },
          CheckResult { "text_ax_alignment", false, "para=11 ax=16 unmapped=0 length diff" } },
        { { "Hello world", "123456" }, { "text_completeness", false, "missing 6 chars (axFull=17 extracted=11)" },
          CheckResult { "text_ax_alignment", false, "para=11 ax=17 unmapped=0 length diff" } },
        { { "Hello" }, { "text_completeness", true, "axFull=5 extracted=11" },
          CheckResult { "text_ax_alignment", false, "para=11 ax=5 unmapped=6 length diff" } },
        { { "Jello worlD" }, { "text_completeness", true, "axFull=11 extracted=11" },
          CheckResult { "text_ax_alignment", true, "minor diff (para=11 ax=11 unmapped=2)" } },
        { { "Jello_worlD" }, { "text_completeness", true, "axFull=11 extracted=11" },
          CheckResult { "text_ax_alignment", false,
                        "para=11 ax=11 unmapped=3 firstDiff@0 para=\"Hello worl\" ax=\"Jello_worl\"" } },
        { {}, { "text_completeness", true, "axFull=0 extracted=11" }, std::nullopt },
    };
    for (const auto& c : cases) {
        SimElement group = SimElement("AXGroup").named("block").frame(Rect(0, 100, 600, 60));
        for (const std::string& piece : c.pieces)
            group.child(SimElement("AXStaticText", piece));
        install({ group });
        ArticleParagraph paragraph { .text = text, .role = "AXGroup", .element = element("block") };
        const ParagraphTestResult result = HighlightTester::testParagraph(paragraph);
        EXPECT_EQ(checkNamed(result.checks, "text_completeness"), c.completeness) << c.completeness.detail;
        EXPECT_EQ(checkNamed(result.checks, "text_ax_alignment"), c.alignment) << c.completeness.detail;
    }
}

TEST_F(HighlightTesterPage, DegenerateLinesAreSkippedRatherThanJudged)
{
    install({ block("Hi! Ho") });
    answerBounds(Rect(100, 160, 0.5, 18));
    ArticleParagraph paragraph { .text = "Hi! Ho", .role = "AXStaticText", .element = element("block") };
    const ParagraphTestResult result = HighlightTester::testParagraph(paragraph);
    ASSERT_EQ(result.sentences.size(), 2u);
    for (const SentenceTestResult& sentence : result.sentences) {
        EXPECT_EQ(sentence.lineCount, 0);
        EXPECT_EQ(sentence.lineRects.size(), 1u);
        EXPECT_EQ(sentence.checks, (std::vector<CheckResult> { { "bounds_available", true, "skipped (1 degenerate rect(s))" } }));
    }

    // A range that cannot be measured at all is a failed geometry check.
    probes->boundsOverride = [](const AXElement&, const AXRange&, AXValue&) { return AXError::cannotComplete; };
    const ParagraphTestResult unmeasured = HighlightTester::testParagraph(paragraph);
    for (const SentenceTestResult& sentence : unmeasured.sentences)
        EXPECT_EQ(sentence.checks, (std::vector<CheckResult> { { "bounds_available", false, "computeLineRects returned empty" } }));
    EXPECT_FALSE(checkNamed(unmeasured.checks, "first_char_top_gap"));
    EXPECT_EQ(checkNamed(unmeasured.checks, "frame_text_alignment"), (CheckResult { "frame_text_alignment", true, "ok" }));
}

TEST_F(HighlightTesterPage, OnlyAFirstSentenceOfAFullLineIsCheckedForWidth)
{
    install({ SimElement("AXStaticText", "The quick brown fox jumps over the lazy dog and runs away! Then it keeps on running "
                                          "far into the quiet woods behind the old mill.")
                  .named("block")
                  .at({ 0, 100 })
                  .sized(300) });
    const AXElement el = element("block");
    ArticleParagraph paragraph { .text = *AXReader::attribute(el, AXName::value), .role = "AXStaticText", .element = el };
    const ParagraphTestResult result = HighlightTester::testParagraph(paragraph);
    ASSERT_EQ(result.sentences.size(), 2u);
    EXPECT_GE(result.sentences[0].lineCount, 2);
    EXPECT_GE(result.sentences[1].lineCount, 2);
    EXPECT_EQ(checkNamed(result.sentences[0].checks, "width_consistency"), (CheckResult { "width_consistency", true, "ok" }));
    EXPECT_FALSE(checkNamed(result.sentences[1].checks, "width_consistency"));
    EXPECT_TRUE(failuresOf(result).empty());

    paragraph.role = "AXWebArea";
    EXPECT_FALSE(checkNamed(HighlightTester::testParagraph(paragraph).sentences[0].checks, "width_consistency"));
}

// Emoji and combining marks take more UTF-16 units than Characters: every probe must land on
// the paragraph's own text.
TEST_F(HighlightTesterPage, EmojiTextIsMeasuredWhereItStands)
{
    install(loadFixture("highlight-reader.json"));
    const AXElement article = element("article");
    const std::string whole = *AXReader::attribute(article, AXName::value);
    const std::string text = "Fresh 🍞 bread, 面包 and cafe\u0301 au lait.\nLast line here.";
    const size_t at = whole.find("Fresh");
    const int base = static_cast<int>(Text::utf16OffsetFromByteOffset(whole, at));
    ArticleParagraph paragraph { .text = text, .role = "AXTextArea", .element = article, .nativeCharOffset = base };
    paragraph.frame = *AXReader::boundsForRange(article, base, static_cast<int>(Text::utf16Count(text)));

    const ParagraphTestResult result = HighlightTester::testParagraph(paragraph);
    EXPECT_TRUE(failuresOf(result).empty());
    ASSERT_EQ(result.sentences.size(), 2u);
    const auto lineOf = [&](const std::string& needle) {
        return AXReader::boundsForRange(article, static_cast<int>(Text::utf16OffsetFromByteOffset(whole, whole.find(needle))), 1)->minY();
    };
    ASSERT_EQ(result.sentences[1].lineCount, 1);
    EXPECT_DOUBLE_EQ(result.sentences[0].lineRects[0].y, lineOf("Fresh"));
    EXPECT_DOUBLE_EQ(result.sentences[1].lineRects[0].y, lineOf("Last"));
    EXPECT_NE(lineOf("Fresh"), lineOf("Last"));
}

// The paragraph is the second line of an element whose first line is all emoji; the mapping
// into the element's text counts Characters, accessibility counts UTF-16 units.
TEST_F(HighlightTesterPage, EmojiBeforeAParagraphInItsElementDoNotMoveItsProbes)
{
    const std::string emoji = "🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉";
    const std::string text = "Plain words follow here.";
    install({ SimElement("AXStaticText", emoji + "\n" + text).named("block").at({ 0, 100 }).sized(600) });
    const AXElement el = element("block");
    const Rect elementRect = *AXReader::rect(el);
    const Rect second = *AXReader::boundsForRange(el, static_cast<int>(Text::utf16Count(emoji)) + 1, 1);
    ArticleParagraph paragraph { .text = text, .frame = Rect(elementRect.minX(), second.minY(), elementRect.width(), second.height()),
                                 .role = "AXStaticText", .element = el, .axFullText = emoji + "\n" + text,
                                 .tightFrameYOffset = second.minY() - elementRect.minY(), .tightFrameHeight = second.height() };

    const ParagraphTestResult result = HighlightTester::testParagraph(paragraph);
    EXPECT_EQ(checkNamed(result.checks, "first_char_top_gap"), (CheckResult { "first_char_top_gap", true, "gap=0.0pt" }));
    EXPECT_EQ(checkNamed(result.checks, "frame_text_alignment"), (CheckResult { "frame_text_alignment", true, "ok" }));
    ASSERT_EQ(result.sentences.size(), 1u);
    ASSERT_EQ(result.sentences[0].lineCount, 1);
    EXPECT_DOUBLE_EQ(result.sentences[0].lineRects[0].y, second.minY());
    EXPECT_EQ(failuresOf(result), (std::vector<CheckResult> {
                                      { "text_completeness", false, "missing 13 chars (axFull=37 extracted=24)" },
                                      { "text_ax_alignment", false, "para=24 ax=37 unmapped=21 firstDiff@0 para=\"Plain word\" "
                                                                    "ax=\"🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉\"" } }));
}

TEST_F(HighlightTesterPage, ReportCountsEveryCheckAndEachParagraphOncePerCategory)
{
    ArticleParagraph disabled = textOnly("Drop cap");
    disabled.boundsDisabled = true;
    const std::vector<ArticleParagraph> paragraphs = { textOnly("你好。再见"), disabled, textOnly(std::string(2001, 'a') + "!") };
    const auto before = std::chrono::system_clock::now();
    const HighlightTestReport report = HighlightTester::test(paragraphs, "Title", std::string("https://example.com/a"));
    EXPECT_EQ(report.articleTitle, "Title");
    EXPECT_EQ(report.url, "https://example.com/a");
    EXPECT_EQ(report.paragraphCount, 3);
    EXPECT_EQ(report.totalCharacters, 5 + 8 + 2002);
    EXPECT_FALSE(report.content);
    EXPECT_EQ(report.summary.totalChecks, 10);
    EXPECT_EQ(report.summary.passed, 6);
    EXPECT_EQ(report.summary.failed, 4);
    EXPECT_EQ(report.summary.failedCheckNames, (std::vector<std::string> { "bounds_available", "mega_paragraph" }));
    EXPECT_EQ(report.summary.checkBreakdown, (std::map<std::string, CheckBreakdown> {
                                                 { "bounds_available", { 0, 3 } }, { "bounds_disabled", { 1, 0 } },
                                                 { "coverage", { 2, 0 } }, { "mega_paragraph", { 1, 1 } },
                                                 { "no_sentence_overlap", { 2, 0 } } }));
    EXPECT_EQ(report.failureCategories, (FailureCategories { .megaParagraph = 1, .geometryError = 2 }));

    // An ISO 8601 time in UTC, to the second, taken while the test ran.
    ASSERT_EQ(report.timestamp.size(), 20u);
    std::tm parsed {};
    ASSERT_NE(strptime(report.timestamp.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parsed), nullptr) << report.timestamp;
    const auto stamped = std::chrono::system_clock::from_time_t(timegm(&parsed));
    EXPECT_GE(stamped, std::chrono::floor<std::chrono::seconds>(before));
    EXPECT_LE(stamped, std::chrono::system_clock::now());
}

// Captured articles: wherever a paragraph's sentences could be measured, the geometry is sound.
TEST_F(HighlightTesterPage, CapturedFixtureArticlesHaveSoundGeometry)
{
    for (const char* name : { "safari-article.json", "wechat-article.json", "e2e-chinese-article.json" }) {
        install(loadFixture(name));
        auto captured = ArticleParser::captureArticle(std::nullopt);
        if (!captured)
            captured = ArticleParser::captureArticle("com.apple.Safari");
        ASSERT_TRUE(captured) << name;
        const HighlightTestReport report = HighlightTester::test(*captured);
        EXPECT_EQ(report.articleTitle, captured->title);
        ASSERT_EQ(report.paragraphs.size(), captured->paragraphs.size()) << name;
        int measured = 0;
        for (const ParagraphTestResult& paragraph : report.paragraphs) {
            for (const char* frameCheck : { "first_char_top_gap", "frame_height_ratio", "frame_text_alignment", "mega_paragraph" }) {
                auto check = checkNamed(paragraph.checks, frameCheck);
                EXPECT_TRUE(!check || check->passed) << name << " " << paragraph.index << " " << check->detail;
            }
            for (const SentenceTestResult& sentence : paragraph.sentences) {
                if (sentence.lineCount == 0)
                    continue;
                ++measured;
                for (const CheckResult& check : sentence.checks)
                    EXPECT_TRUE(check.passed) << name << " " << paragraph.index << " " << check.name << " " << check.detail;
            }
        }
        EXPECT_GE(measured, 2) << name;
    }
}

// A document source's session, emoji and Chinese lines at native offsets into one text area.
TEST_F(HighlightTesterPage, NotesSessionPassesEveryGeometryCheck)
{
    install(loadFixture("notes-note.json"));
    auto session = DocumentSourceRegistry::detect("com.apple.Notes");
    ASSERT_TRUE(session);
    const HighlightTestReport report = HighlightTester::test(*session);
    EXPECT_EQ(report.articleTitle, session->title());
    ASSERT_GE(report.paragraphs.size(), 4u);
    for (const ParagraphTestResult& paragraph : report.paragraphs) {
        for (const CheckResult& failure : failuresOf(paragraph))
            EXPECT_TRUE(failure.name == "text_completeness" || failure.name == "text_ax_alignment")
                << paragraph.textPreview << " " << failure.name << " " << failure.detail;
        for (const SentenceTestResult& sentence : paragraph.sentences)
            EXPECT_GE(sentence.lineCount, 1) << paragraph.textPreview << " " << sentence.charRange;
    }
}

} // namespace
} // namespace lorvantine
