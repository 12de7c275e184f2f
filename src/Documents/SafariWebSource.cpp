#include "Documents/SafariWebSource.h"

#include "Documents/WebArticleSource.h"

namespace lorvantine::SafariWebSource {

const std::vector<std::string>& supportedBundleIDs()
{
    static const std::vector<std::string> identifiers { "com.apple.Safari" };
    return identifiers;
}

std::shared_ptr<DocumentSession> detect(const std::string& bundleID)
{
    return WebArticleSource::detect(bundleID, supportedBundleIDs());
}

DocumentSource source() { return WebArticleSource::source("SafariWebSource", priority, supportedBundleIDs()); }

} // namespace lorvantine::SafariWebSource
