#pragma once

#include <functional>
#include <memory>

namespace lorvantine {

class Button;
class View;

// The content of the status item's popover (320 × 280): the title, a settings button, the
// orange "read current page" button, the shortcut hint, a separator, the status line and the
// quit button. Its actions call the owner back; quitting ends the application.
//
// Main thread only. Made through `make` and held by the owner; the controls hold it weakly.
class PopoverViewController : public std::enable_shared_from_this<PopoverViewController> {
public:
    static constexpr double width = 320;
    static constexpr double height = 280;

    static std::shared_ptr<PopoverViewController> make();

    const std::shared_ptr<View>& view() const { return m_view; }

    std::function<void()> onReadCurrentPage;
    std::function<void()> onOpenPreferences;

    void readCurrentPage();
    void openPreferences();
    void quitApp();

private:
    PopoverViewController() = default;
    void build();

    std::shared_ptr<View> m_view;
};

} // namespace lorvantine
