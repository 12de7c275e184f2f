#include "Core/CharacterMatching.h"

#include "Support/Text.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace lorvantine::CharacterMatching {

namespace {

bool isAscii(std::string_view character)
{
    return character.size() == 1 && static_cast<unsigned char>(character[0]) < 0x80;
}

std::string nfc(const icu::UnicodeString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    std::string out;
    if (U_FAILURE(status)) {
        text.toUTF8String(out);
        return out;
    }
    icu::UnicodeString normalized = normalizer->normalize(text, status);
    if (U_FAILURE(status))
        normalized = text;
    normalized.toUTF8String(out);
    return out;
}

icu::UnicodeString unicode(std::string_view character)
{
    return icu::UnicodeString::fromUTF8(icu::StringPiece(character.data(), static_cast<int32_t>(character.size())));
}

} // namespace

std::string canonicalKey(std::string_view character)
{
    if (isAscii(character))
        return std::string(character);
    return nfc(unicode(character));
}

std::string caseFoldedKey(std::string_view character)
{
    if (isAscii(character)) {
        char c = character[0];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        return std::string(1, c);
    }
    return nfc(unicode(character).foldCase());
}

std::vector<std::string> canonicalKeys(const std::vector<std::string>& characters)
{
    std::vector<std::string> keys;
    keys.reserve(characters.size());
    for (const std::string& character : characters)
        keys.push_back(canonicalKey(character));
    return keys;
}

std::vector<std::string> caseFoldedKeys(const std::vector<std::string>& characters)
{
    std::vector<std::string> keys;
    keys.reserve(characters.size());
    for (const std::string& character : characters)
        keys.push_back(caseFoldedKey(character));
    return keys;
}

bool isPunctuation(std::string_view character)
{
    if (character.empty())
        return false;
    if (isAscii(character))
        return u_ispunct(static_cast<UChar32>(character[0]));
    std::u32string scalars = Text::scalars(character);
    return !scalars.empty() && u_ispunct(static_cast<UChar32>(scalars.front()));
}

bool isLineFeed(std::string_view character)
{
    return character == "\n" || character == "\r\n";
}

std::ptrdiff_t find(const std::vector<std::string>& haystack, const std::vector<std::string>& needle, size_t from)
{
    if (needle.empty() || needle.size() > haystack.size())
        return -1;
    for (size_t at = from; at + needle.size() <= haystack.size(); ++at) {
        size_t k = 0;
        while (k < needle.size() && haystack[at + k] == needle[k])
            ++k;
        if (k == needle.size())
            return static_cast<std::ptrdiff_t>(at);
    }
    return -1;
}

} // namespace lorvantine::CharacterMatching
