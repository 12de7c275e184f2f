#pragma once

#include <string>
#include <string_view>

namespace lorvantine {

// The user-interface texts of the program, looked up by key in our own string tables (English
// and Simplified Chinese, in LocalizedStringTables.cpp). A key missing from the table of the
// language in use answers `value` when one is given, else the key itself. Any thread.
//
// The language: LORVANTINE_LANGUAGE ("en", "zh", "zh-Hans", "zh_CN"...), else LANG, else
// English; any value beginning with "zh" chooses Chinese.
namespace LocalizedStrings {

enum class Language { english, chinese };

// `comment` says what the text names, for translators; it does not take part in the lookup.
std::string string(std::string_view key, std::string_view comment = {}, std::string_view value = {});
std::string string(std::string_view key, Language language, std::string_view value = {});
bool contains(std::string_view key, Language language);

Language currentLanguage();
// Overrides the language chosen from the environment (tests; a language setting).
void setLanguage(Language language);
// Forgets the override and reads the environment again.
void resetLanguage();
// The language a LORVANTINE_LANGUAGE or LANG value chooses.
Language languageFor(std::string_view localeName);

} // namespace LocalizedStrings
} // namespace lorvantine
