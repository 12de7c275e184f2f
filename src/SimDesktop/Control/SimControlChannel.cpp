#include "SimDesktop/Control/SimControlChannel.h"

#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/Alert.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"
#include "SimDesktop/Rendering/SimRenderer.h"
#include "SimDesktop/SimDesktop.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <vector>

namespace lorvantine {

namespace {

void controlPost(InputEvent event)
{
    Platform::windowServer().post(EventTap::hid, event);
}

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

} // namespace

std::string SimControlChannel::handle(std::string_view line)
{
    auto command = SimControlCommand::parse(line);
    if (!command)
        return "error " + command.error();
    return execute(*command);
}

std::string SimControlChannel::execute(const SimControlCommand& command)
{
    using Verb = SimControlCommand::Verb;
    switch (command.verb) {
    case Verb::click:
        controlPost(controlMouse(InputEventType::mouseMoved, command.from, 0));
        controlPost(controlMouse(InputEventType::leftMouseDown, command.from, command.clickCount));
        controlPost(controlMouse(InputEventType::leftMouseUp, command.from, command.clickCount));
        return "ok";
    case Verb::drag: {
        controlPost(controlMouse(InputEventType::mouseMoved, command.from, 0));
        controlPost(controlMouse(InputEventType::leftMouseDown, command.from, 1));
        // A hand passes through the points between.
        constexpr int steps = 4;
        for (int i = 1; i <= steps; ++i) {
            const double t = static_cast<double>(i) / steps;
            const Point at { command.from.x + (command.to.x - command.from.x) * t, command.from.y + (command.to.y - command.from.y) * t };
            controlPost(controlMouse(InputEventType::leftMouseDragged, at, 1));
        }
        controlPost(controlMouse(InputEventType::leftMouseUp, command.to, 1));
        return "ok";
    }
    case Verb::key: {
        InputEvent down = InputEvent::keyboard(std::nullopt, command.keyCode, true);
        down.flags = command.flags;
        InputEvent up = InputEvent::keyboard(std::nullopt, command.keyCode, false);
        up.flags = command.flags;
        controlPost(down);
        controlPost(up);
        return "ok";
    }
    case Verb::scroll: {
        controlPost(controlMouse(InputEventType::mouseMoved, command.from, 0));
        InputEvent wheel = InputEvent::scrollWheel(std::nullopt, ScrollUnit::line, command.lines);
        wheel.location = command.from;
        controlPost(wheel);
        return "ok";
    }
    case Verb::front: {
        const auto pid = m_desktop->pidOf(command.text);
        if (!pid)
            return "error no running application " + command.text;
        if (!m_desktop->setFrontmost(*pid))
            return "error " + command.text + " cannot come to the front";
        return "ok " + std::to_string(*pid);
    }
    case Verb::trust:
        m_desktop->setTrusted(command.on);
        return "ok";
    case Verb::inputMonitoring:
        m_desktop->setInputMonitoring(command.access);
        return "ok";
    case Verb::press:
        return press(command.text);
    case Verb::windows:
        return windows();
    case Verb::snapshot:
        return snapshot(command.text);
    case Verb::quit:
        // An alert waiting for an answer would keep its nested loop, and the run, alive.
        Alert::abortModal();
        if (onQuit)
            DispatchQueue::main().async(onQuit);
        return "ok";
    }
    return "error unknown command";
}

std::string SimControlChannel::press(const std::string& title)
{
    AccessibilityPort& ax = Platform::accessibility();
    // The program's own panels first (an alert, the popover), then the other applications.
    std::vector<RunningApplication> applications = Platform::workspace().runningApplications();
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

std::string SimControlChannel::windows()
{
    auto list = Platform::windowServer().copyWindowInfo(WindowListOption::onScreenOnly);
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

std::string SimControlChannel::snapshot(const std::string& path)
{
    auto picture = SimRenderer::renderScreen(*m_desktop, 0, 1.0);
    if (!picture)
        return "error no screen to draw";
    if (auto saved = picture->image.savePNG(path); !saved)
        return "error " + saved.error().message;
    return "ok " + path;
}

} // namespace lorvantine
