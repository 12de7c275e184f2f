#include "SimDesktop/Model/SimFixtureLoader.h"

#include "SimDesktop/Model/SimTable.h"
#include "SimDesktop/Text/SimTextLayout.h"
#include "Support/JsonReading.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace lorvantine::SimFixtureLoader {

namespace {

using Json = nlohmann::ordered_json;

struct Fault {
    std::string path;
    std::string message;
};

std::string child(const std::string& path, const std::string& key)
{
    std::string escaped;
    for (char c : key) {
        if (c == '~')
            escaped += "~0";
        else if (c == '/')
            escaped += "~1";
        else
            escaped += c;
    }
    return path + "/" + escaped;
}

std::string child(const std::string& path, size_t index) { return path + "/" + std::to_string(index); }

const std::map<std::string, AXError>& errorNames()
{
    static const std::map<std::string, AXError> names {
        { "failure", AXError::failure },
        { "illegalArgument", AXError::illegalArgument },
        { "invalidUIElement", AXError::invalidUIElement },
        { "invalidUIElementObserver", AXError::invalidUIElementObserver },
        { "cannotComplete", AXError::cannotComplete },
        { "attributeUnsupported", AXError::attributeUnsupported },
        { "actionUnsupported", AXError::actionUnsupported },
        { "notificationUnsupported", AXError::notificationUnsupported },
        { "notImplemented", AXError::notImplemented },
        { "notificationAlreadyRegistered", AXError::notificationAlreadyRegistered },
        { "notificationNotRegistered", AXError::notificationNotRegistered },
        { "apiDisabled", AXError::apiDisabled },
        { "noValue", AXError::noValue },
        { "parameterizedAttributeUnsupported", AXError::parameterizedAttributeUnsupported },
        { "notEnoughPrecision", AXError::notEnoughPrecision },
    };
    return names;
}

// Reads one fixture; every check throws a Fault with the JSON path of what it looked at.
class Reader {
public:
    explicit Reader(std::string fileName) : m_fileName(std::move(fileName)) { }

    SimFixture fixture(const Json& j)
    {
        SimFixture f;
        const std::string path;
        object(j, path, { "screens", "applications", "trusted", "inputMonitoring", "loginItem", "loginItemChanges", "mouse",
                          "pasteboard", "captureTool", "recognitionNoise", "eventTaps", "osVersion", "installed" });
        if (j.contains("screens"))
            for (size_t i = 0; const auto& s : array(j["screens"], "/screens"))
                f.screens.push_back(screen(s, child("/screens", i++)));
        if (j.contains("applications")) {
            for (size_t i = 0; const auto& a : array(j["applications"], "/applications"))
                f.applications.push_back(application(a, child("/applications", i++)));
        }
        if (j.contains("installed"))
            for (size_t i = 0; const auto& a : array(j["installed"], "/installed"))
                f.installed.push_back(installed(a, child("/installed", i++)));
        f.trusted = boolean(j, path, "trusted", true);
        if (j.contains("inputMonitoring")) {
            static const std::map<std::string, InputMonitoringAccess> values {
                { "granted", InputMonitoringAccess::granted },
                { "denied", InputMonitoringAccess::denied },
                { "unknown", InputMonitoringAccess::unknown } };
            f.inputMonitoring = choice(j["inputMonitoring"], "/inputMonitoring", values);
        }
        if (j.contains("loginItem")) {
            static const std::map<std::string, LoginItemStatus> values {
                { "notRegistered", LoginItemStatus::notRegistered },
                { "enabled", LoginItemStatus::enabled },
                { "requiresApproval", LoginItemStatus::requiresApproval },
                { "notFound", LoginItemStatus::notFound } };
            f.loginItem = choice(j["loginItem"], "/loginItem", values);
        }
        if (j.contains("loginItemChanges")) {
            static const std::map<std::string, bool> values { { "succeed", false }, { "fail", true } };
            f.loginItemChangesFail = choice(j["loginItemChanges"], "/loginItemChanges", values);
        }
        if (j.contains("mouse"))
            f.mouseLocation = point(j["mouse"], "/mouse");
        if (j.contains("pasteboard")) {
            for (size_t i = 0; const auto& item : array(j["pasteboard"], "/pasteboard")) {
                const std::string itemPath = child("/pasteboard", i++);
                if (!item.is_object())
                    throw Fault { itemPath, "expected an object of type → text" };
                PasteboardItem p;
                for (const auto& [type, data] : item.items())
                    p.representations.emplace_back(type, string(data, child(itemPath, type)));
                f.pasteboard.push_back(std::move(p));
            }
        }
        if (j.contains("captureTool")) {
            static const std::map<std::string, SimCaptureTool> values { { "available", SimCaptureTool::available },
                                                                        { "cannotStart", SimCaptureTool::cannotStart } };
            f.captureTool = choice(j["captureTool"], "/captureTool", values);
        }
        if (j.contains("eventTaps")) {
            static const std::map<std::string, bool> values { { "available", true }, { "cannotCreate", false } };
            f.eventTapsAvailable = choice(j["eventTaps"], "/eventTaps", values);
        }
        if (j.contains("recognitionNoise"))
            f.recognitionNoise = noise(j["recognitionNoise"], "/recognitionNoise");
        if (j.contains("osVersion"))
            f.osVersion = osVersion(j["osVersion"], "/osVersion");
        checkReferences();
        return f;
    }

private:
    struct ReferenceUse {
        std::string name;
        std::string path;
    };
    std::map<std::string, std::string> m_names; // name → path where it was defined
    std::string m_fileName;
    // Page fixtures being read on this thread: a page's fixture may not refer to others.
    static thread_local int s_pageFixtureDepth;
    std::vector<ReferenceUse> m_uses;
    std::set<int64_t> m_pids;
    std::set<int64_t> m_windowNumbers;

    static const char* typeName(const Json& j)
    {
        switch (j.type()) {
        case Json::value_t::null: return "null";
        case Json::value_t::boolean: return "a boolean";
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned: return "an integer";
        case Json::value_t::number_float: return "a number";
        case Json::value_t::string: return "a string";
        case Json::value_t::array: return "an array";
        case Json::value_t::object: return "an object";
        default: return "something else";
        }
    }

    void object(const Json& j, const std::string& path, std::initializer_list<const char*> allowed)
    {
        if (!j.is_object())
            throw Fault { path.empty() ? "/" : path, std::string("expected an object, found ") + typeName(j) };
        for (const auto& [key, value] : j.items()) {
            bool known = key == "comment";
            for (const char* a : allowed)
                known = known || key == a;
            if (!known)
                throw Fault { child(path, key), "unknown key \"" + key + "\"" };
        }
    }

    const Json& array(const Json& j, const std::string& path)
    {
        if (!j.is_array())
            throw Fault { path, std::string("expected an array, found ") + typeName(j) };
        return j;
    }

    std::string string(const Json& j, const std::string& path)
    {
        if (!j.is_string())
            throw Fault { path, std::string("expected a string, found ") + typeName(j) };
        return j.get<std::string>();
    }

    double number(const Json& j, const std::string& path)
    {
        if (!j.is_number())
            throw Fault { path, std::string("expected a number, found ") + typeName(j) };
        return j.get<double>();
    }

    int64_t integer(const Json& j, const std::string& path)
    {
        if (!j.is_number_integer())
            throw Fault { path, std::string("expected an integer, found ") + typeName(j) };
        if (j.is_number_unsigned() && j.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX))
            throw Fault { path, "integer out of range" };
        return j.get<int64_t>();
    }

    bool boolean(const Json& parent, const std::string& path, const char* key, bool fallback)
    {
        if (!parent.contains(key))
            return fallback;
        const Json& j = parent[key];
        if (!j.is_boolean())
            throw Fault { child(path, key), std::string("expected true or false, found ") + typeName(j) };
        return j.get<bool>();
    }

    std::optional<std::string> optionalString(const Json& parent, const std::string& path, const char* key)
    {
        if (!parent.contains(key))
            return std::nullopt;
        return string(parent[key], child(path, key));
    }

    double nonNegative(const Json& j, const std::string& path)
    {
        double v = number(j, path);
        if (v < 0)
            throw Fault { path, "must not be negative" };
        return v;
    }

    std::vector<double> numbers(const Json& j, const std::string& path, size_t minimum, size_t maximum,
                                const char* shape)
    {
        if (!j.is_array() || j.size() < minimum || j.size() > maximum)
            throw Fault { path, std::string("expected ") + shape };
        std::vector<double> out;
        for (size_t i = 0; i < j.size(); ++i) {
            if (!j[i].is_number())
                throw Fault { path, std::string("expected ") + shape };
            out.push_back(j[i].get<double>());
        }
        return out;
    }

    Point point(const Json& j, const std::string& path)
    {
        auto v = numbers(j, path, 2, 2, "[x, y]");
        return Point { v[0], v[1] };
    }

    Rect rect(const Json& j, const std::string& path)
    {
        auto v = numbers(j, path, 4, 4, "[x, y, width, height]");
        if (v[2] < 0 || v[3] < 0)
            throw Fault { path, "width and height must not be negative" };
        return Rect(v[0], v[1], v[2], v[3]);
    }

    template<typename T> T choice(const Json& j, const std::string& path, const std::map<std::string, T>& values)
    {
        const std::string s = string(j, path);
        auto it = values.find(s);
        if (it == values.end()) {
            std::string allowed;
            for (const auto& [name, value] : values)
                allowed += (allowed.empty() ? "" : ", ") + name;
            throw Fault { path, "unknown value \"" + s + "\" (expected one of " + allowed + ")" };
        }
        return it->second;
    }

    void defineName(const std::string& name, const std::string& path)
    {
        if (name.empty())
            throw Fault { path, "a name must not be empty" };
        auto [it, inserted] = m_names.emplace(name, path);
        if (!inserted)
            throw Fault { path, "the name \"" + name + "\" is already used at " + it->second };
    }

    // A name the fixture refers to; it must be defined somewhere in the file.
    void use(const std::string& name, const std::string& path) { m_uses.push_back({ name, path }); }

    void checkReferences()
    {
        for (const auto& use : m_uses)
            if (!m_names.count(use.name))
                throw Fault { use.path, "no element is named \"" + use.name + "\"" };
    }

    ScreenInfo screen(const Json& j, const std::string& path)
    {
        object(j, path, { "frame", "visibleFrame", "scale" });
        if (!j.contains("frame"))
            throw Fault { path, "missing \"frame\"" };
        ScreenInfo s;
        s.frame = rect(j["frame"], child(path, "frame"));
        s.visibleFrame = j.contains("visibleFrame") ? rect(j["visibleFrame"], child(path, "visibleFrame"))
                                                    : Rect(s.frame.origin.x, s.frame.origin.y, s.frame.width(),
                                                           std::max(0.0, s.frame.height() - 25));
        if (j.contains("scale")) {
            s.backingScaleFactor = number(j["scale"], child(path, "scale"));
            if (s.backingScaleFactor <= 0)
                throw Fault { child(path, "scale"), "must be positive" };
        }
        return s;
    }

    DesktopTruthRecognizer::Noise noise(const Json& j, const std::string& path)
    {
        object(j, path, { "typoRate", "mergeRate", "splitRate", "seed" });
        DesktopTruthRecognizer::Noise n;
        for (auto [key, rate] : { std::pair { "typoRate", &n.typoRate }, std::pair { "mergeRate", &n.mergeRate },
                                  std::pair { "splitRate", &n.splitRate } }) {
            if (!j.contains(key))
                continue;
            *rate = number(j[key], child(path, key));
            if (*rate < 0 || *rate > 1)
                throw Fault { child(path, key), "expected a chance from 0 to 1" };
        }
        if (j.contains("seed")) {
            const int64_t seed = integer(j["seed"], child(path, "seed"));
            if (seed < 0)
                throw Fault { child(path, "seed"), "must not be negative" };
            n.seed = static_cast<uint64_t>(seed);
        }
        return n;
    }

    // "#RRGGBB" or "#RRGGBBAA" as 0xAARRGGBB.
    uint32_t colour(const Json& j, const std::string& path)
    {
        const std::string s = string(j, path);
        const bool hex = (s.size() == 7 || s.size() == 9) && s[0] == '#'
            && s.find_first_not_of("0123456789abcdefABCDEF", 1) == std::string::npos;
        if (!hex)
            throw Fault { path, "expected a colour \"#RRGGBB\" or \"#RRGGBBAA\"" };
        const uint32_t rgb = static_cast<uint32_t>(std::stoul(s.substr(1, 6), nullptr, 16));
        const uint32_t alpha = s.size() == 9 ? static_cast<uint32_t>(std::stoul(s.substr(7, 2), nullptr, 16)) : 0xFF;
        return alpha << 24 | rgb;
    }

    AXError error(const Json& j, const std::string& path)
    {
        if (j.is_string()) {
            auto it = errorNames().find(j.get<std::string>());
            if (it == errorNames().end())
                throw Fault { path, "unknown error \"" + j.get<std::string>() + "\"" };
            return it->second;
        }
        const int64_t code = integer(j, path);
        for (const auto& [name, value] : errorNames())
            if (static_cast<int64_t>(value) == code)
                return value;
        throw Fault { path, "unknown error code " + std::to_string(code) + " (expected -25200 … -25214)" };
    }

    // `errors` objects allow any key, so they are read without the unknown-key check.
    std::map<std::string, AXError> errorMap(const Json& parent, const std::string& path)
    {
        std::map<std::string, AXError> out;
        if (!parent.contains("errors"))
            return out;
        const std::string errorsPath = child(path, "errors");
        const Json& j = parent["errors"];
        if (!j.is_object())
            throw Fault { errorsPath, std::string("expected an object, found ") + typeName(j) };
        for (const auto& [name, code] : j.items())
            out[name] = error(code, child(errorsPath, name));
        return out;
    }

    std::vector<std::string> strings(const Json& j, const std::string& path)
    {
        std::vector<std::string> out;
        for (size_t i = 0; const auto& s : array(j, path))
            out.push_back(string(s, child(path, i++)));
        return out;
    }

    // A typed attribute value. Plain JSON maps to the obvious type; an object with one tag names
    // the type: point, size, rect, range, url, string, strings, integer, double, bool, none,
    // attributedString, element, elements.
    AXValue value(const Json& j, const std::string& path, SimElement::Reference* reference)
    {
        switch (j.type()) {
        case Json::value_t::null: return std::monostate {};
        case Json::value_t::boolean: return j.get<bool>();
        case Json::value_t::number_integer:
        case Json::value_t::number_unsigned: return integer(j, path);
        case Json::value_t::number_float: return j.get<double>();
        case Json::value_t::string: return j.get<std::string>();
        case Json::value_t::array: {
            std::vector<std::string> list;
            for (size_t i = 0; const auto& s : j) {
                if (!s.is_string())
                    throw Fault { child(path, i), "a plain array holds strings only; tag other lists" };
                list.push_back(s.get<std::string>());
                ++i;
            }
            return list;
        }
        case Json::value_t::object: break;
        default: throw Fault { path, "unsupported value" };
        }
        if (j.size() != 1)
            throw Fault { path, "a typed value is an object with exactly one type tag" };
        const auto first = j.begin();
        const std::string tag = first.key();
        const Json& v = first.value();
        const std::string p = child(path, tag);
        if (tag == "point")
            return point(v, p);
        if (tag == "size") {
            auto n = numbers(v, p, 2, 2, "[width, height]");
            return Size { n[0], n[1] };
        }
        if (tag == "rect") {
            auto n = numbers(v, p, 4, 4, "[x, y, width, height]");
            return Rect(n[0], n[1], n[2], n[3]);
        }
        if (tag == "range") {
            if (!v.is_array() || v.size() != 2 || !v[0].is_number_integer() || !v[1].is_number_integer())
                throw Fault { p, "expected [location, length] as integers" };
            return AXRange { v[0].get<int64_t>(), v[1].get<int64_t>() };
        }
        if (tag == "url")
            return AXURL { string(v, p) };
        if (tag == "string")
            return string(v, p);
        if (tag == "strings")
            return strings(v, p);
        if (tag == "integer")
            return integer(v, p);
        if (tag == "double")
            return number(v, p);
        if (tag == "bool") {
            if (!v.is_boolean())
                throw Fault { p, std::string("expected true or false, found ") + typeName(v) };
            return v.get<bool>();
        }
        if (tag == "none") {
            if (!v.is_null())
                throw Fault { p, "expected null" };
            return std::monostate {};
        }
        if (tag == "attributedString")
            return attributedString(v, p);
        if (tag == "element" || tag == "elements") {
            if (!reference)
                throw Fault { p, "element references are allowed on elements only" };
            reference->list = tag == "elements";
            if (reference->list) {
                reference->names = strings(v, p);
                for (size_t i = 0; i < reference->names.size(); ++i)
                    m_uses.push_back({ reference->names[i], child(p, i) });
            } else {
                reference->names = { string(v, p) };
                m_uses.push_back({ reference->names[0], p });
            }
            return std::monostate {};
        }
        throw Fault { p, "unknown type tag \"" + tag + "\"" };
    }

    AXAttributedString attributedString(const Json& j, const std::string& path)
    {
        AXAttributedString out;
        if (j.is_string()) {
            out.string = j.get<std::string>();
            return out;
        }
        object(j, path, { "string", "runs" });
        if (!j.contains("string"))
            throw Fault { path, "missing \"string\"" };
        out.string = string(j["string"], child(path, "string"));
        if (j.contains("runs")) {
            const std::string runsPath = child(path, "runs");
            for (size_t i = 0; const auto& r : array(j["runs"], runsPath)) {
                const std::string runPath = child(runsPath, i++);
                object(r, runPath, { "range", "attributes" });
                AXAttributeRun run;
                if (!r.contains("range"))
                    throw Fault { runPath, "missing \"range\"" };
                auto v = numbers(r["range"], child(runPath, "range"), 2, 2, "[location, length]");
                run.range = AXRange { static_cast<int64_t>(v[0]), static_cast<int64_t>(v[1]) };
                if (r.contains("attributes")) {
                    const std::string attrsPath = child(runPath, "attributes");
                    if (!r["attributes"].is_object())
                        throw Fault { attrsPath, "expected an object of name → text" };
                    for (const auto& [k, s] : r["attributes"].items())
                        run.attributes[k] = string(s, child(attrsPath, k));
                }
                out.runs.push_back(std::move(run));
            }
        }
        return out;
    }

    std::map<std::string, AXValue> attributes(const Json& parent, const std::string& path,
                                              std::map<std::string, SimElement::Reference>* references)
    {
        std::map<std::string, AXValue> out;
        if (!parent.contains("attributes"))
            return out;
        const std::string attrsPath = child(path, "attributes");
        const Json& j = parent["attributes"];
        if (!j.is_object())
            throw Fault { attrsPath, std::string("expected an object, found ") + typeName(j) };
        for (const auto& [name, v] : j.items()) {
            SimElement::Reference reference;
            AXValue parsed = value(v, child(attrsPath, name), references ? &reference : nullptr);
            if (!reference.names.empty() || reference.list)
                (*references)[name] = reference;
            else
                out[name] = parsed;
        }
        return out;
    }

    SimFont font(const Json& j, const std::string& path, SimFont base)
    {
        object(j, path, { "family", "size", "weight" });
        if (j.contains("family"))
            base.family = string(j["family"], child(path, "family"));
        if (j.contains("size")) {
            base.size = number(j["size"], child(path, "size"));
            if (base.size <= 0 || base.size > 1000)
                throw Fault { child(path, "size"), "must be between 0 and 1000 points" };
        }
        if (j.contains("weight")) {
            static const std::map<std::string, SimFont::Weight> weights { { "regular", SimFont::Weight::regular },
                                                                          { "bold", SimFont::Weight::bold } };
            base.weight = choice(j["weight"], child(path, "weight"), weights);
        }
        return base;
    }

    // Nesting is bounded by the JSON reader's depth limit.
    std::vector<SimElement::Run> runs(const Json& j, const std::string& path)
    {
        std::vector<SimElement::Run> out;
        for (size_t i = 0; const auto& r : array(j, path)) {
            const std::string runPath = child(path, i++);
            SimElement::Run run;
            if (r.is_string()) {
                run.text = r.get<std::string>();
                out.push_back(std::move(run));
                continue;
            }
            object(r, runPath, { "text", "link", "role", "runs", "lineBreak" });
            const int kinds = int(r.contains("text")) + int(r.contains("runs")) + int(r.contains("lineBreak"));
            if (kinds != 1)
                throw Fault { runPath, "a run has one of \"text\", \"runs\" or \"lineBreak\"" };
            run.link = optionalString(r, runPath, "link");
            if (r.contains("role")) {
                run.role = string(r["role"], child(runPath, "role"));
                if (!r.contains("runs") || run.link || run.role.empty())
                    throw Fault { child(runPath, "role"), "an inline element holds \"runs\" and has no \"link\"" };
            }
            if (r.contains("text"))
                run.text = string(r["text"], child(runPath, "text"));
            if (r.contains("runs")) {
                if (!run.link && run.role.empty())
                    throw Fault { child(runPath, "runs"), "nested runs need a \"link\" or a \"role\"" };
                run.runs = runs(r["runs"], child(runPath, "runs"));
            }
            if (r.contains("lineBreak")) {
                run.lineBreak = boolean(r, runPath, "lineBreak", false);
                if (!run.lineBreak || run.link)
                    throw Fault { child(runPath, "lineBreak"), "a line break is true and has no \"link\"" };
            }
            out.push_back(std::move(run));
        }
        return out;
    }

    SimElement element(const Json& j, const std::string& path, const SimFont& inherited)
    {
        object(j, path, { "role", "name", "subrole", "title", "description", "value", "frame", "width", "height",
                          "padding", "spacing", "scroll", "scrollLine", "text", "runs", "font", "focused", "attributes", "errors",
                          "actions", "settable", "children", "paragraphs", "paragraphRole", "heading", "level",
                          "imageOnly", "colour", "background", "selection", "selectionHidden", "cjkBoundsEmpty", "selectionDrift",
                          "document", "table" });
        SimElement e;
        e.font = inherited;
        if (j.contains("font"))
            e.font = font(j["font"], child(path, "font"), inherited);
        if (j.contains("heading"))
            return heading(j, path, e.font);
        if (!j.contains("role"))
            throw Fault { path, "missing \"role\"" };
        e.role = string(j["role"], child(path, "role"));
        if (e.role.empty())
            throw Fault { child(path, "role"), "a role must not be empty" };
        if (j.contains("name")) {
            e.name = string(j["name"], child(path, "name"));
            defineName(e.name, child(path, "name"));
        }
        if (j.contains("frame")) {
            auto v = numbers(j["frame"], child(path, "frame"), 2, 4, "[x, y], [x, y, width] or [x, y, width, height]");
            e.position = Point { v[0], v[1] };
            if (v.size() > 2)
                e.width = v[2];
            if (v.size() > 3)
                e.height = v[3];
            if ((e.width && *e.width < 0) || (e.height && *e.height < 0))
                throw Fault { child(path, "frame"), "width and height must not be negative" };
        }
        if (j.contains("width"))
            e.width = nonNegative(j["width"], child(path, "width"));
        if (j.contains("height"))
            e.height = nonNegative(j["height"], child(path, "height"));
        if (j.contains("padding"))
            e.padding = nonNegative(j["padding"], child(path, "padding"));
        if (j.contains("spacing"))
            e.spacing = nonNegative(j["spacing"], child(path, "spacing"));
        if (j.contains("scroll"))
            e.scroll = point(j["scroll"], child(path, "scroll"));
        if (j.contains("scrollLine"))
            e.scrollLine = nonNegative(j["scrollLine"], child(path, "scrollLine"));
        if (j.contains("text"))
            e.text = string(j["text"], child(path, "text"));
        if (j.contains("runs")) {
            if (e.text)
                throw Fault { child(path, "runs"), "an element has either \"text\" or \"runs\"" };
            e.runs = runs(j["runs"], child(path, "runs"));
        }
        if (j.contains("document")) {
            e.document = string(j["document"], child(path, "document"));
            if (!e.text || e.document.empty())
                throw Fault { child(path, "document"), "a page frame names its document and has a \"text\"" };
        }
        e.focused = boolean(j, path, "focused", false);
        e.imageOnly = boolean(j, path, "imageOnly", false);
        e.selectionHidden = boolean(j, path, "selectionHidden", false);
        e.cjkBoundsEmpty = boolean(j, path, "cjkBoundsEmpty", false);
        if (j.contains("selectionDrift")) {
            e.selectionDrift = integer(j["selectionDrift"], child(path, "selectionDrift"));
            if (e.selectionDrift < -1000000 || e.selectionDrift > 1000000)
                throw Fault { child(path, "selectionDrift"), "expected a number of UTF-16 units" };
        }
        if (j.contains("selection")) {
            const std::string selectionPath = child(path, "selection");
            auto v = numbers(j["selection"], selectionPath, 2, 2, "[location, length]");
            const int64_t length = e.text ? SimTextLayout::utf16Length(*e.text) : 0;
            if (!e.text || v[0] < 0 || v[1] < 0 || v[0] != std::floor(v[0]) || v[1] != std::floor(v[1])
                || v[0] + v[1] > static_cast<double>(length))
                throw Fault { selectionPath, "expected a range within the element's text" };
            e.selection = AXRange { static_cast<int64_t>(v[0]), static_cast<int64_t>(v[1]) };
        }
        if (j.contains("colour"))
            e.colour = colour(j["colour"], child(path, "colour"));
        if (j.contains("background"))
            e.background = colour(j["background"], child(path, "background"));
        e.attributes = attributes(j, path, &e.references);
        for (const char* key : { "subrole", "title", "description" }) {
            if (j.contains(key)) {
                std::string attribute = std::string("AX") + static_cast<char>(key[0] - 'a' + 'A') + (key + 1);
                e.attributes[attribute] = string(j[key], child(path, key));
            }
        }
        if (j.contains("value")) {
            SimElement::Reference reference;
            AXValue v = value(j["value"], child(path, "value"), &reference);
            if (!reference.names.empty() || reference.list)
                e.references["AXValue"] = reference;
            else
                e.attributes["AXValue"] = v;
        }
        e.errors = errorMap(j, path);
        if (j.contains("actions"))
            e.actions = strings(j["actions"], child(path, "actions"));
        if (j.contains("settable"))
            e.settable = strings(j["settable"], child(path, "settable"));
        if (j.contains("children")) {
            const std::string childrenPath = child(path, "children");
            for (size_t i = 0; const auto& c : array(j["children"], childrenPath))
                e.children.push_back(element(c, child(childrenPath, i++), e.font));
        }
        if (j.contains("paragraphs")) {
            std::string role = "AXStaticText";
            if (j.contains("paragraphRole"))
                role = string(j["paragraphRole"], child(path, "paragraphRole"));
            const std::string listPath = child(path, "paragraphs");
            for (size_t i = 0; const auto& p : array(j["paragraphs"], listPath)) {
                const std::string itemPath = child(listPath, i++);
                if (p.is_string()) {
                    SimElement paragraph(role, p.get<std::string>());
                    paragraph.font = e.font;
                    e.children.push_back(std::move(paragraph));
                } else {
                    e.children.push_back(element(p, itemPath, e.font));
                }
            }
        } else if (j.contains("paragraphRole")) {
            throw Fault { child(path, "paragraphRole"), "\"paragraphRole\" needs \"paragraphs\"" };
        }
        if (j.contains("level"))
            throw Fault { child(path, "level"), "\"level\" belongs to a heading" };
        if (j.contains("table")) {
            for (const char* content : { "text", "runs", "children", "paragraphs" })
                if (j.contains(content))
                    throw Fault { child(path, "table"), std::string("a table has no \"") + content + "\" of its own" };
            return table(j["table"], child(path, "table")).laidOutIn(std::move(e));
        }
        return e;
    }

    // {"columns": [70, 300], "rows": [["09:30", "Welcome"]], ...}: see SimTable.
    SimTable table(const Json& j, const std::string& path)
    {
        object(j, path, { "columns", "rows", "cellPadding", "headerRows", "rules", "ruleColour" });
        SimTable t;
        if (!j.contains("columns") || !j.contains("rows"))
            throw Fault { path, "a table has \"columns\" and \"rows\"" };
        const std::string columnsPath = child(path, "columns");
        for (size_t i = 0; const auto& c : array(j["columns"], columnsPath)) {
            t.columns.push_back(number(c, child(columnsPath, i++)));
            if (!(t.columns.back() > 0))
                throw Fault { child(columnsPath, i - 1), "a column is wider than 0 points" };
        }
        if (t.columns.empty())
            throw Fault { columnsPath, "a table has at least one column" };
        const std::string rowsPath = child(path, "rows");
        for (size_t i = 0; const auto& r : array(j["rows"], rowsPath)) {
            const std::string rowPath = child(rowsPath, i++);
            t.rows.push_back(strings(r, rowPath));
            if (t.rows.back().size() != t.columns.size())
                throw Fault { rowPath, "expected one text per column (" + std::to_string(t.columns.size()) + ")" };
        }
        if (j.contains("cellPadding"))
            t.cellPadding = nonNegative(j["cellPadding"], child(path, "cellPadding"));
        if (j.contains("headerRows")) {
            const int64_t header = integer(j["headerRows"], child(path, "headerRows"));
            if (header < 0 || header > static_cast<int64_t>(t.rows.size()))
                throw Fault { child(path, "headerRows"), "expected 0 to the number of rows" };
            t.headerRows = static_cast<size_t>(header);
        }
        if (j.contains("rules")) {
            static const std::map<std::string, std::optional<bool>> kinds { { "none", std::nullopt },
                                                                            { "rows", false },
                                                                            { "grid", true } };
            if (const std::optional<bool> grid = choice(j["rules"], child(path, "rules"), kinds))
                t.rules = SimRules { .grid = *grid };
        }
        if (j.contains("ruleColour")) {
            if (!t.rules)
                throw Fault { child(path, "ruleColour"), "\"ruleColour\" needs \"rules\"" };
            t.rules->colour = colour(j["ruleColour"], child(path, "ruleColour"));
        }
        return t;
    }

    // {"heading": "Text", "level": 1}: a heading holding one static text, in a larger bold font.
    SimElement heading(const Json& j, const std::string& path, SimFont font)
    {
        object(j, path, { "heading", "level", "name", "font", "focused" });
        const std::string text = string(j["heading"], child(path, "heading"));
        int64_t level = 1;
        if (j.contains("level")) {
            level = integer(j["level"], child(path, "level"));
            if (level < 1 || level > 6)
                throw Fault { child(path, "level"), "expected 1 to 6" };
        }
        if (!j.contains("font")) {
            static const double scale[] = { 2.0, 1.5, 1.25, 1.1, 1.0, 0.9 };
            font.size *= scale[level - 1];
            font.weight = SimFont::Weight::bold;
        }
        SimElement e("AXHeading");
        if (j.contains("name")) {
            e.name = string(j["name"], child(path, "name"));
            defineName(e.name, child(path, "name"));
        }
        e.focused = boolean(j, path, "focused", false);
        e.font = font;
        e.attributes["AXTitle"] = text;
        e.attributes["AXValue"] = level;
        SimElement label("AXStaticText", text);
        label.font = font;
        e.children.push_back(std::move(label));
        return e;
    }

    SimMenuItem menuItem(const Json& j, const std::string& path)
    {
        object(j, path, { "title", "name", "key", "modifiers", "char", "enabled", "attributes", "errors", "items" });
        SimMenuItem item;
        if (!j.contains("title"))
            throw Fault { path, "missing \"title\"" };
        item.title = string(j["title"], child(path, "title"));
        if (j.contains("name")) {
            item.name = string(j["name"], child(path, "name"));
            defineName(item.name, child(path, "name"));
        }
        if (j.contains("key"))
            item.virtualKey = integer(j["key"], child(path, "key"));
        if (j.contains("modifiers"))
            item.modifiers = integer(j["modifiers"], child(path, "modifiers"));
        item.commandCharacter = optionalString(j, path, "char");
        item.enabled = boolean(j, path, "enabled", true);
        item.attributes = attributes(j, path, nullptr);
        item.errors = errorMap(j, path);
        if (j.contains("items")) {
            const std::string itemsPath = child(path, "items");
            for (size_t i = 0; const auto& sub : array(j["items"], itemsPath))
                item.items.push_back(menuItem(sub, child(itemsPath, i++)));
        }
        return item;
    }

    SimWindow window(const Json& j, const std::string& path)
    {
        object(j, path, { "number", "title", "name", "frame", "minimized", "main", "layer", "alpha", "order", "subrole",
                          "attributes", "errors", "children", "font", "background", "tty", "runnersTerminal" });
        SimWindow w;
        if (j.contains("number")) {
            const int64_t number = integer(j["number"], child(path, "number"));
            if (number <= 0 || number > UINT32_MAX)
                throw Fault { child(path, "number"), "expected a positive 32-bit window number" };
            if (!m_windowNumbers.insert(number).second)
                throw Fault { child(path, "number"), "window number " + std::to_string(number) + " is used twice" };
            w.number = static_cast<uint32_t>(number);
        }
        if (j.contains("title"))
            w.title = string(j["title"], child(path, "title"));
        if (j.contains("name")) {
            w.name = string(j["name"], child(path, "name"));
            defineName(w.name, child(path, "name"));
        }
        if (!j.contains("frame"))
            throw Fault { path, "missing \"frame\"" };
        w.frame = rect(j["frame"], child(path, "frame"));
        w.minimized = boolean(j, path, "minimized", false);
        w.main = boolean(j, path, "main", false);
        if (j.contains("layer")) {
            const int64_t layer = integer(j["layer"], child(path, "layer"));
            if (layer < INT32_MIN || layer > INT32_MAX)
                throw Fault { child(path, "layer"), "out of range" };
            w.layer = static_cast<int32_t>(layer);
        }
        if (j.contains("alpha")) {
            w.alpha = number(j["alpha"], child(path, "alpha"));
            if (w.alpha < 0 || w.alpha > 1)
                throw Fault { child(path, "alpha"), "expected 0 to 1" };
        }
        if (j.contains("order"))
            w.order = integer(j["order"], child(path, "order"));
        if (j.contains("subrole"))
            w.subrole = string(j["subrole"], child(path, "subrole"));
        if (j.contains("background"))
            w.background = colour(j["background"], child(path, "background"));
        w.attributes = attributes(j, path, nullptr);
        w.errors = errorMap(j, path);
        w.tty = optionalString(j, path, "tty");
        w.runnersTerminal = boolean(j, path, "runnersTerminal", false);
        if (w.runnersTerminal && !w.tty)
            throw Fault { child(path, "runnersTerminal"), "the program's own terminal needs a \"tty\"" };
        SimFont base;
        if (j.contains("font"))
            base = font(j["font"], child(path, "font"), base);
        if (j.contains("children")) {
            const std::string childrenPath = child(path, "children");
            for (size_t i = 0; const auto& c : array(j["children"], childrenPath))
                w.children.push_back(element(c, child(childrenPath, i++), base));
        }
        return w;
    }

    SimBehaviourOptions behaviours(const Json& j, const std::string& path)
    {
        object(j, path, { "selectsText", "typesText", "copy", "paging", "scrolling" });
        SimBehaviourOptions b;
        b.selectsText = boolean(j, path, "selectsText", false);
        b.typesText = boolean(j, path, "typesText", false);
        if (j.contains("copy")) {
            const Json& c = j["copy"];
            const std::string copyPath = child(path, "copy");
            object(c, copyPath, { "delay", "pause", "ignoresShortcut", "content" });
            SimBehaviourOptions::Copy copy;
            if (c.contains("delay"))
                copy.delay = seconds(nonNegative(c["delay"], child(copyPath, "delay")));
            if (c.contains("pause"))
                copy.pause = seconds(nonNegative(c["pause"], child(copyPath, "pause")));
            copy.ignoresShortcut = boolean(c, copyPath, "ignoresShortcut", false);
            if (c.contains("content")) {
                static const std::map<std::string, SimBehaviourOptions::Copy::Content> values {
                    { "selection", SimBehaviourOptions::Copy::Content::selection },
                    { "image", SimBehaviourOptions::Copy::Content::image } };
                copy.content = choice(c["content"], child(copyPath, "content"), values);
            }
            b.copy = copy;
        }
        if (j.contains("paging"))
            b.paging = paging(j["paging"], child(path, "paging"));
        if (j.contains("scrolling"))
            b.scrolling = scrolling(j["scrolling"], child(path, "scrolling"));
        return b;
    }

    // "14.5" or "14.5.1": two or three whole numbers.
    OperatingSystemVersion osVersion(const Json& j, const std::string& path)
    {
        const std::string text = string(j, path);
        std::vector<int> parts;
        size_t start = 0;
        while (start <= text.size() && parts.size() < 4) {
            const size_t dot = std::min(text.find('.', start), text.size());
            const std::string piece = text.substr(start, dot - start);
            if (piece.empty() || piece.size() > 4 || piece.find_first_not_of("0123456789") != std::string::npos)
                throw Fault { path, "expected a version such as \"14.5.1\"" };
            parts.push_back(std::stoi(piece));
            start = dot + 1;
        }
        if (parts.size() < 2 || parts.size() > 3)
            throw Fault { path, "expected a version such as \"14.5.1\"" };
        return OperatingSystemVersion { parts[0], parts[1], parts.size() == 3 ? parts[2] : 0 };
    }

    SimApplication application(const Json& j, const std::string& path)
    {
        object(j, path, { "pid", "bundleID", "name", "executable", "bundlePath", "version", "active", "hidden",
                          "attributes", "errors", "menuBar", "windows", "behaviours" });
        SimApplication a;
        if (j.contains("pid")) {
            const int64_t pid = integer(j["pid"], child(path, "pid"));
            if (pid <= 0 || pid > INT32_MAX)
                throw Fault { child(path, "pid"), "expected a positive process identifier" };
            if (!m_pids.insert(pid).second)
                throw Fault { child(path, "pid"), "pid " + std::to_string(pid) + " is used twice" };
            a.pid = static_cast<ProcessID>(pid);
        }
        a.bundleIdentifier = optionalString(j, path, "bundleID");
        a.localizedName = optionalString(j, path, "name");
        a.executableName = optionalString(j, path, "executable");
        a.bundlePath = optionalString(j, path, "bundlePath");
        a.bundleVersion = optionalString(j, path, "version");
        a.active = boolean(j, path, "active", false);
        a.hidden = boolean(j, path, "hidden", false);
        a.attributes = attributes(j, path, nullptr);
        a.errors = errorMap(j, path);
        if (j.contains("menuBar")) {
            const std::string menuPath = child(path, "menuBar");
            for (size_t i = 0; const auto& m : array(j["menuBar"], menuPath))
                a.menuBar.push_back(menuItem(m, child(menuPath, i++)));
        }
        if (j.contains("behaviours"))
            a.behaviours = behaviours(j["behaviours"], child(path, "behaviours"));
        if (j.contains("windows")) {
            const std::string windowsPath = child(path, "windows");
            for (size_t i = 0; const auto& w : array(j["windows"], windowsPath))
                a.windows.push_back(window(w, child(windowsPath, i++)));
        }
        return a;
    }

    // An installed application: the keys of a running one (without "pid", "active" and "hidden"),
    // and how it launches and what it opens.
    SimInstalledApplication installed(const Json& j, const std::string& path)
    {
        object(j, path, { "bundleID", "name", "executable", "bundlePath", "version", "attributes", "errors", "menuBar",
                          "windows", "behaviours", "launchDelay", "document", "extensions", "schemes", "pages",
                          "errorPage" });
        if (!j.contains("bundleID"))
            throw Fault { path, "missing \"bundleID\"" };
        Json running = Json::object();
        for (const auto& [key, value] : j.items())
            if (key != "launchDelay" && key != "document" && key != "extensions" && key != "schemes" && key != "pages"
                && key != "errorPage")
                running[key] = value;
        SimInstalledApplication installed;
        installed.application = application(running, path);
        if (j.contains("launchDelay"))
            installed.launchDelay = nonNegative(j["launchDelay"], child(path, "launchDelay"));
        if (j.contains("extensions"))
            installed.extensions = strings(j["extensions"], child(path, "extensions"));
        if (j.contains("schemes"))
            installed.schemes = strings(j["schemes"], child(path, "schemes"));
        if (j.contains("document")) {
            const Json& d = j["document"];
            const std::string documentPath = child(path, "document");
            object(d, documentPath, { "window", "text", "focus" });
            for (const char* key : { "window", "text" })
                if (!d.contains(key))
                    throw Fault { documentPath, std::string("missing \"") + key + "\"" };
            SimDocumentTemplate document;
            document.window = window(d["window"], child(documentPath, "window"));
            if (document.window.number != 0)
                throw Fault { child(child(documentPath, "window"), "number"), "a document window gets its number when it opens" };
            document.textElement = string(d["text"], child(documentPath, "text"));
            use(document.textElement, child(documentPath, "text"));
            if (d.contains("focus")) {
                document.focusElement = string(d["focus"], child(documentPath, "focus"));
                use(document.focusElement, child(documentPath, "focus"));
            }
            installed.document = std::move(document);
        }
        if (j.contains("pages")) {
            const std::string pagesPath = child(path, "pages");
            for (size_t i = 0; const auto& page : array(j["pages"], pagesPath))
                installed.pages.push_back(webPage(page, child(pagesPath, i++), installed.application));
        }
        if (j.contains("errorPage")) {
            installed.errorPage = window(j["errorPage"], child(path, "errorPage"));
            installed.errorPage->number = 0;
        }
        return installed;
    }

    // A page of a browser's catalogue: its window given here, or the browser's window of another
    // fixture file (beside this one), so that the article fixtures serve as pages.
    SimWebPage webPage(const Json& j, const std::string& path, const SimApplication& browser)
    {
        object(j, path, { "url", "window", "fixture" });
        if (!j.contains("url"))
            throw Fault { path, "missing \"url\"" };
        SimWebPage page;
        page.url = string(j["url"], child(path, "url"));
        if (j.contains("window") == j.contains("fixture"))
            throw Fault { path, "expected either \"window\" or \"fixture\"" };
        if (j.contains("window"))
            page.window = window(j["window"], child(path, "window"));
        else
            page.window = windowOfFixture(string(j["fixture"], child(path, "fixture")), child(path, "fixture"), browser);
        page.window.number = 0;
        return page;
    }

    SimWindow windowOfFixture(const std::string& file, const std::string& path, const SimApplication& browser)
    {
        if (s_pageFixtureDepth > 0)
            throw Fault { path, "a page's fixture cannot list pages of its own" };
        const std::filesystem::path resolved = std::filesystem::path(file).is_absolute()
            ? std::filesystem::path(file)
            : std::filesystem::path(m_fileName).parent_path() / file;
        ++s_pageFixtureDepth;
        auto loaded = load(resolved.string());
        --s_pageFixtureDepth;
        if (!loaded)
            throw Fault { path, loaded.error() };
        for (const SimApplication& app : loaded->applications)
            if (app.bundleIdentifier == browser.bundleIdentifier && !app.windows.empty())
                return app.windows.front();
        throw Fault { path, resolved.string() + " has no window of " + browser.bundleIdentifier.value_or("the browser") };
    }

    SimKeyScrolling scrolling(const Json& j, const std::string& path)
    {
        object(j, path, { "area", "step", "keys" });
        SimKeyScrolling s;
        if (!j.contains("area"))
            throw Fault { path, "missing \"area\"" };
        s.area = string(j["area"], child(path, "area"));
        use(s.area, child(path, "area"));
        if (j.contains("step")) {
            s.step = nonNegative(j["step"], child(path, "step"));
            if (*s.step <= 0)
                throw Fault { child(path, "step"), "expected a positive number of points" };
        }
        if (j.contains("keys")) {
            s.keys.clear();
            for (size_t i = 0; const auto& k : array(j["keys"], child(path, "keys"))) {
                const int64_t key = integer(k, child(child(path, "keys"), i++));
                if (key < 0 || key > 0xFFFF)
                    throw Fault { child(path, "keys"), "expected virtual key codes" };
                s.keys.push_back(static_cast<int>(key));
            }
        }
        return s;
    }

    SimPaging paging(const Json& j, const std::string& path)
    {
        object(j, path, { "content", "texts", "step", "count", "keys", "menuItem", "delay", "ignoreFirst",
                          "unreadableReads", "slide" });
        SimPaging p;
        if (!j.contains("content"))
            throw Fault { path, "missing \"content\"" };
        p.content = string(j["content"], child(path, "content"));
        use(p.content, child(path, "content"));
        if (j.contains("texts"))
            for (size_t i = 0; const auto& t : array(j["texts"], child(path, "texts")))
                p.texts.push_back(string(t, child(child(path, "texts"), i++)));
        if (j.contains("step"))
            p.step = point(j["step"], child(path, "step"));
        if (p.step.has_value() == !p.texts.empty())
            throw Fault { path, "expected either \"texts\" or \"step\"" };
        if (j.contains("count")) {
            const int64_t count = integer(j["count"], child(path, "count"));
            if (count < 1 || count > 100000)
                throw Fault { child(path, "count"), "expected 1 to 100000 pages" };
            p.count = static_cast<int>(count);
        }
        if (j.contains("keys")) {
            p.keys.clear();
            for (size_t i = 0; const auto& k : array(j["keys"], child(path, "keys"))) {
                const int64_t key = integer(k, child(child(path, "keys"), i++));
                if (key < 0 || key > 0xFFFF)
                    throw Fault { child(path, "keys"), "expected virtual key codes" };
                p.keys.push_back(static_cast<int>(key));
            }
        }
        if (j.contains("menuItem")) {
            p.menuItem = string(j["menuItem"], child(path, "menuItem"));
            use(p.menuItem, child(path, "menuItem"));
        }
        if (j.contains("delay"))
            p.delay = nonNegative(j["delay"], child(path, "delay"));
        p.ignoreFirst = boolean(j, path, "ignoreFirst", false);
        if (j.contains("unreadableReads")) {
            const int64_t reads = integer(j["unreadableReads"], child(path, "unreadableReads"));
            if (reads < 0 || reads > 1000)
                throw Fault { child(path, "unreadableReads"), "expected 0 to 1000" };
            p.unreadableReads = static_cast<int>(reads);
        }
        if (j.contains("slide")) {
            const Json& slide = j["slide"];
            const std::string slidePath = child(path, "slide");
            object(slide, slidePath, { "frames", "seconds" });
            if (!p.step)
                throw Fault { slidePath, "only pages side by side (\"step\") slide" };
            const int64_t frames = slide.contains("frames") ? integer(slide["frames"], child(slidePath, "frames")) : 0;
            if (frames < 1 || frames > 1000)
                throw Fault { child(slidePath, "frames"), "expected 1 to 1000 frames" };
            p.slideFrames = static_cast<int>(frames);
            p.slideSeconds = slide.contains("seconds") ? nonNegative(slide["seconds"], child(slidePath, "seconds")) : 0;
        }
        return p;
    }
};

thread_local int Reader::s_pageFixtureDepth = 0;

} // namespace

Expected<SimFixture, std::string> parse(std::string_view text, const std::string& fileName)
{
    auto json = JsonReading::parseOrdered(text);
    if (!json)
        return Unexpected<std::string>(fileName + ": not valid JSON: " + json.error().message);
    try {
        Reader reader(fileName);
        return reader.fixture(*json);
    } catch (const Fault& fault) {
        return Unexpected<std::string>(fileName + ": " + fault.path + ": " + fault.message);
    }
}

Expected<SimFixture, std::string> load(const std::string& path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return Unexpected<std::string>(path + ": is a directory, not a fixture file");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Unexpected<std::string>(path + ": cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad())
        return Unexpected<std::string>(path + ": cannot be read");
    return parse(text.str(), path);
}

} // namespace lorvantine::SimFixtureLoader
