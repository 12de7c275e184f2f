#include "EndToEnd/ControlledApplication.h"
#include "EndToEnd/ProgramScreen.h"

#include "Platform/Toolkit/LocalizedStrings.h"
#include "TestSupport/ScratchDirectory.h"
#include "TestSupport/SpeechServerProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

std::optional<nlohmann::json> bubbleIn(const std::vector<nlohmann::json>& windows)
{
    for (const auto& window : windows)
        if (window["bounds"][2] == 40 && window["bounds"][3] == 40)
            return window;
    return std::nullopt;
}

// The program on its own demo desktop, past onboarding, speaking through a speech server of its own.
struct SpokenApplication {
    SpeechServerProcess server;
    ScratchDirectory directory;
    ControlledApplication app { directory.path(), {}, spokenEnvironment(directory, server) };

private:
    static std::map<std::string, std::optional<std::string>> spokenEnvironment(const ScratchDirectory& directory,
                                                                               const SpeechServerProcess& server)
    {
        auto environment = applicationEnvironment(directory / "settings.json", { { "Lorvantine.ttsServerURL", server.baseURL() },
                                                                                  { "Lorvantine.hasCompletedOnboarding", true } });
        environment["LORVANTINE_DESKTOP"] = std::nullopt;
        return environment;
    }
};

TEST(ApplicationMode, ADragInTheEditorOffersTheBubbleWhoseClickReadsTheSelection)
{
    SpokenApplication run;
    ASSERT_TRUE(run.server.isRunning());
    ASSERT_TRUE(run.app.ready()) << run.app.process().standardError();
    auto& [server, directory, app] = run;

    EXPECT_EQ(app.command("front com.apple.TextEdit"), "ok 502");
    const auto before = directory / "before.png";
    EXPECT_EQ(app.command("snapshot " + before.string()), "ok " + before.string());
    EXPECT_EQ(app.command("drag 261 196 350 196"), "ok");
    const auto offered = bubbleIn(windowsWhen(app, [](const auto& w) { return bubbleIn(w).has_value(); }));
    ASSERT_TRUE(offered) << app.process().standardError();
    // Beside the play icon, on the bubble's dark face.
    const double x = (*offered)["bounds"][0].get<double>() + 9;
    const double y = (*offered)["bounds"][1].get<double>() + 29;
    const auto blank = pixelAt(before, x, y);
    ASSERT_TRUE(blank);

    const auto bubble = directory / "bubble.png";
    const auto face = snapshotWhen(app, bubble, x, y, [](const Pixel& p) { return p.r < 80 && p.g < 80 && p.b < 80; });
    ASSERT_TRUE(face);
    EXPECT_NE(*face, *blank) << "the bubble is drawn on the screen";
    EXPECT_LT(face->r + face->g + face->b, 240) << "its face is dark";

    EXPECT_EQ(app.command("click " + std::to_string(x + 11) + " " + std::to_string(y - 9)), "ok");
    ASSERT_TRUE(server.waitForAnsweredSpeechRequests(1)) << app.process().standardError();
    EXPECT_EQ(server.speechRequests().front().input, "Reading list");

    const auto after = windowsWhen(app, [](const auto& w) { return !bubbleIn(w).has_value(); });
    EXPECT_FALSE(bubbleIn(after)) << "the bubble hides once the reading plays";
    const auto playing = directory / "playing.png";
    EXPECT_EQ(snapshotWhen(app, playing, x, y, [&](const Pixel& p) { return p == *blank; }), blank) << "the bubble is gone from the screen";

    EXPECT_EQ(app.command("key escape"), "ok");
    EXPECT_EQ(app.command("quit"), "ok");
    EXPECT_EQ(app.process().wait(10s), 0) << app.process().standardError();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(app.pipe()))) << "a clean exit removes the pipe";
    const std::string err = app.process().standardError();
    EXPECT_NE(err.find("[SelectionWatcher] 🖱️ 选区: 12 字符(trim)"), std::string::npos) << err;
    EXPECT_NE(err.find("[SelectionReader] ▶ 12 字符"), std::string::npos) << err;
}

// The hotkey over the Safari window reads its article, with the mini player drawn on the window.
TEST(ApplicationMode, TheHotkeyOverSafariReadsTheArticleWithTheMiniPlayerOnTheWindow)
{
    SpokenApplication run;
    ASSERT_TRUE(run.server.isRunning());
    ASSERT_TRUE(run.app.ready()) << run.app.process().standardError();
    auto& [server, directory, app] = run;

    EXPECT_EQ(app.command("front com.apple.Safari"), "ok 501");
    const auto before = directory / "before.png";
    EXPECT_EQ(app.command("snapshot " + before.string()), "ok " + before.string());
    EXPECT_EQ(app.command("key r control shift"), "ok");
    ASSERT_TRUE(server.waitForAnsweredSpeechRequests(1)) << app.process().standardError();

    const auto isPlayer = [](const nlohmann::json& w) { return w["bounds"][2] == 288 && w["bounds"][3] == 72; };
    const auto windows = windowsWhen(app, [&](const auto& all) { return std::any_of(all.begin(), all.end(), isPlayer); });
    const auto player = std::find_if(windows.begin(), windows.end(), isPlayer);
    ASSERT_NE(player, windows.end()) << app.process().standardError();
    // Inside the Safari window (120, 40, 1100 × 820), in its bottom-right corner.
    const double x = (*player)["bounds"][0].get<double>(), y = (*player)["bounds"][1].get<double>();
    EXPECT_GE(x, 120 + 1100 / 2);
    EXPECT_LE(x + 288, 120 + 1100);
    EXPECT_GE(y, 40 + 820 / 2);
    EXPECT_LE(y + 72, 40 + 820);
    // Its dark card (inset 12 points in the panel) is drawn where the page was light: a point left
    // of the paragraph counter, half-way down the card.
    const auto blank = pixelAt(before, x + 18, y + 36);
    ASSERT_TRUE(blank);
    const auto card = snapshotWhen(app, directory / "player.png", x + 18, y + 36,
                                   [](const Pixel& p) { return p.r + p.g + p.b < 240; });
    ASSERT_TRUE(card);
    EXPECT_NE(*card, *blank) << "the mini player is drawn on the window";
    EXPECT_LT(card->r + card->g + card->b, 240) << "its card is dark";

    EXPECT_EQ(app.command("quit"), "ok");
    EXPECT_EQ(app.process().wait(10s), 0) << app.process().standardError();
    const std::string err = app.process().standardError();
    EXPECT_NE(err.find("[StatusBar] 开始朗读: Slow Reading in a Fast World"), std::string::npos) << err;
}

// A first run on a desktop that does not trust the program shows the onboarding window; the
// grant moves it to its second step, whose button ends it with the ready tip.
TEST(ApplicationMode, AFirstRunWithoutTrustWalksThroughOnboardingToTheReadyTip)
{
    ScratchDirectory directory;
    auto fixture = nlohmann::json::parse(readFile(std::filesystem::path(LORVANTINE_SOURCE_DIR) / "tests" / "fixtures" / "demo-desktop.json"));
    fixture["trusted"] = false;
    fixture["inputMonitoring"] = "granted";
    const auto desktop = directory / "untrusted.json";
    writeFile(desktop, fixture.dump());
    const auto settings = directory / "settings.json";
    auto environment = applicationEnvironment(settings, nlohmann::json::object());
    environment["LORVANTINE_DESKTOP"] = desktop.string();
    ControlledApplication app(directory.path(), {}, environment);
    ASSERT_TRUE(app.ready()) << app.process().standardError();

    const auto sized = [](double width, double height) {
        return [=](const nlohmann::json& w) { return w["bounds"][2] == width && w["bounds"][3] == height; };
    };
    const std::string welcome = LocalizedStrings::string("onboarding.window.title", "Onboarding window title");
    const auto onboarding = [&](const nlohmann::json& w) { return w.value("title", "") == welcome; };
    const auto tip = sized(420, 84);
    const auto shown = windowsWhen(app, [&](const auto& all) { return std::any_of(all.begin(), all.end(), onboarding); });
    ASSERT_TRUE(std::any_of(shown.begin(), shown.end(), onboarding)) << nlohmann::json(shown).dump();

    EXPECT_EQ(app.command("trust on"), "ok");
    // The poll sees the grant within a second and the second step follows a second later.
    const std::string getStarted = LocalizedStrings::string("onboarding.cta.get_started", "Get started button");
    std::string pressed;
    for (const auto limit = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < limit;
         std::this_thread::sleep_for(100ms))
        if ((pressed = app.command("press \"" + getStarted + "\"")) == "ok")
            break;
    ASSERT_EQ(pressed, "ok") << app.process().standardError();

    const auto after = windowsWhen(app, [&](const auto& all) {
        return std::any_of(all.begin(), all.end(), tip) && std::none_of(all.begin(), all.end(), onboarding);
    });
    EXPECT_TRUE(std::any_of(after.begin(), after.end(), tip)) << "the ready tip shows";
    EXPECT_TRUE(std::none_of(after.begin(), after.end(), onboarding)) << "the onboarding window is closed";
    EXPECT_EQ(app.command("quit"), "ok");
    EXPECT_EQ(app.process().wait(10s), 0) << app.process().standardError();
    EXPECT_NE(readFile(settings).find("\"Lorvantine.hasCompletedOnboarding\": true"), std::string::npos) << readFile(settings);
}

} // namespace
} // namespace lorvantine::test
