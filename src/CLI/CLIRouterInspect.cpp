#include "CLI/CLIRouter.h"

#include "Accessibility/ArticleParser.h"
#include "CLI/AppInspector.h"

#include <iostream>

namespace lorvantine::CLIRouter {

int routeInspect(const Arguments& args) { return AppInspector::inspect(args, std::cout); }

int routeArticleDump(const Arguments&)
{
    ArticleParser::dumpArticleTree(std::cout);
    std::cout.flush();
    return 0;
}

} // namespace lorvantine::CLIRouter
