#pragma once

namespace lorvantine {

class DispatchQueue;

// Which queue the calling thread is running work for, for `isCurrent`.
class QueueScope {
public:
    explicit QueueScope(const DispatchQueue* queue)
        : m_previous(s_current)
    {
        s_current = queue;
    }
    ~QueueScope() { s_current = m_previous; }
    QueueScope(const QueueScope&) = delete;
    QueueScope& operator=(const QueueScope&) = delete;

    static const DispatchQueue* current() { return s_current; }

private:
    const DispatchQueue* m_previous;
    static inline thread_local const DispatchQueue* s_current = nullptr;
};

} // namespace lorvantine
