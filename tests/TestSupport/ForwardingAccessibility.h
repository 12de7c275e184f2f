#pragma once

#include "Platform/AccessibilityPort.h"

#include <memory>
#include <string>
#include <vector>

namespace lorvantine::test {

// An accessibility port in front of another (normally a simulated desktop's) that passes every
// call on. Tests derive from it to watch or hold up the calls they care about; `willQuery` runs
// before each call that asks an element something.
class ForwardingAccessibility : public AccessibilityPort {
public:
    explicit ForwardingAccessibility(std::shared_ptr<AccessibilityPort> inner) : m_inner(std::move(inner)) {}

    AXElement applicationElement(ProcessID pid) override { return m_inner->applicationElement(pid); }
    AXElement systemWideElement() override { return m_inner->systemWideElement(); }
    AXError pid(const AXElement& element, ProcessID& out) override
    {
        willQuery();
        return m_inner->pid(element, out);
    }
    AXError copyAttributeValue(const AXElement& element, const std::string& attribute, AXValue& out) override
    {
        willQuery();
        return m_inner->copyAttributeValue(element, attribute, out);
    }
    AXError copyAttributeNames(const AXElement& element, std::vector<std::string>& out) override
    {
        willQuery();
        return m_inner->copyAttributeNames(element, out);
    }
    AXError copyParameterizedAttributeValue(const AXElement& element, const std::string& attribute,
                                            const AXValue& parameter, AXValue& out) override
    {
        willQuery();
        return m_inner->copyParameterizedAttributeValue(element, attribute, parameter, out);
    }
    AXError copyParameterizedAttributeNames(const AXElement& element, std::vector<std::string>& out) override
    {
        willQuery();
        return m_inner->copyParameterizedAttributeNames(element, out);
    }
    AXError setAttributeValue(const AXElement& element, const std::string& attribute, const AXValue& value) override
    {
        willQuery();
        return m_inner->setAttributeValue(element, attribute, value);
    }
    AXError isAttributeSettable(const AXElement& element, const std::string& attribute, bool& out) override
    {
        willQuery();
        return m_inner->isAttributeSettable(element, attribute, out);
    }
    AXError performAction(const AXElement& element, const std::string& action) override
    {
        willQuery();
        return m_inner->performAction(element, action);
    }
    AXError copyActionNames(const AXElement& element, std::vector<std::string>& out) override
    {
        willQuery();
        return m_inner->copyActionNames(element, out);
    }
    AXError elementAtPosition(const AXElement& application, float x, float y, AXElement& out) override
    {
        willQuery();
        return m_inner->elementAtPosition(application, x, y, out);
    }
    AXError setMessagingTimeout(const AXElement& element, float seconds) override
    {
        return m_inner->setMessagingTimeout(element, seconds);
    }
    bool isProcessTrusted(Prompt prompt) override { return m_inner->isProcessTrusted(prompt); }
    AXError createObserver(ProcessID pid, ObserverCallback callback, AXObserverID& out) override
    {
        return m_inner->createObserver(pid, std::move(callback), out);
    }
    AXError addNotification(AXObserverID observer, const AXElement& element, const std::string& notification) override
    {
        return m_inner->addNotification(observer, element, notification);
    }
    AXError removeNotification(AXObserverID observer, const AXElement& element, const std::string& notification) override
    {
        return m_inner->removeNotification(observer, element, notification);
    }
    void destroyObserver(AXObserverID observer) override { m_inner->destroyObserver(observer); }

protected:
    virtual void willQuery() {}
    AccessibilityPort& inner() { return *m_inner; }

private:
    std::shared_ptr<AccessibilityPort> m_inner;
};

} // namespace lorvantine::test
