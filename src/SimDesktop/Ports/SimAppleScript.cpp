#include "SimDesktop/Ports/SimAppleScript.h"

#include "Support/Text.h"

#include <charconv>
#include <cmath>

namespace lorvantine::SimAppleScript {

namespace {

// The words of a statement; a double-quoted string is one word, kept with its quotes.
std::vector<std::string> words(std::string_view line)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        size_t end = i;
        if (line[i] == '"') {
            end = line.find('"', i + 1);
            end = end == std::string_view::npos ? line.size() : end + 1;
        } else {
            while (end < line.size() && line[end] != ' ' && line[end] != '\t')
                ++end;
        }
        out.emplace_back(line.substr(i, end - i));
        i = end;
    }
    return out;
}

std::optional<std::string> quoted(const std::string& word)
{
    if (word.size() < 2 || word.front() != '"' || word.back() != '"')
        return std::nullopt;
    return word.substr(1, word.size() - 2);
}

std::optional<double> number(const std::string& word)
{
    double value = 0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

std::optional<Statement> statement(const std::vector<std::string>& w)
{
    if (w.size() == 2 && w[0] == "delay") {
        if (auto seconds = number(w[1]))
            return Statement { .kind = Statement::Kind::delay, .seconds = *seconds };
        return std::nullopt;
    }
    if (w.size() == 6 && w[0] == "tell" && w[1] == "application" && w[2] == "id" && w[4] == "to"
        && w[5] == "activate") {
        if (auto id = quoted(w[3]); id && !id->empty())
            return Statement { .kind = Statement::Kind::activate, .bundleID = *id };
        return std::nullopt;
    }
    if (w.size() == 7 && w[0] == "tell" && w[1] == "application" && w[2] == "\"System Events\"" && w[3] == "to"
        && w[4] == "key" && w[5] == "code") {
        auto code = number(w[6]);
        if (code && *code == std::floor(*code) && *code <= 0xFFFF)
            return Statement { .kind = Statement::Kind::keyCode, .keyCode = static_cast<int>(*code) };
    }
    return std::nullopt;
}

} // namespace

Expected<std::vector<Statement>, std::string> parse(std::string_view source)
{
    std::vector<Statement> statements;
    for (const std::string& rawLine : Text::components(source, "\n")) {
        const std::string line = Text::trimmingWhitespacesAndNewlines(rawLine);
        if (line.empty())
            continue;
        auto parsed = statement(words(line));
        if (!parsed)
            return Unexpected<std::string>("syntax error: the simulated desktop does not understand \"" + line + "\"");
        statements.push_back(*parsed);
    }
    return statements;
}

} // namespace lorvantine::SimAppleScript
