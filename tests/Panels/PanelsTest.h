#pragma once

#include "TestSupport/DesktopTest.h"

namespace lorvantine::panels {

inline constexpr Rgb accent { 242, 101, 34 };

// One screen of 1440 × 900 points and nothing else: each test adds the applications it needs.
class PanelsTest : public DesktopTest {
protected:
    static constexpr double screenWidth = 1440;
    static constexpr double screenHeight = 900;

    // An application with one white, titled window; frontmost unless said otherwise. It gets
    // `pid` unless the program itself already has it (the program's is this process's own, which
    // can be any), and the answer says which it got.
    struct AppWindow {
        ProcessID pid = 0;
        uint32_t number = 0;
        AXElement window;
    };
    AppWindow addApplication(ProcessID pid, const std::string& bundleID, Rect frame, std::vector<SimElement> content = {},
                             bool frontmost = true)
    {
        SimApplication app;
        app.pid = pid;
        app.bundleIdentifier = bundleID;
        app.localizedName = bundleID.substr(bundleID.rfind('.') + 1);
        app.active = frontmost;
        const ProcessID given = desktop->addApplication(app);
        SimWindow w;
        w.title = "Document";
        w.frame = frame;
        w.main = true;
        w.children = std::move(content);
        const uint32_t number = desktop->addWindow(given, w);
        if (frontmost)
            desktop->setFrontmost(given);
        return { given, number, desktop->windowElement(number) };
    }
};

} // namespace lorvantine::panels
