#include "Documents/DocumentSourceRegistry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class StubSession final : public DocumentSession {
public:
    explicit StubSession(std::string title) : m_title(std::move(title)) {}
    std::string title() const override { return m_title; }
    std::vector<ReadableParagraph> paragraphs() const override { return {}; }
    AXElement windowElement() const override { return {7, 1}; }

private:
    std::string m_title;
};

class RegistryTest : public ::testing::Test {
protected:
    std::vector<std::string> calls;

    // A source that records each call and finds a session only when `finds` is set.
    DocumentSource source(const std::string& name, int priority, std::vector<std::string> ids, bool finds)
    {
        return DocumentSource{
            .name = name,
            .priority = priority,
            .supportedBundleIDs = std::move(ids),
            .detect = [this, name, finds](const std::string& bundleID) -> std::shared_ptr<DocumentSession> {
                calls.push_back(name + " " + bundleID);
                return finds ? std::make_shared<StubSession>(name) : nullptr;
            },
        };
    }

    static std::string titleOf(const std::shared_ptr<DocumentSession>& session)
    {
        return session ? session->title() : "(none)";
    }
};

TEST_F(RegistryTest, TriesOnlyTheSourcesThatListTheIdentifier)
{
    std::vector<DocumentSource> sources{
        source("Notes", 25, {"com.apple.Notes"}, true),
        source("Lark", 31, {"com.bytedance.lark", "com.bytedance.macos.feishu"}, true),
        source("Pages", 40, {"com.apple.iWork.Pages"}, true),
    };

    EXPECT_EQ(titleOf(DocumentSourceRegistry::detect("com.bytedance.macos.feishu", sources)), "Lark");
    EXPECT_THAT(calls, ElementsAre("Lark com.bytedance.macos.feishu"));

    calls.clear();
    EXPECT_EQ(DocumentSourceRegistry::detect("com.apple.iwork.pages", sources), nullptr);
    EXPECT_EQ(DocumentSourceRegistry::detect("com.apple.TextEdit", sources), nullptr);
    EXPECT_EQ(DocumentSourceRegistry::detect("", sources), nullptr);
    EXPECT_THAT(calls, IsEmpty());
}

TEST_F(RegistryTest, SharedIdentifierGoesToTheLowestPriorityThatFindsASession)
{
    std::vector<DocumentSource> sources{
        source("Late", 60, {"app"}, true),
        source("EmptyHanded", 10, {"app"}, false),
        source("FirstOfTwins", 30, {"app"}, true),
        source("SecondOfTwins", 30, {"app"}, true),
        source("Other", 5, {"other"}, true),
    };

    EXPECT_EQ(titleOf(DocumentSourceRegistry::detect("app", sources)), "FirstOfTwins");
    EXPECT_THAT(calls, ElementsAre("EmptyHanded app", "FirstOfTwins app"));
}

TEST_F(RegistryTest, NoSessionWhenEverySourceComesBackEmpty)
{
    std::vector<DocumentSource> sources{
        source("A", 2, {"app"}, false),
        source("B", 1, {"app"}, false),
        DocumentSource{.name = "Unfinished", .priority = 0, .supportedBundleIDs = {"app"}},
    };
    EXPECT_EQ(DocumentSourceRegistry::detect("app", sources), nullptr);
    EXPECT_THAT(calls, ElementsAre("B app", "A app"));
}

TEST_F(RegistryTest, AllBundleIDsIsTheUnionOfEverySource)
{
    std::vector<DocumentSource> sources{
        source("WeChat", 10, {"com.tencent.xinWeChat"}, true),
        source("Lark", 31, {"com.bytedance.lark", "com.bytedance.macos.feishu"}, true),
        source("AlsoWeChat", 90, {"com.tencent.xinWeChat"}, true),
    };
    EXPECT_EQ(DocumentSourceRegistry::allBundleIDs(sources),
              (std::set<std::string>{"com.tencent.xinWeChat", "com.bytedance.lark", "com.bytedance.macos.feishu"}));
    EXPECT_THAT(calls, IsEmpty());
}

TEST(DocumentSourceRegistry, BuiltInSourcesAreListedInPriorityOrder)
{
    const auto& sources = DocumentSourceRegistry::sources();
    for (size_t i = 1; i < sources.size(); ++i)
        EXPECT_LT(sources[i - 1].priority, sources[i].priority) << sources[i].name;
    EXPECT_EQ(DocumentSourceRegistry::allBundleIDs(), DocumentSourceRegistry::allBundleIDs(sources));
    EXPECT_EQ(&DocumentSourceRegistry::sources(), &sources);

    std::vector<std::string> names;
    for (const DocumentSource& source : sources)
        names.push_back(source.name);
    EXPECT_EQ(names, (std::vector<std::string> { "WeChatArticleSource", "PreviewSource", "PDFgearSource", "NotesSource",
                                                 "AppleBooksSource", "LarkSource", "PagesSource", "WordSource",
                                                 "SafariWebSource", "KindleSource" }));
    EXPECT_EQ(DocumentSourceRegistry::allBundleIDs().size(), 11u);
    EXPECT_TRUE(DocumentSourceRegistry::allBundleIDs().contains("com.apple.iWork.Pages"));
}

} // namespace
} // namespace lorvantine
