#include "Documents/WordSource.h"

#include "Platform/Services.h"
#include "Platform/WindowServerPort.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/PrintedPageFixture.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"

#include <gmock/gmock.h>

namespace lorvantine {
namespace {

constexpr const char* wordID = "com.microsoft.Word";
constexpr ProcessID wordPid = 630;

// Ten lines 30 points apart; the lines of `numbered` start with a narrow number at `numberX[i]`.
std::vector<RecognizedWord> page(const std::vector<int>& numbered, const std::vector<double>& numberX,
                                 const std::string& number = "12", double numberWidth = 14)
{
    std::vector<RecognizedWord> words;
    for (int line = 0; line < 10; ++line) {
        const double y = 100 + 30 * line;
        auto at = std::find(numbered.begin(), numbered.end(), line);
        if (at != numbered.end())
            words.push_back({ number, Rect(numberX[static_cast<size_t>(at - numbered.begin())], y, numberWidth, 16) });
        words.push_back({ "words", Rect(160, y, 50, 16) });
        words.push_back({ "here", Rect(220, y, 40, 16) });
    }
    return words;
}

size_t removed(const std::vector<RecognizedWord>& words) { return words.size() - WordSource::stripLineNumbers(words).size(); }

TEST(WordSource, LineNumbersAreNarrowDecimalLeadersOfHalfTheLinesInOneColumn)
{
    const std::vector<double> column(5, 100);
    Log::Capture log;
    EXPECT_EQ(removed(page({ 0, 2, 4, 6, 8 }, column)), 5u);
    EXPECT_TRUE(log.contains("[Word] 行号过滤: 移除 5 个行号 (共 10 行, ratio=50%)"));
    EXPECT_EQ(removed(page({ 0, 2, 4, 6 }, column)), 0u); // 40% of the lines
    EXPECT_EQ(removed(page({ 0, 2, 4, 6, 8 }, { 100, 100, 130, 130, 115 })), 5u);
    EXPECT_EQ(removed(page({ 0, 1, 2, 3 }, { 100, 100, 130, 130 })), 0u);  // 4 of 10
    EXPECT_EQ(removed(page({ 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 }, { 100, 100, 130, 130, 100, 100, 130, 130, 100, 130 })), 10u); // spread 15
    EXPECT_EQ(removed(page({ 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 }, { 100, 100, 132, 132, 100, 100, 132, 132, 100, 132 })), 0u); // 16
    EXPECT_EQ(removed(page({ 0, 2, 4, 6, 8 }, column, "20261")), 0u); // five digits
    EXPECT_EQ(removed(page({ 0, 2, 4, 6, 8 }, column, "12", 40)), 0u); // 40 points wide
    // Only decimal digits: Chinese numerals and fractions open lines of text.
    for (const char* word : { "一", "七", "½", "Ⅻ", "١٢" })
        EXPECT_EQ(removed(page({ 0, 2, 4, 6, 8 }, column, word)), 0u) << word;

    auto five = page({ 0, 1 }, { 100, 100 });
    five.resize(5);
    EXPECT_EQ(WordSource::stripLineNumbers(five), five);
}

TEST(WordSource, NumbersLevelWithTheTextsLeftEdgeAreTheDocumentsOwn)
{
    // A table whose first column numbers its rows, its cells padded in from the left edge of the
    // text, under a paragraph that starts at that edge: the numbers are heard.
    auto agenda = page({ 1, 2, 3, 4, 5, 6, 7, 8, 9 }, std::vector<double>(9, 160));
    for (RecognizedWord& word : agenda)
        if (word.text != "12")
            word.screenRect.origin.x += 60;
    agenda.insert(agenda.begin(), { "You", Rect(155, 70, 30, 16) });
    EXPECT_EQ(removed(agenda), 0u);
    // Numbers in the margin, clear of every line's text, are line numbers, though one of them was
    // misread and that line has no number.
    auto misread = page({ 0, 2, 3, 4, 5, 6, 7, 8, 9 }, std::vector<double>(9, 100));
    misread.insert(misread.begin() + 3, { "l2", Rect(100, 130, 14, 16) });
    EXPECT_EQ(removed(misread), 9u);
}

TEST(WordSource, AWordWithTheSameWholePointBoxAsANumberGoesWithIt)
{
    auto words = page({ 0, 2, 4, 6, 8 }, std::vector<double>(5, 100));
    words.push_back({ "x", Rect(100.4, 100.7, 14.2, 16.9) }); // same truncated box as the first number
    words.push_back({ "y", Rect(101, 100, 14, 16) });
    auto kept = WordSource::stripLineNumbers(words);
    EXPECT_EQ(kept.size(), words.size() - 6);
    EXPECT_EQ(kept.back().text, "y");
    EXPECT_EQ(WordSource::rectKey(Rect(-0.5, 10.9, 14.99, 16)), "0,10,14,16");
}

TEST(WordSource, TheCloseOfALetterIsReadAndThePageNumberIsNot)
{
    // The foot of a letter on Word's page, its number under it.
    const SimElement page = test::printedPage(Rect(110, 175, 680, 580),
                                              { { 60, 30, "Thank you for your letter of 3 March about the mooring" },
                                                { 60, 56, "fees for the coming season. I have spoken to the other" },
                                                { 60, 82, "owners on the east pontoon, and we are glad to accept the" },
                                                { 60, 108, "new charges from the first of April." },
                                                { 60, 150, "We ask only that the water tap at the end of the pontoon" },
                                                { 60, 176, "be mended before the visiting yachts arrive in May. It" },
                                                { 60, 202, "has dripped since the storm in January, and last week it" },
                                                { 60, 228, "stopped working altogether." },
                                                { 60, 270, "Regards," },
                                                { 60, 350, "Priya" },
                                                { 310, 540, "Page 2" } });
    auto desktop = SimDesktop::create(test::printedPageFixture(wordPid, wordID, "Letter.docx", Rect(100, 40, 900, 780), page));
    Platform::ScopedServices services(desktop->services());
    Log::Capture log;

    auto session = WordSource::detect(wordID);

    ASSERT_TRUE(session);
    std::vector<std::string> texts;
    for (const ReadableParagraph& paragraph : session->paragraphs())
        texts.push_back(paragraph.text);
    EXPECT_THAT(texts, ::testing::ElementsAre(::testing::StartsWith("Thank you"), ::testing::StartsWith("We ask only"),
                                              "Regards,", "Priya"));
}

class WordDocument : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop = SimDesktop::create(fixtureNamed("word-document.json"));
        services.emplace(desktop->services());
    }
    std::vector<std::string> screen()
    {
        std::vector<std::string> texts;
        if (auto session = WordSource::detect(wordID))
            for (const ReadableParagraph& paragraph : session->paragraphs())
                texts.push_back(paragraph.text);
        return texts;
    }
    void pageDown()
    {
        desktop->services().windowServer->postToPid(wordPid, InputEvent::keyboard(std::nullopt, 121, true));
        desktop->services().windowServer->postToPid(wordPid, InputEvent::keyboard(std::nullopt, 121, false));
    }

    std::shared_ptr<SimDesktop> desktop;
    std::optional<Platform::ScopedServices> services;
};

TEST_F(WordDocument, PageDownShowsTheNextScreenWithoutLineNumbersUntilTheEnd)
{
    Log::Capture log;
    EXPECT_EQ(screen(), std::vector<std::string> { "Harbour Survey 2026" });
    EXPECT_TRUE(log.contains("[Word] 窗口: 900×780, OCR 区域: (140,195 860×600)"));
    auto session = WordSource::detect(wordID);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->title(), "Harbour Survey.docx");

    pageDown();
    auto second = screen();
    ASSERT_FALSE(second.empty());
    EXPECT_THAT(second.front(), ::testing::StartsWith("The harbour survey began in the first week of March, when"));
    for (const std::string& text : second)
        EXPECT_THAT(text, ::testing::Not(::testing::ContainsRegex("[0-9]"))) << "a line number was read";

    pageDown();
    auto third = screen();
    EXPECT_NE(third, second);
    pageDown();
    auto last = screen();
    EXPECT_THAT(last.back(), ::testing::EndsWith("beside the slipway by next winter."));
    pageDown(); // the end: nothing moves
    EXPECT_EQ(screen(), last);
    const auto journal = desktop->journal();
    EXPECT_EQ(std::count_if(journal.begin(), journal.end(), [](const SimJournalEntry& e) { return e.name == "scrolled"; }), 3);
    EXPECT_FALSE(WordSource::detect("com.apple.Pages"));
}

} // namespace
} // namespace lorvantine
