#pragma once

#include "Documents/DocumentSession.h"
#include "Platform/Geometry.h"

namespace lorvantine {

// One Kindle page as read at detection: a single paragraph whose words carry their boxes (or the
// accessibility text alone when recognition failed). Made on a worker thread, then unchanging.
class KindleSession final : public DocumentSession {
public:
    // Reads the content element's value for the fingerprint and the window's position and size
    // (the content rectangle's stand in when they cannot be read).
    KindleSession(std::string title, AXElement window, AXElement contentElement, std::vector<ReadableParagraph> paragraphs,
                  Rect contentRect);

    std::string title() const override { return m_title; }
    std::vector<ReadableParagraph> paragraphs() const override { return m_paragraphs; }
    AXElement windowElement() const override { return m_window; }

    AXElement contentElement() const { return m_contentElement; }
    Rect contentRect() const { return m_contentRect; }
    // The first 80 Characters of the content element's value at detection.
    const std::string& initialTextFingerprint() const { return m_initialTextFingerprint; }
    Point initialWindowOrigin() const { return m_initialWindowOrigin; }
    Size initialWindowSize() const { return m_initialWindowSize; }

private:
    std::string m_title;
    AXElement m_window;
    std::vector<ReadableParagraph> m_paragraphs;
    AXElement m_contentElement;
    Rect m_contentRect;
    std::string m_initialTextFingerprint;
    Point m_initialWindowOrigin;
    Size m_initialWindowSize;
};

} // namespace lorvantine
