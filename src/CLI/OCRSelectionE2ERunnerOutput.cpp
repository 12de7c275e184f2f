#include "CLI/OCRSelectionE2ERunner.h"

#include "Support/Format.h"
#include "Support/Log.h"

#include <algorithm>

namespace lorvantine::OCRSelectionE2ERunner {

namespace {

std::string repeated(std::string_view piece, int times)
{
    std::string line;
    for (int i = 0; i < times; ++i)
        line += piece;
    return line;
}

} // namespace

bool Result::passed() const
{
    return std::all_of(steps.begin(), steps.end(), [](const Step& step) { return step.pass; });
}

bool Result::pressedBubble() const
{
    return std::any_of(steps.begin(), steps.end(), [](const Step& step) { return step.name == "bubble_press" && step.pass; });
}

std::string fmtPt(Point point)
{
    // Appended piece by piece: g++ 12 at -O3 misreads a chain of "(" + std::string + ... as an
    // overlapping copy (-Wrestrict).
    std::string out = "(";
    out += Format::whole(point.x);
    out += ',';
    out += Format::whole(point.y);
    out += ')';
    return out;
}

void printResult(const Result& result)
{
    const std::string playing = result.firstPlayingMs ? std::to_string(*result.firstPlayingMs) + "ms" : "—";
    Log::line(std::string("  ") + (result.passed() ? "✅" : "❌") + " S" + std::to_string(result.segment)
              + " clip=" + std::to_string(result.charsInClip) + "字 first_playing=" + playing);
    for (const Step& step : result.steps)
        if (!step.pass)
            Log::line("     ✗ " + step.name + ": " + step.reason.value_or(""));
}

int printSummary(const std::vector<Result>& results)
{
    const auto passing = std::count_if(results.begin(), results.end(), [](const Result& r) { return r.passed(); });
    Log::line("");
    Log::line(repeated("━", 10) + " Summary " + repeated("━", 10));
    Log::line(std::to_string(passing) + "/" + std::to_string(results.size()) + " PASS");
    Log::line("");
    Log::line("seg | chars | first_playing");
    std::vector<const Result*> rows;
    for (const Result& result : results)
        rows.push_back(&result);
    std::stable_sort(rows.begin(), rows.end(), [](const Result* a, const Result* b) { return a->segment < b->segment; });
    for (const Result* row : rows)
        Log::line(" S" + std::to_string(row->segment) + " | " + std::to_string(row->charsInClip) + " | "
                  + (row->firstPlayingMs ? std::to_string(*row->firstPlayingMs) + "ms" : "FAIL"));
    return static_cast<size_t>(passing) < results.size() ? 1 : 0;
}

} // namespace lorvantine::OCRSelectionE2ERunner
