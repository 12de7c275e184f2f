#include "Documents/WeChatArticleSource.h"

#include "Documents/WebArticleSource.h"

namespace lorvantine::WeChatArticleSource {

const std::vector<std::string>& supportedBundleIDs()
{
    static const std::vector<std::string> identifiers { "com.tencent.xinWeChat" };
    return identifiers;
}

std::shared_ptr<DocumentSession> detect(const std::string& bundleID)
{
    return WebArticleSource::detect(bundleID, supportedBundleIDs());
}

DocumentSource source() { return WebArticleSource::source("WeChatArticleSource", priority, supportedBundleIDs()); }

} // namespace lorvantine::WeChatArticleSource
