#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace lorvantine {

using Duration = std::chrono::nanoseconds;
using TimePoint = std::chrono::steady_clock::time_point;

constexpr Duration seconds(double s) { return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(s)); }
constexpr double toSeconds(Duration d) { return std::chrono::duration<double>(d).count(); }

// All waiting in the program goes through the installed clock, so tests can run time by hand.
// The clock is process-wide; install a clock before the code under test starts timers.
class Clock {
public:
    virtual ~Clock() = default;

    virtual TimePoint now() const = 0;
    // Blocks the calling thread until the clock reaches `deadline`.
    virtual void sleepUntil(TimePoint deadline) = 0;
    void sleep(Duration d) { sleepUntil(now() + d); }

    // Called (on the thread that moved the clock) whenever a manual clock moves; the steady clock
    // never calls it. Dispatch's timer thread uses it to re-check its deadlines. Returns a token:
    // the listener stays registered until the token is destroyed.
    virtual std::shared_ptr<void> addAdvanceListener(std::function<void()> listener) = 0;

    // Every clock ever installed stays alive until the process ends, so this reference never
    // dangles, even on a thread that still holds it after the next install.
    static Clock& current();
    // Installs `clock` for the whole process and returns the previous one (a null `clock`
    // installs a steady clock).
    static std::shared_ptr<Clock> install(std::shared_ptr<Clock> clock);
};

class SteadyClock final : public Clock {
public:
    TimePoint now() const override;
    void sleepUntil(TimePoint deadline) override;
    std::shared_ptr<void> addAdvanceListener(std::function<void()>) override { return nullptr; }
};

// Time moves only when a test moves it. Every instance starts at the same fixed, non-zero time.
// `sleepUntil` blocks until another thread advances the clock far enough. Thread-safe.
class ManualClock final : public Clock {
public:
    ManualClock();
    ~ManualClock() override;

    TimePoint now() const override;
    void sleepUntil(TimePoint deadline) override;
    std::shared_ptr<void> addAdvanceListener(std::function<void()> listener) override;

    void advance(Duration d);
    void set(TimePoint t); // never backwards

    // The earliest deadline a thread is sleeping towards, if any; `Dispatch::advance` stops there.
    std::optional<TimePoint> nextSleepDeadline() const;

    // Code that sleeps on the main thread (a page turn waits there for the other application)
    // would wait for ever in a test, whose main thread is the one that moves time. With this on,
    // such a sleep moves the clock to its deadline instead, waking what is due on the way.
    void setMainThreadSleepsAdvance(bool on);

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace lorvantine
