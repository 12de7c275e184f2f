#include "App/AppTest.h"
#include "App/WindowMonitor.h"
#include "Audio/AudioPlayer.h"
#include "Overlay/ReadButton.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/Toolkit/Popover.h"
#include "Platform/Toolkit/StatusItem.h"
#include "Platform/WorkspacePort.h"
#include "SimDesktop/Model/SimFixtureLoader.h"
#include "TestSupport/ForwardingAccessibility.h"
#include "TestSupport/LongArticle.h"

#include <atomic>

namespace lorvantine::test {
namespace {

constexpr const char* articleTitleLine = "[StatusBar] 开始朗读: ";
constexpr const char* stopLine = "[StatusBar] 停止朗读";

// Holds the document search (every accessibility read made off the main thread, from the one
// after `afterReads` more on) until the test lets it go. The held thread waits on a dispatch
// semaphore, which the dispatch machinery counts as idle.
class HeldSearchAccessibility final : public ForwardingAccessibility {
public:
    using ForwardingAccessibility::ForwardingAccessibility;

    void hold(int afterReads = 0)
    {
        m_holdFrom = m_reads + afterReads;
        m_holding = true;
    }
    void release()
    {
        m_holding = false;
        for (int i = m_waiting.exchange(0); i > 0; --i)
            m_gate.signal();
    }
    int searchesHeld() const { return m_searches; }
    // Reads made off the main thread so far.
    int searchReads() const { return m_reads; }

    AXError copyAttributeValue(const AXElement& element, const std::string& attribute, AXValue& out) override
    {
        const bool search = !RunLoop::isMainThread();
        if (search && ++m_reads > m_holdFrom && m_holding) {
            thread_local bool counted = false;
            if (!counted) {
                counted = true;
                ++m_searches;
            }
            ++m_waiting;
            m_gate.wait();
            counted = false;
        }
        return ForwardingAccessibility::copyAttributeValue(element, attribute, out);
    }

private:
    std::atomic<bool> m_holding { false };
    std::atomic<int> m_holdFrom { 0 };
    std::atomic<int> m_reads { 0 };
    std::atomic<int> m_waiting { 0 };
    std::atomic<int> m_searches { 0 };
    Semaphore m_gate { 0 };
};

class StatusBarControllerTest : public AppTest {
protected:
    // A button of the program, found by its image's description as a user of accessibility finds it.
    std::optional<AXElement> buttonDescribed(const std::string& description)
    {
        for (const AXElement& button : findAll(programElement(), "AXButton"))
            if (attribute<std::string>(button, "AXDescription") == description)
                return button;
        return std::nullopt;
    }
    std::optional<AXElement> statusButton() { return buttonDescribed("Lorvantine"); }
    std::optional<AXElement> buttonTitled(const std::string& key)
    {
        return find(programElement(), "AXButton", LocalizedStrings::string(key));
    }
    std::string frontBundleID() { return Platform::workspace().frontmostApplication()->bundleIdentifier.value_or(""); }

    // Reading the article, the person follows a link: the window shows another one, which the
    // session's next check of the window sees.
    void followALinkWhileReading()
    {
        start();
        hotkey();
        ASSERT_TRUE(controller->isReading());
        desktop->setAttribute(desktop->element("safari-web"), AXName::description, std::string("Letters to a Young Listener – Example Press"));
        advance(1.0);
        ASSERT_EQ(linesWith("[ArticleReader] 🔄 文章已切换"), 1u);
        ASSERT_FALSE(reader->isReading());
    }
};

TEST_F(StatusBarControllerTest, TheHotkeyIsControlShiftRWithOrWithoutOptionButNeverWithCommand)
{
    start();
    struct Case {
        const char* name;
        uint16_t key;
        uint64_t flags;
        bool toggles;
    };
    const Case cases[] = {
        { "Control+Shift+R", 15, controlShift, true },
        { "Control+Shift+Option+R", 15, controlShift | EventFlags::maskAlternate, true },
        { "Control+Shift+R with Caps Lock", 15, controlShift | 0x10000, true },
        { "Control+Shift+Command+R", 15, controlShift | EventFlags::maskCommand, false },
        { "Control+R", 15, EventFlags::maskControl, false },
        { "Shift+R", 15, EventFlags::maskShift, false },
        { "Control+Shift+T", 17, controlShift, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        key(c.key, c.flags);
        settle();
        EXPECT_EQ(controller->isReading(), c.toggles);
        if (controller->isReading())
            hotkey();
        EXPECT_FALSE(controller->isReading());
    }
}

TEST_F(StatusBarControllerTest, TheHotkeyReadsTheSafariWindowWithTheMiniPlayerOnItAndStopsAgain)
{
    start();
    ASSERT_EQ(readButtons().size(), 1u);

    hotkey();
    EXPECT_TRUE(log.contains(std::string(articleTitleLine) + "The Quiet Art of Reading Aloud"));
    EXPECT_TRUE(controller->isReading());
    EXPECT_TRUE(reader->isReading());
    EXPECT_EQ(controller->currentReadingWindow(), desktop->windowElement(safariWindow));
    const auto players = miniPlayers();
    ASSERT_EQ(players.size(), 1u);
    const Rect window = *desktop->windowFrame(safariWindow);
    EXPECT_TRUE(window.intersects(players[0]));
    EXPECT_GT(players[0].midX(), window.midX());
    EXPECT_GT(players[0].midY(), window.midY());
    EXPECT_TRUE(readButtons().empty());
    EXPECT_EQ(frontBundleID(), "com.apple.Safari");

    hotkey();
    EXPECT_TRUE(log.contains(stopLine));
    EXPECT_FALSE(controller->isReading());
    EXPECT_FALSE(reader->isReading());
    EXPECT_TRUE(miniPlayers().empty());
    // Back at once, not at the next poll.
    EXPECT_EQ(readButtons().size(), 1u);
}

TEST_F(StatusBarControllerTest, ThePopoverReadsAFifthOfASecondAfterItClosesAndStopsTheNextTime)
{
    start();
    auto button = statusButton();
    ASSERT_TRUE(button);
    press(*button);
    ASSERT_TRUE(controller->popover().isShown());
    const auto cards = programWindowsOfSize(Size { 320, 280 });
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_GE(cards[0].minY(), 25); // below the menu bar
    EXPECT_LE(cards[0].maxX(), 1440);

    auto read = buttonTitled("popover.action.read_current");
    ASSERT_TRUE(read);
    press(*read);
    EXPECT_FALSE(controller->popover().isShown());
    advance(0.05);
    settle();
    EXPECT_FALSE(controller->isReading());
    advance(0.06);
    settle();
    EXPECT_TRUE(controller->isReading());
    EXPECT_EQ(miniPlayers().size(), 1u);

    press(*statusButton());
    press(*buttonTitled("popover.action.read_current"));
    advance(0.1);
    settle();
    EXPECT_FALSE(controller->isReading());
    EXPECT_EQ(frontBundleID(), "com.apple.Safari");
}

TEST_F(StatusBarControllerTest, ThePopoverClosesOnAClickElsewhereAndTogglesFromItsButton)
{
    start();
    int preferencesShown = 0;
    controller->onOpenPreferences = [&] { ++preferencesShown; };
    // The status item sits at the right end of the menu bar.
    const Point item { 1440 - StatusItem::rightMargin - 12.5, 12 };
    click(item);
    ASSERT_TRUE(controller->popover().isShown());
    click(item);
    EXPECT_FALSE(controller->popover().isShown());

    click(item);
    ASSERT_TRUE(controller->popover().isShown());
    click(Point { 700, 400 }); // the Safari page
    EXPECT_FALSE(controller->popover().isShown());
    EXPECT_EQ(frontBundleID(), "com.apple.Safari");

    click(item);
    auto gear = buttonDescribed(LocalizedStrings::string("popover.settings.tooltip"));
    ASSERT_TRUE(gear);
    press(*gear);
    EXPECT_FALSE(controller->popover().isShown());
    EXPECT_EQ(preferencesShown, 1);
}

TEST_F(StatusBarControllerTest, SpeedAndVoiceChangesAreWrittenWithTheirLanguageCopiesAndCloseBringsTheButtonBack)
{
    start();
    hotkey();
    MiniPlayer* player = controller->miniPlayer();
    ASSERT_TRUE(player);
    ASSERT_FALSE(reader->detectedIsZh());

    player->onSpeedChange(1.25f);
    EXPECT_FLOAT_EQ(reader->player().rate, 1.25f);
    EXPECT_FLOAT_EQ(PreferencesModel::speed(PreferencesModel::Key::defaultSpeed), 1.25f);
    EXPECT_FLOAT_EQ(PreferencesModel::speed(PreferencesModel::Key::defaultSpeedEn), 1.25f);
    EXPECT_FALSE(defaults->object(PreferencesModel::Key::defaultSpeedZh));

    struct VoiceCase {
        const char* code;
        const char* copy;
    };
    for (const VoiceCase& c : { VoiceCase { "zm_009", PreferencesModel::Key::defaultVoiceZh },
                                VoiceCase { "bf_emma", PreferencesModel::Key::defaultVoiceEn } }) {
        SCOPED_TRACE(c.code);
        player->onVoiceChange(c.code);
        EXPECT_EQ(reader->currentVoice(), c.code);
        EXPECT_EQ(PreferencesModel::voice(PreferencesModel::Key::defaultVoice), c.code);
        EXPECT_EQ(PreferencesModel::voice(c.copy), c.code);
    }

    // The card's close button (x 236…260, y 12…36 of the 288 × 72 card, y upward).
    const Rect card = miniPlayers().at(0);
    click(Point { card.minX() + 248, card.maxY() - 24 });
    EXPECT_FALSE(controller->isReading());
    EXPECT_FALSE(reader->isReading());
    EXPECT_TRUE(miniPlayers().empty());
    EXPECT_EQ(readButtons().size(), 1u);
}

TEST_F(StatusBarControllerTest, WithoutTrustOnlyThePromptIsJournaledBesideThePermissionLine)
{
    start();
    desktop->setTrusted(false);
    desktop->clearJournal();
    log.clear();
    hotkey();
    std::vector<SimJournalEntry::Kind> kinds;
    for (const SimJournalEntry& entry : desktop->journal())
        if (entry.kind != SimJournalEntry::Kind::event) // the test's own key presses
            kinds.push_back(entry.kind);
    EXPECT_EQ(kinds, std::vector<SimJournalEntry::Kind> { SimJournalEntry::Kind::trustPrompt });
    EXPECT_EQ(linesWith("[StatusBar] 需要辅助功能权限"), 1u);
    EXPECT_FALSE(log.contains(articleTitleLine));
    EXPECT_FALSE(controller->isStarting());
    EXPECT_TRUE(miniPlayers().empty());
}

TEST_F(StatusBarControllerTest, NoDocumentSaysSoAndLeavesRoomForTheNextStart)
{
    start();
    const ProcessID notepad = desktop->addApplication({ .pid = 800, .bundleIdentifier = "com.example.Notepad", .active = true });
    desktop->addWindow(notepad, SimWindow { .title = "Notes", .frame = Rect(200, 100, 500, 300), .main = true });
    desktop->setFrontmost(notepad);
    RunLoop::runPending();

    hotkey();
    EXPECT_EQ(linesWith("[StatusBar] 未找到可朗读的文档"), 1u);
    EXPECT_FALSE(controller->isStarting());
    EXPECT_FALSE(controller->isReading());
    EXPECT_TRUE(miniPlayers().empty());

    desktop->setFrontmost(521);
    RunLoop::runPending();
    hotkey();
    EXPECT_TRUE(controller->isReading());
}

TEST_F(StatusBarControllerTest, TheReadWindowClosingEndsTheReading)
{
    start();
    hotkey();
    ASSERT_TRUE(controller->isReading());
    desktop->closeWindow(safariWindow);
    advance(1.0);
    settle();
    EXPECT_FALSE(controller->isReading());
    EXPECT_FALSE(reader->isReading());
    EXPECT_TRUE(miniPlayers().empty());
    EXPECT_TRUE(readButtons().empty());
}

TEST_F(StatusBarControllerTest, AnotherApplicationInFrontLeavesTheReadingOfAWindowThatStillAnswers)
{
    start();
    hotkey();
    ASSERT_TRUE(controller->isReading());
    const ProcessID notepad = desktop->addApplication({ .pid = 800, .bundleIdentifier = "com.example.Notepad" });
    desktop->addWindow(notepad, SimWindow { .title = "Notes", .frame = Rect(200, 100, 500, 300), .main = true });
    desktop->setFrontmost(notepad);
    RunLoop::runPending();
    advance(2.0);
    settle();

    EXPECT_TRUE(log.contains("[WinMon] front app: com.example.Notepad (not in whitelist)"));
    EXPECT_TRUE(readButtons().empty());
    EXPECT_TRUE(controller->isReading());
    EXPECT_TRUE(reader->isReading());
    EXPECT_EQ(controller->currentReadingWindow(), desktop->windowElement(safariWindow));
    EXPECT_FALSE(log.contains(stopLine));
}

TEST_F(StatusBarControllerTest, PressesOfTheReadButtonWhileTheDocumentIsSoughtStartOneReadingWithOneMiniPlayer)
{
    auto held = std::make_shared<HeldSearchAccessibility>(desktop->services().accessibility);
    PlatformServices services = desktop->services();
    services.accessibility = held;
    Platform::ScopedServices scoped(services);
    start();
    held->hold();

    auto playButton = buttonDescribed(LocalizedStrings::string("accessibility.speak_icon"));
    ASSERT_TRUE(playButton);
    press(*playButton); // the read button on the window
    settle();
    EXPECT_TRUE(controller->isStarting());
    EXPECT_TRUE(controller->readButton().isLoading());
    ASSERT_EQ(readButtons().size(), 1u);
    const Rect spinning = readButtons()[0];
    click(Point { spinning.midX(), spinning.midY() }); // ignored while it spins
    settle();
    EXPECT_EQ(held->searchesHeld(), 1);

    held->release();
    settle();
    EXPECT_FALSE(controller->isStarting());
    EXPECT_TRUE(controller->isReading());
    EXPECT_EQ(linesWith(articleTitleLine), 1u);
    EXPECT_EQ(miniPlayers().size(), 1u);
}

// Safari showing an article of two thousand paragraphs, whose search is held part-way down the
// page.
class LongPageControllerTest : public StatusBarControllerTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        auto fixture = SimFixtureLoader::parse(longArticle(2000).dump(), "long-article.json");
        EXPECT_TRUE(fixture) << fixture.error();
        return SimDesktop::create(fixture ? *fixture : SimFixture {});
    }
    void SetUp() override
    {
        StatusBarControllerTest::SetUp();
        held = std::make_shared<HeldSearchAccessibility>(desktop->services().accessibility);
        PlatformServices services = desktop->services();
        services.accessibility = held;
        m_scoped.emplace(services);
        start();
        held->hold(500);
    }
    void TearDown() override
    {
        held->release();
        settle();
        m_scoped.reset();
        StatusBarControllerTest::TearDown();
    }
    // The reads the whole page takes are many thousands.
    static constexpr int fewReads = 5;
    std::shared_ptr<HeldSearchAccessibility> held;

private:
    std::optional<Platform::ScopedServices> m_scoped;
};

// The toggle while the document is still sought is a stop: the search ends within a few reads of
// the long page, nothing is read, and the next toggle starts afresh.
TEST_F(LongPageControllerTest, TheToggleDuringTheSearchGivesItUpWithinAFewReads)
{
    hotkey();
    ASSERT_EQ(held->searchesHeld(), 1);
    EXPECT_TRUE(controller->isStarting());
    EXPECT_TRUE(controller->readButton().isLoading());

    const int readsAtStop = held->searchReads();
    hotkey();
    EXPECT_FALSE(controller->isStarting());
    EXPECT_FALSE(controller->readButton().isLoading());
    EXPECT_EQ(linesWith(stopLine), 1u);
    held->release();
    settle();
    EXPECT_LE(held->searchReads() - readsAtStop, fewReads);
    EXPECT_FALSE(controller->isReading());
    EXPECT_FALSE(reader->isReading());
    EXPECT_EQ(linesWith(articleTitleLine), 0u);
    EXPECT_EQ(linesWith("[StatusBar] 未找到可朗读的文档"), 0u);
    EXPECT_TRUE(miniPlayers().empty());

    // The popover's read action stops a search too.
    held->hold(500);
    auto status = statusButton();
    ASSERT_TRUE(status);
    for (int i = 0; i < 2; ++i) {
        press(*status);
        press(*buttonTitled("popover.action.read_current"));
        advance(0.1);
        settle();
    }
    EXPECT_EQ(held->searchesHeld(), 2);
    EXPECT_FALSE(controller->isStarting());
    EXPECT_EQ(linesWith(stopLine), 2u);
    held->release();
    settle();
    EXPECT_EQ(linesWith(articleTitleLine), 0u);

    hotkey();
    EXPECT_TRUE(controller->isReading());
    EXPECT_GE(reader->paragraphs().size(), 2000u);
    EXPECT_EQ(miniPlayers().size(), 1u);
}

// Quitting while the document is sought: the controller goes, and its search ends within a few
// reads instead of holding the end of the process up.
TEST_F(LongPageControllerTest, TheControllerGoingGivesTheSearchUpWithinAFewReads)
{
    hotkey();
    ASSERT_EQ(held->searchesHeld(), 1);
    const int readsAtQuit = held->searchReads();
    controller.reset();
    held->release();
    settle();
    EXPECT_LE(held->searchReads() - readsAtQuit, fewReads);
    EXPECT_FALSE(reader->isReading());
    EXPECT_EQ(linesWith(articleTitleLine), 0u);
}

TEST_F(StatusBarControllerTest, AReadingStoppedElsewhereLetsTheNextHotkeyStart)
{
    start();
    hotkey();
    ASSERT_TRUE(controller->isReading());
    reader->stop(); // Escape, through the selection watcher
    EXPECT_FALSE(controller->isReading());
    hotkey();
    EXPECT_TRUE(controller->isReading());
    EXPECT_EQ(linesWith(articleTitleLine), 2u);
    EXPECT_EQ(miniPlayers().size(), 1u);

    // A selection read over the window reading: the window road no longer reads.
    reader->stop();
    ArticleParagraph selection;
    selection.text = "A selected sentence of the article.";
    selection.role = "Selection";
    reader->startReading("Selection", desktop->windowElement(safariWindow), { selection }, "com.apple.Safari");
    EXPECT_FALSE(controller->isReading());
    hotkey();
    EXPECT_TRUE(controller->isReading());
    EXPECT_EQ(linesWith(articleTitleLine), 3u);
}

// The session reads the new article a moment later: the hotkey stops that reading as it stops the
// one it started, and does not read the window again from its top.
TEST_F(StatusBarControllerTest, TheHotkeyStopsTheReadingThatWentOnToTheArticleALinkOpened)
{
    followALinkWhileReading();
    advance(1.5);
    ASSERT_TRUE(reader->isReading());
    ASSERT_EQ(linesWith("[ArticleReader] ▶ "), 2u) << "the window read again by the session itself";
    EXPECT_TRUE(controller->isReading());

    hotkey();
    EXPECT_FALSE(reader->isReading());
    EXPECT_FALSE(controller->isReading());
    EXPECT_EQ(linesWith(articleTitleLine), 1u) << "stopped, not started again";
    EXPECT_TRUE(miniPlayers().empty());
    EXPECT_EQ(readButtons().size(), 1u);
    advance(3);
    EXPECT_FALSE(reader->isReading());
}

// In the moment before the new article is read, the hotkey calls that reading off.
TEST_F(StatusBarControllerTest, TheHotkeyBeforeTheNextArticleIsReadCallsItOff)
{
    followALinkWhileReading();
    advance(0.5);
    EXPECT_TRUE(controller->isReading());

    hotkey();
    EXPECT_FALSE(controller->isReading());
    EXPECT_TRUE(miniPlayers().empty());
    advance(3);
    EXPECT_FALSE(reader->isReading());
    EXPECT_EQ(linesWith("[ArticleReader] ▶ "), 1u) << "neither the new article nor the old one again";
}

// Escape in that moment calls the new article's reading off as well; the next press of the
// hotkey then reads the window, as after any other stop.
TEST_F(StatusBarControllerTest, AfterEscapeBeforeTheNextArticleIsReadTheHotkeyStartsAReading)
{
    followALinkWhileReading();
    advance(0.5);
    reader->stop(); // Escape, through the selection watcher
    EXPECT_FALSE(controller->isReading());
    advance(3);
    EXPECT_FALSE(reader->isReading()) << "the new article read after Escape";

    hotkey();
    EXPECT_TRUE(controller->isReading());
    EXPECT_TRUE(reader->isReading());
    EXPECT_EQ(linesWith(articleTitleLine), 2u);
    EXPECT_EQ(miniPlayers().size(), 1u);
}

TEST_F(StatusBarControllerTest, TheWindowRoadLetsGoOfWhatASelectionReadingArmed)
{
    start();
    int released = 0;
    controller->onWindowReadingWillStart = [&] { ++released; };
    reader->onFirstPlaying = [] {};
    reader->onError = [](const ErrorValue&) {};
    ArticleParagraph selection;
    selection.text = "A selection still loading.";
    selection.role = "Selection";
    reader->startReading("Selection", desktop->windowElement(safariWindow), { selection }, "com.apple.Safari");

    hotkey();
    EXPECT_EQ(released, 1);
    EXPECT_FALSE(reader->onFirstPlaying);
    EXPECT_FALSE(reader->onError);
    EXPECT_TRUE(controller->isReading());
    EXPECT_GT(reader->paragraphs().size(), 1u);
}

TEST_F(StatusBarControllerTest, TheWhitelistLineIsWrittenAtEveryCheck)
{
    start();
    const size_t before = linesWith("[WinMon] front app: com.apple.Safari ✓ whitelist");
    advance(3.0);
    EXPECT_EQ(linesWith("[WinMon] front app: com.apple.Safari ✓ whitelist"), before + 3);
}

TEST_F(StatusBarControllerTest, TheHotkeyTapIsSwitchedOnAgainWhenTheSystemSwitchesItOff)
{
    start();
    EXPECT_TRUE(controller->hasHotkey());
    EXPECT_TRUE(log.contains("[Hotkey] Ctrl+Shift+R 已注册"));
    for (auto reason : { EventTapDisabledReason::timeout, EventTapDisabledReason::userInput }) {
        desktop->disableEventTaps(reason);
        RunLoop::runPending();
        hotkey();
        EXPECT_TRUE(controller->isReading());
        hotkey();
        EXPECT_FALSE(controller->isReading());
    }
}

TEST_F(StatusBarControllerTest, InputMonitoringGrantedAfterLaunchBringsTheHotkeyWithinASecond)
{
    desktop->setInputMonitoring(InputMonitoringAccess::denied);
    start();
    EXPECT_FALSE(controller->hasHotkey());
    hotkey();
    EXPECT_FALSE(controller->isReading());

    advance(3);
    EXPECT_EQ(linesWith("[Hotkey] 无法注册全局快捷键（需要辅助功能权限）"), 1u) << "said once, not every second";
    desktop->setInputMonitoring(InputMonitoringAccess::granted);
    advance(1);
    EXPECT_TRUE(controller->hasHotkey());
    EXPECT_EQ(linesWith("[Hotkey] Ctrl+Shift+R 已注册"), 1u);
    hotkey();
    EXPECT_TRUE(controller->isReading());
    hotkey();
    EXPECT_FALSE(controller->isReading());
}

TEST_F(StatusBarControllerTest, WithoutATapTheRestStillWorks)
{
    desktop->setEventTapsAvailable(false);
    start();
    EXPECT_FALSE(controller->hasHotkey());
    EXPECT_TRUE(log.contains("[Hotkey] 无法注册全局快捷键（需要辅助功能权限）"));
    hotkey();
    EXPECT_FALSE(controller->isReading());
    press(*statusButton());
    press(*buttonTitled("popover.action.read_current"));
    advance(0.1);
    settle();
    EXPECT_TRUE(controller->isReading());
}

} // namespace
} // namespace lorvantine::test
