#include "Accessibility/AXReader.h"
#include "Accessibility/NativeDocumentParser.h"

#include "Support/Text.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/ProbeCountingAccessibility.h"

#include <gmock/gmock.h>

#include <map>

namespace lorvantine {
namespace {

using NativeDocumentParser::MergedParagraph;
using NativeDocumentParser::TextLine;

// A window (at (100, 50)) holding `content`, read through a port that counts bounds requests.
class NativeParserTest : public ::testing::Test {
protected:
    void load(std::vector<SimElement> content)
    {
        desktop = SimDesktop::create(oneWindowFixture(std::move(content)));
        auto [services, port] = test::ProbeCountingAccessibility::wrap(desktop->services());
        probes = port;
        scoped.emplace(std::move(services));
    }
    AXElement window() { return desktop->windowElement(42); }
    std::optional<std::vector<MergedParagraph>> extract()
    {
        probes->resetCounts();
        return NativeDocumentParser::extractParagraphs(window(), "com.apple.Notes", 20);
    }

    std::shared_ptr<SimDesktop> desktop;
    std::shared_ptr<test::ProbeCountingAccessibility> probes;
    std::optional<Platform::ScopedServices> scoped;
};

SimElement textArea(const std::string& value, Rect frame = Rect(20, 20, 540, 330))
{
    return SimElement("AXTextArea", value).frame(frame).named("body");
}

TEST_F(NativeParserTest, ATextAreaGivesOneParagraphPerNonBlankLineMeasuredAtItsOwnUtf16Offset)
{
    struct Case {
        const char* name;
        std::string value;
        std::vector<std::string> texts;
        std::vector<int> offsets; // UTF-16 units into the value
    };
    for (const Case& c : std::vector<Case> {
             { "repeated lines", "Chapter one\n\nChapter one", { "Chapter one", "Chapter one" }, { 0, 13 } },
             { "blank line of spaces", "alpha line\n   \nbeta line", { "alpha line", "beta line" }, { 0, 15 } },
             // The emoji is one Character but two UTF-16 units.
             { "emoji before a line", "Cake 🍰 first\nsecond line", { "Cake 🍰 first", "second line" }, { 0, 14 } },
             // CR LF is one Character but two units; its CR belongs to the break, not the line.
             { "CRLF before a line", "first line\r\nsecond line\r\n\r\nthird line",
               { "first line", "second line", "third line" }, { 0, 12, 27 } },
             { "Chinese", "你好世界，早上好\n第二行文字内容\n🍞🍞 and 面包", { "你好世界，早上好", "第二行文字内容", "🍞🍞 and 面包" },
               { 0, 9, 17 } },
             { "tab-only line", "one line here\n\t \t\ntwo", { "one line here", "two" }, { 0, 18 } },
         }) {
        SCOPED_TRACE(c.name);
        load({ textArea(c.value) });
        const AXElement body = desktop->element("body");
        auto paragraphs = extract();
        ASSERT_TRUE(paragraphs);
        EXPECT_EQ(probes->boundsCalls(), static_cast<int>(c.texts.size()) + 1);
        ASSERT_EQ(paragraphs->size(), c.texts.size());
        double previousTop = -1;
        for (size_t i = 0; i < c.texts.size(); ++i) {
            const ArticleParagraph& p = (*paragraphs)[i].paragraph;
            EXPECT_EQ(p.index, static_cast<int>(i));
            EXPECT_EQ(p.text, c.texts[i]);
            EXPECT_EQ(p.role, "AXStaticText");
            EXPECT_EQ(p.element, body);
            ASSERT_EQ(p.nativeCharOffset, c.offsets[i]);
            // What the highlight reads back at that offset is the line itself, and it is measured
            // on its own row: below the line before it.
            EXPECT_EQ(Text::utf16Substring(c.value, *p.nativeCharOffset, Text::utf16Count(p.text)), p.text);
            const auto first = AXReader::boundsForRange(body, *p.nativeCharOffset, 1);
            ASSERT_TRUE(first);
            EXPECT_DOUBLE_EQ(p.frame.minY(), first->minY());
            EXPECT_GT(p.frame.minY(), previousTop);
            previousTop = p.frame.minY();
            EXPECT_DOUBLE_EQ(p.frame.minX(), 120);
            EXPECT_DOUBLE_EQ(p.frame.width(), 540);
            const auto& map = (*paragraphs)[i].lineMap;
            ASSERT_EQ(map.size(), 1u);
            EXPECT_EQ(map[0].charOffset, 0);
            EXPECT_EQ(map[0].charCount, static_cast<int>(Text::characterCount(p.text)));
        }
    }
}

// Answers every bounds request of the body from `rows` (UTF-16 location → rectangle), nothing else.
void answerBoundsFrom(test::ProbeCountingAccessibility& probes, std::map<int64_t, Rect> rows)
{
    probes.boundsOverride = [rows = std::move(rows)](const AXElement&, const AXRange& range,
                                                     AXValue& out) -> std::optional<AXError> {
        auto found = rows.find(range.location);
        if (found == rows.end())
            return AXError::noValue;
        out = found->second;
        return AXError::success;
    };
}

TEST_F(NativeParserTest, LineHeightsReachTheNextLineLessTheMedianLeading)
{
    // Three pieces of 11 Characters at locations 0, 12 and 24; the last one ends at 34.
    const std::string value = "aaaaaaaaaaa\nbbbbbbbbbbb\nccccccccccc";
    const auto row = [](double y, double h = 16) { return Rect(130, y, 9, h); };
    struct Case {
        const char* name;
        std::map<int64_t, Rect> rows;
        std::vector<double> tops, heights;
    };
    for (const Case& c : std::vector<Case> {
             { "evenly spaced", { { 0, row(100) }, { 12, row(120) }, { 24, row(140) }, { 34, row(140) } },
               { 100, 120, 140 }, { 16, 16, 16 } },
             // A first piece wrapped over two rows: its 40-point step is not a gap between lines.
             { "wrapped first piece", { { 0, row(100) }, { 12, row(140) }, { 24, row(160) }, { 34, row(180) } },
               { 100, 140, 160 }, { 36, 16, 36 } },
             // No usable gap: half a Character height of leading.
             { "no gap under 2.5 heights", { { 0, row(100) }, { 12, row(150) }, { 24, row(200) } },
               { 100, 150, 200 }, { 42, 42, 16 } },
             // The middle piece gets no bounds and is left out.
             { "unmeasured piece", { { 0, row(100) }, { 24, row(136) }, { 34, row(136) } }, { 100, 136 }, { 16, 16 } },
         }) {
        SCOPED_TRACE(c.name);
        load({ textArea(value) });
        answerBoundsFrom(*probes, c.rows);
        std::vector<TextLine> lines;
        NativeDocumentParser::collectTextLines(window(), lines, 0, 20);
        ASSERT_EQ(lines.size(), c.tops.size());
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].frame, Rect(120, c.tops[i], 540, c.heights[i])) << i;
            EXPECT_EQ(lines[i].role, "AXStaticText");
        }
    }
}

TEST_F(NativeParserTest, OnePieceIsAsTallAsItsTextAndNeverShorterThanACharacter)
{
    for (const auto& [lastRow, height] : std::vector<std::pair<std::optional<Rect>, double>> {
             { Rect(300, 148, 9, 16), 64 }, { Rect(300, 100, 9, 10), 16 }, { std::nullopt, 16 } }) {
        load({ textArea("one long piece that wraps") });
        std::map<int64_t, Rect> rows { { 0, Rect(130, 100, 9, 16) } };
        if (lastRow)
            rows[24] = *lastRow;
        answerBoundsFrom(*probes, rows);
        auto paragraphs = extract();
        ASSERT_TRUE(paragraphs);
        ASSERT_EQ(paragraphs->size(), 1u);
        EXPECT_EQ(paragraphs->front().paragraph.frame, Rect(120, 100, 540, height));
        EXPECT_EQ(probes->boundsCalls(), 2);
    }
}

TEST_F(NativeParserTest, TextAreasThatCannotBeCutIntoLinesAreTakenWhole)
{
    // Ten Characters: too short to be cut.
    load({ textArea("0123456789") });
    auto paragraphs = extract();
    ASSERT_TRUE(paragraphs);
    ASSERT_EQ(paragraphs->size(), 1u);
    EXPECT_EQ(paragraphs->front().paragraph.role, "AXTextArea");
    EXPECT_EQ(paragraphs->front().paragraph.frame, Rect(120, 70, 540, 330));
    EXPECT_FALSE(paragraphs->front().paragraph.nativeCharOffset);
    EXPECT_EQ(probes->boundsCalls(), 0);

    // No bounds at all: whole when it is the first text met...
    load({ textArea("first line\nsecond line").failing("AXBoundsForRange", AXError::noValue) });
    paragraphs = extract();
    ASSERT_TRUE(paragraphs);
    EXPECT_EQ(paragraphs->front().paragraph.text, "first line\nsecond line");
    EXPECT_EQ(paragraphs->front().paragraph.role, "AXTextArea");

    // ... and nothing when a text was found before it.
    load({ SimElement("AXStaticText", "Title").frame(Rect(20, 0, 300, 20)),
           textArea("first line\nsecond line", Rect(20, 400, 540, 200)).failing("AXBoundsForRange", AXError::noValue) });
    paragraphs = extract();
    ASSERT_TRUE(paragraphs);
    ASSERT_EQ(paragraphs->size(), 1u);
    EXPECT_EQ(paragraphs->front().paragraph.text, "Title");
}

TEST_F(NativeParserTest, SkippedRolesNarrowAndFlatLinesGiveNothing)
{
    load({ SimElement("AXButton", "Share").frame(Rect(10, 10, 100, 20)),
           SimElement("AXImage").frame(Rect(10, 40, 100, 100)),
           SimElement("AXScrollBar").frame(Rect(580, 0, 15, 400)),
           SimElement("AXToolbar").frame(Rect(0, 0, 600, 30)).child(SimElement("AXStaticText", "Hidden")) });
    EXPECT_FALSE(extract());

    for (const auto& [width, kept] : std::vector<std::pair<double, bool>> { { 20, false }, { 20.5, true } }) {
        load({ SimElement("AXGroup")
                   .frame(Rect(0, 0, 600, 300))
                   .child(SimElement("AXStaticText", "Wide enough text").frame(Rect(10, 10, 300, 20)))
                   .child(SimElement("AXStaticText", "x").frame(Rect(10, 200, width, 20))) });
        auto paragraphs = extract();
        ASSERT_TRUE(paragraphs);
        EXPECT_EQ(paragraphs->size(), kept ? 2u : 1u) << width;
    }
}

TextLine textLine(const std::string& text, Rect frame, AXElement element = AXElement { 1, 10 })
{
    return TextLine { element, text, frame, "AXStaticText", std::nullopt };
}

TEST(NativeParserJoin, LinesJoinWithASpaceExceptAtSeamsHyphensAndSpaces)
{
    struct Case {
        std::string a, b, joined;
    };
    for (const Case& c : std::vector<Case> {
             { "你好", "世界", "你好世界" },
             { "Hello", "world", "Hello world" },
             { "co-", "operate", "co-operate" },
             { "end ", "start", "end start" },
             { "Note", " indented", "Note indented" },
             { "注意：", "Note", "注意：Note" },
             { "Note", "「引用」", "Note「引用」" },
             { "カタカナ", "end", "カタカナend" },
             { "ＡＢＣ", "x", "ＡＢＣx" },
             { "emoji 🍰", "next", "emoji 🍰 next" },
         }) {
        auto merged = NativeDocumentParser::buildMergedParagraph(
            { textLine(c.a, Rect(10, 10, 200, 20)), textLine(c.b, Rect(10, 30, 200, 20), AXElement { 1, 11 }) }, 4);
        ASSERT_TRUE(merged);
        EXPECT_EQ(merged->paragraph.text, c.joined);
        EXPECT_EQ(merged->paragraph.index, 4);
        EXPECT_EQ(merged->paragraph.frame, Rect(10, 10, 200, 40));
        // The map counts Characters of the paragraph text: the second line starts after the first
        // and its joiner.
        const std::vector<NativeDocumentParser::LineMapping> expected {
            { AXElement { 1, 10 }, 0, static_cast<int>(Text::characterCount(c.a)) },
            { AXElement { 1, 11 }, static_cast<int>(Text::characterCount(c.joined) - Text::characterCount(c.b)),
              static_cast<int>(Text::characterCount(c.b)) },
        };
        EXPECT_EQ(merged->lineMap, expected) << c.joined;
    }
    EXPECT_FALSE(NativeDocumentParser::buildMergedParagraph({ textLine(" \t", Rect(10, 10, 200, 20)) }, 0));
    EXPECT_FALSE(NativeDocumentParser::buildMergedParagraph({}, 0));
}

TEST(NativeParserMerge, LinesCloseTogetherAndLeftAlignedFormOneParagraph)
{
    // Line height 20: a gap must lie strictly between -10 and 30, the left edges less than 30 apart.
    struct Case {
        const char* name;
        double gap, indent;
        size_t paragraphs;
    };
    for (const Case& c : std::vector<Case> {
             { "touching", 0, 0, 1 },
             { "gap just under 1.5 lines", 29.9, 0, 1 },
             { "gap of exactly 1.5 lines", 30, 0, 2 },
             { "overlap of 0.4 lines", -8, 0, 1 },
             { "overlap of half a line", -10, 0, 2 },
             { "indented 29.9", 0, 29.9, 1 },
             { "indented exactly 30", 0, 30, 2 },
             { "outdented 30", 0, -30, 2 },
         }) {
        const std::vector<TextLine> lines { textLine("first", Rect(100, 100, 300, 20)),
                                            textLine("second", Rect(100 + c.indent, 120 + c.gap, 300, 20)) };
        auto merged = NativeDocumentParser::mergeLinesToParagraphs(lines, 20, "com.apple.Notes");
        ASSERT_EQ(merged.size(), c.paragraphs) << c.name;
        for (size_t i = 0; i < merged.size(); ++i)
            EXPECT_EQ(merged[i].paragraph.index, static_cast<int>(i));
    }
    // A blank group makes no paragraph and the next one takes its number.
    auto merged = NativeDocumentParser::mergeLinesToParagraphs(
        { textLine("first", Rect(100, 100, 300, 20)), textLine("   ", Rect(100, 200, 300, 20)), textLine("third", Rect(100, 300, 300, 20)) },
        20, "com.apple.Notes");
    ASSERT_EQ(merged.size(), 2u);
    EXPECT_EQ(merged[1].paragraph.text, "third");
    EXPECT_EQ(merged[1].paragraph.index, 1);
    EXPECT_TRUE(NativeDocumentParser::mergeLinesToParagraphs({}, 20, "x").empty());
}

TEST(NativeParserMerge, MedianLineHeightIsTheUpperMedian)
{
    EXPECT_EQ(NativeDocumentParser::computeMedianLineHeight({}), 16.0);
    std::vector<TextLine> lines;
    for (double h : { 10.0, 40.0, 20.0, 30.0 })
        lines.push_back(textLine("x", Rect(0, 0, 100, h)));
    EXPECT_EQ(NativeDocumentParser::computeMedianLineHeight(lines), 30.0);
    lines.pop_back();
    EXPECT_EQ(NativeDocumentParser::computeMedianLineHeight(lines), 20.0);
}

} // namespace
} // namespace lorvantine
