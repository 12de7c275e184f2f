#include "Platform/Backends/DesktopCommands.h"

#include "Platform/WindowCapturePort.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"

#include <charconv>
#include <ostream>

namespace lorvantine::DesktopCommands {

namespace {

constexpr const char* commandUsage = "usage: lorvantine-desktop windows | apps | click X Y [COUNT] | drag X1 Y1 X2 Y2 |\n"
                                     "       key CODE [cmd|shift|alt|ctrl]... | activate PID | snapshot WINDOW PATH\n";

template<typename T> std::optional<T> commandNumber(const std::string& text)
{
    T value {};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

void postClick(WindowServerPort& ws, InputEventType type, Point at, int64_t count)
{
    InputEvent event = InputEvent::mouse(std::nullopt, type, at);
    if (type != InputEventType::leftMouseDragged)
        event.clickCount = count;
    ws.post(EventTap::hid, event);
}

int listWindows(const PlatformServices& ports, std::ostream& out, std::ostream& err)
{
    auto windows = ports.windowServer->copyWindowInfo(WindowListOption::onScreenOnly);
    if (!windows) {
        err << "the desktop gave no window list\n";
        return 1;
    }
    for (const auto& w : *windows) {
        out << w.kCGWindowNumber.value_or(0) << '\t' << w.kCGWindowOwnerPID.value_or(0) << '\t'
            << w.kCGWindowOwnerName.value_or("") << '\t' << w.kCGWindowName.value_or("");
        if (const auto& b = w.kCGWindowBounds)
            out << '\t' << b->origin.x << ',' << b->origin.y << ' ' << b->size.width << 'x' << b->size.height;
        out << '\n';
    }
    return 0;
}

} // namespace

std::optional<int> runIfKnown(const std::vector<std::string>& args, const PlatformServices& ports, std::ostream& out,
                              std::ostream& err)
{
    auto usage = [] { return std::optional<int>(); };
    if (args.empty())
        return usage();
    const std::string& command = args[0];
    std::vector<double> numbers;
    for (size_t i = 1; i < args.size() && command != "key" && command != "snapshot"; ++i) {
        auto n = commandNumber<double>(args[i]);
        if (!n)
            return usage();
        numbers.push_back(*n);
    }
    if (command == "windows" && args.size() == 1)
        return listWindows(ports, out, err);
    if (command == "apps" && args.size() == 1) {
        for (const auto& a : ports.workspace->runningApplications())
            out << a.pid << '\t' << a.bundleIdentifier.value_or("") << '\t' << a.localizedName.value_or("")
                << (a.isActive ? "\tactive" : "") << '\n';
        return 0;
    }
    if (command == "click" && (numbers.size() == 2 || numbers.size() == 3)) {
        const Point at { numbers[0], numbers[1] };
        const auto count = numbers.size() == 3 ? static_cast<int64_t>(numbers[2]) : 1;
        if (count < 1)
            return usage();
        ports.windowServer->post(EventTap::hid, InputEvent::mouse(std::nullopt, InputEventType::mouseMoved, at));
        for (int64_t i = 1; i <= count; ++i) {
            postClick(*ports.windowServer, InputEventType::leftMouseDown, at, i);
            postClick(*ports.windowServer, InputEventType::leftMouseUp, at, i);
        }
        return 0;
    }
    if (command == "drag" && numbers.size() == 4) {
        const Point from { numbers[0], numbers[1] }, to { numbers[2], numbers[3] };
        ports.windowServer->post(EventTap::hid, InputEvent::mouse(std::nullopt, InputEventType::mouseMoved, from));
        postClick(*ports.windowServer, InputEventType::leftMouseDown, from, 1);
        postClick(*ports.windowServer, InputEventType::leftMouseDragged, to, 1);
        postClick(*ports.windowServer, InputEventType::leftMouseUp, to, 1);
        return 0;
    }
    if (command == "key" && args.size() >= 2) {
        auto code = commandNumber<uint16_t>(args[1]);
        if (!code)
            return usage();
        uint64_t flags = 0;
        for (size_t i = 2; i < args.size(); ++i) {
            const std::string& m = args[i];
            uint64_t flag = m == "cmd" ? EventFlags::maskCommand : m == "shift" ? EventFlags::maskShift
                : m == "alt" ? EventFlags::maskAlternate : m == "ctrl" ? EventFlags::maskControl : 0;
            if (!flag)
                return usage();
            flags |= flag;
        }
        for (bool down : { true, false }) {
            InputEvent key = InputEvent::keyboard(std::nullopt, *code, down);
            key.flags = flags;
            ports.windowServer->post(EventTap::hid, key);
        }
        return 0;
    }
    if (command == "activate" && numbers.size() == 1) {
        if (ports.workspace->activate(static_cast<ProcessID>(numbers[0]), WorkspacePort::ActivationOptions::allWindows))
            return 0;
        err << "no application with pid " << args[1] << " could be activated\n";
        return 1;
    }
    if (command == "snapshot" && args.size() == 3) {
        auto number = commandNumber<uint32_t>(args[1]);
        if (!number)
            return usage();
        auto status = ports.windowCapture->captureWindow(*number, args[2]);
        if (!status) {
            err << "the capture could not start: " << status.error().reason << '\n';
            return 1;
        }
        if (status.value() != 0) {
            err << "window " << *number << " could not be captured\n";
            return 1;
        }
        out << args[2] << '\n';
        return 0;
    }
    return usage();
}

int run(const std::vector<std::string>& args, const PlatformServices& ports, std::ostream& out, std::ostream& err)
{
    if (auto status = runIfKnown(args, ports, out, err))
        return *status;
    err << commandUsage;
    return 2;
}

} // namespace lorvantine::DesktopCommands
