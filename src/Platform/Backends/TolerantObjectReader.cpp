#include "Platform/Backends/TolerantObjectReader.h"

namespace lorvantine::TolerantObjectReader {

namespace {

size_t skipSpaceAndComments(std::string_view text, size_t at)
{
    while (at < text.size()) {
        char c = text[at];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++at;
        } else if (text.substr(at, 2) == "//") {
            size_t end = text.find('\n', at);
            at = end == std::string_view::npos ? text.size() : end + 1;
        } else if (text.substr(at, 2) == "/*") {
            size_t end = text.find("*/", at + 2);
            at = end == std::string_view::npos ? text.size() : end + 2;
        } else {
            break;
        }
    }
    return at;
}

// One past the string that opens at `at`. A raw line break cannot be inside a string, so it ends
// a broken one there rather than swallowing the members on the following lines.
size_t stringEnd(std::string_view text, size_t at)
{
    for (size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == '\\')
            ++i;
        else if (text[i] == '"' || text[i] == '\n')
            return i + 1;
    }
    return text.size();
}

// One past the value that starts at `at`, judged by quotes and brackets alone.
size_t valueEnd(std::string_view text, size_t at)
{
    if (at >= text.size())
        return at;
    if (text[at] == '"')
        return stringEnd(text, at);
    if (text[at] != '[' && text[at] != '{') {
        size_t end = text.find_first_of(",}] \t\r\n/", at);
        return end == std::string_view::npos ? text.size() : end;
    }
    size_t depth = 0;
    for (size_t i = at; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"')
            i = stringEnd(text, i) - 1;
        else if (c == '[' || c == '{')
            ++depth;
        else if ((c == ']' || c == '}') && --depth == 0)
            return i + 1;
    }
    return text.size();
}

// The comma or closing brace that ends the member starting at `at`, or the text's end.
size_t memberEnd(std::string_view text, size_t at)
{
    size_t depth = 0;
    for (size_t i = at; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            i = stringEnd(text, i) - 1;
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if (c == ']' || c == '}') {
            if (depth == 0 && c == '}')
                return i;
            depth -= depth > 0;
        } else if (c == ',' && depth == 0) {
            return i;
        }
    }
    return text.size();
}

} // namespace

std::optional<Result> read(std::string_view text, JsonReading::Limits limits)
{
    JsonReading::Limits memberLimits = limits;
    memberLimits.maxDepth = limits.maxDepth > 0 ? limits.maxDepth - 1 : 0;
    size_t at = skipSpaceAndComments(text, text.starts_with("\xEF\xBB\xBF") ? 3 : 0);
    if (at >= text.size() || text[at] != '{')
        return std::nullopt;

    Result result;
    for (++at;;) {
        at = skipSpaceAndComments(text, at);
        if (at >= text.size() || text[at] == '}')
            break;
        if (text[at] == ',') {
            ++at;
            continue;
        }
        const size_t start = at;
        std::optional<std::string> key;
        if (text[at] == '"') {
            size_t keyEnd = stringEnd(text, at);
            if (auto parsed = JsonReading::parse(text.substr(at, keyEnd - at)); parsed && parsed->is_string())
                key = parsed->get<std::string>();
            at = skipSpaceAndComments(text, keyEnd);
        }
        if (key && at < text.size() && text[at] == ':') {
            size_t valueStart = skipSpaceAndComments(text, at + 1);
            size_t valueStop = valueEnd(text, valueStart);
            auto value = JsonReading::parse(text.substr(valueStart, valueStop - valueStart), memberLimits);
            at = skipSpaceAndComments(text, valueStop);
            // A value the text ends right after may have been cut short: 12 of 125.
            if (value && at < text.size() && (text[at] == ',' || text[at] == '}')) {
                result.members[*key] = std::move(*value);
                continue;
            }
        }
        result.dropped.push_back(key.value_or(""));
        at = memberEnd(text, start);
    }
    return result;
}

} // namespace lorvantine::TolerantObjectReader
