#include "Platform/Backends/DesktopWire.h"

namespace lorvantine::DesktopWire {

namespace {

std::optional<int64_t> wireInteger(const Json& json)
{
    if (json.is_number_integer() && !(json.is_number_unsigned() && json.get<uint64_t>() > uint64_t(INT64_MAX)))
        return json.get<int64_t>();
    return std::nullopt;
}

std::optional<double> wireNumber(const Json& json)
{
    if (json.is_number())
        return json.get<double>();
    return std::nullopt;
}

// An array of exactly `size` numbers.
std::optional<std::vector<double>> wireNumbers(const Json& json, size_t size)
{
    if (!json.is_array() || json.size() != size)
        return std::nullopt;
    std::vector<double> out;
    for (const auto& item : json) {
        if (!item.is_number())
            return std::nullopt;
        out.push_back(item.get<double>());
    }
    return out;
}

template<typename T> void putOptional(Json& out, const char* key, const std::optional<T>& value)
{
    if (value)
        out[key] = *value;
}

enum ValueKind : int64_t { none, boolKind, integerKind, doubleKind, stringKind, urlKind, pointKind, sizeKind, rectKind,
                           rangeKind, elementKind, elementsKind, stringsKind, attributedKind };

} // namespace

const Json* member(const Json& object, const char* key)
{
    if (!object.is_object())
        return nullptr;
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

std::optional<int64_t> integer(const Json& object, const char* key)
{
    const Json* m = member(object, key);
    return m ? wireInteger(*m) : std::nullopt;
}

std::optional<double> number(const Json& object, const char* key)
{
    const Json* m = member(object, key);
    return m ? wireNumber(*m) : std::nullopt;
}

std::optional<bool> boolean(const Json& object, const char* key)
{
    const Json* m = member(object, key);
    if (m && m->is_boolean())
        return m->get<bool>();
    return std::nullopt;
}

const std::string* string(const Json& object, const char* key)
{
    const Json* m = member(object, key);
    return m && m->is_string() ? m->get_ptr<const std::string*>() : nullptr;
}

Json element(const AXElement& element) { return Json::array({ element.pid, element.node }); }

std::optional<AXElement> readElement(const Json& json)
{
    if (!json.is_array() || json.size() != 2)
        return std::nullopt;
    auto pid = wireInteger(json[0]);
    if (!pid || *pid < INT32_MIN || *pid > INT32_MAX || !json[1].is_number_unsigned())
        return std::nullopt;
    return AXElement { static_cast<ProcessID>(*pid), json[1].get<uint64_t>() };
}

Json strings(const std::vector<std::string>& strings) { return Json(strings); }

std::optional<std::vector<std::string>> readStrings(const Json& json)
{
    if (!json.is_array())
        return std::nullopt;
    std::vector<std::string> out;
    for (const auto& item : json) {
        if (!item.is_string())
            return std::nullopt;
        out.push_back(item.get<std::string>());
    }
    return out;
}

Json value(const AXValue& value)
{
    struct Encoder {
        Json operator()(std::monostate) const { return Json::array({ none }); }
        Json operator()(bool b) const { return Json::array({ boolKind, b }); }
        Json operator()(int64_t i) const { return Json::array({ integerKind, i }); }
        Json operator()(double d) const { return Json::array({ doubleKind, d }); }
        Json operator()(const std::string& s) const { return Json::array({ stringKind, s }); }
        Json operator()(const AXURL& u) const { return Json::array({ urlKind, u.string }); }
        Json operator()(const Point& p) const { return Json::array({ pointKind, p.x, p.y }); }
        Json operator()(const Size& s) const { return Json::array({ sizeKind, s.width, s.height }); }
        Json operator()(const Rect& r) const
        {
            return Json::array({ rectKind, r.origin.x, r.origin.y, r.size.width, r.size.height });
        }
        Json operator()(const AXRange& r) const { return Json::array({ rangeKind, r.location, r.length }); }
        Json operator()(const AXElement& e) const { return Json::array({ elementKind, element(e) }); }
        Json operator()(const std::vector<AXElement>& list) const
        {
            Json items = Json::array();
            for (const auto& e : list)
                items.push_back(element(e));
            return Json::array({ elementsKind, std::move(items) });
        }
        Json operator()(const std::vector<std::string>& list) const { return Json::array({ stringsKind, list }); }
        Json operator()(const AXAttributedString& a) const
        {
            Json runs = Json::array();
            for (const auto& run : a.runs)
                runs.push_back(Json::array({ run.range.location, run.range.length, run.attributes }));
            return Json::array({ attributedKind, a.string, std::move(runs) });
        }
    };
    return std::visit(Encoder {}, value);
}

std::optional<AXValue> readValue(const Json& json)
{
    if (!json.is_array() || json.empty())
        return std::nullopt;
    auto kind = wireInteger(json[0]);
    if (!kind)
        return std::nullopt;
    const size_t size = json.size();
    auto numbers = [&](size_t count) {
        Json rest = Json::array();
        for (size_t i = 1; i < size; ++i)
            rest.push_back(json[i]);
        return wireNumbers(rest, count);
    };
    switch (*kind) {
    case none:
        return size == 1 ? std::optional<AXValue>(std::monostate {}) : std::nullopt;
    case boolKind:
        if (size == 2 && json[1].is_boolean())
            return AXValue(json[1].get<bool>());
        return std::nullopt;
    case integerKind:
        if (auto i = size == 2 ? wireInteger(json[1]) : std::nullopt)
            return AXValue(*i);
        return std::nullopt;
    case doubleKind:
        if (auto d = size == 2 ? wireNumber(json[1]) : std::nullopt)
            return AXValue(*d);
        return std::nullopt;
    case stringKind:
    case urlKind:
        if (size != 2 || !json[1].is_string())
            return std::nullopt;
        if (*kind == urlKind)
            return AXValue(AXURL { json[1].get<std::string>() });
        return AXValue(json[1].get<std::string>());
    case pointKind:
        if (auto n = numbers(2))
            return AXValue(Point { (*n)[0], (*n)[1] });
        return std::nullopt;
    case sizeKind:
        if (auto n = numbers(2))
            return AXValue(Size { (*n)[0], (*n)[1] });
        return std::nullopt;
    case rectKind:
        if (auto n = numbers(4))
            return AXValue(Rect((*n)[0], (*n)[1], (*n)[2], (*n)[3]));
        return std::nullopt;
    case rangeKind: {
        if (size != 3)
            return std::nullopt;
        auto location = wireInteger(json[1]), length = wireInteger(json[2]);
        if (location && length)
            return AXValue(AXRange { *location, *length });
        return std::nullopt;
    }
    case elementKind:
        if (auto e = size == 2 ? readElement(json[1]) : std::nullopt)
            return AXValue(*e);
        return std::nullopt;
    case elementsKind: {
        if (size != 2 || !json[1].is_array())
            return std::nullopt;
        std::vector<AXElement> list;
        for (const auto& item : json[1]) {
            auto e = readElement(item);
            if (!e)
                return std::nullopt;
            list.push_back(*e);
        }
        return AXValue(std::move(list));
    }
    case stringsKind:
        if (auto list = size == 2 ? readStrings(json[1]) : std::nullopt)
            return AXValue(std::move(*list));
        return std::nullopt;
    case attributedKind: {
        if (size != 3 || !json[1].is_string() || !json[2].is_array())
            return std::nullopt;
        AXAttributedString out { json[1].get<std::string>(), {} };
        for (const auto& run : json[2]) {
            if (!run.is_array() || run.size() != 3 || !run[2].is_object())
                return std::nullopt;
            auto location = wireInteger(run[0]), length = wireInteger(run[1]);
            if (!location || !length)
                return std::nullopt;
            AXAttributeRun item { { *location, *length }, {} };
            for (const auto& [key, text] : run[2].items()) {
                if (!text.is_string())
                    return std::nullopt;
                item.attributes[key] = text.get<std::string>();
            }
            out.runs.push_back(std::move(item));
        }
        return AXValue(std::move(out));
    }
    default:
        return std::nullopt;
    }
}

Json windowInfo(const WindowInfo& info)
{
    Json out = Json::object();
    putOptional(out, "number", info.kCGWindowNumber);
    putOptional(out, "pid", info.kCGWindowOwnerPID);
    putOptional(out, "owner", info.kCGWindowOwnerName);
    putOptional(out, "name", info.kCGWindowName);
    if (info.kCGWindowBounds) {
        const Rect& r = *info.kCGWindowBounds;
        out["bounds"] = Json::array({ r.origin.x, r.origin.y, r.size.width, r.size.height });
    }
    putOptional(out, "layer", info.kCGWindowLayer);
    putOptional(out, "onscreen", info.kCGWindowIsOnscreen);
    putOptional(out, "alpha", info.kCGWindowAlpha);
    return out;
}

std::optional<WindowInfo> readWindowInfo(const Json& json)
{
    if (!json.is_object())
        return std::nullopt;
    WindowInfo info;
    if (auto n = integer(json, "number"); n && *n >= 0 && *n <= UINT32_MAX)
        info.kCGWindowNumber = static_cast<uint32_t>(*n);
    if (auto n = integer(json, "pid"); n && *n >= INT32_MIN && *n <= INT32_MAX)
        info.kCGWindowOwnerPID = static_cast<ProcessID>(*n);
    if (auto s = string(json, "owner"))
        info.kCGWindowOwnerName = *s;
    if (auto s = string(json, "name"))
        info.kCGWindowName = *s;
    if (const Json* b = member(json, "bounds"))
        if (auto n = wireNumbers(*b, 4))
            info.kCGWindowBounds = Rect((*n)[0], (*n)[1], (*n)[2], (*n)[3]);
    if (auto n = integer(json, "layer"); n && *n >= INT32_MIN && *n <= INT32_MAX)
        info.kCGWindowLayer = static_cast<int32_t>(*n);
    info.kCGWindowIsOnscreen = boolean(json, "onscreen");
    info.kCGWindowAlpha = number(json, "alpha");
    return info;
}

Json screen(const ScreenInfo& screen)
{
    const Rect& f = screen.frame;
    const Rect& v = screen.visibleFrame;
    return Json::array({ f.origin.x, f.origin.y, f.size.width, f.size.height, v.origin.x, v.origin.y, v.size.width,
                         v.size.height, screen.backingScaleFactor });
}

std::optional<ScreenInfo> readScreen(const Json& json)
{
    auto n = wireNumbers(json, 9);
    if (!n)
        return std::nullopt;
    const auto& v = *n;
    return ScreenInfo { Rect(v[0], v[1], v[2], v[3]), Rect(v[4], v[5], v[6], v[7]), v[8] };
}

Json event(const InputEvent& event)
{
    Json out = { { "type", static_cast<int>(event.type) }, { "key", event.keyCode }, { "flags", event.flags },
                 { "x", event.location.x }, { "y", event.location.y }, { "clicks", event.clickCount },
                 { "unit", static_cast<int>(event.scrollUnit) }, { "dy", event.scrollDeltaY },
                 { "dx", event.scrollDeltaX } };
    if (event.source)
        out["source"] = static_cast<int>(*event.source);
    if (!event.characters.empty())
        out["characters"] = event.characters;
    return out;
}

std::optional<InputEvent> readEvent(const Json& json)
{
    auto type = integer(json, "type");
    auto key = integer(json, "key");
    const Json* flags = member(json, "flags");
    auto x = number(json, "x"), y = number(json, "y");
    auto clicks = integer(json, "clicks"), unit = integer(json, "unit"), dy = integer(json, "dy"), dx = integer(json, "dx");
    if (!type || *type < 0 || *type > static_cast<int>(InputEventType::scrollWheel) || !key || *key < 0
        || *key > UINT16_MAX || !flags || !flags->is_number_unsigned() || !x || !y || !clicks || !unit
        || (*unit != 0 && *unit != 1) || !dy || !dx || *dy < INT32_MIN || *dy > INT32_MAX || *dx < INT32_MIN
        || *dx > INT32_MAX)
        return std::nullopt;
    InputEvent event;
    event.type = static_cast<InputEventType>(*type);
    event.keyCode = static_cast<uint16_t>(*key);
    event.flags = flags->get<uint64_t>();
    event.location = { *x, *y };
    event.clickCount = *clicks;
    event.scrollUnit = static_cast<ScrollUnit>(*unit);
    event.scrollDeltaY = static_cast<int32_t>(*dy);
    event.scrollDeltaX = static_cast<int32_t>(*dx);
    if (const Json* source = member(json, "source")) {
        auto s = wireInteger(*source);
        if (!s || (*s != 0 && *s != 1))
            return std::nullopt;
        event.source = static_cast<EventSourceState>(*s);
    }
    if (const Json* characters = member(json, "characters")) {
        if (!characters->is_string())
            return std::nullopt;
        event.characters = characters->get<std::string>();
    }
    return event;
}

Json monitoredEvent(const MonitoredEvent& event)
{
    InputEvent input;
    input.type = event.type;
    input.source = event.source;
    input.keyCode = event.keyCode;
    input.flags = event.modifierFlags;
    input.location = event.location;
    input.clickCount = event.clickCount;
    input.scrollUnit = event.scrollUnit;
    input.scrollDeltaY = event.scrollDeltaY;
    input.scrollDeltaX = event.scrollDeltaX;
    Json out = DesktopWire::event(input);
    out["screenX"] = event.screenLocation.x;
    out["screenY"] = event.screenLocation.y;
    out["window"] = event.windowNumber;
    return out;
}

std::optional<MonitoredEvent> readMonitoredEvent(const Json& json)
{
    auto input = readEvent(json);
    auto screenX = number(json, "screenX"), screenY = number(json, "screenY");
    auto window = integer(json, "window");
    if (!input || !screenX || !screenY || !window || *window < 0 || *window > UINT32_MAX)
        return std::nullopt;
    MonitoredEvent event;
    event.type = input->type;
    event.location = input->location;
    event.screenLocation = { *screenX, *screenY };
    event.keyCode = input->keyCode;
    event.modifierFlags = input->flags;
    event.clickCount = input->clickCount;
    event.scrollUnit = input->scrollUnit;
    event.scrollDeltaY = input->scrollDeltaY;
    event.scrollDeltaX = input->scrollDeltaX;
    event.source = input->source;
    event.windowNumber = static_cast<uint32_t>(*window);
    return event;
}

Json application(const RunningApplication& application)
{
    Json out = { { "pid", application.pid }, { "active", application.isActive },
                 { "terminated", application.isTerminated } };
    putOptional(out, "bundleID", application.bundleIdentifier);
    putOptional(out, "name", application.localizedName);
    putOptional(out, "executable", application.executableName);
    putOptional(out, "bundlePath", application.bundlePath);
    putOptional(out, "version", application.bundleVersion);
    return out;
}

std::optional<RunningApplication> readApplication(const Json& json)
{
    auto pid = integer(json, "pid");
    if (!pid || *pid < INT32_MIN || *pid > INT32_MAX)
        return std::nullopt;
    RunningApplication out;
    out.pid = static_cast<ProcessID>(*pid);
    out.isActive = boolean(json, "active").value_or(false);
    out.isTerminated = boolean(json, "terminated").value_or(false);
    auto text = [&](const char* key) -> std::optional<std::string> {
        if (auto s = string(json, key))
            return *s;
        return std::nullopt;
    };
    out.bundleIdentifier = text("bundleID");
    out.localizedName = text("name");
    out.executableName = text("executable");
    out.bundlePath = text("bundlePath");
    out.bundleVersion = text("version");
    return out;
}

Json pasteboardItem(const PasteboardItem& item)
{
    Json out = Json::array();
    for (const auto& [type, data] : item.representations)
        out.push_back(Json::array({ type, Json::binary(std::vector<uint8_t>(data.begin(), data.end())) }));
    return out;
}

std::optional<PasteboardItem> readPasteboardItem(const Json& json)
{
    if (!json.is_array())
        return std::nullopt;
    PasteboardItem item;
    for (const auto& pair : json) {
        if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string() || !pair[1].is_binary())
            return std::nullopt;
        const auto& bytes = pair[1].get_binary();
        item.representations.emplace_back(pair[0].get<std::string>(), std::string(bytes.begin(), bytes.end()));
    }
    return item;
}

namespace {

Json wireRect(const Rect& r) { return Json::array({ r.origin.x, r.origin.y, r.size.width, r.size.height }); }

std::optional<Rect> readWireRect(const Json* json)
{
    auto n = json ? wireNumbers(*json, 4) : std::nullopt;
    if (!n)
        return std::nullopt;
    return Rect((*n)[0], (*n)[1], (*n)[2], (*n)[3]);
}

} // namespace

Json recognitionRequest(const TextRecognitionRequest& request)
{
    return { { "level", request.recognitionLevel == RecognitionLevel::fast ? "fast" : "accurate" },
             { "languages", strings(request.recognitionLanguages) },
             { "correction", request.usesLanguageCorrection == LanguageCorrection::on },
             { "pixelsPerPoint", request.pixelsPerPoint } };
}

std::optional<TextRecognitionRequest> readRecognitionRequest(const Json& json)
{
    const std::string* level = string(json, "level");
    const Json* languages = member(json, "languages");
    auto list = languages ? readStrings(*languages) : std::nullopt;
    auto correction = boolean(json, "correction");
    auto scale = number(json, "pixelsPerPoint");
    if (!level || (*level != "fast" && *level != "accurate") || !list || !correction || !scale)
        return std::nullopt;
    return TextRecognitionRequest { *level == "fast" ? RecognitionLevel::fast : RecognitionLevel::accurate, std::move(*list),
                                    *correction ? LanguageCorrection::on : LanguageCorrection::off, *scale };
}

Json observations(const std::vector<TextObservation>& observations)
{
    Json list = Json::array();
    for (const TextObservation& observation : observations) {
        Json out = { { "box", wireRect(observation.boundingBox) } };
        if (const auto& text = observation.topCandidate) {
            Json segments = Json::array();
            for (const auto& segment : text->segments)
                segments.push_back({ { "begin", segment.begin }, { "end", segment.end }, { "box", wireRect(segment.box) } });
            out["text"] = { { "string", text->string }, { "confidence", text->confidence }, { "segments", std::move(segments) } };
        }
        list.push_back(std::move(out));
    }
    return list;
}

std::optional<std::vector<TextObservation>> readObservations(const Json& json)
{
    if (!json.is_array())
        return std::nullopt;
    std::vector<TextObservation> out;
    for (const Json& item : json) {
        auto box = readWireRect(member(item, "box"));
        if (!box)
            return std::nullopt;
        TextObservation observation { *box, std::nullopt };
        if (const Json* text = member(item, "text")) {
            const std::string* line = string(*text, "string");
            auto confidence = number(*text, "confidence");
            const Json* segments = member(*text, "segments");
            if (!line || !confidence || !segments || !segments->is_array())
                return std::nullopt;
            RecognizedText recognized { *line, *confidence, {} };
            for (const Json& segment : *segments) {
                auto begin = integer(segment, "begin"), end = integer(segment, "end");
                auto area = readWireRect(member(segment, "box"));
                if (!begin || !end || !area || *begin < 0 || *end < *begin || static_cast<uint64_t>(*end) > line->size())
                    return std::nullopt;
                recognized.segments.push_back({ static_cast<size_t>(*begin), static_cast<size_t>(*end), *area });
            }
            observation.topCandidate = std::move(recognized);
        }
        out.push_back(std::move(observation));
    }
    return out;
}

Json error(const ErrorValue& error)
{
    return { { "domain", error.domain }, { "code", error.code }, { "description", error.description } };
}

std::optional<ErrorValue> readError(const Json& json)
{
    const std::string* domain = string(json, "domain");
    auto code = integer(json, "code");
    const std::string* description = string(json, "description");
    if (!domain || !code || !description)
        return std::nullopt;
    return ErrorValue { *domain, *code, *description };
}

} // namespace lorvantine::DesktopWire
