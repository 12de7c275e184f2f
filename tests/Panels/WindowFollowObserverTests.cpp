#include "PanelsTest.h"

#include "Accessibility/WindowFollowObserver.h"

#include <limits>

namespace lorvantine::panels {
namespace {

class WindowFollow : public PanelsTest {
protected:
    void SetUp() override
    {
        PanelsTest::SetUp();
        reader = addApplication(700, "com.example.Reader", Rect(100, 50, 600, 400));
    }

    std::unique_ptr<WindowFollowObserver> makeObserver(const AXElement& window)
    {
        return std::make_unique<WindowFollowObserver>(window, [this](const Rect& r) { reports.push_back(r); });
    }

    AppWindow reader;
    std::vector<Rect> reports;
};

TEST_F(WindowFollow, StartReportsTheWindowOnceAndEachRealMoveOrResizeOnce)
{
    auto observer = makeObserver(reader.window);
    observer->start();
    EXPECT_TRUE(observer->isObserving());
    ASSERT_EQ(reports, std::vector<Rect> { Rect(100, 50, 600, 400) });

    observer->start(); // already observing: no second registration, no second report
    desktop->moveWindow(reader.number, { 130, 80 });
    RunLoop::runPending();
    EXPECT_EQ(reports, (std::vector<Rect> { Rect(100, 50, 600, 400), Rect(130, 80, 600, 400) }));

    desktop->resizeWindow(reader.number, { 500, 300 });
    RunLoop::runPending();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports.back(), Rect(130, 80, 500, 300));
    EXPECT_EQ(observer->lastRect(), Rect(130, 80, 500, 300));
}

TEST_F(WindowFollow, MovesThatEndWhereTheLastReportWasAndDegenerateSizesAreNotReported)
{
    auto observer = makeObserver(reader.window);
    observer->start();
    reports.clear();

    // Away and back before the notifications arrive: both find the window where it was reported.
    desktop->moveWindow(reader.number, { 300, 300 });
    desktop->moveWindow(reader.number, { 100, 50 });
    RunLoop::runPending();
    EXPECT_TRUE(reports.empty());

    // What a fallback poll already reported is not reported again.
    desktop->moveWindow(reader.number, { 120, 50 });
    observer->setLastRect(Rect(120, 50, 600, 400));
    RunLoop::runPending();
    EXPECT_TRUE(reports.empty());

    desktop->resizeWindow(reader.number, { 1, 400 });
    desktop->resizeWindow(reader.number, { 600, 1 });
    RunLoop::runPending();
    EXPECT_TRUE(reports.empty());
    desktop->resizeWindow(reader.number, { 2, 2 });
    RunLoop::runPending();
    EXPECT_EQ(reports, std::vector<Rect> { Rect(120, 50, 2, 2) });

    // A size that is not a number is no size at all.
    desktop->setAttribute(reader.window, "AXSize", Size { std::numeric_limits<double>::quiet_NaN(), 400 });
    desktop->moveWindow(reader.number, { 140, 50 });
    RunLoop::runPending();
    EXPECT_EQ(reports.size(), 1u);
}

TEST_F(WindowFollow, AfterStopNothingIsReportedAndAStartReportsAgain)
{
    auto observer = makeObserver(reader.window);
    observer->start();
    observer->stop();
    EXPECT_FALSE(observer->isObserving());
    EXPECT_FALSE(observer->lastRect());

    desktop->moveWindow(reader.number, { 200, 50 });
    RunLoop::runPending();
    EXPECT_EQ(reports.size(), 1u);

    observer->start();
    EXPECT_EQ(reports.back(), Rect(200, 50, 600, 400));
    EXPECT_EQ(reports.size(), 2u);
    observer->stop();
    observer->stop(); // harmless
}

TEST_F(WindowFollow, ANotificationArrivingAfterTheObserverWentAwayDoesNothing)
{
    auto observer = makeObserver(reader.window);
    observer->start();
    desktop->moveWindow(reader.number, { 200, 50 });
    observer.reset(); // the move's notification is still on its way
    RunLoop::runPending();
    EXPECT_EQ(reports.size(), 1u);
}

TEST_F(WindowFollow, FailuresLeaveItIdleOrPartlyRegisteredWithALogLine)
{
    // A process whose windows cannot be observed.
    desktop->setError(desktop->applicationElement(reader.pid), "AXObserverCreate", AXError::cannotComplete);
    auto observer = makeObserver(reader.window);
    observer->start();
    EXPECT_FALSE(observer->isObserving());
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(log.linesContaining("[WindowFollow]"),
              std::vector<std::string> { "[WindowFollow] AXObserverCreate 失败 pid=" + std::to_string(reader.pid) + " err=-25204" });

    // It may be started later, once the process can be observed.
    desktop->clearError(desktop->applicationElement(reader.pid), "AXObserverCreate");
    observer->start();
    EXPECT_TRUE(observer->isObserving());
    observer->stop();
    log.clear();

    // One notification the window does not send: the other one still reports.
    desktop->setError(reader.window, "AXWindowMoved", AXError::notificationUnsupported);
    reports.clear();
    observer->start();
    EXPECT_TRUE(log.contains("[WindowFollow] AddNotification AXWindowMoved 失败 err=-25207"));
    desktop->resizeWindow(reader.number, { 640, 420 });
    RunLoop::runPending();
    EXPECT_EQ(reports.back(), Rect(100, 50, 640, 420));
    observer->stop();
    log.clear();

    // A window that has closed has no process.
    desktop->closeWindow(reader.number);
    reports.clear();
    observer->start();
    EXPECT_FALSE(observer->isObserving());
    EXPECT_TRUE(reports.empty());
    EXPECT_EQ(log.linesContaining("[WindowFollow]"),
              std::vector<std::string> { "[WindowFollow] AXUIElementGetPid 失败: -25202" });
}

} // namespace
} // namespace lorvantine::panels
