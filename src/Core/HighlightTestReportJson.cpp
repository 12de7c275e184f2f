#include "Core/HighlightTestReportJson.h"

#include "Support/JsonReading.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <type_traits>

namespace lorvantine::HighlightTestReportJson {

namespace {

// --- Encoding ---

JsonValue stringArray(const std::vector<std::string>& strings)
{
    JsonValue array = JsonValue::array();
    for (const std::string& text : strings)
        array.append(text);
    return array;
}

JsonValue checksJson(const std::vector<CheckResult>& checks)
{
    JsonValue array = JsonValue::array();
    for (const CheckResult& check : checks)
        array.append(JsonValue::object({ { "name", check.name }, { "passed", check.passed }, { "detail", check.detail } }));
    return array;
}

JsonValue rectJson(const RectInfo& rect)
{
    return JsonValue::object({ { "x", rect.x }, { "y", rect.y }, { "width", rect.width }, { "height", rect.height } });
}

JsonValue sentenceJson(const SentenceTestResult& sentence)
{
    JsonValue rects = JsonValue::array();
    for (const RectInfo& rect : sentence.lineRects)
        rects.append(rectJson(rect));
    return JsonValue::object({
        { "charRange", sentence.charRange },
        { "textPreview", sentence.textPreview },
        { "lineCount", sentence.lineCount },
        { "lineRects", std::move(rects) },
        { "checks", checksJson(sentence.checks) },
    });
}

JsonValue diagnosticsJson(const ParagraphDiagnostics& diagnostics)
{
    JsonValue object = JsonValue::object({ { "frameHeight", diagnostics.frameHeight } });
    object.setOptional("expectedHeight", diagnostics.expectedHeight);
    object.setOptional("firstCharTopGap", diagnostics.firstCharTopGap);
    object.setOptional("axFullCharCount", diagnostics.axFullCharCount);
    object.set("textCharCount", diagnostics.textCharCount);
    return object;
}

JsonValue paragraphJson(const ParagraphTestResult& paragraph)
{
    JsonValue sentences = JsonValue::array();
    for (const SentenceTestResult& sentence : paragraph.sentences)
        sentences.append(sentenceJson(sentence));
    JsonValue object = JsonValue::object({
        { "index", paragraph.index },
        { "textPreview", paragraph.textPreview },
        { "charCount", paragraph.charCount },
        { "role", paragraph.role },
        { "sentenceCount", paragraph.sentenceCount },
        { "sentences", std::move(sentences) },
        { "checks", checksJson(paragraph.checks) },
    });
    if (paragraph.diagnostics)
        object.set("diagnostics", diagnosticsJson(*paragraph.diagnostics));
    return object;
}

JsonValue summaryJson(const TestSummary& summary)
{
    JsonValue object = JsonValue::object({
        { "totalChecks", summary.totalChecks },
        { "passed", summary.passed },
        { "failed", summary.failed },
        { "failedCheckNames", stringArray(summary.failedCheckNames) },
    });
    if (summary.checkBreakdown) {
        JsonValue breakdown = JsonValue::object();
        for (const auto& [name, counts] : *summary.checkBreakdown)
            breakdown.set(name, JsonValue::object({ { "passed", counts.passed }, { "failed", counts.failed } }));
        object.set("checkBreakdown", std::move(breakdown));
    }
    return object;
}

JsonValue contentJson(const ContentValidator::ContentReport& content)
{
    return JsonValue::object({
        { "groundTruthChars", content.groundTruthChars },
        { "extractedChars", content.extractedChars },
        { "coveredChars", content.coveredChars },
        { "noiseChars", content.noiseChars },
        { "coverage", content.coverage },
        { "noiseRatio", content.noiseRatio },
        { "extractedParagraphs", content.extractedParagraphs },
        { "groundTruthNodes", content.groundTruthNodes },
        { "missingSamples", stringArray(content.missingSamples) },
        { "noiseSamples", stringArray(content.noiseSamples) },
    });
}

JsonValue categoriesJson(const FailureCategories& categories)
{
    return JsonValue::object({
        { "frameTooTall", categories.frameTooTall },
        { "textIncomplete", categories.textIncomplete },
        { "megaParagraph", categories.megaParagraph },
        { "geometryError", categories.geometryError },
        { "frameTextMisaligned", categories.frameTextMisaligned },
        { "textAxMisaligned", categories.textAxMisaligned },
    });
}

// Compact JSON holds these bytes only inside strings, where an escape reads back as the same
// Character. CR, VT and FF are escaped by the writer already.
std::string escapingLineSeparators(const std::string& json)
{
    std::string out;
    out.reserve(json.size());
    for (size_t i = 0; i < json.size(); ++i) {
        const auto byte = static_cast<unsigned char>(json[i]);
        if (byte == 0xC2 && i + 1 < json.size() && static_cast<unsigned char>(json[i + 1]) == 0x85) {
            out += "\\u0085";
            i += 1;
        } else if (byte == 0xE2 && i + 2 < json.size() && static_cast<unsigned char>(json[i + 1]) == 0x80
                   && (static_cast<unsigned char>(json[i + 2]) == 0xA8 || static_cast<unsigned char>(json[i + 2]) == 0xA9)) {
            out += static_cast<unsigned char>(json[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out.push_back(json[i]);
        }
    }
    return out;
}

// --- Decoding ---

using Json = nlohmann::json;

// Collects the first failure; every reader below answers a default value once one is met, and
// the caller throws the whole report away.
class Reader {
public:
    const std::string& failure() const { return m_failure; }
    bool failed() const { return !m_failure.empty(); }
    // The first count of a whole report that cannot be summed: negative, or with a fraction.
    const std::optional<DecodeError>& unsummable() const { return m_unsummable; }

    const Json* member(const Json& object, const char* key, bool required)
    {
        if (failed())
            return nullptr;
        auto it = object.find(key);
        // A null optional reads as an absent one, as the platform's decoder takes it.
        if (it == object.end() || (it->is_null() && !required)) {
            if (required)
                fail(std::string("missing key \"") + key + "\"");
            return nullptr;
        }
        return &*it;
    }

    std::string string(const Json& object, const char* key)
    {
        const Json* value = member(object, key, true);
        return value ? stringValue(*value, key) : std::string();
    }
    std::optional<std::string> optionalString(const Json& object, const char* key)
    {
        const Json* value = member(object, key, false);
        if (!value)
            return std::nullopt;
        return stringValue(*value, key);
    }
    bool boolean(const Json& object, const char* key)
    {
        const Json* value = member(object, key, true);
        if (!value)
            return false;
        if (!value->is_boolean())
            return fail(std::string("\"") + key + "\" is not a boolean"), false;
        return value->get<bool>();
    }
    int64_t integer(const Json& object, const char* key)
    {
        const Json* value = member(object, key, true);
        return value ? integerValue(*value, key) : 0;
    }
    std::optional<int64_t> optionalInteger(const Json& object, const char* key)
    {
        const Json* value = member(object, key, false);
        if (!value)
            return std::nullopt;
        return integerValue(*value, key);
    }
    // A number of things: never below zero, where a sum of counts would run backwards.
    int64_t count(const Json& object, const char* key) { return nonNegative(integer(object, key), key); }
    std::optional<int64_t> optionalCount(const Json& object, const char* key)
    {
        auto value = optionalInteger(object, key);
        return value ? std::optional(nonNegative(*value, key)) : std::nullopt;
    }
    double number(const Json& object, const char* key)
    {
        const Json* value = member(object, key, true);
        return value ? numberValue(*value, key) : 0;
    }
    std::optional<double> optionalNumber(const Json& object, const char* key)
    {
        const Json* value = member(object, key, false);
        if (!value)
            return std::nullopt;
        return numberValue(*value, key);
    }
    const Json* object(const Json& parent, const char* key, bool required)
    {
        const Json* value = member(parent, key, required);
        if (value && !value->is_object())
            return fail(std::string("\"") + key + "\" is not an object"), nullptr;
        return value;
    }
    const Json* array(const Json& parent, const char* key)
    {
        const Json* value = member(parent, key, true);
        if (value && !value->is_array())
            return fail(std::string("\"") + key + "\" is not an array"), nullptr;
        return value;
    }
    std::vector<std::string> strings(const Json& parent, const char* key)
    {
        std::vector<std::string> result;
        if (const Json* elements = array(parent, key)) {
            for (const Json& element : *elements)
                result.push_back(stringValue(element, key));
        }
        return result;
    }
    // The array `key` of `parent`, each of its objects read by `read`; reading stops at the first
    // element that is not an object (or once anything has failed).
    template <class Read>
    auto objects(const Json& parent, const char* key, Read read)
    {
        std::vector<std::invoke_result_t<Read, const Json&>> result;
        if (const Json* elements = array(parent, key)) {
            for (const Json& element : *elements) {
                if (!requireObject(element, key))
                    break;
                result.push_back(read(element));
            }
        }
        return result;
    }
    bool requireObject(const Json& value, const char* what)
    {
        if (failed())
            return false;
        if (!value.is_object())
            return fail(std::string("an element of \"") + what + "\" is not an object"), false;
        return true;
    }
    void fail(std::string reason)
    {
        if (!failed())
            m_failure = std::move(reason);
    }

private:
    std::string stringValue(const Json& value, const char* key)
    {
        if (!value.is_string())
            return fail(std::string("\"") + key + "\" is not a string"), std::string();
        return value.get<std::string>();
    }
    // A count beyond what the field holds is refused rather than wrapped: a wrapped count would
    // turn a huge number into a negative one and corrupt every sum it joins.
    int64_t integerValue(const Json& value, const char* key)
    {
        if (value.is_number_integer() && !value.is_number_unsigned())
            return value.get<int64_t>();
        if (value.is_number_unsigned()) {
            const auto unsignedValue = value.get<uint64_t>();
            if (unsignedValue <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
                return static_cast<int64_t>(unsignedValue);
            return noteUnsummable(DecodeError::Kind::oversizedCount, std::string("\"") + key + "\" does not fit a 64-bit integer"), 0;
        }
        if (value.is_number_float())
            return noteUnsummable(DecodeError::Kind::fractionalCount, std::string("\"") + key + "\" has a fraction"), 0;
        return fail(std::string("\"") + key + "\" is not an integer"), 0;
    }
    // A report that is whole but for a negative count is told apart from one that is no report.
    int64_t nonNegative(int64_t value, const char* key)
    {
        if (value < 0)
            noteUnsummable(DecodeError::Kind::negativeCount, std::string("\"") + key + "\" is a negative count");
        return std::max<int64_t>(value, 0);
    }
    void noteUnsummable(DecodeError::Kind kind, std::string message)
    {
        if (!m_unsummable)
            m_unsummable = DecodeError { kind, std::move(message) };
    }
    double numberValue(const Json& value, const char* key)
    {
        if (!value.is_number())
            return fail(std::string("\"") + key + "\" is not a number"), 0.0;
        return value.get<double>();
    }

    std::string m_failure;
    std::optional<DecodeError> m_unsummable;
};

std::vector<CheckResult> readChecks(Reader& reader, const Json& parent)
{
    return reader.objects(parent, "checks", [&](const Json& check) {
        return CheckResult { reader.string(check, "name"), reader.boolean(check, "passed"), reader.string(check, "detail") };
    });
}

SentenceTestResult readSentence(Reader& reader, const Json& object)
{
    SentenceTestResult sentence;
    sentence.charRange = reader.string(object, "charRange");
    sentence.textPreview = reader.string(object, "textPreview");
    sentence.lineCount = reader.count(object, "lineCount");
    sentence.lineRects = reader.objects(object, "lineRects", [&](const Json& rect) {
        return RectInfo { reader.number(rect, "x"), reader.number(rect, "y"), reader.number(rect, "width"),
                          reader.number(rect, "height") };
    });
    sentence.checks = readChecks(reader, object);
    return sentence;
}

ParagraphTestResult readParagraph(Reader& reader, const Json& object)
{
    ParagraphTestResult paragraph;
    paragraph.index = reader.integer(object, "index");
    paragraph.textPreview = reader.string(object, "textPreview");
    paragraph.charCount = reader.count(object, "charCount");
    paragraph.role = reader.string(object, "role");
    paragraph.sentenceCount = reader.count(object, "sentenceCount");
    paragraph.sentences = reader.objects(object, "sentences", [&](const Json& sentence) { return readSentence(reader, sentence); });
    paragraph.checks = readChecks(reader, object);
    if (const Json* diagnostics = reader.object(object, "diagnostics", false)) {
        ParagraphDiagnostics values;
        values.frameHeight = reader.number(*diagnostics, "frameHeight");
        values.expectedHeight = reader.optionalNumber(*diagnostics, "expectedHeight");
        values.firstCharTopGap = reader.optionalNumber(*diagnostics, "firstCharTopGap");
        values.axFullCharCount = reader.optionalCount(*diagnostics, "axFullCharCount");
        values.textCharCount = reader.count(*diagnostics, "textCharCount");
        paragraph.diagnostics = values;
    }
    return paragraph;
}

TestSummary readSummary(Reader& reader, const Json& object)
{
    TestSummary summary;
    summary.totalChecks = reader.count(object, "totalChecks");
    summary.passed = reader.count(object, "passed");
    summary.failed = reader.count(object, "failed");
    summary.failedCheckNames = reader.strings(object, "failedCheckNames");
    if (const Json* breakdown = reader.object(object, "checkBreakdown", false)) {
        std::map<std::string, CheckBreakdown> counts;
        for (const auto& [name, entry] : breakdown->items()) {
            if (!reader.requireObject(entry, "checkBreakdown"))
                break;
            counts[name] = { reader.count(entry, "passed"), reader.count(entry, "failed") };
        }
        summary.checkBreakdown = std::move(counts);
    }
    return summary;
}

ContentValidator::ContentReport readContent(Reader& reader, const Json& object)
{
    ContentValidator::ContentReport content;
    content.groundTruthChars = reader.count(object, "groundTruthChars");
    content.extractedChars = reader.count(object, "extractedChars");
    content.coveredChars = reader.count(object, "coveredChars");
    content.noiseChars = reader.count(object, "noiseChars");
    content.coverage = reader.number(object, "coverage");
    content.noiseRatio = reader.number(object, "noiseRatio");
    content.extractedParagraphs = reader.count(object, "extractedParagraphs");
    content.groundTruthNodes = reader.count(object, "groundTruthNodes");
    content.missingSamples = reader.strings(object, "missingSamples");
    content.noiseSamples = reader.strings(object, "noiseSamples");
    return content;
}

FailureCategories readCategories(Reader& reader, const Json& object)
{
    FailureCategories categories;
    categories.frameTooTall = reader.count(object, "frameTooTall");
    categories.textIncomplete = reader.count(object, "textIncomplete");
    categories.megaParagraph = reader.count(object, "megaParagraph");
    categories.geometryError = reader.count(object, "geometryError");
    categories.frameTextMisaligned = reader.count(object, "frameTextMisaligned");
    categories.textAxMisaligned = reader.count(object, "textAxMisaligned");
    return categories;
}

} // namespace

JsonValue toJson(const HighlightTestReport& report)
{
    JsonValue paragraphs = JsonValue::array();
    for (const ParagraphTestResult& paragraph : report.paragraphs)
        paragraphs.append(paragraphJson(paragraph));
    JsonValue object = JsonValue::object({ { "articleTitle", report.articleTitle } });
    object.setOptional("url", report.url);
    object.set("timestamp", report.timestamp);
    object.set("paragraphCount", report.paragraphCount);
    object.set("totalCharacters", report.totalCharacters);
    object.set("paragraphs", std::move(paragraphs));
    object.set("summary", summaryJson(report.summary));
    if (report.content)
        object.set("content", contentJson(*report.content));
    if (report.failureCategories)
        object.set("failureCategories", categoriesJson(*report.failureCategories));
    return object;
}

Expected<std::string, JsonError> jsonLine(const HighlightTestReport& report)
{
    auto json = JsonWriter::serialize(toJson(report), JsonWriter::Style::compact, JsonWriter::KeyOrder::sorted);
    if (!json)
        return Unexpected(json.error());
    return escapingLineSeparators(*json) + "\n";
}

Expected<std::string, JsonError> prettyJson(const HighlightTestReport& report)
{
    return JsonWriter::serialize(toJson(report), JsonWriter::Style::pretty, JsonWriter::KeyOrder::sorted);
}

Expected<HighlightTestReport, DecodeError> decode(std::string_view text)
{
    // A report nests six deep; unknown members may add a little, never hundreds of levels.
    auto parsed = JsonReading::parse(text, { .maxDepth = 64 });
    if (!parsed)
        return Unexpected(DecodeError { DecodeError::Kind::malformed, parsed.error().message });
    const Json& root = *parsed;
    Reader reader;
    if (!root.is_object())
        return Unexpected(DecodeError { DecodeError::Kind::malformed, "a report is not an object" });

    HighlightTestReport report;
    report.articleTitle = reader.string(root, "articleTitle");
    report.url = reader.optionalString(root, "url");
    report.timestamp = reader.string(root, "timestamp");
    report.paragraphCount = reader.count(root, "paragraphCount");
    report.totalCharacters = reader.count(root, "totalCharacters");
    report.paragraphs = reader.objects(root, "paragraphs", [&](const Json& paragraph) { return readParagraph(reader, paragraph); });
    if (const Json* summary = reader.object(root, "summary", true))
        report.summary = readSummary(reader, *summary);
    if (const Json* content = reader.object(root, "content", false))
        report.content = readContent(reader, *content);
    if (const Json* categories = reader.object(root, "failureCategories", false))
        report.failureCategories = readCategories(reader, *categories);
    if (reader.failed())
        return Unexpected(DecodeError { DecodeError::Kind::malformed, reader.failure() });
    if (reader.unsummable())
        return Unexpected(*reader.unsummable());
    return report;
}

} // namespace lorvantine::HighlightTestReportJson
