#include "Documents/AppleBooksSession.h"

#include "Support/Text.h"

namespace lorvantine {

AppleBooksSession::AppleBooksSession(std::string title, AXElement window, std::vector<ReadableParagraph> paragraphs,
                                     Rect contentRect)
    : m_title(std::move(title))
    , m_window(window)
    , m_paragraphs(std::move(paragraphs))
    , m_contentRect(contentRect)
    , m_initialTextFingerprint(m_paragraphs.empty() ? std::string() : Text::characterPrefix(m_paragraphs.front().text, 80))
{
}

} // namespace lorvantine
