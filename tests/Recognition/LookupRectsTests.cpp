#include "Documents/VisionOCR.h"
#include "Recognition/RecognitionMatchers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine::testing {
namespace {

using ::testing::ElementsAre;

OCRWordEntry entry(const std::string& text, int start, const Rect& rect)
{
    return {text, start, start + static_cast<int>(text.size()), rect};
}

// "one two three" / "four five" / "six", one screen line each.
std::vector<OCRWordEntry> threeLines()
{
    return {
        entry("one", 0, Rect(10, 100, 30, 20)),  entry("two", 4, Rect(45, 101, 30, 19)),
        entry("three", 8, Rect(80, 100, 50, 21)), entry("four", 14, Rect(10, 130, 40, 20)),
        entry("five", 19, Rect(55, 130, 40, 20)), entry("six", 24, Rect(10, 160, 30, 20)),
    };
}

TEST(LookupRects, GiveOneRectanglePerLineOfTheWordsARangeTouchesOrTheNearestWord)
{
    auto reversed = threeLines();
    std::reverse(reversed.begin(), reversed.end());
    struct Case {
        std::vector<OCRWordEntry> words;
        int start, end;
        std::vector<Rect> expected;
    };
    const Case cases[] = {
        {{}, 0, 10, {}},
        // Inside one word: that word.
        {threeLines(), 9, 11, {Rect(80, 100, 50, 21)}},
        // Over several lines: one rectangle per line, top first.
        {threeLines(), 5, 26, {Rect(45, 100, 85, 21), Rect(10, 130, 85, 20), Rect(10, 160, 30, 20)}},
        // Words are sorted by their tops before lines are formed.
        {reversed, 0, 27, {Rect(10, 100, 120, 21), Rect(10, 130, 85, 20), Rect(10, 160, 30, 20)}},
        // The space between "two" and "three" (middle 7): "two" (middle 5) is nearer than "three" (middle 10).
        {threeLines(), 7, 8, {Rect(45, 101, 30, 19)}},
        // Past the end: the last word.
        {threeLines(), 40, 45, {Rect(10, 160, 30, 20)}},
        // The space after "one" (middle 3) is as near to "one" (1) as to "two" (5): the first wins.
        {threeLines(), 3, 4, {Rect(10, 100, 30, 20)}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VisionOCR::lookupRects(c.words, c.start, c.end), c.expected) << c.start << "..<" << c.end;
}

TEST(LookupRects, ALineIsComparedAsItGrows)
{
    // The third word is 6 points below the second (not less than 0.6 x 10 of that word) but
    // 8.5 points below the middle of the line so far (less than 0.6 x its height of 15).
    std::vector<OCRWordEntry> words{entry("a", 0, Rect(0, 0, 10, 10)), entry("b", 2, Rect(20, 5, 10, 10)),
                                    entry("c", 4, Rect(40, 11, 10, 10))};
    EXPECT_THAT(VisionOCR::lookupRects(words, 0, 5), ElementsAre(Rect(0, 0, 50, 21)));
}

} // namespace
} // namespace lorvantine::testing
