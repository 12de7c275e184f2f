#pragma once

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

namespace lorvantine {

// A connection to the desktop server: the desktop ports of this process answered by the desktop
// another process owns, so that several processes share one desktop.
//
// Threads: `call` from any thread, each blocking until its answer (requests of several threads
// share the connection). A reader thread takes answers and pushed messages off the socket;
// pushed messages are handed to their channel's handler on the main queue, in the order they
// came. A handler removed before its turn is not called. When the server goes away every call
// waiting or to come answers none; destruction closes the socket and joins the reader.
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

    // The accessibility, window server, workspace, pasteboard, permissions, window capture,
    // event monitor and process ports over this connection; the text recogniser is left empty.
    // `ownProcesses` answers this process's controlling terminal.
    PlatformServices services(std::shared_ptr<ProcessPort> ownProcesses = nullptr);
    // Makes `application` one of the desktop's running applications for as long as this
    // connection lasts.
    bool registerApplication(const RunningApplication& application);
    bool isConnected() const;

    RemoteDesktop(const RemoteDesktop&) = delete;
    RemoteDesktop& operator=(const RemoteDesktop&) = delete;

private:
    explicit RemoteDesktop(int fd);
    void readAnswers();
    void deliver(const Json& message);

    const int m_fd;
    std::thread m_reader;
    std::mutex m_writeLock;
    mutable std::mutex m_lock;
    std::condition_variable m_answered;
    // Guarded by m_lock.
    bool m_connected = true;
    uint64_t m_nextRequest = 1;
    std::map<uint64_t, std::optional<Json>> m_answers;
    uint64_t m_nextChannel = 1;
    std::map<uint64_t, std::shared_ptr<std::function<void(const Json&)>>> m_channels;
};

} // namespace lorvantine
