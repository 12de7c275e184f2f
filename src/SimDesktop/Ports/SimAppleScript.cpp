#include "SimDesktop/Ports/SimAppleScript.h"

#include "Platform/WindowServerPort.h"
#include "Support/Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <regex>

namespace lorvantine::SimAppleScript {

namespace {

using Kind = Statement::Kind;

// Far beyond any statement or nesting a script of the program or a person holds. Each character
// of a statement costs the pattern matcher some hundreds of bytes of stack, and each block the
// running and the freeing of a script a few frames: longer lines and deeper blocks would end
// whichever process reads the script (the shared desktop server) instead of being refused.
constexpr size_t maxStatementLength = 4096;
constexpr size_t maxBlockDepth = 64;

std::optional<double> scriptNumber(const std::string& word)
{
    double value = 0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

bool matches(const std::string& line, const char* pattern, std::smatch& m)
{
    return std::regex_match(line, m, std::regex(pattern));
}

// "command down" or "{command down, shift down}" as event flags; none for anything else.
std::optional<uint64_t> modifierFlags(std::string text)
{
    if (text.empty())
        return 0;
    if (text.front() == '{') {
        if (text.back() != '}')
            return std::nullopt;
        text = text.substr(1, text.size() - 2);
    }
    uint64_t flags = 0;
    for (const std::string& raw : Text::components(text, ",")) {
        const std::string part = Text::trimmingWhitespacesAndNewlines(raw);
        if (part == "command down")
            flags |= EventFlags::maskCommand;
        else if (part == "shift down")
            flags |= EventFlags::maskShift;
        else if (part == "option down")
            flags |= EventFlags::maskAlternate;
        else if (part == "control down")
            flags |= EventFlags::maskControl;
        else
            return std::nullopt;
    }
    return flags;
}

// "key code N [using …]" or "keystroke "c" [using …]", as said to System Events.
std::optional<Statement> keyStatement(const std::string& text)
{
    std::smatch m;
    int code = -1;
    std::string modifiers;
    if (matches(text, R"re(key code (\S+)(?: using (.+))?)re", m)) {
        auto number = scriptNumber(m[1]);
        if (!number || *number != std::floor(*number) || *number > 0xFFFF)
            return std::nullopt;
        code = static_cast<int>(*number);
        modifiers = m[2];
    } else if (matches(text, R"re(keystroke "(.)"(?: using (.+))?)re", m)) {
        code = keyCodeForCharacter(m.str(1)[0]);
        modifiers = m[2];
    }
    if (code < 0)
        return std::nullopt;
    auto flags = modifierFlags(modifiers);
    if (!flags)
        return std::nullopt;
    return Statement { .kind = Kind::keyCode, .keyCode = code, .flags = *flags };
}

std::optional<Condition> condition(std::string text)
{
    text = Text::trimmingWhitespacesAndNewlines(text);
    if (text.size() > 1 && text.front() == '(' && text.back() == ')')
        text = text.substr(1, text.size() - 2);
    std::smatch m;
    if (matches(text, R"re(contents of (\w+) contains "([^"]*)")re", m))
        return Condition { Condition::Kind::contentsContain, m[1], m[2] };
    if (matches(text, R"re(tty of (\w+) is not "([^"]*)")re", m))
        return Condition { Condition::Kind::ttyIsNot, m[1], m[2] };
    if (matches(text, R"re(tty of (\w+) is "([^"]*)")re", m))
        return Condition { Condition::Kind::ttyIs, m[1], m[2] };
    if (matches(text, R"re(exists sheet 1 of window 1(?: of process "([^"]*)")?)re", m))
        return Condition { Condition::Kind::sheetExists, "", m[1] };
    return std::nullopt;
}

// Conditions joined by "and" (outside quotes).
std::optional<std::vector<Condition>> conditions(const std::string& text)
{
    std::vector<Condition> out;
    size_t start = 0;
    bool quoted = false;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] == '"')
            quoted = !quoted;
        const bool split = i == text.size() || (!quoted && text.compare(i, 5, " and ") == 0);
        if (!split)
            continue;
        auto parsed = condition(text.substr(start, i - start));
        if (!parsed)
            return std::nullopt;
        out.push_back(*parsed);
        start = i + 5;
    }
    return out;
}

// A statement that stands on its own line; none when the line is not one.
std::optional<Statement> simpleStatement(const std::string& line)
{
    std::smatch m;
    if (matches(line, R"re(delay (\S+))re", m)) {
        if (auto seconds = scriptNumber(m[1]))
            return Statement { .kind = Kind::delay, .seconds = *seconds };
        return std::nullopt;
    }
    if (matches(line, R"re(tell application id "([^"]+)" to activate)re", m))
        return Statement { .kind = Kind::activate, .bundleID = m[1] };
    if (matches(line, R"re(tell application "System Events" to tell process "[^"]+" to (.+))re", m))
        return keyStatement(m[1]);
    if (matches(line, R"re(tell application "System Events" to (.+))re", m))
        return keyStatement(m[1]);
    if (matches(line, R"re(tell application "([^"]+)" to delete \(?every note whose body contains "([^"]*)"\)?)re", m))
        return Statement { .kind = Kind::deleteNotes, .application = m[1], .text = m[2] };
    if (matches(line, R"re(delete \(?every note whose body contains "([^"]*)"\)?)re", m))
        return Statement { .kind = Kind::deleteNotes, .text = m[1] };
    if (matches(line, R"re(set selected tab of (\w+) to (\w+))re", m))
        return Statement { .kind = Kind::selectTab, .variable = m[2], .over = m[1] };
    if (matches(line, R"re(click button "([^"]*)" of sheet 1 of window 1(?: of process "([^"]*)")?)re", m))
        return Statement { .kind = Kind::clickSheetButton, .application = m[2], .text = m[1] };
    if (line == "return")
        return Statement { .kind = Kind::returnFromScript };
    return keyStatement(line);
}

// The statement a block line opens; none when the line opens no block.
std::optional<Statement> blockOpening(const std::string& line)
{
    std::smatch m;
    if (line == "try")
        return Statement { .kind = Kind::tryBlock };
    if (matches(line, R"re(tell application "System Events" to tell process "([^"]+)")re", m))
        return Statement { .kind = Kind::tellProcess, .application = m[1] };
    if (line == R"re(tell application "System Events")re")
        return Statement { .kind = Kind::tellProcess };
    if (matches(line, R"re(tell process "([^"]+)")re", m))
        return Statement { .kind = Kind::tellProcess, .application = m[1] };
    if (matches(line, R"re(tell application "([^"]+)")re", m))
        return Statement { .kind = Kind::tellApplication, .application = m[1] };
    if (matches(line, R"re(repeat with (\w+) in windows)re", m))
        return Statement { .kind = Kind::repeatWindows, .variable = m[1] };
    if (matches(line, R"re(repeat with (\w+) in tabs of (\w+))re", m))
        return Statement { .kind = Kind::repeatTabs, .variable = m[1], .over = m[2] };
    if (matches(line, R"re(if (.+) then)re", m)) {
        if (auto parsed = conditions(m[1]))
            return Statement { .kind = Kind::ifBlock, .conditions = *parsed };
    }
    return std::nullopt;
}

const char* closingOf(Kind kind)
{
    switch (kind) {
    case Kind::tryBlock: return "end try";
    case Kind::tellApplication:
    case Kind::tellProcess: return "end tell";
    case Kind::repeatWindows:
    case Kind::repeatTabs: return "end repeat";
    case Kind::ifBlock: return "end if";
    default: return "";
    }
}

Unexpected<std::string> refused(const std::string& line)
{
    return Unexpected<std::string>("syntax error: the simulated desktop does not understand \"" + line + "\"");
}

} // namespace

int keyCodeForCharacter(char c)
{
    // Indexed by virtual key code; the NUL and the line feed stand for keys that type no character.
    static constexpr char byCode[] = "asdfhgzxcv\0bqweryt123465=97-80]ou[ip\nlj'k;\\,/nm.";
    constexpr std::string_view letters(byCode, sizeof byCode - 1);
    if (c >= 'A' && c <= 'Z')
        c = static_cast<char>(c - 'A' + 'a');
    if (c == '\0' || c == '\n')
        return -1;
    const size_t at = letters.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

Expected<std::vector<Statement>, std::string> parse(std::string_view source)
{
    std::vector<Statement> top;
    // The blocks open at this point, innermost last.
    std::vector<Statement> open;
    auto append = [&](Statement statement) {
        (open.empty() ? top : open.back().body).push_back(std::move(statement));
    };
    std::string normalised(source);
    std::replace(normalised.begin(), normalised.end(), '\r', '\n');
    for (const std::string& rawLine : Text::components(normalised, "\n")) {
        const std::string line = Text::trimmingWhitespacesAndNewlines(rawLine);
        if (line.empty() || line.starts_with("--"))
            continue;
        if (line.size() > maxStatementLength)
            return Unexpected<std::string>("syntax error: a statement of " + std::to_string(line.size())
                                           + " characters is longer than the simulated desktop reads ("
                                           + std::to_string(maxStatementLength) + ")");
        if (line.starts_with("end ")) {
            if (open.empty() || line != closingOf(open.back().kind))
                return refused(line);
            Statement closed = std::move(open.back());
            open.pop_back();
            append(std::move(closed));
            continue;
        }
        if (auto block = blockOpening(line)) {
            if (open.size() == maxBlockDepth)
                return Unexpected<std::string>("syntax error: blocks nested more than " + std::to_string(maxBlockDepth)
                                               + " deep");
            open.push_back(std::move(*block));
            continue;
        }
        std::smatch m;
        if (matches(line, R"re(if (.+?) then (.+))re", m)) {
            auto parsedConditions = conditions(m[1]);
            auto inner = simpleStatement(m[2]);
            if (!parsedConditions || !inner)
                return refused(line);
            append(Statement { .kind = Kind::ifBlock, .conditions = *parsedConditions, .body = { *inner } });
            continue;
        }
        auto parsed = simpleStatement(line);
        if (!parsed)
            return refused(line);
        append(std::move(*parsed));
    }
    if (!open.empty())
        return Unexpected<std::string>(std::string("syntax error: expected \"") + closingOf(open.back().kind)
                                       + "\" but found the end of the script");
    return top;
}

} // namespace lorvantine::SimAppleScript
