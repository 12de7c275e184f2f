// Trees that fail, lie about their types or loop: the capture gives less, never crashes or hangs.
#include "ArticleTestSupport.h"

#include "Documents/DocumentSourceRegistry.h"

#include <gmock/gmock.h>

#include <limits>
#include <sstream>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using BrokenTreeTest = ArticleTreeTest;

std::vector<SimElement> twoParagraphs()
{
    return { textBlock("First", Rect(0, 0, 600, 20)).named("first"), textBlock("Second", Rect(0, 30, 600, 20)).named("second") };
}

TEST_F(BrokenTreeTest, AWebAreaWhoseChildrenCannotBeReadGivesAnEmptyArticle)
{
    for (AXError error : { AXError::cannotComplete, AXError::invalidUIElement, AXError::apiDisabled }) {
        install(articleFixture(twoParagraphs(), "com.apple.Safari", std::string("Hint")));
        (*desktop)->setError(element("web-area"), "AXChildren", error);
        auto captured = ArticleParser::captureArticle("com.apple.Safari");
        ASSERT_TRUE(captured);
        EXPECT_THAT(captured->paragraphs, IsEmpty());
        EXPECT_EQ(captured->title, "Hint");
        EXPECT_FALSE(DocumentSourceRegistry::detect("com.apple.Safari"));
    }
}

TEST_F(BrokenTreeTest, AnElementThatVanishedIsSkippedAndTheRestIsRead)
{
    install(articleFixture(twoParagraphs()));
    for (const char* attribute : { "AXRole", "AXChildren", "AXValue", "AXFrame", "AXPosition", "AXSize", "AXTitle" })
        (*desktop)->setError(element("first"), attribute, AXError::invalidUIElement);
    EXPECT_THAT(textsOf(capturedParagraphs("com.apple.Safari")), ElementsAre("Second"));
}

TEST_F(BrokenTreeTest, ValuesOfTheWrongTypeCountAsAbsent)
{
    install(articleFixture(
        { SimElement("AXGroup").frame(Rect(0, 0, 600, 20)).child(staticText("x", Rect(0, 0, 600, 20)).with("AXValue", int64_t { 7 })),
          SimElement("AXGroup").frame(Rect(0, 30, 600, 20)).child(staticText("x", Rect(0, 0, 600, 20)).with("AXValue", 2.5)),
          SimElement("AXHeading").with("AXTitle", std::vector<std::string> { "list" }).frame(Rect(0, 60, 600, 20)),
          SimElement("AXGroup").frame(Rect(0, 90, 600, 20)).with("AXRole", int64_t { 3 }).child(staticText("Role-less", Rect(0, 0, 600, 20))),
          SimElement("AXGroup").frame(Rect(0, 120, 600, 20)).with("AXChildren", std::string("not a list")),
          textBlock("Kept", Rect(0, 150, 600, 20)) },
        "com.apple.Safari", std::string("Hint")));
    (*desktop)->setAttribute(element("web-area"), "AXDescription", int64_t { 1 });
    (*desktop)->setAttribute(element("window"), "AXTitle", Size { 1, 2 });
    auto captured = ArticleParser::captureArticle("com.apple.Safari");
    ASSERT_TRUE(captured);
    EXPECT_THAT(textsOf(captured->paragraphs), ElementsAre("Role-less", "Kept"));
    EXPECT_THAT(rolesOf(captured->paragraphs), ElementsAre("", "AXGroup"));
    EXPECT_EQ(captured->title, "");
}

TEST_F(BrokenTreeTest, AFrameOfTheWrongTypeFallsBackToPositionAndSize)
{
    install(articleFixture({ textBlock("Framed by parts", Rect(0, 0, 600, 20)).with("AXFrame", std::string("0 0 600 20")),
                             textBlock("Unplaced", Rect(0, 30, 600, 20))
                                 .with("AXFrame", std::string("?"))
                                 .with("AXPosition", std::string("?")) }));
    auto found = capturedParagraphs("com.apple.Safari");
    ASSERT_THAT(textsOf(found), ElementsAre("Framed by parts"));
    EXPECT_EQ(found[0].frame, onScreen(Rect(0, 0, 600, 20)));
}

TEST_F(BrokenTreeTest, NonFiniteNumbersNeverReachAFrame)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    install(articleFixture({ textBlock("Not a number", Rect(0, 0, 600, 20)).with("AXFrame", Rect(0, nan, 600, 20)),
                             textBlock("Infinite", Rect(0, 30, 600, 20))
                                 .with("AXFrame", Rect(inf, 30, 600, 20))
                                 .with("AXPosition", Point { inf, 30 }),
                             SimElement("AXHeading")
                                 .with("AXTitle", std::string("Heading"))
                                 .frame(Rect(0, 60, 600, 20))
                                 .with("AXFrame", Rect(0, 60, nan, 20))
                                 .with("AXSize", Size { nan, 20 }),
                             textBlock("Finite", Rect(0, 90, 600, 20)) }));
    auto found = capturedParagraphs("com.apple.Safari");
    ASSERT_THAT(textsOf(found), ElementsAre("Not a number", "Finite"));
    EXPECT_EQ(found[0].frame, onScreen(Rect(0, 0, 600, 20)));
}

TEST_F(BrokenTreeTest, ATreeThatContainsItselfIsReadOnce)
{
    install(articleFixture({ SimElement("AXGroup")
                                 .named("block")
                                 .frame(Rect(0, 0, 600, 300))
                                 .child(staticText("Block text. ", Rect(0, 0, 600, 20)))
                                 .child(SimElement("AXGroup")
                                            .named("inner")
                                            .frame(Rect(0, 30, 600, 20))
                                            .child(staticText("Inner.", Rect(0, 0, 600, 20)).named("inner-text"))),
                             SimElement("AXGroup")
                                 .named("group")
                                 .frame(Rect(0, 400, 600, 100))
                                 .child(SimElement("AXGroup")
                                            .named("one")
                                            .frame(Rect(0, 0, 600, 20))
                                            .child(staticText("One.", Rect(0, 0, 600, 20)).named("one-text")))
                                 .child(textBlock("Two.", Rect(0, 30, 600, 20))) }));
    // Children that lead back up the tree, listed again and again: read without the guard,
    // each level would multiply the work by 25.
    auto cycle = [&](const std::string& name, const std::string& text, const std::string& ancestor) {
        std::vector<AXElement> children { element(text) };
        children.insert(children.end(), 12, element(ancestor));
        children.insert(children.end(), 12, element(name));
        (*desktop)->setAttribute(element(name), "AXChildren", children);
    };
    cycle("inner", "inner-text", "block");
    cycle("one", "one-text", "group");
    EXPECT_THAT(textsOf(capturedParagraphs("com.apple.Safari")), ElementsAre("Block text. Inner.", "One. Two."));
}

TEST_F(BrokenTreeTest, ApplicationsAndWindowsThatCannotBeReadGiveNoArticle)
{
    SimFixture noWindows = articleFixture(twoParagraphs());
    noWindows.applications[0].errors["AXWindows"] = AXError::cannotComplete;
    install(noWindows);
    EXPECT_FALSE(ArticleParser::captureArticle("com.apple.Safari"));

    SimFixture wrongType = articleFixture(twoParagraphs());
    wrongType.applications[0].attributes["AXWindows"] = std::string("window");
    install(wrongType);
    EXPECT_FALSE(ArticleParser::captureArticle("com.apple.Safari"));

    SimFixture emptyWindow = articleFixture({});
    emptyWindow.applications[0].windows[0].children.clear();
    install(emptyWindow);
    EXPECT_FALSE(ArticleParser::captureArticle("com.apple.Safari"));
    EXPECT_FALSE(ArticleParser::currentArticleTitle(element("window")));

    install(articleFixture({}, "com.apple.Safari", std::string("Empty page")));
    auto captured = ArticleParser::captureArticle("com.apple.Safari");
    ASSERT_TRUE(captured);
    EXPECT_THAT(captured->paragraphs, IsEmpty());
    EXPECT_EQ(captured->title, "Empty page");
    EXPECT_FALSE(DocumentSourceRegistry::detect("com.apple.Safari"));

    EXPECT_FALSE(ArticleParser::currentArticleTitle(AXElement {}));
    EXPECT_FALSE(ArticleParser::currentArticleTitle(AXElement { 999, 5 }));
}

TEST_F(BrokenTreeTest, AWeChatWindowTitleOfTheWrongTypeIsNoPageMarker)
{
    SimFixture fixture = articleFixture(twoParagraphs(), "com.tencent.xinWeChat");
    SimWindow chat;
    chat.number = 7;
    chat.name = "chat";
    chat.frame = Rect(0, 0, 300, 300);
    chat.attributes["AXTitle"] = std::vector<std::string> { "(Page: 1)" };
    fixture.applications[0].windows.insert(fixture.applications[0].windows.begin(), chat);
    install(fixture);
    auto captured = ArticleParser::captureArticle("com.tencent.xinWeChat");
    ASSERT_TRUE(captured);
    EXPECT_EQ(captured->window, element("window"));
}

} // namespace
} // namespace lorvantine
