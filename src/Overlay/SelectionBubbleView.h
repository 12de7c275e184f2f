#pragma once

#include "Overlay/SelectionBubble.h"
#include "Platform/Toolkit/View.h"

#include <functional>
#include <memory>

namespace lorvantine {

class ImageView;

// The round-cornered button of the selection bubble: a speaker in play mode, a spinning arc in
// loading mode, a retry arrow in error mode; lighter in the accent colour while the pointer is
// over it in play mode, darker while pressed. A click (down and up inside) calls `onClick`,
// except in loading mode. Main thread only.
class SelectionBubbleView : public View {
public:
    using Mode = SelectionBubble::Mode;

    explicit SelectionBubbleView(const Rect& frame = {});

    std::function<void()> onClick;

    void setMode(Mode mode);
    Mode mode() const { return m_mode; }
    bool isHovering() const { return m_isHovering; }

    static constexpr Color darkColor() { return Color::rgb255(26, 26, 26); }
    static constexpr Color hoverColor() { return Color::rgb255(242, 101, 34); }
    static constexpr Color errorColor() { return Color::rgb255(214, 69, 69); }

    // The first click on the non-activating panel acts at once.
    bool acceptsFirstMouse(const MouseEvent&) const override { return true; }
    void updateTrackingAreas() override;
    void mouseEntered(const MouseEvent& event) override;
    void mouseExited(const MouseEvent& event) override;
    void mouseDown(const MouseEvent& event) override;
    void mouseUp(const MouseEvent& event) override;

    static constexpr const char* spinnerAnimationKey = "rotate";
    // For tests and diagnostics: what the button shows now.
    const View* spinner() const { return m_spinnerLayer.get(); }
    const ImageView* playIcon() const { return m_playIcon.get(); }
    const ImageView* errorIcon() const { return m_errorIcon.get(); }

private:
    std::shared_ptr<ImageView> makeIcon(const std::string& name, const Color& tint);
    void addSpinner();
    Color restingColor() const;
    void setBackgroundAnimated(const Color& color);

    bool m_isHovering = false;
    Mode m_mode = Mode::play;
    std::shared_ptr<ImageView> m_playIcon;
    std::shared_ptr<ImageView> m_errorIcon;
    std::shared_ptr<View> m_spinnerLayer;
};

} // namespace lorvantine
