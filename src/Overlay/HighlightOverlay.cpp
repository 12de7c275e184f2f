#include "Overlay/HighlightOverlay.h"

#include "Accessibility/AXReader.h"
#include "Overlay/HighlightView.h"
#include "Overlay/OverlayFormat.h"
#include "Overlay/ScrollWheelMonitor.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/Window.h"
#include "Platform/WorkspacePort.h"
#include "Support/Log.h"

#include <algorithm>
#include <cmath>

namespace lorvantine {

namespace {

constexpr Duration followInterval = seconds(0.1);
// Smaller moves are rounding noise of the other application's geometry.
constexpr double minimumShift = 0.5;
// A content correction this large is a misreading (another element, a relayout), not a scroll.
constexpr double maximumCorrection = 200;
// How far outside the window the current paragraph's element may lie and still be trusted.
constexpr double elementSlack = 50;
// A character "bounds" this close to its element's height is the element, not a character.
constexpr double elementHeightRatio = 0.9;
// A non-precise wheel event counts one line as this many points.
constexpr double pointsPerWheelLine = 40;
constexpr uint32_t overlayCollectionBehavior
    = CollectionBehavior::canJoinAllSpaces | CollectionBehavior::stationary | CollectionBehavior::ignoresCycle;

std::vector<Rect> offsetAll(const std::vector<Rect>& rects, double dx, double dy)
{
    std::vector<Rect> moved;
    moved.reserve(rects.size());
    for (const Rect& r : rects)
        moved.emplace_back(r.origin.x + dx, r.origin.y + dy, r.size.width, r.size.height);
    return moved;
}

template<typename T> std::optional<T> entry(const std::vector<std::optional<T>>& list, size_t index)
{
    return index < list.size() ? list[index] : std::nullopt;
}

// The top-left rectangle of a screen whose frame is given bottom-left.
Rect topLeftFrame(const ScreenInfo& screen, double primaryHeight)
{
    const Rect& f = screen.frame;
    return Rect(f.minX(), primaryHeight - f.minY() - f.height(), f.width(), f.height());
}

} // namespace

struct HighlightOverlay::Impl {
    std::shared_ptr<Window> window;
    std::shared_ptr<HighlightView> view;
    std::vector<Rect> paragraphs;
    std::vector<std::optional<AXElement>> paragraphElements;
    std::vector<std::optional<double>> tightFrameYOffsets;
    std::vector<std::optional<double>> tightFrameHeights;
    int currentIndex = -1;
    std::optional<AXElement> trackedWindow;
    Point initialWindowOrigin;
    // Whether `initialWindowOrigin` was ever read; until it is, a readable position is the start.
    bool originKnown = false;
    std::shared_ptr<Timer> pollTimer;
    // The rectangles shown are always `baseParagraphs` moved by `appliedOffset`, worked out afresh
    // from the window's position and the content corrections at every move: summing the moves
    // instead would let one absurd position reading (an overflow to infinity) outlive itself.
    Point appliedOffset;
    // Content corrections (scrolls under the window) taken since the rectangles were set.
    Point contentOffset;
    // `appliedOffset` when the sub-highlight delta was last (0, 0).
    Point subDeltaOrigin;
    bool ocrMode = false;
    std::vector<Rect> baseParagraphs;
    Point baseWindowOrigin;
    double accumulatedScrollDy = 0;
    std::shared_ptr<void> scrollMonitor;
    std::optional<AXElement> sharedElement;
    std::optional<double> sharedElementInitialFirstCharY;
    std::optional<AXElement> anchoredElement;
    int anchoredLocation = 0;
    std::optional<double> anchoredInitialY;
    bool paginatedMode = false;

    Point subHighlightDelta() const { return Point { appliedOffset.x - subDeltaOrigin.x, appliedOffset.y - subDeltaOrigin.y }; }
    // Shows `baseParagraphs` moved by `offset`; the words on show go along with them.
    void applyOffset(Point offset);
    void followTick();
    Point contentCorrection(Point windowPosition, Point windowShift);
    std::optional<double> characterTopMove(const AXElement& element, int location, std::optional<double>& storedTop,
                                           bool requirePositiveHeight);
    void scrollWheel(const ScrollWheelEvent& event);
};

HighlightOverlay::HighlightOverlay() : m_impl(std::make_unique<Impl>()) { }

HighlightOverlay::~HighlightOverlay() { detach(); }

void HighlightOverlay::attach(const Rect& toScreenContaining, std::vector<Rect> paragraphs,
                              std::vector<std::optional<AXElement>> elements,
                              std::vector<std::optional<double>> tightFrameYOffsets,
                              std::vector<std::optional<double>> tightFrameHeights, bool boundsDisabled,
                              const AXElement& window, std::vector<std::optional<int>> anchorLocations)
{
    // Callers detach first; a second attach must not leave the first window, timer or monitor behind.
    if (isAttached())
        detach();
    Impl& d = *m_impl;
    d.paragraphs = std::move(paragraphs);
    d.paragraphElements = std::move(elements);
    d.tightFrameYOffsets = std::move(tightFrameYOffsets);
    d.tightFrameHeights = std::move(tightFrameHeights);
    d.trackedWindow = window;
    // Left from an earlier reading, these would move the new marks by the old reading's shifts.
    d.currentIndex = -1;
    d.appliedOffset = d.contentOffset = d.subDeltaOrigin = Point {};
    d.initialWindowOrigin = Point {};
    auto origin = AXReader::position(window);
    if (origin)
        d.initialWindowOrigin = *origin;
    d.originKnown = origin.has_value();

    d.ocrMode = boundsDisabled;
    d.baseParagraphs = d.paragraphs;
    d.baseWindowOrigin = d.initialWindowOrigin;

    if (d.ocrMode) {
        Log::line("[Overlay] OCR 基准参照系: baseWindowOrigin=(" + OverlayFormat::whole(d.baseWindowOrigin.x) + ","
                  + OverlayFormat::whole(d.baseWindowOrigin.y) + ") baseParagraphs=" + std::to_string(d.baseParagraphs.size()));
        Impl* impl = &d;
        d.scrollMonitor = ScrollWheelMonitor::addGlobal([impl](const ScrollWheelEvent& event) { impl->scrollWheel(event); });
    }

    d.sharedElement.reset();
    d.sharedElementInitialFirstCharY.reset();
    if (!d.ocrMode) {
        std::vector<AXElement> present;
        for (const auto& element : d.paragraphElements)
            if (element)
                present.push_back(*element);
        const bool allSame = present.size() >= 2
            && std::all_of(present.begin(), present.end(), [&](const AXElement& e) { return e == present.front(); });
        if (allSame) {
            d.sharedElement = present.front();
            if (auto bounds = AXReader::boundsForRange(present.front(), 0, 1))
                d.sharedElementInitialFirstCharY = bounds->minY();
        }
    }

    d.anchoredElement.reset();
    d.anchoredInitialY.reset();
    if (!d.ocrMode && d.paragraphs.size() == 1) {
        auto element = entry(d.paragraphElements, 0);
        auto location = entry(anchorLocations, 0);
        if (element && location) {
            d.anchoredElement = element;
            d.anchoredLocation = *location;
            if (auto bounds = AXReader::boundsForRange(*element, *location, 1)) {
                d.anchoredInitialY = bounds->minY();
                Log::line("[Overlay] anchored follow: loc=" + std::to_string(*location)
                          + " initY=" + OverlayFormat::whole(bounds->minY()));
            }
        }
    }

    const std::vector<ScreenInfo> screens = Screen::screens();
    std::optional<ScreenInfo> chosen;
    if (!screens.empty()) {
        const double primaryHeight = screens.front().frame.height();
        const Point centre { toScreenContaining.midX(), toScreenContaining.midY() };
        for (const ScreenInfo& screen : screens) {
            if (topLeftFrame(screen, primaryHeight).contains(centre)) {
                chosen = screen;
                break;
            }
        }
    }
    if (!chosen)
        chosen = Screen::main();

    if (chosen) {
        const Rect& screenFrame = chosen->frame;
        auto overlayWindow = std::make_shared<Window>(screenFrame, WindowStyle::borderless);
        overlayWindow->setOpaque(false);
        overlayWindow->setBackgroundColor(Color::clear());
        overlayWindow->setLevel(WindowLevel::floating);
        overlayWindow->setIgnoresMouseEvents(true);
        overlayWindow->setCollectionBehavior(overlayCollectionBehavior);
        overlayWindow->setHasShadow(false);

        auto view = std::make_shared<HighlightView>(Rect(0, 0, screenFrame.width(), screenFrame.height()));
        view->setScreenFrame(screenFrame);
        view->setParagraphs(d.paragraphs);
        view->setCurrentIndex(-1);
        overlayWindow->setContentView(view);
        d.window = overlayWindow;
        d.view = view;
        overlayWindow->orderFrontRegardless();

        using OverlayFormat::rectWhole;
        const ScreenInfo primary = screens.empty() ? *chosen : screens.front();
        Log::line("[Overlay] screen.frame(Cocoa)=" + rectWhole(screenFrame));
        Log::line("[Overlay] primary.frame(Cocoa)=" + rectWhole(primary.frame));
        Log::line("[Overlay] window.frame=" + rectWhole(overlayWindow->frame()));
        Log::line("[Overlay] view.frame=" + rectWhole(view->frame()));
        Log::line("[Overlay] backingScaleFactor=" + OverlayFormat::whole(chosen->backingScaleFactor));
        if (!d.paragraphs.empty()) {
            const Rect& first = d.paragraphs.front();
            Log::line("[Overlay] firstPara AX=" + rectWhole(first)
                      + " cocoaY=" + OverlayFormat::whole(primary.frame.height() - first.minY() - first.height()));
        }
    } else {
        Log::line("[Overlay] ⚠️ no screen: the overlay window is not shown");
    }

    std::weak_ptr<HighlightOverlay> weak = weak_from_this();
    d.pollTimer = Timer::scheduled(followInterval, Timer::Repeats::yes, [weak](Timer& timer) {
        auto self = weak.lock();
        if (!self) {
            timer.invalidate();
            return;
        }
        self->m_impl->followTick();
    });
}

void HighlightOverlay::detach()
{
    Impl& d = *m_impl;
    if (d.pollTimer) {
        d.pollTimer->invalidate();
        d.pollTimer.reset();
    }
    d.scrollMonitor.reset();
    d.accumulatedScrollDy = 0;
    if (d.window)
        d.window->orderOut();
    d.window.reset();
    d.view.reset();
    d.trackedWindow.reset();
    d.sharedElement.reset();
    d.sharedElementInitialFirstCharY.reset();
    d.anchoredElement.reset();
    d.anchoredInitialY.reset();
    d.paginatedMode = false;
    d.ocrMode = false;
    d.baseParagraphs.clear();
}

void HighlightOverlay::setCurrent(int paragraphIndex)
{
    m_impl->currentIndex = paragraphIndex;
    DispatchQueue::main().async([weak = weak_from_this(), paragraphIndex] {
        auto self = weak.lock();
        if (!self || !self->m_impl->view)
            return;
        HighlightView& view = *self->m_impl->view;
        view.setCurrentIndex(paragraphIndex);
        view.setSubHighlightRects({});
        view.setNeedsDisplay();
    });
}

void HighlightOverlay::setSubHighlight(std::vector<Rect> rects)
{
    const Point delta = m_impl->subHighlightDelta();
    DispatchQueue::main().async([weak = weak_from_this(), rects = std::move(rects), delta] {
        auto self = weak.lock();
        if (!self || !self->m_impl->view)
            return;
        HighlightView& view = *self->m_impl->view;
        view.setSubHighlightRects(offsetAll(rects, delta.x, delta.y));
        view.setNeedsDisplay();
    });
}

void HighlightOverlay::updateParagraphRects(std::vector<Rect> rects)
{
    Impl& d = *m_impl;
    d.paragraphs = rects;
    d.baseParagraphs = rects;
    d.appliedOffset = d.contentOffset = d.subDeltaOrigin = Point {};
    d.accumulatedScrollDy = 0;
    std::optional<Point> origin;
    if (d.trackedWindow)
        origin = AXReader::position(*d.trackedWindow);
    if (origin) {
        d.initialWindowOrigin = *origin;
        d.baseWindowOrigin = *origin;
        d.originKnown = true;
    } else if (!d.ocrMode) {
        // Measured with the window where it was last seen.
        d.baseWindowOrigin = d.initialWindowOrigin;
    }
    DispatchQueue::main().async([weak = weak_from_this(), rects = std::move(rects)] {
        auto self = weak.lock();
        if (!self || !self->m_impl->view)
            return;
        self->m_impl->view->setParagraphs(rects);
        self->m_impl->view->setNeedsDisplay();
    });
}

void HighlightOverlay::setHidden(bool hidden)
{
    DispatchQueue::main().async([weak = weak_from_this(), hidden] {
        auto self = weak.lock();
        if (!self || !self->m_impl->window)
            return;
        if (hidden)
            self->m_impl->window->orderOut();
        else
            self->m_impl->window->orderFrontRegardless();
    });
}

bool HighlightOverlay::paginatedMode() const { return m_impl->paginatedMode; }
void HighlightOverlay::setPaginatedMode(bool paginated) { m_impl->paginatedMode = paginated; }

void HighlightOverlay::setParagraphElements(std::vector<std::optional<AXElement>> elements)
{
    m_impl->paragraphElements = std::move(elements);
}

void HighlightOverlay::setTightFrameYOffsets(std::vector<std::optional<double>> offsets)
{
    m_impl->tightFrameYOffsets = std::move(offsets);
}

void HighlightOverlay::setTightFrameHeights(std::vector<std::optional<double>> heights)
{
    m_impl->tightFrameHeights = std::move(heights);
}

Point HighlightOverlay::subHighlightDelta() const { return m_impl->subHighlightDelta(); }

void HighlightOverlay::setSubHighlightDelta(Point delta)
{
    Impl& d = *m_impl;
    d.subDeltaOrigin = Point { d.appliedOffset.x - delta.x, d.appliedOffset.y - delta.y };
}

bool HighlightOverlay::isAttached() const { return m_impl->window != nullptr || m_impl->pollTimer != nullptr; }
bool HighlightOverlay::ocrMode() const { return m_impl->ocrMode; }
const std::vector<Rect>& HighlightOverlay::paragraphs() const { return m_impl->paragraphs; }
int HighlightOverlay::currentIndex() const { return m_impl->currentIndex; }

// --- Following ---

void HighlightOverlay::Impl::scrollWheel(const ScrollWheelEvent& event)
{
    if (!ocrMode)
        return;
    if (trackedWindow) {
        // Wheel events over other applications do not scroll the tracked window's content.
        ProcessID trackedPid = 0;
        auto front = Platform::workspace().frontmostApplication();
        if (!front || Platform::accessibility().pid(*trackedWindow, trackedPid) != AXError::success || front->pid != trackedPid)
            return;
    }
    accumulatedScrollDy += event.hasPreciseScrollingDeltas ? event.scrollingDeltaY : pointsPerWheelLine * event.scrollingDeltaY;
}

void HighlightOverlay::Impl::followTick()
{
    if (!trackedWindow)
        return;
    auto position = AXReader::position(*trackedWindow);
    if (!position)
        return;
    if (!originKnown) {
        // The window did not answer at attach: the rectangles belong to where it is now, not to (0, 0).
        initialWindowOrigin = *position;
        baseWindowOrigin = *position;
        originKnown = true;
        return;
    }

    if (ocrMode) {
        const double dx = position->x - baseWindowOrigin.x;
        const double dy = position->y - baseWindowOrigin.y + accumulatedScrollDy;
        if (std::fabs(dx - appliedOffset.x) < minimumShift && std::fabs(dy - appliedOffset.y) < minimumShift)
            return;
        applyOffset(Point { dx, dy });
        return;
    }

    const Point windowShift { position->x - initialWindowOrigin.x, position->y - initialWindowOrigin.y };
    const Point correction = paginatedMode ? Point {} : contentCorrection(*position, windowShift);
    const double shiftX = windowShift.x + correction.x;
    const double shiftY = windowShift.y + correction.y;
    if (std::fabs(shiftX) < minimumShift && std::fabs(shiftY) < minimumShift)
        return;

    initialWindowOrigin = *position;
    contentOffset = Point { contentOffset.x + correction.x, contentOffset.y + correction.y };
    applyOffset(Point { position->x - baseWindowOrigin.x + contentOffset.x, position->y - baseWindowOrigin.y + contentOffset.y });
}

void HighlightOverlay::Impl::applyOffset(Point offset)
{
    const Point oldDelta = subHighlightDelta();
    appliedOffset = offset;
    paragraphs = offsetAll(baseParagraphs, offset.x, offset.y);
    if (!view)
        return;
    view->setParagraphs(paragraphs);
    if (!view->subHighlightRects().empty()) {
        const Point newDelta = subHighlightDelta();
        const double dx = newDelta.x - oldDelta.x, dy = newDelta.y - oldDelta.y;
        // Words placed for an absurd position are dropped; the next tick of the words hands them in again.
        if (std::isfinite(dx) && std::isfinite(dy))
            view->setSubHighlightRects(offsetAll(view->subHighlightRects(), dx, dy));
        else
            view->setSubHighlightRects({});
    }
    view->setNeedsDisplay();
}

// How far the top of one character moved since it was last read, with the stored top updated;
// none when the read cannot be trusted.
std::optional<double> HighlightOverlay::Impl::characterTopMove(const AXElement& element, int location,
                                                               std::optional<double>& storedTop, bool requirePositiveHeight)
{
    auto bounds = AXReader::boundsForRange(element, location, 1);
    if (!bounds)
        return std::nullopt;
    if (auto elementSize = AXReader::size(element); elementSize && elementHeightRatio * elementSize->height < bounds->height())
        return std::nullopt;
    if (requirePositiveHeight && !(bounds->height() > 0))
        return std::nullopt;
    const double move = bounds->minY() - *storedTop;
    storedTop = bounds->minY();
    return move;
}

Point HighlightOverlay::Impl::contentCorrection(Point windowPosition, Point windowShift)
{
    auto verticalOnly = [&](std::optional<double> move) -> Point {
        if (!move)
            return {};
        const double cy = *move - windowShift.y;
        // Written so that a difference of two infinite readings (not a number) is refused too.
        return Point { 0, std::fabs(cy) <= maximumCorrection ? cy : 0 };
    };

    if (anchoredElement && anchoredInitialY)
        return verticalOnly(characterTopMove(*anchoredElement, anchoredLocation, anchoredInitialY, true));
    if (sharedElement && sharedElementInitialFirstCharY)
        return verticalOnly(characterTopMove(*sharedElement, 0, sharedElementInitialFirstCharY, false));

    if (currentIndex < 0)
        return {};
    const auto index = static_cast<size_t>(currentIndex);
    auto element = entry(paragraphElements, index);
    if (!element)
        return {};
    auto p = AXReader::position(*element);
    if (!p)
        return {};
    if (auto windowSize = AXReader::size(*trackedWindow)) {
        const double left = windowPosition.x - elementSlack, top = windowPosition.y - elementSlack;
        const double right = windowPosition.x + windowSize->width + elementSlack;
        const double bottom = windowPosition.y + windowSize->height + elementSlack;
        if (p->x < left || p->x > right || p->y < top || p->y > bottom)
            return {};
    }
    // The rectangles and the element lists can disagree in length for a moment during a page
    // advance; without the paragraph's rectangle there is nothing to compare with.
    if (index >= baseParagraphs.size())
        return {};
    // Where the element stands when only the window moved, from the rectangle as it was set: the
    // rectangle as last shown may hold an absurd reading that cancels out here.
    const Rect& base = baseParagraphs[index];
    const double t = entry(tightFrameYOffsets, index).value_or(0);
    const double expectedX = base.minX() + (windowPosition.x - baseWindowOrigin.x) + contentOffset.x;
    const double expectedTop = base.minY() - t + (windowPosition.y - baseWindowOrigin.y) + contentOffset.y;
    if (!(std::fabs(p->x - expectedX) <= maximumCorrection))
        return {};
    const double cy = p->y - expectedTop;
    if (!(std::fabs(cy) <= maximumCorrection))
        return {};
    return Point { p->x - expectedX, cy };
}

} // namespace lorvantine
