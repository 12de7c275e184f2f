#pragma once

#include "Platform/AccessibilityPort.h"
#include "Platform/Services.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lorvantine::test {

// An accessibility port in front of another (normally a simulated desktop's) that counts the
// calls made through it and can answer chosen "AXBoundsForRange" probes itself. Any thread.
class ProbeCountingAccessibility final : public AccessibilityPort {
public:
    // Gets the element and range of every bounds request; returning a value answers the request
    // with it (an error, or success with `out` set), returning none passes it on.
    using BoundsOverride = std::function<std::optional<AXError>(const AXElement&, const AXRange&, AXValue& out)>;

    explicit ProbeCountingAccessibility(std::shared_ptr<AccessibilityPort> inner) : m_inner(std::move(inner)) {}

    // The services of `base` with this port in front of its accessibility.
    static std::pair<PlatformServices, std::shared_ptr<ProbeCountingAccessibility>> wrap(PlatformServices base)
    {
        auto port = std::make_shared<ProbeCountingAccessibility>(base.accessibility);
        base.accessibility = port;
        return { std::move(base), port };
    }

    int boundsCalls() const { return m_boundsCalls; }
    int totalCalls() const { return m_totalCalls; }
    void resetCounts()
    {
        m_boundsCalls = 0;
        m_totalCalls = 0;
    }
    // Set before the calls it is to affect; not while another thread probes.
    BoundsOverride boundsOverride;

    AXElement applicationElement(ProcessID pid) override { return m_inner->applicationElement(pid); }
    AXElement systemWideElement() override { return m_inner->systemWideElement(); }
    AXError pid(const AXElement& element, ProcessID& out) override { return counted(m_inner->pid(element, out)); }
    AXError copyAttributeValue(const AXElement& element, const std::string& attribute, AXValue& out) override
    {
        return counted(m_inner->copyAttributeValue(element, attribute, out));
    }
    AXError copyAttributeNames(const AXElement& element, std::vector<std::string>& out) override
    {
        return counted(m_inner->copyAttributeNames(element, out));
    }
    AXError copyParameterizedAttributeValue(const AXElement& element, const std::string& attribute,
                                            const AXValue& parameter, AXValue& out) override
    {
        if (attribute == AXName::boundsForRange) {
            ++m_boundsCalls;
            const AXRange* range = axGet<AXRange>(parameter);
            if (range && boundsOverride) {
                if (auto answer = boundsOverride(element, *range, out))
                    return counted(*answer);
            }
        }
        return counted(m_inner->copyParameterizedAttributeValue(element, attribute, parameter, out));
    }
    AXError copyParameterizedAttributeNames(const AXElement& element, std::vector<std::string>& out) override
    {
        return counted(m_inner->copyParameterizedAttributeNames(element, out));
    }
    AXError setAttributeValue(const AXElement& element, const std::string& attribute, const AXValue& value) override
    {
        return counted(m_inner->setAttributeValue(element, attribute, value));
    }
    AXError isAttributeSettable(const AXElement& element, const std::string& attribute, bool& out) override
    {
        return counted(m_inner->isAttributeSettable(element, attribute, out));
    }
    AXError performAction(const AXElement& element, const std::string& action) override
    {
        return counted(m_inner->performAction(element, action));
    }
    AXError copyActionNames(const AXElement& element, std::vector<std::string>& out) override
    {
        return counted(m_inner->copyActionNames(element, out));
    }
    AXError elementAtPosition(const AXElement& application, float x, float y, AXElement& out) override
    {
        return counted(m_inner->elementAtPosition(application, x, y, out));
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

private:
    AXError counted(AXError error)
    {
        ++m_totalCalls;
        return error;
    }

    std::shared_ptr<AccessibilityPort> m_inner;
    std::atomic<int> m_boundsCalls { 0 };
    std::atomic<int> m_totalCalls { 0 };
};

} // namespace lorvantine::test
