#include "Support/Text.h"

#include <gtest/gtest.h>
#include <random>
#include <unicode/brkiter.h>
#include <unicode/unistr.h>

namespace lorvantine {
namespace {

using Strings = std::vector<std::string>;

const std::string smile = "🙂";                                           // 1 scalar, 2 UTF-16 units
const std::string flag = "🇨🇳";                                             // 2 regional indicators
const std::string family = "👨\u200D👩\u200D👧";                            // 5 scalars, 8 units
const std::string eAcute = "e\u0301";                                      // combining mark
// Characters: A, 🙂, 中, é, CR LF, family, flag, z. UTF-16 starts: 0 1 3 4 6 8 16 20, end 21.
const std::string mixed = "A" + smile + "中" + eAcute + "\r\n" + family + flag + "z";

TEST(TextCharacters, CountsGraphemeClusters)
{
    EXPECT_EQ(Text::characterCount(""), 0u);
    EXPECT_EQ(Text::characterCount(flag + flag + "🇺"), 3u);
    EXPECT_EQ(Text::characterCount("\n\r"), 2u);
    EXPECT_EQ(Text::characterCount(mixed), 8u);
    EXPECT_EQ(Text::characters(mixed), (Strings{"A", smile, "中", eAcute, "\r\n", family, flag, "z"}));
}

TEST(TextCharacters, LongTextsAgreeWithTheirPieces)
{
    // Long non-ASCII stretches are segmented piecewise; clusters straddling the pieces must survive.
    std::string text;
    Strings expected;
    for (int i = 0; i < 3000; ++i) {
        for (const std::string& piece : {std::string("中"), family, eAcute, flag, std::string("é\r\n")}) {
            text += piece;
            expected.push_back(piece == "é\r\n" ? "é" : piece);
            if (piece == "é\r\n")
                expected.push_back("\r\n");
        }
    }
    EXPECT_EQ(Text::characters(text), expected);
    EXPECT_EQ(Text::characterCount(text), expected.size());

    std::string stacked = "a";
    for (int i = 0; i < 20000; ++i)
        stacked += "\u0301";
    EXPECT_EQ(Text::characterCount(stacked + "b" + stacked), 3u);
    EXPECT_EQ(Text::characterPrefix(stacked + "b" + stacked, 2), stacked + "b");

    std::string indicators;
    for (int i = 0; i < 4001; ++i)
        indicators += "🇨";
    EXPECT_EQ(Text::characterCount(indicators), 2001u);
    EXPECT_EQ(Text::characters(indicators).back(), "🇨");
}

// Character boundaries as UTF-16 offsets, from ICU over the whole text at once.
std::vector<size_t> referenceBoundaries(const std::string& text)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    icu::UnicodeString units = icu::UnicodeString::fromUTF8(text);
    iterator->setText(units);
    std::vector<size_t> boundaries;
    for (int32_t b = iterator->next(); b != icu::BreakIterator::DONE; b = iterator->next())
        boundaries.push_back(static_cast<size_t>(b));
    return boundaries;
}

TEST(TextCharacters, RandomTextsMatchWholeTextSegmentation)
{
    const std::vector<std::string> pieces = {"a", "b", "1", " ", "\r", "\n", "\r\n", "e", "\u0301", "\u200D", "🇨", "🇳",
                                             "👨", "🙂", "中", "\u1100", "\u1161", "\u11A8", "\uAC00", "\u0600",
                                             "\u0940", "\uFE0F", "\U0001F3FB", "\uFFFD", "é", "\u00AD", "\u302A", "\u3099",
                                             "\u0483", "—", "あ", "ア", "，", "а", "α", "\x01", "\t", "\u2028",
                                             "\u203C", "\u0915", "\u094D"};
    std::mt19937 random(20240607);
    for (int round = 0; round < 60; ++round) {
        std::string text;
        const int length = round < 50 ? 1 + static_cast<int>(random() % 40) : 3000 + static_cast<int>(random() % 3000);
        for (int i = 0; i < length; ++i)
            text += pieces[random() % pieces.size()];

        std::vector<size_t> boundaries;
        size_t units = 0;
        for (const std::string& character : Text::characters(text)) {
            units += Text::utf16Count(character);
            boundaries.push_back(units);
        }
        ASSERT_EQ(boundaries, referenceBoundaries(text)) << "round " << round;
        ASSERT_EQ(Text::characterCount(text), boundaries.size());
        for (size_t k = 0; k < boundaries.size(); k += 1 + boundaries.size() / 40)
            ASSERT_EQ(Text::utf16OffsetFromCharacterOffset(text, k + 1), boundaries[k]);
    }
}

TEST(TextCharacters, PrefixesAndSubstringsClamp)
{
    EXPECT_EQ(Text::characterPrefix(mixed, 3), "A" + smile + "中");
    EXPECT_EQ(Text::characterPrefix(mixed, 0), "");
    EXPECT_EQ(Text::characterPrefix(mixed, 100), mixed);
    EXPECT_EQ(Text::characterPrefix(family + "x", 1), family);
    EXPECT_EQ(Text::characterSubstring(mixed, 3, 2), eAcute + "\r\n");
    EXPECT_EQ(Text::characterSubstring(mixed, 6, 100), flag + "z");
    EXPECT_EQ(Text::characterSubstring(mixed, 8, 1), "");
    EXPECT_EQ(Text::characterSubstring(mixed, 50, 1), "");
    EXPECT_EQ(Text::characterSubstring(mixed, 7, SIZE_MAX), "z");
    EXPECT_EQ(Text::characterSubstring(mixed, SIZE_MAX, SIZE_MAX), "");

    EXPECT_EQ(Text::byteOffsetOfCharacter(mixed, 0), 0u);
    EXPECT_EQ(Text::byteOffsetOfCharacter(mixed, 2), 5u);
    EXPECT_EQ(Text::byteOffsetOfCharacter(mixed, 4), 11u);
    EXPECT_EQ(Text::byteOffsetOfCharacter(mixed, 8), mixed.size());
    EXPECT_EQ(Text::byteOffsetOfCharacter(mixed, 9), mixed.size());
}

TEST(TextUtf16, ConvertsBetweenCharactersAndUnits)
{
    EXPECT_EQ(Text::utf16Count(mixed), 21u);
    const size_t starts[] = {0, 1, 3, 4, 6, 8, 16, 20, 21, 21};
    for (size_t character = 0; character < std::size(starts); ++character)
        EXPECT_EQ(Text::utf16OffsetFromCharacterOffset(mixed, character), starts[character]) << character;

    // An offset inside a Character belongs to that Character.
    const std::pair<size_t, size_t> inside[] = {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {5, 3}, {7, 4},
                                                {9, 5}, {15, 5}, {16, 6}, {19, 6}, {20, 7}, {21, 8}, {99, 8}};
    for (auto [unit, character] : inside)
        EXPECT_EQ(Text::characterOffsetFromUtf16Offset(mixed, unit), character) << unit;
}

TEST(TextUtf16, ConvertsBetweenBytesAndUnits)
{
    const std::string text = "a" + smile + "中b";
    EXPECT_EQ(Text::byteOffsetFromUtf16Offset(text, 0), 0u);
    EXPECT_EQ(Text::byteOffsetFromUtf16Offset(text, 1), 1u);
    EXPECT_EQ(Text::byteOffsetFromUtf16Offset(text, 2), 1u); // between the halves: the scalar's start
    EXPECT_EQ(Text::byteOffsetFromUtf16Offset(text, 3), 5u);
    EXPECT_EQ(Text::byteOffsetFromUtf16Offset(text, 4), 8u);
    EXPECT_EQ(Text::byteOffsetFromUtf16Offset(text, 5), 9u);
    EXPECT_EQ(Text::byteOffsetFromUtf16Offset(text, 50), 9u);

    EXPECT_EQ(Text::utf16OffsetFromByteOffset(text, 1), 1u);
    EXPECT_EQ(Text::utf16OffsetFromByteOffset(text, 3), 1u); // inside 🙂
    EXPECT_EQ(Text::utf16OffsetFromByteOffset(text, 5), 3u);
    EXPECT_EQ(Text::utf16OffsetFromByteOffset(text, 6), 3u); // inside 中
    EXPECT_EQ(Text::utf16OffsetFromByteOffset(text, 8), 4u);
    EXPECT_EQ(Text::utf16OffsetFromByteOffset(text, 50), 5u);

    EXPECT_EQ(Text::toUtf16(text), u"a🙂中b");
    EXPECT_EQ(Text::fromUtf16(u"a🙂中b"), text);
    EXPECT_EQ(Text::fromUtf16(std::u16string(u"x\xD83Dy\xDC00")), "x\uFFFDy\uFFFD");
}

TEST(TextUtf16, SubstringsDropSplitSurrogatePairs)
{
    const std::string text = "a" + smile + "b" + smile; // units: a 0, 🙂 1-2, b 3, 🙂 4-5
    EXPECT_EQ(Text::utf16Substring(text, 0, 6), text);
    EXPECT_EQ(Text::utf16Substring(text, 1, 2), smile);
    EXPECT_EQ(Text::utf16Substring(text, 0, 2), "a");         // high half at the end dropped
    EXPECT_EQ(Text::utf16Substring(text, 2, 2), "b");         // low half at the start dropped
    EXPECT_EQ(Text::utf16Substring(text, 2, 3), "b");         // both
    EXPECT_EQ(Text::utf16Substring(text, 2, 0), "");
    EXPECT_EQ(Text::utf16Substring(text, 3, 100), "b" + smile);
    EXPECT_EQ(Text::utf16Substring(text, 6, 1), "");
    EXPECT_EQ(Text::utf16Substring(text, 60, 1), "");
    EXPECT_EQ(Text::utf16Substring(text, 3, SIZE_MAX), "b" + smile);
    EXPECT_EQ(Text::utf16Substring("中文", 1, 1), "文");
}

TEST(TextScalars, InvalidUtf8BecomesReplacementCharacters)
{
    EXPECT_TRUE(Text::isValidUtf8(mixed));
    EXPECT_TRUE(Text::isValidUtf8("\uFFFD"));
    EXPECT_FALSE(Text::isValidUtf8("\xFF"));
    EXPECT_FALSE(Text::isValidUtf8("\xC0\xAF"));     // overlong
    EXPECT_FALSE(Text::isValidUtf8("\xED\xA0\x80")); // encoded surrogate
    EXPECT_FALSE(Text::isValidUtf8("\xF4\x90\x80\x80"));
    EXPECT_FALSE(Text::isValidUtf8("\xE4\xB8"));
    // Where it goes wrong: the start of the first ill-formed sequence.
    EXPECT_EQ(Text::firstInvalidUtf8Byte(mixed), std::nullopt);
    EXPECT_EQ(Text::firstInvalidUtf8Byte("ab\xFF"), 2u);
    EXPECT_EQ(Text::firstInvalidUtf8Byte("中\xE4\xB8"), 3u);
    EXPECT_EQ(Text::firstInvalidUtf8Byte("a\xED\xA0\x80"), 1u);

    EXPECT_EQ(Text::scalars("a\xFF" "b"), U"a\uFFFDb");
    EXPECT_EQ(Text::scalars("\xE4\xB8"), U"\uFFFD"); // one truncated sequence, one replacement
    EXPECT_EQ(Text::scalars("\xE4\xB8x"), U"\uFFFDx");
    EXPECT_EQ(Text::scalars("\xED\xA0\x80"), U"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Text::scalars("\xC0\xAF"), U"\uFFFD\uFFFD");
    EXPECT_EQ(Text::scalars("\xF0\x9F\x99"), U"\uFFFD");
    EXPECT_EQ(Text::scalars(smile + "中"), U"🙂中");
    EXPECT_EQ(Text::fromScalars(U"a🙂"), "a" + smile);
    EXPECT_EQ(Text::fromScalars(std::u32string{0xD800, 0x110000, 'x'}), "\uFFFD\uFFFDx");

    const std::string broken = "\xFF\xCC\x81" "a\xE4\xB8";
    EXPECT_EQ(Text::characterCount(broken), 3u); // U+FFFD takes the combining mark
    EXPECT_EQ(Text::characters(broken), (Strings{"\uFFFD\u0301", "a", "\uFFFD"}));
    EXPECT_EQ(Text::characterPrefix(broken, 1), "\uFFFD\u0301");
    EXPECT_EQ(Text::utf16Count(broken), 4u);
    EXPECT_EQ(Text::toUtf16(broken), u"\uFFFD\u0301a\uFFFD");
    EXPECT_EQ(Text::byteOffsetOfCharacter(broken, 2), 4u);
    EXPECT_EQ(Text::utf16OffsetFromCharacterOffset(broken, 2), 3u);
    EXPECT_EQ(Text::trimmingWhitespaces(" \xFF "), "\uFFFD");
    EXPECT_EQ(Text::characterCount(std::string("\0a", 2)), 2u);
}

TEST(TextProperties, WhitespaceNewlineAndNumberFollowSwift)
{
    EXPECT_TRUE(Text::isWhitespace(' '));
    EXPECT_TRUE(Text::isWhitespace('\n'));
    EXPECT_TRUE(Text::isWhitespace(0x00A0));
    EXPECT_TRUE(Text::isWhitespace(0x3000));
    EXPECT_TRUE(Text::isWhitespace(0x0085));
    EXPECT_FALSE(Text::isWhitespace(0x200B));
    EXPECT_FALSE(Text::isWhitespace('a'));

    for (char32_t newline : {0x0Au, 0x0Bu, 0x0Cu, 0x0Du, 0x85u, 0x2028u, 0x2029u})
        EXPECT_TRUE(Text::isNewline(newline)) << static_cast<uint32_t>(newline);
    EXPECT_FALSE(Text::isNewline(' '));
    EXPECT_FALSE(Text::isNewline(0x00A0));

    EXPECT_TRUE(Text::isWhitespaceCharacter("\r\n"));
    EXPECT_TRUE(Text::isNewlineCharacter("\r\n"));
    EXPECT_TRUE(Text::isWhitespaceCharacter("\u3000"));
    EXPECT_FALSE(Text::isNewlineCharacter("\u3000"));
    EXPECT_FALSE(Text::isWhitespaceCharacter(""));
    EXPECT_FALSE(Text::isWhitespaceCharacter("a\u0301"));

    for (const char* number : {"7", "½", "Ⅻ", "٣", "①", "七", "７", "7\u20E3"})
        EXPECT_TRUE(Text::isNumberCharacter(number)) << number;
    for (const char* other : {"a", "", " ", "-", "中", ".", "\u0301"})
        EXPECT_FALSE(Text::isNumberCharacter(other)) << other;
}

TEST(TextTrimming, UsesFoundationsCharacterSets)
{
    EXPECT_EQ(Text::trimmingWhitespaces(" \t\u00A0\u3000abc d\u2003 "), "abc d");
    EXPECT_EQ(Text::trimmingWhitespaces("\nabc\n"), "\nabc\n");
    EXPECT_EQ(Text::trimmingWhitespaces("\u200Babc"), "\u200Babc");
    EXPECT_EQ(Text::trimmingWhitespacesAndNewlines("\r\n\u2028 abc\u0085\u2029\t"), "abc");
    EXPECT_EQ(Text::trimmingWhitespacesAndNewlines("\u200B abc \u200B"), "\u200B abc \u200B");
    EXPECT_EQ(Text::trimmingWhitespacesAndNewlines(" \n "), "");
    EXPECT_EQ(Text::trimmingWhitespacesAndNewlines(""), "");
    EXPECT_EQ(Text::trimmingWhitespacesAndNewlines(" 中文 "), "中文");
    // Trimming works on scalars, as Foundation does: a mark on a trimmed space stays.
    EXPECT_EQ(Text::trimmingWhitespaces(" \u0301x"), "\u0301x");

    EXPECT_TRUE(Text::isBlank(""));
    EXPECT_TRUE(Text::isBlank(" \n\t\u3000\u00A0"));
    EXPECT_FALSE(Text::isBlank("\u200B"));
    EXPECT_FALSE(Text::isBlank(" . "));
}

TEST(TextSplitting, SplitsJoinsAndMatches)
{
    EXPECT_EQ(Text::splitOnWhitespace("  alpha\u3000beta\n\n gamma\t"), (Strings{"alpha", "beta", "gamma"}));
    EXPECT_EQ(Text::splitOnWhitespace(" \n "), Strings{});
    EXPECT_EQ(Text::splitOnWhitespace("中文"), Strings{"中文"});

    EXPECT_EQ(Text::components("a,,b,", ","), (Strings{"a", "", "b", ""}));
    EXPECT_EQ(Text::components("", ","), Strings{""});
    EXPECT_EQ(Text::components("a--b", "--"), (Strings{"a", "b"}));
    EXPECT_EQ(Text::components("ab", ""), Strings{"ab"});
    EXPECT_EQ(Text::components("x.txt.txt", ".txt"), (Strings{"x", "", ""}));
    EXPECT_EQ(Text::joined({"a", "", "b"}, "、"), "a、、b");
    EXPECT_EQ(Text::joined({}, ","), "");

    EXPECT_EQ(Text::asciiLowercased("ÄBC-Xyz"), "Äbc-xyz");
}

TEST(TextCase, LowercasesWithTheFullUnicodeMapping)
{
    const std::vector<std::pair<std::string, std::string>> cases {
        { "ÄBC-Xyz", "äbc-xyz" },
        { "ONCE", "once" },
        { "\u0130", "i\u0307" },     // the one capital whose lower case is two scalars
        { "ΟΔΟΣ", "οδος" },           // a capital sigma ending a word becomes the final form
        { "中文 Ⅻ", "中文 ⅻ" },
        { "", "" },
        { "\xFF", "\uFFFD" },         // a bad byte reads as the replacement character
    };
    for (const auto& [text, lower] : cases)
        EXPECT_EQ(Text::lowercased(text), lower) << text;
}

TEST(TextCase, UppercasesWithTheFullUnicodeMapping)
{
    const std::vector<std::pair<std::string, std::string>> cases {
        { "start3", "START3" },
        { "straße", "STRASSE" }, // one letter becomes two
        { "\u017F1", "S1" },     // the long s is an S
        { "", "" },
    };
    for (const auto& [text, upper] : cases)
        EXPECT_EQ(Text::uppercased(text), upper) << text;
}

TEST(TextIntegers, ReadWholeDecimalIntegersOnly)
{
    const std::vector<std::pair<std::string, std::optional<int64_t>>> cases {
        { "12", 12 }, { "+7", 7 }, { "-3", -3 }, { "007", 7 },
        { "", std::nullopt }, { "+", std::nullopt }, { "-", std::nullopt }, { "+-1", std::nullopt },
        { " 2", std::nullopt }, { "2 ", std::nullopt }, { "1X", std::nullopt }, { "1.0", std::nullopt },
        { "\u0663", std::nullopt }, // digits of other scripts are not read
        { "9223372036854775807", INT64_MAX }, { "9223372036854775808", std::nullopt },
    };
    for (const auto& [text, number] : cases)
        EXPECT_EQ(Text::integerValue(text), number) << text;
}

} // namespace
} // namespace lorvantine
