#include <memory> // WorkspacePort.h uses std::shared_ptr without including it

#include "Platform/WorkspacePort.h"

#include "SimDesktopTestSupport.h"
#include "TestSupport/ManualClockTest.h"

#include <gtest/gtest.h>

#include <thread>

namespace lorvantine {
namespace {

class SimObserverTest : public ManualClockTest {
protected:
    AXObserverID observe(ProcessID pid)
    {
        AXObserverID id = 0;
        EXPECT_EQ(t.ax().createObserver(
                      pid,
                      [this](const AXElement& element, const std::string& name) {
                          EXPECT_TRUE(RunLoop::isMainThread());
                          received.emplace_back(element, name);
                      },
                      id),
                  AXError::success);
        return id;
    }

    PortsUnderTest t { SimDesktop::demo() };
    AXElement safariWindow = t.desktop->windowElement(8101);
    std::vector<std::pair<AXElement, std::string>> received;
};

TEST_F(SimObserverTest, WindowChangesArriveOnTheMainQueue)
{
    const AXObserverID id = observe(501);
    EXPECT_EQ(t.ax().addNotification(id, safariWindow, "AXWindowMoved"), AXError::success);
    EXPECT_EQ(t.ax().addNotification(id, safariWindow, "AXWindowResized"), AXError::success);
    EXPECT_EQ(t.ax().addNotification(id, safariWindow, "AXWindowMiniaturized"), AXError::success);

    t.desktop->moveWindow(8101, Point { 10, 30 });
    EXPECT_TRUE(received.empty());
    RunLoop::runPending();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], std::make_pair(safariWindow, std::string("AXWindowMoved")));

    t.desktop->moveWindow(8101, Point { 10, 30 }); // no change, no notification
    t.desktop->resizeWindow(8101, Size { 900, 700 });
    t.desktop->minimizeWindow(8101);
    t.desktop->setWindowTitle(8101, "Another page");
    Dispatch::advance(*clock, seconds(0.1));
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[1].second, "AXWindowResized");
    EXPECT_EQ(received[2].second, "AXWindowMiniaturized");
}

TEST_F(SimObserverTest, ApplicationRegistrationsHearEveryElementOfTheApplication)
{
    const AXObserverID id = observe(501);
    EXPECT_EQ(t.ax().addNotification(id, AXElement { 501, 0 }, "AXWindowMoved"), AXError::success);
    EXPECT_EQ(t.ax().addNotification(id, AXElement { 501, 0 }, "AXApplicationDeactivated"), AXError::success);
    t.desktop->moveWindow(8101, Point { 0, 25 });
    t.desktop->moveWindow(8201, Point { 0, 25 }); // TextEdit's: not this observer's process
    t.desktop->setFrontmost(502);
    RunLoop::runPending();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], std::make_pair(safariWindow, std::string("AXWindowMoved")));
    EXPECT_EQ(received[1], std::make_pair(AXElement { 501, 0 }, std::string("AXApplicationDeactivated")));
}

TEST_F(SimObserverTest, RemovedRegistrationsAndDestroyedObserversHearNothing)
{
    const AXObserverID id = observe(501);
    EXPECT_EQ(t.ax().addNotification(id, safariWindow, "AXWindowMoved"), AXError::success);
    t.desktop->moveWindow(8101, Point { 0, 25 });
    // Removed after the move was queued but before it was delivered: it is not delivered.
    EXPECT_EQ(t.ax().removeNotification(id, safariWindow, "AXWindowMoved"), AXError::success);
    RunLoop::runPending();
    EXPECT_TRUE(received.empty());

    EXPECT_EQ(t.ax().addNotification(id, safariWindow, "AXWindowMoved"), AXError::success);
    t.desktop->moveWindow(8101, Point { 5, 25 });
    t.ax().destroyObserver(id);
    RunLoop::runPending();
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(t.ax().addNotification(id, safariWindow, "AXWindowMoved"), AXError::invalidUIElementObserver);
}

TEST_F(SimObserverTest, ClosingAWindowAnnouncesItsDestruction)
{
    const AXObserverID id = observe(501);
    const AXElement web = t.desktop->element("safari-web");
    EXPECT_EQ(t.ax().addNotification(id, safariWindow, "AXUIElementDestroyed"), AXError::success);
    EXPECT_EQ(t.ax().addNotification(id, web, "AXUIElementDestroyed"), AXError::success);
    t.desktop->closeWindow(8101);
    RunLoop::runPending();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], std::make_pair(web, std::string("AXUIElementDestroyed")));
    EXPECT_EQ(received[1], std::make_pair(safariWindow, std::string("AXUIElementDestroyed")));
}

TEST_F(SimObserverTest, RegistrationErrorsAreThePlatformsCodes)
{
    const AXObserverID id = observe(501);
    EXPECT_EQ(t.ax().addNotification(id, safariWindow, "AXWindowMoved"), AXError::success);
    EXPECT_EQ(t.ax().addNotification(id, safariWindow, "AXWindowMoved"), AXError::notificationAlreadyRegistered);
    EXPECT_EQ(t.ax().removeNotification(id, safariWindow, "AXWindowResized"), AXError::notificationNotRegistered);
    EXPECT_EQ(t.ax().addNotification(id, t.desktop->windowElement(8201), "AXWindowMoved"), AXError::illegalArgument);
    EXPECT_EQ(t.ax().addNotification(id, AXElement { 501, 999999 }, "AXWindowMoved"), AXError::invalidUIElement);
    EXPECT_EQ(t.ax().addNotification(777, safariWindow, "AXWindowMoved"), AXError::invalidUIElementObserver);
    t.desktop->setError(safariWindow, "AXWindowResized", AXError::notificationUnsupported);
    EXPECT_EQ(t.ax().addNotification(id, safariWindow, "AXWindowResized"), AXError::notificationUnsupported);

    AXObserverID other = 0;
    auto ignore = [](const AXElement&, const std::string&) {};
    EXPECT_EQ(t.ax().createObserver(4242, ignore, other), AXError::cannotComplete);
    EXPECT_EQ(t.ax().createObserver(0, ignore, other), AXError::illegalArgument);
    t.desktop->setError(AXElement { 502, 0 }, "AXObserverCreate", AXError::cannotComplete);
    EXPECT_EQ(t.ax().createObserver(502, ignore, other), AXError::cannotComplete);
}

TEST_F(SimObserverTest, ChangesMadeOnAnotherThreadAreDeliveredOnTheMainThread)
{
    const AXObserverID id = observe(501);
    EXPECT_EQ(t.ax().addNotification(id, safariWindow, "AXWindowMoved"), AXError::success);
    std::thread mover([&] {
        for (int i = 1; i <= 20; ++i)
            t.desktop->moveWindow(8101, Point { double(i), 25 });
    });
    mover.join();
    EXPECT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(received.size(), 20u);
}

TEST_F(SimObserverTest, ActivationListenersHearTheNewFrontApplicationUntilTheTokenGoes)
{
    std::vector<ProcessID> activated;
    auto token = t.ports.workspace->observeActivation([&](const RunningApplication& app) {
        EXPECT_TRUE(app.isActive);
        activated.push_back(app.pid);
    });
    t.desktop->setFrontmost(502);
    t.desktop->setFrontmost(502);
    RunLoop::runPending();
    EXPECT_EQ(activated, std::vector<ProcessID> { 502 });
    token.reset();
    t.desktop->setFrontmost(501);
    RunLoop::runPending();
    EXPECT_EQ(activated, std::vector<ProcessID> { 502 });
}

} // namespace
} // namespace lorvantine
