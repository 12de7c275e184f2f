#include "Documents/PreviewSource.h"

#include "Accessibility/AXReader.h"
#include "Documents/PDFViewerSource.h"
#include "Support/Text.h"

#include <algorithm>

namespace lorvantine::PreviewSource {

namespace {

constexpr int previewGroupDepth = 6;
constexpr int previewTextDepth = 20;
constexpr size_t previewMinimumLength = 3;
constexpr double previewMinimumWidth = 30;
constexpr double previewMinimumHeight = 4;

std::optional<AXElement> findDocumentGroup(const AXElement& element, int depth)
{
    if (depth > previewGroupDepth)
        return std::nullopt;
    if (AXReader::attribute(element, "AXDescription") == "document")
        return element;
    for (const AXElement& child : AXReader::rawChildren(element))
        if (auto found = findDocumentGroup(child, depth + 1))
            return found;
    return std::nullopt;
}

void collectParagraphs(const AXElement& element, std::vector<ArticleParagraph>& paragraphs, int depth)
{
    if (depth > previewTextDepth)
        return;
    const auto role = AXReader::attribute(element, "AXRole").value_or("");
    if (role == "AXStaticText") {
        PDFViewerSource::appendTextParagraph(element, paragraphs);
        return;
    }
    if (role == "AXScrollBar")
        return;
    for (const AXElement& child : AXReader::rawChildren(element))
        collectParagraphs(child, paragraphs, depth + 1);
}

bool isPreviewText(const ArticleParagraph& paragraph)
{
    return Text::characterCount(paragraph.text) >= previewMinimumLength && paragraph.frame.width() > previewMinimumWidth
        && paragraph.frame.height() > previewMinimumHeight;
}

} // namespace

const std::vector<std::string>& supportedBundleIDs()
{
    static const std::vector<std::string> identifiers { "com.apple.Preview" };
    return identifiers;
}

std::shared_ptr<DocumentSession> detect(const std::string& bundleID)
{
    const auto& ids = supportedBundleIDs();
    if (std::find(ids.begin(), ids.end(), bundleID) == ids.end())
        return nullptr;
    auto window = AXReader::frontWindowOf(bundleID);
    if (!window)
        return nullptr;
    auto title = PDFViewerSource::titleBeforeEditMark(AXReader::attribute(*window, "AXTitle").value_or("PDF"));
    auto group = findDocumentGroup(*window, 0);
    if (!group)
        return nullptr;
    std::vector<ArticleParagraph> paragraphs;
    collectParagraphs(*group, paragraphs, 0);
    return PDFViewerSource::session(std::move(title), *window, std::move(paragraphs), isPreviewText);
}

DocumentSource source()
{
    return DocumentSource { .name = "PreviewSource", .priority = priority, .supportedBundleIDs = supportedBundleIDs(), .detect = detect };
}

} // namespace lorvantine::PreviewSource
