#pragma once

#include "App/StatusBarController.h"
#include "Core/ArticleReader.h"
#include "Network/TTSClient.h"
#include "Platform/AudioOutputPort.h"
#include "Platform/HttpPort.h"
#include "Player/MiniPlayer.h"
#include "TestSupport/DesktopTest.h"

#include <memory>
#include <mutex>
#include <vector>

namespace lorvantine::test {

// A speech server that takes every request and answers none until the request is cancelled:
// a reading stays loading, and nothing the server says ends it behind the test's back.
class SilentSpeechSession final : public HttpSession {
public:
    HttpTask dataTask(HttpRequest, Completion completion) override
    {
        auto pending = std::make_shared<Completion>(std::move(completion));
        {
            std::lock_guard lock(m_mutex);
            m_pending.push_back(pending);
        }
        return HttpTask([queue = m_queue, pending] {
            if (auto taken = std::exchange(*pending, nullptr))
                queue->async([taken] { taken(NSURLError::error(NSURLError::cancelled)); });
        });
    }
    DispatchQueue& delegateQueue() override { return *m_queue; }

private:
    std::shared_ptr<DispatchQueue> m_queue = DispatchQueue::makeSerial("test.silent-speech");
    std::mutex m_mutex;
    std::vector<std::shared_ptr<Completion>> m_pending;
};

// The Safari article desktop (tests/fixtures/safari-article.json, Safari in front) with the
// program's panels on screen, a reading session of the test's own that speaks through a silent
// server, and the status-bar controller made by `start`.
class AppTest : public DesktopTest {
protected:
    static constexpr uint32_t safariWindow = 9201;
    static constexpr uint64_t controlShift = EventFlags::maskControl | EventFlags::maskShift;

    virtual std::string fixture() const { return "safari-article.json"; }

    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        std::string error;
        auto loaded = SimDesktop::load(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/" + fixture(), error);
        EXPECT_TRUE(loaded) << error;
        return loaded;
    }

    void SetUp() override
    {
        DesktopTest::SetUp();
        AudioOutput::route(AudioOutput::Destination::clockPaced);
        reader = ArticleReader::create(TTSClient::make("af_heart", { .timeZoneIdentifier = "Europe/Berlin",
                                                                     .usBaseURL = "http://127.0.0.1:9",
                                                                     .cnBaseURL = "http://127.0.0.1:9",
                                                                     .session = std::make_shared<SilentSpeechSession>() }));
    }
    void TearDown() override
    {
        if (HasFailure())
            for (const auto& line : log.lines())
                std::fprintf(stderr, "  | %s\n", line.c_str());
        controller.reset();
        reader->stop();
        reader->floatingPlayer.reset();
        Dispatch::waitUntilIdle();
        reader.reset();
        DesktopTest::TearDown();
    }

    void start()
    {
        controller = StatusBarController::make(reader);
        settle();
    }
    // Lets the document search on its global queue finish and its answer land.
    void settle() { EXPECT_TRUE(Dispatch::waitUntilIdle()); }

    // A key-down and key-up at the session tap, as the user's hand.
    void key(uint16_t code, uint64_t flags)
    {
        for (bool down : { true, false }) {
            InputEvent event = InputEvent::keyboard(std::nullopt, code, down);
            event.flags = flags;
            Platform::windowServer().post(EventTap::session, event);
        }
        RunLoop::runPending();
    }
    void hotkey(uint64_t flags = controlShift)
    {
        key(15, flags);
        settle();
    }

    // The program's windows of one size, as the window list has them (top-left bounds).
    std::vector<Rect> programWindowsOfSize(Size size)
    {
        std::vector<Rect> found;
        for (const WindowInfo& info : programWindows())
            if (info.kCGWindowBounds && info.kCGWindowBounds->size == size)
                found.push_back(*info.kCGWindowBounds);
        return found;
    }
    std::vector<Rect> miniPlayers() { return programWindowsOfSize(MiniPlayer::panelSize); }
    std::vector<Rect> readButtons() { return programWindowsOfSize(Size { 60, 60 }); }
    size_t linesWith(const std::string& needle) { return log.linesContaining(needle).size(); }

    std::shared_ptr<ArticleReader> reader;
    std::shared_ptr<StatusBarController> controller;
};

} // namespace lorvantine::test
