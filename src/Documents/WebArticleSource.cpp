#include "Documents/WebArticleSource.h"

#include "Documents/WeChatArticleSession.h"

#include <algorithm>
#include <utility>

namespace lorvantine::WebArticleSource {

std::shared_ptr<DocumentSession> detect(const std::string& bundleID, const std::vector<std::string>& supportedBundleIDs)
{
    if (std::find(supportedBundleIDs.begin(), supportedBundleIDs.end(), bundleID) == supportedBundleIDs.end())
        return nullptr;
    return WeChatArticleSession::capture(bundleID);
}

DocumentSource source(std::string name, int priority, const std::vector<std::string>& supportedBundleIDs)
{
    return DocumentSource {
        .name = std::move(name),
        .priority = priority,
        .supportedBundleIDs = supportedBundleIDs,
        .detect = [supportedBundleIDs](const std::string& bundleID) { return detect(bundleID, supportedBundleIDs); },
    };
}

} // namespace lorvantine::WebArticleSource
