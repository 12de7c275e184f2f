#include "ToolkitTest.h"

#include "Platform/Toolkit/Box.h"
#include "Platform/Toolkit/CheckBox.h"
#include "Platform/Toolkit/Slider.h"
#include "Platform/Toolkit/TextField.h"
#include "Platform/Toolkit/Window.h"

namespace lorvantine {
namespace {

// A key, titled 400 × 200 window whose content's bottom-left corner is at top-left (100, 700)
// on the 900-point screen; the controls go in its content view.
class ToolkitControls : public ToolkitTest {
protected:
    void SetUp() override
    {
        ToolkitTest::SetUp();
        window = std::make_shared<Window>(Rect(100, 200, 400, 200), WindowStyle::titled | WindowStyle::closable);
        window->makeKeyAndOrderFront();
    }
    void TearDown() override
    {
        window.reset();
        ToolkitTest::TearDown();
    }

    template<typename T> std::shared_ptr<T> add(std::shared_ptr<T> view)
    {
        window->contentView()->addSubview(view);
        RunLoop::runPending();
        return view;
    }
    // A point of a view's bounds, as top-left screen points.
    Point onScreen(const View& view, Point inView)
    {
        const Point p = window->convertPointToScreen(view.convertToView(inView, nullptr));
        return { p.x, screenHeight - p.y };
    }
    AXElement elementOf(const View& view) { return host->element(view); }
    void set(const AXElement& element, const AXValue& value)
    {
        ASSERT_EQ(ax().setAttributeValue(element, "AXValue", value), AXError::success);
        RunLoop::runPending();
    }
    void perform(const AXElement& element, const std::string& action)
    {
        ASSERT_EQ(ax().performAction(element, action), AXError::success);
        RunLoop::runPending();
    }

    static constexpr double screenHeight = 900;
    std::shared_ptr<Window> window;
};

TEST_F(ToolkitControls, ASliderFollowsThePointerAndAccessibilityWithinItsRange)
{
    auto slider = add(std::make_shared<Slider>(Rect(20, 20, 216, 20), 0.0, 0.3, 0.08));
    int actions = 0;
    slider->onAction = [&] { ++actions; };
    const AXElement element = elementOf(*slider);
    EXPECT_EQ(attribute<std::string>(element, "AXRole"), "AXSlider");
    EXPECT_EQ(attribute<double>(element, "AXValue"), 0.08);
    bool settable = false;
    EXPECT_EQ(ax().isAttributeSettable(element, "AXValue", settable), AXError::success);
    EXPECT_TRUE(settable);

    // The knob's travel is the width less the knob: 200 points for the range 0 … 0.3.
    struct Case {
        double x;
        double value;
    };
    for (const Case& c : { Case { 8 + 100, 0.15 }, Case { 8 + 200, 0.3 }, Case { 400, 0.3 }, Case { 0, 0.0 } }) {
        const int before = actions;
        click(onScreen(*slider, { c.x, 10 }));
        EXPECT_NEAR(slider->doubleValue(), c.value, 1e-9) << c.x;
        EXPECT_NEAR(*attribute<double>(element, "AXValue"), c.value, 1e-9) << c.x;
        EXPECT_GE(actions, before + (c.value == 0.0 && before > 0 ? 1 : 0));
    }

    // Through accessibility: a number is kept inside the range; text is refused.
    for (const auto& [value, shown] : std::vector<std::pair<AXValue, double>> {
             { 0.2, 0.2 }, { 5.0, 0.3 }, { int64_t { -1 }, 0.0 }, { std::string("0.1"), 0.0 } }) {
        set(element, value);
        EXPECT_NEAR(slider->doubleValue(), shown, 1e-9);
        EXPECT_NEAR(*attribute<double>(element, "AXValue"), shown, 1e-9);
    }
    perform(element, "AXIncrement");
    EXPECT_NEAR(slider->doubleValue(), 0.015, 1e-9);
    actions = 0;
    slider->setDoubleValue(0.25);
    EXPECT_EQ(actions, 0);
}

TEST_F(ToolkitControls, ACheckBoxTogglesOnAClickAndOnAPressAndShowsItsStateAsANumber)
{
    auto box = add(std::make_shared<CheckBox>(Rect(20, 100, 200, 20), "Launch at login"));
    std::vector<bool> seen;
    box->onAction = [&] { seen.push_back(box->isOn()); };
    const AXElement element = elementOf(*box);
    EXPECT_EQ(attribute<std::string>(element, "AXTitle"), "Launch at login");
    EXPECT_EQ(attribute<int64_t>(element, "AXValue"), 0);

    click(onScreen(*box, { 8, 10 }));
    EXPECT_EQ(attribute<int64_t>(element, "AXValue"), 1);
    press(element);
    EXPECT_EQ(attribute<int64_t>(element, "AXValue"), 0);
    EXPECT_EQ(seen, (std::vector<bool> { true, false }));

    box->setOn(true);
    box->setEnabled(false);
    RunLoop::runPending();
    EXPECT_EQ(attribute<int64_t>(element, "AXValue"), 1);
    EXPECT_EQ(attribute<bool>(element, "AXEnabled"), false);
    click(onScreen(*box, { 8, 10 }));
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(ToolkitControls, ATextFieldIsTypedIntoAndConfirmedThroughAccessibility)
{
    auto field = add(std::make_shared<TextField>(Rect(20, 60, 300, 24), "http://127.0.0.1:8880"));
    field->setPlaceholder("http://127.0.0.1:8880");
    std::vector<std::string> confirmed;
    field->onAction = [&] { confirmed.push_back(field->stringValue()); };
    const AXElement element = elementOf(*field);
    EXPECT_EQ(attribute<std::string>(element, "AXRole"), "AXTextField");
    std::vector<std::string> actions;
    ASSERT_EQ(ax().copyActionNames(element, actions), AXError::success);
    EXPECT_EQ(actions, (std::vector<std::string> { "AXConfirm" }));

    set(element, std::string("https://speech.example"));
    EXPECT_EQ(field->stringValue(), "https://speech.example");
    EXPECT_TRUE(confirmed.empty());
    perform(element, "AXConfirm");
    EXPECT_EQ(confirmed, (std::vector<std::string> { "https://speech.example" }));

    // A number is not text: the field keeps its own, and accessibility shows it again.
    set(element, 42.0);
    EXPECT_EQ(field->stringValue(), "https://speech.example");
    EXPECT_EQ(attribute<std::string>(element, "AXValue"), "https://speech.example");

    field->setEditable(false);
    RunLoop::runPending();
    bool settable = true;
    EXPECT_EQ(ax().isAttributeSettable(element, "AXValue", settable), AXError::success);
    EXPECT_FALSE(settable);
}

TEST_F(ToolkitControls, EachControlIsDrawnInsideItsFrame)
{
    auto separator = add(std::make_shared<Box>(Rect(20, 160, 360, 1)));
    auto box = add(std::make_shared<CheckBox>(Rect(20, 120, 200, 20)));
    box->setOn(true);
    auto slider = add(std::make_shared<Slider>(Rect(20, 80, 216, 20), 0, 1, 1));
    RunLoop::runPending();
    auto picture = render();
    ASSERT_TRUE(picture);
    const Rgb background = colourAt(*picture, onScreen(*separator, { 10, 6 }));
    // The separator line darkens the window's background a little, only on its row.
    const Rgb line = colourAt(*picture, onScreen(*separator, { 100, 0.5 }));
    EXPECT_LT(line.r, background.r - 10) << line;
    EXPECT_EQ(colourAt(*picture, onScreen(*separator, { 100, 3 })), background);
    // The check box's blue box at its left, nothing right of its title.
    const Rgb tick = colourAt(*picture, onScreen(*box, { 3, 14 }));
    EXPECT_GT(tick.b, 200) << tick;
    EXPECT_LT(tick.r, 60) << tick;
    EXPECT_EQ(colourAt(*picture, onScreen(*box, { 190, 10 })), background);
    // A full slider: its blue track reaches the knob at the right end.
    const Rgb track = colourAt(*picture, onScreen(*slider, { 100, 10 }));
    EXPECT_GT(track.b, 200) << track;
    const Rect knob = slider->knobRect();
    EXPECT_NEAR(knob.maxX(), 216, 1e-9);
    EXPECT_EQ(colourAt(*picture, onScreen(*slider, { knob.midX(), knob.midY() })), white);
}

} // namespace
} // namespace lorvantine
