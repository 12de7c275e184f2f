#pragma once

#include "Platform/AccessibilityPort.h"
#include "Platform/Services.h"
#include "TestSupport/ForwardingAccessibility.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lorvantine::test {

// An accessibility port in front of another (normally a simulated desktop's) that counts the
// calls made through it and can answer chosen "AXBoundsForRange" probes itself. Any thread.
class ProbeCountingAccessibility final : public ForwardingAccessibility {
public:
    // Gets the element and range of every bounds request; returning a value answers the request
    // with it (an error, or success with `out` set), returning none passes it on.
    using BoundsOverride = std::function<std::optional<AXError>(const AXElement&, const AXRange&, AXValue& out)>;

    explicit ProbeCountingAccessibility(std::shared_ptr<AccessibilityPort> inner) : ForwardingAccessibility(std::move(inner)) {}

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

    AXError copyParameterizedAttributeValue(const AXElement& element, const std::string& attribute,
                                            const AXValue& parameter, AXValue& out) override
    {
        if (attribute == AXName::boundsForRange) {
            ++m_boundsCalls;
            const AXRange* range = axGet<AXRange>(parameter);
            if (range && boundsOverride) {
                if (auto answer = boundsOverride(element, *range, out)) {
                    willQuery();
                    return *answer;
                }
            }
        }
        return ForwardingAccessibility::copyParameterizedAttributeValue(element, attribute, parameter, out);
    }

protected:
    void willQuery() override { ++m_totalCalls; }

private:
    std::atomic<int> m_boundsCalls { 0 };
    std::atomic<int> m_totalCalls { 0 };
};

} // namespace lorvantine::test
