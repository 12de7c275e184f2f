#pragma once

#include "Platform/Toolkit/View.h"

#include <vector>

namespace lorvantine {

// The content view of the highlight overlay: paints the mark of the current paragraph and the
// marks of the word or sentence being spoken, as translucent rounded rectangles in the accent
// colour. Rectangles are handed in as global screen rectangles (top-left origin, y downward);
// the view itself is not flipped. Main thread only.
class HighlightView : public View {
public:
    explicit HighlightView(const Rect& frame = {});

    const std::vector<Rect>& paragraphs() const { return m_paragraphs; }
    void setParagraphs(std::vector<Rect> paragraphs) { m_paragraphs = std::move(paragraphs); }
    int currentIndex() const { return m_currentIndex; }
    void setCurrentIndex(int index) { m_currentIndex = index; }
    const std::vector<Rect>& subHighlightRects() const { return m_subHighlightRects; }
    void setSubHighlightRects(std::vector<Rect> rects) { m_subHighlightRects = std::move(rects); }
    // The frame of the screen the overlay covers (bottom-left global), recorded at attach.
    const Rect& screenFrame() const { return m_screenFrame; }
    void setScreenFrame(const Rect& frame) { m_screenFrame = frame; }

    bool isFlipped() const override { return false; }
    void draw(Painter& painter, const Rect& dirtyRect) override;

    // The accent colour of the marks; their opacities come from the settings.
    static constexpr Color markColor() { return Color::rgb(0.9490196078431372, 0.396078431372549, 0.13333333333333333); }

private:
    void logFirstSubHighlight(double primaryHeight) const;

    std::vector<Rect> m_paragraphs;
    int m_currentIndex = -1;
    std::vector<Rect> m_subHighlightRects;
    Rect m_screenFrame;
    bool m_hasLoggedSubHighlight = false;
};

} // namespace lorvantine
