#include "CLI/CLIRouter.h"

#include "CLI/SelectionProbeRunner.h"
#include "Support/Log.h"

namespace lorvantine::CLIRouter {

int routeProbeMatrix(const Arguments& args)
{
    auto configPath = value(args, "--probe-matrix");
    if (!configPath || configPath->starts_with("--")) {
        Log::line("用法: --probe-matrix <matrix-config.json>");
        Log::line("示例: --probe-matrix test-fixtures/probe-matrix.json");
        return 1;
    }
    return SelectionProbeRunner::run(*configPath, SelectionProbeRunner::commandEnvironment());
}

} // namespace lorvantine::CLIRouter
