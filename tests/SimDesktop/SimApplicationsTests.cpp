#include "Platform/WorkspacePort.h"

#include "SimDesktopTestSupport.h"

#include <gtest/gtest.h>

#include <map>

namespace lorvantine {
namespace {

// Applications come and go while others run: each one's pid keeps answering for it, a pid freed
// by a quit application can be taken again, and one still running is never handed out twice.
TEST(SimApplications, PidsKeepAnsweringForTheirApplicationsAsOthersQuitAndLaunch)
{
    SimFixture fixture;
    for (int i = 0; i < 6; ++i)
        fixture.applications.push_back({ .pid = i % 2 == 0 ? 900 + i : 0, .bundleIdentifier = "com.example.App" + std::to_string(i),
                                         .active = i == 5 });
    PortsUnderTest desktop(SimDesktop::create(fixture));
    WorkspacePort& workspace = *desktop.ports.workspace;
    auto bundleOf = [&](ProcessID pid) {
        for (const RunningApplication& app : workspace.runningApplications())
            if (app.pid == pid)
                return app.bundleIdentifier.value_or("?");
        return std::string("none");
    };
    std::map<std::string, ProcessID> pids;
    for (const RunningApplication& app : workspace.runningApplications())
        pids[app.bundleIdentifier.value_or("?")] = app.pid;
    ASSERT_EQ(pids.size(), 6u);
    EXPECT_EQ(pids["com.example.App2"], 902);

    ASSERT_TRUE(desktop.desktop->terminateApplication(pids["com.example.App1"]));
    ASSERT_TRUE(desktop.desktop->terminateApplication(902));
    for (const auto& [bundleID, pid] : pids) {
        const bool quit = bundleID == "com.example.App1" || bundleID == "com.example.App2";
        EXPECT_EQ(bundleOf(pid), quit ? "none" : bundleID) << bundleID;
        EXPECT_EQ(desktop.get<std::string>(AXElement { pid, 0 }, "AXRole").has_value(), !quit) << bundleID;
    }
    EXPECT_EQ(workspace.frontmostApplication()->bundleIdentifier, "com.example.App5");
    EXPECT_EQ(desktop.get<std::string>(AXElement { pids["com.example.App3"], 0 }, "AXRole"), "AXApplication");

    const ProcessID again = desktop.desktop->addApplication({ .pid = 902, .bundleIdentifier = "com.example.Again" });
    EXPECT_EQ(again, 902) << "the pid of a quit application is free";
    const ProcessID taken = desktop.desktop->addApplication({ .pid = 904, .bundleIdentifier = "com.example.Clash" });
    EXPECT_NE(taken, 904) << "App4 still runs as 904";
    EXPECT_EQ(bundleOf(904), "com.example.App4");
    EXPECT_EQ(bundleOf(taken), "com.example.Clash");
    EXPECT_EQ(bundleOf(902), "com.example.Again");
    EXPECT_EQ(desktop.desktop->pidOf("com.example.App5"), pids["com.example.App5"]);
}

} // namespace
} // namespace lorvantine
