#include "CLI/CLIRouter.h"

#include "Documents/OfflineAlignTests.h"

namespace lorvantine::CLIRouter {

int routeTestAlignOffline(const Arguments& args)
{
    const OfflineAlignTests::Outcome outcome = OfflineAlignTests::runAll(hasFlag(args, "--verbose"));
    return outcome.failed.empty() ? 0 : 1;
}

} // namespace lorvantine::CLIRouter
