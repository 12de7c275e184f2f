#include "Documents/LarkSource.h"

#include "Documents/WebArticleSource.h"

namespace lorvantine::LarkSource {

const std::vector<std::string>& supportedBundleIDs()
{
    static const std::vector<std::string> identifiers { "com.bytedance.lark", "com.bytedance.macos.feishu" };
    return identifiers;
}

std::shared_ptr<DocumentSession> detect(const std::string& bundleID)
{
    return WebArticleSource::detect(bundleID, supportedBundleIDs());
}

DocumentSource source() { return WebArticleSource::source("LarkSource", priority, supportedBundleIDs()); }

} // namespace lorvantine::LarkSource
