// The reading keeps its paragraph in view with wheel events of its own; a selection offered
// meanwhile in another window stays, since that is not the person scrolling.

#include "Reading/ReadingTestSupport.h"

#include "Core/SelectionOCRDispatcher.h"
#include "Core/SelectionWatcher.h"
#include "SimDesktop/Model/SimFixtureLoader.h"

#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

// A feed without a scroll bar (the reading scrolls it with the wheel) and, beside it, an editor
// in which the person has just selected a line.
const char* feedAndEditor = R"({
  "screens": [{ "frame": [0, 0, 1600, 1200], "visibleFrame": [0, 25, 1600, 1175], "scale": 1 }],
  "applications": [
    { "pid": 30, "bundleID": "com.example.Feed", "name": "Feed", "active": true,
      "windows": [{ "number": 3, "name": "feed-window", "frame": [0, 0, 900, 1100], "main": true, "children": [
        { "role": "AXScrollArea", "name": "feed-scroll", "frame": [0, 60, 900, 1000], "scrollLine": 20, "children": [
          { "role": "AXGroup", "frame": [0, 0, 885, 20000], "children": [
            { "role": "AXStaticText", "name": "feed-para", "frame": [40, 2000, 800, 40], "text": "A post far down the feed." } ] }
        ] } ] }] },
    { "pid": 31, "bundleID": "com.example.Editor", "name": "Editor",
      "windows": [{ "number": 4, "name": "editor-window", "frame": [920, 100, 600, 400], "main": true, "children": [
        { "role": "AXTextArea", "name": "editor-text", "frame": [10, 40, 560, 300], "text": "A line the person selected." } ] }] }
  ]
})";

class ScrollBesideASelectionTest : public ReadingTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        auto fixture = SimFixtureLoader::parse(feedAndEditor, "feed-and-editor.json");
        EXPECT_TRUE(fixture) << fixture.error();
        return SimDesktop::create(*fixture);
    }
};

TEST_F(ScrollBesideASelectionTest, TheReadingsOwnWheelEventsLeaveTheOfferUp)
{
    SelectionOCRDispatcher dispatcher;
    auto watcher = std::make_shared<SelectionWatcher>(&dispatcher);
    int dismissals = 0;
    watcher->onDismiss = [&] { ++dismissals; };
    watcher->start();

    desktop->setScroll(desktop->element("feed-scroll"), Point { 0, 60 + 2000 - 324 - 1000 });
    ArticleParagraph paragraph;
    paragraph.element = desktop->element("feed-para");
    paragraph.text = "A post far down the feed.";
    paragraph.frame = desktop->frameOf(*paragraph.element).value_or(Rect());
    paragraph.role = "AXStaticText";
    reader->startReading("Feed", desktop->element("feed-window"), { paragraph }, "com.example.Feed");
    ASSERT_TRUE(advanceUntil([&] { return logCount("[scroll] CGEvent wheel") > 0; }, 10));
    advance(1);

    EXPECT_EQ(dismissals, 0);
    EXPECT_LT(desktop->frameOf(desktop->element("feed-para"))->maxY(), 940) << "the feed did scroll";
    watcher.reset();
}

} // namespace
} // namespace lorvantine::test
