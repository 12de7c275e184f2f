#include "ToolkitTest.h"

#include "Platform/Toolkit/AnimationContext.h"
#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/View.h"
#include "Platform/Toolkit/WindowHost.h"

namespace lorvantine {
namespace {

// A view that counts how often it is drawn.
class CountingView final : public View {
public:
    using View::View;
    void draw(Painter&, const Rect&) override { ++draws; }
    int draws = 0;
};

// Counts the layouts made for each text, and makes them as the installed measurer does.
class CountingMeasurer final : public TextMeasurer {
public:
    explicit CountingMeasurer(std::shared_ptr<const TextMeasurer> real) : m_real(std::move(real)) { }
    Size size(const std::string& text, const Font& font, std::optional<double> maxWidth) const override
    {
        return m_real->size(text, font, maxWidth);
    }
    double lineHeight(const Font& font) const override { return m_real->lineHeight(font); }
    std::shared_ptr<const TextLayout> makeLayout(const TextLayout::Parameters& parameters) const override
    {
        ++made[parameters.text];
        return m_real->makeLayout(parameters);
    }
    mutable std::map<std::string, int> made;

private:
    std::shared_ptr<const TextMeasurer> m_real;
};

class Redraws : public ToolkitTest {
protected:
    void SetUp() override
    {
        ToolkitTest::SetUp();
        panel = std::make_shared<Panel>(Rect(0, 600, 300, 200), WindowStyle::nonactivatingPanel);
        panel->setLevel(WindowLevel::floating);
        panel->setBackgroundColor(Color::white());
        panel->orderFront();
    }
    void TearDown() override
    {
        panel.reset();
        ToolkitTest::TearDown();
    }
    template<typename V>
    std::shared_ptr<V> add(const Rect& frame)
    {
        auto view = std::make_shared<V>(frame);
        panel->contentView()->addSubview(view);
        return view;
    }

    std::shared_ptr<Panel> panel;
};

// A host that shows every frame as it comes, as a screen on display does (the shared desktop's):
// it forwards everything to the simulated desktop's host.
class EveryFrameHost final : public WindowHost {
public:
    explicit EveryFrameHost(std::shared_ptr<SimWindowHost> inner) : m_inner(std::move(inner)) { }
    uint32_t orderFront(Window& window) override { return m_inner->orderFront(window); }
    void orderOut(Window& window) override { m_inner->orderOut(window); }
    void windowDidChange(Window& window) override { m_inner->windowDidChange(window); }
    void contentDidChange(Window& window) override { m_inner->contentDidChange(window); }
    void displayDidChange(Window& window, const std::vector<Rect>& areas) override { m_inner->displayDidChange(window, areas); }

private:
    std::shared_ptr<SimWindowHost> m_inner;
};

// Frames of a fade redraw the fading view; a view elsewhere, and one whose animation has long
// come to rest, are left as drawn.
TEST_F(Redraws, ATickRedrawsOnlyTheViewsWhoseAnimatedValuesChanged)
{
    ScopedWindowHost everyFrame(std::make_shared<EveryFrameHost>(host));
    auto fading = add<CountingView>(Rect(10, 10, 40, 40));
    auto still = add<CountingView>(Rect(200, 120, 40, 40));
    auto rested = add<CountingView>(Rect(200, 10, 40, 40));
    Animation kept;
    kept.to = 0.5;
    kept.duration = seconds(0.1);
    kept.removedOnCompletion = false;
    rested->addAnimation("kept", kept);
    fading->setBackgroundColor(Color::rgb(1, 0, 0));
    advance(0.2);
    fading->draws = still->draws = rested->draws = 0;

    AnimationContext::run(seconds(0.5), [&] { fading->setAlphaValue(0.2); });
    advance(0.25);
    EXPECT_GE(fading->draws, 10) << "drawn on each frame of the fade";
    EXPECT_EQ(still->draws, 0);
    EXPECT_EQ(rested->draws, 0) << "its animation ended at 0.5 and shows the same on every frame";

    advance(0.5);
    const int atRest = fading->draws;
    advance(1);
    EXPECT_EQ(fading->draws, atRest) << "nothing is drawn once the fade is over";
    const Rgb shown = screenColour({ 30, 270 });
    EXPECT_TRUE(near(shown, over(white, { 255, 0, 0 }, 0.2), 3)) << shown;
}

// On the simulated desktop nobody sees the screen but through its pictures: a fade is drawn for
// each picture taken while it runs, showing it as it stands then, and not at all between them.
TEST_F(Redraws, AFadeIsDrawnForEachPictureTakenOfItAndNotBetween)
{
    auto fading = add<CountingView>(Rect(10, 10, 40, 40));
    auto still = add<CountingView>(Rect(200, 120, 40, 40));
    fading->setBackgroundColor(Color::rgb(1, 0, 0));
    advance(0.2);
    fading->draws = still->draws = 0;

    AnimationContext::run(seconds(0.5), [&] { fading->setAlphaValue(0.2); }, {}, TimingFunction::linear);
    for (int frame = 0; frame < 15; ++frame)
        advance(1.0 / 60);
    EXPECT_EQ(fading->draws, 0) << "fifteen frames of the fade with nobody looking";

    double elapsed = 15.0 / 60;
    for (const double at : { 0.25, 0.4 }) {
        advance(at - elapsed);
        elapsed = at;
        const int before = fading->draws;
        const double alpha = 1 - 0.8 * at / 0.5;
        const Rgb shown = screenColour({ 30, 270 });
        EXPECT_EQ(fading->draws, before + 1) << at;
        EXPECT_TRUE(near(shown, over(white, { 255, 0, 0 }, alpha), 3)) << at << ": " << shown << " for alpha " << alpha;
        ASSERT_TRUE(host->renderWindow(*panel));
        EXPECT_EQ(fading->draws, before + 1) << "a second picture at the same moment draws nothing again";
    }
    EXPECT_EQ(still->draws, 0);

    advance(1);
    const Rgb shown = screenColour({ 30, 270 });
    EXPECT_TRUE(near(shown, over(white, { 255, 0, 0 }, 0.2), 3)) << shown;
}

// A label lays its text out once and draws that layout again while its text and width hold: a
// new colour, a move or a redraw around it keep it; a new text or a new width make another.
TEST_F(Redraws, ALabelKeepsItsLayoutWhileItsTextAndWidthHold)
{
    auto measurer = std::make_shared<CountingMeasurer>(std::make_shared<PangoTextMeasurer>());
    auto previous = TextMeasurer::install(measurer);
    auto label = add<Label>(Rect(10, 10, 200, 20));
    label->setText("Slow reading");
    ASSERT_EQ(measurer->made["Slow reading"], 1);

    label->setTextColor(Color::rgb(0, 0, 1));
    label->setFrameOrigin({ 12, 14 });
    add<CountingView>(Rect(0, 0, 300, 200))->setNeedsDisplay();
    EXPECT_EQ(measurer->made["Slow reading"], 1) << "colour, place and redraws keep the layout";

    label->setText("in a fast world");
    EXPECT_EQ(measurer->made["in a fast world"], 1);
    label->setFrameSize({ 120, 20 });
    EXPECT_EQ(measurer->made["in a fast world"], 2) << "a new width lays the text out again";
    label->setFrameSize({ 120, 30 });
    EXPECT_EQ(measurer->made["in a fast world"], 2) << "a new height does not";
    TextMeasurer::install(previous);
}

// A window off screen holds its views' animations where they are, redraws nothing and ends none;
// shown again, they run on from there.
TEST_F(Redraws, AnimationsOfAWindowOffScreenStandStillAndResumeWhenItShows)
{
    auto view = add<CountingView>(Rect(10, 10, 40, 40));
    view->setAlphaValue(0);
    int completions = 0;
    AnimationContext::run(seconds(1), [&] { view->setAlphaValue(1); }, [&] { ++completions; }, TimingFunction::linear);
    advance(0.25);
    ASSERT_NEAR(view->presentationAlpha(), 0.25, 0.01);

    panel->orderOut();
    view->draws = 0;
    advance(5);
    EXPECT_NEAR(view->presentationAlpha(), 0.25, 0.01);
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(view->draws, 0);

    panel->orderFront();
    advance(0.5);
    EXPECT_NEAR(view->presentationAlpha(), 0.75, 0.01);
    EXPECT_EQ(completions, 0);
    advance(0.26);
    EXPECT_DOUBLE_EQ(view->presentationAlpha(), 1);
    EXPECT_EQ(completions, 1);
}

} // namespace
} // namespace lorvantine
