// What the capture speaks of pages laid out as browsers expose them: headings beside text, the
// seams between blocks, link words, and where the highlight of a link word lands.
#include "ArticleTestSupport.h"

#include "Accessibility/AXReader.h"
#include "Core/SubRectPrecomputation.h"
#include "Support/Text.h"

#include <gmock/gmock.h>

#include <algorithm>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Run = SimElement::Run;

// A paragraph as a browser exposes it: a group holding one static text per run, a link run as
// an "AXLink" holding its static text. It flows and is laid out like the page.
SimElement paragraph(std::vector<Run> runs)
{
    SimElement p("AXGroup");
    p.runs = std::move(runs);
    return p;
}

SimElement paragraph(const std::string& text) { return paragraph(std::vector<Run> { { text, std::nullopt } }); }

Run link(const std::string& text) { return { text, "https://example.com/" }; }

// A heading as a browser exposes it: its level as value, its text as title and as the static
// text it holds.
SimElement heading(const std::string& text, int level)
{
    return SimElement("AXHeading").with("AXValue", int64_t { level }).with("AXTitle", text).child(SimElement("AXStaticText", text));
}

SimElement linkElement(const std::string& text)
{
    return SimElement("AXLink").with("AXURL", AXURL { "https://example.com/" }).child(SimElement("AXStaticText", text));
}

SimElement group(std::vector<SimElement> children)
{
    SimElement g("AXGroup");
    g.children = std::move(children);
    return g;
}

using ArticleTextTest = ArticleTreeTest;

TEST_F(ArticleTextTest, AHeadingBesideTextIsReadOnItsOwnAndStartsTheArticle)
{
    struct Case {
        const char* what;
        std::vector<SimElement> content;
        std::vector<std::string> texts;
    };
    // A documentation page: a short section (a heading with its permalink, two paragraphs) and,
    // further down a sidebar, the table of contents.
    SimElement section = group({ heading("Installing Packages", 1).child(linkElement("¶")),
                                 paragraph("This section covers the basics of how to install packages."),
                                 paragraph("It does not cover freezing or bundling.") });
    SimElement sidebar = group({ heading("Table of contents", 2),
                                 SimElement("AXList").child(group({ linkElement("Requirements") })).child(group({ linkElement("Installing") })) });
    const std::vector<Case> cases {
        { "text beside its heading in one section",
          { group({ heading("Requirements", 2), SimElement("AXStaticText", "You need Python 3.8 or later.") }) },
          { "Requirements", "You need Python 3.8 or later." } },
        { "a heading in a wrapper beside text",
          { group({ group({ heading("Release notes", 1) }), SimElement("AXStaticText", "Version 24.0 drops Python 3.7.") }) },
          { "Release notes", "Version 24.0 drops Python 3.7." } },
        { "a section beside a sidebar",
          { group({ section }).at({ 0, 0 }).sized(540), group({ sidebar }).at({ 560, 200 }).sized(220) },
          { "Installing Packages", "This section covers the basics of how to install packages.",
            "It does not cover freezing or bundling.", "Table of contents" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto captured = capture(c.content);
        ASSERT_TRUE(captured);
        EXPECT_EQ(textsOf(captured->paragraphs), c.texts);
        EXPECT_EQ(captured->title, c.texts.front());
        EXPECT_EQ(captured->paragraphs.front().role, "AXHeading");
    }
}

TEST_F(ArticleTextTest, BlocksAreJoinedWithASpaceWhereNeitherSideHasOneOrPunctuationOrCJKMeets)
{
    struct Case {
        const char* before;
        const char* after;
        const char* joined;
    };
    const std::vector<Case> cases {
        { "unversioned packages", "Starting with pip 24", "unversioned packages Starting with pip 24" },
        { "Wait ", "here", "Wait here" },
        { "first", "\u00a0second", "first\u00a0second" },
        { "the end", ".", "the end." },
        { "as noted", ")", "as noted)" },
        { "he said", "\u201d", "he said\u201d" },
        { "\u201c", "Quoted", "\u201cQuoted" },
        { "编者按：", "本文整理", "编者按：本文整理" },
        { "第一句。", "第二句", "第一句。第二句" },
        { "《", "朝花夕拾", "《朝花夕拾" },
        { "鲁迅", "，1926", "鲁迅，1926" },
        { "Lu Xun", "鲁迅", "Lu Xun 鲁迅" },
        { "鲁迅", "Lu Xun", "鲁迅 Lu Xun" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.before) + " | " + c.after);
        // Two paragraphs in a section, and text with a paragraph nested in its block.
        EXPECT_THAT(textsOf(paragraphs({ group({ paragraph(c.before), paragraph(c.after) }) })), ElementsAre(c.joined));
        EXPECT_THAT(textsOf(paragraphs({ group({ SimElement("AXStaticText", c.before), paragraph(c.after) }) })),
                    ElementsAre(c.joined));
    }
    // Pieces of one block follow each other as they are.
    EXPECT_THAT(textsOf(paragraphs({ paragraph({ { "Hel", std::nullopt }, { "lo", std::nullopt } }) })), ElementsAre("Hello"));
}

TEST_F(ArticleTextTest, LinkWordsAreSpokenWhereTheyStandButLinkOnlyBlocksStayUnread)
{
    struct Case {
        const char* what;
        SimElement content;
        std::vector<std::string> texts;
    };
    const std::vector<Case> cases {
        { "a link inside a sentence",
          paragraph({ { "The ", std::nullopt }, link("research on attention"), { " suggests that skimming trains the eye.", std::nullopt } }),
          { "The research on attention suggests that skimming trains the eye." } },
        { "a link opening it", paragraph({ link("Mei Lin"), { " wrote this.", std::nullopt } }), { "Mei Lin wrote this." } },
        { "a link with a suffix", paragraph({ { "See the ", std::nullopt }, link("guide"), { "s below.", std::nullopt } }),
          { "See the guides below." } },
        { "a link ending it", paragraph({ { "Read more in ", std::nullopt }, link("the guide") }), { "Read more in the guide" } },
        { "a link alone", paragraph({ link("Download the PDF") }), {} },
        { "links between spaces", group({ linkElement("Home"), SimElement("AXStaticText", " "), linkElement("About") }), {} },
        { "a navigation list", SimElement("AXList").child(group({ linkElement("Home") })).child(group({ linkElement("About") })), {} },
        { "links listed under a paragraph",
          group({ paragraph("Further reading:"), group({ linkElement("Slow Reading") }), group({ linkElement("Deep Work") }) }),
          { "Further reading:" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_THAT(textsOf(paragraphs({ c.content })), ElementsAreArray(c.texts));
    }
}

// The word highlight measures the paragraph's words in its element's text, which holds the link
// text where the page shows it.
TEST(ArticleLinkHighlightTest, AWordInsideALinkIsMarkedOnTheLinksText)
{
    InstalledDesktop desktop(SimDesktop::demo());
    Log::Capture log;
    const auto paragraphs = capturedParagraphs("com.apple.Safari");
    auto paragraph = std::find_if(paragraphs.begin(), paragraphs.end(),
                                  [&](const ArticleParagraph& p) { return p.element == desktop->element("paragraph-1"); });
    ASSERT_NE(paragraph, paragraphs.end());
    ASSERT_TRUE(Text::contains(paragraph->text, " The research on attention suggests that "));

    // The runs: the text before the link, the link holding its text, the text after it.
    const auto runs = AXReader::rawChildren(*paragraph->element);
    ASSERT_EQ(runs.size(), 3u);
    const AXElement linkText = AXReader::rawChildren(runs[1]).at(0);
    const std::vector<std::pair<std::string, AXElement>> words { { "grandparents", runs[0] }, { "research", linkText },
                                                                 { "attention", linkText }, { "suggests", runs[2] } };
    SubRectPrecomputation::Request request { paragraph->index, *paragraph, {}, 1 };
    for (const auto& [word, shownIn] : words) {
        const auto lower = static_cast<int>(Text::characterCount(paragraph->text.substr(0, paragraph->text.find(" " + word) + 1)));
        request.units.push_back({ { lower, lower + static_cast<int>(word.size()) }, 0, 1 });
    }
    auto publication = SubRectPrecomputation::precomputeSubRects(request);
    ASSERT_TRUE(publication);
    for (size_t k = 0; k < words.size(); ++k) {
        const auto& [word, shownIn] = words[k];
        SCOPED_TRACE(word);
        const std::string shown = AXReader::attribute(shownIn, AXName::value).value_or("");
        const auto expected = AXReader::boundsForRange(shownIn, static_cast<int>(shown.find(word)), static_cast<int>(word.size()));
        ASSERT_TRUE(expected);
        ASSERT_EQ(publication->table[static_cast<int>(k)].size(), 1u);
        const Rect marked = publication->table[static_cast<int>(k)][0];
        EXPECT_NEAR(marked.minX(), expected->minX(), 1);
        EXPECT_NEAR(marked.maxX(), expected->maxX(), 1);
        EXPECT_NEAR(marked.minY(), expected->minY(), 1);
    }
}

} // namespace
} // namespace lorvantine
