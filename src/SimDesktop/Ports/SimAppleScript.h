#pragma once

#include "Support/Expected.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// The part of AppleScript the program sends to other applications, read line by line (one
// statement or block line per line):
//   tell application id "com.example.App" to activate
//   delay 0.5
//   tell application "System Events" to key code 124 [using {command down, shift down}]
//   tell application "System Events" to keystroke "w" [using command down]
//   tell application "Notes" to delete (every note whose body contains "text")
//   try … end try                          (errors inside are ignored)
//   tell application "Terminal" … end tell (the windows and tabs below are that application's)
//   tell application "System Events" [to tell process "Terminal"] … end tell
//   repeat with w in windows … end repeat; repeat with t in tabs of w … end repeat
//   if <condition> [and <condition>…] then … end if, or with one statement after "then"
//     conditions: contents of t contains "x" · tty of t is not "x" · tty of t is "x"
//                 · exists sheet 1 of window 1 [of process "Terminal"]
//   set selected tab of w to t · click button "Terminate" of sheet 1 of window 1 [of process "P"]
//   keystroke / key code inside a System Events block · return
// Anything else is refused with a message naming the statement, as a script error would be.
namespace SimAppleScript {

struct Condition {
    enum class Kind { contentsContain, ttyIs, ttyIsNot, sheetExists };
    Kind kind = Kind::contentsContain;
    std::string variable; // the tab
    std::string text;     // the text, the tty, or the process of the sheet (empty: the block's)
    friend bool operator==(const Condition&, const Condition&) = default;
};

struct Statement {
    enum class Kind {
        activate, delay, keyCode,
        deleteNotes,      // application: by name; text: what the body contains
        tellApplication,  // block; application: by name
        tellProcess,      // block of System Events; application: the process's name (may be empty)
        repeatWindows,    // block; variable over the windows of the told application
        repeatTabs,       // block; variable over the tabs of `over`
        tryBlock, ifBlock,
        selectTab,        // variable: the tab, over: its window
        clickSheetButton, // text: the button's title; application: the process (empty: the block's)
        returnFromScript,
    };
    Kind kind = Kind::delay;
    std::string bundleID; // activate
    double seconds = 0;   // delay
    int keyCode = 0;      // keyCode (keystrokes are turned into their key codes)
    uint64_t flags = 0;   // keyCode: the modifier flags held
    std::string application;
    std::string text;
    std::string variable;
    std::string over;
    std::vector<Condition> conditions;
    std::vector<Statement> body; // of a block

    friend bool operator==(const Statement&, const Statement&) = default;
};

Expected<std::vector<Statement>, std::string> parse(std::string_view source);

// The virtual key code of a character System Events types on a US keyboard; -1 when unknown.
int keyCodeForCharacter(char c);

} // namespace SimAppleScript
} // namespace lorvantine
