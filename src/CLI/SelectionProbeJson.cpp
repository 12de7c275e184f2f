#include "CLI/SelectionProbeJson.h"

#include "Support/JsonReading.h"
#include "Support/JsonValue.h"
#include "Support/JsonWriter.h"
#include "Support/Text.h"

#include <map>

namespace lorvantine::SelectionProbeJson {

namespace {

using namespace SelectionProbeRunner;
using Json = nlohmann::json;

struct ConfigFault {
    std::string message;
};

const Json* member(const Json& object, const char* key)
{
    auto it = object.find(key);
    // A null counts as absent, as the platform's decoder reads an optional.
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

std::string requiredString(const Json& object, const char* key, const std::string& where)
{
    const Json* value = member(object, key);
    if (!value)
        throw ConfigFault { where + ": missing \"" + key + "\"" };
    if (!value->is_string())
        throw ConfigFault { where + "/" + key + ": expected a string" };
    return value->get<std::string>();
}

std::optional<std::string> optionalString(const Json& object, const char* key, const std::string& where)
{
    const Json* value = member(object, key);
    if (!value)
        return std::nullopt;
    if (!value->is_string())
        throw ConfigFault { where + "/" + key + ": expected a string" };
    return value->get<std::string>();
}

std::optional<bool> optionalBool(const Json& object, const char* key, const std::string& where)
{
    const Json* value = member(object, key);
    if (!value)
        return std::nullopt;
    if (!value->is_boolean())
        throw ConfigFault { where + "/" + key + ": expected true or false" };
    return value->get<bool>();
}

template<typename T>
std::optional<T> optionalChoice(const Json& object, const char* key, const std::string& where, const std::map<std::string, T>& values)
{
    auto text = optionalString(object, key, where);
    if (!text)
        return std::nullopt;
    auto it = values.find(*text);
    if (it == values.end())
        // Quoted as JSON, so that control characters the file spelt as escapes stay escapes.
        throw ConfigFault { where + "/" + key + ": unknown value " + Json(*text).dump() };
    return it->second;
}

AppConfig appConfig(const Json& j, const std::string& where)
{
    if (!j.is_object())
        throw ConfigFault { where + ": expected an object" };
    static const std::map<std::string, SetupMode> setups { { "file", SetupMode::file },
                                                           { "paste-new-window", SetupMode::pasteNewWindow },
                                                           { "apple-script", SetupMode::appleScript } };
    static const std::map<std::string, CleanupMode> cleanups {
        { "delete-notes-with-marker", CleanupMode::deleteNotesWithMarker },
        { "discard-sticky-window", CleanupMode::discardStickyWindow },
        { "discard-mail-draft", CleanupMode::discardMailDraft },
        { "close-terminal-marker-tab", CleanupMode::closeTerminalMarkerTab } };
    AppConfig app;
    app.bundleID = requiredString(j, "bundleID", where);
    app.name = requiredString(j, "name", where);
    app.fixture = requiredString(j, "fixture", where);
    app.setup = optionalChoice(j, "setup", where, setups);
    app.script = optionalString(j, "script", where);
    app.cleanup = optionalChoice(j, "cleanup", where, cleanups);
    app.isBaseline = optionalBool(j, "isBaseline", where);
    app.keepAlive = optionalBool(j, "keepAlive", where);
    return app;
}

JsonValue integers(const std::vector<int64_t>& list)
{
    JsonValue array = JsonValue::array();
    for (int64_t value : list)
        array.append(value);
    return array;
}

JsonValue strings(const std::vector<std::string>& list)
{
    JsonValue array = JsonValue::array();
    for (const std::string& value : list)
        array.append(value);
    return array;
}

JsonValue resultJson(const ProbeResult& r)
{
    JsonValue o = JsonValue::object();
    o.set("bundleID", r.bundleID);
    o.set("appName", r.appName);
    o.set("scenario", r.scenario);
    o.set("expectedText", r.expectedText);
    o.set("expectedU16Length", r.expectedU16Length);
    o.setOptional("focusedRole", r.focusedRole);
    o.setOptional("numberOfCharacters", r.numberOfCharacters);
    o.set("supportsBoundsForRange", r.supportsBoundsForRange);
    o.set("setRangeOK", r.setRangeOK);
    o.set("readBackTextOK", r.readBackTextOK);
    o.setOptional("readBackText", r.readBackText);
    o.set("textMatchesExpected", r.textMatchesExpected);
    o.set("readBackRangeOK", r.readBackRangeOK);
    o.setOptional("readBackRangeLocation", r.readBackRangeLocation);
    o.setOptional("readBackRangeLength", r.readBackRangeLength);
    o.set("rangeMatchesSet", r.rangeMatchesSet);
    o.set("firstCharRectValid", r.firstCharRectValid);
    o.set("fullRangeRectValid", r.fullRangeRectValid);
    o.set("lineCount", r.lineCount);
    o.set("bfrCharCoverage", r.bfrCharCoverage);
    o.set("bfrHoleOffsets", integers(r.bfrHoleOffsets));
    o.set("stringForRangeCharCoverage", r.stringForRangeCharCoverage);
    o.set("stringForRangeMismatchOffsets", integers(r.stringForRangeMismatchOffsets));
    o.set("randomRangeConsistency", r.randomRangeConsistency);
    o.set("randomRangeFailures", strings(r.randomRangeFailures));
    o.set("lineDetectionMode", r.lineDetectionMode);
    o.setOptional("cjkBFRValid", r.cjkBFRValid);
    o.set("verdict", r.verdict);
    o.set("failReasons", strings(r.failReasons));
    return o;
}

std::optional<std::string> pretty(const JsonValue& value)
{
    auto text = JsonWriter::serialize(value, JsonWriter::Style::pretty, JsonWriter::KeyOrder::sorted);
    if (!text)
        return std::nullopt;
    return *text;
}

} // namespace

Expected<MatrixConfig, std::string> decodeConfig(std::string_view text)
{
    // The reader's own words quote what it stopped at, which need not be text: say where instead.
    if (auto bad = Text::firstInvalidUtf8Byte(text))
        return Unexpected<std::string>("not valid JSON: not UTF-8 at byte " + std::to_string(*bad));
    auto json = JsonReading::parse(text);
    if (!json)
        return Unexpected<std::string>("not valid JSON: " + json.error().message);
    try {
        if (!json->is_object())
            throw ConfigFault { "/: expected an object" };
        const Json* apps = member(*json, "apps");
        if (!apps)
            throw ConfigFault { "/: missing \"apps\"" };
        if (!apps->is_array())
            throw ConfigFault { "/apps: expected an array" };
        MatrixConfig config;
        for (size_t i = 0; i < apps->size(); ++i)
            config.apps.push_back(appConfig((*apps)[i], "/apps/" + std::to_string(i)));
        return config;
    } catch (const ConfigFault& fault) {
        return Unexpected<std::string>(fault.message);
    }
}

std::optional<std::string> encodeResults(const std::vector<ProbeResult>& results)
{
    JsonValue array = JsonValue::array();
    for (const ProbeResult& result : results)
        array.append(resultJson(result));
    return pretty(array);
}

std::optional<std::string> encodeBaseline(const BaselineFingerprint& baseline)
{
    JsonValue scenarios = JsonValue::object();
    for (const auto& [name, f] : baseline.scenarios) {
        JsonValue o = JsonValue::object();
        o.set("bfrCharCoverage", f.bfrCharCoverage);
        o.set("stringForRangeCharCoverage", f.stringForRangeCharCoverage);
        o.set("randomRangeConsistency", f.randomRangeConsistency);
        o.set("lineDetectionMode", f.lineDetectionMode);
        o.setOptional("cjkBFRValid", f.cjkBFRValid);
        scenarios.set(name, std::move(o));
    }
    return pretty(JsonValue::object({ { "appName", baseline.appName },
                                      { "bundleID", baseline.bundleID },
                                      { "capturedAt", baseline.capturedAt },
                                      { "scenarios", std::move(scenarios) } }));
}

std::optional<BaselineFingerprint> decodeBaseline(std::string_view text)
{
    auto json = JsonReading::parse(text);
    if (!json || !json->is_object())
        return std::nullopt;
    const Json& j = *json;
    auto text_ = [&](const Json& o, const char* key) -> std::optional<std::string> {
        const Json* v = member(o, key);
        return v && v->is_string() ? std::optional(v->get<std::string>()) : std::nullopt;
    };
    auto number = [](const Json& o, const char* key) -> std::optional<double> {
        const Json* v = member(o, key);
        return v && v->is_number() ? std::optional(v->get<double>()) : std::nullopt;
    };
    BaselineFingerprint baseline;
    auto appName = text_(j, "appName");
    auto bundleID = text_(j, "bundleID");
    auto capturedAt = text_(j, "capturedAt");
    const Json* scenarios = member(j, "scenarios");
    if (!appName || !bundleID || !capturedAt || !scenarios || !scenarios->is_object())
        return std::nullopt;
    baseline.appName = *appName;
    baseline.bundleID = *bundleID;
    baseline.capturedAt = *capturedAt;
    for (const auto& [name, s] : scenarios->items()) {
        if (!s.is_object())
            return std::nullopt;
        auto bfr = number(s, "bfrCharCoverage");
        auto str = number(s, "stringForRangeCharCoverage");
        auto rand = number(s, "randomRangeConsistency");
        auto mode = text_(s, "lineDetectionMode");
        if (!bfr || !str || !rand || !mode)
            return std::nullopt;
        ScenarioFingerprint f { *bfr, *str, *rand, *mode, std::nullopt };
        if (const Json* cjk = member(s, "cjkBFRValid")) {
            if (!cjk->is_boolean())
                return std::nullopt;
            f.cjkBFRValid = cjk->get<bool>();
        }
        baseline.scenarios[name] = f;
    }
    return baseline;
}

} // namespace lorvantine::SelectionProbeJson
