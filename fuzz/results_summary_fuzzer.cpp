#include "CLI/CLIRouter.h"
#include "Core/HighlightTestReportJson.h"
#include "FuzzCheck.h"
#include "Support/Files.h"
#include "Support/Log.h"

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Whatever a results file holds, the summary ends with 0 or 1; a report that one line decodes to
// is written back as one line, with no line break of any kind inside it, and reads back the same.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    namespace fs = std::filesystem;
    using namespace lorvantine;
    Log::Capture quiet;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (auto report = HighlightTestReportJson::decode(text)) {
        if (auto line = HighlightTestReportJson::jsonLine(*report)) {
            const std::string_view body = std::string_view(*line).substr(0, line->size() - 1);
            fuzz::check(line->back() == '\n', "a results line ends with a line feed");
            fuzz::check(body.find_first_of("\n\r\v\f") == std::string_view::npos, "no ASCII line break inside a line");
            for (std::string_view separator : { "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9" })
                fuzz::check(body.find(separator) == std::string_view::npos, "no Unicode line break inside a line");
            auto back = HighlightTestReportJson::decode(*line);
            fuzz::check(back && *back == *report, "a written report reads back the same");
        }
    }

    static const fs::path file = fs::temp_directory_path() / ("lorvantine-fuzz-results-" + std::to_string(::getpid()) + ".jsonl");
    if (!Files::writeAtomically(file.string(), text, Files::Durability::unflushed).hasValue())
        return 0;
    const int status = CLIRouter::routeTestSummary({ "lorvantine", "--test-summary", file.string() });
    fuzz::check(status == 0 || status == 1, "the summary ends with 0 or 1");
    return 0;
}
