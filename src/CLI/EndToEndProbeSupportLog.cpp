#include "CLI/EndToEndProbeSupport.h"

#include "Support/Text.h"

#include <cstdio>
#include <filesystem>
#include <memory>

namespace lorvantine::EndToEndProbeSupport {

namespace {

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
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file)
        return {};
    // A file shorter than the offset was started afresh (the program restarted with its standard
    // error truncating the file): all of it is new.
    if (offset > logSize(path))
        offset = 0;
    (void)std::fseek(file.get(), static_cast<long>(offset), SEEK_SET);
    std::string text;
    char buffer[8192];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        text.append(buffer, got);
    if (std::ferror(file.get()) || !Text::isValidUtf8(text))
        return {};
    return Text::components(text, "\n");
}

std::optional<std::string> firstPlayedSegmentLine(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        if (isPlayedSegmentLine(line))
            return line;
    return std::nullopt;
}

} // namespace lorvantine::EndToEndProbeSupport
