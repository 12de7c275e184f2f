#pragma once

#include "Platform/AccessibilityPort.h"

#include <memory>

namespace lorvantine {

class RemoteDesktop;

// The accessibility port answered by the desktop server. Any thread, as the port says; every
// call is one round trip. A call the server cannot answer (the connection is gone) answers
// `cannotComplete`, as the platform does when the other application does not answer.
class RemoteAccessibility : public AccessibilityPort {
public:
    explicit RemoteAccessibility(std::shared_ptr<RemoteDesktop> desktop);
    ~RemoteAccessibility() override;

    AXElement applicationElement(ProcessID pid) override;
    AXElement systemWideElement() override;
    AXError pid(const AXElement& element, ProcessID& out) override;
    AXError copyAttributeValue(const AXElement& element, const std::string& attribute, AXValue& out) override;
    AXError copyAttributeNames(const AXElement& element, std::vector<std::string>& out) override;
    AXError copyParameterizedAttributeValue(const AXElement& element, const std::string& attribute,
                                            const AXValue& parameter, AXValue& out) override;
    AXError copyParameterizedAttributeNames(const AXElement& element, std::vector<std::string>& out) override;
    AXError setAttributeValue(const AXElement& element, const std::string& attribute, const AXValue& value) override;
    AXError isAttributeSettable(const AXElement& element, const std::string& attribute, bool& out) override;
    AXError performAction(const AXElement& element, const std::string& action) override;
    AXError copyActionNames(const AXElement& element, std::vector<std::string>& out) override;
    AXError elementAtPosition(const AXElement& application, float x, float y, AXElement& out) override;
    AXError setMessagingTimeout(const AXElement& element, float seconds) override;
    bool isProcessTrusted(Prompt prompt) override;
    AXError createObserver(ProcessID pid, ObserverCallback callback, AXObserverID& out) override;
    AXError addNotification(AXObserverID observer, const AXElement& element, const std::string& notification) override;
    AXError removeNotification(AXObserverID observer, const AXElement& element, const std::string& notification) override;
    void destroyObserver(AXObserverID observer) override;

private:
    const std::shared_ptr<RemoteDesktop> m_desktop;
};

} // namespace lorvantine
