#include "Documents/WeChatArticleSource.h"

#include "Documents/WeChatArticleSession.h"

#include <algorithm>

namespace lorvantine::WeChatArticleSource {

const std::vector<std::string>& supportedBundleIDs()
{
    static const std::vector<std::string> identifiers { "com.tencent.xinWeChat" };
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
        .name = "WeChatArticleSource",
        .priority = priority,
        .supportedBundleIDs = supportedBundleIDs(),
        .detect = detect,
    };
}

} // namespace lorvantine::WeChatArticleSource
