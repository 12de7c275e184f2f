#include <memory> // WorkspacePort.h uses std::shared_ptr without including it

#include "Platform/PasteboardPort.h"
#include "Platform/PermissionsPort.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"

#include "SimDesktopTestSupport.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

class SimDemoPortsTest : public ::testing::Test {
protected:
    PortsUnderTest t { SimDesktop::demo() };
    WindowServerPort& server() { return *t.ports.windowServer; }
    WorkspacePort& workspace() { return *t.ports.workspace; }

    std::vector<uint32_t> numbers(uint32_t options)
    {
        std::vector<uint32_t> out;
        const auto list = server().copyWindowInfo(options);
        for (const auto& info : list.value())
            out.push_back(*info.kCGWindowNumber);
        return out;
    }
};

TEST_F(SimDemoPortsTest, WindowListFollowsTheWindowsFrontToBack)
{
    auto list = server().copyWindowInfo(WindowListOption::optionAll);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 3u);
    const WindowInfo& safari = list->at(0);
    EXPECT_EQ(safari.kCGWindowNumber, 8101u);
    EXPECT_EQ(safari.kCGWindowOwnerPID, 501);
    EXPECT_EQ(safari.kCGWindowOwnerName, "Safari");
    EXPECT_EQ(safari.kCGWindowName, "Slow Reading in a Fast World");
    EXPECT_EQ(safari.kCGWindowBounds, Rect(120, 40, 1100, 820));
    EXPECT_EQ(safari.kCGWindowLayer, 0);
    EXPECT_EQ(safari.kCGWindowIsOnscreen, true);
    EXPECT_EQ(safari.kCGWindowAlpha, 1.0);
    EXPECT_EQ(numbers(WindowListOption::optionAll), (std::vector<uint32_t> { 8101, 8201, 8001 }));
    EXPECT_EQ(numbers(WindowListOption::onScreenOnly | WindowListOption::excludeDesktopElements),
              (std::vector<uint32_t> { 8101, 8201 }));

    t.desktop->setFrontmost(502);
    EXPECT_EQ(numbers(WindowListOption::optionAll), (std::vector<uint32_t> { 8201, 8101, 8001 }));
    t.desktop->minimizeWindow(8201);
    EXPECT_EQ(numbers(WindowListOption::onScreenOnly), (std::vector<uint32_t> { 8101, 8001 }));
    EXPECT_EQ(server().copyWindowInfo(WindowListOption::optionAll)->at(0).kCGWindowIsOnscreen, false);
    t.desktop->moveWindow(8101, Point { 0, 25 });
    t.desktop->resizeWindow(8101, Size { 800, 600 });
    EXPECT_EQ(server().copyWindowInfo(WindowListOption::onScreenOnly)->at(0).kCGWindowBounds, Rect(0, 25, 800, 600));
    t.desktop->closeWindow(8101);
    EXPECT_EQ(numbers(WindowListOption::optionAll), (std::vector<uint32_t> { 8201, 8001 }));
}

TEST_F(SimDemoPortsTest, HigherLayersListFirst)
{
    SimWindow panel;
    panel.number = 9000;
    panel.frame = Rect(10, 10, 100, 50);
    panel.layer = 3;
    t.desktop->addWindow(502, panel);
    EXPECT_EQ(numbers(WindowListOption::optionAll).front(), 9000u);
    // A floating panel of a background application is still on top for hit testing.
    AXElement hit;
    EXPECT_EQ(t.ax().elementAtPosition(t.ax().systemWideElement(), 50, 30, hit), AXError::success);
    EXPECT_EQ(hit, t.desktop->windowElement(9000));
}

TEST_F(SimDemoPortsTest, DesktopElementsAreNotAccessibilityWindows)
{
    const AXElement finder { 300, 0 };
    EXPECT_EQ(t.get<std::vector<AXElement>>(finder, "AXWindows"), std::vector<AXElement> {});
    EXPECT_EQ(t.error(finder, "AXFocusedWindow"), AXError::noValue);
    EXPECT_EQ(numbers(WindowListOption::optionAll).back(), 8001u);
    // Terminating the front application brings forward the owner of the next real window.
    EXPECT_TRUE(workspace().terminate(501));
    EXPECT_EQ(workspace().frontmostApplication()->pid, 502);
}

TEST_F(SimDemoPortsTest, ScreensAndTheMainScreen)
{
    auto screens = server().screens();
    ASSERT_EQ(screens.size(), 1u);
    EXPECT_EQ(screens[0].frame, Rect(0, 0, 1440, 900));
    EXPECT_EQ(screens[0].visibleFrame, Rect(0, 0, 1440, 875));
    EXPECT_EQ(screens[0].backingScaleFactor, 2);
    EXPECT_EQ(server().mainScreen(), screens[0]);

    SimFixture fixture;
    fixture.screens = { ScreenInfo { Rect(0, 0, 1440, 900), Rect(0, 0, 1440, 875), 2 },
                        ScreenInfo { Rect(1440, -180, 1920, 1080), Rect(1440, -180, 1920, 1080), 1 } };
    PortsUnderTest two(SimDesktop::create(fixture));
    SimApplication app;
    app.active = true;
    SimWindow window;
    // Top-left (1600, 300) is AppKit y 900 − 300 − 200 = 400: on the second screen.
    window.frame = Rect(1600, 300, 400, 200);
    app.windows.push_back(window);
    two.desktop->addApplication(app);
    EXPECT_EQ(two.ports.windowServer->mainScreen()->backingScaleFactor, 1);
}

TEST_F(SimDemoPortsTest, PostedEventsAreJournaledAndMoveThePointer)
{
    EXPECT_EQ(server().mouseLocation(WindowServerPort::Origin::topLeft), (Point { 720, 450 }));
    auto key = InputEvent::keyboard(EventSourceState::combinedSession, 8, true);
    key.flags = EventFlags::maskCommand;
    server().post(EventTap::session, key);
    server().postToPid(502, InputEvent::keyboard(std::nullopt, 121, false));
    auto down = InputEvent::mouse(EventSourceState::privateState, InputEventType::leftMouseDown, Point { 300, 200 });
    down.clickCount = 2;
    server().post(EventTap::hid, down);
    server().postToPid(501, InputEvent::mouse(std::nullopt, InputEventType::mouseMoved, Point { 5, 5 }));
    server().post(EventTap::hid, InputEvent::scrollWheel(std::nullopt, ScrollUnit::line, -3, 2));
    server().post(EventTap::hid, InputEvent::mouse(std::nullopt, InputEventType::leftMouseDown, Point { 300, 200 }, MouseButton::right));

    EXPECT_EQ(server().mouseLocation(WindowServerPort::Origin::topLeft), (Point { 300, 200 }));
    EXPECT_EQ(server().mouseLocation(WindowServerPort::Origin::appKit), (Point { 300, 700 }));
    const auto journal = t.desktop->journal();
    ASSERT_EQ(journal.size(), 6u);
    EXPECT_EQ(journal[0].kind, SimJournalEntry::Kind::event);
    EXPECT_EQ(journal[0].tap, EventTap::session);
    EXPECT_EQ(journal[0].event->keyCode, 8);
    EXPECT_EQ(journal[0].event->flags, 0x100000u);
    EXPECT_EQ(journal[0].event->source, EventSourceState::combinedSession);
    EXPECT_FALSE(journal[1].tap);
    EXPECT_EQ(journal[1].pid, 502);
    EXPECT_EQ(journal[1].event->type, InputEventType::keyUp);
    EXPECT_FALSE(journal[1].event->source);
    EXPECT_EQ(journal[2].event->clickCount, 2);
    EXPECT_EQ(journal[2].event->location, (Point { 300, 200 }));
    EXPECT_EQ(journal[4].event->scrollDeltaY, -3);
    EXPECT_EQ(journal[4].event->scrollDeltaX, 2);
    EXPECT_EQ(journal[4].event->scrollUnit, ScrollUnit::line);
    EXPECT_EQ(journal[5].event->type, InputEventType::rightMouseDown);
    EXPECT_EQ(journal[5].event->clickCount, 1);
}

TEST_F(SimDemoPortsTest, WorkspaceListsActivatesAndTerminates)
{
    auto apps = workspace().runningApplications();
    ASSERT_EQ(apps.size(), 3u);
    EXPECT_EQ(apps[0].bundleIdentifier, "com.apple.Safari");
    EXPECT_EQ(apps[0].localizedName, "Safari");
    EXPECT_EQ(apps[0].bundlePath, "/Applications/Safari.app");
    EXPECT_TRUE(apps[0].isActive);
    EXPECT_FALSE(apps[1].isActive);
    EXPECT_EQ(workspace().frontmostApplication()->pid, 501);

    EXPECT_TRUE(workspace().activate(502, WorkspacePort::ActivationOptions::allWindows));
    EXPECT_EQ(workspace().frontmostApplication()->bundleIdentifier, "com.apple.TextEdit");
    EXPECT_EQ(t.get<AXElement>(t.ax().systemWideElement(), "AXFocusedApplication"), (AXElement { 502, 0 }));
    EXPECT_FALSE(workspace().activate(4242, WorkspacePort::ActivationOptions::none));

    const AXElement textArea = t.desktop->element("textedit-text");
    EXPECT_TRUE(workspace().terminate(502));
    EXPECT_EQ(workspace().runningApplications().size(), 2u);
    EXPECT_EQ(t.error(textArea, "AXRole"), AXError::invalidUIElement);
    EXPECT_EQ(t.error(AXElement { 502, 0 }, "AXRole"), AXError::cannotComplete);
    EXPECT_EQ(workspace().frontmostApplication()->pid, 501);

    std::string error;
    EXPECT_FALSE(workspace().runAppleScript("tell application \"Safari\" to activate", error));
    EXPECT_FALSE(error.empty());
    const auto journal = t.desktop->journal();
    ASSERT_EQ(journal.size(), 4u);
    EXPECT_EQ(journal[0].kind, SimJournalEntry::Kind::activate);
    EXPECT_EQ(journal[0].pid, 502);
    EXPECT_EQ(journal[1].result, AXError::failure);
    EXPECT_EQ(journal[2].kind, SimJournalEntry::Kind::terminate);
    EXPECT_EQ(journal[3].kind, SimJournalEntry::Kind::appleScript);
    EXPECT_EQ(journal[3].name, "tell application \"Safari\" to activate");
}

TEST_F(SimDemoPortsTest, PasteboardKeepsItemsAndCountsClears)
{
    PasteboardPort& board = *t.ports.pasteboard;
    EXPECT_EQ(board.changeCount(), 0);
    EXPECT_FALSE(board.stringForType(PasteboardType::string));
    EXPECT_EQ(board.clearContents(), 1);
    EXPECT_TRUE(board.setString("hello 世界", PasteboardType::string));
    EXPECT_EQ(board.stringForType(PasteboardType::string), "hello 世界");
    EXPECT_EQ(board.changeCount(), 1);

    EXPECT_EQ(board.clearContents(), 2);
    EXPECT_FALSE(board.stringForType(PasteboardType::string));
    PasteboardItem first { { { PasteboardType::html, "<b>x</b>" }, { PasteboardType::string, "x" } } };
    PasteboardItem second { { { PasteboardType::string, "y" } } };
    EXPECT_TRUE(board.writeObjects({ first, second }));
    EXPECT_EQ(board.pasteboardItems(), (std::vector<PasteboardItem> { first, second }));
    EXPECT_EQ(board.stringForType(PasteboardType::string), "x");
    EXPECT_EQ(board.pasteboardItems()[0].representations[0].first, PasteboardType::html);
}

TEST_F(SimDemoPortsTest, PermissionsAnswerFromTheDesktop)
{
    PermissionsPort& permissions = *t.ports.permissions;
    EXPECT_EQ(permissions.checkInputMonitoring(), InputMonitoringAccess::granted);
    t.desktop->setInputMonitoring(InputMonitoringAccess::denied);
    EXPECT_FALSE(permissions.requestInputMonitoring());
    EXPECT_EQ(t.desktop->journal().back().kind, SimJournalEntry::Kind::inputMonitoringRequest);

    std::string error;
    EXPECT_EQ(permissions.loginItemStatus(), LoginItemStatus::notRegistered);
    EXPECT_FALSE(permissions.unregisterLoginItem(error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(permissions.registerLoginItem(error));
    EXPECT_EQ(permissions.loginItemStatus(), LoginItemStatus::enabled);
    EXPECT_TRUE(permissions.unregisterLoginItem(error));
    EXPECT_EQ(permissions.loginItemStatus(), LoginItemStatus::notRegistered);
    t.desktop->setLoginItemStatus(LoginItemStatus::notFound);
    EXPECT_FALSE(permissions.registerLoginItem(error));
    EXPECT_EQ(error, "The login item could not be found.");
}

// A fixture can make the system refuse every change of the login item; the status stays as it was.
TEST(SimLoginItem, AFixtureThatRefusesChangesKeepsTheStatus)
{
    for (const char* status : { "notRegistered", "enabled" }) {
        auto fixture = SimFixtureLoader::parse(std::string(R"({"loginItem": ")") + status + R"(", "loginItemChanges": "fail"})",
                                               "refuses.json");
        ASSERT_TRUE(fixture) << fixture.error();
        auto desktop = SimDesktop::create(*fixture);
        const auto port = desktop->services().permissions;
        PermissionsPort& permissions = *port;
        const LoginItemStatus before = permissions.loginItemStatus();
        std::string error;
        EXPECT_FALSE(permissions.registerLoginItem(error)) << status;
        EXPECT_EQ(error, "Operation not permitted");
        error.clear();
        EXPECT_FALSE(permissions.unregisterLoginItem(error)) << status;
        EXPECT_EQ(error, "Operation not permitted");
        EXPECT_EQ(permissions.loginItemStatus(), before) << status;
        desktop->setLoginItemChangesFail(false);
        EXPECT_TRUE(permissions.registerLoginItem(error)) << status;
        EXPECT_EQ(permissions.loginItemStatus(), LoginItemStatus::enabled);
    }
}

// Each window takes its place by its order as it is added, whether it goes behind the others,
// the way a fixture lists them, or between them.
TEST(SimWindowOrder, WindowsArePlacedByTheirOrderAndTheLastMainOneIsMain)
{
    struct Case {
        const char* name;
        std::vector<std::optional<int64_t>> orders; // window i + 1, added in turn
        std::vector<uint32_t> frontToBack;
    };
    const std::optional<int64_t> none;
    const Case cases[] = {
        {"in the order added", {none, none, none}, {1, 2, 3}},
        {"ordered front to back", {1, 2, 3}, {1, 2, 3}},
        {"ordered back to front", {3, 2, 1}, {3, 2, 1}},
        {"equal orders keep the order added", {7, 7, 7}, {1, 2, 3}},
        {"one between the others", {1, 5, 3, 4}, {1, 3, 4, 2}},
        {"a front one among unordered ones", {none, 0, none}, {2, 1, 3}},
        {"unordered ones before a far back one", {2'000'000, none, none}, {2, 3, 1}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        auto desktop = SimDesktop::create();
        const ProcessID pid = desktop->addApplication(SimApplication {.pid = 600, .active = true});
        for (size_t i = 0; i < test.orders.size(); ++i)
            desktop->addWindow(pid, SimWindow {.number = static_cast<uint32_t>(i + 1), .order = test.orders[i]});
        EXPECT_EQ(desktop->windowNumbers(pid), test.frontToBack);
    }

    PortsUnderTest t {SimDesktop::create()};
    const ProcessID pid = t.desktop->addApplication(SimApplication {.pid = 600, .active = true});
    const AXElement app {pid, 0};
    auto mainWindow = [&] { return t.get<AXElement>(app, "AXMainWindow"); };
    for (uint32_t number : {1u, 2u})
        t.desktop->addWindow(pid, SimWindow {.number = number, .main = true});
    EXPECT_EQ(mainWindow(), t.desktop->windowElement(2));
    EXPECT_EQ(t.get<bool>(t.desktop->windowElement(1), "AXMain"), false);
    t.desktop->raiseWindow(1);
    t.desktop->addWindow(pid, SimWindow {.number = 3});
    EXPECT_EQ(mainWindow(), t.desktop->windowElement(1));
    t.desktop->addWindow(pid, SimWindow {.number = 4, .main = true});
    EXPECT_EQ(mainWindow(), t.desktop->windowElement(4));
    t.desktop->raiseWindow(2);
    EXPECT_EQ(mainWindow(), t.desktop->windowElement(2));
}

} // namespace
} // namespace lorvantine
