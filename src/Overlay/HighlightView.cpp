#include "Overlay/HighlightView.h"

#include "Overlay/OverlayFormat.h"
#include "Platform/Toolkit/Painter.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/Toolkit/Window.h"
#include "Preferences/PreferencesModel.h"
#include "Support/Log.h"

#include <algorithm>
#include <cmath>

namespace lorvantine {

namespace {

constexpr double paragraphMarkOutsetX = 4;
constexpr double paragraphMarkOutsetY = 2;
constexpr double paragraphMarkRadius = 4;
constexpr double subHighlightRadius = 2;

// A stored opacity outside 0...1 (or not a number at all) must not make the marks hide the text.
double usableOpacity(float stored, float fallback)
{
    if (!std::isfinite(stored))
        return fallback;
    return std::clamp(static_cast<double>(stored), 0.0, 1.0);
}

} // namespace

HighlightView::HighlightView(const Rect& frame) : View(frame) { }

void HighlightView::draw(Painter& painter, const Rect&)
{
    if (m_currentIndex < 0 || m_currentIndex >= static_cast<int>(m_paragraphs.size()))
        return;
    auto primaryHeight = Screen::primaryHeight();
    if (!primaryHeight)
        return;
    const double H = *primaryHeight;
    // The view covers `m_screenFrame`; on the primary screen its origin is the global origin.
    const double originX = m_screenFrame.minX();
    const double originY = m_screenFrame.minY();
    auto toView = [&](const Rect& r) { return Rect(r.minX() - originX, H - r.minY() - r.height() - originY, r.width(), r.height()); };

    // A paragraph with an empty frame has no known place on screen: no mark rather than a wrong one.
    const Rect& paragraph = m_paragraphs[static_cast<size_t>(m_currentIndex)];
    if (m_paragraphs.size() >= 2 && !paragraph.isEmpty()) {
        const Rect mark = toView(paragraph);
        const Rect widened(mark.minX() - paragraphMarkOutsetX, mark.minY() - paragraphMarkOutsetY,
                           mark.width() + 2 * paragraphMarkOutsetX, mark.height() + 2 * paragraphMarkOutsetY);
        const double alpha = usableOpacity(PreferencesModel::highlightOpacity(), PreferencesModel::fallbackHighlightOpacity);
        painter.fillRoundedRect(widened, paragraphMarkRadius, markColor().withAlpha(alpha));
    }

    if (!m_subHighlightRects.empty()) {
        if (!m_hasLoggedSubHighlight) {
            m_hasLoggedSubHighlight = true;
            logFirstSubHighlight(H);
        }
        // One path filled once, so overlapping word boxes do not darken where they meet.
        Path path;
        for (const Rect& r : m_subHighlightRects)
            if (!r.isEmpty())
                path.addRoundedRect(toView(r), subHighlightRadius);
        const double alpha
            = usableOpacity(PreferencesModel::subHighlightOpacity(), PreferencesModel::fallbackSubHighlightOpacity);
        painter.fill(path, markColor().withAlpha(alpha));
    }
}

void HighlightView::logFirstSubHighlight(double primaryHeight) const
{
    using OverlayFormat::decimal1;
    using OverlayFormat::rect1;
    Log::line("[Overlay:draw] primaryHeight=" + decimal1(primaryHeight) + " view.frame=" + rect1(frame())
              + " bounds=" + rect1(bounds()) + " window.frame=" + (window() ? rect1(window()->frame()) : std::string("none")));
    const Rect& first = m_subHighlightRects.front();
    Log::line("[Overlay:draw] firstSubHL AX=" + rect1(first) + " drawY=" + decimal1(primaryHeight - first.minY() - first.height()));
    const Rect& paragraph = m_paragraphs[static_cast<size_t>(m_currentIndex)];
    Log::line("[Overlay:draw] paraHL AX=" + rect1(paragraph)
              + " drawY=" + decimal1(primaryHeight - paragraph.minY() - paragraph.height()));
}

} // namespace lorvantine
