#include "Core/ArticleReader.h"
#include "Core/ArticleReaderScrollJob.h"
#include "Core/PagesBisection.h"

#include "Accessibility/AXReader.h"
#include "Documents/PagesSource.h"
#include "Overlay/HighlightOverlay.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace lorvantine {

namespace {

constexpr double pagesBandTopInset = 80;
constexpr double pagesBandBottomInset = 20;
constexpr double pagesTargetFraction = 0.3;
constexpr double pagesComfortAbove = 30;
constexpr double pagesComfortFraction = 0.7;
constexpr double pagesDefaultWindowHeight = 1000;
constexpr int pagesDefaultTotal = 1125;
constexpr double pagesDefaultAreaHeight = 810;
constexpr double pagesDefaultAreaWidth = 500;
constexpr int pagesBisectionAttempts = 10;
constexpr double pagesBisectionSettle = 0.2;
constexpr double pagesCalibrationStep = 0.02;
constexpr double pagesMoveSettle = 0.3;
constexpr double pagesRestoreSettle = 0.2;
constexpr double pagesStartupSettle = 0.3;
constexpr int pagesSearchDepth = 10;
// A character rectangle this tall against its page is the page's own rectangle, not the character.
constexpr double pagesFullShare = 0.9;


void pagesWriteBar(const AXElement& bar, double value)
{
    Platform::accessibility().setAttributeValue(bar, "AXValue", AXValue(value));
}

void pagesSleep(double secondsToWait) { Clock::current().sleep(seconds(secondsToWait)); }

// The first character's bounds at `nco` in `element`, unless they are the whole page's.
std::optional<Rect> pagesTrustedProbe(const AXElement& element, int nco)
{
    auto probe = AXReader::boundsForRange(element, nco, 1);
    if (!probe)
        return std::nullopt;
    if (auto size = AXReader::size(element); size && size->height > 0 && pagesFullShare * size->height < probe->height())
        return std::nullopt;
    return probe;
}

// The UTF-16 length of the text's last Character.
int pagesLastCharacterLength(const std::string& text)
{
    const auto all = Text::characters(text);
    return all.empty() ? 1 : static_cast<int>(Text::utf16Count(all.back()));
}

struct PagesBand {
    double top = 0;
    double bottom = 0;
    double target() const { return top + pagesTargetFraction * (bottom - top); }
    bool isComfortable(double y) const { return y >= top - pagesComfortAbove && y <= top + pagesComfortFraction * (bottom - top); }
};

} // namespace

double ArticleReader::pagesScrollableH(int readingGen) const
{
    std::lock_guard guard(m_pagesLock);
    return m_pagesCalibrationReading == readingGen ? m_pagesScrollableH : 0;
}

void ArticleReader::storePagesScrollableH(int readingGen, double height)
{
    std::lock_guard guard(m_pagesLock);
    if (m_pagesCalibrationReading == readingGen)
        m_pagesScrollableH = height;
}

void ArticleReader::resetPagesCalibration(int readingGen)
{
    std::lock_guard guard(m_pagesLock);
    m_pagesScrollableH = 0;
    m_pagesCalibrationReading = readingGen;
}

void ArticleReader::findPagesCharsPerPage(const AXElement& window)
{
    if (m_paragraphs.empty() || !m_paragraphs.front().element)
        return;
    const AXElement first = *m_paragraphs.front().element;
    const auto found = [this](const AXRange& range, const char* tag) {
        m_pagesCharsPerPage = static_cast<int>(range.length);
        Log::line("[Pages] charsPerPage=" + std::to_string(range.length) + tag + std::to_string(range.location) + ".."
                  + std::to_string(range.location + range.length) + ")");
    };
    if (auto area = PagesSource::findVisiblePageTextArea(window)) {
        if (auto range = PagesSource::getVisibleRange(*area); range && range->length >= 10) {
            found(*range, " (current view) visRange=[");
            applyPagesTA(m_paragraphs, *area, 0);
            return;
        }
    }
    if (auto range = PagesSource::getVisibleRange(first); range && range->length >= 10) {
        found(*range, " (firstEl) visRange=[");
        return;
    }
    // Between two pages nothing is readable: back to the top, where the first page is.
    const auto scrollArea = findScrollArea(first, window);
    if (!scrollArea)
        return;
    if (auto bar = AXReader::elementAttribute(*scrollArea, "AXVerticalScrollBar")) {
        pagesWriteBar(*bar, 0.0);
        pagesSleep(pagesStartupSettle);
        Log::line("[Pages] startup: scrollbar reset to 0 (fallback: 页间缝隙)");
    }
    if (auto area = PagesSource::findVisiblePageTextArea(window)) {
        if (auto range = PagesSource::getVisibleRange(*area); range && range->length > 10) {
            found(*range, " (after reset) visRange=[");
            applyPagesTA(m_paragraphs, *area, 0);
            return;
        }
    }
    if (auto range = PagesSource::getVisibleRange(first))
        found(*range, " (fallback) visRange=[");
}

void ArticleReader::adoptMeasuredParagraphs(const std::vector<ArticleParagraph>& measured)
{
    if (measured.size() != m_paragraphs.size())
        return;
    for (size_t k = 0; k < measured.size(); ++k) {
        m_paragraphs[k].element = measured[k].element;
        m_paragraphs[k].frame = measured[k].frame;
        m_paragraphs[k].boundsDisabled = measured[k].boundsDisabled;
    }
}

void ArticleReader::applyPagesTA(std::vector<ArticleParagraph>& paragraphs, const AXElement& textArea, int paragraphIndex)
{
    for (ArticleParagraph& p : paragraphs) {
        p.element = textArea;
        p.boundsDisabled = true;
    }
    pagesUpdateVisibleFrames(paragraphs, textArea, paragraphIndex);
}

void ArticleReader::pagesUpdateVisibleFrames(std::vector<ArticleParagraph>& paragraphs, const AXElement& element, int currentIndex)
{
    const auto range = PagesSource::getVisibleRange(element);
    if (!range)
        return;
    const auto position = AXReader::position(element);
    const auto size = AXReader::size(element);
    const double x = position ? position->x : 0;
    const double w = size ? size->width : pagesDefaultAreaWidth;
    // Unreadable: no rectangle can be told from the page's own, so nothing is measured.
    const double guard = size ? pagesFullShare * size->height : 0;
    for (size_t k = 0; k < paragraphs.size(); ++k) {
        ArticleParagraph& p = paragraphs[k];
        if (!p.nativeCharOffset || *p.nativeCharOffset < range->location || *p.nativeCharOffset >= range->location + range->length)
            continue;
        const int nco = *p.nativeCharOffset;
        const auto first = AXReader::boundsForRange(element, nco, 1);
        if (!first || first->height() >= guard)
            continue;
        double h = first->height();
        if (const int length = static_cast<int>(Text::utf16Count(p.text)); length >= 2) {
            const int lastLength = pagesLastCharacterLength(p.text);
            if (auto last = AXReader::boundsForRange(element, nco + length - lastLength, lastLength); last && last->height() < guard)
                h = std::max(last->maxY() - first->minY(), first->height());
        }
        p.frame = Rect(x, first->minY(), w, h);
        p.boundsDisabled = false;
        if (static_cast<int>(k) == currentIndex)
            Log::line("[Pages] para[" + std::to_string(k) + "] frame y=" + Format::whole(first->minY()) + " h=" + Format::whole(h));
    }
}

std::optional<double> ArticleReader::pagesBFRY(const AXElement& window, int nco, const ArticleParagraph& paragraph)
{
    for (const auto& candidate : { PagesSource::findTextAreaContaining(window, nco), PagesSource::findVisiblePageTextArea(window),
                                   paragraph.element }) {
        if (!candidate)
            continue;
        const auto probe = AXReader::boundsForRange(*candidate, nco, 1);
        if (!probe)
            continue;
        const auto size = AXReader::size(*candidate);
        if (!size || size->height <= 0)
            return probe->minY();
        if (pagesFullShare * size->height < probe->height())
            continue;
        return probe->minY();
    }
    return std::nullopt;
}

bool ArticleReader::takePagesScroll(uint64_t pass, const ScrollJob& job)
{
    std::lock_guard guard(m_pagesLock);
    if (m_pagesScrollOwner != 0) {
        // Only the latest refusal matters: an earlier paragraph is no longer the one spoken.
        m_pagesRefusedScroll = RefusedPagesScroll { static_cast<int>(job.index), job.genId };
        return false;
    }
    m_pagesScrollOwner = pass;
    return true;
}

void ArticleReader::releasePagesScroll(uint64_t pass, const ScrollJob& job)
{
    std::optional<RefusedPagesScroll> refused;
    {
        std::lock_guard guard(m_pagesLock);
        // A pass left over from a stopped reading finds the ownership gone and leaves it alone.
        if (m_pagesScrollOwner != pass)
            return;
        m_pagesScrollOwner = 0;
        refused = std::exchange(m_pagesRefusedScroll, std::nullopt);
    }
    // Another piece of the paragraph this pass was for: done already.
    if (!refused || (refused->index == static_cast<int>(job.index) && refused->genId == job.genId))
        return;
    // Behind the measurements this pass handed to the main queue, so the new pass starts from them.
    DispatchQueue::main().async([weak = weak_from_this(), refused = *refused] {
        auto self = weak.lock();
        if (!self || !self->isCurrentGeneration(refused.genId) || self->m_overlay->currentIndex() != refused.index)
            return;
        Log::line("[Pages] resume scroll for para[" + std::to_string(refused.index) + "]");
        self->scrollIfNeeded(refused.index);
    });
}

void ArticleReader::pagesScrollToVisiblePage(ScrollJob& job)
{
    const std::string i = std::to_string(job.index);
    const uint64_t pass = ++m_pagesPassSerial;
    if (!takePagesScroll(pass, job)) {
        Log::line("[Pages] skip scroll for para[" + i + "] — another scroll in progress");
        return;
    }
    struct Release {
        ArticleReader& reader;
        uint64_t pass;
        const ScrollJob& job;
        ~Release() { reader.releasePagesScroll(pass, job); }
    } release { *this, pass, job };

    if (!job.window || job.index >= job.paragraphs.size() || !job.paragraphs[job.index].nativeCharOffset || !job.isCurrent())
        return;
    const AXElement window = *job.window;
    const ArticleParagraph& paragraph = job.paragraphs[job.index];
    const int nco = *paragraph.nativeCharOffset;
    const int paragraphIndex = static_cast<int>(job.index);

    const double winY = AXReader::position(window).value_or(Point {}).y;
    const double winH = AXReader::size(window) ? AXReader::size(window)->height : pagesDefaultWindowHeight;

    std::optional<AXElement> textElement = paragraph.element;
    if (!textElement)
        textElement = PagesSource::searchForTextArea(window, 0, pagesSearchDepth);
    int total = pagesDefaultTotal;
    if (textElement) {
        total = AXReader::numberOfCharacters(*textElement).value_or(pagesDefaultTotal);
        if (total < 1)
            return;
    }
    if (job.charsPerPage <= 0)
        return;
    const auto areaSize = textElement ? AXReader::size(*textElement) : std::nullopt;
    const double areaH = areaSize ? areaSize->height : pagesDefaultAreaHeight;
    const double calibrated = pagesScrollableH(job.readingGen);
    const double scrollableH = calibrated > 0
        ? calibrated
        : areaH * (std::max(static_cast<double>(total) / job.charsPerPage, 2.0) - 1);
    if (!textElement)
        textElement = PagesSource::searchForTextArea(window, 0, pagesSearchDepth);
    if (!textElement)
        return;

    const auto scrollArea = findScrollArea(*textElement, window);
    const auto bar = scrollArea ? AXReader::elementAttribute(*scrollArea, "AXVerticalScrollBar") : std::nullopt;
    if (!bar)
        return;
    const PagesBand band { winY + pagesBandTopInset, winY + winH - pagesBandBottomInset };
    const double sb0 = AXReader::number(*bar, "AXValue").value_or(0);

    for (const auto& candidate : { PagesSource::findTextAreaContaining(window, nco), paragraph.element }) {
        if (!candidate)
            continue;
        const auto probe = pagesTrustedProbe(*candidate, nco);
        if (!probe)
            continue;
        if (!job.isCurrent())
            return;
        if (band.isComfortable(probe->minY())) {
            applyPagesTA(job.paragraphs, *candidate, paragraphIndex);
            refreshOverlayRects(job);
        } else {
            pagesComputedScroll(job, *bar, nco, probe->minY(), sb0, band.target(), scrollableH);
        }
        return;
    }

    PagesBisection bisection = PagesBisection::start(nco, job.charsPerPage, total);
    for (int attempt = 0; attempt < pagesBisectionAttempts; ++attempt) {
        if (!job.isCurrent())
            return;
        pagesWriteBar(*bar, bisection.mid);
        pagesSleep(pagesBisectionSettle);
        if (!job.isCurrent())
            return;
        if (auto area = PagesSource::findTextAreaContaining(window, nco)) {
            if (auto probe = AXReader::boundsForRange(*area, nco, 1)) {
                const auto size = AXReader::size(*area);
                if (!size || size->height <= 0 || pagesFullShare * size->height >= probe->height()) {
                    Log::line("[Pages] ✓ found page (attempt " + std::to_string(attempt) + ") y=" + Format::whole(probe->minY())
                              + ", correcting to 30%");
                    pagesComputedScroll(job, *bar, nco, probe->minY(), bisection.mid, band.target(), scrollableH);
                    return;
                }
            }
        }
        std::optional<AXRange> visible;
        if (auto page = PagesSource::findVisiblePageTextArea(window))
            if (auto range = PagesSource::getVisibleRange(*page); range && range->length >= PagesBisection::minimumVisibleLength)
                visible = range;
        if (visible)
            Log::line("[Pages] attempt " + std::to_string(attempt) + ": sb=" + Format::fixed(bisection.mid, 3) + " vis=["
                      + std::to_string(visible->location) + ".." + std::to_string(visible->location + visible->length)
                      + ") nco=" + std::to_string(nco));
        else
            Log::line("[Pages] attempt " + std::to_string(attempt) + ": sb=" + Format::fixed(bisection.mid, 3) + " — transition");
        bisection.narrow(visible);
        if (bisection.isSettled())
            break;
    }
    Log::line("[Pages] ⚠ 未能定位到 nco=" + std::to_string(nco) + " 的页面");
    if (job.isCurrent())
        refreshOverlayRects(job);
}

void ArticleReader::pagesComputedScroll(ScrollJob& job, const AXElement& bar, int nco, double currentY, double currentScroll,
                                        double scrollTarget, double scrollableH)
{
    if (!job.window)
        return;
    const AXElement window = *job.window;
    const std::string i = std::to_string(job.index);
    const ArticleParagraph paragraph = job.paragraphs[job.index];
    const double dy = currentY - scrollTarget;
    bool moved = false;
    if (pagesScrollableH(job.readingGen) == 0) {
        const double probeValue = std::clamp(currentScroll + (dy > 0 ? pagesCalibrationStep : -pagesCalibrationStep), 0.0, 1.0);
        pagesWriteBar(bar, probeValue);
        pagesSleep(pagesMoveSettle);
        if (!job.isCurrent())
            return;
        if (const auto y2 = pagesBFRY(window, nco, paragraph)) {
            const double dsb = probeValue - currentScroll;
            const double dyProbe = currentY - *y2;
            double h = scrollableH;
            if (std::abs(dsb) > 0.001 && std::abs(dyProbe) > 10 && dyProbe / dsb > 500) {
                h = dyProbe / dsb;
                storePagesScrollableH(job.readingGen, h);
                Log::line("[Pages] calibrated scrollableH=" + Format::whole(h) + " (probe: Δsb=" + Format::fixed(dsb, 3)
                          + " Δy=" + Format::whole(dyProbe) + ")");
            }
            const double target = std::clamp(probeValue + (*y2 - scrollTarget) / std::max(h, 1.0), 0.0, 1.0);
            Log::line("[Pages] scroll: para[" + i + "] y=" + Format::whole(currentY) + "→probe=" + Format::whole(*y2) + "→target="
                      + Format::whole(scrollTarget) + " sb " + Format::fixed(currentScroll, 3) + "→" + Format::fixed(target, 3));
            pagesWriteBar(bar, target);
            pagesSleep(pagesMoveSettle);
            moved = true;
        } else {
            pagesWriteBar(bar, currentScroll);
            pagesSleep(pagesRestoreSettle);
        }
        if (!job.isCurrent())
            return;
    }
    if (!moved) {
        const double target = std::clamp(currentScroll + dy / std::max(scrollableH, 1.0), 0.0, 1.0);
        Log::line("[Pages] scroll: para[" + i + "] y=" + Format::whole(currentY) + " → target=" + Format::whole(scrollTarget) + " Δpx="
                  + Format::whole(dy) + " sb " + Format::fixed(currentScroll, 3) + "→" + Format::fixed(target, 3));
        pagesWriteBar(bar, target);
        pagesSleep(pagesMoveSettle);
        if (!job.isCurrent())
            return;
    }
    auto area = PagesSource::findTextAreaContaining(window, nco);
    if (!area)
        area = PagesSource::findVisiblePageTextArea(window);
    if (area)
        applyPagesTA(job.paragraphs, *area, static_cast<int>(job.index));
    refreshOverlayRects(job);
}

} // namespace lorvantine
