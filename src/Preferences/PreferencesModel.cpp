#include "Preferences/PreferencesModel.h"

#include "Platform/Backends/SettingsFileStore.h"

#include <cmath>
#include <mutex>

namespace lorvantine::PreferencesModel {

namespace {

std::mutex s_mutex;
std::shared_ptr<UserDefaults> s_store;

float storedOpacity(const char* key, float fallback)
{
    UserDefaults& store = defaults();
    if (!store.object(key))
        return fallback;
    return store.floatForKey(key);
}

bool isChineseVoice(const std::string& code)
{
    return code.starts_with("zf_") || code.starts_with("zm_");
}

} // namespace

UserDefaults& defaults()
{
    std::lock_guard lock(s_mutex);
    if (!s_store)
        s_store = SettingsFileStore::openStandard();
    return *s_store;
}

std::shared_ptr<UserDefaults> installDefaults(std::shared_ptr<UserDefaults> store)
{
    std::lock_guard lock(s_mutex);
    std::swap(s_store, store);
    return store;
}

float highlightOpacity()
{
    return storedOpacity(Key::highlightOpacity, fallbackHighlightOpacity);
}

float subHighlightOpacity()
{
    return storedOpacity(Key::subHighlightOpacity, fallbackSubHighlightOpacity);
}

std::string ttsServerURL()
{
    return defaults().stringForKey(Key::ttsServerURL).value_or(fallbackTTSServerURL);
}

float speed(const std::string& key)
{
    float stored = defaults().floatForKey(key);
    // NaN and infinity are no rate a player can use.
    return std::isfinite(stored) && stored > 0 ? stored : fallbackSpeed;
}

std::string voice(const std::string& key)
{
    if (auto stored = defaults().stringForKey(key))
        return *stored;
    return key == Key::defaultVoiceEn ? fallbackEnglishVoice : fallbackChineseVoice;
}

void recordSpeedChange(float newSpeed, bool detectedIsZh)
{
    UserDefaults& store = defaults();
    store.set(Key::defaultSpeed, newSpeed);
    store.set(Key::speed(detectedIsZh), newSpeed);
}

void recordVoiceChange(const std::string& code)
{
    UserDefaults& store = defaults();
    store.set(Key::defaultVoice, code);
    store.set(Key::voice(isChineseVoice(code)), code);
}

} // namespace lorvantine::PreferencesModel
