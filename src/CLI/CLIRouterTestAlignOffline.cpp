#include "CLI/CLIRouter.h"

#include "Documents/OfflineAlignTests.h"

namespace lorvantine::CLIRouter {

int routeTestAlignOffline(const Arguments& args)
{
    return routeTestAlignOffline(args, [](bool verbose) { return OfflineAlignTests::runAll(verbose).failed.size(); });
}

} // namespace lorvantine::CLIRouter
