#include "CLI/CLIRouter.h"

#include "CLI/EndToEndProbeSupport.h"
#include "Support/Log.h"
#include "Support/Text.h"

namespace lorvantine::CLIRouter {

namespace {

// A configuration path: present and not another flag.
std::optional<std::string> configPathOf(const Arguments& args, const std::string& flag)
{
    auto path = value(args, flag);
    if (!path || Text::hasPrefix(*path, "--"))
        return std::nullopt;
    return path;
}

} // namespace

int routeProbeMatrix(const Arguments& args, const ConfigRunner& run)
{
    if (auto path = configPathOf(args, "--probe-matrix"))
        return run(*path);
    Log::line("用法: --probe-matrix <matrix-config.json>");
    Log::line("示例: --probe-matrix test-fixtures/probe-matrix.json");
    return 1;
}

int routeProbeE2E(const Arguments& args, const ConfigRunner& run)
{
    if (auto path = configPathOf(args, "--probe-e2e"))
        return run(*path);
    // The runner learns from the program's log that speech started: the lines say where it goes.
    Log::line("用法: --probe-e2e <matrix-config.json> [--log <path>]");
    Log::line("示例: --probe-e2e test-fixtures/probe-matrix.json");
    Log::line("前置: Lorvantine 主程序必须在跑 — 另开终端运行 `" + EndToEndProbeSupport::startCommand(EndToEndProbeSupport::logPath(args))
              + "`（标准错误写到 --log 的文件，默认 " + EndToEndProbeSupport::defaultLogPath + "）");
    return 1;
}

int routeTestAlignOffline(const Arguments& args, const AlignCasesRunner& runAll)
{
    return runAll(hasFlag(args, "--verbose")) == 0 ? 0 : 1;
}

} // namespace lorvantine::CLIRouter
