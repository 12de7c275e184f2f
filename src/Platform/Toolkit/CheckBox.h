#pragma once

#include "Platform/Toolkit/Font.h"
#include "Platform/Toolkit/View.h"

#include <functional>
#include <string>

namespace lorvantine {

// A check box with its title to the right of the box. A click (mouse down and up inside it) or
// "AXPress" turns it on or off, then calls `onAction` while it is enabled; `setOn` in code calls
// nothing. Accessibility: a check box titled with its title, valued 1 when on and 0 when off.
// Main thread only.
class CheckBox : public View {
public:
    explicit CheckBox(const Rect& frame = {}, std::string title = {});

    std::function<void()> onAction;

    const std::string& title() const { return m_title; }
    void setTitle(std::string title);
    bool isOn() const { return m_on; }
    void setOn(bool on);
    const Font& font() const { return m_font; }
    void setFont(Font font);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);

    // Toggles as a click does, then calls `onAction`.
    void performClick();

    // The box's rectangle in the bounds: 14 points square at the left, centred vertically.
    Rect boxRect() const;
    static constexpr double boxSize = 14;

    void draw(Painter& painter, const Rect& dirtyRect) override;
    void mouseDown(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;

    std::string accessibilityRole() const override { return "AXCheckBox"; }
    std::string accessibilityTitle() const override { return m_title; }
    std::optional<AXValue> accessibilityTypedValue() const override { return AXValue(int64_t { m_on ? 1 : 0 }); }
    bool isAccessibilityEnabled() const override { return m_enabled; }
    bool accessibilityPerformPress() override;

private:
    std::string m_title;
    bool m_on = false;
    Font m_font = Font::system(13);
    bool m_enabled = true;
    bool m_tracking = false;
};

} // namespace lorvantine
