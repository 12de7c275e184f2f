#include "Platform/Backends/SettingsFileStore.h"

#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Platform/Backends/TolerantObjectReader.h"
#include "Support/JsonReading.h"
#include "Support/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lorvantine {

namespace {

namespace fs = std::filesystem;

constexpr const char* tag = "[Preferences] ";

std::string errnoText(int error)
{
    return std::strerror(error);
}

std::optional<std::string> environment(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        return std::nullopt;
    return std::string(value);
}

std::optional<UserDefaults::Value> valueOf(const nlohmann::json& json)
{
    switch (json.type()) {
    case nlohmann::json::value_t::boolean:
        return json.get<bool>();
    case nlohmann::json::value_t::number_integer:
        return json.get<int64_t>();
    case nlohmann::json::value_t::number_unsigned: {
        uint64_t value = json.get<uint64_t>();
        if (value <= static_cast<uint64_t>(INT64_MAX))
            return static_cast<int64_t>(value);
        return static_cast<double>(value);
    }
    case nlohmann::json::value_t::number_float:
        return json.get<double>();
    case nlohmann::json::value_t::string:
        return json.get<std::string>();
    default:
        // Lists, dictionaries and null have no typed reading here; they stay in the file untouched.
        return std::nullopt;
    }
}

nlohmann::json jsonOf(const UserDefaults::Value& value)
{
    return std::visit([](const auto& held) { return nlohmann::json(held); }, value);
}

// Keeps what the serializer writes up to `limit` bytes; past it, only that the text ran over. A
// document whose indented text would be hundreds of times its size then costs no more memory
// than the file it may become, and the walk that finds out writes nothing.
class LimitedText final : public nlohmann::detail::output_adapter_protocol<char> {
public:
    explicit LimitedText(size_t limit)
        : m_limit(limit)
    {
    }

    void write_character(char c) override { write_characters(&c, 1); }
    void write_characters(const char* characters, size_t length) override
    {
        if (m_over)
            return;
        if (length > m_limit - m_text.size()) {
            m_over = true;
            m_text = std::string();
            return;
        }
        m_text.append(characters, length);
    }

    std::optional<std::string> take() { return m_over ? std::nullopt : std::optional(std::move(m_text)); }

private:
    const size_t m_limit;
    std::string m_text;
    bool m_over = false;
};

// The text `dump(indent)` gives, or none when it would be longer than `limit`. Bytes that are not
// UTF-8 (a string set from outside) are replaced rather than failing the save.
std::optional<std::string> dumpWithin(const nlohmann::json& document, int indent, size_t limit)
{
    auto text = std::make_shared<LimitedText>(limit);
    nlohmann::detail::serializer<nlohmann::json> serializer(text, ' ', nlohmann::json::error_handler_t::replace);
    serializer.dump(document, indent >= 0, false, static_cast<unsigned>(std::max(indent, 0)));
    return text->take();
}

bool isBlank(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

enum class ReadResult { ok, missing, notRegular, tooLarge, failed };

ReadResult readWholeFile(const std::filesystem::path& path, std::string& contents, int& error)
{
    // Non-blocking, so a FIFO left at the path cannot stall the launch.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = errno;
        // ENOTDIR: a file stands where a directory of the path should be, so there is no settings file.
        return error == ENOENT || error == ENOTDIR ? ReadResult::missing : ReadResult::failed;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = 0;
        ::close(fd);
        return ReadResult::notRegular;
    }
    char buffer[16384];
    while (contents.size() <= SettingsFileStore::maxFileBytes) {
        ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count == 0)
            break;
        if (count < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            ::close(fd);
            return ReadResult::failed;
        }
        contents.append(buffer, static_cast<size_t>(count));
    }
    ::close(fd);
    return contents.size() > SettingsFileStore::maxFileBytes ? ReadResult::tooLarge : ReadResult::ok;
}

// The end of the chain of links, where the settings really are (a dotfiles repository, say).
// None for a loop.
std::optional<fs::path> linkTarget(fs::path path)
{
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error)))
            return path;
        fs::path next = fs::read_symlink(path, error);
        if (error)
            return path;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return std::nullopt;
}

// The user's own mark counts, not only what this process may do: as root every file is writable.
bool isReadOnly(const fs::path& file)
{
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(file.c_str(), W_OK) != 0;
}

// Log lines stay on one line and in ASCII whatever a damaged file holds.
std::string quoted(const std::string& text)
{
    return nlohmann::json(text).dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

std::string timestamp()
{
    std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

fs::path asideName(const fs::path& file)
{
    std::string base = file.string() + ".corrupt-" + timestamp();
    std::string name = base;
    std::error_code ignored;
    for (int attempt = 2; fs::symlink_status(name, ignored).type() != fs::file_type::not_found; ++attempt)
        name = base + "-" + std::to_string(attempt);
    return name;
}

std::string droppedList(const std::vector<std::string>& keys)
{
    constexpr size_t named = 8;
    std::string list;
    size_t unnamed = 0;
    size_t listed = 0;
    for (const std::string& key : keys) {
        if (key.empty())
            ++unnamed;
        else if (listed++ < named)
            list += (list.empty() ? "" : ", ") + quoted(key);
    }
    if (listed > named)
        list += " and " + std::to_string(listed - named) + " more";
    if (unnamed > 0)
        list += (list.empty() ? "" : " and ") + std::to_string(unnamed) + " entry without a readable name";
    return list;
}

} // namespace

SettingsFileStore::SettingsFileStore(std::filesystem::path path, Files::Durability durability)
    : m_path(std::move(path))
    , m_durability(durability)
{
    load();
}

std::optional<std::filesystem::path> SettingsFileStore::standardPath()
{
    if (auto explicitPath = environment("LORVANTINE_DEFAULTS"))
        return std::filesystem::path(*explicitPath);
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (auto config = environment("XDG_CONFIG_HOME"); config && config->front() == '/')
        return std::filesystem::path(*config) / "lorvantine" / "defaults.json";
    if (auto home = environment("HOME"))
        return std::filesystem::path(*home) / ".config" / "lorvantine" / "defaults.json";
    return std::nullopt;
}

std::shared_ptr<UserDefaults> SettingsFileStore::openStandard()
{
    if (auto path = standardPath())
        return std::make_shared<SettingsFileStore>(std::move(*path));
    Log::line(std::string(tag) + "no configuration directory (neither XDG_CONFIG_HOME nor HOME is set); "
              "settings are kept for this run only");
    return std::make_shared<InMemoryUserDefaults>();
}

void SettingsFileStore::load()
{
    std::string contents;
    int error = 0;
    switch (readWholeFile(m_path, contents, error)) {
    case ReadResult::missing:
        return;
    case ReadResult::notRegular:
        m_mayWrite = false;
        Log::line(std::string(tag) + "settings file " + m_path.string()
                  + " is not a regular file; using the defaults, changes will not be saved");
        return;
    case ReadResult::failed:
        // Unreadable is not damaged: the file is the user's to mend, so it stays where it is.
        m_mayWrite = false;
        Log::line(std::string(tag) + "cannot read settings file " + m_path.string() + ": " + errnoText(error)
                  + "; using the defaults, changes are kept for this run");
        return;
    case ReadResult::tooLarge:
        setAsideUnusable(linkTarget(m_path).value_or(m_path),
                         "is larger than " + std::to_string(maxFileBytes) + " bytes");
        return;
    case ReadResult::ok:
        break;
    }

    // Nothing written yet (a file made by `touch`, or emptied by hand) is no settings, not damage.
    if (isBlank(contents))
        return;
    const fs::path file = linkTarget(m_path).value_or(m_path);
    auto parsed = JsonReading::parse(contents);
    if (parsed && parsed->is_object()) {
        m_document = std::move(*parsed);
        return;
    }
    if (parsed) {
        setAsideUnusable(file, "does not hold a JSON object");
        return;
    }
    const std::string reason = " (" + quoted(parsed.error().message) + ")";
    if (auto readable = TolerantObjectReader::read(contents); readable && !readable->members.empty()) {
        m_document = std::move(readable->members);
        std::string kept = readable->dropped.empty()
            ? "every setting was read"
            : "dropped " + droppedList(readable->dropped) + " and kept the other settings";
        keepReadable(file, contents, "is damaged" + reason + "; " + kept);
        return;
    }
    setAsideUnusable(file, "is not valid JSON" + reason);
}

void SettingsFileStore::setAsideUnusable(const fs::path& file, const std::string& problem)
{
    std::string start = std::string(tag) + "settings file " + m_path.string() + " " + problem + "; using the defaults, ";
    if (isReadOnly(file)) {
        m_mayWrite = false;
        Log::line(start + "the file is read-only and left as it is, changes are kept for this run");
        return;
    }
    fs::path aside = asideName(file);
    if (::rename(file.c_str(), aside.c_str()) == 0) {
        Log::line(start + "the file is kept as " + aside.string());
        return;
    }
    m_mayWrite = false;
    Log::line(start + "and it could not be moved aside (" + errnoText(errno) + "), so changes will not be saved");
}

void SettingsFileStore::keepReadable(const fs::path& file, const std::string& contents, const std::string& problem)
{
    std::string start = std::string(tag) + "settings file " + m_path.string() + " " + problem + "; ";
    if (isReadOnly(file)) {
        m_mayWrite = false;
        Log::line(start + "the file is read-only and left as it is, changes are kept for this run");
        return;
    }
    fs::path aside = asideName(file);
    if (auto copied = Files::writeAtomically(aside.string(), contents, m_durability); !copied) {
        m_mayWrite = false;
        Log::line(start + "the original could not be copied aside (" + copied.error().message
                  + "), so changes will not be saved");
        return;
    }
    Log::line(start + "the original is kept as " + aside.string());
    // Written back now: left damaged, the file would be set aside again at every launch.
    saveLocked();
}

std::optional<UserDefaults::Value> SettingsFileStore::object(const std::string& key) const
{
    std::lock_guard lock(m_mutex);
    auto found = m_document.find(key);
    if (found == m_document.end())
        return std::nullopt;
    return valueOf(*found);
}

void SettingsFileStore::setObject(const std::string& key, Value value)
{
    std::lock_guard lock(m_mutex);
    std::optional<nlohmann::json> previous;
    if (auto found = m_document.find(key); found != m_document.end())
        previous = std::move(*found);
    m_document[key] = jsonOf(value);
    if (saveLocked() != SaveResult::tooLarge)
        return;
    // Kept for this run, the value would hold back every later change from the file.
    if (previous)
        m_document[key] = std::move(*previous);
    else
        m_document.erase(key);
    Log::line(std::string(tag) + "setting " + quoted(key) + " not saved: with it the settings would take more than "
              + std::to_string(maxFileBytes) + " bytes; it keeps its earlier value");
}

void SettingsFileStore::removeObject(const std::string& key)
{
    std::lock_guard lock(m_mutex);
    if (m_document.erase(key) > 0)
        saveLocked();
}

SettingsFileStore::SaveResult SettingsFileStore::saveLocked()
{
    if (!m_mayWrite)
        return SaveResult::failed;
    // Indenting deep members of another program can make a small file many times larger: then
    // it is written without indenting. Either way no more than the file may hold is built.
    std::optional<std::string> text = dumpWithin(m_document, 2, maxFileBytes - 1);
    if (!text)
        text = dumpWithin(m_document, -1, maxFileBytes - 1);
    if (!text)
        return SaveResult::tooLarge;
    text->push_back('\n');
    const std::optional<std::string> failure = writeLocked(*text);
    if (!failure) {
        m_lastWriteFailed = false;
        return SaveResult::saved;
    }
    // One line per run of failures: a dragged slider would otherwise repeat it for every step.
    if (!m_lastWriteFailed)
        Log::line(std::string(tag) + "settings not saved: " + *failure + "; the change is kept for this run");
    m_lastWriteFailed = true;
    return SaveResult::failed;
}

std::optional<std::string> SettingsFileStore::writeLocked(const std::string& text)
{
    std::optional<fs::path> file = linkTarget(m_path);
    if (!file)
        return m_path.string() + " is a loop of symbolic links";
    if (isReadOnly(*file))
        return file->string() + " is read-only";
    std::error_code directoryError;
    if (file->has_parent_path())
        fs::create_directories(file->parent_path(), directoryError);
    if (directoryError)
        return "cannot create " + file->parent_path().string() + ": " + directoryError.message();
    if (auto written = Files::writeAtomically(file->string(), text, m_durability); !written)
        return written.error().message;
    return std::nullopt;
}

} // namespace lorvantine
