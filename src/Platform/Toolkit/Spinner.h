#pragma once

#include "Platform/Toolkit/View.h"

#include <optional>

namespace lorvantine {

// The indeterminate spinning progress indicator: twelve spokes turning once a second on the
// installed clock while animating. Drawn light on a dark appearance, grey otherwise.
// Accessibility: a busy indicator. Main thread only.
class Spinner : public View {
public:
    enum class ControlSize { regular, small, mini };

    explicit Spinner(const Rect& frame = {});

    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return m_animating; }
    // Default true, as the platform's.
    bool isDisplayedWhenStopped() const { return m_displayedWhenStopped; }
    void setDisplayedWhenStopped(bool displayed);
    ControlSize controlSize() const { return m_controlSize; }
    void setControlSize(ControlSize size);
    // None: from the appearance.
    Color color() const;
    void setColor(std::optional<Color> color);

    void draw(Painter& painter, const Rect& dirtyRect) override;
    std::string accessibilityRole() const override { return "AXBusyIndicator"; }

    static constexpr const char* animationKey = "spin";

private:
    bool m_animating = false;
    bool m_displayedWhenStopped = true;
    ControlSize m_controlSize = ControlSize::regular;
    std::optional<Color> m_color;
};

} // namespace lorvantine
