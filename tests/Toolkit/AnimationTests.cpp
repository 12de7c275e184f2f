#include "ToolkitTest.h"

#include "Platform/Toolkit/AnimationContext.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/View.h"

#include <numbers>

namespace lorvantine {
namespace {

constexpr double pi = std::numbers::pi;

class Animations : public ToolkitTest {
protected:
    void SetUp() override
    {
        ToolkitTest::SetUp();
        panel = std::make_shared<Panel>(Rect(0, 800, 100, 100), WindowStyle::nonactivatingPanel);
        panel->setLevel(WindowLevel::floating);
        view = std::make_shared<View>(Rect(0, 0, 100, 100));
        panel->contentView()->addSubview(view);
        panel->orderFront();
    }
    void TearDown() override
    {
        view.reset();
        panel.reset();
        ToolkitTest::TearDown();
    }

    std::shared_ptr<Panel> panel;
    std::shared_ptr<View> view;
};

TEST_F(Animations, AFadeInFollowsTheClockAndCompletesOnce)
{
    view->setBackgroundColor(Color::rgb(1, 0, 0));
    view->setAlphaValue(0);
    int completions = 0;
    AnimationContext::run(seconds(0.15), [&] { view->setAlphaValue(1); }, [&] { ++completions; });

    EXPECT_DOUBLE_EQ(view->alphaValue(), 1);
    EXPECT_NEAR(view->presentationAlpha(), 0, 1e-9);
    advance(0.075);
    EXPECT_NEAR(view->presentationAlpha(), 0.5, 0.01);
    // The screen shows the animation as it runs (as of the last frame): red partly over the
    // panel's grey.
    const Rgb part = screenColour({ 50, 50 });
    EXPECT_GE(part.r, 240) << part;
    EXPECT_GT(part.g, 60) << part;
    EXPECT_LT(part.g, 200) << part;
    EXPECT_EQ(completions, 0);
    advance(0.1);
    EXPECT_DOUBLE_EQ(view->presentationAlpha(), 1);
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(view->animationKeys().empty());
    EXPECT_EQ(screenColour({ 50, 50 }), (Rgb { 255, 0, 0 }));
    advance(1);
    EXPECT_EQ(completions, 1);
}

TEST_F(Animations, AColourChangeInAGroupBlendsAndAZeroDurationChangeShowsAtOnce)
{
    view->setBackgroundColor(Color::rgb(0, 0, 0));
    AnimationContext::run(seconds(0.12), [&] { view->setBackgroundColor(Color::rgb(1, 1, 1)); }, {}, TimingFunction::linear);
    advance(0.03);
    EXPECT_NEAR(view->presentationBackgroundColor()->red, 0.25, 0.01);

    // A change without duration stops the blend and shows the new colour.
    AnimationContext::run(Duration {}, [&] { view->setBackgroundColor(Color::rgb(1, 0, 0)); });
    EXPECT_EQ(view->presentationBackgroundColor(), Color::rgb(1, 0, 0));
    EXPECT_TRUE(view->animationKeys().empty());

    // A new blend starts from what is shown, not from the old target.
    AnimationContext::run(seconds(0.1), [&] { view->setBackgroundColor(Color::rgb(0, 0, 1)); }, {}, TimingFunction::linear);
    advance(0.05);
    AnimationContext::run(seconds(0.1), [&] { view->setBackgroundColor(Color::rgb(0, 1, 0)); }, {}, TimingFunction::linear);
    const Color shown = *view->presentationBackgroundColor();
    EXPECT_NEAR(shown.red, 0.5, 0.01);
    EXPECT_NEAR(shown.blue, 0.5, 0.01);
    advance(0.1);
    EXPECT_EQ(view->presentationBackgroundColor(), Color::rgb(0, 1, 0));
}

TEST_F(Animations, ARotationRepeatsUntilRemovedAndReportsHowItEnded)
{
    std::vector<bool> ends;
    Animation rotate;
    rotate.property = AnimatedProperty::rotation;
    rotate.from = 0.0;
    rotate.to = -2 * pi;
    rotate.duration = seconds(0.9);
    rotate.repeatCount = Animation::repeatForever;
    rotate.onCompletion = [&](bool finished) { ends.push_back(finished); };
    view->addAnimation("rotate", rotate);

    advance(0.45);
    EXPECT_NEAR(view->presentationRotation(), -pi, 1e-6);
    advance(0.9 * 10);
    EXPECT_NEAR(view->presentationRotation(), -pi, 1e-6);
    EXPECT_TRUE(ends.empty());
    EXPECT_DOUBLE_EQ(view->rotation(), 0);

    // Replacing under the same key ends the first unfinished.
    view->addAnimation("rotate", rotate);
    EXPECT_EQ(ends, std::vector<bool> { false });
    view->removeAllAnimations();
    EXPECT_EQ(ends, (std::vector<bool> { false, false }));
    EXPECT_DOUBLE_EQ(view->presentationRotation(), 0);
}

TEST_F(Animations, AFiniteAnimationEndsFinishedAndEitherLeavesOrKeepsItsEndValue)
{
    std::vector<bool> ends;
    Animation fade;
    fade.property = AnimatedProperty::alpha;
    fade.from = 0.0;
    fade.to = 0.5;
    fade.duration = seconds(0.2);
    fade.repeatCount = 2;
    fade.onCompletion = [&](bool finished) { ends.push_back(finished); };
    view->addAnimation("fade", fade);
    advance(0.3);
    EXPECT_NEAR(view->presentationAlpha(), 0.25, 1e-6);
    advance(0.2);
    EXPECT_EQ(ends, std::vector<bool> { true });
    EXPECT_DOUBLE_EQ(view->presentationAlpha(), 1);

    fade.repeatCount = 1;
    fade.removedOnCompletion = false;
    view->addAnimation("hold", fade);
    advance(0.5);
    EXPECT_EQ(ends, (std::vector<bool> { true, true }));
    EXPECT_DOUBLE_EQ(view->presentationAlpha(), 0.5);
    EXPECT_EQ(view->animationKeys(), std::vector<std::string> { "hold" });
}

TEST_F(Animations, AGroupWithoutAnimationsStillCompletesAndAReleasedViewDoesNotHoldItUp)
{
    int completions = 0;
    AnimationContext::run(seconds(0.2), [&] { view->setAlphaValue(1); }, [&] { ++completions; });
    EXPECT_EQ(completions, 0); // on the main queue, not inside `run`
    RunLoop::runPending();
    EXPECT_EQ(completions, 1);

    auto doomed = std::make_shared<View>(Rect(0, 0, 10, 10));
    panel->contentView()->addSubview(doomed);
    doomed->setAlphaValue(0);
    AnimationContext::run(seconds(0.2), [&] { doomed->setAlphaValue(1); }, [&] { ++completions; });
    doomed->removeFromSuperview();
    doomed.reset();
    RunLoop::runPending();
    EXPECT_EQ(completions, 2);
}

} // namespace
} // namespace lorvantine

namespace lorvantine {
namespace {

TEST_F(Animations, AWindowFadesItsAlphaOnTheClockAndAPlainSetStopsTheFade)
{
    int completions = 0;
    AnimationContext::run(seconds(0.2), [&] { panel->setAlphaValue(0); }, [&] { ++completions; }, TimingFunction::linear);
    EXPECT_DOUBLE_EQ(panel->alphaValue(), 1);
    advance(0.1);
    EXPECT_NEAR(panel->alphaValue(), 0.5, 0.05);
    // The window list shows what is on screen as it fades.
    EXPECT_NEAR(*programWindows().at(0).kCGWindowAlpha, panel->alphaValue(), 1e-9);
    advance(0.15);
    EXPECT_DOUBLE_EQ(panel->alphaValue(), 0);
    EXPECT_EQ(completions, 1);

    AnimationContext::run(seconds(0.2), [&] { panel->setAlphaValue(1); }, [&] { ++completions; });
    advance(0.05);
    panel->setAlphaValue(0.3);
    RunLoop::runPending();
    EXPECT_DOUBLE_EQ(panel->alphaValue(), 0.3);
    EXPECT_EQ(completions, 2);
    advance(0.3);
    EXPECT_DOUBLE_EQ(panel->alphaValue(), 0.3);
}

using MoreAnimations = Animations;

// A pulse: the scale goes out to 1.18 and back over twice its duration, then is gone; what is
// drawn grows about the view's centre.
TEST_F(MoreAnimations, AnAutoreversingScaleGoesThereAndBackAndGrowsTheDrawing)
{
    view->setFrame(Rect(40, 40, 20, 20));
    view->setBackgroundColor(Color::rgb(1, 0, 0));
    int finished = 0;
    Animation pulse;
    pulse.property = AnimatedProperty::scale;
    pulse.from = 1.0;
    pulse.to = 1.18;
    pulse.duration = seconds(0.35);
    pulse.autoreverses = true;
    pulse.onCompletion = [&](bool done) { finished += done ? 1 : 0; };
    view->addAnimation("pulse", pulse);
    EXPECT_EQ(view->animationKeys(), (std::vector<std::string> { "pulse" }));

    struct Case {
        double at;
        double scale;
    };
    double now = 0;
    for (const Case& c : { Case { 0.175, 1.09 }, Case { 0.35, 1.18 }, Case { 0.525, 1.09 }, Case { 0.69, 1.0 } }) {
        advance(c.at - now);
        now = c.at;
        EXPECT_NEAR(view->presentationScale(), c.scale, 0.01) << c.at;
    }
    advance(0.35 - 0.34 + 0.01);
    EXPECT_TRUE(view->animationKeys().empty());
    EXPECT_EQ(finished, 1);
    EXPECT_DOUBLE_EQ(view->presentationScale(), 1);

    // Drawn at twice the size, the square reaches 10 points further out on each side.
    view->setScale(2);
    RunLoop::runPending();
    const Rgb outside = screenColour({ 40 - 5, 100 - 50 });
    EXPECT_EQ(outside, (Rgb { 255, 0, 0 }));
}

// A frame change inside a group draws the view moving and growing from its old frame, while the
// frame itself answers the new one at once.
TEST_F(MoreAnimations, AFrameChangeInAGroupGrowsWhatIsDrawn)
{
    view->setFrame(Rect(0, 0, 0, 10));
    view->setBackgroundColor(Color::rgb(0, 0, 1));
    bool done = false;
    AnimationContext::run(seconds(1), [&] { view->setFrame(Rect(0, 0, 100, 10)); }, [&] { done = true; },
                          TimingFunction::linear);
    EXPECT_EQ(view->frame(), Rect(0, 0, 100, 10));
    EXPECT_EQ(view->presentationFrame(), Rect(0, 0, 0, 10));
    advance(0.5);
    EXPECT_NEAR(view->presentationFrame().width(), 50, 0.5);
    auto picture = render();
    ASSERT_TRUE(picture);
    EXPECT_EQ(colourAt(*picture, { 30, 95 }), (Rgb { 0, 0, 255 }));
    EXPECT_NE(colourAt(*picture, { 70, 95 }), (Rgb { 0, 0, 255 }));
    advance(0.6);
    EXPECT_TRUE(done);
    EXPECT_EQ(view->presentationFrame(), Rect(0, 0, 100, 10));
}

} // namespace
} // namespace lorvantine

namespace lorvantine {
namespace {

using Masking = Animations;

// A view that masks to its bounds cuts its subviews at its rounded corners; one that does not
// lets them show.
TEST_F(Masking, AMaskingViewCutsItsSubviewsAtItsRoundedCorners)
{
    view->setCornerRadius(20);
    auto inner = std::make_shared<View>(Rect(0, 0, 100, 100));
    inner->setBackgroundColor(Color::rgb(0, 0.5, 0));
    view->addSubview(inner);
    RunLoop::runPending();
    // The panel fills top-left (0, 0) to (100, 100), its top under the menu bar; (3, 97)
    // lies outside its 20-point bottom-left corner.
    EXPECT_EQ(screenColour({ 3, 97 }), (Rgb { 0, 128, 0 }));
    view->setMasksToBounds(true);
    RunLoop::runPending();
    EXPECT_NE(screenColour({ 3, 97 }), (Rgb { 0, 128, 0 }));
    EXPECT_EQ(screenColour({ 50, 50 }), (Rgb { 0, 128, 0 }));
}

} // namespace
} // namespace lorvantine
