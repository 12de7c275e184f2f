#include "CLI/UrlList.h"

#include "CLI/SkippedLines.h"
#include "Support/Files.h"
#include "Support/Text.h"
#include "Support/Utf8Lines.h"

namespace lorvantine::UrlList {

namespace {

// Line breaks as Foundation's newline set has them: LF, VT, FF, CR, NEL, U+2028, U+2029.
size_t urlListBreakLength(std::string_view text, size_t i)
{
    const auto at = [&](size_t k) { return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0; };
    const unsigned char byte = at(0);
    if (byte == '\n' || byte == '\r' || byte == '\v' || byte == '\f')
        return 1;
    if (byte == 0xC2 && at(1) == 0x85)
        return 2;
    if (byte == 0xE2 && at(1) == 0x80 && (at(2) == 0xA8 || at(2) == 0xA9))
        return 3;
    return 0;
}

} // namespace

std::vector<std::string> parse(std::string_view text)
{
    std::vector<std::string> urls;
    auto keep = [&](std::string_view line) {
        std::string trimmed = Text::trimmingWhitespaces(line);
        if (!trimmed.empty() && !trimmed.starts_with("#") && !trimmed.starts_with("-"))
            urls.push_back(std::move(trimmed));
    };
    size_t start = 0;
    for (size_t i = 0; i < text.size();) {
        if (const size_t length = urlListBreakLength(text, i)) {
            keep(text.substr(start, i - start));
            i += length;
            start = i;
        } else {
            ++i;
        }
    }
    keep(text.substr(start));
    return urls;
}

Expected<std::vector<std::string>, std::string> read(const std::string& path)
{
    auto text = Files::readInputFile(path);
    if (!text)
        return Unexpected(text.error().message);
    if (auto bad = Text::firstInvalidUtf8Byte(*text))
        return Unexpected(path + " is not UTF-8 at byte " + std::to_string(*bad));
    return parse(*text);
}

Expected<std::vector<std::string>, std::string> readSkippingLinesNotUtf8(const std::string& path, SkippedLines& notUtf8)
{
    auto text = Files::readInputFile(path);
    if (!text)
        return Unexpected(text.error().message);
    const Utf8Lines lines = Utf8Lines::split(*text);
    for (size_t number : lines.skipped)
        notUtf8.add(number);
    std::vector<std::string> urls;
    for (std::string_view line : lines.lines) {
        std::vector<std::string> found = parse(line);
        urls.insert(urls.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    }
    return urls;
}

} // namespace lorvantine::UrlList
