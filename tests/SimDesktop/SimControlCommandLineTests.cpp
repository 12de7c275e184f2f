#include "Platform/Backends/RemoteDesktop.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/PermissionsPort.h"
#include "Platform/WorkspacePort.h"
#include "SimDesktop/Control/SimControlCommandLine.h"
#include "SimDesktop/Served/DesktopServer.h"
#include "SimDesktop/SimDesktop.h"
#include "TestSupport/DesktopCommandRun.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

using ControlLineRun = test::DesktopCommandRun;

// lorvantine-desktop's words given to a served desktop through a client's ports, as the tool does.
class SimControlCommandLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RunLoop::adoptCurrentThreadAsMain();
        std::string error;
        server = DesktopServer::start(desktop, (scratch / "desktop.sock").string(), error);
        ASSERT_TRUE(server) << error;
        remote = RemoteDesktop::connect(server->path(), error);
        ASSERT_TRUE(remote) << error;
        ports = remote->services();
    }
    void TearDown() override
    {
        remote.reset();
        server.reset();
        RunLoop::runPending();
    }

    ControlLineRun run(const std::vector<std::string>& args) { return test::runDesktopCommand(SimControlCommandLine::run, args, ports); }
    std::vector<InputEvent> posted() const { return test::postedEvents(*desktop); }

    test::ScratchDirectory scratch;
    std::shared_ptr<SimDesktop> desktop = SimDesktop::demo();
    std::unique_ptr<DesktopServer> server;
    std::shared_ptr<RemoteDesktop> remote;
    PlatformServices ports;
};

TEST_F(SimControlCommandLineTest, ControlWordsDriveTheSharedDesktop)
{
    ControlLineRun key = run({ "key", "escape", "command" });
    EXPECT_EQ(key.status, 0);
    EXPECT_EQ(key.out, "ok\n");
    ASSERT_EQ(run({ "scroll", "400", "300", "-3" }).status, 0);
    auto events = posted();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].type, InputEventType::keyDown);
    EXPECT_EQ(events[1].type, InputEventType::keyUp);
    for (int i : { 0, 1 }) {
        EXPECT_EQ(events[i].keyCode, 53);
        EXPECT_EQ(events[i].flags, EventFlags::maskCommand);
        EXPECT_FALSE(events[i].source);
    }
    EXPECT_EQ(events[2].type, InputEventType::mouseMoved);
    EXPECT_EQ(events[3].type, InputEventType::scrollWheel);
    EXPECT_EQ(events[3].location, (Point { 400, 300 }));

    ControlLineRun front = run({ "front", "com.apple.TextEdit" });
    EXPECT_EQ(front.status, 0);
    EXPECT_EQ(front.out, "ok 502\n");
    EXPECT_EQ(desktop->services().workspace->frontmostApplication()->pid, 502);

    // The tool's own commands keep their meaning where both have the word.
    ASSERT_EQ(run({ "click", "400", "300", "2" }).status, 0);
    EXPECT_EQ(posted().size(), 4u + 5u);
}

TEST_F(SimControlCommandLineTest, RefusalsSayWhyAsTheControlChannelDoes)
{
    ControlLineRun missing = run({ "press", "No \"Such\" Button" });
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "error no element titled \"No \\\"Such\\\" Button\"\n");

    EXPECT_EQ(run({ "front", "com.example.Nothing" }).err, "error no running application com.example.Nothing\n");
    // A word holding a line break is quoted back on one line, as the control channel answers.
    EXPECT_EQ(run({ "front", "a\nok 999" }).err, "error no running application a\\nok 999\n");
    const std::string unknownKey = run({ "key", "x\r\ny" }).err;
    EXPECT_EQ(unknownKey.substr(unknownKey.rfind("error ")), "error unknown key: x\\r\\ny\n");

    const bool trusted = desktop->services().accessibility->isProcessTrusted(AccessibilityPort::Prompt::no);
    ControlLineRun trust = run({ "trust", trusted ? "off" : "on" });
    EXPECT_EQ(trust.status, 2);
    EXPECT_EQ(trust.err, std::string("error trust is taken by the application's control channel only\n"));
    EXPECT_EQ(desktop->services().accessibility->isProcessTrusted(AccessibilityPort::Prompt::no), trusted);

    for (const std::vector<std::string>& words : { std::vector<std::string> { "frob" }, { "key", "hyperspace" }, {} }) {
        ControlLineRun bad = run(words);
        EXPECT_EQ(bad.status, 2);
        EXPECT_NE(bad.err.find("usage: lorvantine-desktop"), std::string::npos);
        EXPECT_NE(bad.err.find("or a control line"), std::string::npos);
    }
    EXPECT_NE(run({ "key", "hyperspace" }).err.find("error unknown key: hyperspace"), std::string::npos);
    EXPECT_EQ(posted().size(), 0u);
}

} // namespace
} // namespace lorvantine
