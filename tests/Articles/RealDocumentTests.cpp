// Pages shaped like real documents as a browser engine exposes them: a manual page whose prose sits
// loose in the page body, links around and inside inline code, and blocks broken into lines. Each
// is read whole, in order, once, with no glued words, and the word mark lands on the word.
#include "ArticleTestSupport.h"

#include "Accessibility/AXReader.h"
#include "Core/HighlightGeometry.h"
#include "Core/SubRectPrecomputation.h"
#include "Support/Text.h"

#include <gmock/gmock.h>

#include <algorithm>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const ArticleParagraph* paragraphNamed(const std::vector<ArticleParagraph>& paragraphs, const AXElement& element)
{
    auto it = std::find_if(paragraphs.begin(), paragraphs.end(), [&](const ArticleParagraph& p) { return p.element == element; });
    return it == paragraphs.end() ? nullptr : &*it;
}

Rect frameOf(const AXElement& element)
{
    auto position = AXReader::position(element);
    auto size = AXReader::size(element);
    EXPECT_TRUE(position && size);
    return position && size ? Rect(*position, *size) : Rect();
}

// The text an element's ranges run over: its static texts one after the other.
std::string elementText(const AXElement& element)
{
    std::vector<HighlightGeometry::StaticTextChild> texts;
    HighlightGeometry::collectStaticTextChildren(element, texts);
    std::string joined;
    for (const auto& text : texts)
        joined += text.text;
    return joined;
}

// Each of `phrases`, a unit of the paragraph's text, is marked exactly where its element lays it
// out: one rectangle over the phrase's own line, from its first Character to its last.
void expectMarkedWhereShown(const ArticleParagraph& paragraph, const std::vector<std::string>& phrases)
{
    ASSERT_TRUE(paragraph.element);
    SubRectPrecomputation::Request request { paragraph.index, paragraph, {}, 1 };
    for (const auto& phrase : phrases) {
        const size_t at = paragraph.text.find(phrase);
        ASSERT_NE(at, std::string::npos) << phrase;
        const auto lower = static_cast<int>(Text::characterCount(paragraph.text.substr(0, at)));
        request.units.push_back({ { lower, lower + static_cast<int>(Text::characterCount(phrase)) }, 0, 1 });
    }
    auto publication = SubRectPrecomputation::precomputeSubRects(request);
    ASSERT_TRUE(publication);
    const std::string shown = elementText(*paragraph.element);
    for (size_t k = 0; k < phrases.size(); ++k) {
        SCOPED_TRACE(phrases[k]);
        const size_t at = shown.find(phrases[k]);
        ASSERT_NE(at, std::string::npos);
        const auto expected = AXReader::boundsForRange(*paragraph.element, static_cast<int>(Text::utf16OffsetFromByteOffset(shown, at)),
                                                       static_cast<int>(Text::utf16Count(phrases[k])));
        ASSERT_TRUE(expected);
        const auto& marked = publication->table[static_cast<int>(k)];
        ASSERT_EQ(marked.size(), 1u);
        EXPECT_NEAR(marked[0].minX(), expected->minX(), 1);
        EXPECT_NEAR(marked[0].maxX(), expected->maxX(), 1);
        EXPECT_NEAR(marked[0].minY(), expected->minY(), 1);
    }
}

// No word of the page is spoken twice: every word of `words` occurs once in all the text.
void expectEachOnce(const std::vector<ArticleParagraph>& paragraphs, const std::vector<std::string>& words)
{
    std::string all;
    for (const auto& p : paragraphs)
        all += p.text + "\n";
    for (const auto& word : words) {
        const size_t first = all.find(word);
        EXPECT_NE(first, std::string::npos) << word;
        EXPECT_EQ(all.find(word, first + 1), std::string::npos) << word << " is read twice";
    }
}

class ManPageFixture : public ::testing::Test {
protected:
    InstalledDesktop desktop { loadFixture("man-page.json") };
    Log::Capture log;
};

TEST_F(ManPageFixture, ReadsTheLooseProseBetweenTheHeadingsInItsPlace)
{
    auto captured = ArticleParser::captureArticle("com.apple.Safari");
    ASSERT_TRUE(captured);
    EXPECT_EQ(captured->title, "LSX");
    // One paragraph per run of loose text, between the headings where the page shows it. The
    // header line above the title is page furniture and goes with what stands before it.
    EXPECT_THAT(textsOf(captured->paragraphs),
                ElementsAre("LSX", "Section: Lorvantine Tools (1) Updated: 30 November 2026 Index", "NAME",
                            "lsx - list the entries of a directory, slowly and aloud", "SYNOPSIS",
                            "lsx [-a] [-l] [directory ...]", "DESCRIPTION",
                            "For each directory operand, lsx lists the entries it holds, one to a line, in the order of "
                            "their names. When no operand is given, the current directory is listed. Entries whose names "
                            "begin with a dot are left out unless the first option below is given.",
                            "The options are as follows:", "-a", "Include the entries whose names begin with a dot.", "-l",
                            "List in the long format: mode, links, owner, size and the time of the last change.",
                            "The variable COLUMNS, when it is set, gives the width of the screen in columns; lsx never wraps a name, "
                            "and it pads the names of one line to the widest of them so that they stand in columns.",
                            "EXIT STATUS",
                            "The lsx utility exits 0 on success, and above 0 when an entry cannot be read.", "SEE ALSO",
                            "ls(1), stat(1)"));
    expectEachOnce(captured->paragraphs, { "Tools", "slowly", "operand,", "follows", "COLUMNS", "success", "stat" });
}

TEST_F(ManPageFixture, ARunOfLooseTextIsFramedByItsOwnLines)
{
    const auto paragraphs = capturedParagraphs("com.apple.Safari");
    // Text standing alone is its own element; a run of several pieces is framed within the body.
    const ArticleParagraph* description = paragraphNamed(paragraphs, desktop->element("man-description"));
    ASSERT_TRUE(description);
    EXPECT_EQ(description->frame, frameOf(desktop->element("man-description")));
    EXPECT_EQ(description->role, "AXStaticText");

    auto header = std::find_if(paragraphs.begin(), paragraphs.end(),
                               [](const ArticleParagraph& p) { return p.text.starts_with("Section:"); });
    ASSERT_NE(header, paragraphs.end());
    const Rect section = frameOf(desktop->element("man-section"));
    const Rect body = frameOf(desktop->element("man-web"));
    EXPECT_EQ(header->element, desktop->element("man-web"));
    EXPECT_EQ(header->frame.minY(), section.minY());
    EXPECT_EQ(header->frame.minX(), body.minX());
    EXPECT_LT(header->frame.maxY(), frameOf(desktop->element("man-name")).minY());
    EXPECT_EQ(header->tightFrameYOffset, section.minY() - body.minY());
    EXPECT_FALSE(header->axFullText);
}

TEST_F(ManPageFixture, MarksTheWordsOfLooseProseAndOfTheOptions)
{
    const auto paragraphs = capturedParagraphs("com.apple.Safari");
    const ArticleParagraph* description = paragraphNamed(paragraphs, desktop->element("man-description"));
    ASSERT_TRUE(description);
    expectMarkedWhereShown(*description, { "For", "operand", "listed", "given" });
    const ArticleParagraph* columns = paragraphNamed(paragraphs, desktop->element("man-columns"));
    ASSERT_TRUE(columns);
    expectMarkedWhereShown(*columns, { "COLUMNS", "wraps", "widest", "stand" });
}

class CodeLinksFixture : public ::testing::Test {
protected:
    InstalledDesktop desktop { loadFixture("code-links.json") };
    Log::Capture log;
};

TEST_F(CodeLinksFixture, SpeaksLinkWordsAroundAndInsideInlineCodeButNotLinkOnlyBlocks)
{
    auto captured = ArticleParser::captureArticle("com.apple.Safari");
    ASSERT_TRUE(captured);
    EXPECT_EQ(captured->title, "fetch - Opening resources");
    EXPECT_THAT(textsOf(captured->paragraphs),
                ElementsAre("fetch - Opening resources",
                            "The module offers two ways to fetch a resource: through the open_url() and Request "
                            "functions, both of which raise FetchError when the server refuses.",
                            "Request.address holds the address as it was given, while body is sent as the message that "
                            "follows the headers."));
    EXPECT_THAT(rolesOf(captured->paragraphs), ElementsAre("AXHeading", "AXGroup", "AXGroup"));
}

TEST_F(CodeLinksFixture, MarksTheCodeWordsOnTheirOwnText)
{
    const auto paragraphs = capturedParagraphs("com.apple.Safari");
    const ArticleParagraph* first = paragraphNamed(paragraphs, desktop->element("docs-p1"));
    ASSERT_TRUE(first);
    expectMarkedWhereShown(*first, { "through", "open_url", "Request", "FetchError", "refuses" });
    const ArticleParagraph* second = paragraphNamed(paragraphs, desktop->element("docs-p2"));
    ASSERT_TRUE(second);
    expectMarkedWhereShown(*second, { "Request.address", "body", "headers" });
}

class LineBreaksFixture : public ::testing::Test {
protected:
    InstalledDesktop desktop { loadFixture("line-breaks.json") };
    Log::Capture log;
};

TEST_F(LineBreaksFixture, KeepsTheWordsOnEitherSideOfALineBreakApart)
{
    auto captured = ArticleParser::captureArticle("com.apple.Safari");
    ASSERT_TRUE(captured);
    EXPECT_THAT(textsOf(captured->paragraphs),
                ElementsAre("Delivery notes",
                            // A word split by styling on one line stays whole.
                            "Leave the parcel at the desk on the second floor before noon on Friday; it holds "
                            "unbreakable glass. Ring twice",
                            // CJK on both sides of the break needs no space.
                            "请把包裹放在二楼的前台周五中午以前送到。收件人：林梅",
                            // Nor does a line that opens with closing punctuation.
                            "Keep the receipt (the one with the stamp) until the end of the month.",
                            "送货时间 Friday morning"));
}

TEST_F(LineBreaksFixture, MarksTheWordsAfterEachBreakOnTheirOwnLine)
{
    const auto paragraphs = capturedParagraphs("com.apple.Safari");
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases {
        { "breaks-english", { "floor", "before", "noon", "unbreakable", "glass", "Ring", "twice" } },
        { "breaks-chinese", { "二楼的前台", "周五中午以前送到", "林梅" } },
        { "breaks-closing", { "stamp", "until", "month" } },
        { "breaks-mixed", { "送货时间", "Friday", "morning" } },
    };
    for (const auto& [name, phrases] : cases) {
        SCOPED_TRACE(name);
        const ArticleParagraph* paragraph = paragraphNamed(paragraphs, desktop->element(name));
        ASSERT_TRUE(paragraph);
        expectMarkedWhereShown(*paragraph, phrases);
    }
}

} // namespace
} // namespace lorvantine
