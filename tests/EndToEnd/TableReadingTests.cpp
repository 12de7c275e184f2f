// Tables and two-column pages read with "--read-article" as a reader starts it from the terminal:
// a table heard row by row, each row's cells left to right, amid the prose around it; a page of
// two columns heard down the left column, then down the right.

#include "EndToEnd/DocumentReadingTest.h"

#include "Network/SpeechText.h"
#include "TestSupport/ScopedEnvironment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

using ::testing::HasSubstr;

// Each page of the book as the speech server should be asked for it: once, whole.
std::vector<std::string> spokenPages(const std::string& fixture, const std::string& book)
{
    std::vector<std::string> pages;
    for (const std::string& page : fixturePageTexts(fixtureNamed(fixture), book))
        pages.push_back(SpeechText::normalize(page).text());
    return pages;
}

TEST_F(DocumentReadingTest, AWordTimetableIsHeardRowByRowBetweenTheProseAroundIt)
{
    EXPECT_THAT(expectWordDocumentHeard("word-open-day-timetable.json"),
                HasSubstr("Time Session Room 09:30 Welcome from the head teacher Foyer 10:00 Reading with your child Hall "
                          "10:30 Visit the new school library Library"));
}

TEST_F(DocumentReadingTest, ATravelGuidesTableOfFaresInBooksIsHeardRowByRow)
{
    const std::vector<std::string> pages = spokenPages("books-ferry-guide.json", "book");
    ASSERT_EQ(pages.size(), 3u);
    ASSERT_THAT(pages[1], HasSubstr("Crossing Sailing Adult Car Oban to Craignure 45 min £4.10 £15.60 Uig to Tarbert"));
    expectBookHeardPageByPage("books-ferry-guide.json", "com.apple.iBooksX", "Books", pages);
}

TEST_F(DocumentReadingTest, AKindleCookbooksTableOfOvenTemperaturesIsHeardRowByRow)
{
    const std::vector<std::string> pages = spokenPages("kindle-oven-table.json", "pages");
    ASSERT_EQ(pages.size(), 2u);
    ASSERT_THAT(pages[1], HasSubstr("Gas mark °C °F Oven 1 140 275 Very cool 2 150 300 Cool"));
    expectBookHeardPageByPage("kindle-oven-table.json", "com.amazon.Lassen", "Kindle", pages);
}

// Two groups' names run onto a second line of their cell while the day and time beside them keep
// one: each cell is heard whole before the next.
TEST_F(DocumentReadingTest, ATableRowWhoseCellRunsOntoASecondLineIsHeardCellByCell)
{
    EXPECT_THAT(expectWordDocumentHeard("word-hall-bookings.json"),
                HasSubstr("Tuesday Toddler group, with a coffee morning for parents and carers in the side room 10:00 "
                          "Wednesday Bridge club 14:00"));
}

// Thirty evenly spaced rows run across the foot of the first screen: each screen cuts them into
// paragraphs where its own gaps say, and every row is heard once.
TEST_F(DocumentReadingTest, ATableRunningOverTwoScreensIsHeardRowByRowEachRowOnce)
{
    EXPECT_THAT(expectWordDocumentHeard("word-plant-sale.json"),
                HasSubstr("Marigold Yellow Edging £3.00 Nasturtium Orange Baskets £1.50 Nigella Blue Meadow £1.75 Pansy"));
}

// A Chinese essay filling the screen in two columns, 16 points with a 24-point gutter and no
// headline, on a 1× display. The desktop's recogniser reports each line whole, the two columns'
// lines side by side.
TEST_F(DocumentReadingTest, ATwoColumnChinesePageIsHeardDownTheLeftColumnThenTheRight)
{
    expectWordDocumentHeard("word-two-columns-chinese.json");
}

// A short one, nine lines to a column with a 36-point gutter: a Chinese line holds no space, so
// recognition gives the whole page as eighteen words.
TEST_F(DocumentReadingTest, AShortTwoColumnChinesePageIsHeardDownTheLeftColumnThenTheRight)
{
    expectWordDocumentHeard("word-two-columns-short.json");
}

// The Characters of `expected` that `heard` holds in the same order (the longest common
// subsequence), as a share of all of them.
double inOrder(const std::vector<std::string>& heard, const std::vector<std::string>& expected)
{
    std::vector<size_t> row(expected.size() + 1, 0), next(expected.size() + 1, 0);
    for (const std::string& unit : heard) {
        for (size_t j = 0; j < expected.size(); ++j)
            next[j + 1] = unit == expected[j] ? row[j] + 1 : std::max(next[j], row[j + 1]);
        std::swap(row, next);
    }
    return expected.empty() ? 1 : static_cast<double>(row.back()) / static_cast<double>(expected.size());
}

// The full page recognised by Tesseract from its pixels, which misreads a Character here and there
// and loses a line or two: what it reads is still heard down each column.
TEST_F(DocumentReadingTest, ATwoColumnChinesePageRecognisedByTesseractIsHeardDownEachColumn)
{
    ScopedEnvironment tesseract("LORVANTINE_RECOGNIZER", "tesseract");
    const std::string account = readWhole("word-two-columns-chinese.json", "com.microsoft.Word");
    const auto expected = heardUnitsOf(wordFixtureParagraphs(fixtureNamed("word-two-columns-chinese.json")));
    EXPECT_GE(inOrder(heardUnits(), expected), 0.85) << heardText() << "\n" << account;
}

} // namespace
} // namespace lorvantine::test
