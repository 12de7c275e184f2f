#include "Core/SubHighlightMapper.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace lorvantine {
namespace {

using CharRange = SubHighlightMapper::CharRange;
constexpr double infinity = std::numeric_limits<double>::infinity();

std::vector<TTSTimestamp> spoken(const std::vector<std::string>& words, double pitch = 0.5)
{
    std::vector<TTSTimestamp> timestamps;
    for (size_t i = 0; i < words.size(); ++i)
        timestamps.push_back({ pitch * static_cast<double>(i), pitch * static_cast<double>(i) + pitch * 0.8, words[i] });
    return timestamps;
}

// The Characters a range covers.
std::string slice(const std::string& text, const CharRange& range)
{
    return Text::characterSubstring(text, static_cast<size_t>(range.lower), static_cast<size_t>(range.upper - range.lower));
}

std::vector<std::string> texts(const std::string& paragraph, const std::vector<SubHighlightUnit>& units)
{
    std::vector<std::string> result;
    for (const auto& unit : units)
        result.push_back(slice(paragraph, unit.charRange));
    return result;
}

AudioSegment segment(std::string processed, std::vector<TTSTimestamp> timestamps, int offset = 0, int paragraph = 0)
{
    AudioSegment s;
    s.paragraphIndex = paragraph;
    s.processedText = std::move(processed);
    s.timestamps = std::move(timestamps);
    s.textOffsetInParagraph = offset;
    return s;
}

// --- Matching the server's words to the paragraph ---

TEST(WordMatchTest, MatchesWordsInOrderFromTheSegmentsOffsetCountingCharacters)
{
    using Positions = std::vector<std::optional<CharRange>>;
    struct Case {
        std::string text;
        std::vector<std::string> words;
        int offset;
        Positions expected;
    };
    const Case cases[] = {
        // Case and punctuation are ignored; nothing but punctuation has no position and leaves the
        // cursor for the next word; the second "world" is found after the first, not again at it.
        {"Hello, World! The world is wide.", {"HELLO", "world!", "—", "the", "World", "wide"}, 0,
         {CharRange {0, 5}, CharRange {7, 12}, std::nullopt, CharRange {14, 17}, CharRange {18, 23}, CharRange {27, 31}}},
        // From the segment's offset, never going back: "one" lies only behind the cursor.
        {"one two three one two three", {"two", "one", "three"}, 14, {CharRange {18, 21}, std::nullopt, CharRange {22, 27}}},
        // "Mr" is no token but part of "Mrs": the search finds it there and moves past that token.
        {"Mrs Smith met Jones", {"mr", "smith", "zebra", "jones"}, 0,
         {CharRange {0, 2}, CharRange {4, 9}, std::nullopt, CharRange {14, 19}}},
        // Text without spaces is one token per clause; its words are found in turn inside it, and a
        // word is never taken from a later clause while it is still ahead in the current one.
        {"我们去公园，公园很大", {"我们", "去", "公园", "公园", "很大"}, 0,
         {CharRange {0, 2}, CharRange {2, 3}, CharRange {3, 5}, CharRange {6, 8}, CharRange {8, 10}}},
        // 🍞 is two UTF-16 units and "cafe\u0301" five; each is one Character per letter or symbol,
        // and the server's precomposed, upper-case word matches the decomposed text.
        {"Fresh 🍞 bread, 面包 and cafe\u0301 au lait", {"fresh", "bread", "面包", "and", "CAF\u00c9", "lait"}, 0,
         {CharRange {0, 5}, CharRange {8, 13}, CharRange {15, 17}, CharRange {18, 21}, CharRange {22, 26}, CharRange {30, 34}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SubHighlightMapper::matchWordsToText(spoken(c.words), c.offset, c.text), c.expected) << c.text;
    EXPECT_EQ(slice(cases[4].text, CharRange {22, 26}), "cafe\u0301");
}

TEST(WordMatchTest, AWordSaidAgainAndAgainIsMarkedOnEachOccurrenceInTurn)
{
    struct Case {
        std::string text;
        std::vector<std::string> words;
        int offset;
        // The Character offset where each word's unit starts, in the order they are spoken.
        std::vector<int> starts;
    };
    const Case cases[] = {
        {"It is very very good.", {"It", "is", "very", "very", "good"}, 0, {0, 3, 6, 11, 16}},
        // Punctuation between the repeats and a capital on the first.
        {"Very, very, VERY good.", {"Very,", "very,", "very", "good."}, 0, {0, 6, 12, 17}},
        // A segment that starts in the middle of the paragraph, at the second "no".
        {"No, no, no and no.", {"no", "no", "and", "no"}, 4, {4, 8, 11, 15}},
        // Repeats without spaces are found in turn inside the one token.
        {"好好好学习", {"好", "好", "好", "学习"}, 0, {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto timestamps = spoken(c.words);
        const auto units = SubHighlightMapper::buildWordUnits(timestamps, SubHighlightMapper::matchWordsToText(timestamps, c.offset, c.text));
        ASSERT_EQ(units.size(), c.starts.size());
        // Played along, each moment marks the occurrence being said, never an earlier one again.
        for (size_t i = 0; i < timestamps.size(); ++i) {
            auto current = SubHighlightMapper::currentUnitIndex(units, timestamps[i].start + 0.1);
            ASSERT_EQ(current, i);
            EXPECT_EQ(units[*current].charRange.lower, c.starts[i]) << "word " << i;
        }
    }
}

// --- Word units and the fallback ---

TEST(SegmentUnitsTest, ThirtyPercentMatchedGivesWordUnits)
{
    const std::string text = "alpha beta gamma and seven words nobody says";
    // 3 of 10 match.
    auto timestamps = spoken({ "alpha", "xx", "beta", "yy", "zz", "gamma", "qq", "rr", "ss", "tt" });
    Log::Capture log;
    auto units = SubHighlightMapper::unitsForSegment(segment(text, timestamps), text, 5);
    EXPECT_FALSE(log.contains("fallback"));
    EXPECT_EQ(texts(text, units), (std::vector<std::string> { "alpha", "beta", "gamma" }));
    EXPECT_EQ(units[1].startTime, timestamps[2].start);
    EXPECT_EQ(units[1].endTime, timestamps[2].end);
}

TEST(SegmentUnitsTest, BelowThirtyPercentFallsBackToSentencesTimedByLength)
{
    const std::string text = "alpha beta! Then more text follows here?";
    auto timestamps = spoken({ "alpha", "xx", "beta", "yy", "zz", "ww", "qq", "rr", "ss", "tt" });
    Log::Capture log;
    auto units = SubHighlightMapper::unitsForSegment(segment(text, timestamps), text, 8);
    EXPECT_EQ(log.lines(), (std::vector<std::string> { "[SubHL] word match rate 20% (2/10) → fallback to sentence units" }));
    EXPECT_EQ(texts(text, units), (std::vector<std::string> { "alpha beta!", "Then more text follows here?" }));
    EXPECT_EQ(units[0].startTime, 0);
    EXPECT_EQ(units[1].endTime, infinity);
}

TEST(SegmentUnitsTest, ChineseTextGetsSentenceUnitsFromItsWords)
{
    const std::string text = "今天天气很好。我们去公园吧！然后回家";
    auto timestamps = spoken({ "今天", "天气", "很好。", "我们", "去", "公园吧！", "然后", "回家" });
    auto units = SubHighlightMapper::unitsForSegment(segment(text, timestamps), text, 4);
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(texts(text, units), (std::vector<std::string> { "今天天气很好", "我们去公园吧", "然后回家" }));
    EXPECT_EQ(units[0].startTime, timestamps[0].start);
    EXPECT_EQ(units[0].endTime, timestamps[2].end);
    EXPECT_EQ(units[1].startTime, timestamps[3].start);
    EXPECT_EQ(units[1].endTime, timestamps[5].end);
    // The last word of the list closes the last run.
    EXPECT_EQ(units[2].endTime, timestamps[7].end);
}

TEST(SegmentUnitsTest, ChineseSentencesEndAtALineBreakAndAnOpenRunWithoutFurtherMatchesMakesNoUnit)
{
    const std::string text = "第一行文字\n第二行文字";
    auto timestamps = spoken({ "第一行", "文字", "第二行", "文字" });
    auto units = SubHighlightMapper::buildSentenceUnits(timestamps, SubHighlightMapper::matchWordsToText(timestamps, 0, text), text);
    EXPECT_EQ(texts(text, units), (std::vector<std::string> { "第一行文字", "第二行文字" }));
    EXPECT_EQ(units[0].endTime, timestamps[1].end);
    EXPECT_EQ(units[1].startTime, timestamps[2].start);

    const std::string open = "你好。世界很大";
    timestamps = spoken({ "你好。", "世界", "很大", "unknown" });
    units = SubHighlightMapper::buildSentenceUnits(timestamps, SubHighlightMapper::matchWordsToText(timestamps, 0, open), open);
    EXPECT_EQ(texts(open, units), (std::vector<std::string> { "你好" }));
}

TEST(SegmentUnitsTest, IsChineseNeedsMoreThanATenthOfIdeographs)
{
    EXPECT_TRUE(SubHighlightMapper::isChinese("这是中文"));
    EXPECT_TRUE(SubHighlightMapper::isChinese("Reading 中文 aloud"));       // 2 of 17
    EXPECT_FALSE(SubHighlightMapper::isChinese("Exactly ten: 中abcdefg"));   // 1 of 20
    EXPECT_FALSE(SubHighlightMapper::isChinese(""));
    EXPECT_FALSE(SubHighlightMapper::isChinese("🍞🍞🍞"));
}

// --- Sentence units without timestamps ---

TEST(SentenceUnitsTest, PiecesAreTimedByTheirShareOfTheTextAndTheLastNeverEnds)
{
    // Pieces of 10 and 20 Characters over 6 seconds.
    const std::string text = "Hello you!I am fine, thank you";
    auto units = SubHighlightMapper::buildSentenceUnitsWithoutTimestamps(text, 0, text, 6);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0], (SubHighlightUnit { { 0, 10 }, 0, 2 }));
    EXPECT_EQ(units[1], (SubHighlightUnit { { 10, 30 }, 2, infinity }));

    // Without a duration each Character counts 0.2 s.
    auto untimed = SubHighlightMapper::buildSentenceUnitsWithoutTimestamps(text, 0, text, 0);
    ASSERT_EQ(untimed.size(), 2u);
    EXPECT_DOUBLE_EQ(untimed[0].endTime, 2);
    EXPECT_DOUBLE_EQ(untimed[1].startTime, 2);
    EXPECT_EQ(untimed[1].endTime, infinity);
    EXPECT_TRUE(SubHighlightMapper::buildSentenceUnitsWithoutTimestamps("", 0, text, 6).empty());
}

TEST(SentenceUnitsTest, PiecesAreFoundInTheParagraphCountingCharacters)
{
    struct Case {
        std::string spoken;
        int offset;
        std::string paragraph;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        // The second segment starts at Character 13.
        {"Stop! Go on.", 13, "Stop! Go on. Stop! Go on.", {"Stop!", "Go on."}},
        // Found through the speech client's normalisation of a paragraph broken by a line.
        {"First part。second part!", 0, "First part \n  second part!", {"First part", "second part!"}},
        // A later answer's offset counts the paragraph's Characters, which the line breaks before
        // it outnumber in the normalised text.
        {"Two here。three now!", 8, "One.\n\n\n\nTwo here\n\nthree now!", {"Two here", "three now!"}},
        // Units stop at a line break and lose their spaces.
        {"  Hello there \nfriend!", 0, "  Hello there \nfriend!", {"Hello there"}},
        {"I ate 🍞! 我吃了面包。Cafe\u0301 next?", 0, "I ate 🍞! 我吃了面包。Cafe\u0301 next?", {"I ate 🍞!", "我吃了面包。", "Cafe\u0301 next?"}},
        // A piece missing from the text is placed at the search offset.
        {"Nope!Not here", 0, "Something else entirely is written here.", {"Somet", "hing els"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(texts(c.paragraph, SubHighlightMapper::buildSentenceUnitsWithoutTimestamps(c.spoken, c.offset, c.paragraph, 3)),
                  c.expected) << c.spoken;
    EXPECT_EQ(SubHighlightMapper::buildSentenceUnitsWithoutTimestamps("Stop! Go on.", 13, cases[0].paragraph, 3)[0].charRange.lower, 13);
    auto emoji = SubHighlightMapper::buildSentenceUnitsWithoutTimestamps(cases[4].spoken, 0, cases[4].paragraph, 9);
    EXPECT_EQ(emoji[1].charRange, (CharRange { 9, 15 }));
    EXPECT_EQ(emoji[2].charRange, (CharRange { 15, 25 }));
}

TEST(SentenceUnitsTest, SplitKeepsSpacesAndOnlyBreaksAfterEnders)
{
    EXPECT_EQ(SubHighlightMapper::splitByPunctuation("One. Two. Three."), std::vector<std::string> { "One. Two. Three." });
    EXPECT_EQ(SubHighlightMapper::splitByPunctuation("Hi! You? Yes; 好。 …"),
              (std::vector<std::string> { "Hi!", " You?", " Yes;", " 好。", " …" }));
    EXPECT_EQ(SubHighlightMapper::splitByPunctuation("End!  "), std::vector<std::string> { "End!" });
    EXPECT_EQ(SubHighlightMapper::splitByPunctuation("   "), std::vector<std::string> { "   " });
}

// --- Locating the unit for a time ---

TEST(CurrentUnitTest, TheLastUnitStartedIsCurrentUntilTheNextStarts)
{
    const std::vector<SubHighlightUnit> units { { { 0, 3 }, 0.3, 0.5 }, { { 4, 8 }, 0.9, 1.2 }, { { 9, 12 }, 1.5, infinity } };
    EXPECT_EQ(SubHighlightMapper::currentUnitIndex(units, 0), std::nullopt);
    EXPECT_EQ(SubHighlightMapper::currentUnitIndex(units, 0.3), 0u);
    // After a word's end and before the next word's start the earlier word stays.
    EXPECT_EQ(SubHighlightMapper::currentUnitIndex(units, 0.7), 0u);
    EXPECT_EQ(SubHighlightMapper::currentUnitIndex(units, 1.0), 1u);
    EXPECT_EQ(SubHighlightMapper::currentUnitIndex(units, 99), 2u);
    EXPECT_EQ(SubHighlightMapper::currentUnitIndex({}, 1), std::nullopt);
}

} // namespace
} // namespace lorvantine
