#include "CLI/OCRSelectionE2ERunner.h"

#include "CLI/EndToEndProbeSupport.h"
#include "Support/Text.h"

namespace lorvantine::OCRSelectionE2ERunner {

namespace {

// ECMAScript's \s among the bytes of ASCII.
bool isLogSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The count of "clipboard:", blanks, digits, blanks, "字符" at `at`. Scanned by hand, once through:
// a matcher that recurses per character runs out of stack on a long run of blanks.
std::optional<int64_t> clipCountAt(std::string_view line, size_t at)
{
    static constexpr std::string_view head = "clipboard:";
    static constexpr std::string_view tail = "字符";
    size_t i = at + head.size();
    while (i < line.size() && isLogSpace(line[i]))
        ++i;
    const size_t digits = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9')
        ++i;
    if (i == digits)
        return std::nullopt;
    const std::string_view number = line.substr(digits, i - digits);
    while (i < line.size() && isLogSpace(line[i]))
        ++i;
    if (line.substr(i, tail.size()) != tail)
        return std::nullopt;
    return Text::integerValue(number).value_or(0);
}

} // namespace

uint64_t currentLogSize(const std::string& path) { return EndToEndProbeSupport::logSize(path); }

int64_t parseClipCharsFromLog(const std::string& path, uint64_t offset)
{
    for (const std::string& line : EndToEndProbeSupport::logLinesSince(path, offset)) {
        for (size_t at = line.find("clipboard:"); at != std::string::npos; at = line.find("clipboard:", at + 1))
            if (auto count = clipCountAt(line, at))
                return *count;
    }
    return 0;
}

} // namespace lorvantine::OCRSelectionE2ERunner
