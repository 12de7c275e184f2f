#include "Platform/Backends/SettingsFileStore.h"
#include "Support/Files.h"
#include "Support/Log.h"

#include <cstdint>
#include <filesystem>
#include <string>

// Whatever the settings file holds, the store opens, reads every key type and saves again, and
// what it saved reads back cleanly.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    namespace fs = std::filesystem;
    using lorvantine::Files::Durability;
    lorvantine::Log::Capture quiet;
    static const fs::path directory = [] {
        fs::path dir = fs::temp_directory_path() / ("lorvantine-fuzz-settings-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        return dir;
    }();
    fs::remove_all(directory);
    fs::create_directories(directory);
    fs::path file = directory / "defaults.json";
    (void)lorvantine::Files::writeAtomically(file.string(), std::string(reinterpret_cast<const char*>(data), size),
                                             Durability::unflushed);

    lorvantine::SettingsFileStore store(file, Durability::unflushed);
    for (const char* key : { "Lorvantine.defaultSpeed", "Lorvantine.defaultVoice", "Lorvantine.hasCompletedOnboarding", "a" }) {
        (void)store.floatForKey(key);
        (void)store.integerForKey(key);
        (void)store.boolForKey(key);
        (void)store.stringForKey(key);
    }
    store.set("Lorvantine.defaultSpeed", 1.25f);
    quiet.clear();
    lorvantine::SettingsFileStore reopened(file, Durability::unflushed);
    if (reopened.floatForKey("Lorvantine.defaultSpeed") != 1.25f || !quiet.lines().empty())
        __builtin_trap();
    return 0;
}
