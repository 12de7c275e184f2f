#include "Platform/WindowServerPort.h"
#include "SimDesktop/Model/SimFixtureLoader.h"

#include "SimDesktopTestSupport.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

// A 400-point area over 2000 points of content: the content can move 1600 points.
const char* scrollFixture = R"({
  "applications": [
    { "pid": 20, "bundleID": "com.example.Reader", "name": "Reader", "active": true,
      "windows": [{ "number": 2, "frame": [100, 100, 600, 500], "children": [
        { "role": "AXScrollArea", "name": "area", "frame": [0, 50, 600, 400], "scrollLine": 12, "children": [
          { "role": "AXWebArea", "name": "web", "frame": [0, 0, 585, 2000], "children": [
            { "role": "AXStaticText", "name": "line", "frame": [10, 1000, 500], "text": "Far down" } ] },
          { "role": "AXScrollBar", "name": "bar", "frame": [585, 0, 15, 400],
            "attributes": { "AXOrientation": "AXVerticalOrientation", "AXValue": { "double": 0 } },
            "settable": ["AXValue"] } ] } ] }] }
  ]
})";

class SimScrollingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto fixture = SimFixtureLoader::parse(scrollFixture, "scroll.json");
        ASSERT_TRUE(fixture) << fixture.error();
        t.emplace(SimDesktop::create(*fixture));
    }
    double bar() { return t->get<double>(t->desktop->element("bar"), "AXValue").value_or(-1); }
    double lineTop() { return t->get<Point>(t->desktop->element("line"), "AXPosition").value_or(Point { 0, -1 }).y; }
    void wheel(int32_t lines, Point at, EventTap tap = EventTap::hid)
    {
        InputEvent e = InputEvent::scrollWheel(std::nullopt, ScrollUnit::line, lines);
        e.location = at;
        t->ports.windowServer->post(tap, e);
    }

    std::optional<PortsUnderTest> t;
};

TEST_F(SimScrollingTest, AScrollAreaAnswersItsBarAndContents)
{
    const AXElement area = t->desktop->element("area");
    EXPECT_EQ(t->get<AXElement>(area, "AXVerticalScrollBar"), t->desktop->element("bar"));
    EXPECT_EQ(t->get<std::vector<AXElement>>(area, "AXContents"), (std::vector<AXElement> { t->desktop->element("web") }));
    std::vector<std::string> names;
    ASSERT_EQ(t->ax().copyAttributeNames(area, names), AXError::success);
    EXPECT_NE(std::find(names.begin(), names.end(), "AXContents"), names.end());
    EXPECT_EQ(t->error(t->desktop->element("web"), "AXVerticalScrollBar"), AXError::attributeUnsupported);
}

TEST_F(SimScrollingTest, WritingTheBarMovesTheContentToThatFractionAndIsJournaled)
{
    EXPECT_EQ(lineTop(), 1150);
    struct Case {
        AXValue written;
        AXError result;
        double bar, top;
    };
    for (const Case& c : { Case { 0.25, AXError::success, 0.25, 750 }, Case { 1.0, AXError::success, 1, -450 },
                           Case { 1.5, AXError::success, 1, -450 }, Case { -0.2, AXError::success, 0, 1150 },
                           Case { std::string("half"), AXError::illegalArgument, 0, 1150 },
                           Case { std::nan(""), AXError::illegalArgument, 0, 1150 } }) {
        EXPECT_EQ(t->ax().setAttributeValue(t->desktop->element("bar"), "AXValue", c.written), c.result);
        EXPECT_DOUBLE_EQ(bar(), c.bar);
        EXPECT_DOUBLE_EQ(lineTop(), c.top);
    }
    int sets = 0;
    for (const SimJournalEntry& entry : t->desktop->journal())
        sets += entry.kind == SimJournalEntry::Kind::setAttribute && entry.name == "AXValue";
    EXPECT_EQ(sets, 6);
}

TEST_F(SimScrollingTest, TheWheelAtTheHardwareTapScrollsTheAreaUnderTheEventByLines)
{
    struct Case {
        int32_t lines;
        Point at;
        EventTap tap;
        double top;
    };
    // Negative values move the content up; outside the area, or at the session tap, nothing moves.
    for (const Case& c : { Case { -10, { 400, 400 }, EventTap::hid, 1030 }, Case { -10, { 50, 120 }, EventTap::hid, 1030 },
                           Case { -10, { 400, 400 }, EventTap::session, 1030 }, Case { 5, { 400, 400 }, EventTap::hid, 1090 },
                           Case { -200, { 400, 400 }, EventTap::hid, -450 }, Case { 300, { 400, 400 }, EventTap::hid, 1150 } }) {
        wheel(c.lines, c.at, c.tap);
        EXPECT_DOUBLE_EQ(lineTop(), c.top) << c.lines;
    }
    wheel(-50, { 400, 400 });
    EXPECT_DOUBLE_EQ(bar(), 600.0 / 1600);
}

} // namespace
} // namespace lorvantine
