#include "Documents/LarkSource.h"

#include "Documents/WeChatArticleSession.h"

#include <algorithm>

namespace lorvantine::LarkSource {

const std::vector<std::string>& supportedBundleIDs()
{
    static const std::vector<std::string> identifiers { "com.bytedance.lark", "com.bytedance.macos.feishu" };
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
        .name = "LarkSource",
        .priority = priority,
        .supportedBundleIDs = supportedBundleIDs(),
        .detect = detect,
    };
}

} // namespace lorvantine::LarkSource
