#pragma once

#include "Platform/UserDefaults.h"
#include "Support/Files.h"

#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>

namespace lorvantine {

// Settings kept in one JSON object file. The file is read once, when the store is made; every
// write replaces the whole file at once (a temporary beside it, then a rename), so a reader never
// sees half a file. When the path is a symbolic link, the file at the end of the links is the one
// read, replaced and set aside; the links stay.
//
// A damaged file keeps every member that still reads: a copy of the original is set aside under
// a new name and the readable members are written back. A file with nothing readable is moved
// aside, never overwritten, and the store starts from the defaults. An empty or blank file holds
// no settings and is not damaged: it stays until the first write. A file that cannot be read or
// that the user made read-only is left as it is; changes are then kept for this run only, as they
// are after a failed write, which the next write makes good. A value that would make the file
// larger than it may be is refused (the key keeps what it held, with a warning), so that it never
// holds back the saving of the other settings. Safe to use from any thread.
//
// Two stores on the same file do not see each other's writes: the last one to write wins.
class SettingsFileStore final : public UserDefaults {
public:
    // A larger file is not read (it is set aside as damaged), and never written: a rewrite that
    // would run past it builds no more than this of its text.
    static constexpr size_t maxFileBytes = 1 << 20;

    // `unflushed` skips waiting for the disk on every write, for throwaway files.
    explicit SettingsFileStore(std::filesystem::path path, Files::Durability durability = Files::Durability::flushed);

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
    void setAsideUnusable(const std::filesystem::path& file, const std::string& problem);
    void keepReadable(const std::filesystem::path& file, const std::string& contents, const std::string& problem);
    enum class SaveResult { saved, tooLarge, failed };
    SaveResult saveLocked();
    std::optional<std::string> writeLocked(const std::string& text);

    const std::filesystem::path m_path;
    const Files::Durability m_durability;
    mutable std::mutex m_mutex;
    nlohmann::json m_document = nlohmann::json::object();
    // False when what sits at the path may not be written over: something we could not read or
    // set aside, or a damaged file the user made read-only.
    bool m_mayWrite = true;
    bool m_lastWriteFailed = false;
};

} // namespace lorvantine
