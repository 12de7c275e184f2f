#pragma once

#include "Platform/AccessibilityPort.h"
#include "Platform/Services.h"

#include <atomic>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>

namespace lorvantine {

class ClientWindows;
class SimDesktop;

// One client of the desktop server: answers its requests from the desktop's ports and pushes
// what it asked to hear (accessibility notifications, activations) through `send`.
//
// Threads: `answer` and `end` from the connection's thread; pushes are sent from the desktop's
// main queue, where its ports deliver them. Its event monitors are those of the application it
// registered: its own events are local, the others' global. `end` (also run by the destructor) removes what the
// client registered — observers, activation watches and its application — so nothing more is
// pushed once it has returned.
// Once it registered an application, its own windows are windows of that application
// (ClientWindows).
//
// A program run ("pr.run": "open", "osascript") or a script ("wk.script") can take a while (an
// application's launch, a "delay"): it runs on a thread of its own and its answer goes out when
// it ends, so the client's other requests are answered meanwhile. `end` waits for the runs still
// going; their answers are not sent.
class DesktopSession : public std::enable_shared_from_this<DesktopSession> {
public:
    using Json = nlohmann::json;
    // Writes one message to the client; false when it cannot be written.
    using Sender = std::function<bool(const Json&)>;

    DesktopSession(std::shared_ptr<SimDesktop> desktop, PlatformServices services, Sender send);
    ~DesktopSession();

    struct Answer {
        Json message;
        // The request could not be read: the answer says why and the connection ends.
        bool close = false;
        // Nothing goes out now: the answer is sent through `send` once it is ready.
        bool later = false;
    };
    Answer answer(const Json& request);
    void end();

    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

private:
    std::optional<Json> accessibility(const std::string& op, const Json& request);
    std::optional<Json> windowServer(const std::string& op, const Json& request);
    std::optional<Json> workspace(const std::string& op, const Json& request);
    std::optional<Json> pasteboardOrPermissions(const std::string& op, const Json& request);
    std::optional<Json> session(const std::string& op, const Json& request);
    std::optional<Json> eventMonitors(const std::string& op, const Json& request);
    std::optional<Json> clientWindows(const std::string& op, const Json& request);
    void push(uint64_t channel, Json message);
    // Pushes on `channel` while the session lives: what the ports' callbacks are given, so that
    // none of them keeps the session alive.
    std::function<void(Json)> pusher(uint64_t channel);
    std::optional<Json> recognize(const Json& request);
    Answer runProcess(int64_t id, const Json& request);
    Answer runScript(int64_t id, const Json& request);
    // Runs `run` (which makes the whole answer) on a thread of its own, its answer sent when it
    // ends; at once when the session has ended or runs too many already.
    Answer answerLater(std::function<Json()> run);
    void joinRuns(bool all);

    const std::shared_ptr<SimDesktop> m_desktop;
    const PlatformServices m_services;
    const Sender m_send;
    std::mutex m_lock;
    // Guarded by m_lock.
    bool m_ended = false;
    std::map<uint64_t, AXObserverID> m_observers;
    std::map<uint64_t, std::shared_ptr<void>> m_activationWatches;
    std::optional<ProcessID> m_application;
    // Channel → the desktop's monitor or tap id (they share one numbering).
    std::map<uint64_t, uint64_t> m_monitors;
    // The windows of the registered application.
    std::shared_ptr<ClientWindows> m_windows;
    // Programs and scripts running for this client, each on a thread of its own (see answerLater).
    struct ProcessRun {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    std::list<ProcessRun> m_runs;
};

} // namespace lorvantine
