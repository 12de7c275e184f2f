#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lorvantine::test {

// Steps that play one after another on the main queue while a command runs the main run loop,
// the way a user acts on the running program. A waiting step is asked again every few
// milliseconds until it answers true. Past the time limit the script records what it was
// waiting for and presses Ctrl+C, so the command under test always ends.
//
// Main thread. The steps may capture the test's locals: once `cancel` has been called (after the
// command returned) no step runs again, even if work the script queued is still pending.
class LoopScript {
public:
    LoopScript();
    ~LoopScript();
    LoopScript(const LoopScript&) = delete;
    LoopScript& operator=(const LoopScript&) = delete;

    LoopScript& waitFor(std::string what, std::function<bool()> condition);
    LoopScript& then(std::string what, std::function<void()> action);

    // Queues the first step; it runs once the main run loop runs.
    void start(std::chrono::milliseconds limit = std::chrono::seconds(15));
    void cancel();

    bool finished() const;
    // The step the script gave up on, when it did.
    std::string failure() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace lorvantine::test
