#include "App/AppDelegate.h"
#include "App/ApplicationShell.h"
#include "App/OnboardingWindow.h"
#include "App/PreferencesWindow.h"
#include "AppTest.h"
#include "Core/SelectionWatcher.h"
#include "Platform/Toolkit/Alert.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/Toolkit/KeyEvent.h"
#include "Platform/Toolkit/Popover.h"
#include "Platform/Toolkit/StatusItem.h"
#include "Platform/Toolkit/Window.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/WorkspacePort.h"
#include "Support/Text.h"
#include "TestSupport/ManualClockTest.h"

#include <gmock/gmock.h>

namespace lorvantine::test {
namespace {

// The program as the application mode assembles it, on the Safari article desktop.
class ApplicationShellTest : public AppTest {
protected:
    void SetUp() override
    {
        AppTest::SetUp();
        LocalizedStrings::setLanguage(LocalizedStrings::Language::english);
    }
    void TearDown() override
    {
        if (delegate)
            controller = delegate->statusBarController();
        delegate.reset();
        RunLoop::runPending();
        LocalizedStrings::resetLanguage();
        AppTest::TearDown();
    }
    void launch()
    {
        delegate = AppDelegate::create(ApplicationShell::parts(reader));
        delegate->applicationDidFinishLaunching();
        settle();
    }
    std::vector<std::string> openedURLs()
    {
        std::vector<std::string> found;
        for (const SimJournalEntry& entry : desktop->journal())
            if (entry.kind == SimJournalEntry::Kind::openURL)
                found.push_back(entry.name);
        return found;
    }

    std::shared_ptr<AppDelegate> delegate;
};

TEST_F(ApplicationShellTest, TheHotkeyOnSafariReadsTheArticleWithTheMiniPlayerOnTheWindow)
{
    defaults->set("Lorvantine.hasCompletedOnboarding", true);
    launch();
    ASSERT_TRUE(delegate->statusBarController());
    EXPECT_FALSE(delegate->onboardingWindow()) << "onboarding was completed";

    hotkey();
    EXPECT_TRUE(delegate->statusBarController()->isReading());
    EXPECT_TRUE(reader->isReading());
    const auto players = miniPlayers();
    ASSERT_EQ(players.size(), 1u);
    EXPECT_TRUE(desktop->windowFrame(safariWindow)->intersects(players[0]));
}

TEST_F(ApplicationShellTest, AWindowReadingStartedWhileASelectionLoadsTakesDownTheBubbleAndItsWatchdog)
{
    defaults->set("Lorvantine.hasCompletedOnboarding", true);
    launch();
    const std::string text = "A sentence the user selected.";
    const AXElement element = desktop->windowElement(safariWindow);
    delegate->selectionWatcher()->onSelection(text, element, AXRange { 0, static_cast<int64_t>(Text::utf16Count(text)) },
                                              std::nullopt, Point { 400, 600 });
    RunLoop::runPending();
    ASSERT_TRUE(delegate->selectionBubble().panel());
    delegate->selectionBubble().onTap();
    RunLoop::runPending();
    ASSERT_EQ(delegate->selectionBubble().currentMode(), SelectionBubble::Mode::loading);
    ASSERT_TRUE(delegate->isWatchdogArmed());

    hotkey();
    EXPECT_TRUE(delegate->statusBarController()->isReading());
    EXPECT_FALSE(delegate->isWatchdogArmed());
    EXPECT_FALSE(delegate->selectionBubble().panel());
    // Past the time the watchdog had: the window reading goes on.
    advance(AppDelegate::watchdogSeconds(text.size()) + 1);
    EXPECT_TRUE(log.linesContaining("未进入 playing").empty());
    EXPECT_TRUE(delegate->statusBarController()->isReading());
}

TEST_F(ApplicationShellTest, AfterAWindowReadingTookOverALoadingSelectionAPlainClickOnThePageLeavesItReading)
{
    defaults->set("Lorvantine.hasCompletedOnboarding", true);
    launch();
    const std::string text = "A sentence the user selected.";
    delegate->selectionWatcher()->onSelection(text, desktop->windowElement(safariWindow),
                                              AXRange { 0, static_cast<int64_t>(Text::utf16Count(text)) }, std::nullopt, Point { 400, 600 });
    RunLoop::runPending();
    delegate->selectionBubble().onTap();
    RunLoop::runPending();
    ASSERT_TRUE(delegate->selectionWatcher()->frozen) << "the selection is loading";

    hotkey();
    ASSERT_TRUE(delegate->statusBarController()->isReading());
    EXPECT_FALSE(delegate->selectionWatcher()->frozen) << "new selections are offered again";

    // The person clicks into the article they are listening to.
    click(Point { 700, 400 });
    RunLoop::runPending();
    EXPECT_TRUE(reader->isReading());
    EXPECT_TRUE(delegate->statusBarController()->isReading());
}

// Listening to Safari, the person opens the mini player's speed menu, then the menu bar's popover,
// and thinks better of each: Escape closes it and the reading goes on. Escape with nothing open
// stops the reading, as ever.
TEST_F(ApplicationShellTest, EscapeWithTheSpeedMenuOrThePopoverOpenClosesOnlyThat)
{
    defaults->set("Lorvantine.hasCompletedOnboarding", true);
    launch();
    hotkey();
    ASSERT_TRUE(reader->isReading());
    const Rect card = miniPlayers().at(0);
    // The speed pop-up: x 92…146, y 11…37 of the card, which sits 12 points inside the panel.
    click(Point { card.minX() + 12 + 119, card.maxY() - 12 - 24 });
    ASSERT_TRUE(find(programElement(), "AXMenuItem", "1.0x")) << "the speed menu is open";
    key(KeyEvent::keyEscape, 0);
    EXPECT_FALSE(find(programElement(), "AXMenuItem")) << "the speed menu is closed";
    EXPECT_TRUE(reader->isReading()) << "Escape was the menu's";

    click(Point { 1440 - StatusItem::rightMargin - 12.5, 12 });
    ASSERT_TRUE(delegate->statusBarController()->popover().isShown());
    key(KeyEvent::keyEscape, 0);
    EXPECT_FALSE(delegate->statusBarController()->popover().isShown());
    EXPECT_TRUE(reader->isReading()) << "Escape was the popover's";
    EXPECT_EQ(Platform::workspace().frontmostApplication()->bundleIdentifier, "com.apple.Safari");

    key(KeyEvent::keyEscape, 0);
    EXPECT_FALSE(reader->isReading());
}

TEST_F(ApplicationShellTest, OnboardingIsShownUntilCompletedAndItsSettingsLinkOpensThroughTheWorkspace)
{
    launch();
    ASSERT_TRUE(delegate->onboardingWindow()) << "onboarding was never completed";
    ASSERT_TRUE(delegate->onboardingWindow()->window());

    delegate->onboardingWindow()->openAccessibilitySettings();
    EXPECT_THAT(openedURLs(), ::testing::ElementsAre(OnboardingWindow::accessibilitySettingsURL));
}

TEST_F(ApplicationShellTest, TheOnboardingResetAsksThroughAModalAlertWhoseButtonEndsIt)
{
    PreferencesWindow preferences;
    ApplicationShell::wire(preferences);
    defaults->set("Lorvantine.hasCompletedOnboarding", true);
    std::vector<std::string> shown;
    {
        Alert::ScopedResponder responder([&](Alert& alert) {
            shown.push_back(alert.messageText);
            EXPECT_FALSE(alert.informativeText.empty());
            ASSERT_EQ(alert.buttons().size(), 1u);
            auto pressed = find(programElement(), "AXButton", alert.buttons()[0]);
            ASSERT_TRUE(pressed);
            EXPECT_EQ(ax().performAction(*pressed, "AXPress"), AXError::success);
        });
        preferences.resetOnboarding();
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_FALSE(shown[0].empty());
    EXPECT_FALSE(Alert::current()) << "the button ended the alert";
    EXPECT_EQ(defaults->boolForKey("Lorvantine.hasCompletedOnboarding"), false);
}

// The reset's alert has no cancel button: Escape, typed with the program in front as over the
// preferences, leaves it waiting for its one button.
TEST_F(ApplicationShellTest, TheOnboardingResetAlertKeepsWaitingOnEscape)
{
    PreferencesWindow preferences;
    ApplicationShell::wire(preferences);
    int shown = 0;
    {
        Alert::ScopedResponder responder([&](Alert& alert) {
            ++shown;
            Application::shared().activate();
            key(KeyEvent::keyEscape, 0);
            EXPECT_EQ(Alert::current(), &alert) << "Escape leaves the alert waiting";
            EXPECT_EQ(programWindows().size(), 1u);
            auto ok = find(programElement(), "AXButton", alert.buttons().at(0));
            ASSERT_TRUE(ok);
            EXPECT_EQ(ax().performAction(*ok, "AXPress"), AXError::success);
        });
        preferences.resetOnboarding();
    }
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(Alert::current());
    EXPECT_TRUE(programWindows().empty());
}

// Left alone the program wakes at most five times a second. With a readable window in front the
// read button's fifth-of-a-second catch-up is the fastest timer, and the window monitor's
// once-a-second checks ride on its ticks however the two happen to fall; with nothing readable in
// front only the checks wake it. The onboarding window closed, Safari is in front again, with its
// read button. Nothing plays, so the audio heartbeat sleeps.
TEST_F(ApplicationShellTest, AtRestNothingWakesTheProgramMoreThanFiveTimesASecond)
{
    const std::string check = "[WinMon] front app: com.apple.Safari ✓ whitelist";
    defaults->set("Lorvantine.hasCompletedOnboarding", true);
    const ProcessID notepad = desktop->addApplication({ .pid = 800, .bundleIdentifier = "com.example.Notepad" });
    launch();
    advance(2.5);
    desktop->setFrontmost(notepad);
    RunLoop::runPending();
    advance(1.13);
    EXPECT_EQ(mainWakesOver(*clock, seconds(10)), 10) << "nothing readable in front";

    desktop->setFrontmost(521);
    RunLoop::runPending();
    ASSERT_EQ(readButtons().size(), 1u);
    const size_t checks = linesWith(check);
    EXPECT_EQ(mainWakesOver(*clock, seconds(10)), 50) << "the read button on Safari's window";
    EXPECT_EQ(linesWith(check) - checks, 10u) << "a check each second all the same";
    delegate.reset();
    settle();

    defaults->set("Lorvantine.hasCompletedOnboarding", false);
    launch();
    ASSERT_TRUE(delegate->onboardingWindow());
    advance(3);
    delegate->onboardingWindow()->window()->close();
    advance(3);
    EXPECT_EQ(mainWakesOver(*clock, seconds(10)), 50) << "onboarding window closed, Safari in front again";
}

} // namespace
} // namespace lorvantine::test
