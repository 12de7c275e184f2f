#pragma once

#include "Platform/AXTypes.h"
#include "Platform/EventMonitorPort.h"
#include "Platform/PasteboardPort.h"
#include "Platform/TextRecognitionPort.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

// The port values as the desktop server and its clients exchange them (inside DesktopFrame
// messages). Each `read…` takes what came from the other process and never throws: a value of
// the wrong shape is none.
namespace lorvantine::DesktopWire {

using Json = nlohmann::json;

// Typed members of a received map; none (or nullptr) when missing or of another type.
const Json* member(const Json& object, const char* key);
std::optional<int64_t> integer(const Json& object, const char* key);
std::optional<double> number(const Json& object, const char* key);
std::optional<bool> boolean(const Json& object, const char* key);
const std::string* string(const Json& object, const char* key);

Json element(const AXElement& element);
std::optional<AXElement> readElement(const Json& json);
Json value(const AXValue& value);
std::optional<AXValue> readValue(const Json& json);
Json strings(const std::vector<std::string>& strings);
std::optional<std::vector<std::string>> readStrings(const Json& json);

Json windowInfo(const WindowInfo& info);
std::optional<WindowInfo> readWindowInfo(const Json& json);
Json screen(const ScreenInfo& screen);
std::optional<ScreenInfo> readScreen(const Json& json);
Json event(const InputEvent& event);
std::optional<InputEvent> readEvent(const Json& json);
Json monitoredEvent(const MonitoredEvent& event);
std::optional<MonitoredEvent> readMonitoredEvent(const Json& json);

Json application(const RunningApplication& application);
std::optional<RunningApplication> readApplication(const Json& json);
Json pasteboardItem(const PasteboardItem& item);
std::optional<PasteboardItem> readPasteboardItem(const Json& json);

Json recognitionRequest(const TextRecognitionRequest& request);
std::optional<TextRecognitionRequest> readRecognitionRequest(const Json& json);
// A segment whose bytes lie outside its line's string makes the whole answer none.
Json observations(const std::vector<TextObservation>& observations);
std::optional<std::vector<TextObservation>> readObservations(const Json& json);
Json error(const ErrorValue& error);
std::optional<ErrorValue> readError(const Json& json);

// The items of an answer's array that read by one of the `read…` above, the others skipped; none
// when there is no answer or it is not an array.
template <class T>
std::optional<std::vector<T>> readItems(const std::optional<Json>& answer, std::optional<T> (*read)(const Json&))
{
    if (!answer || !answer->is_array())
        return std::nullopt;
    std::vector<T> items;
    for (const auto& item : *answer)
        if (auto value = read(item))
            items.push_back(std::move(*value));
    return items;
}

} // namespace lorvantine::DesktopWire
