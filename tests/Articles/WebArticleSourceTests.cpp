// The WeChat, Lark and Safari sources as the registry reaches them.
#include "ArticleTestSupport.h"

#include "Documents/DocumentSourceRegistry.h"
#include "Documents/LarkSource.h"
#include "Documents/SafariWebSource.h"
#include "Documents/WeChatArticleSession.h"
#include "Documents/WeChatArticleSource.h"
#include "SimDesktop/Model/SimFixtureLoader.h"

#include <gmock/gmock.h>

#include <fstream>
#include <map>
#include <sstream>

namespace lorvantine {
namespace {

using ::testing::IsEmpty;

std::vector<ReadableParagraph> readable(const std::vector<ArticleParagraph>& paragraphs)
{
    std::vector<ReadableParagraph> out;
    for (const auto& p : paragraphs)
        out.push_back(ReadableParagraph::from(p));
    return out;
}

// The fixture with every occurrence of one bundle identifier replaced by another.
std::shared_ptr<SimDesktop> loadFixtureAs(const std::string& name, const std::string& from, const std::string& to)
{
    std::ifstream in(fixturePath(name));
    std::stringstream text;
    text << in.rdbuf();
    std::string json = text.str();
    for (size_t at = json.find(from); at != std::string::npos; at = json.find(from, at + to.size()))
        json.replace(at, from.size(), to);
    auto fixture = SimFixtureLoader::parse(json, name);
    EXPECT_TRUE(fixture) << (fixture ? "" : fixture.error());
    return SimDesktop::create(fixture ? *fixture : SimFixture {});
}

class WebArticleSourceTest : public ::testing::Test {
protected:
    Log::Capture log;
};

TEST_F(WebArticleSourceTest, TheRegistryListsTheThreeSourcesWithTheirPrioritiesAndIdentifiers)
{
    std::map<std::string, std::pair<int, std::vector<std::string>>> listed;
    for (const auto& source : DocumentSourceRegistry::sources())
        listed[source.name] = { source.priority, source.supportedBundleIDs };
    EXPECT_EQ(listed["WeChatArticleSource"], (std::pair<int, std::vector<std::string>> { 10, { "com.tencent.xinWeChat" } }));
    EXPECT_EQ(listed["LarkSource"], (std::pair<int, std::vector<std::string>> {
                                        31, { "com.bytedance.lark", "com.bytedance.macos.feishu" } }));
    EXPECT_EQ(listed["SafariWebSource"], (std::pair<int, std::vector<std::string>> { 50, { "com.apple.Safari" } }));
    for (const char* id : { "com.tencent.xinWeChat", "com.bytedance.lark", "com.bytedance.macos.feishu", "com.apple.Safari" })
        EXPECT_EQ(DocumentSourceRegistry::allBundleIDs().count(id), 1u) << id;
}

TEST_F(WebArticleSourceTest, EachApplicationsWindowBecomesASessionOfItsCapture)
{
    struct Case {
        const char* fixture;
        const char* bundleID;
        const char* window;
        const char* lastWebAreaTitle;
    };
    for (const Case& c : { Case { "wechat-article.json", "com.tencent.xinWeChat", "wechat-article", "慢读的力量" },
                           Case { "safari-article.json", "com.apple.Safari", "safari-window",
                                  "The Quiet Art of Reading Aloud – Example Press" },
                           // Lark's web area has a title but no description: the session's title stands in.
                           Case { "lark-doc.json", "com.bytedance.lark", "lark-window", "Q3 Reading Plan" } }) {
        SCOPED_TRACE(c.fixture);
        InstalledDesktop desktop(loadFixture(c.fixture));
        auto captured = ArticleParser::captureArticle(c.bundleID);
        ASSERT_TRUE(captured);

        auto session = DocumentSourceRegistry::detect(c.bundleID);
        ASSERT_TRUE(session);
        EXPECT_EQ(session->title(), captured->title);
        EXPECT_EQ(session->windowElement(), desktop->element(c.window));
        EXPECT_EQ(session->paragraphs(), readable(captured->paragraphs));
        auto* article = dynamic_cast<WeChatArticleSession*>(session.get());
        ASSERT_TRUE(article);
        EXPECT_EQ(article->lastWebAreaTitle(), c.lastWebAreaTitle);
    }
}

TEST_F(WebArticleSourceTest, ASourceServesExactlyItsOwnIdentifiersAndFeishuIsServedLikeLark)
{
    {
        InstalledDesktop desktop(loadFixtureAs("lark-doc.json", "com.bytedance.lark", "com.bytedance.macos.feishu"));
        auto session = DocumentSourceRegistry::detect("com.bytedance.macos.feishu");
        ASSERT_TRUE(session);
        EXPECT_EQ(session->title(), "Q3 Reading Plan");
        EXPECT_EQ(session->paragraphs().size(), 13u);
        EXPECT_FALSE(LarkSource::detect("com.bytedance.Macos.Feishu"));
        EXPECT_FALSE(DocumentSourceRegistry::detect("com.bytedance.macos.Feishu"));
    }
    InstalledDesktop desktop(loadFixture("safari-article.json"));
    EXPECT_TRUE(SafariWebSource::detect("com.apple.Safari"));
    EXPECT_FALSE(LarkSource::detect("com.apple.Safari"));
    EXPECT_FALSE(WeChatArticleSource::detect("com.apple.Safari"));
    EXPECT_FALSE(SafariWebSource::detect("com.apple.safari"));
    EXPECT_FALSE(DocumentSourceRegistry::detect("com.google.Chrome"));
}

TEST_F(WebArticleSourceTest, NoSessionWhenTheWindowHasNothingToRead)
{
    {
        // WeChat with only its chat window open.
        auto desktop = loadFixture("wechat-article.json");
        desktop->closeWindow(9102);
        InstalledDesktop installed(desktop);
        EXPECT_FALSE(WeChatArticleSource::detect("com.tencent.xinWeChat"));
    }
    {
        // A page whose every paragraph is noise: a link, a narrow label and a read counter.
        InstalledDesktop installed(SimDesktop::create(articleFixture(
            { SimElement("AXLink").frame(Rect(0, 0, 600, 20)).child(staticText("Home", Rect(0, 0, 600, 20))),
              textBlock("×", Rect(0, 30, 20, 20)), textBlock("Read 100", Rect(0, 60, 600, 20)) })));
        auto captured = ArticleParser::captureArticle("com.apple.Safari");
        ASSERT_TRUE(captured);
        EXPECT_THAT(captured->paragraphs, IsEmpty());
        EXPECT_FALSE(SafariWebSource::detect("com.apple.Safari"));
    }
    {
        // Safari with no window; Safari not running at all.
        auto desktop = loadFixture("safari-article.json");
        desktop->closeWindow(9201);
        InstalledDesktop installed(desktop);
        EXPECT_FALSE(SafariWebSource::detect("com.apple.Safari"));
        desktop->terminateApplication(*desktop->pidOf("com.apple.Safari"));
        EXPECT_FALSE(SafariWebSource::detect("com.apple.Safari"));
    }
}

TEST_F(WebArticleSourceTest, AnEmptyWebAreaDescriptionLeavesTheSessionsTitleAsTheWebAreaTitle)
{
    InstalledDesktop desktop(SimDesktop::create(
        articleFixture({ textBlock("Item", Rect(0, 10, 600, 20)) }, "com.apple.Safari", std::string(""), "Window title")));
    WeChatArticleSession session("Given title", desktop->element("window"), {});
    EXPECT_EQ(session.lastWebAreaTitle(), "Given title");
}

} // namespace
} // namespace lorvantine
