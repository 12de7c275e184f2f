#include "SimDesktop/Ports/SimPermissions.h"

#include "SimDesktop/SimDesktop.h"

namespace lorvantine {

InputMonitoringAccess SimPermissions::checkInputMonitoring()
{
    return m_desktop->withModel([](SimModel& m) { return m.inputMonitoring; });
}

bool SimPermissions::requestInputMonitoring()
{
    return m_desktop->withModel([](SimModel& m) {
        m.record({ .kind = SimJournalEntry::Kind::inputMonitoringRequest });
        return m.inputMonitoring == InputMonitoringAccess::granted;
    });
}

bool SimPermissions::registerLoginItem(std::string& error)
{
    return m_desktop->withModel([&](SimModel& m) {
        if (m.loginItemChangesFail) {
            error = "Operation not permitted";
            return false;
        }
        if (m.loginItem == LoginItemStatus::notFound) {
            error = "The login item could not be found.";
            return false;
        }
        if (m.loginItem != LoginItemStatus::requiresApproval)
            m.loginItem = LoginItemStatus::enabled;
        error.clear();
        return true;
    });
}

bool SimPermissions::unregisterLoginItem(std::string& error)
{
    return m_desktop->withModel([&](SimModel& m) {
        if (m.loginItemChangesFail) {
            error = "Operation not permitted";
            return false;
        }
        if (m.loginItem == LoginItemStatus::notRegistered || m.loginItem == LoginItemStatus::notFound) {
            error = "The login item is not registered.";
            return false;
        }
        m.loginItem = LoginItemStatus::notRegistered;
        error.clear();
        return true;
    });
}

LoginItemStatus SimPermissions::loginItemStatus()
{
    return m_desktop->withModel([](SimModel& m) { return m.loginItem; });
}

} // namespace lorvantine
