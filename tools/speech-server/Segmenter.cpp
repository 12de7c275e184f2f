#include "Segmenter.h"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace lorvantine::speechserver::Segmenter {

namespace {

// Byte offsets of every Character boundary, 0 and text.size() included.
std::vector<std::size_t> characterBoundaries(std::string_view text)
{
    std::vector<std::size_t> offsets{0};
    if (text.empty())
        return offsets;
    UErrorCode status = U_ZERO_ERROR;
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    UBreakIterator* iterator = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
    if (U_SUCCESS(status))
        ubrk_setUText(iterator, utext, &status);
    if (U_SUCCESS(status)) {
        for (int32_t at = ubrk_next(iterator); at != UBRK_DONE; at = ubrk_next(iterator))
            offsets.push_back(static_cast<std::size_t>(at));
    } else {
        // Without ICU's break data, code points are the safest unit left.
        offsets.clear();
        offsets.push_back(0);
        int32_t at = 0;
        auto length = static_cast<int32_t>(text.size());
        while (at < length) {
            UChar32 c;
            U8_NEXT(text.data(), at, length, c);
            offsets.push_back(static_cast<std::size_t>(at));
        }
    }
    ubrk_close(iterator);
    utext_close(utext);
    if (offsets.back() != text.size())
        offsets.push_back(text.size());
    return offsets;
}

UChar32 firstCodePoint(std::string_view text, std::size_t offset)
{
    auto at = static_cast<int32_t>(offset);
    UChar32 c;
    U8_NEXT(text.data(), at, static_cast<int32_t>(text.size()), c);
    return c;
}

bool isSpace(UChar32 c) { return c >= 0 && u_hasBinaryProperty(c, UCHAR_WHITE_SPACE); }

bool isWideTerminator(UChar32 c) { return c == U'。' || c == U'！' || c == U'？' || c == U'｡'; }

bool isTerminator(UChar32 c) { return c == '.' || c == '!' || c == '?' || isWideTerminator(c); }

bool isClosing(UChar32 c)
{
    if (c == '"' || c == '\'')
        return true;
    auto type = u_charType(c);
    return type == U_END_PUNCTUATION || type == U_FINAL_PUNCTUATION;
}

bool isSoftBreak(UChar32 c)
{
    return c == ',' || c == ';' || c == ':' || c == U'，' || c == U'、' || c == U'；' || c == U'：';
}

Split cutAt(std::string_view text, std::size_t offset)
{
    return {std::string(text.substr(0, offset)), std::string(text.substr(offset))};
}

}

Split splitPrefix(std::string_view text, std::size_t maxCharacters)
{
    if (maxCharacters == 0)
        maxCharacters = 1;
    auto bounds = characterBoundaries(text);
    std::size_t count = bounds.size() - 1;
    auto first = [&](std::size_t index) { return firstCodePoint(text, bounds[index]); };

    std::size_t index = 0;
    while (index < count && isSpace(first(index)))
        ++index;
    std::size_t start = bounds[index];

    std::size_t counted = 0;
    std::size_t lastBreak = 0;
    bool previousWasSpace = false;
    for (; index < count; ++index) {
        UChar32 c = first(index);
        if (isTerminator(c)) {
            bool wide = isWideTerminator(c);
            std::size_t next = index + 1;
            while (next < count && (isTerminator(first(next)) || isClosing(first(next)))) {
                wide = wide || isWideTerminator(first(next));
                ++next;
            }
            // A full stop inside "3.5" or "example.com" does not end a sentence.
            if (wide || next == count || isSpace(first(next)))
                return cutAt(text, bounds[next]);
        }
        ++counted;
        bool space = isSpace(c);
        if (space && !previousWasSpace)
            lastBreak = bounds[index];
        else if (isSoftBreak(c))
            lastBreak = bounds[index + 1];
        previousWasSpace = space;
        if (counted >= maxCharacters) {
            if (index + 1 == count || isSpace(first(index + 1)))
                return cutAt(text, bounds[index + 1]);
            if (lastBreak > start)
                return cutAt(text, lastBreak);
            return cutAt(text, bounds[index + 1]);
        }
    }
    return {std::string(text), std::string()};
}

std::string trim(std::string_view text)
{
    auto length = static_cast<int32_t>(text.size());
    int32_t begin = 0;
    while (begin < length) {
        int32_t at = begin;
        UChar32 c;
        U8_NEXT(text.data(), at, length, c);
        if (!isSpace(c))
            break;
        begin = at;
    }
    int32_t end = length;
    while (end > begin) {
        int32_t at = end;
        UChar32 c;
        U8_PREV(text.data(), begin, at, c);
        if (!isSpace(c))
            break;
        end = at;
    }
    return std::string(text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)));
}

std::vector<std::string> words(std::string_view text)
{
    std::vector<std::string> result;
    std::string current;
    std::size_t wordEnd = 0;  // current without its trailing punctuation
    auto flush = [&] {
        if (wordEnd > 0)
            result.push_back(current.substr(0, wordEnd));
        current.clear();
        wordEnd = 0;
    };
    auto bounds = characterBoundaries(text);
    for (std::size_t index = 0; index + 1 < bounds.size(); ++index) {
        auto cluster = text.substr(bounds[index], bounds[index + 1] - bounds[index]);
        UChar32 c = firstCodePoint(text, bounds[index]);
        if (isSpace(c)) {
            flush();
        } else if (u_hasBinaryProperty(c, UCHAR_IDEOGRAPHIC)) {
            flush();
            result.emplace_back(cluster);
        } else if (u_isalnum(c)) {
            current += cluster;
            wordEnd = current.size();
        } else if (wordEnd > 0) {
            current += cluster;
        }
    }
    flush();
    return result;
}

std::size_t characterCount(std::string_view text) { return characterBoundaries(text).size() - 1; }

}
