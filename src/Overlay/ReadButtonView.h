#pragma once

#include "Platform/Toolkit/View.h"

#include <memory>

namespace lorvantine {

// The round orange face of the read button. It takes the first click (the user clicks it while
// another application is active) and dims a little while the pointer is over it. Main thread.
class ReadButtonView final : public View {
public:
    static constexpr double hoverAlpha = 0.85;
    static constexpr double hoverFadeSeconds = 0.15;

    explicit ReadButtonView(const Rect& frame);

    bool acceptsFirstMouse(const MouseEvent&) const override { return true; }
    void updateTrackingAreas() override;
    void mouseEntered(const MouseEvent& event) override;
    void mouseExited(const MouseEvent& event) override;

private:
    std::shared_ptr<TrackingArea> m_hoverArea;
};

} // namespace lorvantine
