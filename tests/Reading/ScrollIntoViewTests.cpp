// The spoken paragraph is kept on screen in windows that scroll continuously: through the scroll
// bar where the page's height is known, else with the wheel; never in paged readers, and never
// once the reading that asked for it is over.

#include "Reading/ReadingTestSupport.h"

#include "SimDesktop/Model/SimFixtureLoader.h"

#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

std::vector<double> barWrites(SimDesktop& desktop, const AXElement& bar)
{
    std::vector<double> values;
    for (const SimJournalEntry& entry : desktop.journal())
        if (entry.kind == SimJournalEntry::Kind::setAttribute && entry.element == bar && entry.name == "AXValue")
            if (const double* v = axGet<double>(entry.value))
                values.push_back(*v);
    return values;
}

std::vector<int32_t> wheelValues(SimDesktop& desktop)
{
    std::vector<int32_t> values;
    for (const SimJournalEntry& entry : desktop.journal())
        if (entry.kind == SimJournalEntry::Kind::event && entry.event && entry.event->type == InputEventType::scrollWheel)
            values.push_back(entry.event->scrollDeltaY);
    return values;
}

class ScrollIntoViewTest : public ReadingTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        std::string error;
        auto loaded = SimDesktop::load(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/scroll-article.json", error);
        EXPECT_TRUE(loaded) << error;
        return loaded;
    }

    ArticleParagraph paragraph(const std::string& name)
    {
        ArticleParagraph p;
        p.element = desktop->element(name);
        p.text = readAttribute<std::string>(*accessibility, *p.element, "AXValue").value_or("");
        p.frame = desktop->frameOf(*p.element).value_or(Rect());
        p.role = "AXStaticText";
        return p;
    }

    void read(const std::string& name, const std::string& bundleID)
    {
        reader->startReading("Canal", desktop->element("article-window"), { paragraph(name) }, bundleID);
        ASSERT_TRUE(advanceUntil([&] { return !plays().empty(); }));
    }
};

TEST_F(ScrollIntoViewTest, TheScrollBarBringsAParagraphBelowTheWindowToAThirdOfTheWayDown)
{
    read("article-far", "com.apple.Safari");
    advance(2);
    const auto writes = barWrites(*desktop, desktop->element("article-bar"));
    ASSERT_EQ(writes.size(), 1u) << "settled after one move";
    EXPECT_NEAR(writes[0], 0.3, 1e-9);
    EXPECT_TRUE(log.contains("[scroll] VB doc=5000 view=1000 Δpx=400 0.200→0.300 ok=true"));
    EXPECT_TRUE(log.contains("[scroll] para[0] NOT visible (topok bot>viewBot), scrolling"));
    EXPECT_TRUE(log.contains("[scroll] para[0] fully visible, skip"));
    EXPECT_NEAR(desktop->frameOf(desktop->element("article-far"))->minY(), 324, 1e-6);
    EXPECT_TRUE(wheelValues(*desktop).empty());
}

TEST_F(ScrollIntoViewTest, PagedReadersAndParagraphsAlreadyInViewAreNotScrolled)
{
    for (const char* bundleID : { "com.apple.iBooksX", "com.amazon.Lassen", "com.microsoft.Word", "com.apple.iWork.Pages" }) {
        read("article-far", bundleID);
        advance(2);
        reader->stop();
        EXPECT_TRUE(barWrites(*desktop, desktop->element("article-bar")).empty()) << bundleID;
    }
    read("article-near", "com.apple.Safari");
    advance(2);
    EXPECT_TRUE(barWrites(*desktop, desktop->element("article-bar")).empty());
    EXPECT_TRUE(wheelValues(*desktop).empty());
    EXPECT_TRUE(log.contains("[scroll] para[0] fully visible, skip"));
}

// A feed without a scroll bar: 20 points per wheel line, the comfortable area's target line at
// y 324 (window 0 to 1100, its area from 60 to 940).
const char* feedFixture = R"({
  "screens": [{ "frame": [0, 0, 1600, 1200], "visibleFrame": [0, 25, 1600, 1175], "scale": 1 }],
  "applications": [
    { "pid": 30, "bundleID": "com.example.Feed", "name": "Feed", "active": true,
      "windows": [{ "number": 3, "name": "feed-window", "frame": [100, 0, 900, 1100], "main": true, "children": [
        { "role": "AXScrollArea", "name": "feed-scroll", "frame": [0, 60, 900, 1000], "scrollLine": 20, "children": [
          { "role": "AXGroup", "frame": [0, 0, 885, 20000], "children": [
            { "role": "AXStaticText", "name": "feed-para", "frame": [40, 2000, 800, 40], "text": "A post far down the feed." },
            { "role": "AXStaticText", "name": "feed-tall", "frame": [40, 4000, 800, 700], "text": "A post taller than the view." },
            { "role": "AXStaticText", "name": "feed-other", "frame": [40, 9000, 800, 40], "text": "Another window's post." } ] }
        ] } ] }] }
  ]
})";

class WheelScrollTest : public ScrollIntoViewTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        auto fixture = SimFixtureLoader::parse(feedFixture, "feed.json");
        EXPECT_TRUE(fixture) << fixture.error();
        return SimDesktop::create(*fixture);
    }

    void readFeed(const std::string& name)
    {
        reader->startReading("Feed", desktop->element("feed-window"), { paragraph(name) }, "com.example.Feed");
        ASSERT_TRUE(advanceUntil([&] { return !plays().empty(); }));
    }
};

TEST_F(WheelScrollTest, WithoutAScrollBarTheWheelTurnsOneLinePerTwentyPointsAtMostFifteenAtATime)
{
    struct Case {
        const char* name;
        double contentTop; // of the paragraph, within the scrolled content
        double delta;      // its top below the target line
        std::vector<int32_t> wheel;
    };
    // The tall post never fits: after 2 lines its top is 5 points from the line, under one line.
    for (const Case& c : { Case { "feed-tall", 4000, 45, { -2 } }, Case { "feed-para", 2000, 1000, { -15, -15 } },
                           Case { "feed-tall", 4000, 10, {} }, Case { "feed-para", 2000, -300, { 15 } } }) {
        desktop->setScroll(desktop->element("feed-scroll"), Point { 0, 60 + c.contentTop - 324 - c.delta });
        const size_t before = wheelValues(*desktop).size();
        readFeed(c.name);
        advance(3);
        reader->stop();
        const auto all = wheelValues(*desktop);
        EXPECT_EQ(std::vector<int32_t>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()), c.wheel) << c.delta;
    }
    EXPECT_TRUE(log.contains("[scroll] CGEvent wheel lines=-2 at (550,550)"));
}

TEST_F(WheelScrollTest, AChainStopsWhenAnotherReadingStartsMeanwhile)
{
    desktop->setScroll(desktop->element("feed-scroll"), Point { 0, 60 + 2000 - 324 - 1000 });
    readFeed("feed-para");
    ASSERT_TRUE(advanceUntil([&] { return !wheelValues(*desktop).empty(); }, 5, 0.05));
    ASSERT_EQ(wheelValues(*desktop).size(), 1u);
    // The next reading's paragraph is on screen: nothing of its own to scroll.
    desktop->setScroll(desktop->element("feed-scroll"), Point { 0, 9000 - 400 });
    reader->stop();
    readFeed("feed-other");
    advance(3);
    EXPECT_EQ(wheelValues(*desktop).size(), 1u) << "the first reading's chain scrolled the new one";
    EXPECT_EQ(desktop->frameOf(desktop->element("feed-other"))->minY(), 460);
}

} // namespace
} // namespace lorvantine::test
