#pragma once

#include "Core/ArticleReader.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/UserDefaults.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Rendering/SimRenderer.h"
#include "Support/Log.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/ForwardingAccessibility.h"
#include "TestSupport/SpeechServerProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace lorvantine {
class HighlightView;
class MiniPlayer;
class SimWindowHost;
class TextMeasurer;
class TTSClient;
class WindowHost;
}

namespace lorvantine::test {

// An accessibility port in front of the desktop's that can hold up the position reads of one
// element made off the main thread, as a slow application would, until the test lets them go.
// The held thread waits on a dispatch semaphore, so the dispatch machinery counts it as idle and
// time can still be moved meanwhile.
class GatedAccessibility final : public ForwardingAccessibility {
public:
    explicit GatedAccessibility(std::shared_ptr<AccessibilityPort> inner) : ForwardingAccessibility(std::move(inner)) { }

    void hold(const AXElement& element);
    // Whether a read is being held now.
    bool isHolding() const { return m_holding; }
    void release();

    AXError copyAttributeValue(const AXElement& element, const std::string& attribute, AXValue& out) override;

private:
    std::mutex m_mutex;
    std::optional<AXElement> m_held;
    std::shared_ptr<Semaphore> m_gate;
    std::atomic<bool> m_holding { false };
};

// A window of the simulated desktop with one text element per paragraph.
struct ReadingWindow {
    ProcessID pid = 0;
    uint32_t number = 0;
    AXElement window;
    std::vector<AXElement> elements;
};

inline constexpr Rgb accent { 242, 101, 34 };

// Each test gets a manual clock, settings of its own, the silent clock-paced audio output, a
// simulated desktop on which the program's panels (the real overlay and mini player) are shown,
// and a fresh reading session whose speech client talks to the stand-in speech server (canned
// speech, one server for the whole binary, unless the fixture brings its own).
class ReadingTest : public ::testing::Test {
public:
    static SpeechServerProcess* server;
    static std::shared_ptr<TTSClient> speechClient;

protected:
    void SetUp() override;
    void TearDown() override;
    virtual std::shared_ptr<SimDesktop> makeDesktop();

    ProcessID addApplication(const std::string& bundleID, bool frontmost = true);
    ReadingWindow addWindow(ProcessID pid, const std::vector<std::string>& texts, Rect frame = Rect(100, 60, 700, 600),
                            bool isMain = true);
    // One paragraph per element of the window, carrying its text and frame.
    std::vector<ArticleParagraph> paragraphsOf(const ReadingWindow& window);
    void startReading(const ReadingWindow& window, const std::string& bundleID = "");
    // A mini player shown on `window` and handed to the session, as the shell does it.
    std::shared_ptr<MiniPlayer> showMiniPlayer(const AXElement& window);

    // Moves the clock: timers fire, the main queue runs and every exchange with the speech
    // server finishes on the way.
    void advance(double secondsToMove);
    // Moves the clock in steps until `done` holds, at most `limit` seconds. Returns done().
    bool advanceUntil(const std::function<bool()>& done, double limit = 60, double step = 0.1);
    // Runs the main queue, without moving the clock, until `done` holds (real time, bounded).
    bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool readingEnded() const { return !reader->isReading(); }

    // "paragraph/offset" of every piece the audio player started, in order.
    std::vector<std::string> plays() const;
    // The speech server's logged inputs, in arrival order.
    std::vector<std::string> requestedInputs();
    // Log lines written since the test began that contain `needle`.
    size_t logCount(std::string_view needle) const { return log.linesContaining(needle).size(); }

    // The overlay's view while its window is on screen; null while it is not.
    const HighlightView* overlayOnScreen() const;
    // Whether the mini player's panel is on screen.
    bool miniPlayerOnScreen() const;
    // The paragraph counter of the mini player on screen, as accessibility reads it.
    std::string miniPlayerLabel();

    // The screen as it looks now, at `scale` pixels per point (the screen's own by default).
    std::optional<SimRenderer::Picture> renderScreen(std::optional<double> scale = {}) const;
    static Rgb colourAt(const SimRenderer::Picture& picture, Point topLeft);
    // How much redder than blue the picture is on average inside `area`: the accent's sign.
    static double warmth(const SimRenderer::Picture& picture, const Rect& area);

    // The speech server and client this fixture's session uses; a fixture may bring its own
    // from its constructor.
    SpeechServerProcess* speechServer = server;
    std::shared_ptr<TTSClient> sessionSpeechClient = speechClient;

    Log::Capture log;
    std::shared_ptr<ManualClock> clock;
    std::shared_ptr<SimDesktop> desktop;
    std::shared_ptr<SimWindowHost> host;
    std::shared_ptr<GatedAccessibility> accessibility;
    std::shared_ptr<UserDefaults> defaults;
    std::shared_ptr<ArticleReader> reader;
    std::shared_ptr<MiniPlayer> miniPlayer;

    int finishedCount = 0;
    int firstPlayingCount = 0;
    std::vector<ErrorValue> errors;

private:
    std::shared_ptr<Clock> m_previousClock;
    std::shared_ptr<UserDefaults> m_previousDefaults;
    std::optional<Platform::ScopedServices> m_services;
    std::shared_ptr<WindowHost> m_previousHost;
    std::shared_ptr<const TextMeasurer> m_previousMeasurer;
};

} // namespace lorvantine::test
