// The overlay and the mini player of this test binary: they record what the reading session asks
// of them in the panel journal and draw nothing. They stand in for the real panels, which are
// built on the UI toolkit, and go when those exist.

#include "Reading/PanelJournal.h"

#include "Overlay/HighlightOverlay.h"
#include "Player/MiniPlayer.h"

namespace lorvantine {

namespace {

std::string flag(bool value) { return value ? "true" : "false"; }

} // namespace

namespace test {

namespace {

struct JournalState {
    std::mutex mutex;
    std::vector<std::string> entries;
};

JournalState& journal()
{
    static JournalState state;
    return state;
}

} // namespace

void PanelJournal::record(std::string entry)
{
    std::lock_guard guard(journal().mutex);
    journal().entries.push_back(std::move(entry));
}

std::vector<std::string> PanelJournal::entries()
{
    std::lock_guard guard(journal().mutex);
    return journal().entries;
}

std::vector<std::string> PanelJournal::entriesStartingWith(std::string_view prefix)
{
    std::vector<std::string> found;
    for (auto& entry : entries()) {
        if (std::string_view(entry).substr(0, prefix.size()) == prefix)
            found.push_back(std::move(entry));
    }
    return found;
}

void PanelJournal::clear()
{
    std::lock_guard guard(journal().mutex);
    journal().entries.clear();
}

} // namespace test

using test::PanelJournal;

struct HighlightOverlay::Impl {
    bool paginatedMode = false;
    Point subHighlightDelta;
};

HighlightOverlay::HighlightOverlay() : m_impl(std::make_unique<Impl>()) { }
HighlightOverlay::~HighlightOverlay() = default;

void HighlightOverlay::attach(const Rect&, std::vector<Rect> paragraphs, std::vector<std::optional<AXElement>>,
                              std::vector<std::optional<double>>, std::vector<std::optional<double>>, bool boundsDisabled,
                              const AXElement&, std::vector<std::optional<int>>)
{
    PanelJournal::record("overlay.attach " + std::to_string(paragraphs.size()) + (boundsDisabled ? " boundsDisabled" : ""));
}

void HighlightOverlay::detach()
{
    m_impl->paginatedMode = false;
    PanelJournal::record("overlay.detach");
}

void HighlightOverlay::setCurrent(int paragraphIndex) { PanelJournal::record("overlay.setCurrent " + std::to_string(paragraphIndex)); }

void HighlightOverlay::setSubHighlight(std::vector<Rect> rects)
{
    if (!rects.empty())
        PanelJournal::record("overlay.setSubHighlight " + std::to_string(rects.size()));
}

void HighlightOverlay::updateParagraphRects(std::vector<Rect> rects)
{
    PanelJournal::record("overlay.updateParagraphRects " + std::to_string(rects.size()));
}

void HighlightOverlay::setHidden(bool hidden) { PanelJournal::record("overlay.setHidden " + flag(hidden)); }
bool HighlightOverlay::paginatedMode() const { return m_impl->paginatedMode; }
void HighlightOverlay::setPaginatedMode(bool paginated) { m_impl->paginatedMode = paginated; }

void HighlightOverlay::setParagraphElements(std::vector<std::optional<AXElement>> elements)
{
    PanelJournal::record("overlay.setParagraphElements " + std::to_string(elements.size()));
}

void HighlightOverlay::setTightFrameYOffsets(std::vector<std::optional<double>>) { }
void HighlightOverlay::setTightFrameHeights(std::vector<std::optional<double>>) { }
Point HighlightOverlay::subHighlightDelta() const { return m_impl->subHighlightDelta; }

void HighlightOverlay::setSubHighlightDelta(Point delta)
{
    m_impl->subHighlightDelta = delta;
    PanelJournal::record("overlay.setSubHighlightDelta");
}

struct MiniPlayer::Impl { };

MiniPlayer::MiniPlayer() : m_impl(std::make_unique<Impl>()) { }
MiniPlayer::~MiniPlayer() = default;

void MiniPlayer::setPlaying(bool playing) { PanelJournal::record("mini.setPlaying " + flag(playing)); }

void MiniPlayer::setProgress(int current, int total)
{
    PanelJournal::record("mini.setProgress " + std::to_string(current + 1) + "/" + std::to_string(total));
}

void MiniPlayer::configureForLanguage(bool isChinese) { PanelJournal::record(std::string("mini.configureForLanguage ") + (isChinese ? "zh" : "en")); }
void MiniPlayer::setHidden(bool hidden) { PanelJournal::record("mini.setHidden " + flag(hidden)); }

} // namespace lorvantine
