#include "Documents/SafariWebSource.h"

#include "Documents/WeChatArticleSession.h"

#include <algorithm>

namespace lorvantine::SafariWebSource {

const std::vector<std::string>& supportedBundleIDs()
{
    static const std::vector<std::string> identifiers { "com.apple.Safari" };
    return identifiers;
}

std::shared_ptr<DocumentSession> detect(const std::string& bundleID)
{
    const auto& identifiers = supportedBundleIDs();
    if (std::find(identifiers.begin(), identifiers.end(), bundleID) == identifiers.end())
        return nullptr;
    return WeChatArticleSession::capture(bundleID);
}

DocumentSource source()
{
    return DocumentSource {
        .name = "SafariWebSource",
        .priority = priority,
        .supportedBundleIDs = supportedBundleIDs(),
        .detect = detect,
    };
}

} // namespace lorvantine::SafariWebSource
