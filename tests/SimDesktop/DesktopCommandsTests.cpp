#include "Platform/Backends/DesktopCommands.h"
#include "Platform/Dispatch/Dispatch.h"
#include "SimDesktop/SimDesktop.h"
#include "TestSupport/DesktopCommandRun.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

using CommandRun = test::DesktopCommandRun;

class DesktopCommandsTest : public ::testing::Test {
protected:
    void SetUp() override { RunLoop::adoptCurrentThreadAsMain(); }
    void TearDown() override { RunLoop::runPending(); }

    CommandRun run(const std::vector<std::string>& args) { return test::runDesktopCommand(DesktopCommands::run, args, ports); }
    std::vector<InputEvent> posted() const { return test::postedEvents(*desktop); }

    std::shared_ptr<SimDesktop> desktop = SimDesktop::demo();
    PlatformServices ports = desktop->services();
};

TEST_F(DesktopCommandsTest, ListsWhatIsOnTheDesktop)
{
    CommandRun windows = run({ "windows" });
    EXPECT_EQ(windows.status, 0);
    EXPECT_EQ(windows.out, "8101\t501\tSafari\tSlow Reading in a Fast World\t120,40 1100x820\n"
                           "8201\t502\tTextEdit\tReading list.txt\t260,160 640x420\n"
                           "8001\t300\tFinder\t\t0,0 1440x900\n");
    CommandRun apps = run({ "apps" });
    EXPECT_EQ(apps.out, "501\tcom.apple.Safari\tSafari\tactive\n502\tcom.apple.TextEdit\tTextEdit\n300\tcom.apple.finder\tFinder\n");
}

TEST_F(DesktopCommandsTest, ClicksDragsAndKeysArePostedAsTheUsersHand)
{
    ASSERT_EQ(run({ "click", "400", "300", "2" }).status, 0);
    ASSERT_EQ(run({ "drag", "300", "250", "500.5", "260" }).status, 0);
    ASSERT_EQ(run({ "key", "8", "cmd", "shift" }).status, 0);
    std::vector<std::tuple<InputEventType, Point, int64_t>> expected = {
        { InputEventType::mouseMoved, { 400, 300 }, 0 },      { InputEventType::leftMouseDown, { 400, 300 }, 1 },
        { InputEventType::leftMouseUp, { 400, 300 }, 1 },     { InputEventType::leftMouseDown, { 400, 300 }, 2 },
        { InputEventType::leftMouseUp, { 400, 300 }, 2 },     { InputEventType::mouseMoved, { 300, 250 }, 0 },
        { InputEventType::leftMouseDown, { 300, 250 }, 1 },   { InputEventType::leftMouseDragged, { 500.5, 260 }, 0 },
        { InputEventType::leftMouseUp, { 500.5, 260 }, 1 },
    };
    auto events = posted();
    ASSERT_EQ(events.size(), expected.size() + 2);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(events[i].type, std::get<0>(expected[i])) << i;
        EXPECT_EQ(events[i].location, std::get<1>(expected[i])) << i;
        EXPECT_EQ(events[i].clickCount, std::get<2>(expected[i])) << i;
        EXPECT_FALSE(events[i].source) << i;
    }
    for (size_t i = expected.size(); i < events.size(); ++i) {
        EXPECT_EQ(events[i].keyCode, 8);
        EXPECT_EQ(events[i].flags, EventFlags::maskCommand | EventFlags::maskShift);
    }
    EXPECT_EQ(events[expected.size()].type, InputEventType::keyDown);
    EXPECT_EQ(events.back().type, InputEventType::keyUp);
}

TEST_F(DesktopCommandsTest, SnapshotsAndActivationsReportWhatTheDesktopDid)
{
    test::ScratchDirectory scratch;
    const std::string png = (scratch / "w.png").string();
    CommandRun snapshot = run({ "snapshot", "8201", png });
    EXPECT_EQ(snapshot.status, 0);
    EXPECT_EQ(snapshot.out, png + "\n");
    EXPECT_GT(std::filesystem::file_size(png), 0u);
    EXPECT_EQ(run({ "snapshot", "9999", png }).status, 1);
    EXPECT_EQ(run({ "activate", "502" }).status, 0);
    EXPECT_EQ(ports.workspace->frontmostApplication()->pid, 502);
    EXPECT_EQ(run({ "activate", "9999" }).status, 1);
}

TEST_F(DesktopCommandsTest, CommandsThatDoNotReadGetTheUsage)
{
    const std::vector<std::vector<std::string>> bad = {
        {}, { "frob" }, { "windows", "all" }, { "click", "400" }, { "click", "x", "3" }, { "click", "1", "2", "0" },
        { "drag", "1", "2", "3" }, { "key" }, { "key", "70000" }, { "key", "8", "hyper" }, { "snapshot", "8201" },
        { "snapshot", "-1", "p.png" }, { "activate" },
    };
    for (const auto& args : bad) {
        CommandRun result = run(args);
        EXPECT_EQ(result.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_NE(result.err.find("usage: lorvantine-desktop"), std::string::npos);
    }
    EXPECT_TRUE(posted().empty());
}

} // namespace
} // namespace lorvantine
