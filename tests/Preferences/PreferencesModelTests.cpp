#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Preferences/PreferencesModel.h"

#include <cmath>
#include <limits>
#include <gtest/gtest.h>

namespace lorvantine {
namespace {

namespace Key = PreferencesModel::Key;

class PreferencesModelTest : public ::testing::Test {
protected:
    std::shared_ptr<InMemoryUserDefaults> store = std::make_shared<InMemoryUserDefaults>();
    PreferencesModel::ScopedDefaults scoped {store};
};

TEST_F(PreferencesModelTest, EmptyStoreReadsTheDefaults)
{
    EXPECT_EQ(PreferencesModel::speed(Key::speed(true)), 1.5f);
    EXPECT_EQ(PreferencesModel::speed(Key::speed(false)), 1.5f);
    EXPECT_EQ(PreferencesModel::speed(Key::defaultSpeed), 1.5f);
    EXPECT_EQ(PreferencesModel::voice(Key::voice(true)), "zf_001");
    EXPECT_EQ(PreferencesModel::voice(Key::voice(false)), "af_heart");
    EXPECT_EQ(PreferencesModel::voice(Key::defaultVoice), "zf_001");
    EXPECT_EQ(PreferencesModel::highlightOpacity(), 0.08f);
    EXPECT_EQ(PreferencesModel::subHighlightOpacity(), 0.4f);
    EXPECT_EQ(PreferencesModel::ttsServerURL(), "http://127.0.0.1:8880");
    EXPECT_FALSE(PreferencesModel::defaults().boolForKey(Key::hasCompletedOnboarding));
}

TEST_F(PreferencesModelTest, SpeedsNotAboveZeroReadAsOneAndAHalf)
{
    const std::pair<UserDefaults::Value, float> cases[] = {
        {0.0, 1.5f}, {-1.0, 1.5f}, {std::numeric_limits<double>::quiet_NaN(), 1.5f}, {std::string("fast"), 1.5f},
        {3.0, 3.0f}, // no upper bound
        {0.8f, 0.8f},
    };
    for (const char* key : {Key::defaultSpeed, Key::defaultSpeedZh, Key::defaultSpeedEn}) {
        for (const auto& [stored, read] : cases) {
            store->setObject(key, stored);
            EXPECT_EQ(PreferencesModel::speed(key), read) << key;
        }
    }
}

TEST_F(PreferencesModelTest, StoredOpacitiesAreUsedEvenWhenZero)
{
    store->set(Key::highlightOpacity, 0.0f);
    store->set(Key::subHighlightOpacity, 0.0f);
    EXPECT_EQ(PreferencesModel::highlightOpacity(), 0.0f);
    EXPECT_EQ(PreferencesModel::subHighlightOpacity(), 0.0f);

    store->set(Key::highlightOpacity, 0.25f);
    store->set(Key::subHighlightOpacity, 0.6f);
    EXPECT_EQ(PreferencesModel::highlightOpacity(), 0.25f);
    EXPECT_EQ(PreferencesModel::subHighlightOpacity(), 0.6f);

    // Something is stored, so it is read as a float, whatever it is.
    store->set(Key::highlightOpacity, "bright");
    EXPECT_EQ(PreferencesModel::highlightOpacity(), 0.0f);
}

TEST_F(PreferencesModelTest, NonStringVoicesAndServerAddressesReadAsTheirDefaults)
{
    store->set(Key::defaultVoiceEn, 3.0);
    store->set(Key::ttsServerURL, true);
    EXPECT_EQ(PreferencesModel::voice(Key::defaultVoiceEn), "af_heart");
    EXPECT_EQ(PreferencesModel::ttsServerURL(), "http://127.0.0.1:8880");

    store->set(Key::defaultVoiceEn, "bf_emma");
    store->set(Key::ttsServerURL, "http://speech.local:9000");
    EXPECT_EQ(PreferencesModel::voice(Key::defaultVoiceEn), "bf_emma");
    EXPECT_EQ(PreferencesModel::ttsServerURL(), "http://speech.local:9000");
}

TEST_F(PreferencesModelTest, VoiceChangeWritesTheGenericKeyAndTheCopyOfItsLanguage)
{
    store->set(Key::defaultVoiceEn, "am_adam");
    PreferencesModel::recordVoiceChange("zm_009");
    EXPECT_EQ(store->stringForKey(Key::defaultVoice), "zm_009");
    EXPECT_EQ(store->stringForKey(Key::defaultVoiceZh), "zm_009");
    EXPECT_EQ(store->stringForKey(Key::defaultVoiceEn), "am_adam");

    PreferencesModel::recordVoiceChange("bf_emma");
    EXPECT_EQ(store->stringForKey(Key::defaultVoice), "bf_emma");
    EXPECT_EQ(store->stringForKey(Key::defaultVoiceEn), "bf_emma");
    EXPECT_EQ(store->stringForKey(Key::defaultVoiceZh), "zm_009");

    PreferencesModel::recordVoiceChange("zf_002");
    EXPECT_EQ(store->stringForKey(Key::defaultVoiceZh), "zf_002");

    // Only the exact prefixes mark a Chinese voice.
    PreferencesModel::recordVoiceChange("zfx");
    EXPECT_EQ(store->stringForKey(Key::defaultVoiceEn), "zfx");
    EXPECT_EQ(store->stringForKey(Key::defaultVoiceZh), "zf_002");
}

TEST_F(PreferencesModelTest, SpeedChangeWritesTheGenericKeyAndTheDetectedLanguageCopy)
{
    store->set(Key::defaultSpeedZh, 1.2f);
    PreferencesModel::recordSpeedChange(2.0f, false);
    EXPECT_EQ(store->floatForKey(Key::defaultSpeed), 2.0f);
    EXPECT_EQ(store->floatForKey(Key::defaultSpeedEn), 2.0f);
    EXPECT_EQ(PreferencesModel::speed(Key::speed(true)), 1.2f) << "the next Chinese reading keeps its own speed";

    PreferencesModel::recordSpeedChange(0.8f, true);
    EXPECT_EQ(store->floatForKey(Key::defaultSpeed), 0.8f);
    EXPECT_EQ(store->floatForKey(Key::defaultSpeedZh), 0.8f);
    EXPECT_EQ(store->floatForKey(Key::defaultSpeedEn), 2.0f);

    // What the preferences window writes does not reach the language copies.
    store->removeObject(Key::defaultSpeedEn);
    store->set(Key::defaultSpeed, 2.0f);
    EXPECT_EQ(PreferencesModel::speed(Key::speed(false)), 1.5f);
}

TEST(PreferencesModelInstall, ReturnsThePreviousStoreAndScopesRestoreIt)
{
    auto outer = std::make_shared<InMemoryUserDefaults>();
    auto inner = std::make_shared<InMemoryUserDefaults>();
    auto original = PreferencesModel::installDefaults(outer);
    {
        PreferencesModel::ScopedDefaults scoped(inner);
        EXPECT_EQ(&PreferencesModel::defaults(), inner.get());
        PreferencesModel::recordVoiceChange("bf_emma");
    }
    EXPECT_EQ(&PreferencesModel::defaults(), outer.get());
    EXPECT_EQ(outer->object(Key::defaultVoice), std::nullopt);
    EXPECT_EQ(inner->stringForKey(Key::defaultVoice), "bf_emma");
    EXPECT_EQ(PreferencesModel::installDefaults(original), outer);
}

} // namespace
} // namespace lorvantine
