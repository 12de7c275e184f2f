#include "SimDesktop/SimWorkspace.h"

#include "SimDesktop/SimDesktop.h"

namespace lorvantine {

std::vector<RunningApplication> SimWorkspace::runningApplications()
{
    return m_desktop->withModel([](SimModel& m) {
        std::vector<RunningApplication> list;
        for (const auto& app : m.applications)
            list.push_back(app.info);
        return list;
    });
}

std::optional<RunningApplication> SimWorkspace::frontmostApplication()
{
    return m_desktop->withModel([](SimModel& m) -> std::optional<RunningApplication> {
        if (const SimModel::Application* app = m.frontmost())
            return app->info;
        return std::nullopt;
    });
}

bool SimWorkspace::activate(ProcessID pid, ActivationOptions)
{
    return m_desktop->withModel([&](SimModel& m) {
        SimJournalEntry entry;
        entry.kind = SimJournalEntry::Kind::activate;
        entry.pid = pid;
        const bool done = m.setFrontmost(pid);
        entry.result = done ? AXError::success : AXError::failure;
        m.record(std::move(entry));
        return done;
    });
}

bool SimWorkspace::terminate(ProcessID pid)
{
    return m_desktop->withModel([&](SimModel& m) {
        SimJournalEntry entry;
        entry.kind = SimJournalEntry::Kind::terminate;
        entry.pid = pid;
        const bool done = m.terminate(pid);
        entry.result = done ? AXError::success : AXError::failure;
        m.record(std::move(entry));
        return done;
    });
}

std::optional<std::string> SimWorkspace::runAppleScript(const std::string& source, std::string& error)
{
    return m_desktop->withModel([&](SimModel& m) -> std::optional<std::string> {
        SimJournalEntry entry;
        entry.kind = SimJournalEntry::Kind::appleScript;
        entry.name = source;
        entry.result = AXError::failure;
        m.record(std::move(entry));
        error = "AppleScript is not available on the simulated desktop";
        return std::nullopt;
    });
}

std::shared_ptr<void> SimWorkspace::observeActivation(std::function<void(const RunningApplication&)> callback)
{
    const uint64_t id = m_desktop->withModel([&](SimModel& m) {
        const uint64_t listener = m.nextActivationListener++;
        m.activationListeners[listener] = std::move(callback);
        return listener;
    });
    std::weak_ptr<SimDesktop> weak = m_desktop;
    return std::shared_ptr<void>(nullptr, [weak, id](void*) {
        if (auto desktop = weak.lock())
            desktop->withModel([id](SimModel& m) { m.activationListeners.erase(id); });
    });
}

} // namespace lorvantine
