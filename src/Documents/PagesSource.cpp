#include "Documents/PagesSource.h"

namespace lorvantine::PagesSource {

const std::vector<std::string>& supportedBundleIDs()
{
    static const std::vector<std::string> identifiers { "com.apple.iWork.Pages" };
    return identifiers;
}

std::shared_ptr<DocumentSession> detect(const std::string&) { return nullptr; }

DocumentSource source()
{
    return DocumentSource { .name = "PagesSource", .priority = priority, .supportedBundleIDs = supportedBundleIDs(), .detect = detect };
}

} // namespace lorvantine::PagesSource
