#include "Documents/OCRParagraphBuilder.h"
#include "Recognition/RecognitionMatchers.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const Rect content{0, 80, 800, 600};

// Lines 10 points high, two words each ("l0a l0b"), starting at y = 100, with the given gaps
// between one line's bottom and the next line's top; the column starts at `x`.
std::vector<RecognizedWord> linesWithGaps(const std::vector<double>& gaps, const std::string& prefix = "l", double x = 10)
{
    std::vector<RecognizedWord> words;
    double y = 100;
    for (size_t i = 0; i <= gaps.size(); ++i) {
        words.push_back(word(std::string(prefix).append(std::to_string(i)).append("a"), x, y, 30, 10));
        words.push_back(word(std::string(prefix).append(std::to_string(i)).append("b"), x + 40, y, 30, 10));
        if (i < gaps.size())
            y += 10 + gaps[i];
    }
    return words;
}

std::vector<std::string> paragraphTexts(const std::vector<ReadableParagraph>& paragraphs)
{
    std::vector<std::string> texts;
    for (const ReadableParagraph& p : paragraphs)
        texts.push_back(p.text);
    return texts;
}

class OCRParagraphBuilderTest : public ::testing::Test {
protected:
    std::vector<std::string> build(const std::vector<double>& gaps, int minLength = 1)
    {
        return paragraphTexts(OCRParagraphBuilder::buildParagraphs(linesWithGaps(gaps), content, minLength));
    }
    Log::Capture log;
};

TEST_F(OCRParagraphBuilderTest, OneLineIsOneParagraphWhenLongEnough)
{
    EXPECT_THAT(OCRParagraphBuilder::buildParagraphs({}, content, 10), IsEmpty());
    EXPECT_THAT(log.lines(), IsEmpty());
    std::vector<RecognizedWord> line{word("alpha", 10, 100), word("beta", 80, 101)};
    EXPECT_THAT(paragraphTexts(OCRParagraphBuilder::buildParagraphs(line, content, 10)), ElementsAre("alpha beta"));
    EXPECT_THAT(log.lines(), ElementsAre("[OCR] 构建 1 段落, 10 字符"));

    log.clear();
    std::vector<RecognizedWord> number{word("-", 10, 100, 6), word("12", 20, 100, 14), word("-", 38, 100, 6)};
    EXPECT_THAT(OCRParagraphBuilder::buildParagraphs(number, content, 7), IsEmpty());
    EXPECT_THAT(log.lines(), IsEmpty());
    EXPECT_THAT(paragraphTexts(OCRParagraphBuilder::buildParagraphs(number, content, 6)), ElementsAre("- 12 -"));
}

TEST_F(OCRParagraphBuilderTest, AParagraphUnderTheMinimumIsKeptWhenItHoldsWords)
{
    struct Case {
        std::vector<std::string> words;
        bool kept;
    };
    const Case cases[] = {
        // Headings, the close of a letter, replies in a dialogue.
        {{"一、会议基本情况"}, true},
        {{"四、待办事项"}, true},
        {{"第一章"}, true},
        {{"Summary"}, true},
        {{"Our", "Aims"}, true},
        {{"I.", "Scope"}, true},
        {{"Q3", "2026"}, true},
        {{"Regards,"}, true},
        {{"Priya"}, true},
        {{"“Yes.”"}, true},
        {{"No."}, true},
        {{"“好。”"}, true},
        // A table's cell on a line of its own: times, amounts, measures.
        {{"10:00"}, true},
        {{"£4.60"}, true},
        {{"$12"}, true},
        {{"2.5"}, true},
        {{"1,200"}, true},
        // Page numbers.
        {{"12"}, false},
        {{"—", "7", "—"}, false},
        {{"第", "3", "页"}, false},
        {{"第三页"}, false},
        {{"Page", "3"}, false},
        {{"p.", "14"}, false},
        {{"3", "/", "12"}, false},
        {{"xiv"}, false},
        // Rules, list marks and specks.
        {{"*", "*", "*"}, false},
        {{"————————"}, false},
        {{"|"}, false},
        {{"a)"}, false},
        {{"一"}, false},
        {{"2026-03-14"}, true}, // ten Characters: long enough whatever it holds
    };
    for (const Case& c : cases) {
        std::vector<RecognizedWord> line;
        double x = 10;
        for (const std::string& text : c.words) {
            line.push_back(word(text, x, 100, 16 * static_cast<double>(Text::characterCount(text)), 16));
            x = line.back().screenRect.maxX() + 5;
        }
        auto paragraphs = OCRParagraphBuilder::buildParagraphs(line, content, 10);
        EXPECT_EQ(paragraphs.size(), c.kept ? 1u : 0u) << ::testing::PrintToString(c.words);
    }
}

TEST_F(OCRParagraphBuilderTest, AClearBreakAboveTheLineSpacingSeparatesParagraphs)
{
    // Median 2, base 8; the jump from 2 to 12 gives min(7, 5) = 5.
    EXPECT_THAT(build({2, 2, 2, 12}), ElementsAre("l0a l0b l1a l1b l2a l2b l3a l3b", "l4a l4b"));
    EXPECT_THAT(log.linesContaining("gap"), ElementsAre("[OCR] gap 断裂点: threshold=5.0pt (median=2.0, jump=10.0, raw=7.0)"));
}

TEST_F(OCRParagraphBuilderTest, TheBreakIsCappedAtTwoAndAHalfMedians)
{
    // Median 5 (upper middle of four), base 8; the jump from 5 to 20 gives min(12.5, 12.5).
    EXPECT_THAT(build({4, 4, 5, 20}), ElementsAre("l0a l0b l1a l1b l2a l2b l3a l3b", "l4a l4b"));
    EXPECT_THAT(log.linesContaining("gap"), ElementsAre("[OCR] gap 断裂点: threshold=12.5pt (median=5.0, jump=15.0, raw=12.5)"));
    log.clear();
    // 12 points stay under 12.5 when a wider gap sets the break.
    EXPECT_THAT(build({4, 4, 5, 12, 20}).size(), 2u);
}

TEST_F(OCRParagraphBuilderTest, GapsWithoutAClearBreakUseOneAndAHalfMediansButAtLeastEight)
{
    // 7 is not above 1.2 x 6: no break; the threshold is 9 and nothing is cut.
    EXPECT_THAT(build({6, 6, 7}), ElementsAre("l0a l0b l1a l1b l2a l2b l3a l3b"));
    EXPECT_FALSE(log.contains("断裂点"));
    // Median 2 and no step up of more than 0.6: 1.5 x 2 = 3 is raised to 8, so 3.5 does not cut.
    EXPECT_THAT(build({2, 2, 3.5, 2, 2.5, 3, 2}).size(), 1u);
}

TEST_F(OCRParagraphBuilderTest, OnlyGapsAboveZeroAreMeasured)
{
    // Kept: 2 and 15, too few for a break: max(1.5 x 15, 8) = 22.5 keeps one paragraph. Counting
    // the touching lines' 0 would have found a break at 5.
    EXPECT_THAT(build({0, 2, 15}).size(), 1u);
    EXPECT_FALSE(log.contains("断裂点"));
}

TEST_F(OCRParagraphBuilderTest, WithTooFewGapsToMeasureLinesMoreThanTwoLinesApartAreParagraphsApart)
{
    // The last line of a document and the page number far below it (lines 10 points high): one
    // gap measures nothing, and the number is no word of the line above.
    EXPECT_THAT(build({85}), ElementsAre("l0a l0b", "l1a l1b"));
    EXPECT_THAT(build({0, 2, 40}), ElementsAre("l0a l0b l1a l1b l2a l2b", "l3a l3b"));
    // Twice the lines' height apart they may still be one paragraph set with wide spacing.
    EXPECT_THAT(build({20}), ElementsAre("l0a l0b l1a l1b"));
    EXPECT_THAT(build({20, 12}), ElementsAre("l0a l0b l1a l1b l2a l2b"));
}

TEST_F(OCRParagraphBuilderTest, OverlappingLinesJoinTheirParagraph)
{
    std::vector<RecognizedWord> words = linesWithGaps({2, 2, 2, 12});
    // A line of its own, read before the fifth line and reaching into it.
    words.insert(words.end() - 2, word("sub", 90, 151, 20, 8));
    auto paragraphs = OCRParagraphBuilder::buildParagraphs(words, content, 1);
    EXPECT_THAT(paragraphTexts(paragraphs), ElementsAre("l0a l0b l1a l1b l2a l2b l3a l3b", "sub l4a l4b"));
}

TEST_F(OCRParagraphBuilderTest, TwoColumnsKeepTheOrderRecognitionReadThemIn)
{
    // The left column, its fifth line a new paragraph, then the right column beside it.
    std::vector<RecognizedWord> words = linesWithGaps({2, 2, 2, 12, 2});
    const std::vector<RecognizedWord> right = linesWithGaps({2, 2, 2, 2}, "r", 400);
    words.insert(words.end(), right.begin(), right.end());

    auto paragraphs = OCRParagraphBuilder::buildParagraphs(words, content, 1);

    EXPECT_THAT(paragraphTexts(paragraphs), ElementsAre("l0a l0b l1a l1b l2a l2b l3a l3b", "l4a l4b l5a l5b",
                                                        "r0a r0b r1a r1b r2a r2b r3a r3b r4a r4b"));
    ASSERT_EQ(paragraphs.size(), 3u);
    EXPECT_EQ(paragraphs[1].frame, Rect(10, 158, 70, 22));
    EXPECT_EQ(paragraphs[2].frame, Rect(400, 100, 70, 58));
}

TEST_F(OCRParagraphBuilderTest, AColumnThatStartsBesideTheLastLineOfAnotherIsAParagraphOfItsOwn)
{
    // The left column's last line spans y 136...146; the right column starts `lower` points below
    // that line's top, in lines 2 points apart.
    struct Case {
        double lower;
        std::vector<std::string> paragraphs;
    };
    const std::string left = "l0a l0b l1a l1b l2a l2b l3a l3b", right = "r0a r0b r1a r1b r2a r2b r3a r3b";
    const Case cases[] = {
        {0, {left, right}},  // level: read as one line with the left column's last
        {4, {left, right}},  // close enough to share that line too
        {8, {left, right}},  // a line of its own, reaching into the left column's last
        {10, {left, right}}, // its top level with that line's bottom
        {14, {left, right}}, // 4 points below it, closer than the lines of a paragraph
        {30, {left, right}}, // farther below
    };
    for (const Case& c : cases) {
        std::vector<RecognizedWord> words = linesWithGaps({2, 2, 2});
        const std::vector<RecognizedWord> column = linesWithGaps({2, 2, 2}, "r", 400);
        for (RecognizedWord w : column) {
            w.screenRect.origin.y += 36 + c.lower;
            words.push_back(w);
        }
        auto paragraphs = OCRParagraphBuilder::buildParagraphs(words, content, 1);
        EXPECT_EQ(paragraphTexts(paragraphs), c.paragraphs) << "right column " << c.lower << " points lower";
        if (c.paragraphs.size() == 2 && paragraphs.size() == 2) {
            EXPECT_EQ(paragraphs[0].frame, Rect(10, 100, 70, 46)) << c.lower;
            EXPECT_EQ(paragraphs[1].frame, Rect(400, 136 + c.lower, 70, 46)) << c.lower;
        }
    }

    // Within a column a line starts back under the end of the line before it, short as that may be.
    std::vector<RecognizedWord> indented = linesWithGaps({2, 2});
    indented.pop_back();
    indented.push_back(word("next", 20, 136, 40, 10));
    EXPECT_THAT(paragraphTexts(OCRParagraphBuilder::buildParagraphs(indented, content, 1)),
                ElementsAre("l0a l0b l1a l1b l2a next"));

    // Rows of a table or of a list of contents are followed by a row that starts back on the left:
    // however wide their gaps, they stay whole lines of one paragraph.
    std::vector<RecognizedWord> contents{word("Introduction", 10, 100, 80, 10), word("5", 400, 100, 10, 10),
                                         word("Reading", 10, 112, 60, 10), word("19", 400, 112, 15, 10)};
    EXPECT_THAT(paragraphTexts(OCRParagraphBuilder::buildParagraphs(contents, content, 1)),
                ElementsAre("Introduction 5 Reading 19"));
}

TEST_F(OCRParagraphBuilderTest, ParagraphsOfMoreThanEightLinesAreCutAtTheirWidestGap)
{
    // Nine lines 5 apart: the first gap is the widest of equals.
    auto even = build({5, 5, 5, 5, 5, 5, 5, 5});
    ASSERT_EQ(even.size(), 2u);
    EXPECT_EQ(even[0], "l0a l0b");
    EXPECT_TRUE(even[1].starts_with("l1a") && even[1].ends_with("l8b"));

    auto uneven = build({5, 5, 5, 5.8, 5, 5, 5, 5});
    ASSERT_EQ(uneven.size(), 2u);
    EXPECT_TRUE(uneven[0].ends_with("l3b") && uneven[1].starts_with("l4a"));

    // Seventeen evenly spaced lines: every cut takes the top line off, until eight lines remain.
    auto longer = build(std::vector<double>(16, 5));
    ASSERT_EQ(longer.size(), 10u);
    EXPECT_EQ(longer[8], "l8a l8b");
}

TEST_F(OCRParagraphBuilderTest, ShortParagraphsAreDroppedAndTakeNoIndex)
{
    std::vector<RecognizedWord> words{word("page", 10, 100, 40, 10), word("6", 60, 100, 10, 10)};
    for (int i = 0; i < 4; ++i)
        words.push_back(word("bodyline" + std::to_string(i), 10, 140 + 12 * i, 90, 10));

    auto paragraphs = OCRParagraphBuilder::buildParagraphs(words, content, 10);

    ASSERT_EQ(paragraphs.size(), 1u);
    EXPECT_EQ(paragraphs[0].index, 0);
    EXPECT_EQ(paragraphs[0].text, "bodyline0 bodyline1 bodyline2 bodyline3");
    EXPECT_TRUE(log.contains("[OCR] 构建 1 段落, 39 字符"));
}

TEST_F(OCRParagraphBuilderTest, AParagraphCarriesItsWordsAndFrame)
{
    std::vector<RecognizedWord> words{word("cd", 40, 121, 20, 12), word("ab", 10, 120, 20, 10)};

    auto paragraphs = OCRParagraphBuilder::buildParagraphs(words, content, 5);

    ASSERT_EQ(paragraphs.size(), 1u);
    const ReadableParagraph& p = paragraphs[0];
    EXPECT_EQ(p.index, 0);
    EXPECT_EQ(p.text, "ab cd");
    EXPECT_EQ(p.role, "body");
    EXPECT_EQ(p.frame, Rect(10, 120, 50, 13));
    EXPECT_EQ(p.tightFrameYOffset, 40);
    EXPECT_EQ(p.tightFrameHeight, 13);
    EXPECT_TRUE(p.boundsDisabled);
    EXPECT_THAT(p.ocrWordBboxes.value_or(std::vector<OCRWordEntry>()),
                ElementsAre(OCRWordEntry{"ab", 0, 2, Rect(10, 120, 20, 10)}, OCRWordEntry{"cd", 3, 5, Rect(40, 121, 20, 12)}));
}

TEST_F(OCRParagraphBuilderTest, SpansCountCharactersNotBytes)
{
    std::vector<RecognizedWord> words{word("阅读", 10, 100, 32, 16), word("e\u0301te\u0301", 50, 100, 40, 16),
                                      word("书", 100, 100, 16, 16)};

    auto paragraphs = OCRParagraphBuilder::buildParagraphs(words, content, 1);

    ASSERT_EQ(paragraphs.size(), 1u);
    auto spans = *paragraphs[0].ocrWordBboxes;
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(std::make_pair(spans[0].charStart, spans[0].charEnd), std::make_pair(0, 2));
    EXPECT_EQ(std::make_pair(spans[1].charStart, spans[1].charEnd), std::make_pair(3, 6));
    EXPECT_EQ(std::make_pair(spans[2].charStart, spans[2].charEnd), std::make_pair(7, 8));
    EXPECT_TRUE(log.contains("[OCR] 构建 1 段落, 8 字符"));

    // A word that starts with a combining mark joins the space before it into one Character;
    // the spans after it must not run past the text.
    words = {word("a", 10, 100, 10, 16), word("\u0301b", 30, 100, 10, 16), word("", 50, 100, 10, 16), word("cd", 70, 100, 20, 16)};
    paragraphs = OCRParagraphBuilder::buildParagraphs(words, content, 1);
    ASSERT_EQ(paragraphs.size(), 1u);
    spans = *paragraphs[0].ocrWordBboxes;
    std::vector<std::pair<int, int>> ranges;
    for (const auto& span : spans)
        ranges.emplace_back(span.charStart, span.charEnd);
    EXPECT_THAT(ranges, ElementsAre(std::pair(0, 1), std::pair(1, 3), std::pair(4, 4), std::pair(5, 7)));
    EXPECT_EQ(Text::characterCount(paragraphs[0].text), 7u);
}

TEST_F(OCRParagraphBuilderTest, EachRecognisedLineIsReadLeftToRight)
{
    std::vector<RecognizedWord> words{word("there", 70, 100), word("hello", 10, 102), word("world", 70, 131),
                                      word("big", 10, 130), word("again", 10, 160)};
    EXPECT_THAT(paragraphTexts(OCRParagraphBuilder::buildParagraphs(words, content, 1)),
                ElementsAre("hello there big world again"));
}

} // namespace
} // namespace lorvantine::testing
