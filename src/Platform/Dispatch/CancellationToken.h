#pragma once

#include <atomic>
#include <memory>

namespace lorvantine {

// Tells work running on another thread that its result is no longer wanted; the work looks at it
// between steps and ends early. Copies share one flag. Any thread.
//
// Work deep below a call that knows nothing of it (a document search through the sources) finds
// its token through a `Scope` set around the work on its thread.
class CancellationToken {
public:
    CancellationToken() = default;
    void cancel() { m_cancelled->store(true, std::memory_order_release); }
    bool isCancelled() const { return m_cancelled->load(std::memory_order_acquire); }

    // Whether the work the calling thread runs now has been cancelled; false outside any scope.
    static bool currentIsCancelled() { return s_current && s_current->isCancelled(); }

    class Scope;

private:
    std::shared_ptr<std::atomic<bool>> m_cancelled = std::make_shared<std::atomic<bool>>(false);
    static inline thread_local const CancellationToken* s_current = nullptr;
};

// Makes `token` the calling thread's current one until it ends.
class CancellationToken::Scope {
public:
    explicit Scope(const CancellationToken& token)
        : m_token(token)
        , m_previous(s_current)
    {
        s_current = &m_token;
    }
    ~Scope() { s_current = m_previous; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    CancellationToken m_token;
    const CancellationToken* m_previous;
};

} // namespace lorvantine
