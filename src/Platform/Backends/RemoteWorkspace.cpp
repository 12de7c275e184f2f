#include "Platform/Backends/RemoteWorkspace.h"

#include "Platform/Backends/DesktopWire.h"
#include "Platform/Backends/RemoteDesktop.h"

namespace lorvantine {

namespace Wire = DesktopWire;

RemoteWorkspace::RemoteWorkspace(std::shared_ptr<RemoteDesktop> desktop)
    : m_desktop(std::move(desktop))
{
}

std::vector<RunningApplication> RemoteWorkspace::runningApplications()
{
    return Wire::readItems(m_desktop->call({ { "op", "wk.applications" } }), Wire::readApplication)
        .value_or(std::vector<RunningApplication> {});
}

std::optional<RunningApplication> RemoteWorkspace::frontmostApplication()
{
    auto answer = m_desktop->call({ { "op", "wk.frontmost" } });
    return answer ? Wire::readApplication(*answer) : std::nullopt;
}

bool RemoteWorkspace::activate(ProcessID pid, ActivationOptions options)
{
    auto answer = m_desktop->call(
        { { "op", "wk.activate" }, { "pid", pid }, { "allWindows", options == ActivationOptions::allWindows } });
    return answer && answer->is_boolean() && answer->get<bool>();
}

bool RemoteWorkspace::terminate(ProcessID pid)
{
    auto answer = m_desktop->call({ { "op", "wk.terminate" }, { "pid", pid } });
    return answer && answer->is_boolean() && answer->get<bool>();
}

std::optional<std::string> RemoteWorkspace::runAppleScript(const std::string& source, std::string& error)
{
    auto answer = m_desktop->call({ { "op", "wk.script" }, { "source", source } });
    if (!answer) {
        error = "the desktop server did not answer";
        return std::nullopt;
    }
    const std::string* message = Wire::string(*answer, "error");
    error = message ? *message : "";
    if (const std::string* result = Wire::string(*answer, "result"))
        return *result;
    return std::nullopt;
}

OperatingSystemVersion RemoteWorkspace::operatingSystemVersion()
{
    auto answer = m_desktop->call({ { "op", "wk.osVersion" } });
    if (!answer)
        return {};
    auto part = [&](const char* key) { return static_cast<int>(Wire::integer(*answer, key).value_or(0)); };
    return { part("major"), part("minor"), part("patch") };
}

std::optional<std::string> RemoteWorkspace::applicationVersion(const std::string& bundleID)
{
    auto answer = m_desktop->call({ { "op", "wk.version" }, { "bundleID", bundleID } });
    if (answer && answer->is_string())
        return answer->get<std::string>();
    return std::nullopt;
}

std::optional<std::string> RemoteWorkspace::applicationPath(const std::string& bundleID)
{
    auto answer = m_desktop->call({ { "op", "wk.path" }, { "bundleID", bundleID } });
    if (answer && answer->is_string())
        return answer->get<std::string>();
    return std::nullopt;
}

std::shared_ptr<void> RemoteWorkspace::observeActivation(std::function<void(const RunningApplication&)> callback)
{
    uint64_t channel = m_desktop->openChannel([callback = std::move(callback)](const nlohmann::json& message) {
        const nlohmann::json* application = Wire::member(message, "application");
        if (auto read = application ? Wire::readApplication(*application) : std::nullopt)
            callback(*read);
    });
    const nlohmann::json request = { { "op", "wk.observe" }, { "channel", channel } };
    if (m_desktop->call(request))
        m_desktop->keep(channel, "observe", request);
    std::weak_ptr<RemoteDesktop> weak = m_desktop;
    return std::shared_ptr<void>(nullptr, [weak, channel](void*) {
        if (auto desktop = weak.lock()) {
            desktop->closeChannel(channel);
            desktop->call({ { "op", "wk.unobserve" }, { "channel", channel } });
        }
    });
}

} // namespace lorvantine
