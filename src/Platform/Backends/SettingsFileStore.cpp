#include "Platform/Backends/SettingsFileStore.h"

#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Support/Files.h"
#include "Support/Log.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lorvantine {

namespace {

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

enum class ReadResult { ok, missing, notRegular, failed };

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
    for (;;) {
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
    return ReadResult::ok;
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

} // namespace

SettingsFileStore::SettingsFileStore(std::filesystem::path path)
    : m_path(std::move(path))
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
        Log::line(std::string(tag) + "cannot read settings file " + m_path.string() + ": " + errnoText(error)
                  + "; using the defaults, " + moveAside());
        return;
    case ReadResult::ok:
        break;
    }

    std::string problem;
    try {
        nlohmann::json parsed = nlohmann::json::parse(contents);
        if (parsed.is_object()) {
            m_document = std::move(parsed);
            return;
        }
        problem = "does not hold a JSON object";
    } catch (const nlohmann::json::parse_error& failure) {
        problem = "is not valid JSON (error at byte " + std::to_string(failure.byte) + ")";
    }
    Log::line(std::string(tag) + "settings file " + m_path.string() + " " + problem + "; using the defaults, "
              + moveAside());
}

std::string SettingsFileStore::moveAside()
{
    std::string base = m_path.string() + ".corrupt-" + timestamp();
    std::string target = base;
    std::error_code ignored;
    for (int attempt = 2; std::filesystem::symlink_status(target, ignored).type() != std::filesystem::file_type::not_found; ++attempt)
        target = base + "-" + std::to_string(attempt);
    if (::rename(m_path.c_str(), target.c_str()) == 0)
        return "the file is kept as " + target;
    m_mayWrite = false;
    return "and it could not be moved aside (" + errnoText(errno) + "), so changes will not be saved";
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
    m_document[key] = jsonOf(value);
    saveLocked();
}

void SettingsFileStore::removeObject(const std::string& key)
{
    std::lock_guard lock(m_mutex);
    if (m_document.erase(key) > 0)
        saveLocked();
}

void SettingsFileStore::saveLocked()
{
    if (!m_mayWrite)
        return;
    // Bytes that are not UTF-8 (a string set from outside) are replaced rather than failing the save.
    std::string text = m_document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::optional<std::string> failure;
    std::error_code directoryError;
    if (m_path.has_parent_path())
        std::filesystem::create_directories(m_path.parent_path(), directoryError);
    if (directoryError) {
        failure = "cannot create " + m_path.parent_path().string() + ": " + directoryError.message();
    } else if (auto written = Files::writeAtomically(m_path.string(), text); !written) {
        failure = written.error().message;
    }

    if (!failure) {
        m_lastWriteFailed = false;
        return;
    }
    // One line per run of failures: a dragged slider would otherwise repeat it for every step.
    if (!m_lastWriteFailed)
        Log::line(std::string(tag) + "settings not saved: " + *failure + "; the change is kept for this run");
    m_lastWriteFailed = true;
}

} // namespace lorvantine
