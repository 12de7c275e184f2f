#include "Core/SelectionGeometry.h"
#include "Core/SelectionOCRDispatcher.h"
#include "Core/SelectionWatcher.h"
#include "Selection/BlockedMainThreadClock.h"
#include "TestSupport/DesktopTest.h"

#include <gmock/gmock.h>

namespace lorvantine::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Three applications side by side: an editor whose focused text area has a fixed selection
// (pid 700, frontmost), a browser of the block list (pid 701) and an editor of the recognition
// list that exposes no selection (pid 702). Each window takes a third of the primary screen.
class SelectionWatcherTest : public DesktopTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        SimFixture fixture;
        fixture.screens = screens();
        fixture.inputMonitoring = InputMonitoringAccess::granted;
        auto app = [&](ProcessID pid, const std::string& bundleID, double x, std::vector<SimElement> content) {
            SimApplication a;
            a.pid = pid;
            a.bundleIdentifier = bundleID;
            a.localizedName = bundleID;
            a.active = pid == 700;
            SimWindow w;
            w.number = static_cast<uint32_t>(pid);
            w.title = bundleID;
            w.frame = Rect(x, 100, 460, 500);
            w.main = true;
            w.children = std::move(content);
            a.windows.push_back(std::move(w));
            fixture.applications.push_back(std::move(a));
        };
        SimElement text("AXTextArea", "The quick brown fox and the quick brown dog.");
        text.named("text");
        text.position = Point { 10, 40 };
        text.width = 400;
        text.focused = true;
        text.attributes["AXSelectedText"] = std::string("quick brown");
        text.attributes["AXSelectedTextRange"] = AXRange { 4, 11 };
        app(700, "com.example.Editor", 0, { text });
        SimElement page("AXWebArea", "A page of the browser");
        page.focused = true;
        page.attributes["AXSelectedText"] = std::string("page of");
        app(701, "com.google.Chrome", 480, { page });
        SimElement drawn("AXGroup", "drawn text only");
        drawn.imageOnly = true;
        app(702, "com.microsoft.VSCode", 960, { drawn });
        return SimDesktop::create(fixture);
    }

    void SetUp() override
    {
        DesktopTest::SetUp();
        watcher = std::make_shared<SelectionWatcher>(&dispatcher);
        watcher->onSelection = [this](const std::string& text, const AXElement&, AXRange range, std::optional<Rect>, Point mouse) {
            calls.push_back("select " + text + " @" + std::to_string(range.location) + " mouse " + std::to_string(int(mouse.x)) + ","
                            + std::to_string(int(mouse.y)));
        };
        watcher->onDismiss = [this] { calls.push_back("dismiss"); };
        watcher->onStopPlayback = [this] { calls.push_back("stop"); };
        watcher->start();
        RunLoop::runPending();
        log.clear();
    }
    void TearDown() override
    {
        watcher.reset();
        DesktopTest::TearDown();
    }

    // A gesture posted at the HID tap as the user's hand makes it, the check included.
    void gesture(Point down, Point up, int64_t clicks = 1)
    {
        auto post = [&](InputEventType type, Point at) {
            InputEvent e = InputEvent::mouse(std::nullopt, type, at);
            if (type != InputEventType::leftMouseDragged)
                e.clickCount = clicks;
            Platform::windowServer().post(EventTap::hid, e);
        };
        post(InputEventType::leftMouseDown, down);
        if (down != up)
            post(InputEventType::leftMouseDragged, up);
        post(InputEventType::leftMouseUp, up);
        RunLoop::runPending();
        advance(SelectionWatcher::checkDelay);
    }
    void key(uint16_t code)
    {
        Platform::windowServer().post(EventTap::hid, InputEvent::keyboard(std::nullopt, code, true));
        RunLoop::runPending();
    }
    std::vector<std::string> take()
    {
        auto taken = std::move(calls);
        calls.clear();
        return taken;
    }

    SelectionOCRDispatcher dispatcher;
    std::shared_ptr<SelectionWatcher> watcher;
    std::vector<std::string> calls;
};

TEST_F(SelectionWatcherTest, GesturesAndWhatTheyOffer)
{
    const Point a { 100, 200 }; // in the editor's window (top-left points)
    struct Step {
        const char* name;
        std::function<void()> act;
        std::vector<std::string> expected;
    };
    const std::vector<Step> steps {
        { "a press moved 4.9 points is a click: dismissed, nothing read", [&] { gesture(a, { a.x + 4.9, a.y }); }, { "dismiss" } },
        { "a drag of 5 points reads the selection", [&] { gesture(a, { a.x + 3, a.y + 4 }); },
          { "select quick brown @4 mouse 103,696" } },
        { "the same text at the same range is not offered again", [&] { gesture(a, { a.x + 50, a.y }); }, {} },
        { "the same text at another range is", [&] {
              desktop->setAttribute(desktop->element("text"), "AXSelectedTextRange", AXRange { 28, 11 });
              gesture(a, a, 2);
          },
          { "select quick brown @28 mouse 100,700" } },
        { "a triple click reads too, after a plain click forgot the last", [&] {
              gesture(a, a, 1);
              gesture(a, a, 3);
          },
          { "dismiss", "select quick brown @28 mouse 100,700" } },
        { "one visible character is too short", [&] {
              desktop->setAttribute(desktop->element("text"), "AXSelectedText", std::string(" a "));
              desktop->setError(desktop->element("text"), "AXStringForRange", AXError::noValue);
              gesture(a, { a.x + 40, a.y });
          },
          { "dismiss" } },
        { "a drag in a block-listed browser does nothing at all", [&] {
              desktop->setFrontmost(701);
              RunLoop::runPending();
              take();
              gesture({ 600, 200 }, { 700, 200 });
          },
          {} },
        { "while a click there still dismisses", [&] { gesture({ 600, 200 }, { 600, 200 }); }, { "dismiss" } },
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(take(), step.expected) << step.name;
    }
}

TEST_F(SelectionWatcherTest, ReportLineAndGeometry)
{
    gesture({ 100, 200 }, { 160, 230 });
    EXPECT_THAT(log.linesContaining("[SelectionWatcher]"),
                ElementsAre(::testing::StartsWith("[SelectionWatcher] 🖱️ 选区: 11 字符(trim), raw=11 字符, range=(4,11), rect=")));
    EXPECT_TRUE(log.contains(", mouse=160,670"));
    EXPECT_EQ(SelectionGeometry::shared().lastMouseDown, (Point { 100, 700 }));
    EXPECT_EQ(SelectionGeometry::shared().lastMouseUp, (Point { 160, 670 }));
    EXPECT_EQ(SelectionGeometry::shared().lastClickCount, 1);
}

TEST_F(SelectionWatcherTest, DrawnTextEditorTakesTheRecognitionRoadUnlessFrozen)
{
    desktop->setFrontmost(702);
    RunLoop::runPending();
    take();
    watcher->frozen = true;
    gesture({ 1000, 200 }, { 1100, 200 });
    EXPECT_EQ(take(), (std::vector<std::string> { "stop", "dismiss" }));
    EXPECT_FALSE(log.contains("OCR fallback"));

    watcher->frozen = false;
    {
        BlockedMainThreadClock driver(clock); // the copy's wait holds the main thread
        gesture({ 1000, 200 }, { 1100, 200 });
    }
    EXPECT_TRUE(log.contains("[SelectionWatcher] AX 无选区 → OCR fallback (com.microsoft.VSCode)"));
    // This editor does not copy: the road ends there, offering nothing. Its own Command+C is a
    // key in another application, which takes down any offer as typing does.
    EXPECT_TRUE(log.contains("[SelectionOCR] ⚠️ clipboard 为空，App 不响应 ⌘C，跳过（不显示朗读按钮）"));
    EXPECT_EQ(take(), (std::vector<std::string> { "dismiss" }));
}

TEST_F(SelectionWatcherTest, KeysScrollingAndActivation)
{
    gesture({ 100, 200 }, { 160, 200 });
    ASSERT_EQ(take().size(), 1u);

    key(SelectionWatcher::escapeKeyCode);
    EXPECT_EQ(take(), (std::vector<std::string> { "stop", "dismiss" }));

    watcher->frozen = true;
    key(0); // "a"
    Platform::windowServer().post(EventTap::hid, InputEvent::scrollWheel(std::nullopt, ScrollUnit::line, 3));
    RunLoop::runPending();
    EXPECT_THAT(take(), IsEmpty()) << "typing and scrolling while frozen leave the offer";

    desktop->setFrontmost(701);
    RunLoop::runPending();
    EXPECT_EQ(take(), (std::vector<std::string> { "dismiss" })) << "a switch of application dismisses even while frozen";

    watcher->frozen = false;
    desktop->setFrontmost(700);
    RunLoop::runPending();
    take();
    // Every dismissal forgot the selection: selecting the same text again is offered again.
    gesture({ 100, 200 }, { 160, 200 });
    EXPECT_EQ(take(), (std::vector<std::string> { "select quick brown @4 mouse 160,700" }));
    Platform::windowServer().post(EventTap::hid, InputEvent::scrollWheel(std::nullopt, ScrollUnit::line, 3));
    RunLoop::runPending();
    EXPECT_EQ(take(), (std::vector<std::string> { "dismiss" }));
    gesture({ 100, 200 }, { 160, 200 });
    EXPECT_EQ(take(), (std::vector<std::string> { "select quick brown @4 mouse 160,700" }));
}

TEST_F(SelectionWatcherTest, WheelEventsFromAnEventSourceAreNotThePersonScrolling)
{
    gesture({ 100, 200 }, { 160, 200 });
    ASSERT_EQ(take().size(), 1u);
    // Scrolling the spoken paragraph into view, as the reading does beside the offer.
    for (auto source : { EventSourceState::privateState, EventSourceState::combinedSession }) {
        Platform::windowServer().post(EventTap::hid, InputEvent::scrollWheel(source, ScrollUnit::line, -3));
        RunLoop::runPending();
    }
    EXPECT_THAT(take(), IsEmpty());
    Platform::windowServer().post(EventTap::hid, InputEvent::scrollWheel(std::nullopt, ScrollUnit::line, -3));
    RunLoop::runPending();
    EXPECT_EQ(take(), (std::vector<std::string> { "dismiss" }));
}

TEST_F(SelectionWatcherTest, ANewPressCancelsThePendingCheck)
{
    // A double click, then at once the third press: the double click's check never runs.
    auto post = [&](InputEventType type, int64_t clicks) {
        InputEvent e = InputEvent::mouse(std::nullopt, type, { 100, 200 });
        e.clickCount = clicks;
        Platform::windowServer().post(EventTap::hid, e);
        RunLoop::runPending();
    };
    post(InputEventType::leftMouseDown, 2);
    post(InputEventType::leftMouseUp, 2);
    advance(0.04);
    post(InputEventType::leftMouseDown, 3);
    advance(0.1);
    EXPECT_THAT(take(), IsEmpty());
    post(InputEventType::leftMouseUp, 3);
    advance(0.1);
    EXPECT_EQ(take(), (std::vector<std::string> { "select quick brown @4 mouse 100,700" }));
    EXPECT_EQ(SelectionGeometry::shared().lastClickCount, 3);
}

TEST_F(SelectionWatcherTest, StoppingRemovesTheMonitors)
{
    watcher->stop();
    gesture({ 100, 200 }, { 160, 200 });
    key(SelectionWatcher::escapeKeyCode);
    EXPECT_THAT(take(), IsEmpty());
}

} // namespace
} // namespace lorvantine::test
