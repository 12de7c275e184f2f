#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "AnswerWriter.h"
#include "FaultPlan.h"
#include "RequestLog.h"
#include "SpokenAudio.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}

namespace lorvantine::speechserver {

// The HTTP side: the speech endpoint, the control endpoints and the request log.
// bind() and run() belong to the thread that owns the server; stop() may come from any thread.
class SpeechServer {
public:
    static constexpr const char* speechPath = "/api/captioned_speech_partly";

    // Produces the audio for the text that one answer speaks. Called from the HTTP worker
    // threads, possibly concurrently; nullopt when synthesis failed.
    using Speak = std::function<std::optional<SpokenAudio>(std::string_view text, std::string_view voiceCode, double speed)>;

    explicit SpeechServer(Speak speak);
    ~SpeechServer();

    FaultPlan& faultPlan() { return plan_; }

    // Binds 127.0.0.1:port; port 0 picks a free one. Returns the bound port.
    std::optional<int> bind(int port);
    // Serves until stop(); false when the server could not run.
    bool run();
    void stop();

private:
    void handleSpeech(const httplib::Request& request, httplib::Response& response);
    void handleUnknown(const httplib::Request& request, httplib::Response& response);
    AnswerWriter::Reply answerSpeech(const std::string& body, RequestLog::Outcome& outcome);
    // false when the server is stopping.
    bool waitFor(int milliseconds);
    // Waits while answers are held; false when the server is stopping.
    bool waitWhileHeld();
    void setHolding(bool holding);
    bool isHolding();
    // Lets the `count` answers held longest go while the hold stays; answers held after this
    // call count too, until `count` have gone.
    void releaseHeld(int count);

    Speak speak_;
    FaultPlan plan_;
    RequestLog log_;
    std::unique_ptr<httplib::Server> http_;
    std::mutex stopMutex_;
    std::condition_variable stopSignal_;
    bool stopping_ = false;
    bool holding_ = false;
    // Every answer that waits for the hold takes the next ticket; those up to `releasedTickets_`
    // may go although the hold stays.
    std::uint64_t heldTickets_ = 0;
    std::uint64_t releasedTickets_ = 0;
};

}
