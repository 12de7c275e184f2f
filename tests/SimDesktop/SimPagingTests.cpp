#include <memory> // WorkspacePort.h uses std::shared_ptr without including it

#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"
#include "SimDesktop/Model/SimFixtureLoader.h"
#include "SimDesktop/Ports/SimAppleScript.h"
#include "TestSupport/ManualClockTest.h"

#include "SimDesktopTestSupport.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

using Statement = SimAppleScript::Statement;

TEST(SimAppleScript, ReadsTheStatementsTheProgramSendsAndRefusesOthers)
{
    auto script = SimAppleScript::parse("tell application id \"com.amazon.Lassen\" to activate\n"
                                        "  delay 0.5\n\n"
                                        "tell application \"System Events\" to key code 124");
    ASSERT_TRUE(script) << script.error();
    EXPECT_EQ(*script, (std::vector<Statement> { { .kind = Statement::Kind::activate, .bundleID = "com.amazon.Lassen" },
                                                 { .kind = Statement::Kind::delay, .seconds = 0.5 },
                                                 { .kind = Statement::Kind::keyCode, .keyCode = 124 } }));
    for (const char* refused : { "tell application \"Safari\" to activate", "delay -1", "delay soon",
                                 "tell application id \"\" to activate", "tell application \"System Events\" to key code 1.5",
                                 "do shell script \"rm -rf /\"", "tell application id \"x\" to quit" }) {
        auto parsed = SimAppleScript::parse(refused);
        ASSERT_FALSE(parsed) << refused;
        EXPECT_NE(parsed.error().find(refused), std::string::npos) << parsed.error();
    }
}

const char* pagedFixture = R"({
  "applications": [
    { "pid": 10, "bundleID": "com.example.Other", "name": "Other",
      "windows": [{ "number": 1, "frame": [0, 0, 100, 100] }] },
    { "pid": 20, "bundleID": "com.example.Book", "name": "Book", "active": true,
      "menuBar": [{ "title": "Go", "items": [{ "title": "Next", "name": "next", "key": 124 }] }],
      "behaviours": { "paging": { "content": "page", "texts": ["one", "two", "three"], "menuItem": "next",
                                  "ignoreFirst": true, "delay": 0.5, "unreadableReads": 2 } },
      "windows": [{ "number": 2, "frame": [100, 100, 400, 300], "children": [
        { "role": "AXGenericElement", "name": "page", "frame": [10, 10, 300, 100], "text": "",
          "attributes": { "AXValue": "" } } ] }] }
  ]
})";

class SimPagingTest : public ManualClockTest {
protected:
    void SetUp() override
    {
        ManualClockTest::SetUp();
        auto fixture = SimFixtureLoader::parse(pagedFixture, "paged.json");
        ASSERT_TRUE(fixture) << fixture.error();
        t.emplace(SimDesktop::create(*fixture));
    }

    std::string page() { return t->get<std::string>(t->desktop->element("page"), "AXValue").value_or("?"); }
    void press(uint16_t key) { t->ports.windowServer->post(EventTap::hid, InputEvent::keyboard(std::nullopt, key, true)); }

    std::optional<PortsUnderTest> t;
};

TEST_F(SimPagingTest, KeysAndTheMenuItemTurnAfterTheDelayWhileTheReaderIsInFront)
{
    EXPECT_EQ(page(), "one");
    press(124); // ignored: the first request of this reader
    Dispatch::advance(*clock, seconds(1));
    EXPECT_EQ(page(), "one");

    press(125); // not a turning key
    t->ports.windowServer->postToPid(10, InputEvent::keyboard(std::nullopt, 124, true)); // another process
    press(124);
    Dispatch::advance(*clock, seconds(0.4));
    EXPECT_EQ(page(), "one");
    Dispatch::advance(*clock, seconds(0.1));
    // The page animates: the window's children cannot be read twice, then the new page shows.
    const AXElement window = t->desktop->windowElement(2);
    EXPECT_EQ(t->error(window, "AXChildren"), AXError::cannotComplete);
    EXPECT_EQ(t->error(window, "AXChildren"), AXError::cannotComplete);
    EXPECT_EQ(t->error(window, "AXChildren"), AXError::success);
    EXPECT_EQ(page(), "two");

    t->desktop->setFrontmost(10);
    press(124);
    Dispatch::advance(*clock, seconds(1));
    EXPECT_EQ(page(), "two");

    EXPECT_EQ(t->ax().performAction(t->desktop->element("next"), "AXPress"), AXError::success);
    t->ports.windowServer->postToPid(20, InputEvent::keyboard(std::nullopt, 124, true));
    Dispatch::advance(*clock, seconds(1));
    EXPECT_EQ(page(), "three"); // the last page does not turn
    int turns = 0;
    for (const SimJournalEntry& entry : t->desktop->journal())
        turns += entry.kind == SimJournalEntry::Kind::reaction && entry.name == "pageTurned";
    EXPECT_EQ(turns, 2);
}

TEST_F(SimPagingTest, AScriptActivatesWaitsOnTheClockAndTypesIntoTheApplicationInFront)
{
    t->desktop->setFrontmost(10);
    clock->setMainThreadSleepsAdvance(true);
    const TimePoint before = clock->now();
    std::string error;
    EXPECT_EQ(t->ports.workspace->runAppleScript("tell application id \"com.example.Book\" to activate\ndelay 0.25\n"
                                                 "tell application \"System Events\" to key code 124",
                                                 error),
              std::string());
    EXPECT_EQ(clock->now() - before, seconds(0.25));
    EXPECT_EQ(t->ports.workspace->frontmostApplication()->pid, 20);
    EXPECT_FALSE(t->ports.workspace->runAppleScript("tell application id \"com.example.Missing\" to activate", error));
    EXPECT_NE(error.find("com.example.Missing"), std::string::npos);

    std::vector<SimJournalEntry::Kind> kinds;
    for (const SimJournalEntry& entry : t->desktop->journal())
        kinds.push_back(entry.kind);
    using Kind = SimJournalEntry::Kind;
    EXPECT_EQ(kinds, (std::vector<Kind> { Kind::appleScript, Kind::activate, Kind::event, Kind::event, Kind::appleScript }));
}

const char* slidingFixture = R"({
  "applications": [
    { "pid": 20, "bundleID": "com.example.Book", "name": "Book", "active": true,
      "behaviours": { "paging": { "content": "book", "step": [100, 0], "count": 3, "slide": { "frames": 4, "seconds": 0.2 } } },
      "windows": [{ "number": 2, "frame": [0, 0, 100, 100], "children": [
        { "role": "AXWebArea", "name": "book", "frame": [0, 0, 100, 100], "children": [
          { "role": "AXGroup", "name": "page-1", "frame": [0, 0, 100, 100] },
          { "role": "AXGroup", "name": "page-2", "frame": [100, 0, 100, 100] },
          { "role": "AXGroup", "name": "page-3", "frame": [200, 0, 100, 100] } ] } ] }] }
  ]
})";

using SlidingPagesTest = ManualClockTest;

TEST_F(SlidingPagesTest, PagesSideBySideSlideAcrossFrameByFrameAndATurnMeanwhileGoesOnFromWhereTheSlideEnds)
{
    auto fixture = SimFixtureLoader::parse(slidingFixture, "sliding.json");
    ASSERT_TRUE(fixture) << fixture.error();
    PortsUnderTest t(SimDesktop::create(*fixture));
    auto left = [&] { return t.get<Point>(t.desktop->element("page-3"), "AXPosition").value_or(Point { -1, -1 }).x; };
    auto press = [&] { t.ports.windowServer->post(EventTap::hid, InputEvent::keyboard(std::nullopt, 124, true)); };

    press();
    std::vector<double> frames { left() };
    for (int frame = 0; frame < 4; ++frame) {
        Dispatch::advance(*clock, seconds(0.05));
        frames.push_back(left());
    }
    EXPECT_EQ(frames, (std::vector<double> { 200, 175, 150, 125, 100 }));

    press();
    Dispatch::advance(*clock, seconds(0.1));
    EXPECT_EQ(left(), 50);
    press(); // the last page shows once this slide ends: nothing more turns
    Dispatch::advance(*clock, seconds(1));
    EXPECT_EQ(left(), 0);
}

TEST(SimPagingFixture, FaultsAreNamedWithTheirPath)
{
    struct Case {
        const char* paging;
        const char* fault;
    };
    for (const Case& c : std::vector<Case> {
             { R"({ "texts": ["a"] })", "/applications/0/behaviours/paging: missing \"content\"" },
             { R"({ "content": "p" })", "/applications/0/behaviours/paging: expected either \"texts\" or \"step\"" },
             { R"({ "content": "p", "texts": ["a"], "step": [1, 0] })", "expected either" },
             { R"({ "content": "nowhere", "texts": ["a"] })", "/applications/0/behaviours/paging/content: no element is named \"nowhere\"" },
             { R"({ "content": "p", "step": [1, 0], "count": 0 })", "/applications/0/behaviours/paging/count: expected 1 to 100000 pages" },
             { R"({ "content": "p", "texts": ["a"], "delay": -1 })", "/applications/0/behaviours/paging/delay: must not be negative" },
             { R"({ "content": "p", "texts": ["a"], "slide": { "frames": 4 } })", "/applications/0/behaviours/paging/slide: only pages side by side" },
             { R"({ "content": "p", "step": [1, 0], "slide": { "seconds": 1 } })", "/applications/0/behaviours/paging/slide/frames: expected 1 to 1000 frames" },
         }) {
        const std::string json = std::string(R"({ "applications": [{ "behaviours": { "paging": )") + c.paging
            + R"( }, "windows": [{ "frame": [0, 0, 10, 10], "children": [{ "role": "AXGroup", "name": "p" }] }] }] })";
        auto fixture = SimFixtureLoader::parse(json, "f.json");
        ASSERT_FALSE(fixture) << c.paging;
        EXPECT_NE(fixture.error().find(c.fault), std::string::npos) << fixture.error();
    }
}

} // namespace
} // namespace lorvantine

namespace lorvantine {
namespace {

const char* pageDownFixture = R"({
  "applications": [
    { "pid": 10, "bundleID": "com.example.Other", "name": "Other", "active": true,
      "windows": [{ "number": 1, "frame": [600, 0, 100, 100] }] },
    { "pid": 20, "bundleID": "com.example.Doc", "name": "Doc",
      "behaviours": { "scrolling": { "area": "scroll" } },
      "windows": [{ "number": 2, "frame": [0, 0, 400, 400], "children": [
        { "role": "AXScrollArea", "name": "scroll", "frame": [0, 100, 400, 200], "children": [
          { "role": "AXWebArea", "name": "web", "children": [
            { "role": "AXStaticText", "height": 250 }, { "role": "AXStaticText", "height": 250 } ] },
          { "role": "AXScrollBar", "frame": [385, 0, 15, 200] } ] } ] }] }
  ]
})";

TEST(SimPageDown, PageDownToTheProcessScrollsAViewportAtATimeUntilTheEnd)
{
    auto fixture = SimFixtureLoader::parse(pageDownFixture, "scrolling.json");
    ASSERT_TRUE(fixture) << fixture.error();
    PortsUnderTest t(SimDesktop::create(*fixture));
    const AXElement web = t.desktop->element("web");
    // The web area is as tall as its content, not as the viewport.
    EXPECT_EQ(t.get<Size>(web, "AXSize"), (Size { 400, 500 }));
    auto top = [&] { return t.get<Point>(web, "AXPosition").value_or(Point { -1, -1 }).y; };
    EXPECT_EQ(top(), 100);

    t.ports.windowServer->post(EventTap::hid, InputEvent::keyboard(std::nullopt, 121, true)); // Other is in front
    t.ports.windowServer->postToPid(20, InputEvent::keyboard(std::nullopt, 125, true));      // not Page Down
    EXPECT_EQ(top(), 100);
    std::vector<double> tops;
    for (int press = 0; press < 3; ++press) {
        t.ports.windowServer->postToPid(20, InputEvent::keyboard(std::nullopt, 121, true));
        t.ports.windowServer->postToPid(20, InputEvent::keyboard(std::nullopt, 121, false));
        tops.push_back(top());
    }
    EXPECT_EQ(tops, (std::vector<double> { -100, -200, -200 })); // clamped: 500 of content in 200
    int scrolled = 0;
    for (const SimJournalEntry& entry : t.desktop->journal())
        scrolled += entry.name == "scrolled";
    EXPECT_EQ(scrolled, 2);

    auto bad = SimFixtureLoader::parse(R"({ "applications": [{ "behaviours": { "scrolling": { "area": "x", "step": 0 } } }] })", "bad.json");
    EXPECT_FALSE(bad);
}

} // namespace
} // namespace lorvantine
