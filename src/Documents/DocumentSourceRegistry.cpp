#include "Documents/DocumentSourceRegistry.h"

#include "Documents/AppleBooksSource.h"
#include "Documents/KindleSource.h"
#include "Documents/LarkSource.h"
#include "Documents/NotesSource.h"
#include "Documents/PDFgearSource.h"
#include "Documents/PagesSource.h"
#include "Documents/PreviewSource.h"
#include "Documents/SafariWebSource.h"
#include "Documents/WeChatArticleSource.h"
#include "Documents/WordSource.h"

#include <algorithm>

namespace lorvantine::DocumentSourceRegistry {

namespace {

// Each source is named here rather than registering itself at start-up: a source file that
// nothing refers to would be left out of the link, and its registration with it.
std::vector<DocumentSource> makeSources()
{
    std::vector<DocumentSource> list;
    list.push_back(WeChatArticleSource::source());
    list.push_back(PreviewSource::source());
    list.push_back(PDFgearSource::source());
    list.push_back(NotesSource::source());
    list.push_back(AppleBooksSource::source());
    list.push_back(LarkSource::source());
    list.push_back(PagesSource::source());
    list.push_back(WordSource::source());
    list.push_back(SafariWebSource::source());
    list.push_back(KindleSource::source());
    return list;
}

} // namespace

const std::vector<DocumentSource>& sources()
{
    static const std::vector<DocumentSource> list = makeSources();
    return list;
}

const std::set<std::string>& allBundleIDs()
{
    static const std::set<std::string> identifiers = allBundleIDs(sources());
    return identifiers;
}

std::shared_ptr<DocumentSession> detect(const std::string& bundleID) { return detect(bundleID, sources()); }

std::shared_ptr<DocumentSession> detect(const std::string& bundleID, const std::vector<DocumentSource>& sources)
{
    std::vector<const DocumentSource*> ordered;
    for (const auto& source : sources)
        ordered.push_back(&source);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const DocumentSource* a, const DocumentSource* b) { return a->priority < b->priority; });

    for (const DocumentSource* source : ordered) {
        const auto& ids = source->supportedBundleIDs;
        if (!source->detect || std::find(ids.begin(), ids.end(), bundleID) == ids.end())
            continue;
        if (auto session = source->detect(bundleID))
            return session;
    }
    return nullptr;
}

std::set<std::string> allBundleIDs(const std::vector<DocumentSource>& sources)
{
    std::set<std::string> identifiers;
    for (const auto& source : sources)
        identifiers.insert(source.supportedBundleIDs.begin(), source.supportedBundleIDs.end());
    return identifiers;
}

} // namespace lorvantine::DocumentSourceRegistry
