#pragma once

#include "Documents/DocumentSession.h"
#include "Platform/Geometry.h"

namespace lorvantine {

// One Books page as recognised at detection: a single paragraph carrying every word's box.
// Made on a worker thread, then unchanging.
class AppleBooksSession final : public DocumentSession {
public:
    AppleBooksSession(std::string title, AXElement window, std::vector<ReadableParagraph> paragraphs, Rect contentRect);

    std::string title() const override { return m_title; }
    std::vector<ReadableParagraph> paragraphs() const override { return m_paragraphs; }
    AXElement windowElement() const override { return m_window; }

    Rect contentRect() const { return m_contentRect; }
    // The first 80 Characters of the first paragraph's text.
    const std::string& initialTextFingerprint() const { return m_initialTextFingerprint; }

private:
    std::string m_title;
    AXElement m_window;
    std::vector<ReadableParagraph> m_paragraphs;
    Rect m_contentRect;
    std::string m_initialTextFingerprint;
};

} // namespace lorvantine
