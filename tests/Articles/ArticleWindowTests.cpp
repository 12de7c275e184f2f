// Which window the capture reads, and the web-area title that tells one article from the next.
#include "ArticleTestSupport.h"

#include <gmock/gmock.h>

#include <sstream>

namespace lorvantine {
namespace {

// A window whose web area (described as `title`) lies `depth` levels below it and holds one paragraph.
SimWindow window(uint32_t number, const std::string& title, std::optional<int> depth = 1)
{
    SimWindow w;
    w.number = number;
    w.name = "window-" + std::to_string(number);
    w.title = title;
    w.frame = Rect(100, 50, 800, 600);
    if (!depth) {
        w.children.push_back(textBlock("Not a web page", Rect(0, 0, 600, 20)));
        return w;
    }
    SimElement inner = SimElement("AXWebArea")
                           .named("web-" + std::to_string(number))
                           .with("AXDescription", title)
                           .frame(Rect(0, 0, 800, 600))
                           .child(textBlock("Text of " + std::to_string(number), Rect(0, 0, 600, 20)));
    for (int d = *depth - 1; d >= 1; --d)
        inner = SimElement("AXGroup").frame(Rect(0, 0, 800, 600)).child(std::move(inner));
    w.children.push_back(std::move(inner));
    return w;
}

SimApplication application(ProcessID pid, const std::string& bundleID, std::vector<SimWindow> windows)
{
    SimApplication app;
    app.pid = pid;
    app.bundleIdentifier = bundleID;
    app.windows = std::move(windows);
    return app;
}

class ArticleWindowTest : public ArticleTreeTest {
protected:
    void run(std::vector<SimApplication> applications)
    {
        SimFixture fixture;
        fixture.applications = std::move(applications);
        install(fixture);
    }

    std::optional<AXElement> found(const std::optional<std::string>& bundleID)
    {
        return ArticleParser::findArticleWindow(bundleID);
    }
};

const std::string weChat = "com.tencent.xinWeChat";
const std::string safari = "com.apple.Safari";
const std::string chrome = "com.google.Chrome";

TEST_F(ArticleWindowTest, InWeChatAPageMarkedTitleWinsOverAnEarlierWebArea)
{
    for (const char* title : { "Article (Page: 2/5)", "Article (Page 2)" }) {
        SCOPED_TRACE(title);
        run({ application(801, weChat, { window(1, "Mini Program"), window(2, title, std::nullopt), window(3, "Other") }) });
        EXPECT_EQ(found(weChat), element("window-2"));
    }
    run({ application(801, weChat, { window(1, "Article (Page2)", std::nullopt), window(2, "Mini Program") }) });
    EXPECT_EQ(found(weChat), element("window-2"));
}

TEST_F(ArticleWindowTest, ElsewhereOnlyTheWebAreaCounts)
{
    run({ application(802, safari, { window(1, "Tab (Page: 1)", std::nullopt), window(2, "Plain page") }) });
    EXPECT_EQ(found(safari), element("window-2"));
    auto captured = ArticleParser::captureArticle(safari);
    ASSERT_TRUE(captured);
    EXPECT_EQ(captured->window, element("window-2"));
    EXPECT_THAT(textsOf(captured->paragraphs), ::testing::ElementsAre("Text of 2"));
}

TEST_F(ArticleWindowTest, WithoutAnIdentifierTriesWeChatThenSafariThenChrome)
{
    run({ application(803, chrome, { window(3, "Chrome page") }), application(802, safari, { window(2, "Safari page") }),
          application(801, weChat, { window(1, "WeChat (Page: 1)") }) });
    EXPECT_EQ(found(std::nullopt), element("window-1"));

    run({ application(803, chrome, { window(3, "Chrome page") }), application(802, safari, { window(2, "Safari page") }),
          application(801, weChat, { window(1, "WeChat", std::nullopt) }) });
    EXPECT_EQ(found(std::nullopt), element("window-2"));

    run({ application(803, chrome, { window(3, "Chrome page") }), application(802, safari, { window(2, "Start", std::nullopt) }) });
    EXPECT_EQ(found(std::nullopt), element("window-3"));

    run({ application(804, "com.apple.TextEdit", { window(4, "Notes") }) });
    EXPECT_FALSE(found(std::nullopt));
    EXPECT_FALSE(ArticleParser::captureArticle(std::nullopt));
    EXPECT_EQ(found("com.apple.TextEdit"), element("window-4"));
}

TEST_F(ArticleWindowTest, FindsAWebAreaEightLevelsDownButNotNine)
{
    run({ application(802, safari, { window(1, "Eight", 8) }) });
    EXPECT_EQ(found(safari), element("window-1"));

    run({ application(802, safari, { window(1, "Nine", 9) }) });
    EXPECT_FALSE(found(safari));
    EXPECT_FALSE(ArticleParser::captureArticle(safari));
    // The title check of a watched window looks deeper.
    EXPECT_EQ(ArticleParser::currentArticleTitle(element("window-1")), "Nine");
}

TEST_F(ArticleWindowTest, CurrentTitleIsTheWebAreasDescriptionWhenThereIsOne)
{
    run({ application(802, safari, { window(1, "Described"), window(2, ""), window(3, "No web area", std::nullopt),
                                     window(4, "Too deep", 13) }) });
    EXPECT_EQ(ArticleParser::currentArticleTitle(element("window-1")), "Described");
    EXPECT_FALSE(ArticleParser::currentArticleTitle(element("window-2")));
    EXPECT_FALSE(ArticleParser::currentArticleTitle(element("window-3")));
    EXPECT_FALSE(ArticleParser::currentArticleTitle(element("window-4")));

    (*desktop)->setAttribute(element("web-1"), "AXDescription", std::string("Next article"));
    EXPECT_EQ(ArticleParser::currentArticleTitle(element("window-1")), "Next article");
}

TEST_F(ArticleWindowTest, DumpWithOnlyWeChatsChatWindowFallsBackToTheArticleWindowSearch)
{
    SimWindow untitled = window(3, "", std::nullopt);
    untitled.attributes["AXTitle"] = int64_t { 0 };
    run({ application(801, weChat, { window(1, "微信", std::nullopt), untitled }), application(802, safari, { window(2, "Safari page") }) });
    std::ostringstream out;
    ArticleParser::dumpArticleTree(out);
    EXPECT_EQ(out.str(), "=== WeChat 所有窗口 (2) ===\n"
                         "  [0] role=AXWindow hasWebArea=false title=微信\n"
                         "  [1] role=AXWindow hasWebArea=false title=(无标题)\n"
                         "\n"
                         "=== 公号文章窗口 ===\n"
                         "title: Safari page\n"
                         "\n"
                         "[AXWindow] title=\"Safari page\"\n"
                         "  [AXWebArea] desc=\"Safari page\"\n"
                         "    [AXGroup]\n"
                         "      [AXStaticText] value=\"Text of 2\"\n"
                         "=== END ===\n"
                         "\n"
                         "=== 结构化提取结果 ===\n"
                         "文章标题: Safari page\n"
                         "段落数: 1\n"
                         "\n"
                         "[0] (AXGroup) frame=(100,50 600×20)\n"
                         "       Text of 2\n"
                         "\n"
                         "总字数: 9\n");
}

} // namespace
} // namespace lorvantine
