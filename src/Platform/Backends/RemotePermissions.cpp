#include "Platform/Backends/RemotePermissions.h"

#include "Platform/Backends/DesktopWire.h"
#include "Platform/Backends/RemoteDesktop.h"

namespace lorvantine {

RemotePermissions::RemotePermissions(std::shared_ptr<RemoteDesktop> desktop)
    : m_desktop(std::move(desktop))
{
}

InputMonitoringAccess RemotePermissions::checkInputMonitoring()
{
    auto answer = m_desktop->call({ { "op", "pm.inputMonitoring" } });
    if (answer && answer->is_number_integer() && answer->get<int64_t>() >= 0 && answer->get<int64_t>() <= 2)
        return static_cast<InputMonitoringAccess>(answer->get<int64_t>());
    return InputMonitoringAccess::denied;
}

bool RemotePermissions::requestInputMonitoring()
{
    auto answer = m_desktop->call({ { "op", "pm.requestInputMonitoring" } });
    return answer && answer->is_boolean() && answer->get<bool>();
}

bool RemotePermissions::loginItemCall(const char* op, std::string& error)
{
    auto answer = m_desktop->call({ { "op", op } });
    if (!answer) {
        error = "the desktop server did not answer";
        return false;
    }
    if (const std::string* message = DesktopWire::string(*answer, "error"))
        error = *message;
    return DesktopWire::boolean(*answer, "done").value_or(false);
}

bool RemotePermissions::registerLoginItem(std::string& error) { return loginItemCall("pm.register", error); }
bool RemotePermissions::unregisterLoginItem(std::string& error) { return loginItemCall("pm.unregister", error); }

LoginItemStatus RemotePermissions::loginItemStatus()
{
    auto answer = m_desktop->call({ { "op", "pm.loginItemStatus" } });
    if (answer && answer->is_number_integer() && answer->get<int64_t>() >= 0 && answer->get<int64_t>() <= 3)
        return static_cast<LoginItemStatus>(answer->get<int64_t>());
    return LoginItemStatus::notFound;
}

} // namespace lorvantine
