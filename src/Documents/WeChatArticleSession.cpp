#include "Documents/WeChatArticleSession.h"

#include "Accessibility/ArticleParser.h"

namespace lorvantine {

WeChatArticleSession::WeChatArticleSession(std::string title, AXElement window,
                                           const std::vector<ArticleParagraph>& articleParagraphs)
    : m_title(std::move(title))
    , m_windowElement(window)
{
    m_paragraphs.reserve(articleParagraphs.size());
    for (const auto& paragraph : articleParagraphs)
        m_paragraphs.push_back(ReadableParagraph::from(paragraph));
    m_lastWebAreaTitle = ArticleParser::currentArticleTitle(window).value_or(m_title);
}

std::shared_ptr<WeChatArticleSession> WeChatArticleSession::capture(const std::string& bundleID)
{
    auto captured = ArticleParser::captureArticle(bundleID);
    if (!captured || captured->paragraphs.empty())
        return nullptr;
    return std::make_shared<WeChatArticleSession>(std::move(captured->title), captured->window, captured->paragraphs);
}

} // namespace lorvantine
