#pragma once

#include "Platform/Geometry.h"

#include <memory>

namespace lorvantine {

class Panel;
class StatusBarButton;

// An item of the program in the menu bar of the primary screen: a button the height of the
// menu bar, placed at the bar's right end, left of the items made before it. It lives in a
// borderless, non-activating panel at the status-bar level, so clicking it never brings the
// program to the front; accessibility finds its button like any other of the program's.
//
// Ownership: the caller holds the item; releasing it takes it off the menu bar. Main thread only.
class StatusItem {
public:
    // Lengths with the platform's values: as wide as the bar is tall, or as the content needs.
    static constexpr double squareLength = -2;
    static constexpr double variableLength = -1;
    // Points between the bar's right end and the first item, and between items.
    static constexpr double rightMargin = 12;
    static constexpr double spacing = 4;

    static std::shared_ptr<StatusItem> make(double length);
    ~StatusItem();
    StatusItem(const StatusItem&) = delete;
    StatusItem& operator=(const StatusItem&) = delete;

    StatusBarButton& button() const { return *m_button; }
    // The panel holding the button (for positioning popovers, and for tests).
    Panel& window() const { return *m_panel; }
    double length() const { return m_length; }

private:
    StatusItem() = default;

    double m_length = 0;
    std::shared_ptr<Panel> m_panel;
    std::shared_ptr<StatusBarButton> m_button;
};

} // namespace lorvantine
