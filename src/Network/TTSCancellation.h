#pragma once

#include <functional>
#include <mutex>

namespace lorvantine {

// Stops one `TTSClient::generate` chain from any thread: the exchange in flight is cancelled, a
// retry that is waiting never sends, and no further request goes out. The chain still ends with
// exactly one `onDone`, carrying NSURLError::cancelled.
class TTSCancellation {
public:
    void cancel();
    bool isCancelled() const;

    // The chain's side: how to stop what it waits for now, replacing what it waited for before.
    // Runs at once, on the calling thread, when the chain is already cancelled. Never called
    // with the lock held.
    void setStopper(std::function<void()> stop);

private:
    mutable std::mutex m_mutex;
    bool m_cancelled = false;
    std::function<void()> m_stop;
};

} // namespace lorvantine
