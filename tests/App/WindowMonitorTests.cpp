#include "App/WindowMonitor.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/ManualClockTest.h"

#include <memory>
#include <string>
#include <vector>

namespace lorvantine::test {
namespace {

constexpr const char* booksID = "com.apple.iBooksX";

// One screen and whatever applications a test adds; the monitor reports into `detected` and
// `lost`.
class WindowMonitorTest : public DesktopTest {
protected:
    void TearDown() override
    {
        monitor.reset();
        DesktopTest::TearDown();
    }

    ProcessID addApp(ProcessID pid, const std::string& bundleID)
    {
        return desktop->addApplication({ .pid = pid, .bundleIdentifier = bundleID, .localizedName = bundleID });
    }
    uint32_t addWindow(ProcessID pid, const std::string& title, std::vector<SimElement> content = {}, bool main = false)
    {
        return desktop->addWindow(pid, SimWindow { .title = title, .frame = Rect(100, 60, 800, 600), .main = main,
                                                   .children = std::move(content) });
    }
    // A book's page: the web area a few levels down, holding `text`.
    static SimElement page(const std::string& text, const std::string& name = "page-text")
    {
        return SimElement("AXScrollArea").child(SimElement("AXGroup").child(
            SimElement("AXWebArea").child(SimElement("AXGroup").child(SimElement("AXStaticText", text).named(name)))));
    }

    void startMonitor()
    {
        monitor = std::make_shared<WindowMonitor>();
        monitor->onWindowDetected = [this](const AXElement& window, const Rect&) { detected.push_back(window); };
        monitor->onWindowLost = [this] { ++lost; };
        monitor->start();
        RunLoop::runPending();
    }
    void front(ProcessID pid)
    {
        desktop->setFrontmost(pid);
        RunLoop::runPending();
    }
    size_t booksSearches() { return log.linesContaining("window candidates").size(); }

    std::shared_ptr<WindowMonitor> monitor;
    std::vector<AXElement> detected;
    int lost = 0;
};

TEST_F(WindowMonitorTest, WeChatArticleWindowsAreReadableByTheirPageMarkerAndChatsAreNot)
{
    struct Case {
        const char* title;
        bool readable;
    };
    const Case cases[] = {
        { "公众号文章 (Page: 2/5)", true },
        { "Article (Page 2)", true },
        { "Chat – Friends", false },
        { "Page 2", false },
    };
    ProcessID pid = 600;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        detected.clear();
        addApp(++pid, "com.tencent.xinWeChat");
        addWindow(pid, "WeChat", {}, true);
        const uint32_t number = addWindow(pid, c.title);
        front(pid);
        startMonitor();
        if (c.readable)
            EXPECT_EQ(detected, std::vector<AXElement> { desktop->windowElement(number) });
        else
            EXPECT_TRUE(detected.empty());
        EXPECT_TRUE(log.contains(std::string("title=\"") + c.title + "\" pageMatch=" + (c.readable ? "true" : "false")));
        desktop->terminateApplication(pid);
        monitor.reset();
    }
}

TEST_F(WindowMonitorTest, BooksReadsTheBookWindowEvenWithTheLibraryFocusedAndNeverTheLibraryAlone)
{
    const ProcessID books = addApp(610, booksID);
    const uint32_t library = addWindow(books, "Library", { SimElement("AXGroup").child(SimElement("AXStaticText", "Recently added books")) }, true);
    desktop->setError(desktop->applicationElement(books), "AXFocusedWindow", AXError::noValue);
    front(books);
    startMonitor();
    EXPECT_TRUE(log.contains("[WinMon] Books: 1 window candidates"));
    EXPECT_TRUE(log.contains("[WinMon] Books: win[0] title=\"Library\" hasBooksContent=false"));
    EXPECT_TRUE(detected.empty());

    desktop->clearError(desktop->applicationElement(books), "AXFocusedWindow");
    const uint32_t book = addWindow(books, "A Book", { page("It was a bright cold day in April.") });
    desktop->raiseWindow(library); // the library keeps the focus
    log.clear();
    monitor->appDidActivate({});
    EXPECT_TRUE(log.contains("[WinMon] Books: 3 window candidates"));
    EXPECT_EQ(detected, std::vector<AXElement> { desktop->windowElement(book) });
}

TEST_F(WindowMonitorTest, ABookPageNeedsAStaticTextOfElevenCharacters)
{
    struct Case {
        const char* text;
        bool content;
    };
    const Case cases[] = { { "一二三四五六七八九十", false }, { "一二三四五六七八九十一", true }, { "0123456789", false }, { "Chapter One", true } };
    ProcessID pid = 620;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        detected.clear();
        addApp(++pid, booksID);
        addWindow(pid, "Book", { page(c.text, "text-" + std::to_string(pid)) }, true);
        front(pid);
        startMonitor();
        EXPECT_EQ(detected.size(), c.content ? 1u : 0u);
        desktop->terminateApplication(pid);
        monitor.reset();
    }
}

TEST_F(WindowMonitorTest, BooksWithoutAPageIsSearchedOnChangesAndOtherwiseEveryFiveSeconds)
{
    const ProcessID books = addApp(630, booksID);
    const uint32_t window = addWindow(books, "Book", { page("Loading") }, true);
    const ProcessID other = addApp(631, "com.example.Other");
    addWindow(other, "Other");
    front(books);
    startMonitor();
    EXPECT_EQ(booksSearches(), 1u);

    advance(4.0);
    EXPECT_EQ(booksSearches(), 1u);
    advance(1.0);
    EXPECT_EQ(booksSearches(), 2u);

    desktop->setWindowTitle(window, "Book — Chapter 1");
    advance(1.0);
    EXPECT_EQ(booksSearches(), 3u);

    front(other);
    front(books); // an activation searches at once
    EXPECT_EQ(booksSearches(), 4u);

    // The page's text comes after the window: found within five seconds.
    desktop->setText(desktop->element("page-text"), "The first chapter opens on a quiet street.");
    advance(4.0);
    EXPECT_TRUE(detected.empty());
    advance(1.0);
    EXPECT_EQ(detected, std::vector<AXElement> { desktop->windowElement(window) });
    // Tracked: the checks read its rectangle and search no more.
    const size_t searches = booksSearches();
    advance(6.0);
    EXPECT_EQ(booksSearches(), searches);
    EXPECT_EQ(detected.size(), 1u);
}

TEST_F(WindowMonitorTest, LeavingForAnUnsupportedApplicationLosesTheWindowAndSaysSoOnce)
{
    const ProcessID safari = addApp(640, "com.apple.Safari");
    const uint32_t window = addWindow(safari, "Article", {}, true);
    const ProcessID finder = addApp(641, "com.apple.finder");
    addWindow(finder, "Home");
    front(safari);
    startMonitor();
    ASSERT_EQ(detected, std::vector<AXElement> { desktop->windowElement(window) });
    EXPECT_TRUE(log.contains("[WinMon] window detected: 800×600 at (100,60)"));
    advance(3.0);
    EXPECT_EQ(detected.size(), 1u);

    front(finder);
    advance(3.0);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(log.linesContaining("[WinMon] front app: com.apple.finder (not in whitelist)").size(), 1u);

    front(safari);
    EXPECT_EQ(detected.size(), 2u);
    desktop->closeWindow(window);
    advance(1.0);
    EXPECT_EQ(lost, 2);
}

// The checks go with the monitor: one let go leaves nothing behind that wakes the program.
TEST_F(WindowMonitorTest, AMonitorLetGoChecksNoMore)
{
    const ProcessID safari = addApp(640, "com.apple.Safari");
    addWindow(safari, "Article", {}, true);
    front(safari);
    startMonitor();
    EXPECT_EQ(mainWakesOver(*clock, seconds(3)), 3) << "a check each second";
    monitor.reset();
    EXPECT_EQ(mainWakesOver(*clock, seconds(5)), 0);
}

} // namespace
} // namespace lorvantine::test
