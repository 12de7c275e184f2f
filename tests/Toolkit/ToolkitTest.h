#pragma once

#include "TestSupport/DesktopTest.h"

namespace lorvantine {

// The reader application (pid 700, frontmost) with its white window 42 at (100, 50, 600, 400)
// top-left on one 1440 × 900 screen. Each test builds its windows; the desktop checks what the
// program shows.
class ToolkitTest : public DesktopTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        SimFixture fixture = oneWindowFixture();
        fixture.screens = screens();
        return SimDesktop::create(fixture);
    }
};

} // namespace lorvantine
