#include "Core/SubHighlightMapper.h"

#include "Core/CharacterMatching.h"
#include "Network/SpeechText.h"
#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace lorvantine::SubHighlightMapper {

namespace {

template<typename Set> bool isIn(const Set& set, std::string_view character)
{
    return std::find(set.begin(), set.end(), character) != set.end();
}

int clampOffset(long long offset, size_t length)
{
    return static_cast<int>(std::clamp<long long>(offset, 0, static_cast<long long>(length)));
}

// The paragraph as the sentence locator searches it; the normalised form is made only when a
// piece is not found as it stands.
class LocatorText {
public:
    explicit LocatorText(std::string_view text)
        : m_characters(Text::characters(text))
        , m_keys(CharacterMatching::canonicalKeys(m_characters))
    {
    }

    const std::vector<std::string>& characters() const { return m_characters; }
    const std::vector<std::string>& keys() const { return m_keys; }

    const SpeechText::Normalized& normalized()
    {
        if (!m_normalized) {
            m_normalized = SpeechText::normalize(m_characters);
            m_normalized->characters = CharacterMatching::canonicalKeys(m_normalized->characters);
        }
        return *m_normalized;
    }

private:
    std::vector<std::string> m_characters;
    std::vector<std::string> m_keys;
    std::optional<SpeechText::Normalized> m_normalized;
};

CharRange clampUnitRange(CharRange range, const std::vector<std::string>& characters)
{
    const int count = static_cast<int>(characters.size());
    int lower = std::max(range.lower, 0);
    int upper = std::min(range.upper, count);
    for (int i = lower; i < upper; ++i) {
        if (CharacterMatching::isLineFeed(characters[static_cast<size_t>(i)])) {
            upper = i;
            break;
        }
    }
    while (lower < upper && Text::isWhitespaceCharacter(characters[static_cast<size_t>(lower)]))
        ++lower;
    while (upper > lower && Text::isWhitespaceCharacter(characters[static_cast<size_t>(upper - 1)]))
        --upper;
    return { lower, upper };
}

std::optional<SubHighlightUnit> locateUnit(std::string_view subText, int searchOffset, LocatorText& paragraph,
                                           double startTime, double endTime)
{
    const std::string trimmed = Text::trimmingWhitespacesAndNewlines(subText);
    if (trimmed.empty())
        return std::nullopt;
    const std::vector<std::string> piece = CharacterMatching::canonicalKeys(Text::characters(trimmed));
    const int pieceLength = static_cast<int>(piece.size());
    const size_t length = paragraph.characters().size();
    const int offset = std::max(searchOffset, 0);

    CharRange candidate;
    auto at = CharacterMatching::find(paragraph.keys(), piece, static_cast<size_t>(clampOffset(offset, length)));
    if (at >= 0) {
        candidate = { static_cast<int>(at), static_cast<int>(at) + pieceLength };
    } else {
        const SpeechText::Normalized& normalized = paragraph.normalized();
        const std::vector<int>& mapping = normalized.mapping;
        const size_t normalizedLength = normalized.characters.size();
        auto original = [&](size_t index) {
            return index < mapping.size() ? mapping[index] : static_cast<int>(length);
        };
        // The offset counts the paragraph's own Characters; the normalised text is never longer,
        // so its search starts at the first normalised Character at or after that offset.
        const size_t normalizedOffset = static_cast<size_t>(
            std::lower_bound(mapping.begin(), mapping.begin() + static_cast<long>(std::min(mapping.size(), normalizedLength)), offset) - mapping.begin());
        at = CharacterMatching::find(normalized.characters, piece, normalizedOffset);
        if (at >= 0) {
            candidate = { original(static_cast<size_t>(at)), original(static_cast<size_t>(at) + piece.size()) };
        } else if (normalizedLength <= normalizedOffset) {
            candidate = { clampOffset(offset, length), clampOffset(static_cast<long long>(offset) + pieceLength, length) };
        } else {
            const size_t end = std::min(normalizedLength, normalizedOffset + piece.size());
            candidate = { original(normalizedOffset), original(end) };
        }
    }

    CharRange clamped = clampUnitRange(candidate, paragraph.characters());
    if (clamped.isEmpty())
        return std::nullopt;
    return SubHighlightUnit { clamped, startTime, endTime };
}

struct Token {
    std::string key; // case-folded
    int start = 0;
    int end = 0;
};

// The word as it is compared: trimmed of spaces and tabs, without punctuation, case-folded.
std::vector<std::string> wordKeys(std::string_view word)
{
    std::vector<std::string> keys;
    for (const std::string& character : Text::characters(Text::trimmingWhitespaces(word))) {
        if (!CharacterMatching::isPunctuation(character))
            keys.push_back(CharacterMatching::caseFoldedKey(character));
    }
    return keys;
}

} // namespace

std::vector<std::optional<CharRange>> matchWordsToText(const std::vector<TTSTimestamp>& timestamps, int textOffset,
                                                       std::string_view paragraphText)
{
    std::vector<std::optional<CharRange>> positions(timestamps.size());

    const std::vector<std::string> characters = Text::characters(paragraphText);
    const std::vector<std::string> folded = CharacterMatching::caseFoldedKeys(characters);
    const size_t count = characters.size();

    auto separates = [&](size_t k) {
        return Text::isWhitespaceCharacter(characters[k]) || CharacterMatching::isPunctuation(characters[k]);
    };
    std::vector<Token> tokens;
    for (size_t i = 0; i < count;) {
        if (separates(i)) {
            ++i;
            continue;
        }
        Token token;
        token.start = static_cast<int>(i);
        while (i < count && !separates(i))
            token.key += folded[i++];
        token.end = static_cast<int>(i);
        tokens.push_back(std::move(token));
    }
    auto firstTokenAtOrAfter = [&](int offset) {
        return static_cast<size_t>(std::lower_bound(tokens.begin(), tokens.end(), offset,
                                                    [](const Token& token, int value) { return token.start < value; })
                                   - tokens.begin());
    };

    size_t cursor = firstTokenAtOrAfter(textOffset);
    // Where the text search for a word that is no whole token begins: the cursor token's start,
    // except right after such a search, when it is the end of what was found. Text without
    // spaces (Chinese) is one token per clause, so the next word usually lies in the rest of
    // the same token; starting at the next token would skip it, or find it in a later sentence.
    size_t searchFrom = cursor < tokens.size() ? static_cast<size_t>(tokens[cursor].start)
                                               : static_cast<size_t>(clampOffset(textOffset, count));
    for (size_t t = 0; t < timestamps.size(); ++t) {
        const std::vector<std::string> word = wordKeys(timestamps[t].word);
        if (word.empty())
            continue;
        std::string joined;
        for (const std::string& key : word)
            joined += key;

        bool matched = false;
        for (size_t k = cursor; k < tokens.size(); ++k) {
            if (tokens[k].key == joined) {
                positions[t] = CharRange { tokens[k].start, tokens[k].end };
                cursor = k + 1;
                searchFrom = cursor < tokens.size() ? static_cast<size_t>(tokens[cursor].start) : static_cast<size_t>(tokens[k].end);
                matched = true;
                break;
            }
        }
        if (matched)
            continue;

        auto at = CharacterMatching::find(folded, word, searchFrom);
        if (at >= 0) {
            const int end = static_cast<int>(at) + static_cast<int>(word.size());
            positions[t] = CharRange { static_cast<int>(at), end };
            cursor = firstTokenAtOrAfter(end);
            searchFrom = static_cast<size_t>(end);
        }
    }
    return positions;
}

bool isChinese(std::string_view text)
{
    size_t ideographs = 0;
    for (char32_t scalar : Text::scalars(text)) {
        if (scalar >= 0x4E00 && scalar <= 0x9FA5)
            ++ideographs;
    }
    const size_t characters = std::max<size_t>(Text::characterCount(text), 1);
    return static_cast<double>(ideographs) / static_cast<double>(characters) > 0.1;
}

std::vector<SubHighlightUnit> buildWordUnits(const std::vector<TTSTimestamp>& timestamps,
                                             const std::vector<std::optional<CharRange>>& wordPositions)
{
    std::vector<SubHighlightUnit> units;
    const size_t count = std::min(timestamps.size(), wordPositions.size());
    for (size_t i = 0; i < count; ++i) {
        if (wordPositions[i])
            units.push_back({ *wordPositions[i], timestamps[i].start, timestamps[i].end });
    }
    return units;
}

std::vector<SubHighlightUnit> buildSentenceUnits(const std::vector<TTSTimestamp>& timestamps,
                                                 const std::vector<std::optional<CharRange>>& wordPositions,
                                                 std::string_view paragraphText)
{
    const std::vector<std::string> characters = Text::characters(paragraphText);
    const int length = static_cast<int>(characters.size());
    const size_t count = std::min(timestamps.size(), wordPositions.size());

    std::vector<SubHighlightUnit> units;
    bool runOpen = false;
    double runStart = 0;
    int runLower = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!wordPositions[i])
            continue;
        const CharRange& position = *wordPositions[i];
        if (!runOpen) {
            runOpen = true;
            runStart = timestamps[i].start;
            runLower = position.lower;
        }

        bool ends = i + 1 == timestamps.size();
        if (!ends) {
            const std::vector<std::string> word = Text::characters(timestamps[i].word);
            ends = !word.empty() && (isIn(sentenceEnders, word.back()) || CharacterMatching::isLineFeed(word.back()));
        }
        if (!ends) {
            size_t next = i + 1;
            while (next < count && !wordPositions[next])
                ++next;
            if (next < count) {
                const int from = std::clamp(position.upper, 0, length);
                const int to = std::clamp(wordPositions[next]->lower, 0, length);
                for (int k = from; k < to && !ends; ++k)
                    ends = CharacterMatching::isLineFeed(characters[static_cast<size_t>(k)]);
            }
        }
        if (!ends)
            continue;

        runOpen = false;
        if (runLower >= position.upper)
            continue;
        const CharRange clamped = clampUnitRange({ runLower, position.upper }, characters);
        if (!clamped.isEmpty())
            units.push_back({ clamped, runStart, timestamps[i].end });
    }
    return units;
}

std::vector<SubHighlightUnit> buildSentenceUnitsWithoutTimestamps(std::string_view processedText, int textOffset,
                                                                  std::string_view paragraphText, double segmentDuration)
{
    if (processedText.empty())
        return {};
    const std::vector<std::string> pieces = splitByPunctuation(processedText);
    std::vector<int> lengths;
    int total = 0;
    for (const std::string& piece : pieces) {
        lengths.push_back(static_cast<int>(Text::characterCount(piece)));
        total += lengths.back();
    }
    if (total < 1)
        return {};
    const double duration = std::isfinite(segmentDuration) && segmentDuration > 0 ? segmentDuration : total * 0.2;

    LocatorText paragraph(paragraphText);
    std::vector<SubHighlightUnit> units;
    int before = 0;
    int searchOffset = textOffset;
    for (size_t k = 0; k < pieces.size(); ++k) {
        const int n = lengths[k];
        const double start = duration * before / total;
        const double end = k + 1 == pieces.size() ? std::numeric_limits<double>::infinity() : duration * (before + n) / total;
        if (auto unit = locateUnit(pieces[k], searchOffset, paragraph, start, end))
            units.push_back(*unit);
        before += n;
        searchOffset += n;
    }
    return units;
}

std::vector<std::string> splitByPunctuation(std::string_view text)
{
    std::vector<std::string> pieces;
    std::string piece;
    for (const std::string& character : Text::characters(text)) {
        piece += character;
        if (isIn(segmentSentenceEnders, character)) {
            if (!Text::trimmingWhitespaces(piece).empty())
                pieces.push_back(piece);
            piece.clear();
        }
    }
    if (!Text::trimmingWhitespaces(piece).empty())
        pieces.push_back(piece);
    if (pieces.empty())
        pieces.emplace_back(text);
    return pieces;
}

Playback Playback::of(const AudioSegment& segment, double currentTime, double duration)
{
    Playback playback;
    playback.segment.paragraphIndex = segment.paragraphIndex;
    playback.segment.timestamps = segment.timestamps;
    playback.segment.processedText = segment.processedText;
    playback.segment.textOffsetInParagraph = segment.textOffsetInParagraph;
    playback.segment.generation = segment.generation;
    playback.currentTime = currentTime;
    playback.duration = duration;
    return playback;
}

std::string segmentKey(const AudioSegment& segment)
{
    return std::to_string(segment.paragraphIndex) + ":" + std::to_string(segment.textOffsetInParagraph) + ":"
        + Text::characterPrefix(segment.processedText, 20);
}

std::vector<SubHighlightUnit> unitsForSegment(const AudioSegment& segment, std::string_view paragraphText, double duration)
{
    if (segment.timestamps.empty())
        return buildSentenceUnitsWithoutTimestamps(segment.processedText, segment.textOffsetInParagraph, paragraphText, duration);

    const auto positions = matchWordsToText(segment.timestamps, segment.textOffsetInParagraph, paragraphText);
    if (isChinese(segment.processedText))
        return buildSentenceUnits(segment.timestamps, positions, paragraphText);

    const auto matched = std::count_if(positions.begin(), positions.end(), [](const auto& p) { return p.has_value(); });
    const auto total = std::max<size_t>(segment.timestamps.size(), 1);
    const double rate = static_cast<double>(matched) / static_cast<double>(total);
    if (rate >= 0.3)
        return buildWordUnits(segment.timestamps, positions);

    Log::line("[SubHL] word match rate " + Format::fixed(rate * 100, 0) + "% (" + std::to_string(matched) + "/"
              + std::to_string(segment.timestamps.size()) + ") → fallback to sentence units");
    return buildSentenceUnitsWithoutTimestamps(segment.processedText, segment.textOffsetInParagraph, paragraphText, duration);
}

std::optional<size_t> currentUnitIndex(const std::vector<SubHighlightUnit>& units, double time)
{
    std::optional<size_t> current;
    for (size_t i = 0; i < units.size(); ++i) {
        if (units[i].startTime <= time)
            current = i;
    }
    return current;
}

TickOutcome tick(SubHighlightState& state, const std::optional<Playback>& playback,
                 const std::vector<ArticleParagraph>& paragraphs)
{
    TickOutcome outcome;
    if (!playback)
        return outcome;
    const AudioSegment& segment = playback->segment;

    std::string key = segmentKey(segment);
    if (key != state.lastSubSegmentKey || segment.generation != state.lastSubSegmentGeneration) {
        state.lastSubSegmentKey = std::move(key);
        state.lastSubSegmentGeneration = segment.generation;
        state.subRectCache.clear();
        ++state.unitsGeneration;

        const int index = segment.paragraphIndex;
        const bool inList = index >= 0 && static_cast<size_t>(index) < paragraphs.size();
        const ArticleParagraph* paragraph = inList ? &paragraphs[static_cast<size_t>(index)] : nullptr;
        const std::string_view paragraphText = paragraph ? std::string_view(paragraph->text) : std::string_view();
        const bool ocr = paragraph && paragraph->ocrWordBboxes && !paragraph->ocrWordBboxes->empty();
        Log::line("[SubHL] segment switch: para[" + std::to_string(index) + "] offset="
                  + std::to_string(segment.textOffsetInParagraph) + " ts=" + std::to_string(segment.timestamps.size())
                  + " dur=" + Format::fixed(playback->duration, 2) + "s ocr=" + (ocr ? "true" : "false") + " processed=\""
                  + Text::characterPrefix(segment.processedText, 30) + "\"");

        state.currentSubUnits = unitsForSegment(segment, paragraphText, playback->duration);

        SubRectPrecomputation::Request request;
        request.paraIdx = index;
        if (paragraph)
            request.paragraph = *paragraph;
        request.units = state.currentSubUnits;
        request.generation = state.unitsGeneration;
        outcome.precomputation = std::move(request);
    }

    if (auto current = currentUnitIndex(state.currentSubUnits, playback->currentTime)) {
        auto found = state.subRectCache.find(static_cast<int>(*current));
        if (found != state.subRectCache.end())
            outcome.rects = found->second;
    }
    return outcome;
}

bool acceptPublication(SubHighlightState& state, SubRectPrecomputation::Publication publication)
{
    if (publication.generation != state.unitsGeneration)
        return false;
    state.subRectCache = std::move(publication.table);
    return true;
}

} // namespace lorvantine::SubHighlightMapper
