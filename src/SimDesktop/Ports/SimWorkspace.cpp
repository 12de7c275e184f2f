#include "SimDesktop/Ports/SimWorkspace.h"

#include "Platform/Dispatch/Clock.h"
#include "SimDesktop/Ports/SimAppleScript.h"
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
        const bool done = m.setFrontmost(pid);
        m.record({ .kind = SimJournalEntry::Kind::activate, .pid = pid,
                   .result = done ? AXError::success : AXError::failure });
        return done;
    });
}

bool SimWorkspace::terminate(ProcessID pid)
{
    return m_desktop->withModel([&](SimModel& m) {
        const bool done = m.terminate(pid);
        m.record({ .kind = SimJournalEntry::Kind::terminate, .pid = pid,
                   .result = done ? AXError::success : AXError::failure });
        return done;
    });
}

OperatingSystemVersion SimWorkspace::operatingSystemVersion()
{
    return m_desktop->withModel([](SimModel& m) { return m.osVersion; });
}

std::optional<std::string> SimWorkspace::applicationVersion(const std::string& bundleID)
{
    return m_desktop->withModel([&](SimModel& m) -> std::optional<std::string> {
        for (const auto& app : m.applications)
            if (app.info.bundleIdentifier == bundleID && app.info.bundleVersion)
                return app.info.bundleVersion;
        for (const SimInstalledApplication& installed : m.installedApplications)
            if (installed.bundleIdentifier == bundleID)
                return installed.bundleVersion;
        return std::nullopt;
    });
}

std::optional<std::string> SimWorkspace::runAppleScript(const std::string& source, std::string& error)
{
    auto statements = SimAppleScript::parse(source);
    m_desktop->withModel([&](SimModel& m) {
        m.record({ .kind = SimJournalEntry::Kind::appleScript, .name = source,
                   .result = statements ? AXError::success : AXError::failure });
    });
    if (!statements) {
        error = statements.error();
        return std::nullopt;
    }
    for (const SimAppleScript::Statement& statement : *statements) {
        using Kind = SimAppleScript::Statement::Kind;
        if (statement.kind == Kind::delay) {
            // The script waits where it runs, as osascript does, on the installed clock.
            Clock::current().sleep(seconds(statement.seconds));
            continue;
        }
        const bool done = m_desktop->withModel([&](SimModel& m) {
            if (statement.kind == Kind::keyCode) {
                // System Events types into whatever application is in front.
                for (bool down : { true, false })
                    m.record({ .kind = SimJournalEntry::Kind::event,
                               .event = InputEvent::keyboard(std::nullopt, static_cast<uint16_t>(statement.keyCode), down),
                               .tap = EventTap::session });
                return true;
            }
            for (const auto& app : m.applications) {
                if (app.info.bundleIdentifier == statement.bundleID) {
                    const bool activated = m.setFrontmost(app.info.pid);
                    m.record({ .kind = SimJournalEntry::Kind::activate, .pid = app.info.pid,
                               .result = activated ? AXError::success : AXError::failure });
                    return true;
                }
            }
            error = "Can’t get application id \"" + statement.bundleID + "\".";
            return false;
        });
        if (!done)
            return std::nullopt;
    }
    error.clear();
    return std::string();
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
