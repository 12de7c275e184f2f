// Which paragraphs the capture keeps, in which order, and the title it chooses.
#include "ArticleTestSupport.h"

#include <gmock/gmock.h>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// One block per text, stacked 30 points apart.
std::vector<SimElement> blocks(const std::vector<std::string>& texts)
{
    std::vector<SimElement> content;
    double y = 0;
    for (const auto& text : texts) {
        content.push_back(textBlock(text, Rect(0, y, 600, 20)));
        y += 30;
    }
    return content;
}

SimElement heading(const std::string& text, double y)
{
    return SimElement("AXHeading").with("AXTitle", text).frame(Rect(0, y, 600, 30));
}

using CleaningTest = ArticleTreeTest;

TEST_F(CleaningTest, DropsReadCountersWeChatsLinesAndTheOriginalLabelButNotTextThatOnlyLooksLikeThem)
{
    EXPECT_THAT(textsOf(paragraphs(blocks({ "Read 12", "Reads 3", "Reads12", "Read\t7", "Read\u00A012", "Read \u0664\u0665",
                                            "Read", "read 12", "Read 12 times", "Total Read 12", "Reads twelve", "Readss 3",
                                            "Read 12 3" }))),
                ElementsAre("Read", "read 12", "Read 12 times", "Total Read 12", "Reads twelve", "Readss 3", "Read 12 3"));
    EXPECT_THAT(textsOf(paragraphs(blocks({ "3 个朋友关注了该公众号", "选择要提醒的朋友", "朋友们都在读" }))), ElementsAre("朋友们都在读"));
    EXPECT_THAT(textsOf(paragraphs(blocks({ "Original", " Original\n", "The Original Sin of software", "Original research",
                                            "original" }))),
                ElementsAre("The Original Sin of software", "Original research", "original"));
}

TEST_F(CleaningTest, LeavesTheOriginalTagOutOfTheBylineItSitsIn)
{
    auto found = paragraphs({ SimElement("AXGroup")
                                  .frame(Rect(0, 0, 600, 20))
                                  .child(SimElement("AXGroup").frame(Rect(0, 0, 60, 20)).child(staticText("Original", Rect(0, 0, 60, 20))))
                                  .child(staticText("Mei Lin", Rect(70, 0, 100, 20)))
                                  .child(staticText(" · March 8", Rect(170, 0, 100, 20))),
                              // An emphasised word among other text is no tag.
                              SimElement("AXGroup")
                                  .frame(Rect(0, 30, 600, 20))
                                  .child(staticText("The ", Rect(0, 0, 40, 20)))
                                  .child(staticText("Original", Rect(40, 0, 70, 20)))
                                  .child(staticText(" cut is longer.", Rect(110, 0, 200, 20))) });
    EXPECT_THAT(textsOf(found), ElementsAre("Mei Lin · March 8", "The Original cut is longer."));
}

TEST_F(CleaningTest, DropsNarrowParagraphsAndLinks)
{
    auto found = paragraphs({ textBlock("narrow", Rect(0, 0, 29.5, 20)), textBlock("just wide enough", Rect(0, 30, 30, 20)),
                              SimElement("AXLink").frame(Rect(0, 60, 600, 20)).child(staticText("a link", Rect(0, 0, 600, 20))) });
    EXPECT_THAT(textsOf(found), ElementsAre("just wide enough"));
}

// What a page hides for screen readers it places far off to the left; a block that starts a few
// points left of the window (a negative margin) is still on the page.
TEST_F(CleaningTest, DropsWhatLiesWhollyLeftOfTheWindowOrWithoutItBesideEveryScreen)
{
    // The window is at x 100 to 900 on a 1440-point screen, with a second display to its left.
    struct Case {
        const char* what;
        Rect local; // relative to the web area, at the window's top-left corner
        bool keptBesideTheWindow;
        bool keptWithoutTheWindowsFrame;
    };
    const std::vector<Case> cases {
        { "a negative margin", Rect(-8, 40, 600, 20), true, true },
        { "ending on the window's edge", Rect(-600, 70, 600, 20), false, true },
        { "on the display to the left", Rect(-1500, 100, 600, 20), false, true },
        { "right of every screen", Rect(1400, 130, 600, 20), true, false },
        // A long page goes on below the screen; it is read as it scrolls into view.
        { "further down the page", Rect(0, 1200, 600, 20), true, true },
    };
    std::vector<SimElement> content { SimElement("AXHeading")
                                          .frame(Rect(-10000, 0, 1, 1))
                                          .with("AXTitle", std::string("Skip to content"))
                                          .child(staticText("Skip to content", Rect(0, 0, 1, 1))),
                                      heading("Installing Packages", 4) };
    std::vector<std::string> besideTheWindow { "Installing Packages" }, withoutItsFrame { "Installing Packages" };
    for (const Case& c : cases) {
        content.push_back(textBlock(c.what, c.local));
        if (c.keptBesideTheWindow)
            besideTheWindow.push_back(c.what);
        if (c.keptWithoutTheWindowsFrame)
            withoutItsFrame.push_back(c.what);
    }
    SimFixture fixture = articleFixture(content);
    fixture.screens = { ScreenInfo { Rect(0, 0, 1440, 900), Rect(0, 0, 1440, 875), 2 },
                        ScreenInfo { Rect(-1920, 0, 1920, 1080), Rect(-1920, 0, 1920, 1055), 1 } };
    for (const auto& expected : { besideTheWindow, withoutItsFrame }) {
        install(fixture);
        auto captured = ArticleParser::captureArticle("com.apple.Safari");
        ASSERT_TRUE(captured);
        EXPECT_EQ(textsOf(captured->paragraphs), expected);
        EXPECT_EQ(captured->title, "Installing Packages");
        fixture.applications[0].windows[0].errors["AXFrame"] = AXError::cannotComplete;
        fixture.applications[0].windows[0].errors["AXPosition"] = AXError::cannotComplete;
    }
}

TEST_F(CleaningTest, OrdersByTopEdgeKeepingTheWalkOrderOfEqualTops)
{
    auto found = paragraphs({ textBlock("third", Rect(0, 200, 600, 20)), textBlock("first left", Rect(0, 10, 290, 20)),
                              textBlock("first right", Rect(300, 10, 290, 20)), textBlock("second", Rect(0, 100, 600, 20)) });
    EXPECT_THAT(textsOf(found), ElementsAre("first left", "first right", "second", "third"));
    for (size_t i = 0; i < found.size(); ++i)
        EXPECT_EQ(found[i].index, static_cast<int>(i));

    // In a long page too, where a sort that is not stable would mix them.
    std::vector<SimElement> content;
    std::vector<std::string> top, bottom;
    for (int i = 0; i < 40; ++i) {
        const std::string text = "cell " + std::to_string(i);
        content.push_back(textBlock(text, Rect(i * 15, i % 2 ? 10 : 100, 30, 20)));
        (i % 2 ? top : bottom).push_back(text);
    }
    top.insert(top.end(), bottom.begin(), bottom.end());
    EXPECT_EQ(textsOf(paragraphs(std::move(content))), top);
}

using TitleTest = ArticleTreeTest;

TEST_F(TitleTest, StartsAtTheFirstHeadingAndTakesItsText)
{
    auto captured = capture({ textBlock("Menu", Rect(0, 0, 600, 20)), heading("The Title", 40),
                              textBlock("Body", Rect(0, 80, 600, 20)), heading("Later", 120) },
                            "Page description");
    ASSERT_TRUE(captured);
    EXPECT_THAT(textsOf(captured->paragraphs), ElementsAre("The Title", "Body", "Later"));
    EXPECT_EQ(captured->title, "The Title");
}

TEST_F(TitleTest, SkipsTheHeadingWhenTheNextParagraphRepeatsThePageTitleExactly)
{
    auto captured = capture({ heading("WeChat", 0), textBlock("The Page", Rect(0, 40, 600, 20)),
                              textBlock("Body", Rect(0, 80, 600, 20)), heading("Section", 120) },
                            "The Page");
    ASSERT_TRUE(captured);
    EXPECT_THAT(textsOf(captured->paragraphs), ElementsAre("The Page", "Body", "Section"));
    EXPECT_EQ(captured->title, "Section");

    captured = capture({ heading("WeChat", 0), textBlock("The Page.", Rect(0, 40, 600, 20)) }, "The Page");
    ASSERT_TRUE(captured);
    EXPECT_THAT(textsOf(captured->paragraphs), ElementsAre("WeChat", "The Page."));
    EXPECT_EQ(captured->title, "WeChat");
}

TEST_F(TitleTest, WithoutHeadingsASecondParagraphEqualToThePageTitleDropsTheFirst)
{
    auto captured = capture(blocks({ "Account name", "The Page", "Body" }), "The Page");
    ASSERT_TRUE(captured);
    EXPECT_THAT(textsOf(captured->paragraphs), ElementsAre("The Page", "Body"));
    EXPECT_EQ(captured->title, "The Page");
}

TEST_F(TitleTest, FallsBackToTheWindowTitleAndThenToNothing)
{
    auto captured = capture(blocks({ "Body" }), std::nullopt, "Window Title");
    ASSERT_TRUE(captured);
    EXPECT_EQ(captured->title, "Window Title");

    SimFixture fixture = articleFixture(blocks({ "Body" }));
    fixture.applications[0].windows[0].errors["AXTitle"] = AXError::noValue;
    install(fixture);
    captured = ArticleParser::captureArticle("com.apple.Safari");
    ASSERT_TRUE(captured);
    EXPECT_EQ(captured->title, "");

    // A page without text still gives the window and a title.
    captured = capture({ SimElement("AXImage").frame(Rect(0, 0, 600, 300)) }, "Photo page", "Window");
    ASSERT_TRUE(captured);
    EXPECT_THAT(captured->paragraphs, IsEmpty());
    EXPECT_EQ(captured->title, "Photo page");
    EXPECT_EQ(captured->window, element("window"));
    captured = capture({ textBlock("Read 99", Rect(0, 0, 600, 20)) }, "", "Window");
    ASSERT_TRUE(captured);
    EXPECT_THAT(captured->paragraphs, IsEmpty());
    EXPECT_EQ(captured->title, "Window");
}

} // namespace
} // namespace lorvantine
