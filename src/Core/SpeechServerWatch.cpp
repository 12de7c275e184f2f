#include "Core/SpeechServerWatch.h"

#include "Platform/HttpPort.h"

namespace lorvantine {

bool SpeechServerWatch::meansUnreachable(const ErrorValue& error)
{
    return error.domain == NSURLError::domain && error.code != NSURLError::cancelled
        && error.code != NSURLError::dataLengthExceedsMaximum;
}

void SpeechServerWatch::reset()
{
    std::lock_guard guard(m_mutex);
    m_lostInRow = 0;
    m_run.reset();
}

void SpeechServerWatch::answered()
{
    std::lock_guard guard(m_mutex);
    m_run.reset();
}

void SpeechServerWatch::paused()
{
    std::lock_guard guard(m_mutex);
    m_run.reset();
}

std::optional<SpeechServerWatch::FailureRun> SpeechServerWatch::attemptFailed(const ErrorValue& error, TimePoint sentAt)
{
    std::lock_guard guard(m_mutex);
    if (!meansUnreachable(error)) {
        m_run.reset();
        return std::nullopt;
    }
    m_lastFailure = error;
    if (m_run)
        return std::nullopt;
    m_run = FailureRun { ++m_runs, sentAt };
    return m_run;
}

bool SpeechServerWatch::isStillFailing(std::uint64_t run) const
{
    std::lock_guard guard(m_mutex);
    return m_run && m_run->number == run;
}

bool SpeechServerWatch::paragraphEnded(const std::optional<ErrorValue>& error)
{
    std::lock_guard guard(m_mutex);
    if (!error || !meansUnreachable(*error)) {
        m_lostInRow = 0;
        return false;
    }
    m_lastFailure = *error;
    return ++m_lostInRow == paragraphsInARow;
}

ErrorValue SpeechServerWatch::lastFailure() const
{
    std::lock_guard guard(m_mutex);
    return m_lastFailure;
}

} // namespace lorvantine
