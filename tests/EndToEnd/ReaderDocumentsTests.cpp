// Word documents as readers meet them, none written for one rule of the reader, read with
// "--read-article" to their end: every word heard once, in order.

#include "EndToEnd/DocumentReadingTest.h"

#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

// Two pages, four screens: a running header on each page, footnotes under a rule at each page's
// foot, marked in the text by superscript numbers, and the page number under them.
TEST_F(DocumentReadingTest, AReportWithFootnotesIsHeardPageByPageItsHeaderOnEveryPage)
{
    const std::string account = readWhole("word-report-footnotes.json", "com.microsoft.Word");
    // The page numbers, alone at the foot of each page, are too short to be read as a paragraph.
    std::vector<std::string> expected = heardUnitsOf(wordFixtureParagraphs(fixtureNamed("word-report-footnotes.json")));
    std::erase_if(expected, [](const std::string& unit) { return unit == "1" || unit == "2"; });
    EXPECT_EQ(heardText(), heardTextOf(expected)) << account;
}

// Three paragraphs of more than 2,000 Characters: most screens show no paragraph's start or end.
TEST_F(DocumentReadingTest, ParagraphsLongerThanAScreenAreHeardWholeAcrossTheScreens)
{
    expectWordDocumentHeard("word-long-paragraphs.json");
}

// Each paragraph in English, then in Chinese, counted Character by Character.
TEST_F(DocumentReadingTest, ABilingualNoticeIsHeardInBothLanguagesInTurn)
{
    expectWordDocumentHeard("word-bilingual-notice.json");
}

// A table whose first column numbers the items of business, under the summons that starts at the
// text's left edge: the numbers are the agenda's, not the line numbers of a numbered page.
TEST_F(DocumentReadingTest, AnAgendaIsHeardWithTheNumbersOfItsItems)
{
    expectWordDocumentHeard("word-council-agenda.json");
}

} // namespace
} // namespace lorvantine::test
