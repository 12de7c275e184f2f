#include "Documents/KindleSession.h"

#include "Accessibility/AXReader.h"
#include "Support/Text.h"

namespace lorvantine {

KindleSession::KindleSession(std::string title, AXElement window, AXElement contentElement,
                             std::vector<ReadableParagraph> paragraphs, Rect contentRect)
    : m_title(std::move(title))
    , m_window(window)
    , m_paragraphs(std::move(paragraphs))
    , m_contentElement(contentElement)
    , m_contentRect(contentRect)
{
    m_initialTextFingerprint = Text::characterPrefix(AXReader::attribute(contentElement, "AXValue").value_or(""), 80);
    m_initialWindowOrigin = AXReader::position(window).value_or(contentRect.origin);
    m_initialWindowSize = AXReader::size(window).value_or(contentRect.size);
}

} // namespace lorvantine
