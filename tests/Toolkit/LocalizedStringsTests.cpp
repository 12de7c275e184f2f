#include "Platform/Toolkit/LocalizedStringTables.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "TestSupport/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <set>

namespace lorvantine {
namespace {

using test::ScopedEnvironment;

TEST(LocalizedStrings, LooksKeysUpInTheLanguagesTableAndFallsBackToTheValueOrTheKey)
{
    using namespace LocalizedStrings;
    EXPECT_EQ(string("voice.zf_001.label", Language::english), "Xiaoxuan (Chinese female)");
    EXPECT_EQ(string("voice.zf_001.label", Language::chinese), "晓萱 (中文女声)");
    EXPECT_EQ(string("voice.unknown.label", Language::chinese), "voice.unknown.label");
    EXPECT_EQ(string("voice.unknown.label", Language::english, "Fallback"), "Fallback");
    EXPECT_TRUE(contains("voice.af_heart.label", Language::english));
    EXPECT_FALSE(contains("voice.af_heart", Language::english));

    setLanguage(Language::chinese);
    EXPECT_EQ(string("voice.af_heart.label", "Voice Heart"), "Heart (美式英语女声)");
    setLanguage(Language::english);
    EXPECT_EQ(string("voice.af_heart.label", "Voice Heart"), "Heart (American female)");
    resetLanguage();
}

TEST(LocalizedStrings, BothTablesHoldTheSameKeysEachOnce)
{
    std::set<std::string_view> english, chinese;
    for (const auto& e : LocalizedStringTables::english())
        EXPECT_TRUE(english.insert(e.key).second) << e.key;
    for (const auto& e : LocalizedStringTables::chinese())
        EXPECT_TRUE(chinese.insert(e.key).second) << e.key;
    EXPECT_EQ(english, chinese);
}

TEST(LocalizedStrings, TheLanguageComesFromTheProgramsVariableThenFromLang)
{
    using namespace LocalizedStrings;
    resetLanguage();
    EXPECT_EQ(languageFor("zh_CN.UTF-8"), Language::chinese);
    EXPECT_EQ(languageFor("zh-Hans"), Language::chinese);
    EXPECT_EQ(languageFor("ZH"), Language::chinese);
    EXPECT_EQ(languageFor("en_US.UTF-8"), Language::english);
    EXPECT_EQ(languageFor("C"), Language::english);
    EXPECT_EQ(languageFor(""), Language::english);
    {
        ScopedEnvironment lang("LANG", "zh_CN.UTF-8");
        ScopedEnvironment ours("LORVANTINE_LANGUAGE", std::nullopt);
        EXPECT_EQ(currentLanguage(), Language::chinese);
        ScopedEnvironment chosen("LORVANTINE_LANGUAGE", "en");
        EXPECT_EQ(currentLanguage(), Language::english);
    }
    {
        ScopedEnvironment lang("LANG", std::nullopt);
        ScopedEnvironment ours("LORVANTINE_LANGUAGE", std::nullopt);
        EXPECT_EQ(currentLanguage(), Language::english);
    }
}

} // namespace
} // namespace lorvantine
