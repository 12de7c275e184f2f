#pragma once

#include "Platform/UserDefaults.h"

#include <memory>
#include <string>

namespace lorvantine {

// The program's settings: the one store handle, the keys, and the reading and writing rules that
// every part shares. Everything here may be called from any thread.
namespace PreferencesModel {

namespace Key {
inline constexpr const char* defaultSpeed = "Lorvantine.defaultSpeed";
inline constexpr const char* defaultSpeedZh = "Lorvantine.defaultSpeedZh";
inline constexpr const char* defaultSpeedEn = "Lorvantine.defaultSpeedEn";
inline constexpr const char* defaultVoice = "Lorvantine.defaultVoice";
inline constexpr const char* defaultVoiceZh = "Lorvantine.defaultVoiceZh";
inline constexpr const char* defaultVoiceEn = "Lorvantine.defaultVoiceEn";
inline constexpr const char* highlightOpacity = "Lorvantine.highlightOpacity";
inline constexpr const char* subHighlightOpacity = "Lorvantine.subHighlightOpacity";
inline constexpr const char* ttsServerURL = "Lorvantine.ttsServerURL";
inline constexpr const char* hasCompletedOnboarding = "Lorvantine.hasCompletedOnboarding";
inline constexpr const char* lastRemindedVersion = "UpdateChecker.lastRemindedVersion";
inline constexpr const char* appSleepDisabled = "NSAppSleepDisabled";

// The language copy read at the start of a reading and written by a speed change.
inline const char* speed(bool isChinese) { return isChinese ? defaultSpeedZh : defaultSpeedEn; }
inline const char* voice(bool isChinese) { return isChinese ? defaultVoiceZh : defaultVoiceEn; }
} // namespace Key

inline constexpr float fallbackSpeed = 1.5f;
inline constexpr const char* fallbackChineseVoice = "zf_001";
inline constexpr const char* fallbackEnglishVoice = "af_heart";
inline constexpr float fallbackHighlightOpacity = 0.08f;
inline constexpr float fallbackSubHighlightOpacity = 0.4f;
// The stand-in speech server on this machine.
inline constexpr const char* fallbackTTSServerURL = "http://127.0.0.1:8880";

// The process-wide store: on first use the settings file (see SettingsFileStore::standardPath),
// kept for the whole run. The reference stays valid until another store is installed.
UserDefaults& defaults();
// Replaces the process-wide store (tests) and returns the previous one, which is null when none
// had been made yet. Installing null makes the next use open the settings file again.
std::shared_ptr<UserDefaults> installDefaults(std::shared_ptr<UserDefaults> store);

// Installs a store for its lifetime, then puts the previous one back.
class ScopedDefaults {
public:
    explicit ScopedDefaults(std::shared_ptr<UserDefaults> store) : m_previous(installDefaults(std::move(store))) {}
    ~ScopedDefaults() { installDefaults(std::move(m_previous)); }
    ScopedDefaults(const ScopedDefaults&) = delete;
    ScopedDefaults& operator=(const ScopedDefaults&) = delete;

private:
    std::shared_ptr<UserDefaults> m_previous;
};

// A stored zero is a real setting here, unlike a speed.
float highlightOpacity();
float subHighlightOpacity();
std::string ttsServerURL();

// The speed under one of the three speed keys; anything not above zero reads as 1.5.
float speed(const std::string& key);
// The voice under one of the three voice keys, or that key's default when no string is stored.
std::string voice(const std::string& key);

// A speed picked in the mini player during a reading: the generic key, then the language copy.
void recordSpeedChange(float speed, bool detectedIsZh);
// A voice picked in the mini player: the generic key, then the copy of the voice's language.
void recordVoiceChange(const std::string& code);

} // namespace PreferencesModel
} // namespace lorvantine
