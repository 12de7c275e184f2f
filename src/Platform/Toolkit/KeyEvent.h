#pragma once

#include <cstdint>
#include <string>

namespace lorvantine {

// A key event as the key window and its first responder receive it. Main thread.
struct KeyEvent {
    enum class Type { keyDown, keyUp };

    Type type = Type::keyDown;
    uint16_t keyCode = 0;         // virtual key code
    uint64_t modifierFlags = 0;   // EventFlags masks
    // The text the key types (UTF-8); empty for keys that type nothing (arrows, Return, Delete).
    std::string characters;

    static constexpr uint16_t keyA = 0;
    static constexpr uint16_t keyW = 13;
    static constexpr uint16_t keyReturn = 36;
    static constexpr uint16_t keyTab = 48;
    static constexpr uint16_t keyDelete = 51;
    static constexpr uint16_t keyEscape = 53;
    static constexpr uint16_t keyEnter = 76;
    static constexpr uint16_t keyDownArrow = 125;
    static constexpr uint16_t keyUpArrow = 126;
};

} // namespace lorvantine
