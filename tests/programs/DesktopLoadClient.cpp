// A client process of the shared desktop for the server's load test: it watches one window for
// moves and resizes, moves and resizes it `rounds` times (reading each value back), then waits
// for every notification. Prints what went wrong and exits 1, or exits 0 when every set was read
// back and every notification came, in order.
//
//   desktop-load-client <socket> <pid> <window node> <rounds>

#include "Platform/AccessibilityPort.h"
#include "Platform/Backends/RemoteDesktop.h"
#include "Platform/Dispatch/Dispatch.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace lorvantine;

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: desktop-load-client <socket> <pid> <window node> <rounds>\n");
        return 2;
    }
    RunLoop::adoptCurrentThreadAsMain();
    const AXElement window { static_cast<ProcessID>(std::stol(argv[2])), std::stoull(argv[3]) };
    const int rounds = std::stoi(argv[4]);
    std::string error;
    auto remote = RemoteDesktop::connect(argv[1], error);
    if (!remote) {
        std::fprintf(stderr, "cannot connect: %s\n", error.c_str());
        return 1;
    }
    const PlatformServices ports = remote->services();
    AccessibilityPort& ax = *ports.accessibility;
    std::vector<std::string> heard;
    AXObserverID observer = 0;
    if (ax.createObserver(window.pid, [&](const AXElement& element, const std::string& name) {
            heard.push_back(element == window ? name : "elsewhere");
        }, observer) != AXError::success
        || ax.addNotification(observer, window, "AXWindowMoved") != AXError::success
        || ax.addNotification(observer, window, "AXWindowResized") != AXError::success) {
        std::fprintf(stderr, "cannot observe the window\n");
        return 1;
    }

    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        const bool move = i % 2 == 0;
        const AXValue value = move ? AXValue(Point { 10.0 + i, 40.0 + i }) : AXValue(Size { 300.0 + i, 200.0 + i });
        const char* attribute = move ? "AXPosition" : "AXSize";
        AXValue back;
        if (ax.setAttributeValue(window, attribute, value) != AXError::success
            || ax.copyAttributeValue(window, attribute, back) != AXError::success || back != value)
            ++failures;
    }
    RunLoop::runUntil([&] { return heard.size() >= static_cast<size_t>(rounds); }, std::chrono::seconds(30));

    int outOfOrder = 0;
    for (size_t i = 0; i < heard.size(); ++i)
        if (heard[i] != (i % 2 == 0 ? "AXWindowMoved" : "AXWindowResized"))
            ++outOfOrder;
    if (failures == 0 && outOfOrder == 0 && heard.size() == static_cast<size_t>(rounds))
        return 0;
    std::fprintf(stderr, "failed sets or read-backs: %d, notifications heard: %zu of %d, out of order: %d\n", failures,
                 heard.size(), rounds, outOfOrder);
    return 1;
}
