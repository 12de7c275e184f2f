#include "CLI/OCRSelectionE2ERunner.h"

#include "Accessibility/AXReader.h"
#include "CLI/CLIRouter.h"
#include "CLI/DiagnosticFormat.h"
#include "CLI/EndToEndProbeSupport.h"
#include "Core/SelectionOCRDispatcher.h"
#include "Documents/VisionOCR.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>

namespace lorvantine::OCRSelectionE2ERunner {

namespace {

constexpr int setupError = 2;

struct OCRRunnerOptions {
    std::string bundleID;
    std::string fixture;
    std::optional<std::vector<int64_t>> segments;
    std::string logPath;
    bool ocrDebug = false;
};

// The options; none after a usage error's line.
std::optional<OCRRunnerOptions> readOptions(const std::vector<std::string>& args)
{
    auto bundleID = CLIRouter::value(args, "--app");
    if (!bundleID) {
        Log::line("用法: --probe-ocr-e2e --app <bundleID> --fixture <path> [--segments 1,2,3] [--log <path>]");
        return std::nullopt;
    }
    if (!SelectionOCRDispatcher::OCR_WHITELIST.contains(*bundleID)) {
        Log::line("❌ " + *bundleID + " 不在 OCR_WHITELIST 里");
        return std::nullopt;
    }
    auto fixture = CLIRouter::value(args, "--fixture");
    if (!fixture) {
        Log::line("❌ 需要 --fixture <path>");
        return std::nullopt;
    }
    return OCRRunnerOptions { *bundleID, *fixture, segmentFilter(args),
                              EndToEndProbeSupport::logPath(args),
                              CLIRouter::hasFlag(args, "--ocr-debug") };
}

// Words recognition may have made of a sentinel: its letters read as digits, or split off.
bool looksLikeSentinel(const std::string& text)
{
    const std::string upper = Text::uppercased(text);
    for (std::string_view first : { "S", "E", "5", "3" })
        if (upper.starts_with(first))
            return true;
    return Text::contains(upper, "START") || Text::contains(upper, "END");
}

void printSuspectedSentinels(const std::vector<RecognizedWord>& words)
{
    for (size_t i = 0; i < words.size(); ++i)
        if (looksLikeSentinel(words[i].text))
            Log::line("  [" + std::to_string(i) + "] '" + words[i].text + "' @ " + Format::whole(words[i].screenRect.minX()) + ","
                      + Format::whole(words[i].screenRect.minY()));
}

std::string numberList(const std::vector<Sentinel>& sentinels)
{
    std::vector<std::string> numbers;
    for (const Sentinel& sentinel : sentinels)
        numbers.push_back(std::to_string(sentinel.n));
    // Appended piece by piece: g++ 12 at -O3 misreads "[" + std::string + "]" as an overlapping copy.
    std::string list = "[";
    list += Text::joined(numbers, ", ");
    list += ']';
    return list;
}

std::string segmentRule(int64_t n)
{
    const std::string rule = "━━━━━━━━━━━━━";
    return rule + " S" + std::to_string(n) + " " + rule;
}

} // namespace

int run(const std::vector<std::string>& args)
{
    if (!Platform::accessibility().isProcessTrusted(AccessibilityPort::Prompt::no)) {
        Log::line("❌ 缺少辅助功能权限");
        return setupError;
    }
    auto lorvantine = EndToEndProbeSupport::findLorvantine();
    if (!lorvantine) {
        Log::line("❌ Lorvantine 主程序没跑。请另开终端:");
        Log::line("   " + EndToEndProbeSupport::startCommand(EndToEndProbeSupport::logPath(args)));
        return setupError;
    }
    Log::line("✅ Lorvantine pid=" + std::to_string(lorvantine->pid));

    const auto parsed = readOptions(args);
    if (!parsed)
        return setupError;
    const OCRRunnerOptions& options = *parsed;
    // The copied counts come from the program's log: without it every segment would read 0.
    if (!EndToEndProbeSupport::checkLogFile(options.logPath))
        return setupError;

    const std::string staged = stageFixtureAsTemp(options.fixture);
    if (!launchWithFixture(options.bundleID, staged)) {
        Log::line("❌ 无法打开 fixture");
        return setupError;
    }
    EndToEndProbeSupport::sleep(2.5);
    if (auto running = AXReader::findApp(options.bundleID)) {
        Platform::workspace().activate(running->pid, WorkspacePort::ActivationOptions::none);
        EndToEndProbeSupport::sleep(0.8);
    }
    auto app = AXReader::findApp(options.bundleID);
    if (!app) {
        Log::line("❌ " + options.bundleID + " 没启动");
        return setupError;
    }

    auto window = DiagnosticFormat::windowOf(*app);
    auto windowRect = window ? AXReader::rect(*window) : std::nullopt;
    if (!windowRect) {
        Log::line("❌ 取不到窗口几何");
        return setupError;
    }
    Log::line("🎯 window " + Format::whole(windowRect->minX()) + "," + Format::whole(windowRect->minY()) + " "
              + Format::whole(windowRect->width()) + "×" + Format::whole(windowRect->height()));

    auto words = VisionOCR::recognizeWords(*windowRect, *window, std::vector<std::string> { "en", "zh-Hans", "zh-Hant" });
    if (!words) {
        Log::line("❌ 整窗 OCR 无结果");
        return setupError;
    }
    Log::line("🔤 整窗 OCR: " + std::to_string(words->size()) + " 词");
    if (options.ocrDebug)
        printSuspectedSentinels(*words);

    const std::vector<Sentinel> sentinels = findSentinels(*words);
    if (sentinels.empty()) {
        Log::line("❌ 未找到任何 START<N>/END<N> sentinel — 检查 fixture 或 OCR 质量");
        Log::line("提示: 用 --ocr-debug 打印疑似 token");
        return setupError;
    }
    Log::line("🔍 找到 " + std::to_string(sentinels.size()) + " 组 sentinel: " + numberList(sentinels));

    std::vector<Result> results;
    for (const Sentinel& sentinel : sentinels) {
        if (options.segments && std::find(options.segments->begin(), options.segments->end(), sentinel.n) == options.segments->end())
            continue;
        Log::line("");
        Log::line(segmentRule(sentinel.n));
        const uint64_t offset = currentLogSize(options.logPath);
        results.push_back(runSegment(*app, options.bundleID, sentinel, lorvantine->pid, options.logPath, offset, *windowRect));
        // The program logs the copy its bubble's click makes: a log that stayed as it was is
        // not the program's, and would read 0 for every segment.
        if (results.back().pressedBubble() && !EndToEndProbeSupport::logGrew(options.logPath, offset)) {
            EndToEndProbeSupport::reportSilentLog(options.logPath);
            return setupError;
        }
        printResult(results.back());
        EndToEndProbeSupport::sleep(1.0);
    }
    return printSummary(results);
}

} // namespace lorvantine::OCRSelectionE2ERunner
