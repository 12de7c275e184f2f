#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ShellRun.h"

#include "Network/LoopbackServer.h"
#include "Platform/AccessibilityPort.h"
#include "SimDesktop/Model/SimFixtureLoader.h"
#include "SimDesktop/SimDesktop.h"
#include "TestSupport/SpeechServerProcess.h"

#include <gtest/gtest.h>

#include <thread>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

// How often `needle` stands in the program's log.
size_t linesWith(ChildProcess& process, const std::string& needle)
{
    const std::string err = process.standardError();
    size_t count = 0;
    for (size_t at = err.find(needle); at != std::string::npos; at = err.find(needle, at + needle.size()))
        ++count;
    return count;
}

// Waits until `needle` stands `count` times in the program's log (bounded in real time).
bool waitForLines(ChildProcess& process, const std::string& needle, size_t count)
{
    for (const auto limit = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < limit;
         std::this_thread::sleep_for(20ms))
        if (linesWith(process, needle) >= count)
            return true;
    return false;
}

// Answers the alert that `alert` finds with `key`, as a person's hand does, and says whether it
// went away.
void expectAnsweredBy(ShellRun& run, const WindowTest& alert, const std::string& key)
{
    SCOPED_TRACE(key);
    const auto shown = windowsWhen(run.app, [&](const auto& all) { return countOf(all, alert) == 1; });
    ASSERT_EQ(countOf(shown, alert), 1) << nlohmann::json(shown).dump() << run.app.process().standardError();
    EXPECT_EQ(run.app.command("key " + key), "ok");
    const auto after = windowsWhen(run.app, [&](const auto& all) { return countOf(all, alert) == 0; });
    EXPECT_EQ(countOf(after, alert), 0) << "the alert is answered";
    EXPECT_EQ(run.app.command("quit"), "ok");
    EXPECT_EQ(run.app.process().wait(10s), 0) << run.app.process().standardError();
}

// The Input Monitoring alert comes 1.5 s after a launch without that access, Safari in front:
// Return opens the settings, Escape is "Later", and either answers it.
TEST(ShellKeys, ReturnAndEscapeAnswerTheInputMonitoringAlert)
{
    for (const char* key : { "return", "escape" }) {
        ShellRun run("denied");
        ASSERT_TRUE(run.app.ready()) << run.app.process().standardError();
        expectAnsweredBy(run, titled("alert.input_monitoring.title", "Input Monitoring TCC alert title"), key);
    }
}

// The update check five seconds after launch finds a newer version: Return downloads, Escape is
// 「稍后」, and either answers the alert.
TEST(ShellKeys, ReturnAndEscapeAnswerTheUpdateAlert)
{
    LoopbackServer feed;
    feed.http.Get("/download/latest.json", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"({"version":"99.0","download_url":"https://example.com/Lorvantine-99.0.dmg"})", "application/json");
    });
    feed.start();
    for (const char* key : { "return", "escape" }) {
        ShellRun run(ShellRun::Options { .updateURL = feed.url("/download/latest.json") });
        ASSERT_TRUE(run.app.ready()) << run.app.process().standardError();
        expectAnsweredBy(run, titled("Lorvantine 99.0 可用"), key);
        EXPECT_NE(readFile(run.settings).find(R"("UpdateChecker.lastRemindedVersion": "99.0")"), std::string::npos);
    }
}

// The onboarding reset's alert over the preferences has only its default button: Escape leaves
// it waiting, Return answers it, and the preferences stay.
TEST(ShellKeys, TheResetAlertOverThePreferencesTakesReturnAndNotEscape)
{
    ShellRun run("granted");
    ASSERT_TRUE(run.app.ready()) << run.app.process().standardError();
    const auto preferences = run.openPreferences();
    ASSERT_TRUE(preferences) << run.app.process().standardError();
    EXPECT_EQ(run.app.command(clickLine(*preferences, 24 + 80, 28 + 360 - 22 - 14)), "ok");
    const auto resetAlert = titled("prefs.reset_onboarding.alert.title", "Reset onboarding alert title");
    const auto shown = windowsWhen(run.app, [&](const auto& all) { return countOf(all, resetAlert) == 1; });
    ASSERT_EQ(countOf(shown, resetAlert), 1) << nlohmann::json(shown).dump();

    EXPECT_EQ(run.app.command("key escape"), "ok");
    // Lines are handled in order: the list answers after the key has been handled.
    EXPECT_EQ(countOf(run.app.programWindows(), resetAlert), 1) << "Escape leaves the alert waiting";
    EXPECT_EQ(run.app.command("key return"), "ok");
    const auto after = windowsWhen(run.app, [&](const auto& all) { return countOf(all, resetAlert) == 0; });
    EXPECT_EQ(countOf(after, resetAlert), 0);
    EXPECT_EQ(countOf(after, titled("prefs.window.title", "Preferences window title")), 1);
    EXPECT_EQ(run.app.command("quit"), "ok");
    EXPECT_EQ(run.app.process().wait(10s), 0) << run.app.process().standardError();
}

// An address typed into the preferences and left with Tab is kept: the program started again
// reads aloud through the server at that address.
TEST(ShellKeys, AnAddressLeftWithTabIsThereWhenTheProgramStartsAgain)
{
    SpeechServerProcess server;
    ASSERT_TRUE(server.isRunning());
    ShellRun first("granted");
    ASSERT_TRUE(first.app.ready()) << first.app.process().standardError();
    ASSERT_TRUE(first.openPreferences()) << first.app.process().standardError();
    EXPECT_EQ(first.app.command("type \"" + server.baseURL() + "\""), "ok");
    EXPECT_EQ(first.app.command("key tab"), "ok");
    EXPECT_EQ(first.app.command("quit"), "ok");
    EXPECT_EQ(first.app.process().wait(10s), 0) << first.app.process().standardError();
    EXPECT_NE(readFile(first.settings).find(R"("Lorvantine.ttsServerURL": ")" + server.baseURL() + "\""), std::string::npos)
        << readFile(first.settings);

    ShellRun again(ShellRun::Options { .keptSettings = first.settings });
    ASSERT_TRUE(again.app.ready()) << again.app.process().standardError();
    EXPECT_EQ(again.app.command("front com.apple.Safari"), "ok 501");
    EXPECT_EQ(again.app.command("key r control shift"), "ok");
    EXPECT_TRUE(server.waitForAnsweredSpeechRequests(1)) << again.app.process().standardError();
    EXPECT_EQ(again.app.command("quit"), "ok");
    EXPECT_EQ(again.app.process().wait(10s), 0) << again.app.process().standardError();
}

// Where a link of the demo article lies on the screen, as accessibility gives it.
std::optional<Rect> linkOnScreen(const nlohmann::json& fixture, const std::string& url)
{
    auto parsed = SimFixtureLoader::parse(fixture.dump(), "desktop.json");
    if (!parsed)
        return std::nullopt;
    auto desktop = SimDesktop::create(*parsed);
    const PlatformServices ports = desktop->services();
    AccessibilityPort& ax = *ports.accessibility;
    std::vector<AXElement> pending { ax.applicationElement(501) };
    while (!pending.empty()) {
        const AXElement element = pending.back();
        pending.pop_back();
        AXValue role, address, position, size, children;
        ax.copyAttributeValue(element, "AXRole", role);
        ax.copyAttributeValue(element, "AXURL", address);
        ax.copyAttributeValue(element, "AXPosition", position);
        ax.copyAttributeValue(element, "AXSize", size);
        const auto* text = axGet<std::string>(role);
        const auto* link = axGet<AXURL>(address);
        const auto* at = axGet<Point>(position);
        const auto* extent = axGet<Size>(size);
        if (text && *text == "AXLink" && link && link->string == url && at && extent)
            return Rect(*at, *extent);
        for (const char* list : { "AXWindows", "AXChildren" }) {
            ax.copyAttributeValue(element, list, children);
            if (const auto* elements = axGet<std::vector<AXElement>>(children))
                pending.insert(pending.end(), elements->begin(), elements->end());
        }
    }
    return std::nullopt;
}

// Reading the demo article, the person follows a link in it: Safari shows another article in the
// window, which the program reads from its top a moment later. Control+Shift+R then stops that
// reading, as it stops the one it started, rather than reading the window again.
TEST(ShellKeys, TheHotkeyStopsTheReadingThatWentOnToTheArticleALinkOpened)
{
    SpeechServerProcess server;
    ASSERT_TRUE(server.isRunning());
    // Every answer waits: the readings stay under way whatever the machine's pace.
    ASSERT_FALSE(server.control({ { "hold", true } }));
    const std::string attention = "https://example.com/attention";
    const auto browse = [&](nlohmann::json& fixture) {
        fixture["installed"] = nlohmann::json::array({ {
            { "bundleID", "com.apple.Safari" },
            { "name", "Safari" },
            { "bundlePath", "/Applications/Safari.app" },
            { "pages", nlohmann::json::array({ { { "url", attention }, { "fixture", (testFixtures / "e2e-short-article.json").string() } } }) },
        } });
    };
    nlohmann::json fixture = nlohmann::json::parse(readFile(testFixtures / "demo-desktop.json"));
    browse(fixture);
    const auto link = linkOnScreen(fixture, attention);
    ASSERT_TRUE(link);

    ShellRun run(ShellRun::Options { .storedSettings = { { "Lorvantine.hasCompletedOnboarding", true },
                                                         { "Lorvantine.ttsServerURL", server.baseURL() } },
                                     .desktop = browse });
    ASSERT_TRUE(run.app.ready()) << run.app.process().standardError();
    ChildProcess& program = run.app.process();
    EXPECT_EQ(run.app.command("front com.apple.Safari"), "ok 501");
    EXPECT_EQ(run.app.command("key r control shift"), "ok");
    ASSERT_TRUE(program.waitForError("[StatusBar] 开始朗读: Slow Reading in a Fast World", 10s)) << program.standardError();

    EXPECT_EQ(run.app.command("click " + std::to_string(link->midX()) + " " + std::to_string(link->midY())), "ok");
    ASSERT_TRUE(program.waitForError("[ArticleReader] 🔄 文章已切换", 10s)) << program.standardError();
    ASSERT_TRUE(program.waitForError("[ArticleReader] ▶ \"Short Walks\"", 10s)) << program.standardError();

    EXPECT_EQ(run.app.command("key r control shift"), "ok");
    ASSERT_TRUE(program.waitForError("[StatusBar] 停止朗读", 10s)) << program.standardError();
    // Two more checks of the window monitor: a second at least, far longer than a start takes to
    // find the article.
    const std::string check = "[WinMon] front app: com.apple.Safari ✓ whitelist";
    EXPECT_TRUE(waitForLines(program, check, linesWith(program, check) + 2)) << program.standardError();
    EXPECT_EQ(linesWith(program, "[StatusBar] 开始朗读"), 1u) << "stopped, not read again from the top\n" << program.standardError();
    const auto windows = run.app.programWindows();
    EXPECT_EQ(std::count_if(windows.begin(), windows.end(), [](const nlohmann::json& w) { return w["bounds"][2] == 288 && w["bounds"][3] == 72; }), 0)
        << "no mini player: " << nlohmann::json(windows).dump();
    EXPECT_EQ(run.app.command("quit"), "ok");
    EXPECT_EQ(program.wait(10s), 0) << program.standardError();
}

} // namespace
} // namespace lorvantine::test
