#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"

#include <memory>
#include <optional>
#include <vector>

namespace lorvantine {

// The click-through window over another application's window that marks the paragraph being
// spoken and, inside it, the word or sentence being spoken, and keeps the marks on the text while
// that window moves or its content scrolls. The reading session owns one for the whole run and
// attaches it for each reading.
//
// Main thread only. Rectangles are global screen rectangles with the origin at the top left of the
// main screen. `setCurrent`, `setSubHighlight`, `updateParagraphRects` and `setHidden` change the
// drawing through work queued on the main queue, which holds the overlay weakly: own it through a
// std::shared_ptr.
class HighlightOverlay : public std::enable_shared_from_this<HighlightOverlay> {
public:
    HighlightOverlay();
    ~HighlightOverlay();
    HighlightOverlay(const HighlightOverlay&) = delete;
    HighlightOverlay& operator=(const HighlightOverlay&) = delete;

    // Covers the screen that holds the centre of `toScreenContaining` and starts following
    // `window`. The lists hold one entry per paragraph, in paragraph order; `boundsDisabled` is
    // true when no paragraph has usable character bounds. Expects a detached overlay.
    void attach(const Rect& toScreenContaining, std::vector<Rect> paragraphs, std::vector<std::optional<AXElement>> elements,
                std::vector<std::optional<double>> tightFrameYOffsets, std::vector<std::optional<double>> tightFrameHeights,
                bool boundsDisabled, const AXElement& window, std::vector<std::optional<int>> anchorLocations);
    // Stops following and takes the window down, before it returns.
    void detach();

    void setCurrent(int paragraphIndex);
    // The rectangles of the word or sentence being spoken; an empty list shows none.
    void setSubHighlight(std::vector<Rect> rects);
    // The paragraph rectangles were measured again (after a scroll or a page turn).
    void updateParagraphRects(std::vector<Rect> rects);
    void setHidden(bool hidden);

    // Follow the window only; the reading session sets it after `attach` for a Pages document.
    bool paginatedMode() const;
    void setPaginatedMode(bool paginated);

    // The page advance writes these right after `updateParagraphRects`, with the new page's values.
    void setParagraphElements(std::vector<std::optional<AXElement>> elements);
    void setTightFrameYOffsets(std::vector<std::optional<double>> offsets);
    void setTightFrameHeights(std::vector<std::optional<double>> heights);

    // The shift applied to the paragraph rectangles since they were last set, added to every
    // sub-highlight rectangle handed in. Rectangles measured afresh through accessibility already
    // stand where the text is, so their publication sets it back to (0, 0).
    Point subHighlightDelta() const;
    void setSubHighlightDelta(Point delta);

    // What the overlay holds now, for diagnostics and tests.
    bool isAttached() const;
    bool ocrMode() const;
    // The paragraph rectangles as now shown (moved along with the window and its content).
    const std::vector<Rect>& paragraphs() const;
    int currentIndex() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace lorvantine
