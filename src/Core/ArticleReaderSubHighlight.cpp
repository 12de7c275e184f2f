#include "Core/ArticleReader.h"

#include "Audio/AudioPlayer.h"
#include "Core/SubHighlightMapper.h"
#include "Core/SubRectPrecomputation.h"
#include "Overlay/HighlightOverlay.h"
#include "Platform/Dispatch/Dispatch.h"

namespace lorvantine {

namespace {

constexpr Duration subHighlightInterval = seconds(0.1);

} // namespace

void ArticleReader::startSubHighlightTimer()
{
    if (m_subHighlightTimer)
        m_subHighlightTimer->invalidate();
    m_subHighlightTimer = Timer::scheduled(subHighlightInterval, Timer::Repeats::yes, [weak = weak_from_this()](Timer& timer) {
        if (auto self = weak.lock())
            self->tickSubHighlight();
        else
            timer.invalidate();
    });
}

void ArticleReader::tickSubHighlight()
{
    std::optional<SubHighlightMapper::Playback> playback;
    if (m_isReading) {
        std::lock_guard guard(m_player->lock);
        if (m_player->currentSegment && m_player->currentPlayer)
            playback = SubHighlightMapper::Playback::of(*m_player->currentSegment, m_player->currentPlayer->currentTime(),
                                                        m_player->currentPlayer->duration());
    }

    auto outcome = SubHighlightMapper::tick(m_subHighlight, playback, m_paragraphs);
    if (outcome.precomputation) {
        SubRectPrecomputation::schedule(std::move(*outcome.precomputation),
                                        [weak = weak_from_this()](SubRectPrecomputation::Publication publication) {
                                            auto self = weak.lock();
                                            if (!self)
                                                return;
                                            const auto form = publication.form;
                                            if (SubHighlightMapper::acceptPublication(self->m_subHighlight, std::move(publication))
                                                && form == SubRectPrecomputation::Publication::Form::accessibility)
                                                self->m_overlay->setSubHighlightDelta(Point {});
                                        });
    }
    m_overlay->setSubHighlight(std::move(outcome.rects));
}

} // namespace lorvantine
