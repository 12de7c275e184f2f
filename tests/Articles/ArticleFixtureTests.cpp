// Capture of the three web applications' windows as their fixtures show them.
#include "ArticleTestSupport.h"

#include "Support/Text.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <sstream>

namespace lorvantine {
namespace {

using ::testing::Contains;
using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

const ArticleParagraph* paragraphOf(const std::vector<ArticleParagraph>& paragraphs, const AXElement& element)
{
    auto it = std::find_if(paragraphs.begin(), paragraphs.end(),
                           [&](const ArticleParagraph& p) { return p.element == element; });
    return it == paragraphs.end() ? nullptr : &*it;
}

std::vector<int> indicesOf(const std::vector<ArticleParagraph>& paragraphs)
{
    std::vector<int> indices;
    for (const auto& p : paragraphs)
        indices.push_back(p.index);
    return indices;
}

class WeChatArticleFixture : public ::testing::Test {
protected:
    InstalledDesktop desktop { loadFixture("wechat-article.json") };
    Log::Capture log;
};

TEST_F(WeChatArticleFixture, ReadsTheArticleWindowInReadingOrderWithoutWeChatsChrome)
{
    auto captured = ArticleParser::captureArticle("com.tencent.xinWeChat");
    ASSERT_TRUE(captured);
    EXPECT_EQ(captured->window, desktop->element("wechat-article"));
    EXPECT_EQ(captured->title, "慢读的力量");
    EXPECT_THAT(textsOf(captured->paragraphs),
                ElementsAre("慢读的力量", "林梅慢读俱乐部2024年3月8日 09:30",
                            "很多人以为读得快就是读得好。可是我们一天读过的字，比祖辈一周读的还多，记住的却更少。",
                            "一项关于注意力的研究发现，浏览训练的是眼睛的移动，而不是心的停留。",
                            "编者按：本文整理自林梅在读书会上的分享。文中书目附在文末。", "三个小习惯",
                            "读完一段，先大声读一遍再往下。", "读到一页的结尾，说一说它讲了什么。",
                            "前二十分钟，把手机放在另一个房间。", "慢读并不是读得少，而是给每一句话留出被理解的时间。"));
    EXPECT_THAT(rolesOf(captured->paragraphs),
                ElementsAre("AXHeading", "AXGroup", "AXGroup", "AXGroup", "AXGroup", "AXHeading", "AXGroup", "AXGroup",
                            "AXGroup", "AXGroup"));
    EXPECT_THAT(indicesOf(captured->paragraphs), ElementsAre(0, 1, 2, 3, 4, 5, 6, 7, 8, 9));
}

// The elements' own texts still hold the "Original" tag and list markers, for mapping offsets;
// link words are spoken; nested paragraphs are spoken once, inside their block.
TEST_F(WeChatArticleFixture, KeepsTheElementsOwnTextsBesideWhatIsSpoken)
{
    const auto paragraphs = capturedParagraphs("com.tencent.xinWeChat");
    auto fullTextOf = [&](const char* name) {
        const ArticleParagraph* p = paragraphOf(paragraphs, desktop->element(name));
        EXPECT_TRUE(p) << name;
        return p ? p->axFullText : std::optional<std::string>("<no paragraph>");
    };
    EXPECT_EQ(fullTextOf("meta"), "Original林梅慢读俱乐部2024年3月8日 09:30");
    EXPECT_EQ(fullTextOf("p-research"), std::nullopt);
    EXPECT_EQ(fullTextOf("habit-2"), "2.读到一页的结尾，说一说它讲了什么。");
    EXPECT_EQ(fullTextOf("p-opening"), std::nullopt);
    EXPECT_TRUE(paragraphOf(paragraphs, desktop->element("editor-note")));
    EXPECT_FALSE(paragraphOf(paragraphs, desktop->element("editor-note-1")));

    EXPECT_TRUE(log.contains("[ArticleParser] AX index mapping: text=22 axFull=30 AXCharCount=-1 role=AXGroup"));
    EXPECT_TRUE(log.contains("[ArticleParser] AX index mapping: text=17 axFull=19 AXCharCount=-1 role=AXGroup"));
}

TEST_F(WeChatArticleFixture, GivesHeadingsTheirFrameAndBlocksTheirTextsHeight)
{
    const auto paragraphs = capturedParagraphs("com.tencent.xinWeChat");
    const ArticleParagraph* title = paragraphOf(paragraphs, desktop->element("article-title"));
    ASSERT_TRUE(title);
    EXPECT_EQ(title->frame, *desktop->frameOf(desktop->element("article-title")));
    EXPECT_FALSE(title->tightFrameYOffset);

    // The editor's note is padded: its frame keeps the block's width and takes the text's height.
    const ArticleParagraph* note = paragraphOf(paragraphs, desktop->element("editor-note"));
    ASSERT_TRUE(note);
    const Rect box = *desktop->frameOf(desktop->element("editor-note"));
    EXPECT_EQ(note->frame.minX(), box.minX());
    EXPECT_EQ(note->frame.width(), box.width());
    EXPECT_DOUBLE_EQ(note->frame.minY(), box.minY() + 12);
    EXPECT_EQ(note->tightFrameYOffset, 12);
    EXPECT_EQ(note->tightFrameHeight, note->frame.height());
    EXPECT_LT(note->frame.maxY(), box.maxY());
}

TEST_F(WeChatArticleFixture, PrefersThePageMarkedWindowToAFrontWindowWithAWebArea)
{
    // A chat window in front that shows a web page (a link preview) is not the article.
    const AXElement chats = desktop->element("wechat-chats");
    desktop->addElement(chats, SimElement("AXWebArea").frame(Rect(320, 80, 400, 300)).child(staticText("Preview", Rect(0, 0, 300, 20))));
    desktop->raiseWindow(9101);
    auto captured = ArticleParser::captureArticle("com.tencent.xinWeChat");
    ASSERT_TRUE(captured);
    EXPECT_EQ(captured->window, desktop->element("wechat-article"));
}

TEST_F(WeChatArticleFixture, DumpListsTheWindowsTheTreeAndTheParagraphs)
{
    std::ostringstream out;
    ArticleParser::dumpArticleTree(out);
    const std::string dump = out.str();
    EXPECT_THAT(dump, HasSubstr("=== WeChat 所有窗口 (2) ===\n"
                                "  [0] role=AXWindow hasWebArea=true title=慢读的力量 (Page: 1/1)\n"
                                "  [1] role=AXWindow hasWebArea=false title=WeChat\n\n"
                                "=== 候选文章窗口完整 AX 树: 慢读的力量 (Page: 1/1) ===\n"
                                "[AXWindow] title=\"慢读的力量 (Page: 1/1)\"\n"));
    EXPECT_THAT(dump, HasSubstr("      [AXWebArea] desc=\"慢读的力量\"\n"));
    EXPECT_THAT(dump, HasSubstr("=== END TREE ===\n\n=== 结构化提取 ===\ntitle: 慢读的力量\n段落数: 10\n"
                                "[0] (AXHeading) frame=(452,116 696×42)\n       慢读的力量\n"));
    EXPECT_THAT(dump, HasSubstr("[9] (AXGroup) frame=(452,843 696×21)\n"
                                "       慢读并不是读得少，而是给每一句话留出被理解的时间。\n总字数: 210\n"));
    EXPECT_TRUE(Text::hasSuffix(dump, "\n总字数: 210\n"));
}

class SafariArticleFixture : public ::testing::Test {
protected:
    InstalledDesktop desktop { loadFixture("safari-article.json") };
    Log::Capture log;
};

TEST_F(SafariArticleFixture, ReadsTheArticleAndDropsNavigationHiddenAndLinkParagraphs)
{
    auto captured = ArticleParser::captureArticle("com.apple.Safari");
    ASSERT_TRUE(captured);
    EXPECT_EQ(captured->window, desktop->element("safari-window"));
    EXPECT_EQ(captured->title, "The Quiet Art of Reading Aloud");
    EXPECT_THAT(
        textsOf(captured->paragraphs),
        ElementsAre("The Quiet Art of Reading Aloud", "By Mei Lin · 8 min read",
                    "Reading aloud slows the eye down to the pace of the voice, and the voice cannot skim. Every word "
                    "has to be said, so every word is met.",
                    "Teachers have long known this; a study of second-language learners found that reading a "
                    "passage aloud once helped recall more than reading it silently twice.",
                    "A reader at the window of a public library.", "Where to begin", "Choose a page you already like.",
                    "Read it at the speed of conversation.",
                    "We read to know we are not alone. Reading aloud, we also hear it.", "Silent reading",
                    "250 words a minute", "Reading aloud", "150 words a minute",
                    "Start with five minutes a day. The habit, not the hour, is what changes how you read.",
                    "© 2024 Example Press. Privacy"));
    const auto roles = rolesOf(captured->paragraphs);
    ASSERT_EQ(roles.size(), 15u);
    EXPECT_THAT(roles, Not(Contains("AXLink")));
    // The table's cells, row by row.
    EXPECT_EQ(std::count(roles.begin() + 9, roles.begin() + 13, "AXCell"), 4);
}

TEST_F(SafariArticleFixture, ReadsAFigureAndABlockQuoteAsTextGroups)
{
    const auto paragraphs = capturedParagraphs("com.apple.Safari");
    const ArticleParagraph* figure = paragraphOf(paragraphs, desktop->element("figure"));
    ASSERT_TRUE(figure);
    const Rect figureBox = *desktop->frameOf(desktop->element("figure"));
    const Rect caption = *desktop->frameOf(desktop->element("figure-caption"));
    EXPECT_EQ(figure->frame, figureBox); // a group keeps its whole box
    EXPECT_DOUBLE_EQ(*figure->tightFrameYOffset, caption.minY() - figureBox.minY());
    EXPECT_NEAR(*figure->tightFrameHeight, caption.height(), 0.5);
    EXPECT_FALSE(paragraphOf(paragraphs, desktop->element("figure-caption")));

    const ArticleParagraph* quote = paragraphOf(paragraphs, desktop->element("quote"));
    ASSERT_TRUE(quote);
    EXPECT_EQ(quote->role, "AXGroup");
    EXPECT_EQ(quote->frame, *desktop->frameOf(desktop->element("quote")));
    EXPECT_EQ(quote->tightFrameYOffset, 20);
}

TEST_F(SafariArticleFixture, ReadsAWindowOnADisplayLeftOfTheMainOne)
{
    const auto onMain = capturedParagraphs("com.apple.Safari");
    ASSERT_TRUE(desktop->moveWindow(9201, { -1700, 80 }));
    const auto onLeft = capturedParagraphs("com.apple.Safari");

    EXPECT_EQ(textsOf(onLeft), textsOf(onMain));
    ASSERT_EQ(onLeft.size(), onMain.size());
    for (size_t i = 0; i < onLeft.size(); ++i) {
        EXPECT_LT(onLeft[i].frame.minX(), 0);
        EXPECT_DOUBLE_EQ(onLeft[i].frame.minX(), onMain[i].frame.minX() - 1860);
        EXPECT_DOUBLE_EQ(onLeft[i].frame.minY(), onMain[i].frame.minY() + 50);
    }
}

TEST_F(SafariArticleFixture, DumpWithoutWeChatShowsTheSafariWindowAndTheFirstTenParagraphs)
{
    std::ostringstream out;
    ArticleParser::dumpArticleTree(out);
    const std::string dump = out.str();
    EXPECT_EQ(dump.rfind("=== 公号文章窗口 ===\ntitle: The Quiet Art of Reading Aloud – Example Press\n\n"
                         "[AXWindow] title=\"The Quiet Art of Reading Aloud – Example Press\"\n",
                         0),
              0u);
    EXPECT_THAT(dump, HasSubstr("=== END ===\n\n=== 结构化提取结果 ===\n文章标题: The Quiet Art of Reading Aloud\n"
                                "段落数: 15\n\n[0] (AXHeading) frame=(200,174 1020×42)\n"
                                "       The Quiet Art of Reading Aloud\n"));
    // Texts are cut to 80 Characters without an ellipsis.
    EXPECT_THAT(dump, HasSubstr("\n       Reading aloud slows the eye down to the pace of the voice, and the voice cannot "
                                "\n[3] (AXGroup)"));
    EXPECT_THAT(dump, HasSubstr("[9] (AXCell)"));
    EXPECT_THAT(dump, Not(HasSubstr("[10] (AXCell)")));
    EXPECT_THAT(dump, HasSubstr("... 还有 5 段\n\n总字数: "));
}

class LarkDocumentFixture : public ::testing::Test {
protected:
    InstalledDesktop desktop { loadFixture("lark-doc.json") };
    Log::Capture log;
};

TEST_F(LarkDocumentFixture, ReadsTheDocumentBlocksAndNotThePanelsAroundIt)
{
    auto captured = ArticleParser::captureArticle("com.bytedance.lark");
    ASSERT_TRUE(captured);
    EXPECT_EQ(captured->window, desktop->element("lark-window"));
    EXPECT_EQ(captured->title, "Q3 Reading Plan");
    EXPECT_THAT(textsOf(captured->paragraphs),
                ElementsAre("Q3 Reading Plan", "Modified by Chen Jie · Today 10:42",
                            "This quarter the team reads one book together and meets every other Thursday to talk "
                            "about it.",
                            "Books", "Deep Work, by Cal Newport", "《朝花夕拾》，鲁迅", "Book the meeting room for Thursdays",
                            "Bring one question, not a summary.", "Plain Text meet --every 2w --day thu", "Meetings",
                            "Notes from each meeting go under this page, newest first, with the chapter we stopped at.",
                            "July 11: chapters one and two. Most of us found the first rule easy to agree with and "
                            "hard to keep; we will each try one deep-work block a day until the next meeting.",
                            "July 25: 我们读了《朝花夕拾》的前三篇，大家都说鲁迅写童年的时候，语气比写别的东西温和得多。"));
    EXPECT_THAT(textsOf(captured->paragraphs), Each(Not(HasSubstr("Comments"))));
}

TEST_F(LarkDocumentFixture, IsNotAmongTheApplicationsSearchedWithoutAnIdentifier)
{
    EXPECT_FALSE(ArticleParser::captureArticle(std::nullopt));
    std::ostringstream out;
    ArticleParser::dumpArticleTree(out);
    EXPECT_EQ(out.str(), "[ArticleParser] ❌ 找不到公号文章窗口\n"
                         "   → 请先在微信中点开一篇公号文章，让它的窗口可见，再跑这个命令\n");
}

} // namespace
} // namespace lorvantine
