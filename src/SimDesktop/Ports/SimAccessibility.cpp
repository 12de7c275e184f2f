#include "SimDesktop/Ports/SimAccessibility.h"

#include "SimDesktop/Model/SimAttributes.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Model/SimGeometry.h"

namespace lorvantine {

namespace {
bool isSystemWide(const AXElement& e) { return e.pid == 0 && e.node == SimModel::systemWideNode; }
} // namespace

AXElement SimAccessibility::applicationElement(ProcessID pid) { return AXElement { pid, 0 }; }

AXElement SimAccessibility::systemWideElement() { return AXElement { 0, SimModel::systemWideNode }; }

AXError SimAccessibility::pid(const AXElement& element, ProcessID& out)
{
    return m_desktop->withModel([&](SimModel& m) {
        if (!m.trusted)
            return AXError::apiDisabled;
        if (isSystemWide(element) || element.isNull())
            return AXError::illegalArgument;
        if (element.node == 0) {
            out = element.pid;
            return AXError::success;
        }
        SimNode* n = m.node(element);
        if (!n)
            return AXError::invalidUIElement;
        out = n->pid;
        return AXError::success;
    });
}

AXError SimAccessibility::copyAttributeValue(const AXElement& element, const std::string& attribute, AXValue& out)
{
    return m_desktop->withModel([&](SimModel& m) {
        return m.trusted ? SimAttributes::copy(m, element, attribute, out) : AXError::apiDisabled;
    });
}

AXError SimAccessibility::copyAttributeNames(const AXElement& element, std::vector<std::string>& out)
{
    return m_desktop->withModel([&](SimModel& m) {
        return m.trusted ? SimAttributes::names(m, element, out) : AXError::apiDisabled;
    });
}

AXError SimAccessibility::copyParameterizedAttributeValue(const AXElement& element, const std::string& attribute,
                                                          const AXValue& parameter, AXValue& out)
{
    return m_desktop->withModel([&](SimModel& m) {
        return m.trusted ? SimAttributes::copyParameterized(m, element, attribute, parameter, out) : AXError::apiDisabled;
    });
}

AXError SimAccessibility::copyParameterizedAttributeNames(const AXElement& element, std::vector<std::string>& out)
{
    return m_desktop->withModel([&](SimModel& m) {
        return m.trusted ? SimAttributes::parameterizedNames(m, element, out) : AXError::apiDisabled;
    });
}

AXError SimAccessibility::setAttributeValue(const AXElement& element, const std::string& attribute, const AXValue& value)
{
    return m_desktop->withModel([&](SimModel& m) {
        const AXError result = m.trusted ? SimAttributes::set(m, element, attribute, value) : AXError::apiDisabled;
        m.record({ .kind = SimJournalEntry::Kind::setAttribute, .pid = element.pid, .element = element, .name = attribute,
                   .value = value, .result = result });
        return result;
    });
}

AXError SimAccessibility::isAttributeSettable(const AXElement& element, const std::string& attribute, bool& out)
{
    return m_desktop->withModel([&](SimModel& m) {
        return m.trusted ? SimAttributes::isSettable(m, element, attribute, out) : AXError::apiDisabled;
    });
}

AXError SimAccessibility::performAction(const AXElement& element, const std::string& action)
{
    return m_desktop->withModel([&](SimModel& m) {
        const AXError result = m.trusted ? SimAttributes::perform(m, element, action) : AXError::apiDisabled;
        m.record({ .kind = SimJournalEntry::Kind::action, .pid = element.pid, .element = element, .name = action,
                   .result = result });
        return result;
    });
}

AXError SimAccessibility::copyActionNames(const AXElement& element, std::vector<std::string>& out)
{
    return m_desktop->withModel([&](SimModel& m) {
        return m.trusted ? SimAttributes::actionNames(m, element, out) : AXError::apiDisabled;
    });
}

AXError SimAccessibility::elementAtPosition(const AXElement& application, float x, float y, AXElement& out)
{
    return m_desktop->withModel([&](SimModel& m) {
        if (!m.trusted)
            return AXError::apiDisabled;
        ProcessID pid = 0;
        if (!isSystemWide(application)) {
            if (application.node != 0 || !m.application(application.pid))
                return SimAttributes::missing(application);
            pid = application.pid;
        }
        const uint64_t hit = SimGeometry::hitTest(m, pid, Point { x, y });
        if (!hit)
            return AXError::noValue;
        out = m.handle(hit);
        return AXError::success;
    });
}

AXError SimAccessibility::setMessagingTimeout(const AXElement& element, float seconds)
{
    return m_desktop->withModel([&](SimModel& m) {
        if (!m.trusted)
            return AXError::apiDisabled;
        if (seconds < 0)
            return AXError::illegalArgument;
        if (!isSystemWide(element) && !m.node(element))
            return SimAttributes::missing(element);
        return AXError::success;
    });
}

bool SimAccessibility::isProcessTrusted(Prompt prompt)
{
    return m_desktop->withModel([&](SimModel& m) {
        if (!m.trusted && prompt == Prompt::yes)
            m.record({ .kind = SimJournalEntry::Kind::trustPrompt });
        return m.trusted;
    });
}

AXError SimAccessibility::createObserver(ProcessID pid, ObserverCallback callback, AXObserverID& out)
{
    return m_desktop->withModel([&](SimModel& m) {
        if (!m.trusted)
            return AXError::apiDisabled;
        if (pid <= 0 || !callback)
            return AXError::illegalArgument;
        SimModel::Application* app = m.application(pid);
        if (!app)
            return AXError::cannotComplete;
        if (const AXError* error = m.node(app->node)->error("AXObserverCreate"))
            return *error;
        const AXObserverID id = m.nextObserver++;
        m.observers[id] = SimModel::Observer { pid, std::move(callback), {} };
        out = id;
        return AXError::success;
    });
}

AXError SimAccessibility::addNotification(AXObserverID observer, const AXElement& element, const std::string& notification)
{
    return m_desktop->withModel([&](SimModel& m) {
        if (!m.trusted)
            return AXError::apiDisabled;
        auto it = m.observers.find(observer);
        if (it == m.observers.end())
            return AXError::invalidUIElementObserver;
        SimNode* n = m.node(element);
        if (!n)
            return SimAttributes::missing(element);
        if (n->pid != it->second.pid)
            return AXError::illegalArgument;
        if (const AXError* error = n->error(notification))
            return *error;
        if (!it->second.registrations.insert({ element, notification }).second)
            return AXError::notificationAlreadyRegistered;
        return AXError::success;
    });
}

AXError SimAccessibility::removeNotification(AXObserverID observer, const AXElement& element,
                                             const std::string& notification)
{
    return m_desktop->withModel([&](SimModel& m) {
        if (!m.trusted)
            return AXError::apiDisabled;
        auto it = m.observers.find(observer);
        if (it == m.observers.end())
            return AXError::invalidUIElementObserver;
        if (!it->second.registrations.erase({ element, notification }))
            return AXError::notificationNotRegistered;
        return AXError::success;
    });
}

void SimAccessibility::destroyObserver(AXObserverID observer)
{
    m_desktop->withModel([&](SimModel& m) { m.observers.erase(observer); });
}

} // namespace lorvantine
