#include "Platform/Toolkit/LocalizedStrings.h"

#include "Platform/Toolkit/LocalizedStringTables.h"

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <map>
#include <string>

namespace lorvantine::LocalizedStrings {

namespace {

using Table = std::map<std::string_view, std::string_view, std::less<>>;

const Table& table(Language language)
{
    static const Table english = [] {
        Table t;
        for (const auto& e : LocalizedStringTables::english())
            t.emplace(e.key, e.text);
        return t;
    }();
    static const Table chinese = [] {
        Table t;
        for (const auto& e : LocalizedStringTables::chinese())
            t.emplace(e.key, e.text);
        return t;
    }();
    return language == Language::chinese ? chinese : english;
}

// -1: no override.
std::atomic<int> s_override { -1 };

Language fromEnvironment()
{
    for (const char* name : { "LORVANTINE_LANGUAGE", "LANG" }) {
        const char* value = std::getenv(name);
        if (value && *value)
            return languageFor(value);
    }
    return Language::english;
}

} // namespace

Language languageFor(std::string_view localeName)
{
    if (localeName.size() >= 2 && std::tolower(static_cast<unsigned char>(localeName[0])) == 'z'
        && std::tolower(static_cast<unsigned char>(localeName[1])) == 'h')
        return Language::chinese;
    return Language::english;
}

Language currentLanguage()
{
    const int forced = s_override.load();
    return forced >= 0 ? static_cast<Language>(forced) : fromEnvironment();
}

void setLanguage(Language language) { s_override = static_cast<int>(language); }
void resetLanguage() { s_override = -1; }

bool contains(std::string_view key, Language language) { return table(language).count(key) > 0; }

std::string string(std::string_view key, Language language, std::string_view value)
{
    const Table& t = table(language);
    if (auto it = t.find(key); it != t.end())
        return std::string(it->second);
    return std::string(value.empty() ? key : value);
}

std::string string(std::string_view key, std::string_view, std::string_view value)
{
    return string(key, currentLanguage(), value);
}

} // namespace lorvantine::LocalizedStrings
