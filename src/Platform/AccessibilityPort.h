#pragma once

#include "Platform/AXTypes.h"

#include <memory>

namespace lorvantine {

using AXObserverID = uint64_t;

// The accessibility API of the desktop, as the program uses it. Each call answers like the
// platform does: an error code, with the result in the out-parameter on success. Calls may be
// made from any thread and block while the other process answers. Observer callbacks arrive on
// the main run loop.
class AccessibilityPort {
public:
    virtual ~AccessibilityPort() = default;

    virtual AXElement applicationElement(ProcessID pid) = 0;
    virtual AXElement systemWideElement() = 0;
    virtual AXError pid(const AXElement& element, ProcessID& out) = 0;

    virtual AXError copyAttributeValue(const AXElement& element, const std::string& attribute, AXValue& out) = 0;
    virtual AXError copyAttributeNames(const AXElement& element, std::vector<std::string>& out) = 0;
    virtual AXError copyParameterizedAttributeValue(const AXElement& element, const std::string& attribute,
                                                    const AXValue& parameter, AXValue& out) = 0;
    virtual AXError copyParameterizedAttributeNames(const AXElement& element, std::vector<std::string>& out) = 0;
    virtual AXError setAttributeValue(const AXElement& element, const std::string& attribute, const AXValue& value) = 0;
    virtual AXError isAttributeSettable(const AXElement& element, const std::string& attribute, bool& out) = 0;

    virtual AXError performAction(const AXElement& element, const std::string& action) = 0;
    virtual AXError copyActionNames(const AXElement& element, std::vector<std::string>& out) = 0;

    // Top-left global screen coordinates. `application` may be the system-wide element.
    virtual AXError elementAtPosition(const AXElement& application, float x, float y, AXElement& out) = 0;
    virtual AXError setMessagingTimeout(const AXElement& element, float seconds) = 0;

    // Whether this process may use the API; with `Prompt::yes` the user is asked when it may not.
    enum class Prompt { no, yes };
    virtual bool isProcessTrusted(Prompt prompt) = 0;

    using ObserverCallback = std::function<void(const AXElement& element, const std::string& notification)>;
    virtual AXError createObserver(ProcessID pid, ObserverCallback callback, AXObserverID& out) = 0;
    virtual AXError addNotification(AXObserverID observer, const AXElement& element, const std::string& notification) = 0;
    virtual AXError removeNotification(AXObserverID observer, const AXElement& element, const std::string& notification) = 0;
    virtual void destroyObserver(AXObserverID observer) = 0;
};

} // namespace lorvantine
