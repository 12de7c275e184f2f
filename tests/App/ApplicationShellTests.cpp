#include "App/AppDelegate.h"
#include "App/ApplicationShell.h"
#include "App/OnboardingWindow.h"
#include "App/PreferencesWindow.h"
#include "AppTest.h"
#include "Core/SelectionWatcher.h"
#include "Platform/Toolkit/Alert.h"
#include "Platform/Toolkit/Window.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Support/Text.h"

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

// Left alone, onboarded or with the onboarding window closed, the program wakes at most five
// times a second: the read button's 0.2-second catch-up on the readable Safari window is the
// fastest timer, and the others ride its ticks.
TEST_F(ApplicationShellTest, AtRestNothingWakesTheProgramMoreThanFiveTimesASecond)
{
    const auto wakesOverTenSeconds = [&] {
        int wakes = 0;
        for (int step = 0; step < 1000; ++step) {
            clock->advance(seconds(0.01));
            if (RunLoop::runPending() > 0)
                ++wakes;
            Dispatch::waitUntilIdle();
        }
        return wakes;
    };
    defaults->set("Lorvantine.hasCompletedOnboarding", true);
    launch();
    advance(3);
    EXPECT_LE(wakesOverTenSeconds(), 50) << "onboarded";
    delegate.reset();
    settle();

    defaults->set("Lorvantine.hasCompletedOnboarding", false);
    launch();
    ASSERT_TRUE(delegate->onboardingWindow());
    advance(3);
    delegate->onboardingWindow()->window()->close();
    advance(3);
    EXPECT_LE(wakesOverTenSeconds(), 50) << "onboarding window closed";
}

} // namespace
} // namespace lorvantine::test
