#pragma once

#include "Network/TTSError.h"
#include "Network/TTSPart.h"
#include "Platform/Dispatch/Clock.h"
#include "Support/ErrorValue.h"
#include "Support/Expected.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace lorvantine {

class HttpSession;
class TTSCancellation;

using TTSResult = Expected<TTSPart, ErrorValue>;

// The speech-server client: sends text to "/api/captioned_speech_partly", retries, fails over
// from the second node to the default one, and walks a text part by part until the server has
// spoken all of it. Holds no mutable state; any thread may call it. Every completion, `onPart`
// and `onDone` runs on the session's serial queue, except the `onDone` of a blank text, which
// runs at once on the calling thread.
class TTSClient : public std::enable_shared_from_this<TTSClient> {
public:
    // What construction takes from the system. Tests give their own.
    struct Configuration {
        std::string timeZoneIdentifier;
        std::string usBaseURL;
        std::string cnBaseURL;
        // `usBaseURL` is the server the person chose: the only node, whatever the time zone.
        bool serverChosen = false;
        // Null: the build's transport.
        std::shared_ptr<HttpSession> session;
        Duration requestTimeout = seconds(60);
    };

    using Completion = std::function<void(TTSResult)>;
    using PartHandler = std::function<void(TTSPart)>;
    using DoneHandler = std::function<void(std::optional<ErrorValue>)>;
    // One attempt that failed, with the moment it was sent on the installed clock; on the
    // session's queue, before the retry (if any) waits. A cancelled attempt is not reported.
    using AttemptFailureHandler = std::function<void(const ErrorValue& error, TimePoint sentAt)>;

    // Chooses the nodes (by the time zone, unless the person chose a server) and writes the
    // endpoint line.
    static std::shared_ptr<TTSClient> make(std::string voice, Configuration configuration);
    static std::shared_ptr<TTSClient> make(std::string voice) { return make(std::move(voice), systemConfiguration()); }

    // `TTSClient(voice: "af_heart")` on the system configuration, made on first use.
    static const std::shared_ptr<TTSClient>& shared();

    // The time zone now, the nodes below and the build's transport.
    static Configuration systemConfiguration();
    // The default node: the user's "Lorvantine.ttsServerURL" when it is set (and not blank),
    // else the stand-in server on this machine. Read at each call; a client keeps the
    // addresses it was made with.
    static std::string usBaseURL();
    // The user's "Lorvantine.ttsServerURL", trimmed; none when it is unset or blank.
    static std::optional<std::string> chosenServerURL();
    static std::string cnBaseURL();
    static const std::set<std::string>& mainlandCNTimezones();

    const std::string& primaryURL() const { return m_primaryURL; }
    const std::optional<std::string>& fallbackURL() const { return m_fallbackURL; }
    const std::string& voice() const { return m_voice; }
    HttpSession& session() const { return *m_session; }

    // Speaks all of `text`, one request after another: `onPart` for every answer in order,
    // then `onDone` exactly once: with the error of a request that finally failed, with
    // TTSError::noProgress when an answer left at least as much to speak as was sent, with
    // NSURLError::cancelled once `cancellation` was cancelled. The chain keeps the client alive
    // until it ends. A text that is blank sends nothing.
    void generate(std::string text, std::optional<std::string> voice, PartHandler onPart, DoneHandler onDone,
        std::shared_ptr<TTSCancellation> cancellation = nullptr, AttemptFailureHandler onAttemptFailed = nullptr);
    // One logical request with its retries and failover; `completion` is called exactly once,
    // unless the client is destroyed while a retry is waiting.
    void requestPart(std::string input, std::string voice, Completion completion, std::shared_ptr<TTSCancellation> cancellation = nullptr,
        AttemptFailureHandler onAttemptFailed = nullptr);

    // The most bytes of one answer that are read. A longer answer is not asked for again on the
    // same node: the same text gives the same audio.
    static constexpr size_t maxAnswerBytes = size_t(64) << 20;
    // Each exchange may take this many times the request time-out in all, however steadily its
    // bytes trickle in.
    static constexpr int totalTimeoutFactor = 2;

private:
    TTSClient(std::string voice, Configuration configuration);

    using SharedText = std::shared_ptr<const std::string>;
    struct AttemptContext {
        std::shared_ptr<TTSCancellation> cancellation;
        AttemptFailureHandler onAttemptFailed;
    };
    void performRequestPart(std::string baseURL, SharedText input, std::string voice, int attempt, Completion completion,
        AttemptContext context);
    void requestPartOnce(const std::string& baseURL, SharedText input, const std::string& voice, Completion completion,
        const std::shared_ptr<TTSCancellation>& cancellation);

    struct Chain;
    void sendNext(std::shared_ptr<Chain> chain, std::string text);

    std::string m_primaryURL;
    std::optional<std::string> m_fallbackURL;
    std::string m_voice;
    std::shared_ptr<HttpSession> m_session;
    Duration m_requestTimeout;
};

} // namespace lorvantine
