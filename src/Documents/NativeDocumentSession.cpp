#include "Documents/NativeDocumentSession.h"

#include "Accessibility/AXReader.h"

namespace lorvantine {

NativeDocumentSession::NativeDocumentSession(std::string title, AXElement window,
                                             const std::vector<NativeDocumentParser::MergedParagraph>& merged)
    : m_title(std::move(title))
    , m_windowElement(window)
{
    m_paragraphs.reserve(merged.size());
    m_lineMaps.reserve(merged.size());
    for (const auto& entry : merged) {
        m_paragraphs.push_back(ReadableParagraph::from(entry.paragraph));
        m_lineMaps.push_back(entry.lineMap);
    }
    m_initialWindowTitle = AXReader::attribute(window, "AXTitle").value_or("");
}

NativeDocumentSession::NativeDocumentSession(std::string title, AXElement window,
                                             std::vector<NativeDocumentParser::MergedParagraph>&& merged)
    : m_title(std::move(title))
    , m_windowElement(window)
{
    m_paragraphs.reserve(merged.size());
    m_lineMaps.reserve(merged.size());
    for (auto& entry : merged) {
        std::string text = std::move(entry.paragraph.text);
        m_paragraphs.push_back(ReadableParagraph::from(entry.paragraph));
        m_paragraphs.back().text = std::move(text);
        m_lineMaps.push_back(std::move(entry.lineMap));
    }
    merged.clear();
    m_initialWindowTitle = AXReader::attribute(window, "AXTitle").value_or("");
}

} // namespace lorvantine
