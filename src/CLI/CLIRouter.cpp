#include "CLI/CLIRouter.h"

#include "CLI/EndToEndProbeRunner.h"
#include "CLI/OCRSelectionE2ERunner.h"
#include "CLI/SelectionProbeRunner.h"
#include "Documents/OfflineAlignTests.h"

#include "Platform/AccessibilityPort.h"
#include "Platform/Services.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>

namespace lorvantine::CLIRouter {

namespace {

const std::vector<std::string> kFlags = {
    "--inspect", "--test-page-turn", "--probe-bounds", "--probe-matrix", "--probe-e2e",
    "--probe-selection", "--probe-ocr-window", "--test-selection-ocr", "--probe-ocr-e2e",
    "--test-align-offline", "--test-selection", "--read-article", "--test-bounds", "--diag-highlight",
    "--test-highlight", "--validate-urls", "--test-summary", "--article-dump", "--detect-source",
};

std::mutex s_commandsMutex;
std::map<std::string, Command>& commands()
{
    static std::map<std::string, Command> table {
        { "--test-selection", routeTestSelection },
        { "--read-article", routeReadArticle },
        { "--test-summary", routeTestSummary },
        { "--test-align-offline",
          [](const Arguments& a) {
              return routeTestAlignOffline(a, [](bool verbose) { return OfflineAlignTests::runAll(verbose).failed.size(); });
          } },
        { "--probe-bounds", routeProbeBounds },
        { "--probe-selection", routeProbeSelection },
        { "--test-bounds", routeTestBounds },
        { "--diag-highlight", routeDiagHighlight },
        { "--test-page-turn", routeTestPageTurn },
        { "--probe-ocr-window", routeProbeOCRWindow },
        { "--test-selection-ocr", routeTestSelectionOCR },
        { "--detect-source", routeDetectSource },
        { "--inspect", routeInspect },
        { "--article-dump", routeArticleDump },
        { "--probe-matrix",
          [](const Arguments& a) {
              return routeProbeMatrix(a, [](const std::string& path) {
                  return SelectionProbeRunner::run(path, SelectionProbeRunner::commandEnvironment());
              });
          } },
        { "--test-highlight", routeTestHighlight },
        { "--validate-urls", routeValidateUrls },
        { "--probe-e2e",
          [](const Arguments& a) {
              return routeProbeE2E(a, [&a](const std::string& path) {
                  EndToEndProbeRunner::Environment environment = EndToEndProbeRunner::commandEnvironment();
                  environment.logPath = EndToEndProbeSupport::logPath(a);
                  return EndToEndProbeRunner::run(path, environment);
              });
          } },
        { "--probe-ocr-e2e", [](const Arguments& a) { return OCRSelectionE2ERunner::run(a); } },
    };
    return table;
}

Command commandFor(const std::string& flag)
{
    std::lock_guard lock(s_commandsMutex);
    auto it = commands().find(flag);
    return it == commands().end() ? Command() : it->second;
}

// Writes a block that already ends in a line feed as one diagnostic write.
void writeBlock(const std::string& block)
{
    Log::line(std::string_view(block).substr(0, block.empty() ? 0 : block.size() - 1));
}

// The whole piece must be a number, as the standard text-to-Double conversion wants: no blanks.
std::optional<double> parseDouble(const std::string& piece)
{
    if (piece.empty())
        return std::nullopt;
    const char* begin = piece.data();
    const char* end = piece.data() + piece.size();
    if (*begin == '+' && piece.size() > 1 && begin[1] != '-')
        ++begin;
    double result = 0;
    auto [stop, error] = std::from_chars(begin, end, result);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return result;
}

} // namespace

const std::vector<std::string>& flagOrder() { return kFlags; }

const std::string& usageText()
{
    static const std::string text =
        "Lorvantine Desktop CLI\n"
        "\n"
        "Flags:\n"
        "  --read-article [--app <bundleID>]   朗读当前前台应用中的文章\n"
        "  --test-selection \"<text>\"           直接把文本喂给 SelectionReader 测试\n"
        "  --inspect [--app <bundleID>]        检查某应用的 AX 树\n"
        "  --article-dump                      dump 公号文章窗口 AX 树（调试）\n"
        "  --test-highlight [--url <url>|--batch <file>|--watch]   高亮几何测试\n"
        "  --probe-matrix <config.json>        划选能力批量探测（AX set range + BFR + 行数）\n"
        "  --test-bounds / --diag-highlight / --test-page-turn / --probe-bounds   诊断工具\n"
        "  --test-summary <results.jsonl>      汇总批量测试结果\n"
        "  --validate-urls                     验证测试 URL 可访问性\n";
    return text;
}

bool hasFlag(const Arguments& args, const std::string& flag)
{
    return std::find(args.begin(), args.end(), flag) != args.end();
}

std::optional<std::string> value(const Arguments& args, const std::string& flag)
{
    auto it = std::find(args.begin(), args.end(), flag);
    if (it == args.end() || std::next(it) == args.end())
        return std::nullopt;
    return *std::next(it);
}

std::optional<Point> parsePoint(const Arguments& args, const std::string& flag)
{
    auto text = value(args, flag);
    if (!text)
        return std::nullopt;
    std::vector<double> numbers;
    for (const std::string& piece : Text::components(*text, ",")) {
        if (auto number = parseDouble(piece))
            numbers.push_back(*number);
    }
    // "inf" and "nan" convert, but no point lies there: a box around one is no box at all.
    if (numbers.size() != 2 || !std::isfinite(numbers[0]) || !std::isfinite(numbers[1]))
        return std::nullopt;
    return Point { numbers[0], numbers[1] };
}

Command setCommand(const std::string& flag, Command command)
{
    std::lock_guard lock(s_commandsMutex);
    Command previous = std::move(commands()[flag]);
    commands()[flag] = std::move(command);
    return previous;
}

int route(const Arguments& args)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    if (!Platform::accessibility().isProcessTrusted(AccessibilityPort::Prompt::yes)) {
        Log::line("❌ 需要辅助功能权限！");
        Log::line("   请到 系统设置 → 隐私与安全性 → 辅助功能 中授权本应用");
        return 1;
    }
    Log::line("✅ 辅助功能权限已授权");

    for (const std::string& flag : kFlags) {
        if (!hasFlag(args, flag))
            continue;
        if (Command command = commandFor(flag))
            return command(args);
    }
    writeBlock(usageText());
    return 1;
}

} // namespace lorvantine::CLIRouter
