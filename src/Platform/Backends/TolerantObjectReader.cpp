#include "Platform/Backends/TolerantObjectReader.h"

#include <algorithm>

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

struct StringScan {
    // One past the closing quote; for a broken string, the line break or the text's end.
    size_t end = 0;
    bool broken = false;
};

// The string that opens at `at`. A raw line break cannot be inside a string, so it ends a broken
// one there rather than swallowing the members on the following lines.
StringScan scanString(std::string_view text, size_t at)
{
    for (size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] != '\n')
            ++i;
        else if (text[i] == '"')
            return {i + 1, false};
        else if (text[i] == '\n')
            return {i, true};
    }
    return {text.size(), true};
}

bool colonFollows(std::string_view text, size_t at)
{
    at = skipSpaceAndComments(text, at);
    return at < text.size() && text[at] == ':';
}

bool keyStarts(std::string_view text, size_t at)
{
    if (at >= text.size() || text[at] != '"')
        return false;
    const StringScan key = scanString(text, at);
    return !key.broken && colonFollows(text, key.end);
}

enum class Extent { value, member };

// Where the container or member that starts at `at` ends, judged by quotes and brackets alone:
// one past the bracket that closes a container; the comma or closing brace after a member, or
// the start of the next member when the comma is missing. Damage ends them early, so that it
// costs no more than the member it is in:
// - a string broken by a line break ends at the line break, and so does all that holds it;
// - a member's key inside a list means the list lost its ']' before the key;
// - a closing bracket also closes what was left open inside the bracket it matches.
size_t extentEnd(std::string_view text, size_t at, Extent extent)
{
    std::vector<char> open;
    for (size_t i = at; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            const StringScan string = scanString(text, i);
            if (string.broken)
                return string.end;
            // A member's own key opens it; any other key outside an object starts another member.
            if (i != at && keyStarts(text, i)) {
                while (!open.empty() && open.back() == '[')
                    open.pop_back();
                if (open.empty())
                    return i;
            }
            i = string.end - 1;
        } else if (c == '[' || c == '{') {
            open.push_back(c);
        } else if (c == ']' || c == '}') {
            if (open.empty()) {
                // The brace of the object around the members; a stray ']' is passed over.
                if (c == '}')
                    return i;
                continue;
            }
            auto match = std::find(open.rbegin(), open.rend(), c == ']' ? '[' : '{');
            open.erase(match == open.rend() ? open.end() - 1 : std::prev(match.base()), open.end());
            if (open.empty() && extent == Extent::value)
                return i + 1;
        } else if (c == ',' && open.empty() && extent == Extent::member) {
            return i;
        }
    }
    return text.size();
}

// One past the value that starts at `at`.
size_t valueEnd(std::string_view text, size_t at)
{
    if (at >= text.size())
        return at;
    if (text[at] == '"')
        return scanString(text, at).end;
    if (text[at] != '[' && text[at] != '{') {
        size_t end = text.find_first_of(",}] \t\r\n/", at);
        return end == std::string_view::npos ? text.size() : end;
    }
    return extentEnd(text, at, Extent::value);
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
        // A string names the member only when a colon follows it.
        std::optional<std::string> key;
        if (text[at] == '"') {
            size_t keyEnd = scanString(text, at).end;
            auto parsed = JsonReading::parse(text.substr(at, keyEnd - at));
            at = skipSpaceAndComments(text, keyEnd);
            if (parsed && parsed->is_string() && at < text.size() && text[at] == ':')
                key = parsed->get<std::string>();
        }
        if (key) {
            size_t valueStart = skipSpaceAndComments(text, at + 1);
            size_t valueStop = valueEnd(text, valueStart);
            auto value = JsonReading::parse(text.substr(valueStart, valueStop - valueStart), memberLimits);
            at = skipSpaceAndComments(text, valueStop);
            // A value the text ends right after may have been cut short: 12 of 125. One that the
            // next member's key follows lost only its comma.
            if (value && at < text.size() && (text[at] == ',' || text[at] == '}' || keyStarts(text, at))) {
                result.members[*key] = std::move(*value);
                continue;
            }
        }
        result.dropped.push_back(key.value_or(""));
        at = extentEnd(text, start, Extent::member);
    }
    return result;
}

} // namespace lorvantine::TolerantObjectReader
