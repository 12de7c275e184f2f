#pragma once

#include "SimDesktop/Rendering/SimScene.h"

#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// What the window server draws around the applications' content: the desktop picture, window
// frames with their title bars, and the menu bar. Scene items in global points.
namespace SimChrome {

inline constexpr double titleBarHeight = 28;
inline constexpr double windowCornerRadius = 10;

struct WindowLook {
    Rect frame;
    std::string title;
    bool active = false;  // the main window of the frontmost application
    bool titled = true;   // has a title bar (standard windows and dialogs)
    // A toolbar along the top edge of the window merges with the title bar, which then shows no
    // title (as Safari's does); 0 without one.
    double toolbarHeight = 0;
    // The window's close button, when its content has one: the three buttons line up with it.
    std::optional<Point> closeButton;
    uint32_t background = 0xFFFFFFFF;
};

// The window's background and title bar, drawn under its content. The title bar lies inside the
// frame: the window's frame includes it, and content placed there covers it.
std::vector<SimScene::Item> window(const WindowLook& look);

// The menu bar strip along the top of a screen: the frontmost application's name and its menus.
std::vector<SimScene::Item> menuBar(const Rect& bar, const std::string& applicationName,
                                    const std::vector<std::string>& menuTitles);

// The desktop picture of a screen, clipped to `clip`.
std::vector<SimScene::Item> desktop(const Rect& screen, const Rect& clip);

} // namespace SimChrome
} // namespace lorvantine
