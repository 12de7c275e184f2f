#include "PanelsTest.h"

#include "Overlay/HighlightOverlay.h"
#include "Player/MiniPlayer.h"

#include <filesystem>

namespace lorvantine::panels {
namespace {

// The demo desktop (Safari showing an article, at 2 pixels per point) while its article is read:
// the overlay marks the third paragraph and one word of it, the mini player sits in the window's
// corner. The picture is kept for a person to look at.
class OverlayDemo : public PanelsTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override { return SimDesktop::demo(); }

    void TearDown() override
    {
        overlay.reset();
        if (player)
            player->hide();
        player.reset();
        PanelsTest::TearDown();
    }

    // How much more red than blue `r` shows, on average: the accent colour's sign.
    double warmth(const SimRenderer::Picture& picture, const Rect& r)
    {
        double sum = 0;
        int count = 0;
        for (double y = r.minY() + 0.25; y < r.maxY(); y += 0.5)
            for (double x = r.minX() + 0.25; x < r.maxX(); x += 0.5, ++count) {
                const Rgb c = colourAt(picture, { x, y });
                sum += c.r - c.b;
            }
        return count ? sum / count : 0;
    }

    std::shared_ptr<HighlightOverlay> overlay = std::make_shared<HighlightOverlay>();
    std::shared_ptr<MiniPlayer> player;
};

TEST_F(OverlayDemo, APictureOfAReadingShowsTheMarksAndTheMiniPlayer)
{
    const uint32_t safari = 8101;
    const AXElement window = desktop->windowElement(safari);
    std::vector<Rect> frames;
    std::vector<std::optional<AXElement>> elements;
    for (const char* name : { "article-title", "byline", "paragraph-1", "paragraph-2", "habits-heading", "habits",
                              "paragraph-3", "paragraph-4" }) {
        const AXElement element = desktop->element(name);
        ASSERT_FALSE(element.isNull()) << name;
        frames.push_back(*desktop->frameOf(element));
        elements.push_back(element);
    }
    const size_t n = frames.size();
    overlay->attach(frames.front(), frames, elements, std::vector<std::optional<double>>(n),
                    std::vector<std::optional<double>>(n), false, window, std::vector<std::optional<int>>(n));

    player = std::make_shared<MiniPlayer>();
    player->trackedBundleID = "com.apple.Safari";
    player->show(window);
    player->configureForLanguage(false);
    player->setProgress(2, static_cast<int>(n));
    player->setPlaying(true);

    // "words" in the first run of the third paragraph: "Most of us read more words in a day ..."
    const AXElement firstRun = children(desktop->element("paragraph-1")).at(0);
    AXValue bounds;
    ASSERT_EQ(ax().copyParameterizedAttributeValue(firstRun, "AXBoundsForRange", AXRange { 21, 5 }, bounds), AXError::success);
    const Rect word = std::get<Rect>(bounds);

    overlay->setCurrent(2);
    RunLoop::runPending();
    auto before = render();
    ASSERT_TRUE(before);
    overlay->setSubHighlight({ word });
    advance(0.5);
    auto picture = render();
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->image.width, 2880);
    EXPECT_EQ(picture->image.height, 1800);

    const std::filesystem::path folder = std::filesystem::path(LORVANTINE_BINARY_DIR) / "test-output";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "overlay-demo.png").string();
    ASSERT_TRUE(picture->image.savePNG(path));
    auto loaded = Image::loadPNG(path);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->digest(), picture->image.digest());

    // The paragraph mark: its margin left of the text is the accent at the mark's opacity.
    const Rect& paragraph = frames[2];
    EXPECT_PRED3(near, colourAt(*picture, { paragraph.minX() - 2, paragraph.midY() }), over(white, accent, 0.08), 2);
    EXPECT_EQ(colourAt(*picture, { paragraph.minX() - 6, paragraph.midY() }), white);
    EXPECT_EQ(colourAt(*picture, { frames[3].minX() - 2, frames[3].midY() }), white);
    // The word turned clearly warmer; the words beside it only by the paragraph mark.
    EXPECT_GT(warmth(*picture, word), warmth(*before, word) + 40);
    const Rect nextWord(word.maxX() + 30, word.minY(), 20, word.height());
    EXPECT_NEAR(warmth(*picture, nextWord), warmth(*before, nextWord), 0.5);

    // The mini player in the window's bottom-right corner, counting the third paragraph.
    const Rect safariFrame = *desktop->windowFrame(safari);
    const Rect card(safariFrame.maxX() - 16 - 264, safariFrame.maxY() - 16 - 48, 264, 48);
    const Rgb cardColour = colourAt(*picture, { card.minX() + 52, card.midY() });
    EXPECT_LT(cardColour.r, 40);
    EXPECT_EQ(findAll(programElement(), "AXStaticText").size(), 1u);
    EXPECT_EQ(attribute<std::string>(findAll(programElement(), "AXStaticText").at(0), "AXValue"), "3/8");
    EXPECT_EQ(attribute<std::string>(findAll(programElement(), "AXPopUpButton").at(1), "AXValue"), "Heart");

    // The reader scrolls the article: the marks go along with the text.
    desktop->setScroll(desktop->element("safari-scroll"), { 0, 40 });
    advance(0.1);
    EXPECT_NEAR(overlay->paragraphs()[2].minY(), paragraph.minY() - 40, 0.01);
    auto scrolled = render();
    EXPECT_PRED3(near, colourAt(*scrolled, { paragraph.minX() - 2, paragraph.midY() - 40 }), over(white, accent, 0.08), 2);
}

} // namespace
} // namespace lorvantine::panels
