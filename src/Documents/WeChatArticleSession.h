#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Documents/DocumentSession.h"

#include <memory>
#include <string>
#include <vector>

namespace lorvantine {

// The session over paragraphs captured from a window's accessibility tree: web articles (WeChat,
// Lark, Safari) and the documents of the PDF viewers. It never changes after creation.
class WeChatArticleSession final : public DocumentSession {
public:
    // Reads the title of the window's web area now, to remember which article was shown.
    WeChatArticleSession(std::string title, AXElement window, const std::vector<ArticleParagraph>& articleParagraphs);

    // The article of `bundleID`'s window as the generic article capture reads it; null when there
    // is no article window or its page holds no paragraph.
    static std::shared_ptr<WeChatArticleSession> capture(const std::string& bundleID);

    std::string title() const override { return m_title; }
    std::vector<ReadableParagraph> paragraphs() const override { return m_paragraphs; }
    AXElement windowElement() const override { return m_windowElement; }

    // The web area's description at creation, or the title when there was none.
    const std::string& lastWebAreaTitle() const { return m_lastWebAreaTitle; }

private:
    std::string m_title;
    AXElement m_windowElement;
    std::vector<ReadableParagraph> m_paragraphs;
    std::string m_lastWebAreaTitle;
};

} // namespace lorvantine
