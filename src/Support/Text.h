#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// Text is held as UTF-8 `std::string`. Three units are used and never mixed silently:
// - Characters: extended grapheme clusters (paragraph offsets, highlight units, prefixes);
// - UTF-16 code units: every accessibility range;
// - Unicode scalars: language detection.
// Invalid UTF-8 is decoded with U+FFFD for each bad sequence (maximal ill-formed subpart), and
// pieces cut from a text come back as well-formed UTF-8; no function here throws. Thread-safe.
namespace Text {

// --- Counting and slicing by Characters ---
size_t characterCount(std::string_view text);
std::vector<std::string> characters(std::string_view text);
// The first `count` Characters (all of them when there are fewer).
std::string characterPrefix(std::string_view text, size_t count);
// Characters [start, start + length), clamped to the text.
std::string characterSubstring(std::string_view text, size_t start, size_t length);
// Byte offset in `text` where Character `characterOffset` begins (text.size() past the end).
size_t byteOffsetOfCharacter(std::string_view text, size_t characterOffset);

// --- UTF-16 ---
size_t utf16Count(std::string_view text);
std::u16string toUtf16(std::string_view text);
std::string fromUtf16(std::u16string_view text);
// UTF-16 units [location, location + length), clamped; a half of a surrogate pair at either end is dropped.
std::string utf16Substring(std::string_view text, size_t location, size_t length);

// --- Conversions between units (offsets past the end clamp to the end) ---
size_t utf16OffsetFromCharacterOffset(std::string_view text, size_t characterOffset);
// An offset inside a Character maps to that Character's start.
size_t characterOffsetFromUtf16Offset(std::string_view text, size_t utf16Offset);
size_t byteOffsetFromUtf16Offset(std::string_view text, size_t utf16Offset);
size_t utf16OffsetFromByteOffset(std::string_view text, size_t byteOffset);

// --- Scalars ---
std::u32string scalars(std::string_view text);
std::string fromScalars(std::u32string_view scalars);
bool isValidUtf8(std::string_view text);
// Where the first byte that is not part of well-formed UTF-8 lies; none for valid text.
std::optional<size_t> firstInvalidUtf8Byte(std::string_view text);

// --- Character properties, with Swift's meanings ---
// Unicode White_Space (Swift's Character.isWhitespace; includes newlines).
bool isWhitespace(char32_t scalar);
// Swift's Character.isNewline: LF, VT, FF, CR, NEL, LINE SEPARATOR, PARAGRAPH SEPARATOR.
bool isNewline(char32_t scalar);
// A Character is whitespace / a newline when its first scalar is (CR LF is one newline Character).
bool isWhitespaceCharacter(std::string_view character);
bool isNewlineCharacter(std::string_view character);
// Swift's Character.isNumber: numeric type decimal, digit or numeric ("7", "½", "Ⅻ", and "七" through its Unihan value).
bool isNumberCharacter(std::string_view character);

// --- Trimming, as Foundation's trimmingCharacters(in:) ---
// CharacterSet.whitespaces: Unicode general category Zs plus tab.
std::string trimmingWhitespaces(std::string_view text);
// CharacterSet.whitespacesAndNewlines: Zs, tab, and U+000A–U+000D, U+0085, U+2028, U+2029.
std::string trimmingWhitespacesAndNewlines(std::string_view text);
bool isBlank(std::string_view text); // empty after trimmingWhitespacesAndNewlines

// Splits on runs of whitespace-and-newline scalars, dropping empty pieces.
std::vector<std::string> splitOnWhitespace(std::string_view text);
// Splits on each occurrence of `separator`, keeping empty pieces (like Swift's components(separatedBy:)).
std::vector<std::string> components(std::string_view text, std::string_view separator);
std::string joined(const std::vector<std::string>& pieces, std::string_view separator);

// Byte-wise comparisons.
bool hasPrefix(std::string_view text, std::string_view prefix);
bool hasSuffix(std::string_view text, std::string_view suffix);
bool contains(std::string_view text, std::string_view needle);
// ASCII-only case folding; used for identifiers and protocol tokens, never for user text.
std::string asciiLowercased(std::string_view text);
// Full Unicode lower-case mapping, independent of the locale (Swift's String.lowercased():
// "Ä" → "ä", "İ" → "i̇", "ΑΣ" → "ασ").
std::string lowercased(std::string_view text);
// Full Unicode upper-case mapping, independent of the locale (Swift's String.uppercased():
// "ß" → "SS", "ſ" → "S").
std::string uppercased(std::string_view text);

// A whole decimal integer as Swift's Int(String) reads one: an optional "+" or "-", then ASCII
// digits only, within the 64-bit range. No blanks, no empty digits.
std::optional<int64_t> integerValue(std::string_view text);

} // namespace Text
} // namespace lorvantine
