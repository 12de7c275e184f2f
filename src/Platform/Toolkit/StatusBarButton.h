#pragma once

#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/DrawnImage.h"

#include <optional>

namespace lorvantine {

// The button of a status item in the menu bar: an image (drawn by a handler, a template tinted
// like the menu bar's text) without a bezel, shaded while pressed. It takes the first click,
// since the program is never the active application when the user reaches for the menu bar.
// Accessibility: a button described by its image's description. Main thread only.
class StatusBarButton final : public Button {
public:
    explicit StatusBarButton(const Rect& frame = {});

    const std::optional<DrawnImage>& drawnImage() const { return m_drawnImage; }
    void setDrawnImage(std::optional<DrawnImage> image);

    void draw(Painter& painter, const Rect& dirtyRect) override;
    bool acceptsFirstMouse(const MouseEvent&) const override { return true; }
    std::string accessibilityDescription() const override;

private:
    std::optional<DrawnImage> m_drawnImage;
};

} // namespace lorvantine
