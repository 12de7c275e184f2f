#pragma once

#include "Platform/Geometry.h"

#include <functional>
#include <memory>

namespace lorvantine {

class Panel;
class SelectionBubbleView;

// The small read button shown beside the pointer when a fresh selection is offered. It floats
// above every window without taking the focus from the application where the user selected,
// and shows one of three modes: play (offer to read), loading (requested, not yet playing) and
// error (failed; a tap retries). A tap calls `onTap` unless a reading is loading.
//
// One instance for the whole run, owned through a std::shared_ptr (the button's click handler
// holds it weakly). Main thread only.
class SelectionBubble : public std::enable_shared_from_this<SelectionBubble> {
public:
    enum class Mode { play, loading, error };

    SelectionBubble();
    ~SelectionBubble();
    SelectionBubble(const SelectionBubble&) = delete;
    SelectionBubble& operator=(const SelectionBubble&) = delete;

    // `mouseLocation` in the toolkit's bottom-left screen coordinates. Builds the panel (fading
    // it in) when there is none, shows `mode` and places the panel beside the point.
    void show(Point mouseLocation, Mode mode);
    // Takes the panel down; the next `show` builds a new one. The mode goes back to `play`.
    void hide();

    std::function<void()> onTap;

    // The mode last set. The owner changing the mode of a showing bubble sets it here and calls
    // `setMode` on `container()` when there is one.
    Mode currentMode() const { return m_currentMode; }
    void setCurrentMode(Mode mode) { m_currentMode = mode; }
    // The button inside the panel; null while hidden.
    std::shared_ptr<SelectionBubbleView> container() const { return m_container.lock(); }
    Panel* panel() const { return m_panel.get(); }

    // The panel's side: the probe runners recognise the bubble by it.
    static constexpr double panelSize = 40;

private:
    void buildPanel();
    void positionBubble(Point mouseLocation);
    void handleTap();

    std::shared_ptr<Panel> m_panel;
    std::weak_ptr<SelectionBubbleView> m_container;
    Mode m_currentMode = Mode::play;
};

} // namespace lorvantine
