#include "CLI/PageAdvanceTest.h"

#include "Support/Log.h"
#include "Support/Text.h"

#include <gmock/gmock.h>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kindleID = "com.amazon.Lassen";
constexpr const char* booksID = "com.apple.iBooksX";

class PageTurnTest : public PageAdvanceTest {
protected:
    PageOutcome turn(const std::string& bundleID)
    {
        return await([&](CLIRouter::PageCompletion completion) { CLIRouter::turnPage(bundleID, std::move(completion)); });
    }

    std::vector<SimJournalEntry> keyEvents()
    {
        std::vector<SimJournalEntry> keys;
        for (const SimJournalEntry& entry : desktop->journal())
            if (entry.kind == SimJournalEntry::Kind::event && entry.event && entry.event->isKeyboard())
                keys.push_back(entry);
        return keys;
    }

    int pagesTurned()
    {
        int count = 0;
        for (const SimJournalEntry& entry : desktop->journal())
            count += entry.kind == SimJournalEntry::Kind::reaction && entry.name == "pageTurned";
        return count;
    }

    int keyDowns()
    {
        int count = 0;
        for (const SimJournalEntry& entry : keyEvents())
            count += entry.event->type == InputEventType::keyDown;
        return count;
    }
};

std::string textOf(const PageOutcome& outcome)
{
    return outcome.paragraphs && !outcome.paragraphs->empty() ? outcome.paragraphs->front().text : std::string();
}

SimElement* elementNamed(std::vector<SimElement>& elements, const std::string& name)
{
    for (SimElement& element : elements) {
        if (element.name == name)
            return &element;
        if (SimElement* found = elementNamed(element.children, name))
            return found;
    }
    return nullptr;
}

TEST_F(PageTurnTest, KindleTurnsByKeyFromBehindAMinimizedWindowAndGivesTheNextPage)
{
    use(fixtureNamed("kindle-book.json"));
    const uint32_t kindleWindow = 6200;
    desktop->minimizeWindow(kindleWindow);
    ASSERT_TRUE(desktop->setFrontmost(610)); // the Finder is in front
    desktop->clearJournal();
    Log::Capture log;

    PageOutcome outcome = turn(kindleID);
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_TRUE(outcome.onMainThread);
    ASSERT_TRUE(outcome.paragraphs);
    ASSERT_EQ(outcome.paragraphs->size(), 1u);
    EXPECT_THAT(textOf(outcome), ::testing::StartsWith("One winter a storm broke the lantern glass"));

    // What the reader did to Kindle, in order.
    std::vector<std::string> steps;
    for (const SimJournalEntry& entry : desktop->journal()) {
        switch (entry.kind) {
        case SimJournalEntry::Kind::setAttribute:
            steps.push_back(entry.name + "=" + (std::get<bool>(entry.value) ? "true" : "false"));
            break;
        case SimJournalEntry::Kind::appleScript: steps.push_back(entry.name); break;
        case SimJournalEntry::Kind::activate: steps.push_back("activate " + std::to_string(entry.pid)); break;
        case SimJournalEntry::Kind::event:
            steps.push_back(std::string(entry.event->type == InputEventType::keyDown ? "down " : "up ")
                            + std::to_string(entry.event->keyCode) + (entry.tap == EventTap::hid ? " hid" : " other")
                            + (entry.event->source == EventSourceState::combinedSession ? " combined" : ""));
            break;
        default: break;
        }
    }
    EXPECT_THAT(steps, ElementsAre("AXMinimized=false", "tell application id \"com.amazon.Lassen\" to activate", "activate 620",
                                   "down 124 hid combined", "up 124 hid combined", "AXMinimized=true", "activate 610"));
    EXPECT_TRUE(log.contains("[Kindle] 📖 翻页: AS activate + key (minimized=true, back to Finder)"));
    EXPECT_TRUE(log.contains("[Kindle] 📖 翻页 pid=620"));
    EXPECT_EQ(log.linesContaining("[Kindle] 📖 翻页成功 (poll=").size(), 1u);
}

TEST_F(PageTurnTest, TheReaderInFrontIsNotActivatedAgainAndTheLastPageEndsAfterTwoPresses)
{
    use(fixtureNamed("kindle-book.json"));
    EXPECT_THAT(textOf(turn(kindleID)), HasSubstr("One winter"));
    EXPECT_THAT(textOf(turn(kindleID)), HasSubstr("In spring a letter came"));
    desktop->clearJournal();
    Log::Capture log;

    PageOutcome last = turn(kindleID);
    EXPECT_EQ(last.calls, 1);
    EXPECT_FALSE(last.paragraphs);
    EXPECT_EQ(keyDowns(), 2);
    for (const SimJournalEntry& entry : desktop->journal())
        EXPECT_FALSE(entry.kind == SimJournalEntry::Kind::activate && entry.pid != 620) << "activated " << entry.pid;
    EXPECT_EQ(log.linesContaining("[Kindle] 📖 首次翻页未响应，重试").size(), 1u);
    ASSERT_EQ(log.linesContaining("，已到末尾").size(), 1u);
    EXPECT_THAT(log.linesContaining("，已到末尾").front(), ::testing::MatchesRegex(R"(\[Kindle\] 📖 翻页后内容未变 \([0-9]+ms\)，已到末尾)"));
}

TEST_F(PageTurnTest, APageThatChangesAfterThePollHasGivenUpIsNotTurnedTwice)
{
    // Seconds from the key to the change. The poll starts 0.16 s after the key and gives up after
    // twenty tries, at 0.76 s; the look 0.3 s later is the last before a second press.
    for (double delay : { 0.65 /* late, still seen by the poll */, 0.9 /* seen only by the look after it */ }) {
        SimFixture fixture = fixtureNamed("kindle-book.json");
        fixture.applications[1].behaviours.paging->delay = delay;
        use(fixture);
        Log::Capture log;

        PageOutcome outcome = turn(kindleID);
        EXPECT_THAT(textOf(outcome), ::testing::StartsWith("One winter")) << delay;
        EXPECT_EQ(keyDowns(), 1) << delay;
        EXPECT_FALSE(log.contains("首次翻页未响应")) << delay;
    }
}

TEST_F(PageTurnTest, KindleReadsAPartTitleAndAShortLastPageEachAfterOnePress)
{
    SimFixture fixture = fixtureNamed("kindle-book.json");
    std::vector<std::string>& texts = fixture.applications[1].behaviours.paging->texts;
    texts = { texts[0], "PART TWO", texts[1], "Thus ends the story." };
    use(fixture);

    for (const char* expected : { "PART TWO", "One winter a storm broke the lantern glass, and he mended it with canvas before dawn.",
                                  "Thus ends the story." }) {
        desktop->clearJournal();
        EXPECT_EQ(textOf(turn(kindleID)), expected);
        EXPECT_EQ(keyDowns(), 1) << expected;
    }
    desktop->clearJournal();
    Log::Capture log;
    EXPECT_FALSE(turn(kindleID).paragraphs);
    EXPECT_EQ(keyDowns(), 2);
    EXPECT_EQ(log.linesContaining("[Kindle] 📖 翻页后内容未变 (").size(), 1u);
}

TEST_F(PageTurnTest, KindleTurnsPastUpToThreePicturesInARowAndAPictureAtTheEndEndsTheBook)
{
    SimFixture fixture = fixtureNamed("kindle-book.json");
    std::vector<std::string>& texts = fixture.applications[1].behaviours.paging->texts;
    texts = { texts[0], "", "", "", texts[1], "" };
    use(fixture);
    Log::Capture log;

    EXPECT_THAT(textOf(turn(kindleID)), ::testing::StartsWith("One winter"));
    EXPECT_EQ(keyDowns(), 4);
    EXPECT_EQ(log.linesContaining("[Kindle] 📖 本页无可读内容，继续翻页 (").size(), 3u);
    EXPECT_TRUE(log.contains("[Kindle] 📖 本页无可读内容，继续翻页 (3/3)"));

    // Past the last picture nothing changes, which blank pages cannot show: three more presses, then the end.
    desktop->clearJournal();
    log.clear();
    EXPECT_FALSE(turn(kindleID).paragraphs);
    EXPECT_EQ(keyDowns(), 4);
    EXPECT_EQ(log.linesContaining("[Kindle] 📖 翻页后内容未变 (").size(), 1u);
    EXPECT_FALSE(log.contains("首次翻页未响应"));
}

// A scanned book in Kindle: the page element gives accessibility no text at all, only the picture
// shows the words. The third page is a picture without words.
TEST_F(PageTurnTest, KindleReadsAScannedBookByItsPicturesOnePressAPage)
{
    SimFixture fixture = fixtureNamed("kindle-book.json");
    std::vector<std::string>& texts = fixture.applications[1].behaviours.paging->texts;
    texts = { texts[0], texts[1], "", texts[2] };
    SimElement* page = elementNamed(fixture.applications[1].windows[0].children, "page");
    ASSERT_NE(page, nullptr);
    page->attributes.erase("AXValue");
    use(fixture);
    Log::Capture log;

    desktop->clearJournal();
    EXPECT_EQ(textOf(turn(kindleID)), "One winter a storm broke the lantern glass, and he mended it with canvas before dawn.");
    EXPECT_EQ(keyDowns(), 1);
    desktop->clearJournal();
    EXPECT_EQ(textOf(turn(kindleID)), "In spring a letter came: a machine would keep the light, and he went home.");
    EXPECT_EQ(keyDowns(), 2) << "one press onto the picture, one past it";
    EXPECT_EQ(log.linesContaining("[Kindle] 📖 本页无可读内容，继续翻页 (1/3)").size(), 1u);
    EXPECT_FALSE(log.contains("首次翻页未响应"));

    desktop->clearJournal();
    log.clear();
    EXPECT_FALSE(turn(kindleID).paragraphs);
    EXPECT_EQ(keyDowns(), 2);
    EXPECT_EQ(log.linesContaining("[Kindle] 📖 翻页后内容未变 (").size(), 1u);
}

// The Salt Road in Books: seven scanned pages, nothing on them but pictures of their text; the
// fourth is an engraving without words.
TEST_F(PageTurnTest, BooksTellsTheTurnsOfAScannedBookByItsPicturesAndReadsEveryPage)
{
    use(fixtureNamed("books-scanned.json"));
    Log::Capture log;
    int turned = 0;
    struct Step {
        const char* opening;
        int presses;
    };
    for (const Step& step : std::vector<Step> { { "Martha drove the last cart.", 1 },
                                                { "Beyond the mill the road climbed", 1 },
                                                { "They came to the market town at dusk.", 2 },
                                                { "She slept that night in the loft", 1 },
                                                { "In the morning they loaded wool", 1 } }) {
        desktop->clearJournal();
        log.clear();
        EXPECT_THAT(textOf(turn(booksID)), ::testing::StartsWith(step.opening));
        EXPECT_EQ(keyDowns(), step.presses) << step.opening;
        turned += pagesTurned();
        // Seen by its picture, read by one recognition; the engraving takes one of its own.
        EXPECT_EQ(log.linesContaining("[VisionOCR] recognizeWords: ").size(), 1u) << step.opening;
        EXPECT_EQ(log.linesContaining("[Books] 📖 本页无可读内容，继续翻页 (1/3)").size(), step.presses == 2 ? 1u : 0u);
    }

    desktop->clearJournal();
    log.clear();
    EXPECT_FALSE(turn(booksID).paragraphs);
    EXPECT_EQ(keyDowns(), 2);
    EXPECT_EQ(log.linesContaining("[Books] 📖 首次翻页未响应，重试").size(), 1u);
    EXPECT_EQ(log.linesContaining("[Books] 📖 翻页后内容未变 (").size(), 1u);
    EXPECT_EQ(turned + pagesTurned(), 6) << "on its last page";
}

// The words drawn on a page of books-scanned.json, as recognition reads the page at rest.
std::string scannedPage(const SimFixture& fixture, const std::string& name)
{
    std::vector<SimElement> windows = fixture.applications[0].windows[0].children;
    const SimElement* page = elementNamed(windows, name);
    std::string words;
    if (page)
        for (const SimElement& line : page->children)
            words += (words.empty() ? "" : " ") + Text::joined(Text::splitOnWhitespace(line.text.value_or("")), " ");
    return words;
}

// Books slides its pages across as they turn: the picture changes many times before the new page
// stands still, and a half-turned page shows pieces of two.
TEST_F(PageTurnTest, BooksReadsAScannedPageOnlyOnceItHasSlidIntoPlace)
{
    SimFixture fixture = fixtureNamed("books-scanned.json");
    SimPaging& paging = *fixture.applications[0].behaviours.paging;
    paging.slideFrames = 30;
    paging.slideSeconds = 0.5;
    use(fixture);
    Log::Capture log;

    PageOutcome outcome = turn(booksID);
    EXPECT_EQ(textOf(outcome), scannedPage(fixture, "page-2"));
    EXPECT_EQ(keyDowns(), 1);
    EXPECT_EQ(log.linesContaining("[VisionOCR] recognizeWords: ").size(), 1u) << "one recognition, of the page at rest";
}

// A reading that stops while the page's picture is taken, before the press that turns it.
TEST_F(PageTurnTest, AReadingStoppedBeforeAScannedPageTurnsPressesNothing)
{
    SimFixture fixture = fixtureNamed("books-scanned.json");
    use(fixture);
    Log::Capture log;
    bool reading = true;

    PageOutcome outcome = await([&](CLIRouter::PageCompletion completion) {
        CLIRouter::turnPage(booksID, std::move(completion), [&] { return reading; });
        reading = false;
    });
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.paragraphs);
    EXPECT_TRUE(keyEvents().empty());
    EXPECT_EQ(pagesTurned(), 0) << "the person's page stays where it was";
    EXPECT_TRUE(log.contains("[Books] 📖 阅读已停止，不再翻页"));
}

// The Lamplighter in Books: a chapter's first page, a page opening with a drop cap, a picture, a
// part title, a page of prose and one short last line.
TEST_F(PageTurnTest, BooksMendsTheDropCapOfALaterPageFromThatPagesOwnText)
{
    use(fixtureNamed("books-lamplighter.json"));
    Log::Capture log;

    PageOutcome outcome = turn(booksID);
    EXPECT_THAT(textOf(outcome), ::testing::StartsWith("When the wind rose he sheltered"));
    EXPECT_TRUE(log.contains("[Books] drop cap 修复: \"hen\" → \"When\"")) << ::testing::PrintToString(log.lines());
}

TEST_F(PageTurnTest, BooksTurnsPastAPictureAndReadsThePartTitleAndTheShortLastPage)
{
    use(fixtureNamed("books-lamplighter.json"));
    ASSERT_THAT(textOf(turn(booksID)), ::testing::StartsWith("When the wind rose"));

    desktop->clearJournal();
    Log::Capture log;
    EXPECT_EQ(textOf(turn(booksID)), "PART TWO");
    EXPECT_EQ(keyDowns(), 2) << "one press onto the picture, one past it";
    EXPECT_TRUE(log.contains("[Books] OCR 失败"));
    EXPECT_EQ(log.linesContaining("[Books] 📖 本页无可读内容，继续翻页 (1/3)").size(), 1u);
    EXPECT_FALSE(log.contains("首次翻页未响应"));

    desktop->clearJournal();
    EXPECT_THAT(textOf(turn(booksID)), ::testing::StartsWith("Years later the lamps were changed"));
    EXPECT_EQ(keyDowns(), 1);
    desktop->clearJournal();
    EXPECT_EQ(textOf(turn(booksID)), "Thus ends the story.");
    EXPECT_EQ(keyDowns(), 1);

    desktop->clearJournal();
    log.clear();
    EXPECT_FALSE(turn(booksID).paragraphs);
    EXPECT_EQ(keyDowns(), 2);
    EXPECT_EQ(log.linesContaining("[Books] 📖 翻页后内容未变 (").size(), 1u);
}

TEST_F(PageTurnTest, BooksPagesUnreadableWhileTheyTurnCountAsUnchangedUntilTheNewPageShows)
{
    SimFixture fixture = fixtureNamed("books-book.json");
    fixture.applications[0].behaviours.paging->unreadableReads = 4;
    use(fixture);
    Log::Capture log;

    PageOutcome outcome = turn(booksID);
    ASSERT_TRUE(outcome.paragraphs);
    EXPECT_THAT(textOf(outcome), ::testing::StartsWith("When the tide turned the fishermen"));
    EXPECT_EQ(keyDowns(), 1);
    // Each try reads the window twice (once as the focused window, once in the window list), so
    // the four failing reads take two tries and the third, 90 ms in, sees the new page.
    ASSERT_EQ(log.linesContaining("[Books] 📖 翻页成功").size(), 1u);
    EXPECT_THAT(log.linesContaining("[Books] 📖 翻页成功").front(), HasSubstr("(poll=90ms"));
}

TEST_F(PageTurnTest, AnotherApplicationTurnsThroughItsMenuItemAndPostsNoKeys)
{
    use(fixtureNamed("paged-app.json"));
    Log::Capture log;

    PageOutcome outcome = turn("com.example.Pager");
    // Only the book readers' text can be compared while polling, so the page never counts as
    // changed: the item is pressed twice and the document ends.
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.paragraphs);
    EXPECT_TRUE(keyEvents().empty());
    const AXElement item = desktop->element("next-page");
    int presses = 0;
    for (const SimJournalEntry& entry : desktop->journal())
        presses += entry.kind == SimJournalEntry::Kind::action && entry.name == "AXPress" && entry.element == item;
    EXPECT_EQ(presses, 2);
    EXPECT_EQ(log.linesContaining("[App] 📖 翻页: AX menu Cmd+→ → Go → Next Page").size(), 2u);
}

TEST_F(PageTurnTest, AnApplicationThatDoesNotRunGetsNothingAtOnce)
{
    use(fixtureNamed("paged-app.json"));
    Log::Capture log;
    int calls = 0;
    bool empty = false;
    CLIRouter::turnPage(kindleID, [&](std::optional<std::vector<ArticleParagraph>> paragraphs) {
        ++calls;
        empty = !paragraphs;
    });
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(empty);
    EXPECT_TRUE(log.contains("[Kindle] 📖 未找到进程"));
    EXPECT_TRUE(desktop->journal().empty());
}

} // namespace
} // namespace lorvantine
