#include "CLI/EndToEndProbeSupport.h"

#include "Support/Files.h"
#include "Support/Log.h"
#include "Support/Text.h"
#include "Support/Utf8Lines.h"

#include <filesystem>

namespace lorvantine::EndToEndProbeSupport {

namespace {

// What is read of the log after an offset: the lines looked for are the first ones written there,
// and a reading writes a few kilobytes.
constexpr uint64_t logReadLimit = uint64_t(16) << 20;

// "[Audio] play para=<digits> off=…" and, at its end, " ok=true".
bool isPlayedSegmentLine(const std::string& line)
{
    static const std::string head = "[Audio] play para=";
    const size_t at = line.find(head);
    if (at == std::string::npos)
        return false;
    size_t digitsEnd = at + head.size();
    while (digitsEnd < line.size() && line[digitsEnd] >= '0' && line[digitsEnd] <= '9')
        ++digitsEnd;
    if (digitsEnd == at + head.size() || line.compare(digitsEnd, 5, " off=") != 0)
        return false;
    return Text::hasSuffix(Text::trimmingWhitespacesAndNewlines(line), " ok=true");
}

void printWhereTheLogComesFrom(const std::string& path)
{
    Log::line("   主程序的标准错误须写到这里: " + startCommand(path) + "（或用 --log 指定它写去的文件）");
}

} // namespace

std::string logPath(const CLIRouter::Arguments& args) { return CLIRouter::value(args, "--log").value_or(defaultLogPath); }

uint64_t logSize(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<uint64_t>(size);
}

std::vector<std::string> logLinesSince(const std::string& path, uint64_t offset)
{
    // A file shorter than the offset was started afresh (the program restarted with its standard
    // error truncating the file): all of it is new.
    if (offset > logSize(path))
        offset = 0;
    auto text = Files::readInputFileFrom(path, offset, logReadLimit);
    if (!text)
        return {};
    // A line the program cut short inside a character (it was killed mid-write) costs that line.
    const Utf8Lines lines = Utf8Lines::split(*text);
    return std::vector<std::string>(lines.lines.begin(), lines.lines.end());
}

bool logGrew(const std::string& path, uint64_t offset)
{
    const uint64_t size = logSize(path);
    // Grown, or written anew since (a shorter file that is not empty).
    return size > 0 && size != offset;
}

std::string startCommand(const std::string& logPath) { return "scripts/build && build/lorvantine 2>" + logPath; }

bool checkLogFile(const std::string& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (std::filesystem::is_regular_file(status))
        return true;
    Log::line(std::string("❌ 日志 ") + path + (std::filesystem::exists(status) ? " 不是普通文件" : " 不存在"));
    printWhereTheLogComesFrom(path);
    return false;
}

void reportSilentLog(const std::string& path)
{
    Log::line("❌ 日志 " + path + " 在主程序响应点击后没有增长 — 它不是主程序的标准错误");
    printWhereTheLogComesFrom(path);
}

std::optional<std::string> firstPlayedSegmentLine(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        if (isPlayedSegmentLine(line))
            return line;
    return std::nullopt;
}

} // namespace lorvantine::EndToEndProbeSupport
