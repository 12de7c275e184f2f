#include "CLI/OCRSelectionE2ERunner.h"

#include "CLI/CLIRouter.h"
#include "Support/Text.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace lorvantine::OCRSelectionE2ERunner {

namespace {

// Recognition splits "START 3" more often than it merges it; a split pair must sit on one line
// and close together to stand for one sentinel.
constexpr double splitSentinelMaxCentreOffset = 12;
constexpr double splitSentinelMinGap = -5;
constexpr double splitSentinelMaxGap = 40;
// An END may start a little above its START (a taller glyph box on the same line), not more.
constexpr double sentinelEndAboveStartTolerance = 4;

std::string sentinelToken(const std::string& text)
{
    std::string token;
    for (char c : text)
        if (c != ' ')
            token += c;
    return Text::uppercased(token);
}

std::optional<SentinelWord> sentinelWithPrefix(std::string_view token, std::string_view prefix, SentinelWord::Kind kind)
{
    if (!token.starts_with(prefix))
        return std::nullopt;
    if (auto n = Text::integerValue(token.substr(prefix.size())))
        return SentinelWord { kind, *n };
    return std::nullopt;
}

} // namespace

std::optional<SentinelWord> parseSentinel(std::string_view token)
{
    if (auto word = sentinelWithPrefix(token, "START", SentinelWord::Kind::start))
        return word;
    if (auto word = sentinelWithPrefix(token, "END", SentinelWord::Kind::end))
        return word;
    const size_t count = Text::characterCount(token);
    if (count < 2 || count > 4)
        return std::nullopt;
    const size_t restStart = Text::byteOffsetOfCharacter(token, 1);
    auto n = Text::integerValue(token.substr(restStart));
    if (!n)
        return std::nullopt;
    const std::string_view first = token.substr(0, restStart);
    if (first == "S")
        return SentinelWord { SentinelWord::Kind::start, *n };
    if (first == "E")
        return SentinelWord { SentinelWord::Kind::end, *n };
    return std::nullopt;
}

std::vector<Sentinel> findSentinels(const std::vector<RecognizedWord>& words)
{
    std::vector<std::string> tokens;
    for (const RecognizedWord& word : words)
        tokens.push_back(sentinelToken(word.text));

    std::map<int64_t, Rect> starts;
    std::map<int64_t, Rect> ends;
    for (size_t i = 0; i < words.size(); ++i) {
        auto sentinel = parseSentinel(tokens[i]);
        if (!sentinel)
            continue;
        if (sentinel->kind == SentinelWord::Kind::start)
            starts[sentinel->n] = words[i].screenRect;
        else
            ends.try_emplace(sentinel->n, words[i].screenRect);
    }

    for (size_t i = 0; i + 1 < words.size(); ++i) {
        const bool start = tokens[i] == "START";
        if (!start && tokens[i] != "END")
            continue;
        auto n = Text::integerValue(tokens[i + 1]);
        if (!n)
            continue;
        const Rect& word = words[i].screenRect;
        const Rect& number = words[i + 1].screenRect;
        const double gap = number.minX() - word.maxX();
        if (std::fabs(word.midY() - number.midY()) >= splitSentinelMaxCentreOffset || gap <= splitSentinelMinGap
            || gap >= splitSentinelMaxGap)
            continue;
        (start ? starts : ends).try_emplace(*n, word.united(number));
    }

    std::vector<Sentinel> sentinels;
    for (const auto& [n, startRect] : starts) {
        auto end = ends.find(n);
        if (end != ends.end() && end->second.minY() >= startRect.minY() - sentinelEndAboveStartTolerance)
            sentinels.push_back({ n, startRect, end->second });
    }
    return sentinels;
}

std::optional<std::vector<int64_t>> segmentFilter(const std::vector<std::string>& args)
{
    auto text = CLIRouter::value(args, "--segments");
    if (!text)
        return std::nullopt;
    std::vector<int64_t> numbers;
    for (const std::string& piece : Text::components(*text, ","))
        if (auto n = Text::integerValue(piece))
            numbers.push_back(*n);
    return numbers;
}

} // namespace lorvantine::OCRSelectionE2ERunner
