// How the capture turns the elements of a web area into paragraphs.
#include "ArticleTestSupport.h"

#include <gmock/gmock.h>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

SimElement link(const std::string& text, Rect frame)
{
    return SimElement("AXLink").frame(frame).child(staticText(text, Rect(0, 0, frame.width(), frame.height())));
}

SimElement withoutFrame(SimElement element)
{
    return element.failing("AXFrame", AXError::attributeUnsupported).failing("AXPosition", AXError::attributeUnsupported);
}

using HeadingTest = ArticleTreeTest;

TEST_F(HeadingTest, TakesTheFirstNonEmptyOfValueTitleAndDescriptionAndNeverReadsInside)
{
    auto found = paragraphs({
        SimElement("AXHeading")
            .named("h1")
            .frame(Rect(0, 0, 600, 40))
            .with("AXValue", std::string())
            .with("AXTitle", std::string("Chapter One"))
            .child(SimElement("AXGroup").frame(Rect(0, 0, 600, 40)).child(staticText("inner words", Rect(0, 0, 600, 40)))),
        SimElement("AXHeading")
            .frame(Rect(0, 60, 600, 30))
            .with("AXValue", int64_t { 2 })
            .with("AXDescription", std::string("Described"))
            .child(link("a link in a heading", Rect(0, 0, 600, 30))),
        SimElement("AXHeading").with("AXValue", std::string("Framed")).frame(Rect(0, 100, 600, 30)),
    });
    EXPECT_THAT(textsOf(found), ElementsAre("Chapter One", "Described", "Framed"));
    EXPECT_THAT(rolesOf(found), ElementsAre("AXHeading", "AXHeading", "AXHeading"));
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].frame, onScreen(Rect(0, 0, 600, 40)));
    EXPECT_EQ(found[0].element, element("h1"));
    EXPECT_FALSE(found[0].axFullText);
    EXPECT_FALSE(found[0].tightFrameYOffset);
}

TEST_F(HeadingTest, WithoutTextOrFrameGivesNothingAndHidesItsChildren)
{
    auto found = paragraphs({
        SimElement("AXHeading").frame(Rect(0, 0, 600, 40)).child(textBlock("under an empty heading", Rect(0, 0, 600, 40))),
        withoutFrame(SimElement("AXHeading").with("AXTitle", std::string("No frame"))),
        textBlock("Body", Rect(0, 100, 600, 20)),
    });
    EXPECT_THAT(textsOf(found), ElementsAre("Body"));
}

using StaticTextBlockTest = ArticleTreeTest;

SimElement blockWithLinkAndNestedText(double height)
{
    return SimElement("AXGroup")
        .named("block")
        .frame(Rect(0, 0, 600, height))
        .child(staticText("Before ", Rect(0, 0, 100, 20)))
        .child(link("link", Rect(100, 0, 80, 20)))
        .child(staticText(" after", Rect(180, 0, 100, 20)))
        .child(SimElement("AXGroup").named("nested").frame(Rect(0, 40, 600, 20)).child(staticText("nested", Rect(0, 0, 600, 20))));
}

TEST_F(StaticTextBlockTest, ReadsItsWholeSubtreeOnceAndKeepsTheElementsOwnTextForTheFullText)
{
    auto found = paragraphs({ blockWithLinkAndNestedText(300) });
    ASSERT_THAT(textsOf(found), ElementsAre("Before link after nested"));
    const ArticleParagraph& block = found[0];
    EXPECT_EQ(block.element, element("block"));
    EXPECT_EQ(block.role, "AXGroup");
    EXPECT_EQ(block.axFullText, "Before link afternested");
    // Horizontally the block, vertically its text.
    EXPECT_EQ(block.frame, onScreen(Rect(0, 0, 600, 60)));
    EXPECT_EQ(block.tightFrameYOffset, 0);
    EXPECT_EQ(block.tightFrameHeight, 60);
    EXPECT_THAT(log.linesContaining("[ArticleParser]"),
                ElementsAre("[ArticleParser] AX index mapping: text=24 axFull=23 AXCharCount=-1 role=AXGroup"));
}

TEST_F(StaticTextBlockTest, ATallBlockReadsOnlyItsDirectStaticTextAndLeavesTheRestToItsChildren)
{
    auto found = paragraphs({ blockWithLinkAndNestedText(450) });
    ASSERT_THAT(textsOf(found), ElementsAre("Before link after", "nested"));
    EXPECT_EQ(found[0].element, element("block"));
    EXPECT_FALSE(found[0].axFullText);
    EXPECT_EQ(found[0].frame, onScreen(Rect(0, 0, 600, 20)));
    EXPECT_EQ(found[1].element, element("nested"));
    EXPECT_FALSE(log.contains("[ArticleParser]"));
}

TEST_F(StaticTextBlockTest, LeavesAListMarkerOutOfTheTextButNotOutOfTheFullText)
{
    auto found = paragraphs({ SimElement("AXGroup")
                                  .frame(Rect(0, 0, 600, 20))
                                  .child(SimElement("AXListMarker", "•").frame(Rect(0, 0, 20, 20)))
                                  .child(staticText("Item", Rect(28, 0, 572, 20))) });
    ASSERT_THAT(textsOf(found), ElementsAre("Item"));
    EXPECT_EQ(found[0].axFullText, "•Item");
}

TEST_F(StaticTextBlockTest, TightensToTextMoreThanFivePointsAwayFromTheBlocksEdges)
{
    auto found = paragraphs({
        SimElement("AXGroup").frame(Rect(0, 100, 600, 60)).child(staticText("Twelve below", Rect(0, 12, 600, 20))),
        SimElement("AXGroup").frame(Rect(0, 200, 600, 60)).child(staticText("Four below", Rect(0, 4, 600, 56))),
    });
    ASSERT_THAT(textsOf(found), ElementsAre("Twelve below", "Four below"));
    EXPECT_EQ(found[0].frame, onScreen(Rect(0, 112, 600, 20)));
    EXPECT_EQ(found[0].tightFrameYOffset, 12);
    EXPECT_EQ(found[0].tightFrameHeight, 20);
    EXPECT_EQ(found[1].frame, onScreen(Rect(0, 204, 600, 56)));
    EXPECT_FALSE(found[1].tightFrameYOffset);
    EXPECT_FALSE(found[1].tightFrameHeight);
}

TEST_F(StaticTextBlockTest, ReadsNestedBlocksOnceWhicheverDepthTheySitAt)
{
    auto found = paragraphs({ SimElement("AXGroup")
                                  .frame(Rect(0, 0, 600, 200))
                                  .child(staticText("Intro. ", Rect(0, 0, 600, 20)))
                                  .child(SimElement("AXGroup")
                                             .frame(Rect(0, 30, 600, 100))
                                             .child(staticText("Middle. ", Rect(0, 0, 600, 20)))
                                             .child(textBlock("Inner.", Rect(0, 30, 600, 20))))
                                  .child(SimElement("AXImage").frame(Rect(0, 140, 100, 50))) });
    EXPECT_THAT(textsOf(found), ElementsAre("Intro. Middle. Inner."));
}

TEST_F(StaticTextBlockTest, MakesNoParagraphOfAnEmptyOrUnplacedBlockAndStillReadsItsChildren)
{
    EXPECT_THAT(textsOf(paragraphs({ SimElement("AXGroup")
                                         .frame(Rect(0, 0, 600, 100))
                                         .child(staticText("", Rect(0, 0, 600, 20)))
                                         .child(textBlock("Child", Rect(0, 30, 600, 20))) })),
                ElementsAre("Child"));
    EXPECT_THAT(textsOf(paragraphs({ withoutFrame(SimElement("AXGroup"))
                                         .child(staticText("unplaced", Rect(0, 0, 600, 20)))
                                         .child(textBlock("placed", Rect(0, 30, 600, 20))) })),
                ElementsAre("placed"));
}

TEST_F(StaticTextBlockTest, ABlockWhoseTextsAnswerNoPositionIsFramedByItsOwnBoxWhateverItsHeight)
{
    // An article body whose text runs answer neither a frame nor a position, as some web views
    // give them: short or over 400 points tall, the block is read and framed by its own box.
    for (double height : { 300.0, 450.0 }) {
        SCOPED_TRACE(height);
        auto found = paragraphs({ SimElement("AXGroup")
                                      .named("body")
                                      .frame(Rect(0, 0, 600, height))
                                      .child(withoutFrame(staticText("The lock keeper rose early. ", Rect(0, 0, 600, 20))))
                                      .child(withoutFrame(staticText("The boats were already waiting.", Rect(0, 20, 600, 20)))) });
        ASSERT_THAT(textsOf(found), ElementsAre("The lock keeper rose early. The boats were already waiting."));
        EXPECT_EQ(found[0].element, element("body"));
        EXPECT_EQ(found[0].frame, onScreen(Rect(0, 0, 600, height)));
        EXPECT_FALSE(found[0].tightFrameYOffset);
        EXPECT_FALSE(found[0].tightFrameHeight);
    }
}

using TextGroupTest = ArticleTreeTest;

SimElement group(const std::string& role, Rect frame, int containers, int links, const std::string& name = "group")
{
    SimElement g(role);
    g.named(name).frame(frame);
    double y = 0;
    for (int i = 0; i < containers; ++i, y += 30)
        g.child(textBlock("Part " + std::to_string(i + 1) + ".", Rect(0, y, 500, 20)));
    for (int i = 0; i < links; ++i, y += 30)
        g.child(link("link " + std::to_string(i + 1), Rect(0, y, 500, 20)));
    return g;
}

TEST_F(TextGroupTest, IsOneParagraphOnlyWhenAtLeastHalfItsChildrenAreContainers)
{
    for (auto [containers, links] : { std::pair { 2, 2 }, std::pair { 2, 3 }, std::pair { 3, 0 } }) {
        SCOPED_TRACE(testing::Message() << containers << " containers, " << links << " links");
        auto found = paragraphs({ group("AXGroup", Rect(0, 0, 500, 200), containers, links) });
        ASSERT_EQ(found.size(), 1u);
        std::string text;
        for (int i = 0; i < containers; ++i)
            text += (i ? " Part " : "Part ") + std::to_string(i + 1) + ".";
        EXPECT_EQ(found[0].text, text);
        EXPECT_EQ(found[0].element, element("group"));
        EXPECT_EQ(found[0].frame, onScreen(Rect(0, 0, 500, 200)));
        EXPECT_EQ(found[0].tightFrameYOffset, 0);
        EXPECT_EQ(found[0].tightFrameHeight, (containers + links - 1) * 30 + 20);
        EXPECT_TRUE(found[0].axFullText);
        EXPECT_FALSE(log.contains("[ArticleParser]"));
    }

    // With too few containers it is read child by child.
    auto found = paragraphs({ group("AXGroup", Rect(0, 0, 500, 200), 1, 3) });
    ASSERT_THAT(textsOf(found), ElementsAre("Part 1."));
    EXPECT_NE(found[0].element, element("group"));
}

TEST_F(TextGroupTest, AGroupOf500PointsIsReadChildByChildButATableOfAnyHeightIsOneParagraph)
{
    EXPECT_THAT(textsOf(paragraphs({ group("AXGroup", Rect(0, 0, 500, 500), 2, 0) })), ElementsAre("Part 1.", "Part 2."));
    EXPECT_THAT(textsOf(paragraphs({ group("AXGroup", Rect(0, 0, 500, 499), 2, 0) })), ElementsAre("Part 1. Part 2."));
    EXPECT_THAT(textsOf(paragraphs({ group("AXTable", Rect(0, 0, 500, 900), 2, 0) })), ElementsAre("Part 1. Part 2."));
}

TEST_F(TextGroupTest, LeavesButtonsImagesAndLinksOutOfItsText)
{
    auto found = paragraphs({ SimElement("AXGroup")
                                  .frame(Rect(0, 0, 500, 100))
                                  .child(textBlock("Kept.", Rect(0, 0, 500, 20)))
                                  .child(SimElement("AXButton").frame(Rect(0, 30, 80, 20)).child(staticText("Like", Rect(0, 0, 80, 20))))
                                  .child(SimElement("AXGroup").frame(Rect(0, 60, 500, 20)).child(link("More", Rect(0, 0, 500, 20)))) });
    ASSERT_THAT(textsOf(found), ElementsAre("Kept."));
    EXPECT_EQ(found[0].axFullText, "Kept.LikeMore");
}

TEST_F(TextGroupTest, WithoutTextOrFrameIsReadChildByChild)
{
    EXPECT_THAT(textsOf(paragraphs({ withoutFrame(group("AXGroup", Rect(0, 0, 500, 200), 2, 0)) })),
                ElementsAre("Part 1.", "Part 2."));
    // A heading that has only a title gives the group no static text, yet is read on its own.
    EXPECT_THAT(textsOf(paragraphs({ SimElement("AXGroup")
                                         .frame(Rect(0, 0, 500, 200))
                                         .child(SimElement("AXHeading").with("AXTitle", std::string("Only a title")).frame(Rect(0, 0, 500, 30)))
                                         .child(SimElement("AXGroup").frame(Rect(0, 40, 500, 50)).child(SimElement("AXImage").frame(Rect(0, 0, 50, 50)))) })),
                ElementsAre("Only a title"));
}

using WalkLimitTest = ArticleTreeTest;

// A chain of single-child groups below the web area; the block at its end is at `depth`.
SimElement chainTo(int depth)
{
    SimElement block = textBlock("deep text", Rect(0, 0, 600, 20));
    for (int d = depth - 1; d >= 1; --d)
        block = SimElement("AXGroup").frame(Rect(0, 0, 600, 20)).child(std::move(block));
    return block;
}

TEST_F(WalkLimitTest, ReadsBlocksDownToDepthThirtyAndNoDeeper)
{
    EXPECT_THAT(textsOf(paragraphs({ chainTo(30) })), ElementsAre("deep text"));
    EXPECT_THAT(textsOf(paragraphs({ chainTo(31) })), IsEmpty());
}

TEST_F(WalkLimitTest, NeverEntersButtonsScrollBarsImagesOrListMarkers)
{
    std::vector<SimElement> content;
    double y = 0;
    for (const char* role : { "AXButton", "AXScrollBar", "AXImage", "AXListMarker" }) {
        content.push_back(SimElement(role).frame(Rect(0, y, 600, 40)).child(textBlock(std::string("in ") + role, Rect(0, 0, 600, 20))));
        y += 50;
    }
    content.push_back(textBlock("Visible", Rect(0, y, 600, 20)));
    EXPECT_THAT(textsOf(paragraphs(std::move(content))), ElementsAre("Visible"));
}

} // namespace
} // namespace lorvantine
