#pragma once

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace lorvantine {

// A connection to the desktop server: the desktop ports of this process answered by the desktop
// another process owns, so that several processes share one desktop.
//
// Threads: `call` from any thread, each blocking until its answer (requests of several threads
// share the connection). A reader thread takes answers and pushed messages off the socket;
// pushed messages are handed to their channel's handler on the main queue, in the order they
// came. A handler removed before its turn is not called.
//
// When the server goes away (it stopped, or dropped this client) the connection says so in the
// log, every call waiting or to come answers none, and it connects again, at once and then after
// growing pauses on the installed clock. Once connected it makes again what this client had set
// up there: its application first, then what each open channel was made to hear (kept with
// `keep`), and then runs `onReconnected` on the main queue. Destruction closes the socket, joins
// the reader and drops the attempts still to come.
class RemoteDesktop : public std::enable_shared_from_this<RemoteDesktop> {
public:
    using Json = nlohmann::json;

    // None with the reason in `error` when nothing answers at `path`.
    static std::shared_ptr<RemoteDesktop> connect(const std::string& path, std::string& error);
    ~RemoteDesktop();

    // Sends `request` (a map; its "op" names the operation) and waits for the answer's "ok"
    // member; none when the server refused the request or the connection is gone.
    std::optional<Json> call(Json request);

    // A new channel for pushed messages; the handler is set before the request that opens it
    // goes out, so no message can come before it.
    uint64_t openChannel(std::function<void(const Json&)> handler);
    void closeChannel(uint64_t channel);
    // Remembers `request`, made (and answered) to set up what `channel` hears, to be made again
    // after a reconnection, in the order kept; what `key` kept before gives way to it. Without a
    // request, forgets what `key` kept. Closing the channel forgets everything it kept.
    void keep(uint64_t channel, const std::string& key, std::optional<Json> request);

    // The accessibility, window server, workspace, pasteboard, permissions, window capture,
    // event monitor and process ports over this connection; the text recogniser is left empty.
    // `ownProcesses` answers this process's controlling terminal.
    PlatformServices services(std::shared_ptr<ProcessPort> ownProcesses = nullptr);
    // Makes `application` one of the desktop's running applications for as long as this
    // connection lasts, and again on each reconnection.
    bool registerApplication(const RunningApplication& application);
    bool isConnected() const;

    // After a reconnection, once what was kept has been made again; on the main queue. Set by
    // the owner of what the server shows for this client (its windows), which shows it again.
    std::function<void()> onReconnected;

    RemoteDesktop(const RemoteDesktop&) = delete;
    RemoteDesktop& operator=(const RemoteDesktop&) = delete;

private:
    RemoteDesktop(std::string path, int fd);
    void startReader(int fd);
    void readAnswers(int fd, uint64_t generation);
    void deliver(const Json& message);
    std::optional<Json> exchange(Json request, bool replaying);
    void lost(uint64_t generation);
    void reconnectAfter(Duration pause);
    void reconnect();

    const std::string m_path;
    std::mutex m_writeLock;
    mutable std::mutex m_lock;
    std::condition_variable m_answered;
    // Guarded by m_lock.
    int m_fd = -1;
    std::thread m_reader;
    // Counts the connections made; a reader that ends speaks only for its own.
    uint64_t m_generation = 0;
    enum class State { connected, replaying, lost, closing };
    State m_state = State::connected;
    uint64_t m_nextRequest = 1;
    std::map<uint64_t, std::optional<Json>> m_answers;
    uint64_t m_nextChannel = 1;
    std::map<uint64_t, std::shared_ptr<std::function<void(const Json&)>>> m_channels;
    std::optional<Json> m_registration;
    std::map<uint64_t, std::vector<std::pair<std::string, Json>>> m_kept;
    Duration m_pause {};
    WorkItem m_attempt;
};

} // namespace lorvantine
