#include "Documents/OCRDocumentSession.h"

#include "Accessibility/AXReader.h"

namespace lorvantine {

OCRDocumentSession::OCRDocumentSession(std::string title, AXElement window, std::vector<ReadableParagraph> paragraphs,
                                       Rect contentRect)
    : m_title(std::move(title))
    , m_windowElement(window)
    , m_paragraphs(std::move(paragraphs))
    , m_contentRect(contentRect)
    , m_initialWindowOrigin(AXReader::position(window).value_or(contentRect.origin))
    , m_initialWindowSize(AXReader::size(window).value_or(contentRect.size))
    , m_initialWindowTitle(AXReader::attribute(window, AXName::title).value_or(""))
{
}

} // namespace lorvantine
