#include "SimDesktop/Control/SimControlCommand.h"

#include "Platform/WindowServerPort.h"
#include "Support/JsonReading.h"
#include "Support/Text.h"

#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

namespace lorvantine {

namespace {

using ControlTokens = std::vector<std::string>;
using ControlParse = Expected<SimControlCommand, std::string>;

// Splits at spaces and tabs; a token opening with a double quote runs to its closing quote and
// is read as a JSON string.
Expected<ControlTokens, std::string> controlTokens(std::string_view line)
{
    ControlTokens tokens;
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        if (line[i] != '"') {
            const size_t end = line.find_first_of(" \t", i);
            const size_t stop = end == std::string_view::npos ? line.size() : end;
            if (line.substr(i, stop - i).find('"') != std::string_view::npos)
                return Unexpected(std::string("a quote inside a word"));
            tokens.emplace_back(line.substr(i, stop - i));
            i = stop;
            continue;
        }
        size_t close = i + 1;
        while (close < line.size() && line[close] != '"')
            close += line[close] == '\\' ? 2 : 1;
        if (close >= line.size())
            return Unexpected(std::string("a text without its closing quote"));
        auto text = JsonReading::parse(line.substr(i, close - i + 1), { .maxDepth = 1, .maxBytes = SimControlCommand::maxLineBytes });
        if (!text || !text->is_string())
            // The reader's own words may quote the faulty bytes, which need not be text.
            return Unexpected("a malformed text at byte " + std::to_string(i + (text ? 0 : text.error().byte)));
        tokens.push_back(text->get<std::string>());
        i = close + 1;
        if (i < line.size() && line[i] != ' ' && line[i] != '\t')
            return Unexpected(std::string("a text followed by more without a space"));
    }
    return tokens;
}

// Coordinates and counts a desktop can have.
std::optional<double> controlNumber(const std::string& token)
{
    double value = 0;
    const auto [at, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (token.empty() || error != std::errc {} || at != token.data() + token.size() || !std::isfinite(value) || std::fabs(value) > 1e6)
        return std::nullopt;
    return value;
}

const std::map<std::string, uint16_t>& controlKeyNames()
{
    static const std::map<std::string, uint16_t> names {
        { "a", 0 }, { "s", 1 }, { "d", 2 }, { "f", 3 }, { "h", 4 }, { "g", 5 }, { "z", 6 }, { "x", 7 }, { "c", 8 },
        { "v", 9 }, { "b", 11 }, { "q", 12 }, { "w", 13 }, { "e", 14 }, { "r", 15 }, { "y", 16 }, { "t", 17 },
        { "1", 18 }, { "2", 19 }, { "3", 20 }, { "4", 21 }, { "6", 22 }, { "5", 23 }, { "9", 25 }, { "7", 26 },
        { "8", 28 }, { "0", 29 }, { "o", 31 }, { "u", 32 }, { "i", 34 }, { "p", 35 }, { "l", 37 }, { "j", 38 },
        { "k", 40 }, { "n", 45 }, { "m", 46 }, { "return", 36 }, { "tab", 48 }, { "space", 49 }, { "delete", 51 },
        { "escape", 53 }, { "pageup", 116 }, { "pagedown", 121 }, { "left", 123 }, { "right", 124 },
        { "down", 125 }, { "up", 126 },
    };
    return names;
}

std::optional<uint64_t> controlModifier(const std::string& name)
{
    if (name == "shift")
        return EventFlags::maskShift;
    if (name == "control" || name == "ctrl")
        return EventFlags::maskControl;
    if (name == "option" || name == "alt")
        return EventFlags::maskAlternate;
    if (name == "command" || name == "cmd")
        return EventFlags::maskCommand;
    return std::nullopt;
}

ControlParse controlFailure(std::string message) { return Unexpected(std::move(message)); }

ControlParse controlPoints(SimControlCommand command, const ControlTokens& args, size_t count, const char* usage)
{
    if (args.size() != count)
        return controlFailure(std::string("usage: ") + usage);
    std::vector<double> values;
    for (const std::string& arg : args) {
        auto value = controlNumber(arg);
        if (!value)
            return controlFailure("not a coordinate: " + arg);
        values.push_back(*value);
    }
    command.from = { values[0], values[1] };
    if (count == 4)
        command.to = { values[2], values[3] };
    return command;
}

} // namespace

Expected<SimControlCommand, std::string> SimControlCommand::parse(std::string_view line)
{
    if (line.size() > maxLineBytes)
        return controlFailure("line longer than " + std::to_string(maxLineBytes) + " bytes");
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    if (!Text::isValidUtf8(line))
        return controlFailure("line is not UTF-8");
    if (line.find('\0') != std::string_view::npos)
        return controlFailure("line holds a NUL byte");
    auto tokens = controlTokens(line);
    if (!tokens)
        return controlFailure(tokens.error());
    if (tokens->empty())
        return controlFailure("empty line");
    const std::string verb = tokens->front();
    const ControlTokens args(tokens->begin() + 1, tokens->end());
    SimControlCommand command;
    if (verb == "click") {
        if (args.size() != 2 && args.size() != 3)
            return controlFailure("usage: click X Y [COUNT]");
        command.verb = Verb::click;
        if (args.size() == 3) {
            const auto count = controlNumber(args[2]);
            if (!count || *count != std::floor(*count) || *count < 1 || *count > 3)
                return controlFailure("click count must be 1, 2 or 3");
            command.clickCount = static_cast<int>(*count);
        }
        return controlPoints(command, { args[0], args[1] }, 2, "click X Y [COUNT]");
    }
    if (verb == "drag") {
        command.verb = Verb::drag;
        return controlPoints(command, args, 4, "drag X1 Y1 X2 Y2");
    }
    if (verb == "scroll") {
        if (args.size() != 3)
            return controlFailure("usage: scroll X Y LINES");
        const auto lines = controlNumber(args[2]);
        if (!lines || *lines != std::floor(*lines) || std::fabs(*lines) > 1000)
            return controlFailure("lines must be a whole number from -1000 to 1000");
        command.verb = Verb::scroll;
        command.lines = static_cast<int32_t>(*lines);
        return controlPoints(command, { args[0], args[1] }, 2, "scroll X Y LINES");
    }
    if (verb == "key") {
        if (args.empty())
            return controlFailure("usage: key KEY [MODIFIER...]");
        command.verb = Verb::key;
        const std::string key = Text::asciiLowercased(args[0]);
        if (auto named = controlKeyNames().find(key); named != controlKeyNames().end()) {
            command.keyCode = named->second;
        } else {
            const auto code = controlNumber(args[0]);
            if (!code || *code != std::floor(*code) || *code < 0 || *code > 127)
                return controlFailure("unknown key: " + args[0]);
            command.keyCode = static_cast<uint16_t>(*code);
        }
        for (size_t i = 1; i < args.size(); ++i) {
            const auto flag = controlModifier(Text::asciiLowercased(args[i]));
            if (!flag)
                return controlFailure("unknown modifier: " + args[i]);
            command.flags |= *flag;
        }
        return command;
    }
    if (verb == "front" || verb == "press" || verb == "snapshot") {
        if (args.size() != 1 || args[0].empty())
            return controlFailure("usage: " + verb + (verb == "front" ? " BUNDLE_ID" : verb == "press" ? " TITLE" : " PATH"));
        command.verb = verb == "front" ? Verb::front : verb == "press" ? Verb::press : Verb::snapshot;
        command.text = args[0];
        return command;
    }
    if (verb == "type") {
        if (args.size() != 1 || args[0].empty())
            return controlFailure("usage: type TEXT");
        command.verb = Verb::type;
        command.text = args[0];
        return command;
    }
    if (verb == "trust") {
        if (args.size() != 1 || (args[0] != "on" && args[0] != "off"))
            return controlFailure("usage: trust on|off");
        command.verb = Verb::trust;
        command.on = args[0] == "on";
        return command;
    }
    if (verb == "input-monitoring") {
        static const std::map<std::string, InputMonitoringAccess> states {
            { "granted", InputMonitoringAccess::granted }, { "denied", InputMonitoringAccess::denied },
            { "unknown", InputMonitoringAccess::unknown } };
        const auto state = args.size() == 1 ? states.find(args[0]) : states.end();
        if (state == states.end())
            return controlFailure("usage: input-monitoring granted|denied|unknown");
        command.verb = Verb::inputMonitoring;
        command.access = state->second;
        return command;
    }
    if (verb == "windows" || verb == "quit") {
        if (!args.empty())
            return controlFailure(verb + " takes no arguments");
        command.verb = verb == "windows" ? Verb::windows : Verb::quit;
        return command;
    }
    return controlFailure("unknown command: " + Text::characterPrefix(verb, 40));
}

} // namespace lorvantine
