#include "SimDesktop/Ports/SimWorkspace.h"

#include "SimDesktop/Ports/SimAppleScriptRunner.h"
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

template <class Field>
std::optional<std::string> SimWorkspace::bundleField(const std::string& bundleID, Field field)
{
    return m_desktop->withModel([&](SimModel& m) -> std::optional<std::string> {
        for (const auto& app : m.applications)
            if (app.info.bundleIdentifier == bundleID && field(app.info))
                return field(app.info);
        for (const SimInstalledApplication& installed : m.installed)
            if (installed.application.bundleIdentifier == bundleID)
                return field(installed.application);
        return std::nullopt;
    });
}

std::optional<std::string> SimWorkspace::applicationVersion(const std::string& bundleID)
{
    return bundleField(bundleID, [](const auto& application) -> const auto& { return application.bundleVersion; });
}

std::optional<std::string> SimWorkspace::applicationPath(const std::string& bundleID)
{
    return bundleField(bundleID, [](const auto& application) -> const auto& { return application.bundlePath; });
}

std::optional<std::string> SimWorkspace::runAppleScript(const std::string& source, std::string& error)
{
    return SimAppleScriptRunner(m_desktop).run(source, error);
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

bool SimWorkspace::openURL(const std::string& url)
{
    const auto colon = url.find(':');
    const bool hasScheme = colon != std::string::npos && colon > 0;
    m_desktop->withModel([&](SimModel& m) {
        m.record({ .kind = SimJournalEntry::Kind::openURL, .name = url, .result = hasScheme ? AXError::success : AXError::failure });
    });
    return hasScheme;
}

} // namespace lorvantine
