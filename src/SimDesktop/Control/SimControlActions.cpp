#include "SimDesktop/Control/SimControlActions.h"

#include "Platform/AccessibilityPort.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/Toolkit/KeyEvent.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"
#include "Support/Text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace lorvantine::SimControlActions {

namespace {

InputEvent controlMouse(InputEventType type, Point at, int clickCount)
{
    InputEvent event = InputEvent::mouse(std::nullopt, type, at);
    if (type != InputEventType::leftMouseDragged)
        event.clickCount = clickCount;
    return event;
}

std::optional<std::string> controlString(AccessibilityPort& ax, const AXElement& element, const char* name)
{
    AXValue value;
    if (ax.copyAttributeValue(element, name, value) != AXError::success)
        return std::nullopt;
    if (const auto* text = axGet<std::string>(value))
        return *text;
    return std::nullopt;
}

std::vector<AXElement> controlElements(AccessibilityPort& ax, const AXElement& element, const char* name)
{
    AXValue value;
    if (ax.copyAttributeValue(element, name, value) != AXError::success)
        return {};
    if (const auto* list = axGet<std::vector<AXElement>>(value))
        return *list;
    return {};
}

// Depth first, bounded: a tree that loops or grows without end cannot hold the channel.
std::optional<AXElement> controlFindTitled(AccessibilityPort& ax, const AXElement& root, const std::string& title, int depth, int& budget)
{
    for (const AXElement& child : controlElements(ax, root, "AXChildren")) {
        if (--budget < 0)
            return std::nullopt;
        if (controlString(ax, child, "AXTitle") == title || controlString(ax, child, "AXDescription") == title)
            return child;
        if (depth < 40)
            if (auto found = controlFindTitled(ax, child, title, depth + 1, budget))
                return found;
    }
    return std::nullopt;
}

std::string controlPress(const PlatformServices& ports, const std::string& title)
{
    AccessibilityPort& ax = *ports.accessibility;
    // The program's own panels first (an alert, the popover), then the other applications.
    std::vector<RunningApplication> applications = ports.workspace->runningApplications();
    std::stable_partition(applications.begin(), applications.end(), [](const RunningApplication& app) {
        return app.bundleIdentifier == std::string(Application::bundleIdentifier);
    });
    int budget = 20000;
    for (const RunningApplication& app : applications) {
        for (const AXElement& window : controlElements(ax, ax.applicationElement(app.pid), "AXWindows")) {
            auto found = controlFindTitled(ax, window, title, 0, budget);
            if (!found)
                continue;
            const AXError result = ax.performAction(*found, "AXPress");
            if (result != AXError::success)
                return "error AXPress answered " + std::to_string(static_cast<int>(result));
            return "ok";
        }
    }
    return "error no element titled " + nlohmann::json(title).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string controlWindows(const PlatformServices& ports)
{
    auto list = ports.windowServer->copyWindowInfo(WindowListOption::onScreenOnly);
    if (!list)
        return "error no window list";
    nlohmann::json entries = nlohmann::json::array();
    for (const WindowInfo& info : *list) {
        nlohmann::json entry;
        entry["number"] = info.kCGWindowNumber.value_or(0);
        entry["pid"] = info.kCGWindowOwnerPID.value_or(0);
        entry["owner"] = info.kCGWindowOwnerName.value_or("");
        entry["title"] = info.kCGWindowName.value_or("");
        entry["layer"] = info.kCGWindowLayer.value_or(0);
        const Rect bounds = info.kCGWindowBounds.value_or(Rect());
        entry["bounds"] = nlohmann::json::array({ bounds.minX(), bounds.minY(), bounds.width(), bounds.height() });
        entries.push_back(std::move(entry));
    }
    return "ok " + entries.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string controlFront(const PlatformServices& ports, const std::string& bundleID)
{
    for (const RunningApplication& app : ports.workspace->runningApplications()) {
        if (app.bundleIdentifier != bundleID)
            continue;
        if (!ports.workspace->activate(app.pid, WorkspacePort::ActivationOptions::allWindows))
            return "error " + bundleID + " cannot come to the front";
        return "ok " + std::to_string(app.pid);
    }
    return "error no running application " + bundleID;
}

} // namespace

std::optional<std::string> perform(const SimControlCommand& command, const PlatformServices& ports)
{
    using Verb = SimControlCommand::Verb;
    auto post = [&](const InputEvent& event) { ports.windowServer->post(EventTap::hid, event); };
    switch (command.verb) {
    case Verb::click:
        post(controlMouse(InputEventType::mouseMoved, command.from, 0));
        post(controlMouse(InputEventType::leftMouseDown, command.from, command.clickCount));
        post(controlMouse(InputEventType::leftMouseUp, command.from, command.clickCount));
        return "ok";
    case Verb::drag: {
        post(controlMouse(InputEventType::mouseMoved, command.from, 0));
        post(controlMouse(InputEventType::leftMouseDown, command.from, 1));
        // A hand passes through the points between.
        constexpr int steps = 4;
        for (int i = 1; i <= steps; ++i) {
            const double t = static_cast<double>(i) / steps;
            const Point at { command.from.x + (command.to.x - command.from.x) * t, command.from.y + (command.to.y - command.from.y) * t };
            post(controlMouse(InputEventType::leftMouseDragged, at, 1));
        }
        post(controlMouse(InputEventType::leftMouseUp, command.to, 1));
        return "ok";
    }
    case Verb::key:
        for (bool down : { true, false }) {
            InputEvent key = InputEvent::keyboard(std::nullopt, command.keyCode, down);
            key.flags = command.flags;
            post(key);
        }
        return "ok";
    case Verb::scroll: {
        post(controlMouse(InputEventType::mouseMoved, command.from, 0));
        InputEvent wheel = InputEvent::scrollWheel(std::nullopt, ScrollUnit::line, command.lines);
        wheel.location = command.from;
        post(wheel);
        return "ok";
    }
    case Verb::press:
        return controlPress(ports, command.text);
    case Verb::type:
        for (const std::string& character : Text::characters(command.text)) {
            // A typing tool hands each key its character; the keys that type no text keep their own code.
            const bool lineBreak = character == "\n" || character == "\r" || character == "\r\n";
            const uint16_t code = lineBreak ? KeyEvent::keyReturn : character == "\t" ? KeyEvent::keyTab : 0;
            for (bool down : { true, false }) {
                InputEvent key = InputEvent::keyboard(std::nullopt, code, down);
                if (code == 0)
                    key.characters = character;
                post(key);
            }
        }
        return "ok";
    case Verb::windows:
        return controlWindows(ports);
    case Verb::front:
        return controlFront(ports, command.text);
    case Verb::trust:
    case Verb::inputMonitoring:
    case Verb::snapshot:
    case Verb::quit:
        return std::nullopt;
    }
    return std::nullopt;
}

std::string answerLine(std::string_view answer)
{
    auto byteAt = [&](size_t i) { return i < answer.size() ? static_cast<unsigned char>(answer[i]) : 0u; };
    std::string line;
    line.reserve(answer.size());
    for (size_t i = 0; i < answer.size(); ++i) {
        const unsigned byte = byteAt(i);
        // Besides the control characters, U+0085 and U+2028/U+2029 end a line for some readers.
        size_t length = byte < 0x20 || byte == 0x7F ? 1 : 0;
        unsigned code = byte;
        if (byte == 0xC2 && byteAt(i + 1) == 0x85) {
            length = 2;
            code = 0x85;
        } else if (byte == 0xE2 && byteAt(i + 1) == 0x80 && (byteAt(i + 2) == 0xA8 || byteAt(i + 2) == 0xA9)) {
            length = 3;
            code = 0x2028 + (byteAt(i + 2) - 0xA8);
        }
        if (length == 0) {
            line += answer[i];
        } else if (code == '\n' || code == '\r' || code == '\t') {
            line += code == '\n' ? "\\n" : code == '\r' ? "\\r" : "\\t";
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", code);
            line += escape;
        }
        i += length > 0 ? length - 1 : 0;
    }
    return line;
}

} // namespace lorvantine::SimControlActions
