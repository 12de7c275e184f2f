#include "Documents/PDFViewerSource.h"

#include "Accessibility/AXReader.h"
#include "Documents/WeChatArticleSession.h"

#include <algorithm>

namespace lorvantine::PDFViewerSource {

std::string titleBeforeEditMark(const std::string& title)
{
    // Viewers append the document's state after a spaced en dash: "Report.pdf – Edited".
    static const std::string mark = " \u2013 ";
    const auto at = title.find(mark);
    return at == std::string::npos ? title : title.substr(0, at);
}

void appendTextParagraph(const AXElement& element, std::vector<ArticleParagraph>& paragraphs)
{
    auto value = AXReader::attribute(element, "AXValue");
    if (!value || value->empty())
        return;
    auto frame = AXReader::rect(element);
    if (!frame)
        return;
    ArticleParagraph paragraph;
    paragraph.index = static_cast<int>(paragraphs.size());
    paragraph.text = std::move(*value);
    paragraph.frame = *frame;
    paragraph.role = "AXStaticText";
    paragraph.element = element;
    paragraphs.push_back(std::move(paragraph));
}

std::shared_ptr<DocumentSession> session(std::string title, const AXElement& window,
                                         std::vector<ArticleParagraph> paragraphs,
                                         const std::function<bool(const ArticleParagraph&)>& keep)
{
    std::erase_if(paragraphs, [&keep](const ArticleParagraph& p) { return !keep(p); });
    if (paragraphs.empty())
        return nullptr;
    std::stable_sort(paragraphs.begin(), paragraphs.end(),
                     [](const ArticleParagraph& a, const ArticleParagraph& b) { return a.frame.minY() < b.frame.minY(); });
    for (size_t i = 0; i < paragraphs.size(); ++i)
        paragraphs[i].index = static_cast<int>(i);
    return std::make_shared<WeChatArticleSession>(std::move(title), window, paragraphs);
}

} // namespace lorvantine::PDFViewerSource
