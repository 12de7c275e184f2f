// The spoken paragraph is kept on screen in windows that scroll continuously: through the scroll
// bar where the page's height is known, else with the wheel; never in paged readers, and never
// once the reading that asked for it is over.

#include "Reading/ReadingTestSupport.h"

#include "Accessibility/NativeDocumentParser.h"
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

// A scroll area as applications give one: its content, then a vertical bar at 0 along its right
// edge. The area is named `name` + "-scroll" and its bar `name` + "-bar".
struct ScrollArea {
    std::string name;
    Rect frame;
    double scrollLine = 10;
    bool barSettable = false;
};

// One application, frontmost, whose window holds one scroll area around `content`, on one screen.
std::shared_ptr<SimDesktop> scrollingWindowDesktop(SimApplication app, SimWindow window, const ScrollArea& area, SimElement content,
                                                   Rect screen)
{
    SimElement bar("AXScrollBar");
    bar.named(area.name + "-bar").frame(Rect(area.frame.width() - 15, 0, 15, area.frame.height()));
    bar.with("AXOrientation", std::string("AXVerticalOrientation")).with("AXValue", 0.0);
    if (area.barSettable)
        bar.settable = { "AXValue" };
    SimElement scroll("AXScrollArea");
    scroll.named(area.name + "-scroll").frame(area.frame);
    scroll.scrollLine = area.scrollLine;
    scroll.child(std::move(content)).child(std::move(bar));
    window.children.push_back(std::move(scroll));
    SimFixture fixture = oneApplicationFixture(std::move(app), std::move(window));
    fixture.screens.push_back({ .frame = screen, .visibleFrame = Rect(screen.minX(), screen.minY() + 25, screen.width(), screen.height() - 25) });
    return SimDesktop::create(fixture);
}

// TextEdit as it opens a short document: the window at (260, 160), 640 × 420, its text from just
// under the title bar. The comfortable area runs from 220 to 420, so the document's first lines
// stand above it with the view already at the document's top.
class TextEditScrollTest : public ScrollIntoViewTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        SimElement text("AXTextArea",
                        "Reading list\n\n1. The Shallows \xE2\x80\x94 Nicholas Carr\n2. How to Read a Book \xE2\x80\x94 Mortimer Adler\n"
                        "3. The Old Ways \xE2\x80\x94 Robert Macfarlane\n\nFinish one before starting the next.");
        text.named("textedit-text").at({ 0, 0 }).sized(625).fontSize(13);
        return scrollingWindowDesktop({ .pid = 502, .bundleIdentifier = "com.apple.TextEdit", .localizedName = "TextEdit" },
                                      { .number = 8201, .title = "Reading list.txt", .name = "textedit-window", .frame = Rect(260, 160, 640, 420) },
                                      ScrollArea { .name = "textedit", .frame = Rect(0, 28, 640, 392), .scrollLine = 16 }, std::move(text),
                                      Rect(0, 0, 1440, 900));
    }
};

TEST_F(TextEditScrollTest, AScrollThatMovesNothingEndsTheChainAfterOneTry)
{
    auto merged = NativeDocumentParser::extractParagraphs(desktop->element("textedit-text"), "com.apple.TextEdit", 20);
    ASSERT_TRUE(merged);
    std::vector<ArticleParagraph> lines;
    for (const auto& entry : *merged)
        lines.push_back(entry.paragraph);
    ASSERT_GE(lines.size(), 2u);
    // The first two lines stand above the comfortable area, and the view cannot go further up.
    ASSERT_LT(lines[1].frame.minY(), 220);
    lines.resize(2);
    reader->startReading("Reading list.txt", desktop->element("textedit-window"), lines, "com.apple.TextEdit");
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    advance(3);
    // Each piece of speech starts a chain: one wheel turn each, after which the line was found
    // where it was.
    const size_t pieces = plays().size();
    ASSERT_GE(pieces, 2u);
    EXPECT_EQ(wheelValues(*desktop).size(), pieces);
    EXPECT_EQ(logCount("did not move, stop"), pieces);
    EXPECT_EQ(desktop->frameOf(desktop->element("textedit-text"))->minY(), 188);
}

// A web article whose body the page gives as one block of text, far taller than the window.
class TallParagraphScrollTest : public ScrollIntoViewTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        std::string letter;
        for (int i = 1; i <= 200; ++i)
            letter += "On day " + std::to_string(i)
                + " the letter tells of the canal, the weather over the locks and the boats that passed the keeper's house. ";
        letter.pop_back();
        SimElement body("AXStaticText", letter);
        body.named("letter").at({ 40, 1200 }).sized(800);
        SimElement web("AXWebArea");
        web.named("letter-web").at({ 0, 0 }).sized(885);
        web.padding = 0;
        web.with("AXDescription", std::string("Letters from the Canal"));
        web.child(SimElement("AXHeading", "Letters from the Canal").frame(Rect(40, 40, 800, 40))).child(std::move(body));
        return scrollingWindowDesktop({ .pid = 521, .bundleIdentifier = "com.apple.Safari", .localizedName = "Safari" },
                                      { .number = 9301, .title = "Letters from the Canal", .name = "letter-window", .frame = Rect(100, 0, 900, 1100) },
                                      ScrollArea { .name = "letter", .frame = Rect(0, 60, 900, 1000), .barSettable = true }, std::move(web),
                                      Rect(0, 0, 1600, 1200));
    }

    size_t piecesPlayed() const { return plays().size(); }
};

TEST_F(TallParagraphScrollTest, IsBroughtToTheTargetLineOnceAndLeftWhereTheReaderFollowsIt)
{
    const AXElement letter = desktop->element("letter");
    ASSERT_GT(desktop->frameOf(letter)->height(), 4000);
    ArticleParagraph p = paragraph("letter");
    reader->startReading("Letters from the Canal", desktop->element("letter-window"), { p }, "com.apple.Safari");
    ASSERT_TRUE(advanceUntil([&] { return piecesPlayed() >= 3; }));
    advance(1);
    const AXElement bar = desktop->element("letter-bar");
    EXPECT_EQ(barWrites(*desktop, bar).size(), 1u);
    // Its top on the line a third of the way down the comfortable area (60 to 940).
    EXPECT_NEAR(desktop->frameOf(letter)->minY(), 324, 1);

    // The reader scrolls on to follow the words spoken: the next pieces leave the view there.
    desktop->setScroll(desktop->element("letter-scroll"), Point { 0, 1200 - 264 + 1600 });
    const double top = desktop->frameOf(letter)->minY();
    ASSERT_LT(top, 0);
    const size_t before = piecesPlayed();
    ASSERT_TRUE(advanceUntil([&] { return piecesPlayed() >= before + 2; }));
    advance(1);
    EXPECT_EQ(barWrites(*desktop, bar).size(), 1u);
    EXPECT_EQ(desktop->frameOf(letter)->minY(), top);
    EXPECT_TRUE(wheelValues(*desktop).empty());
    EXPECT_GE(logCount("[scroll] para[0] taller than the view and in place, skip"), 3u);
}

} // namespace
} // namespace lorvantine::test
