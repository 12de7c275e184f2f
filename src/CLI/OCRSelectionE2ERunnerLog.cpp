#include "CLI/OCRSelectionE2ERunner.h"

#include "CLI/EndToEndProbeSupport.h"
#include "Support/Text.h"

#include <regex>

namespace lorvantine::OCRSelectionE2ERunner {

uint64_t currentLogSize(const std::string& path) { return EndToEndProbeSupport::logSize(path); }

int64_t parseClipCharsFromLog(const std::string& path, uint64_t offset)
{
    static const std::regex count("clipboard:\\s*(\\d+)\\s*字符");
    for (const std::string& line : EndToEndProbeSupport::logLinesSince(path, offset)) {
        if (line.find("clipboard:") == std::string::npos)
            continue;
        std::smatch match;
        if (std::regex_search(line, match, count))
            return Text::integerValue(match[1].str()).value_or(0);
    }
    return 0;
}

} // namespace lorvantine::OCRSelectionE2ERunner
