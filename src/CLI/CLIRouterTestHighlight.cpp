#include "CLI/CLIRouter.h"

#include "CLI/HighlightTestHarness.h"

namespace lorvantine::CLIRouter {

int routeTestHighlight(const Arguments& args)
{
    const auto options = HighlightTestHarness::Options::parse(args);
    const auto& environment = HighlightTestHarness::commandEnvironment();
    switch (HighlightTestHarness::mode(options)) {
    case HighlightTestHarness::Mode::batch: return HighlightTestHarness::runBatch(options, environment);
    case HighlightTestHarness::Mode::watch: return HighlightTestHarness::runWatch(options, environment);
    case HighlightTestHarness::Mode::single: break;
    }
    return HighlightTestHarness::runSingle(options, environment);
}

} // namespace lorvantine::CLIRouter
