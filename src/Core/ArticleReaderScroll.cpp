#include "Core/ArticleReader.h"
#include "Core/ArticleReaderScrollJob.h"

#include "Accessibility/AXReader.h"
#include "Overlay/HighlightOverlay.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/WindowServerPort.h"
#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace lorvantine {

namespace {

// Read page by page or screen by screen, never scrolled into view.
constexpr std::array<const char*, 3> unscrolledBundleIDs { "com.apple.iBooksX", "com.amazon.Lassen", "com.microsoft.Word" };
constexpr const char* scrollPagesBundleID = "com.apple.iWork.Pages";
constexpr int lastScrollAttempt = 4;
constexpr double scrollSettleSeconds = 0.3;
constexpr double comfortTopInset = 60;
constexpr double comfortBottomInset = 160;
constexpr double targetFraction = 0.3;
constexpr double pointsPerWheelLine = 20;
constexpr int maximumWheelLines = 15;
// A paragraph that moved less than this after a scroll did not move.
constexpr double minimumScrollMove = 1;
// A character rectangle this tall against its element is the whole element, not the character.
constexpr double fullRectangleShare = 0.9;

// One character's bounds, trusted only when it is not the whole element's rectangle.
std::optional<Rect> trustedProbe(const AXElement& element, int location, int length, const std::optional<Size>& elementSize)
{
    auto probe = AXReader::boundsForRange(element, location, length);
    if (!probe || (elementSize && fullRectangleShare * elementSize->height < probe->height()))
        return std::nullopt;
    return probe;
}

// The UTF-16 location and length of the text's last Character, counted from `start`.
std::pair<int, int> lastCharacterRange(const std::string& text, int start)
{
    const auto all = Text::characters(text);
    const int lastLength = all.empty() ? 1 : static_cast<int>(Text::utf16Count(all.back()));
    return { start + static_cast<int>(Text::utf16Count(text)) - lastLength, lastLength };
}

// Where paragraph `p` stands now, for deciding whether to scroll.
Rect currentParagraphRect(const ArticleParagraph& p)
{
    if (!p.element)
        return p.frame;
    if (!p.nativeCharOffset || p.boundsDisabled)
        return AXReader::rect(*p.element).value_or(p.frame);
    auto probe = trustedProbe(*p.element, *p.nativeCharOffset, 1, AXReader::size(*p.element));
    if (!probe)
        return p.frame;
    return Rect(p.frame.minX(), probe->minY(), p.frame.width(), p.frame.height());
}

// The rectangle the overlay shows for `p` after a scroll.
Rect overlayRect(const ArticleParagraph& p)
{
    if (p.boundsDisabled || !p.element)
        return p.frame;
    const AXElement& element = *p.element;
    const auto position = AXReader::position(element);
    const auto size = AXReader::size(element);
    if (!p.nativeCharOffset) {
        auto first = AXReader::boundsForRange(element, 0, 1);
        if (!position || !first)
            return position && size ? Rect(*position, *size) : p.frame;
        const double d = first->minY() - position->y;
        if (d < 0 || d >= 50)
            return size ? Rect(*position, *size) : p.frame;
        double h = p.frame.height();
        if (Text::characterCount(p.text) >= 2) {
            const auto [location, length] = lastCharacterRange(p.text, 0);
            if (auto last = AXReader::boundsForRange(element, location, length); last && first->minY() < last->maxY())
                h = std::max(last->maxY() - first->minY(), h);
        }
        return Rect(p.frame.minX(), first->minY(), p.frame.width(), h);
    }
    const int nco = *p.nativeCharOffset;
    auto probe = trustedProbe(element, nco, 1, size);
    if (!probe || std::abs(probe->minY() - p.frame.minY()) > 3 * p.frame.height() + 200)
        return p.frame;
    double h = p.frame.height();
    if (Text::utf16Count(p.text) >= 2) {
        const auto [location, length] = lastCharacterRange(p.text, nco);
        if (auto last = AXReader::boundsForRange(element, location, length))
            h = std::max(last->maxY() - probe->minY(), h);
    }
    return Rect(position ? position->x : p.frame.minX(), probe->minY(), size ? size->width : p.frame.width(), h);
}

} // namespace

void ArticleReader::scrollIfNeeded(int paragraphIndex)
{
    if (paragraphIndex < 0 || static_cast<size_t>(paragraphIndex) >= m_paragraphs.size())
        return;
    if (std::find(unscrolledBundleIDs.begin(), unscrolledBundleIDs.end(), m_activeBundleID) != unscrolledBundleIDs.end())
        return;
    auto job = std::make_shared<ScrollJob>();
    job->reader = weak_from_this();
    job->paragraphs = m_paragraphs;
    job->index = static_cast<size_t>(paragraphIndex);
    job->window = m_watchedWindow;
    job->bundleID = m_activeBundleID;
    job->genId = m_generationId;
    job->readingGen = m_readingFirstGeneration;
    if (m_activeBundleID == scrollPagesBundleID) {
        job->charsPerPage = m_pagesCharsPerPage;
        DispatchQueue::global(QualityOfService::userInitiated).async([job] {
            if (auto self = job->reader.lock())
                self->pagesScrollToVisiblePage(*job);
        });
        return;
    }
    DispatchQueue::global(QualityOfService::userInitiated).async([job = std::shared_ptr<const ScrollJob>(job)] {
        scrollLoop(job, 0);
    });
}

void ArticleReader::scrollLoop(const std::shared_ptr<const ScrollJob>& job, int attempt, std::optional<double> topBefore)
{
    if (attempt > lastScrollAttempt || !job->window || !job->isCurrent())
        return;
    const auto windowPosition = AXReader::position(*job->window);
    const auto windowSize = AXReader::size(*job->window);
    if (!windowPosition || !windowSize)
        return;
    const double viewTop = windowPosition->y + comfortTopInset;
    const double viewBot = windowPosition->y + windowSize->height - comfortBottomInset;
    const double viewH = viewBot - viewTop;
    const double targetLine = viewTop + targetFraction * viewH;
    const std::string i = std::to_string(job->index);
    const Rect r = currentParagraphRect(job->paragraphs[job->index]);
    Log::line("[scroll] win=(" + Format::whole(windowPosition->x) + "," + Format::whole(windowPosition->y) + ") "
              + Format::whole(windowSize->width) + "×" + Format::whole(windowSize->height) + " | viewTop=" + Format::whole(viewTop)
              + " viewBot=" + Format::whole(viewBot) + " viewH=" + Format::whole(viewH) + " | para[" + i + "] top="
              + Format::whole(r.minY()) + " bot=" + Format::whole(r.maxY()) + " h=" + Format::whole(r.height()));
    if (r.minY() >= viewTop && r.maxY() <= viewBot) {
        Log::line("[scroll] para[" + i + "] fully visible, skip");
        refreshOverlayRects(*job);
        return;
    }
    // A paragraph taller than the area never fits in it. Once its top has been brought to the
    // target line it is left where it is while some of it is still in the area, so that each piece
    // of its speech does not pull the view back to its top while the reader follows it down.
    const bool tall = r.height() > viewH;
    if (tall && r.minY() <= targetLine && r.maxY() > viewTop) {
        Log::line("[scroll] para[" + i + "] taller than the view and in place, skip");
        refreshOverlayRects(*job);
        return;
    }
    // The last scroll moved nothing: the view is at the document's end, or the window does not
    // scroll this way. Trying again would only post the same scroll every pass.
    if (topBefore && std::abs(r.minY() - *topBefore) < minimumScrollMove) {
        Log::line("[scroll] para[" + i + "] did not move, stop");
        refreshOverlayRects(*job);
        return;
    }
    Log::line("[scroll] para[" + i + "] NOT visible (top" + (r.minY() < viewTop ? "<viewTop" : "ok") + " bot"
              + (r.maxY() > viewBot ? ">viewBot" : "ok") + "), scrolling");
    // Positive when the paragraph has to move up to reach the target line.
    const double delta = r.minY() - targetLine;
    if (!job->isCurrent())
        return;
    if (!scrollByBar(*job, delta) && !scrollByWheel(*job, delta)) {
        refreshOverlayRects(*job);
        return;
    }
    // A tall paragraph gets one try: a second pass would find it still not inside the area.
    const int next = tall ? lastScrollAttempt + 1 : attempt + 1;
    DispatchQueue::global(QualityOfService::userInitiated).asyncAfter(seconds(scrollSettleSeconds), [job, next, top = r.minY()] {
        if (!job->isCurrent())
            return;
        refreshOverlayRects(*job);
        scrollLoop(job, next, top);
    });
}

bool ArticleReader::scrollByBar(const ScrollJob& job, double delta)
{
    const auto& element = job.paragraphs[job.index].element;
    if (!element)
        return false;
    const auto area = findScrollArea(*element, job.window);
    const auto areaSize = area ? AXReader::size(*area) : std::nullopt;
    if (!areaSize)
        return false;
    const double viewport = areaSize->height;
    double content = 0;
    if (auto web = AXReader::findAncestor(*element, "AXWebArea"); web && AXReader::size(*web)) {
        content = AXReader::size(*web)->height;
    } else if (const auto contents = AXReader::elementList(*area, "AXContents"); !contents.empty()) {
        if (auto first = AXReader::size(contents.front()))
            content = first->height;
    }
    if (content <= viewport)
        return false;
    const auto bar = AXReader::elementAttribute(*area, "AXVerticalScrollBar");
    const auto v = bar ? AXReader::number(*bar, "AXValue") : std::nullopt;
    if (!v)
        return false;
    const double moved = std::clamp(*v + delta / (content - viewport), 0.0, 1.0);
    const bool ok = Platform::accessibility().setAttributeValue(*bar, "AXValue", AXValue(moved)) == AXError::success;
    Log::line("[scroll] VB doc=" + Format::whole(content) + " view=" + Format::whole(viewport) + " Δpx=" + Format::whole(delta) + " "
              + Format::fixed(*v, 3) + "→" + Format::fixed(moved, 3) + " ok=" + (ok ? "true" : "false"));
    return ok;
}

bool ArticleReader::scrollByWheel(const ScrollJob& job, double delta)
{
    const auto position = job.window ? AXReader::position(*job.window) : std::nullopt;
    const auto size = job.window ? AXReader::size(*job.window) : std::nullopt;
    if (!position || !size)
        return false;
    const long long lines = static_cast<long long>(std::trunc(delta / pointsPerWheelLine));
    if (std::llabs(lines) < 1)
        return false;
    // Negative when the paragraph lies below the target line: the content has to move up.
    const auto wheel = static_cast<int32_t>((lines > 0 ? -1 : 1) * std::min<long long>(std::llabs(lines), maximumWheelLines));
    // From an event source of its own: watchers of the person's input tell it from their hand.
    InputEvent event = InputEvent::scrollWheel(EventSourceState::privateState, ScrollUnit::line, wheel);
    event.location = Point { position->x + 0.5 * size->width, position->y + 0.5 * size->height };
    Platform::windowServer().post(EventTap::hid, event);
    Log::line("[scroll] CGEvent wheel lines=" + std::to_string(wheel) + " at (" + Format::whole(event.location.x) + ","
              + Format::whole(event.location.y) + ")");
    return true;
}

std::optional<AXElement> ArticleReader::findScrollArea(const AXElement& element, const std::optional<AXElement>& window)
{
    if (auto area = AXReader::findAncestor(element, "AXScrollArea"))
        return area;
    if (!window)
        return std::nullopt;
    for (const AXElement& child : AXReader::rawChildren(*window)) {
        const std::string role = AXReader::attribute(child, "AXRole").value_or("");
        if (role == "AXScrollArea")
            return child;
        if (role != "AXSplitGroup")
            continue;
        std::optional<AXElement> rightmost;
        double rightmostX = 0;
        for (const AXElement& inner : AXReader::rawChildren(child)) {
            if (AXReader::attribute(inner, "AXRole").value_or("") != "AXScrollArea")
                continue;
            auto position = AXReader::position(inner);
            if (position && (!rightmost || position->x > rightmostX)) {
                rightmost = inner;
                rightmostX = position->x;
            }
        }
        if (rightmost)
            return rightmost;
    }
    return std::nullopt;
}

void ArticleReader::refreshOverlayRects(const ScrollJob& job)
{
    const auto& paragraphs = job.paragraphs;
    if (paragraphs.empty())
        return;
    const bool pages = job.bundleID == scrollPagesBundleID;
    // Paragraphs that all live in one element are followed by the overlay itself.
    const auto& shared = paragraphs.front().element;
    if (shared && !pages
        && std::all_of(paragraphs.begin(), paragraphs.end(), [&](const ArticleParagraph& p) { return p.element == shared; }))
        return;
    std::vector<Rect> rects;
    rects.reserve(paragraphs.size());
    for (const ArticleParagraph& p : paragraphs)
        rects.push_back(overlayRect(p));
    // A Pages pass re-pointed and measured its own copy of the paragraphs; the reading takes them
    // over only while it is still the one the pass began under.
    std::optional<std::vector<ArticleParagraph>> measured;
    if (pages)
        measured = paragraphs;
    DispatchQueue::main().async(
        [reader = job.reader, genId = job.genId, rects = std::move(rects), measured = std::move(measured)]() mutable {
            auto self = reader.lock();
            if (!self || !self->isCurrentGeneration(genId))
                return;
            if (measured)
                self->adoptMeasuredParagraphs(*measured);
            self->m_overlay->updateParagraphRects(std::move(rects));
        });
}

} // namespace lorvantine
