#include "Network/TTSCancellation.h"

#include <utility>

namespace lorvantine {

void TTSCancellation::cancel()
{
    std::function<void()> stop;
    {
        std::lock_guard guard(m_mutex);
        if (m_cancelled)
            return;
        m_cancelled = true;
        stop = std::move(m_stop);
    }
    if (stop)
        stop();
}

bool TTSCancellation::isCancelled() const
{
    std::lock_guard guard(m_mutex);
    return m_cancelled;
}

void TTSCancellation::setStopper(std::function<void()> stop)
{
    std::function<void()> previous;
    {
        std::lock_guard guard(m_mutex);
        if (!m_cancelled) {
            previous = std::exchange(m_stop, std::move(stop));
            return;
        }
    }
    if (stop)
        stop();
}

} // namespace lorvantine
