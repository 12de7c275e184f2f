#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ControlledApplication.h"

#include "TestSupport/ScratchDirectory.h"

#include <fcntl.h>
#include <unistd.h>

#include <thread>

namespace lorvantine::test {

namespace {

std::vector<std::string> controlledLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

} // namespace

std::map<std::string, std::optional<std::string>> applicationEnvironment(const std::filesystem::path& settingsFile,
                                                                         const nlohmann::json& settings)
{
    writeFile(settingsFile, settings.dump());
    return { { "LORVANTINE_AUDIO_OUT", "null" },
             { "LORVANTINE_DEFAULTS", settingsFile.string() },
             { "LORVANTINE_UPDATE_URL", "http://127.0.0.1:9/download/latest.json" } };
}

ControlledApplication::ControlledApplication(const std::filesystem::path& directory, std::vector<std::string> arguments,
                                             std::map<std::string, std::optional<std::string>> environment, bool holdableStandardError)
    : m_pipe(directory / "control")
{
    environment["LORVANTINE_CONTROL_PIPE"] = m_pipe.string();
    m_child = std::make_unique<ChildProcess>(ChildProcess::Options { .program = lorvantineProgram,
                                                                     .arguments = std::move(arguments),
                                                                     .environment = std::move(environment),
                                                                     .directory = directory,
                                                                     .standardErrorHoldable = holdableStandardError });
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!m_ready && std::chrono::steady_clock::now() < limit) {
        m_ready = m_child->started() && std::filesystem::is_fifo(m_pipe);
        if (!m_ready)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string ControlledApplication::command(const std::string& line, std::chrono::milliseconds timeout)
{
    const int fd = ::open(m_pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "no pipe";
    const std::string bytes = line + "\n";
    const bool sent = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    ::close(fd);
    if (!sent)
        return "not sent";
    const auto limit = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < limit) {
        const auto lines = controlledLines(m_child->standardOutput());
        if (lines.size() > m_answered)
            return lines[m_answered++];
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "timeout";
}

std::vector<nlohmann::json> ControlledApplication::programWindows()
{
    const std::string answer = command("windows");
    std::vector<nlohmann::json> mine;
    if (!answer.starts_with("ok "))
        return mine;
    auto list = nlohmann::json::parse(answer.substr(3), nullptr, false);
    if (!list.is_array())
        return mine;
    for (const auto& window : list)
        if (window.value("owner", "") == "Lorvantine")
            mine.push_back(window);
    return mine;
}

} // namespace lorvantine::test
