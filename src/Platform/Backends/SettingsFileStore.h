#pragma once

#include "Platform/UserDefaults.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>

namespace lorvantine {

// Settings kept in one JSON object file. The file is read once, when the store is made; every
// write replaces the whole file at once (a temporary beside it, then a rename), so a reader never
// sees half a file. A file that cannot be read or parsed is moved aside under a new name, never
// overwritten, and the store starts from the defaults. A failed write keeps the value in memory;
// the next write saves it with everything else. Safe to use from any thread.
//
// Two stores on the same file do not see each other's writes: the last one to write wins.
class SettingsFileStore final : public UserDefaults {
public:
    explicit SettingsFileStore(std::filesystem::path path);

    // LORVANTINE_DEFAULTS when set; else $XDG_CONFIG_HOME/lorvantine/defaults.json, else
    // ~/.config/lorvantine/defaults.json; none when there is no configuration directory.
    static std::optional<std::filesystem::path> standardPath();
    // The store at standardPath(), or settings for this run only when there is none.
    static std::shared_ptr<UserDefaults> openStandard();

    const std::filesystem::path& path() const { return m_path; }

    std::optional<Value> object(const std::string& key) const override;
    void setObject(const std::string& key, Value value) override;
    void removeObject(const std::string& key) override;

private:
    void load();
    // Moves the unusable file out of the way and returns the line's ending that says where it went.
    std::string moveAside();
    void saveLocked();

    const std::filesystem::path m_path;
    mutable std::mutex m_mutex;
    nlohmann::json m_document = nlohmann::json::object();
    // False when something we could not move aside sits at the path: it is never written over.
    bool m_mayWrite = true;
    bool m_lastWriteFailed = false;
};

} // namespace lorvantine
