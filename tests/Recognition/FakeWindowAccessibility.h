#pragma once

#include "Platform/AccessibilityPort.h"

#include <map>
#include <mutex>
#include <utility>

namespace lorvantine::testing {

// Attribute reads answered from a table; anything else is "attribute unsupported". The element's
// process is its `pid` field, so an element with pid 0 has none. Any thread.
class FakeWindowAccessibility final : public AccessibilityPort {
public:
    void set(const AXElement& element, const std::string& attribute, AXValue value)
    {
        std::lock_guard lock(m_mutex);
        m_values[{element, attribute}] = std::move(value);
    }
    void remove(const AXElement& element, const std::string& attribute)
    {
        std::lock_guard lock(m_mutex);
        m_values.erase({element, attribute});
    }

    AXElement applicationElement(ProcessID pid) override { return {pid, 1}; }
    AXElement systemWideElement() override { return {-1, 1}; }
    AXError pid(const AXElement& element, ProcessID& out) override
    {
        if (element.pid == 0)
            return AXError::invalidUIElement;
        out = element.pid;
        return AXError::success;
    }
    AXError copyAttributeValue(const AXElement& element, const std::string& attribute, AXValue& out) override
    {
        std::lock_guard lock(m_mutex);
        auto it = m_values.find({element, attribute});
        if (it == m_values.end())
            return AXError::attributeUnsupported;
        out = it->second;
        return AXError::success;
    }
    AXError copyAttributeNames(const AXElement&, std::vector<std::string>&) override { return AXError::notImplemented; }
    AXError copyParameterizedAttributeValue(const AXElement&, const std::string&, const AXValue&, AXValue&) override
    {
        return AXError::notImplemented;
    }
    AXError copyParameterizedAttributeNames(const AXElement&, std::vector<std::string>&) override { return AXError::notImplemented; }
    AXError setAttributeValue(const AXElement&, const std::string&, const AXValue&) override { return AXError::notImplemented; }
    AXError isAttributeSettable(const AXElement&, const std::string&, bool&) override { return AXError::notImplemented; }
    AXError performAction(const AXElement&, const std::string&) override { return AXError::notImplemented; }
    AXError copyActionNames(const AXElement&, std::vector<std::string>&) override { return AXError::notImplemented; }
    AXError elementAtPosition(const AXElement&, float, float, AXElement&) override { return AXError::notImplemented; }
    AXError setMessagingTimeout(const AXElement&, float) override { return AXError::success; }
    bool isProcessTrusted(Prompt) override { return true; }
    AXError createObserver(ProcessID, ObserverCallback, AXObserverID&) override { return AXError::notImplemented; }
    AXError addNotification(AXObserverID, const AXElement&, const std::string&) override { return AXError::notImplemented; }
    AXError removeNotification(AXObserverID, const AXElement&, const std::string&) override { return AXError::notImplemented; }
    void destroyObserver(AXObserverID) override {}

private:
    std::mutex m_mutex;
    std::map<std::pair<AXElement, std::string>, AXValue> m_values;
};

} // namespace lorvantine::testing
