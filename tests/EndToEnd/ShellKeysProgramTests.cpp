#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ShellRun.h"

#include "Network/LoopbackServer.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Toolkit/Window.h"
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

// Waits until the alert that `alert` finds is on screen (bounded in real time): its window.
std::optional<nlohmann::json> alertShown(ShellRun& run, const WindowTest& alert)
{
    return firstOf(windowsWhen(run.app, [&](const auto& all) { return countOf(all, alert) == 1; }), alert);
}

// `key` typed with another application in front leaves the alert waiting; after a click on its
// text, which brings the program forward, the same key answers it.
void expectAnsweredAfterAClick(ShellRun& run, const nlohmann::json& shown, const WindowTest& alert, const std::string& key)
{
    EXPECT_EQ(run.app.command("key " + key), "ok");
    // Lines are handled in order: the list answers after the key has been handled.
    EXPECT_EQ(countOf(run.app.programWindows(), alert), 1) << "the key was the application's in front";
    EXPECT_EQ(run.app.command(clickLine(shown, 40, Window::titleBarHeight + 26)), "ok");
    EXPECT_EQ(run.app.command("key " + key), "ok");
    const auto after = windowsWhen(run.app, [&](const auto& all) { return countOf(all, alert) == 0; });
    EXPECT_EQ(countOf(after, alert), 0) << "the alert is answered";
}

// The Input Monitoring alert comes 1.5 s after a launch without that access, Safari in front:
// Return (opening the settings) or Escape ("Later") answers it once a click brought it forward.
TEST(ShellKeys, ReturnAndEscapeAnswerTheInputMonitoringAlertAfterAClickOnIt)
{
    const auto alert = titled("alert.input_monitoring.title", "Input Monitoring TCC alert title");
    for (const char* key : { "return", "escape" }) {
        SCOPED_TRACE(key);
        ShellRun run("denied");
        ASSERT_TRUE(run.app.ready()) << run.app.process().standardError();
        const auto shown = alertShown(run, alert);
        ASSERT_TRUE(shown) << run.app.process().standardError();
        expectAnsweredAfterAClick(run, *shown, alert, key);
        EXPECT_EQ(run.app.command("quit"), "ok");
        EXPECT_EQ(run.app.process().wait(10s), 0) << run.app.process().standardError();
    }
}

// Waits until a speech request whose text holds `needle` has come (bounded in real time).
bool waitForSpeechOf(SpeechServerProcess& server, const std::string& needle)
{
    for (const auto limit = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < limit;
         std::this_thread::sleep_for(20ms))
        for (const SpeechServerRequest& request : server.speechRequests())
            if (request.input && request.input->find(needle) != std::string::npos)
                return true;
    return false;
}

// Waits until the window monitor's last word on the front application names `bundleID` (bounded
// in real time).
bool waitForFront(ChildProcess& process, const std::string& bundleID)
{
    const std::string said = "[WinMon] front app: ";
    for (const auto limit = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < limit;
         std::this_thread::sleep_for(20ms)) {
        const std::string err = process.standardError();
        const size_t at = err.rfind(said);
        if (at != std::string::npos && err.compare(at + said.size(), bundleID.size() + 1, bundleID + " ") == 0)
            return true;
    }
    return false;
}

// The person is writing in TextEdit when the update alert comes: "Dear Anna," and Return go into
// the letter, which a triple click then offers to read, and the alert waits; a click on it and
// Return download, and TextEdit is in front again. Reading Safari, the person opens and closes the
// preferences: Safari is in front again, so the mini player comes back and, after a stop, the
// hotkey reads Safari's article anew. Escape with the mini player's speed menu open closes the
// menu and the reading goes on.
TEST(ShellKeys, KeysStayWithTheApplicationInFrontWhileAnAlertWaitsAndTheFrontComesBackToIt)
{
    LoopbackServer feed;
    feed.http.Get("/download/latest.json", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"({"version":"99.0","download_url":"https://example.com/Lorvantine-99.0.dmg"})", "application/json");
    });
    feed.start();
    SpeechServerProcess server;
    ASSERT_TRUE(server.isRunning());
    // Every answer waits: the readings stay under way whatever the machine's pace.
    ASSERT_FALSE(server.control({ { "hold", true } }));
    ShellRun run(ShellRun::Options { .storedSettings = { { "Lorvantine.hasCompletedOnboarding", true },
                                                         { "Lorvantine.ttsServerURL", server.baseURL() } },
                                     .updateURL = feed.url("/download/latest.json") });
    ASSERT_TRUE(run.app.ready()) << run.app.process().standardError();
    ChildProcess& program = run.app.process();
    EXPECT_EQ(run.app.command("front com.apple.TextEdit"), "ok 502");

    const auto alert = titled("Lorvantine 99.0 可用");
    const auto shown = alertShown(run, alert);
    ASSERT_TRUE(shown) << program.standardError();
    EXPECT_EQ(run.app.command(R"(type "Dear Anna,")"), "ok");
    expectAnsweredAfterAClick(run, *shown, alert, "return");
    EXPECT_NE(readFile(run.settings).find(R"("UpdateChecker.lastRemindedVersion": "99.0")"), std::string::npos);
    EXPECT_TRUE(waitForFront(program, "com.apple.TextEdit")) << program.standardError();

    // The letter's first line, as TextEdit now has it, read through the bubble (the server logs
    // what it was asked to speak once it answers).
    ASSERT_FALSE(server.control({ { "release", 1 } }));
    EXPECT_EQ(run.app.command("click 300 196 3"), "ok");
    const auto bubble = [](const nlohmann::json& w) { return w["bounds"][2] == 40 && w["bounds"][3] == 40; };
    const auto offered = firstOf(windowsWhen(run.app, [&](const auto& all) { return countOf(all, bubble) == 1; }), bubble);
    ASSERT_TRUE(offered) << program.standardError();
    EXPECT_EQ(run.app.command(clickLine(*offered, 20, 20)), "ok");
    EXPECT_TRUE(waitForSpeechOf(server, "Dear Anna,")) << program.standardError();
    EXPECT_EQ(run.app.command("key escape"), "ok");
    const size_t played = linesWith(program, "[Audio] play para=0");

    EXPECT_EQ(run.app.command("front com.apple.Safari"), "ok 501");
    EXPECT_EQ(run.app.command("key r control shift"), "ok");
    const std::string started = "[StatusBar] 开始朗读: Slow Reading in a Fast World";
    ASSERT_TRUE(program.waitForError(started, 10s)) << program.standardError();
    const auto miniPlayer = [](const nlohmann::json& w) { return w["bounds"][2] == 288 && w["bounds"][3] == 72; };
    ASSERT_EQ(countOf(windowsWhen(run.app, [&](const auto& all) { return countOf(all, miniPlayer) == 1; }), miniPlayer), 1);
    // In front, the program hides the mini player of Safari's reading; closed, the preferences
    // give the front back and it shows again.
    ASSERT_TRUE(run.openPreferences()) << program.standardError();
    EXPECT_EQ(countOf(windowsWhen(run.app, [&](const auto& all) { return countOf(all, miniPlayer) == 0; }), miniPlayer), 0);
    EXPECT_EQ(run.app.command("key w command"), "ok");
    EXPECT_EQ(countOf(windowsWhen(run.app, [&](const auto& all) { return countOf(all, miniPlayer) == 1; }), miniPlayer), 1)
        << "Safari is in front again\n" << program.standardError();
    EXPECT_EQ(run.app.command("key r control shift"), "ok");
    ASSERT_TRUE(program.waitForError("[StatusBar] 停止朗读", 10s)) << program.standardError();
    EXPECT_EQ(run.app.command("key r control shift"), "ok");
    ASSERT_TRUE(waitForLines(program, started, 2)) << program.standardError();
    EXPECT_EQ(linesWith(program, "[StatusBar] 未找到可朗读的文档"), 0u);

    // The speed pop-up: x 92…146, y 11…37 of the card, which sits 12 points inside the panel.
    const auto player = firstOf(windowsWhen(run.app, [&](const auto& all) { return countOf(all, miniPlayer) == 1; }), miniPlayer);
    ASSERT_TRUE(player);
    const size_t stops = linesWith(program, "[ArticleReader] STOP CALLED");
    EXPECT_EQ(run.app.command(clickLine(*player, 12 + 119, 72 - 12 - 24)), "ok");
    ASSERT_EQ(countOf(windowsWhen(run.app, [](const auto& all) { return countOf(all, atLayer(101)) == 1; }), atLayer(101)), 1)
        << "the speed menu is open";
    EXPECT_EQ(run.app.command("key escape"), "ok");
    EXPECT_EQ(countOf(windowsWhen(run.app, [](const auto& all) { return countOf(all, atLayer(101)) == 0; }), atLayer(101)), 0)
        << "Escape closes the menu";
    EXPECT_EQ(linesWith(program, "[ArticleReader] STOP CALLED"), stops) << "and stops nothing";
    ASSERT_FALSE(server.control({ { "hold", false } }));
    EXPECT_TRUE(waitForLines(program, "[Audio] play para=0", played + 1)) << "the reading goes on\n" << program.standardError();
    EXPECT_EQ(run.app.command("quit"), "ok");
    EXPECT_EQ(program.wait(10s), 0) << program.standardError();
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
