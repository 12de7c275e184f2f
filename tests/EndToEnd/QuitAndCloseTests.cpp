#include "EndToEnd/ShellRun.h"

#include <gtest/gtest.h>

#include <csignal>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

const WindowTest inputMonitoringAlert = titled("alert.input_monitoring.title", "Input Monitoring TCC alert title");

// Refused Input Monitoring brings its alert 1.5 s after launch. Ctrl+C, and the popover's Quit
// (the menu bar still answers while an alert waits), end the program at once with status 0.
TEST(QuitAndClose, CtrlCOrThePopoversQuitWhileAnAlertWaitsEndsTheProgramAtOnce)
{
    for (const bool fromPopover : { false, true }) {
        ShellRun run("denied");
        ASSERT_TRUE(run.app.ready()) << run.app.process().standardError();
        const auto shown = windowsWhen(run.app, [](const auto& all) { return countOf(all, inputMonitoringAlert) == 1; });
        ASSERT_EQ(countOf(shown, inputMonitoringAlert), 1) << nlohmann::json(shown).dump();
        if (fromPopover)
            EXPECT_EQ(run.clickInPopover(160, 254), "ok");
        else
            run.app.process().signal(SIGINT);
        EXPECT_EQ(run.app.process().wait(5s), 0) << (fromPopover ? "Quit: " : "Ctrl+C: ") << run.app.process().standardError();
    }
}

// Three clicks on "Reset onboarding" leave one alert to answer, and "quit" ends the program.
TEST(QuitAndClose, ResettingOnboardingThreeTimesShowsOneAlertAndQuitEndsTheProgram)
{
    ShellRun run("granted");
    ASSERT_TRUE(run.app.ready()) << run.app.process().standardError();
    const auto preferences = run.openPreferences();
    ASSERT_TRUE(preferences) << run.app.process().standardError();
    // The reset button's middle, below the title bar, in the 520 × 360 content.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(run.app.command(clickLine(*preferences, 24 + 80, 28 + 360 - 22 - 14)), "ok");
    const auto resetAlert = titled("prefs.reset_onboarding.alert.title", "Reset onboarding alert title");
    const auto shown = windowsWhen(run.app, [&](const auto& all) { return countOf(all, resetAlert) >= 1; });
    EXPECT_EQ(countOf(shown, resetAlert), 1) << nlohmann::json(shown).dump();
    EXPECT_EQ(run.app.command("quit"), "ok");
    EXPECT_EQ(run.app.process().wait(5s), 0) << run.app.process().standardError();
}

// Command-W closes the preferences; the address is typed into its field: one far too long for a
// server is refused with the red border and the line, a good one is stored.
TEST(QuitAndClose, TheAddressIsTypedIntoThePreferencesAndCommandWClosesThem)
{
    ShellRun run("granted");
    ASSERT_TRUE(run.app.ready()) << run.app.process().standardError();
    auto preferences = run.openPreferences();
    ASSERT_TRUE(preferences) << run.app.process().standardError();

    // The window hands its keys to the address field, its text selected: typing replaces it.
    EXPECT_EQ(run.app.command(R"(type "http://tts.example/")"), "ok");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(run.app.command("type \"" + std::string(700, 'x') + "\""), "ok");
    EXPECT_EQ(run.app.command("key return"), "ok");
    EXPECT_TRUE(run.app.process().waitForError("[Preferences] TTS server URL not saved, it is longer than 2048 characters", 10s))
        << run.app.process().standardError();
    // The field's left edge, half-way down: its border.
    const double x = (*preferences)["bounds"][0].get<double>() + 121;
    const double y = (*preferences)["bounds"][1].get<double>() + 28 + 360 - 58 - 12;
    const auto red = [](const Pixel& p) { return p.r > 200 && p.g < 100 && p.b < 100; };
    const auto border = snapshotWhen(run.app, run.directory / "refused.png", x, y, red);
    ASSERT_TRUE(border);
    EXPECT_TRUE(red(*border)) << border->r << "," << border->g << "," << border->b;
    EXPECT_EQ(readFile(run.settings).find("Lorvantine.ttsServerURL"), std::string::npos) << "nothing stored";

    // After Return the text is selected again: the next address replaces it.
    EXPECT_EQ(run.app.command(R"(type "http://127.0.0.1:8891\n")"), "ok");
    EXPECT_EQ(run.app.command("windows").substr(0, 2), "ok") << "the keys before it are handled";
    EXPECT_NE(readFile(run.settings).find(R"("Lorvantine.ttsServerURL": "http://127.0.0.1:8891")"), std::string::npos)
        << readFile(run.settings);
    const auto cleared = snapshotWhen(run.app, run.directory / "stored.png", x, y, [&](const Pixel& p) { return !red(p); });
    ASSERT_TRUE(cleared);
    EXPECT_FALSE(red(*cleared)) << "the border goes with the good address";

    EXPECT_EQ(run.app.command("key w command"), "ok");
    const auto isPreferences = titled("prefs.window.title", "Preferences window title");
    const auto after = windowsWhen(run.app, [&](const auto& all) { return countOf(all, isPreferences) == 0; });
    EXPECT_EQ(countOf(after, isPreferences), 0) << nlohmann::json(after).dump();
    EXPECT_EQ(run.app.command("quit"), "ok");
    EXPECT_EQ(run.app.process().wait(10s), 0) << run.app.process().standardError();
}

} // namespace
} // namespace lorvantine::test
