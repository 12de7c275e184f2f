#include "Platform/Backends/RemoteAccessibility.h"

#include "Platform/Backends/DesktopWire.h"
#include "Platform/Backends/RemoteDesktop.h"

namespace lorvantine {

namespace {

using Json = nlohmann::json;
namespace Wire = DesktopWire;

std::string remoteRegistrationKey(const AXElement& element, const std::string& notification)
{
    return std::to_string(element.pid) + "/" + std::to_string(element.node) + " " + notification;
}

// The answer's error code; `cannotComplete` without an answer.
AXError remoteCode(const std::optional<Json>& answer)
{
    if (!answer)
        return AXError::cannotComplete;
    auto code = Wire::integer(*answer, "code");
    return code ? static_cast<AXError>(*code) : AXError::cannotComplete;
}

// The answer's code; on success its "value", read by one of DesktopWire's `read…`, goes to `out`
// (`cannotComplete` when it does not read).
template <class T>
AXError remoteRead(const std::optional<Json>& answer, std::optional<T> (*read)(const Json&), T& out)
{
    AXError code = remoteCode(answer);
    if (code != AXError::success)
        return code;
    const Json* value = Wire::member(*answer, "value");
    auto result = value ? read(*value) : std::nullopt;
    if (!result)
        return AXError::cannotComplete;
    out = std::move(*result);
    return code;
}

AXElement remoteElement(const std::optional<Json>& answer)
{
    if (!answer)
        return {};
    return Wire::readElement(*answer).value_or(AXElement {});
}

} // namespace

RemoteAccessibility::RemoteAccessibility(std::shared_ptr<RemoteDesktop> desktop)
    : m_desktop(std::move(desktop))
{
}

RemoteAccessibility::~RemoteAccessibility() = default;

AXElement RemoteAccessibility::applicationElement(ProcessID pid)
{
    return remoteElement(m_desktop->call({ { "op", "ax.application" }, { "pid", pid } }));
}

AXElement RemoteAccessibility::systemWideElement() { return remoteElement(m_desktop->call({ { "op", "ax.systemWide" } })); }

AXError RemoteAccessibility::pid(const AXElement& element, ProcessID& out)
{
    auto answer = m_desktop->call({ { "op", "ax.pid" }, { "element", Wire::element(element) } });
    AXError code = remoteCode(answer);
    if (code == AXError::success)
        out = static_cast<ProcessID>(Wire::integer(*answer, "value").value_or(0));
    return code;
}

AXError RemoteAccessibility::copyAttributeValue(const AXElement& element, const std::string& attribute, AXValue& out)
{
    return remoteRead(m_desktop->call({ { "op", "ax.copy" }, { "element", Wire::element(element) }, { "name", attribute } }),
                      Wire::readValue, out);
}

AXError RemoteAccessibility::copyAttributeNames(const AXElement& element, std::vector<std::string>& out)
{
    return remoteRead(m_desktop->call({ { "op", "ax.names" }, { "element", Wire::element(element) } }),
                      Wire::readStrings, out);
}

AXError RemoteAccessibility::copyParameterizedAttributeValue(const AXElement& element, const std::string& attribute,
                                                             const AXValue& parameter, AXValue& out)
{
    return remoteRead(m_desktop->call({ { "op", "ax.copyParameterized" }, { "element", Wire::element(element) },
                                        { "name", attribute }, { "parameter", Wire::value(parameter) } }),
                      Wire::readValue, out);
}

AXError RemoteAccessibility::copyParameterizedAttributeNames(const AXElement& element, std::vector<std::string>& out)
{
    return remoteRead(m_desktop->call({ { "op", "ax.parameterizedNames" }, { "element", Wire::element(element) } }),
                      Wire::readStrings, out);
}

AXError RemoteAccessibility::setAttributeValue(const AXElement& element, const std::string& attribute, const AXValue& value)
{
    return remoteCode(m_desktop->call({ { "op", "ax.set" }, { "element", Wire::element(element) }, { "name", attribute },
                                        { "value", Wire::value(value) } }));
}

AXError RemoteAccessibility::isAttributeSettable(const AXElement& element, const std::string& attribute, bool& out)
{
    auto answer = m_desktop->call({ { "op", "ax.settable" }, { "element", Wire::element(element) }, { "name", attribute } });
    AXError code = remoteCode(answer);
    if (code == AXError::success)
        out = Wire::boolean(*answer, "value").value_or(false);
    return code;
}

AXError RemoteAccessibility::performAction(const AXElement& element, const std::string& action)
{
    return remoteCode(m_desktop->call({ { "op", "ax.perform" }, { "element", Wire::element(element) }, { "name", action } }));
}

AXError RemoteAccessibility::copyActionNames(const AXElement& element, std::vector<std::string>& out)
{
    return remoteRead(m_desktop->call({ { "op", "ax.actions" }, { "element", Wire::element(element) } }),
                      Wire::readStrings, out);
}

AXError RemoteAccessibility::elementAtPosition(const AXElement& application, float x, float y, AXElement& out)
{
    auto answer = m_desktop->call({ { "op", "ax.at" }, { "element", Wire::element(application) }, { "x", x }, { "y", y } });
    return remoteRead(answer, Wire::readElement, out);
}

AXError RemoteAccessibility::setMessagingTimeout(const AXElement& element, float seconds)
{
    return remoteCode(m_desktop->call({ { "op", "ax.timeout" }, { "element", Wire::element(element) }, { "seconds", seconds } }));
}

bool RemoteAccessibility::isProcessTrusted(Prompt prompt)
{
    auto answer = m_desktop->call({ { "op", "ax.trusted" }, { "prompt", prompt == Prompt::yes } });
    return answer && answer->is_boolean() && answer->get<bool>();
}

AXError RemoteAccessibility::createObserver(ProcessID pid, ObserverCallback callback, AXObserverID& out)
{
    uint64_t channel = m_desktop->openChannel([callback = std::move(callback)](const Json& message) {
        const Json* element = Wire::member(message, "element");
        auto target = element ? Wire::readElement(*element) : std::nullopt;
        const std::string* notification = Wire::string(message, "notification");
        if (target && notification)
            callback(*target, *notification);
    });
    const Json request = { { "op", "ax.observe" }, { "channel", channel }, { "pid", pid } };
    AXError code = remoteCode(m_desktop->call(request));
    if (code != AXError::success) {
        m_desktop->closeChannel(channel);
        return code;
    }
    m_desktop->keep(channel, "observe", request);
    out = channel;
    return code;
}

// A registration kept to be made again after a reconnection, until it is removed.
AXError RemoteAccessibility::addNotification(AXObserverID observer, const AXElement& element, const std::string& notification)
{
    const Json request = { { "op", "ax.addNotification" }, { "channel", observer }, { "element", Wire::element(element) },
                           { "name", notification } };
    AXError code = remoteCode(m_desktop->call(request));
    if (code == AXError::success)
        m_desktop->keep(observer, remoteRegistrationKey(element, notification), request);
    return code;
}

AXError RemoteAccessibility::removeNotification(AXObserverID observer, const AXElement& element, const std::string& notification)
{
    m_desktop->keep(observer, remoteRegistrationKey(element, notification), std::nullopt);
    return remoteCode(m_desktop->call({ { "op", "ax.removeNotification" }, { "channel", observer },
                                        { "element", Wire::element(element) }, { "name", notification } }));
}

void RemoteAccessibility::destroyObserver(AXObserverID observer)
{
    m_desktop->closeChannel(observer);
    m_desktop->call({ { "op", "ax.unobserve" }, { "channel", observer } });
}

} // namespace lorvantine
