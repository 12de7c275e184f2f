#pragma once

#include "Platform/Geometry.h"

#include <memory>

namespace lorvantine {

class Panel;
class Timer;

// The ready tip: once onboarding is finished, a small dark panel at the top right of the main
// screen (a title, a hint and a green check mark) fades in, stays 8 seconds and fades out by
// itself. It takes no focus and has no controls. Showing it again takes the tip on screen down
// at once and starts afresh.
//
// Main thread only. The dismiss timer and the fade-out's completion hold the tip weakly, so own
// it through a std::shared_ptr; a tip released early leaves the screen with its panel.
class OnboardingTipPanel : public std::enable_shared_from_this<OnboardingTipPanel> {
public:
    static constexpr Size panelSize { 420, 84 };
    static constexpr double visibleSeconds = 8.0;
    static constexpr double fadeSeconds = 0.3;

    OnboardingTipPanel();
    ~OnboardingTipPanel();
    OnboardingTipPanel(const OnboardingTipPanel&) = delete;
    OnboardingTipPanel& operator=(const OnboardingTipPanel&) = delete;

    // Builds the panel on the main screen (16 points from its right edge, 36 below its top, of
    // the full frame), fades it in and arms the 8-second timer. Without any screen it shows nothing.
    void show();

    // The panel on screen, from `show` until it has faded out; null otherwise.
    Panel* panel() const { return m_panel.get(); }

private:
    void dismiss();
    void tearDown();

    std::shared_ptr<Panel> m_panel;
    std::shared_ptr<Timer> m_dismissTimer;
};

} // namespace lorvantine
