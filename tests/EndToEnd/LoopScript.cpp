#include "EndToEnd/LoopScript.h"

#include "Platform/Dispatch/Dispatch.h"

#include <csignal>

namespace lorvantine::test {

struct LoopScript::State {
    struct Step {
        std::string what;
        std::function<bool()> run;
    };
    std::vector<Step> steps;
    size_t next = 0;
    bool cancelled = false;
    std::string failure;
    std::chrono::steady_clock::time_point deadline;

    static void runNext(const std::shared_ptr<State>& state)
    {
        if (state->cancelled || !state->failure.empty() || state->next == state->steps.size())
            return;
        if (state->steps[state->next].run()) {
            ++state->next;
            // A step's own work (a press, a choice) reaches the program through the main queue:
            // the next step comes after it.
            DispatchQueue::main().async([state] { runNext(state); });
            return;
        }
        if (std::chrono::steady_clock::now() > state->deadline) {
            state->failure = "gave up waiting for: " + state->steps[state->next].what;
            std::raise(SIGINT);
            return;
        }
        DispatchQueue::main().asyncAfter(seconds(0.005), [state] { runNext(state); });
    }
};

LoopScript::LoopScript() : m_state(std::make_shared<State>()) { }

LoopScript::~LoopScript() { cancel(); }

LoopScript& LoopScript::waitFor(std::string what, std::function<bool()> condition)
{
    m_state->steps.push_back({ std::move(what), std::move(condition) });
    return *this;
}

LoopScript& LoopScript::then(std::string what, std::function<void()> action)
{
    m_state->steps.push_back({ std::move(what), [action = std::move(action)] {
                                  action();
                                  return true;
                              } });
    return *this;
}

void LoopScript::start(std::chrono::milliseconds limit)
{
    m_state->deadline = std::chrono::steady_clock::now() + limit;
    DispatchQueue::main().async([state = m_state] { State::runNext(state); });
}

void LoopScript::cancel() { m_state->cancelled = true; }

bool LoopScript::finished() const { return m_state->next == m_state->steps.size(); }

std::string LoopScript::failure() const { return m_state->failure; }

} // namespace lorvantine::test
