#pragma once

#include "Platform/Toolkit/View.h"

#include <functional>

namespace lorvantine {

// A horizontal slider: a track with a round knob at the value's place between the minimum (left)
// and the maximum (right). Pressing on it or dragging the knob moves the value to the pointer and
// calls `onAction` at every change, as the platform's continuous slider does; so do setting
// "AXValue" and "AXIncrement"/"AXDecrement" (a twentieth of the range) through accessibility.
// Setting the value in code calls nothing. Values are kept inside the range. Accessibility: a
// slider whose value is the number. Main thread only.
class Slider : public View {
public:
    explicit Slider(const Rect& frame = {}, double minValue = 0, double maxValue = 1, double value = 0);

    std::function<void()> onAction;

    double minValue() const { return m_min; }
    double maxValue() const { return m_max; }
    // Keeps the value inside the new range.
    void setRange(double minValue, double maxValue);
    double doubleValue() const { return m_value; }
    float floatValue() const { return static_cast<float>(m_value); }
    void setDoubleValue(double value);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    // The knob's rectangle in the slider's bounds.
    Rect knobRect() const;
    static constexpr double knobDiameter = 16;
    static constexpr double trackHeight = 4;

    void draw(Painter& painter, const Rect& dirtyRect) override;
    void mouseDown(const MouseEvent& event) override;
    void mouseDragged(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;

    std::string accessibilityRole() const override { return "AXSlider"; }
    std::optional<AXValue> accessibilityTypedValue() const override { return AXValue(m_value); }
    bool isAccessibilityEnabled() const override { return m_enabled; }
    std::vector<std::string> accessibilityActionNames() const override { return { "AXIncrement", "AXDecrement" }; }
    bool accessibilityPerformAction(const std::string& action) override;
    bool isAccessibilityValueSettable() const override { return m_enabled; }
    bool accessibilitySetValue(const AXValue& value) override;

private:
    // Moves the value as the user does: calls `onAction` when it changed.
    void userSet(double value);
    double valueAt(const MouseEvent& event) const;

    double m_min;
    double m_max;
    double m_value;
    bool m_enabled = true;
    bool m_tracking = false;
};

} // namespace lorvantine
