#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace lorvantine {

class Button;
class Panel;
class Spinner;
class Timer;
class WindowFollowObserver;

// The small round play button pinned inside the bottom-right corner of the readable front window
// of another application: one click starts reading that window. It follows the window through
// the window's move and resize notifications and, for windows that send none, a 0.2-second poll;
// while the document is captured it shows a spinner and ignores clicks.
//
// Owned through a std::shared_ptr (the observer, the timer and the button hold it weakly). Main
// thread only, except `setLoading`, which may be called from any thread and switches the look on
// the main queue. `hide` cancels everything in flight: the observer, the timer and the panel.
class ReadButton : public std::enable_shared_from_this<ReadButton> {
public:
    static constexpr double panelSide = 60;
    static constexpr double circleSide = 36;
    // The circle sits this far inside the window's right and bottom edges.
    static constexpr double edgeInset = 16;
    static constexpr double fallbackInterval = 0.2;

    ReadButton();
    ~ReadButton();
    ReadButton(const ReadButton&) = delete;
    ReadButton& operator=(const ReadButton&) = delete;

    // Starts afresh on `window` (a window of another application): builds the panel, follows the
    // window and shows the button without activating the program.
    void show(const AXElement& window);
    // The same window: placed again now. Another one: followed from now on; the panel moves at the
    // next notification or poll.
    void updateTracking(const AXElement& window);
    // Takes everything down; the next `show` starts from nothing.
    void hide();
    void setLoading(bool loading);

    std::function<void()> onTap;

    Panel* panel() const { return m_panel.get(); }
    bool isLoading() const { return m_isLoading; }
    const std::optional<AXElement>& trackedWindow() const { return m_trackedWindow; }

private:
    void positionButton(const Rect& windowRect);
    void handleTap();
    void follow(const AXElement& window);
    void repositionFromWindow();

    std::shared_ptr<Panel> m_panel;
    std::optional<AXElement> m_trackedWindow;
    std::unique_ptr<WindowFollowObserver> m_followObserver;
    std::shared_ptr<Timer> m_fallbackTimer;
    std::shared_ptr<Button> m_playButton;
    std::shared_ptr<Spinner> m_spinner;
    std::atomic<bool> m_isLoading { false };
};

} // namespace lorvantine
