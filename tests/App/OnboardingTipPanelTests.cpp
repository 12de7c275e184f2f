#include "OwnWindowsTest.h"

#include "App/OnboardingTipPanel.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/WorkspacePort.h"

namespace lorvantine {
namespace {

class ReadyTipTest : public OwnWindowsTest {
protected:
    void SetUp() override
    {
        OwnWindowsTest::SetUp();
        LocalizedStrings::setLanguage(LocalizedStrings::Language::english);
    }
    void TearDown() override
    {
        tip.reset();
        LocalizedStrings::resetLanguage();
        OwnWindowsTest::TearDown();
    }

    std::shared_ptr<OnboardingTipPanel> tip = std::make_shared<OnboardingTipPanel>();
};

// It fades in over 0.3 s, stays until 8 s after it was shown, fades out over 0.3 s and is gone.
TEST_F(ReadyTipTest, FadesInStaysEightSecondsAndFadesOut)
{
    tip->show();
    Panel* panel = tip->panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_DOUBLE_EQ(panel->alphaValue(), 0);
    EXPECT_TRUE(panel->isVisible());
    struct Step {
        double at;
        double alpha;
    };
    double now = 0;
    for (const Step& s : { Step { 0.15, 0.5 }, Step { 0.31, 1 }, Step { 7.99, 1 }, Step { 8.15, 0.5 } }) {
        advance(s.at - now);
        now = s.at;
        ASSERT_EQ(tip->panel(), panel) << s.at;
        EXPECT_NEAR(panel->alphaValue(), s.alpha, 0.06) << s.at;
        EXPECT_EQ(programWindows().size(), 1u) << s.at;
    }
    advance(8.32 - now);
    EXPECT_EQ(tip->panel(), nullptr);
    EXPECT_TRUE(programWindows().empty());
}

// A dark panel 420 × 84 whose right edge is 16 points from the screen's and whose top is 36
// below the screen's top, floating, taking no focus from the front application.
TEST_F(ReadyTipTest, SitsAtTheTopRightOfTheScreenWithoutTakingFocus)
{
    const ProcessID frontBefore = Platform::workspace().frontmostApplication().value_or(RunningApplication {}).pid;
    tip->show();
    advance(0.5);
    const auto windows = programWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].kCGWindowBounds, Rect(1440 - 16 - 420, 36, 420, 84));
    EXPECT_EQ(windows[0].kCGWindowLayer, 3);
    EXPECT_FALSE(tip->panel()->isKeyWindow());
    EXPECT_EQ(tip->panel()->collectionBehavior(), CollectionBehavior::canJoinAllSpaces | CollectionBehavior::stationary);
    EXPECT_FALSE(tip->panel()->hidesOnDeactivate());
    EXPECT_EQ(Platform::workspace().frontmostApplication().value_or(RunningApplication {}).pid, frontBefore);

    auto picture = savePicture(*tip->panel(), "ready-tip.png");
    ASSERT_TRUE(picture);
    const Rgb middle = rgbOf(picture->pixel(200, 70));
    EXPECT_LT(middle.r + middle.g + middle.b, 3 * 60) << middle;
    std::vector<View*> parts;
    for (const auto& view : tip->panel()->contentView()->subviews())
        parts.push_back(view.get());
    EXPECT_EQ(parts.size(), 3u);
    expectDrawnInsideFrames(*tip->panel(), parts);
    // The check mark is green: a 14-point disc in its 20-point square (top-left pixels 384…404, 12…32).
    int green = 0;
    for (int y = 12; y < 32; ++y)
        for (int x = 384; x < 404; ++x) {
            const Rgb c = rgbOf(picture->pixel(x, y));
            green += c.g > c.r + 60 && c.g > c.b + 60 ? 1 : 0;
        }
    EXPECT_GT(green, 100);
}

// Showing it again takes the first panel down at once; the first timer does not cut the second short.
TEST_F(ReadyTipTest, ShowingItAgainReplacesTheFirstPanel)
{
    tip->show();
    const uint32_t first = tip->panel()->windowNumber();
    advance(5);
    tip->show();
    RunLoop::runPending();
    const auto windows = programWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_NE(windows[0].kCGWindowNumber, first);
    advance(3.5);
    ASSERT_NE(tip->panel(), nullptr);
    EXPECT_DOUBLE_EQ(tip->panel()->alphaValue(), 1);
    advance(5);
    EXPECT_EQ(tip->panel(), nullptr);
    EXPECT_TRUE(programWindows().empty());
}

// Released before it faded out, the tip takes its panel along.
TEST_F(ReadyTipTest, ReleasedEarlyItLeavesTheScreen)
{
    tip->show();
    advance(1);
    tip.reset();
    advance(10);
    EXPECT_TRUE(programWindows().empty());
}

class ReadyTipUnderATallMenuBar : public ReadyTipTest {
protected:
    std::vector<ScreenInfo> screens() const override { return { ScreenInfo { Rect(0, 0, 1280, 800), Rect(0, 0, 1280, 740), 2 } }; }
};

TEST_F(ReadyTipUnderATallMenuBar, KeepsToTheFullFrameWhateverTheMenuBar)
{
    tip->show();
    RunLoop::runPending();
    const auto windows = programWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].kCGWindowBounds, Rect(1280 - 16 - 420, 36, 420, 84));
}

} // namespace
} // namespace lorvantine
