#include "Support/Text.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include <unicode/ubrk.h>
#include <unicode/uchar.h>

namespace lorvantine {
namespace Text {

namespace {

constexpr char32_t replacementCharacter = 0xFFFD;

struct Decoded {
    char32_t scalar;
    size_t length; // bytes consumed, at least 1
    bool valid = true;
};

// Decodes the sequence at `index`, replacing each maximal ill-formed subpart with U+FFFD
// (the policy Unicode recommends and ICU follows), so every consumer sees the same scalars.
inline Decoded decodeAt(std::string_view text, size_t index)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    const unsigned char lead = bytes[index];
    if (lead < 0x80)
        return {lead, 1};

    size_t needed;
    char32_t scalar;
    unsigned char lowest = 0x80;
    unsigned char highest = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
        scalar = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        scalar = lead & 0x0F;
        if (lead == 0xE0)
            lowest = 0xA0;
        else if (lead == 0xED)
            highest = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        scalar = lead & 0x07;
        if (lead == 0xF0)
            lowest = 0x90;
        else if (lead == 0xF4)
            highest = 0x8F;
    } else {
        return {replacementCharacter, 1, false};
    }

    size_t length = 1;
    for (size_t i = 0; i < needed; ++i) {
        if (index + length >= size)
            return {replacementCharacter, length, false};
        const unsigned char next = bytes[index + length];
        if (next < lowest || next > highest)
            return {replacementCharacter, length, false};
        lowest = 0x80;
        highest = 0xBF;
        scalar = (scalar << 6) | (next & 0x3F);
        ++length;
    }
    return {scalar, length};
}

inline size_t utf16Length(char32_t scalar)
{
    return scalar >= 0x10000 ? 2 : 1;
}

void appendUtf8(std::string& out, char32_t scalar)
{
    if (scalar > 0x10FFFF || (scalar >= 0xD800 && scalar <= 0xDFFF))
        scalar = replacementCharacter;
    if (scalar < 0x80) {
        out.push_back(static_cast<char>(scalar));
    } else if (scalar < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (scalar >> 6)));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    } else if (scalar < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (scalar >> 12)));
        out.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (scalar >> 18)));
        out.push_back(static_cast<char>(0x80 | ((scalar >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    }
}

void appendUtf16(std::u16string& out, char32_t scalar)
{
    if (scalar >= 0x10000) {
        scalar -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (scalar >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (scalar & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(scalar));
    }
}

// Strings handed out are always well-formed UTF-8, whatever came in.
std::string sanitized(std::string_view text)
{
    if (isValidUtf8(text))
        return std::string(text);
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size();) {
        Decoded decoded = decodeAt(text, i);
        appendUtf8(out, decoded.scalar);
        i += decoded.length;
    }
    return out;
}

inline bool isAscii(char byte)
{
    return static_cast<unsigned char>(byte) < 0x80;
}
// ICU's character break iterator, one per thread (opening one costs far more than a use).
struct Segmenter {
    UBreakIterator* iterator = nullptr;
    std::u16string units;
    std::vector<size_t> byteOffsets; // byte offset of each UTF-16 unit, plus the end

    Segmenter()
    {
        UErrorCode status = U_ZERO_ERROR;
        iterator = ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status);
        if (U_FAILURE(status))
            iterator = nullptr;
    }
    ~Segmenter()
    {
        if (iterator)
            ubrk_close(iterator);
    }
    Segmenter(const Segmenter&) = delete;
    Segmenter& operator=(const Segmenter&) = delete;
};

Segmenter& segmenter()
{
    thread_local Segmenter instance;
    return instance;
}

constexpr size_t initialWindowBytes = 4096;
constexpr size_t maximalWindowBytes = size_t{1} << 28;

// Scalars of grapheme break class Other (or ASCII), common in prose: ASCII, Latin, Greek,
// Cyrillic, general punctuation, kana, CJK ideographs, fullwidth forms and most emoji (skin tone
// modifiers excluded). Nothing attaches to them from the left and they attach to nothing on their
// right except marks and joiners.
inline bool isSimpleScalar(char32_t c)
{
    if (c < 0x80)
        return true;
    if (c < 0x3000) {
        return (c >= 0xA0 && c <= 0x2FF && c != 0xAD) || (c >= 0x370 && c <= 0x482) || (c >= 0x48A && c <= 0x52F)
            || (c >= 0x2000 && c <= 0x200A) || (c >= 0x2010 && c <= 0x2027) || (c >= 0x2030 && c <= 0x205E);
    }
    if (c <= 0x303F)
        return c <= 0x3029 || c >= 0x3030;
    if (c < 0x10000) {
        return (c >= 0x3041 && c <= 0x3096) || (c >= 0x30A1 && c <= 0x30FA) || (c >= 0x3400 && c <= 0x4DBF)
            || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xFF01 && c <= 0xFF5E);
    }
    return (c >= 0x1F300 && c <= 0x1F3FA) || (c >= 0x1F400 && c <= 0x1F64F) || (c >= 0x1F680 && c <= 0x1F6FF)
        || (c >= 0x1F900 && c <= 0x1F9FF);
}

// True when there is a Character boundary between `before` and `after` whatever surrounds them.
inline bool isCertainBoundary(char32_t before, char32_t after)
{
    if (before == '\r')
        return after != '\n';
    // Controls break on both sides.
    if (before < 0x20 || before == 0x7F || after < 0x20 || after == 0x7F)
        return true;
    return isSimpleScalar(before) && isSimpleScalar(after);
}

inline Decoded decodeFast(std::string_view text, size_t index)
{
    const unsigned char byte = static_cast<unsigned char>(text[index]);
    if (byte < 0x80)
        return {byte, 1};
    return decodeAt(text, index);
}

// Segments [start, end), which begins and ends at Character boundaries, with ICU.
// Every boundary ICU reports before a window's end is final, since a boundary depends only on what
// precedes it and the one scalar after it; the window's last Character is segmented again with the
// next window.
template<typename Visit>
bool segmentWithIcu(std::string_view text, size_t start, const size_t end, Visit& visit)
{
    Segmenter& state = segmenter();
    while (start < end) {
        size_t window = initialWindowBytes;
        for (;;) {
            auto& units = state.units;
            auto& offsets = state.byteOffsets;
            units.clear();
            offsets.clear();
            size_t position = start;
            while (position < end && position - start < window) {
                Decoded decoded = decodeAt(text, position);
                offsets.push_back(position);
                if (decoded.scalar >= 0x10000)
                    offsets.push_back(position);
                appendUtf16(units, decoded.scalar);
                position += decoded.length;
            }
            offsets.push_back(position);
            const size_t windowEnd = position;
            const bool lastWindow = windowEnd == end || window >= maximalWindowBytes;

            UErrorCode status = U_ZERO_ERROR;
            if (state.iterator)
                ubrk_setText(state.iterator, units.data(), static_cast<int32_t>(units.size()), &status);
            if (!state.iterator || U_FAILURE(status)) {
                // Without ICU each scalar stands alone; better than losing the text.
                for (size_t unit = 0; unit < units.size();) {
                    size_t next = unit + (offsets[unit + 1] == offsets[unit] ? 2 : 1);
                    if (!visit(offsets[unit], offsets[next]))
                        return false;
                    unit = next;
                }
                start = windowEnd;
                break;
            }

            int32_t previous = ubrk_first(state.iterator);
            size_t lastStart = start;
            bool emitted = false;
            for (int32_t boundary = ubrk_next(state.iterator); boundary != UBRK_DONE; boundary = ubrk_next(state.iterator)) {
                const size_t from = offsets[static_cast<size_t>(previous)];
                const size_t to = offsets[static_cast<size_t>(boundary)];
                if (to == windowEnd && !lastWindow) {
                    lastStart = from;
                    break;
                }
                if (!visit(from, to))
                    return false;
                emitted = true;
                previous = boundary;
            }
            if (lastWindow) {
                start = windowEnd;
                break;
            }
            if (emitted) {
                start = lastStart;
                break;
            }
            window *= 2;
        }
    }
    return true;
}

// Calls `visit(start, end)` with the byte range of each Character in order until it returns false.
// Returns false when stopped early. Where the boundary between two scalars is certain, Characters
// are cut directly; only the stretches between such boundaries go through ICU.
template<typename Visit>
bool forEachCharacter(std::string_view text, Visit&& visit)
{
    const size_t size = text.size();
    size_t index = 0;
    if (size == 0)
        return true;
    Decoded current = decodeFast(text, 0);
    while (index < size) {
        const size_t next = index + current.length;
        if (next == size)
            return visit(index, next);
        const Decoded following = decodeFast(text, next);
        if (isCertainBoundary(current.scalar, following.scalar)) {
            if (!visit(index, next))
                return false;
            index = next;
            current = following;
            continue;
        }
        if (current.scalar == '\r' && following.scalar == '\n') {
            if (!visit(index, next + 1))
                return false;
            index = next + 1;
            if (index < size)
                current = decodeFast(text, index);
            continue;
        }

        size_t stretchEnd = next;
        char32_t before = current.scalar;
        Decoded after = following;
        for (;;) {
            if (isCertainBoundary(before, after.scalar))
                break;
            before = after.scalar;
            stretchEnd += after.length;
            if (stretchEnd == size)
                break;
            after = decodeFast(text, stretchEnd);
        }
        if (!segmentWithIcu(text, index, stretchEnd, visit))
            return false;
        index = stretchEnd;
        current = after;
    }
    return true;
}

// Byte range [start, end) of Characters [first, first + count), both clamped to the text.
std::pair<size_t, size_t> characterByteRange(std::string_view text, size_t first, size_t count)
{
    const size_t last = count > SIZE_MAX - first ? SIZE_MAX : first + count;
    size_t start = first == 0 ? 0 : text.size();
    size_t end = last == 0 ? 0 : text.size();
    if (last > 0) {
        size_t index = 0;
        forEachCharacter(text, [&](size_t, size_t to) {
            ++index;
            if (index == first)
                start = to;
            if (index == last) {
                end = to;
                return false;
            }
            return true;
        });
    }
    return {start, end};
}

bool isInWhitespaces(char32_t scalar)
{
    return scalar == '\t' || u_charType(static_cast<UChar32>(scalar)) == U_SPACE_SEPARATOR;
}

bool isInWhitespacesAndNewlines(char32_t scalar)
{
    return isNewline(scalar) || isInWhitespaces(scalar);
}

template<typename Predicate>
std::string trimming(std::string_view text, Predicate&& isTrimmed)
{
    size_t first = text.size();
    size_t end = 0;
    for (size_t i = 0; i < text.size();) {
        Decoded decoded = decodeAt(text, i);
        if (!isTrimmed(decoded.scalar)) {
            if (first == text.size())
                first = i;
            end = i + decoded.length;
        }
        i += decoded.length;
    }
    if (first >= end)
        return {};
    return sanitized(text.substr(first, end - first));
}

char32_t firstScalar(std::string_view character, bool& exists)
{
    exists = !character.empty();
    return exists ? decodeAt(character, 0).scalar : 0;
}

} // namespace

// --- Counting and slicing by Characters ---

size_t characterCount(std::string_view text)
{
    size_t count = 0;
    forEachCharacter(text, [&](size_t, size_t) {
        ++count;
        return true;
    });
    return count;
}

std::vector<std::string> characters(std::string_view text)
{
    std::vector<std::string> result;
    forEachCharacter(text, [&](size_t from, size_t to) {
        result.push_back(sanitized(text.substr(from, to - from)));
        return true;
    });
    return result;
}

std::string characterPrefix(std::string_view text, size_t count)
{
    auto [start, end] = characterByteRange(text, 0, count);
    return sanitized(text.substr(start, end - start));
}

std::string characterSubstring(std::string_view text, size_t start, size_t length)
{
    auto [from, to] = characterByteRange(text, start, length);
    return sanitized(text.substr(from, to - from));
}

size_t byteOffsetOfCharacter(std::string_view text, size_t characterOffset)
{
    return characterByteRange(text, characterOffset, 0).first;
}

// --- UTF-16 ---

size_t utf16Count(std::string_view text)
{
    return utf16OffsetFromByteOffset(text, text.size());
}

std::u16string toUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        Decoded decoded = decodeAt(text, i);
        appendUtf16(out, decoded.scalar);
        i += decoded.length;
    }
    return out;
}

std::string fromUtf16(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            appendUtf8(out, unit); // a lone surrogate becomes U+FFFD
        }
    }
    return out;
}

std::string utf16Substring(std::string_view text, size_t location, size_t length)
{
    const size_t end = length > SIZE_MAX - location ? SIZE_MAX : location + length;
    size_t unit = 0;
    size_t fromByte = text.size();
    size_t toByte = text.size();
    bool started = false;
    for (size_t i = 0; i < text.size();) {
        Decoded decoded = decodeAt(text, i);
        const size_t unitEnd = unit + utf16Length(decoded.scalar);
        if (!started && unit >= location) {
            fromByte = i;
            started = true;
        }
        if (unitEnd > end) {
            toByte = i;
            break;
        }
        unit = unitEnd;
        i += decoded.length;
    }
    if (!started || toByte <= fromByte)
        return {};
    return sanitized(text.substr(fromByte, toByte - fromByte));
}

// --- Conversions between units ---

size_t utf16OffsetFromCharacterOffset(std::string_view text, size_t characterOffset)
{
    return utf16OffsetFromByteOffset(text, byteOffsetOfCharacter(text, characterOffset));
}

size_t characterOffsetFromUtf16Offset(std::string_view text, size_t utf16Offset)
{
    const size_t byteOffset = byteOffsetFromUtf16Offset(text, utf16Offset);
    size_t index = 0;
    forEachCharacter(text, [&](size_t, size_t to) {
        if (to > byteOffset)
            return false;
        ++index;
        return true;
    });
    return index;
}

size_t byteOffsetFromUtf16Offset(std::string_view text, size_t utf16Offset)
{
    size_t unit = 0;
    for (size_t i = 0; i < text.size();) {
        if (unit >= utf16Offset)
            return i;
        Decoded decoded = decodeAt(text, i);
        unit += utf16Length(decoded.scalar);
        if (unit > utf16Offset)
            return i; // inside a surrogate pair: the scalar's start
        i += decoded.length;
    }
    return text.size();
}

size_t utf16OffsetFromByteOffset(std::string_view text, size_t byteOffset)
{
    size_t unit = 0;
    for (size_t i = 0; i < text.size();) {
        if (isAscii(text[i])) {
            if (i + 1 > byteOffset)
                break;
            ++unit;
            ++i;
            continue;
        }
        Decoded decoded = decodeAt(text, i);
        if (i + decoded.length > byteOffset)
            break;
        unit += utf16Length(decoded.scalar);
        i += decoded.length;
    }
    return unit;
}

// --- Scalars ---

std::u32string scalars(std::string_view text)
{
    std::u32string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        Decoded decoded = decodeAt(text, i);
        out.push_back(decoded.scalar);
        i += decoded.length;
    }
    return out;
}

std::string fromScalars(std::u32string_view values)
{
    std::string out;
    out.reserve(values.size());
    for (char32_t scalar : values)
        appendUtf8(out, scalar);
    return out;
}

bool isValidUtf8(std::string_view text)
{
    return !firstInvalidUtf8Byte(text);
}

std::optional<size_t> firstInvalidUtf8Byte(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        if (isAscii(text[i])) {
            ++i;
            continue;
        }
        Decoded decoded = decodeAt(text, i);
        if (!decoded.valid)
            return i;
        i += decoded.length;
    }
    return std::nullopt;
}

// --- Character properties ---

bool isWhitespace(char32_t scalar)
{
    return u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_WHITE_SPACE);
}

bool isNewline(char32_t scalar)
{
    return (scalar >= 0x0A && scalar <= 0x0D) || scalar == 0x85 || scalar == 0x2028 || scalar == 0x2029;
}

bool isWhitespaceCharacter(std::string_view character)
{
    bool exists;
    char32_t scalar = firstScalar(character, exists);
    return exists && isWhitespace(scalar);
}

bool isNewlineCharacter(std::string_view character)
{
    bool exists;
    char32_t scalar = firstScalar(character, exists);
    return exists && isNewline(scalar);
}

bool isNumberCharacter(std::string_view character)
{
    bool exists;
    char32_t scalar = firstScalar(character, exists);
    return exists && u_getIntPropertyValue(static_cast<UChar32>(scalar), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

// --- Trimming ---

std::string trimmingWhitespaces(std::string_view text)
{
    return trimming(text, isInWhitespaces);
}

std::string trimmingWhitespacesAndNewlines(std::string_view text)
{
    return trimming(text, isInWhitespacesAndNewlines);
}

bool isBlank(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        Decoded decoded = decodeAt(text, i);
        if (!isInWhitespacesAndNewlines(decoded.scalar))
            return false;
        i += decoded.length;
    }
    return true;
}

std::vector<std::string> splitOnWhitespace(std::string_view text)
{
    std::vector<std::string> pieces;
    size_t pieceStart = 0;
    bool inPiece = false;
    for (size_t i = 0; i < text.size();) {
        Decoded decoded = decodeAt(text, i);
        if (isInWhitespacesAndNewlines(decoded.scalar)) {
            if (inPiece)
                pieces.push_back(sanitized(text.substr(pieceStart, i - pieceStart)));
            inPiece = false;
        } else if (!inPiece) {
            pieceStart = i;
            inPiece = true;
        }
        i += decoded.length;
    }
    if (inPiece)
        pieces.push_back(sanitized(text.substr(pieceStart)));
    return pieces;
}

std::vector<std::string> components(std::string_view text, std::string_view separator)
{
    if (separator.empty())
        return {sanitized(text)};
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;) {
        size_t found = text.find(separator, start);
        if (found == std::string_view::npos) {
            pieces.push_back(sanitized(text.substr(start)));
            return pieces;
        }
        pieces.push_back(sanitized(text.substr(start, found - start)));
        start = found + separator.size();
    }
}

std::string joined(const std::vector<std::string>& pieces, std::string_view separator)
{
    std::string out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            out.append(separator);
        out.append(pieces[i]);
    }
    return out;
}

bool hasPrefix(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool hasSuffix(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool contains(std::string_view text, std::string_view needle)
{
    return text.find(needle) != std::string_view::npos;
}

std::string asciiLowercased(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

} // namespace Text
} // namespace lorvantine
