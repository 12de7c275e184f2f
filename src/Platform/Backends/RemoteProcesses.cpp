#include "Platform/Backends/RemoteProcesses.h"

#include "Platform/Backends/DesktopWire.h"
#include "Platform/Backends/RemoteDesktop.h"

namespace lorvantine {

RemoteProcesses::RemoteProcesses(std::shared_ptr<RemoteDesktop> desktop, std::shared_ptr<ProcessPort> own)
    : m_desktop(std::move(desktop))
    , m_own(std::move(own))
{
}

Expected<ProcessOutcome, std::string> RemoteProcesses::run(const std::string& program, const std::vector<std::string>& arguments)
{
    auto answer = m_desktop->call({ { "op", "pr.run" }, { "program", program }, { "arguments", DesktopWire::strings(arguments) } });
    if (!answer)
        return Unexpected<std::string>("the desktop server did not answer");
    if (const std::string* reason = DesktopWire::string(*answer, "launchError"))
        return Unexpected<std::string>(*reason);
    auto status = DesktopWire::integer(*answer, "exitStatus");
    const std::string* standardError = DesktopWire::string(*answer, "standardError");
    if (!status || *status < INT32_MIN || *status > INT32_MAX || !standardError)
        return Unexpected<std::string>("the desktop server answered a run of " + program + " in a shape it cannot read");
    return ProcessOutcome { static_cast<int>(*status), *standardError };
}

std::optional<std::string> RemoteProcesses::controllingTerminal()
{
    return m_own ? m_own->controllingTerminal() : std::nullopt;
}

} // namespace lorvantine
