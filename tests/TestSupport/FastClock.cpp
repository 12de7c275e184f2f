#include "TestSupport/FastClock.h"

#include <chrono>

namespace lorvantine::test {

FastClock::FastClock(double speedUp)
    : m_previous(Clock::install(m_clock))
    , m_mover([this, speedUp] {
        while (!m_stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            m_clock->advance(seconds(0.001 * speedUp));
        }
    })
{
}

FastClock::~FastClock()
{
    m_stop = true;
    m_mover.join();
    Clock::install(m_previous);
}

} // namespace lorvantine::test
