#include "Network/LanguageDetector.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

TextLanguage detect(std::string_view text) { return LanguageDetector::detect(text); }

TEST(LanguageDetector, NothingCountedIsEnglish)
{
    EXPECT_EQ(detect(""), TextLanguage::en);
    EXPECT_EQ(detect("  2024-06-01, 12:30!? "), TextLanguage::en);
    EXPECT_EQ(detect("こんにちは"), TextLanguage::en);    // kana
    EXPECT_EQ(detect("안녕하세요"), TextLanguage::en);    // Hangul
    EXPECT_EQ(detect("ＡＢＣ１２３"), TextLanguage::en); // full-width letters
    EXPECT_EQ(detect("😀🎉"), TextLanguage::en);
}

TEST(LanguageDetector, AQuarterOfIdeographsIsChinese)
{
    EXPECT_EQ(detect("中"), TextLanguage::zh);
    EXPECT_EQ(detect("中abc"), TextLanguage::zh);  // 1 of 4
    EXPECT_EQ(detect("中abcd"), TextLanguage::en); // 1 of 5
    EXPECT_EQ(detect("The 中文 edition"), TextLanguage::en);
    EXPECT_EQ(detect("这是 a test"), TextLanguage::zh);
}

TEST(LanguageDetector, CountsBothIdeographBlocksAndOnlyThem)
{
    EXPECT_EQ(detect("\u3400\u4DBF"), TextLanguage::zh); // Extension A
    EXPECT_EQ(detect("\u4E00\u9FFF"), TextLanguage::zh); // both ends of the Unified block
    // Just outside both blocks, and Extension B.
    EXPECT_EQ(detect("\u33FF\u4DC0\uA000\U00020000"), TextLanguage::en);
    // The ideographic full stop and full-width comma are punctuation.
    EXPECT_EQ(detect("。，abc"), TextLanguage::en);
}

TEST(LanguageDetector, OnlyAsciiLettersCountAsLatin)
{
    // "café" holds three ASCII letters: one ideograph against them is exactly a quarter.
    EXPECT_EQ(detect("中café"), TextLanguage::zh);
    EXPECT_EQ(detect("中cafe"), TextLanguage::en);
    // A decomposed accent adds a combining scalar, not a letter.
    EXPECT_EQ(detect("中cafe\u0301"), TextLanguage::en);
    EXPECT_EQ(detect("中ÀÉÎÕÜabc"), TextLanguage::zh);
}

TEST(TextLanguage, TextForms)
{
    EXPECT_EQ(toString(TextLanguage::zh), "zh");
    EXPECT_EQ(toString(TextLanguage::en), "en");
}

} // namespace
} // namespace lorvantine
