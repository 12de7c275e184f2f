#pragma once

#include "CLI/CLIRouter.h"
#include "EndToEnd/LoopScript.h"

#include "Audio/AudioPlayer.h"
#include "Core/ArticleReader.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/TextMeasurer.h"
#include "Platform/Toolkit/View.h"
#include "Platform/Toolkit/WindowHost.h"
#include "Platform/WindowServerPort.h"
#include "Player/MiniPlayer.h"
#include "Preferences/PreferencesModel.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Toolkit/PangoTextMeasurer.h"
#include "SimDesktop/Toolkit/SimWindowHost.h"
#include "Support/Log.h"
#include "TestSupport/SpeechServerProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine::test {

using CLIRouter::Arguments;

inline std::string fixturePath(const std::string& name) { return std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/" + name; }

// One desktop per test with the program's window host on it, settings of its own, English
// string tables, and the log captured. Time is real: the command runs the main run loop until
// a step of its script presses Ctrl+C or the mini player's close button.
class ReadArticleCommandTest : public ::testing::Test {
public:
    // The stand-in speech server (canned speech) of the program's shared reading session, one
    // for the whole binary.
    static SpeechServerProcess* server;

protected:
    void SetUp() override
    {
        ASSERT_TRUE(server && server->isRunning());
        server->reset();
        defaults = std::make_shared<InMemoryUserDefaults>();
        m_defaults.emplace(defaults);
        LocalizedStrings::setLanguage(LocalizedStrings::Language::english);
    }

    void TearDown() override
    {
        ArticleReader::shared()->stop();
        EXPECT_TRUE(Dispatch::waitUntilIdle());
        m_windowHost.reset();
        host.reset();
        if (m_previousMeasurer)
            TextMeasurer::install(*m_previousMeasurer);
        m_services.reset();
        m_defaults.reset();
        LocalizedStrings::resetLanguage();
        if (HasFailure()) {
            for (const auto& line : log.lines())
                std::fprintf(stderr, "  | %s\n", line.c_str());
        }
    }

    void useDesktop(std::shared_ptr<SimDesktop> made)
    {
        ASSERT_TRUE(made);
        desktop = std::move(made);
        m_services.emplace(desktop->services());
        host = SimWindowHost::create(desktop);
        m_windowHost.emplace(host);
        m_previousMeasurer = TextMeasurer::install(std::make_shared<PangoTextMeasurer>());
    }
    void useFixture(const std::string& name)
    {
        std::string error;
        useDesktop(SimDesktop::load(fixturePath(name), error));
        ASSERT_TRUE(error.empty()) << error;
    }

    // Runs the router with `args`, standard output captured, while `script` plays on the main queue
    // (giving up after `limit` of real time).
    int route(const Arguments& args, LoopScript* script = nullptr, std::chrono::milliseconds limit = std::chrono::seconds(15))
    {
        if (script)
            script->start(limit);
        ::testing::internal::CaptureStdout();
        const int status = CLIRouter::route(args);
        standardOutput = ::testing::internal::GetCapturedStdout();
        if (script)
            script->cancel();
        return status;
    }

    // Reads the document of `bundleID` until the end of the document resets the play button,
    // then presses Ctrl+C, on a fast clock: the speech plays silently at fifty times its speed,
    // and every wait of the program passes as quickly. A failure when the command does not end
    // so with status 0 within `limit` of real time.
    void readToTheEnd(const std::string& bundleID, std::chrono::milliseconds limit = std::chrono::seconds(120));

    static ArticleReader& reader() { return *ArticleReader::shared(); }
    static std::optional<int> playingParagraph()
    {
        AudioPlayer& player = reader().player();
        std::lock_guard guard(player.lock);
        return player.currentSegment ? std::optional<int>(player.currentSegment->paragraphIndex) : std::nullopt;
    }

    // --- The program's panels, found through accessibility as a user's tools find them ---

    AccessibilityPort& ax() { return Platform::accessibility(); }
    template<typename T> std::optional<T> attribute(const AXElement& element, const std::string& name)
    {
        AXValue value;
        if (ax().copyAttributeValue(element, name, value) != AXError::success)
            return std::nullopt;
        if (const T* typed = std::get_if<T>(&value))
            return *typed;
        return std::nullopt;
    }
    std::vector<AXElement> findAll(const AXElement& root, const std::string& role)
    {
        std::vector<AXElement> found;
        for (const AXElement& child : attribute<std::vector<AXElement>>(root, "AXChildren").value_or(std::vector<AXElement> {})) {
            if (attribute<std::string>(child, "AXRole") == role)
                found.push_back(child);
            auto deeper = findAll(child, role);
            found.insert(found.end(), deeper.begin(), deeper.end());
        }
        return found;
    }
    std::vector<AXElement> controls(const std::string& role) { return findAll(ax().applicationElement(host->pid()), role); }
    bool press(const AXElement& element) { return ax().performAction(element, "AXPress") == AXError::success; }
    // Opens pop-up `index` of the mini player (0: speed, 1: voice).
    bool openPopUp(size_t index)
    {
        auto popUps = controls("AXPopUpButton");
        return popUps.size() > index && press(popUps[index]);
    }
    bool chooseMenuItem(const std::string& title)
    {
        for (const AXElement& item : controls("AXMenuItem"))
            if (attribute<std::string>(item, "AXTitle") == title)
                return press(item);
        return false;
    }
    static std::string voiceTitle(const std::vector<MiniPlayer::Voice>& voices, const std::string& code)
    {
        for (const auto& voice : voices)
            if (voice.code == code)
                return MiniPlayer::shortTitle(voice.label);
        return "?";
    }

    // The program's windows on screen, as the window list shows them.
    std::vector<WindowInfo> programWindows()
    {
        std::vector<WindowInfo> mine;
        for (const WindowInfo& info : Platform::windowServer().copyWindowInfo(WindowListOption::onScreenOnly).value_or(std::vector<WindowInfo> {}))
            if (info.kCGWindowOwnerPID == host->pid())
                mine.push_back(info);
        return mine;
    }
    bool miniPlayerOnScreen()
    {
        for (const WindowInfo& info : programWindows())
            if (info.kCGWindowBounds && info.kCGWindowBounds->size == MiniPlayer::panelSize)
                return true;
        return false;
    }
    // The card is painted, not only listed: it covers most of its panel.
    bool miniPlayerDrawn()
    {
        auto player = reader().floatingPlayer;
        auto picture = player && player->panel() ? host->renderWindow(*player->panel()) : std::nullopt;
        if (!picture)
            return false;
        int covered = 0;
        for (int y = 0; y < picture->height; ++y)
            for (int x = 0; x < picture->width; ++x)
                covered += (picture->pixel(x, y) >> 24) >= 0x80;
        return covered > picture->width * picture->height / 2;
    }
    std::string playButtonSymbol()
    {
        auto player = reader().floatingPlayer;
        if (!player || !player->panel())
            return "";
        const auto& card = player->panel()->contentView()->subviews().at(0);
        auto* button = dynamic_cast<const Button*>(card->subviews().at(1).get());
        return button && button->image() ? button->image()->name() : "";
    }

    std::optional<UserDefaults::Value> stored(const char* key) const { return defaults->object(key); }

    std::vector<std::string> requestedInputs()
    {
        std::vector<std::string> inputs;
        for (const auto& request : server->speechRequests())
            inputs.push_back(request.input.value_or(""));
        return inputs;
    }

    Log::Capture log;
    std::shared_ptr<InMemoryUserDefaults> defaults;
    std::shared_ptr<SimDesktop> desktop;
    std::shared_ptr<SimWindowHost> host;
    std::string standardOutput;

private:
    std::optional<PreferencesModel::ScopedDefaults> m_defaults;
    std::optional<Platform::ScopedServices> m_services;
    std::optional<ScopedWindowHost> m_windowHost;
    std::optional<std::shared_ptr<const TextMeasurer>> m_previousMeasurer;
};

} // namespace lorvantine::test
