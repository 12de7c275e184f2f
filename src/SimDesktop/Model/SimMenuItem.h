#pragma once

#include "Platform/AXTypes.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// A menu of the menu bar (top level) or a menu item. Top-level entries become "AXMenuBarItem"
// elements holding an "AXMenu"; entries with `items` below them hold a submenu.
struct SimMenuItem {
    std::string title;
    std::string name;
    std::optional<int64_t> virtualKey;  // AXMenuItemCmdVirtualKey
    std::optional<int64_t> modifiers;   // AXMenuItemCmdModifiers (the platform's menu modifier mask)
    std::optional<std::string> commandCharacter; // AXMenuItemCmdChar
    bool enabled = true;
    std::map<std::string, AXValue> attributes;
    std::map<std::string, AXError> errors;
    std::vector<SimMenuItem> items;
};

} // namespace lorvantine
