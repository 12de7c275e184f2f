#include "Core/ArticleReader.h"

#include "Accessibility/AXReader.h"
#include "Audio/AudioPlayer.h"
#include "Overlay/HighlightOverlay.h"
#include "Player/MiniPlayer.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <cmath>

namespace lorvantine {

namespace {

constexpr const char* booksBundleID = "com.apple.iBooksX";
constexpr size_t booksFingerprintLength = 30;
constexpr size_t booksReferenceMinimumLength = 10;

std::string wholeNumber(double value)
{
    return std::isfinite(value) ? std::to_string(static_cast<long long>(std::trunc(value))) : "0";
}

} // namespace

void ArticleReader::installPlayerCallbacks(int total)
{
    installParagraphChangeHandler(total);
    std::weak_ptr<ArticleReader> weak = weak_from_this();
    m_player->onFinishAll = [weak] {
        if (auto self = weak.lock())
            self->handleFinishAll();
    };
    m_player->onFirstPlay = [weak] {
        if (auto self = weak.lock())
            self->handleFirstPlay();
    };
}

void ArticleReader::installParagraphChangeHandler(int total)
{
    m_player->onParagraphChange = [weak = weak_from_this(), total](int paragraphIndex) {
        if (auto self = weak.lock())
            self->handleParagraphChange(paragraphIndex, total);
    };
}

void ArticleReader::handleParagraphChange(int paragraphIndex, int total)
{
    if (!m_isReading)
        return;
    m_overlay->setCurrent(paragraphIndex);
    if (floatingPlayer) {
        // A piece that starts under a held pause is not playing.
        floatingPlayer->setPlaying(!isPlayerPaused());
        floatingPlayer->setProgress(paragraphIndex, total);
    }
    scrollIfNeeded(paragraphIndex);
}

bool ArticleReader::isPlayerPaused()
{
    std::lock_guard guard(m_player->lock);
    return m_player->currentPlayer && !m_player->currentPlayer->isPlaying();
}

void ArticleReader::handleFirstPlay()
{
    if (!m_isReading || m_firstPlayingFired)
        return;
    m_firstPlayingFired = true;
    if (auto firstPlaying = onFirstPlaying)
        firstPlaying();
}

bool ArticleReader::everythingPlayed()
{
    if (m_player->currentPlayingParagraphOrPending())
        return false;
    std::lock_guard guard(m_player->lock);
    return !m_player->stopped && m_player->producerFinished && m_player->queue.empty() && !m_player->currentPlayer
        && m_player->generation == m_generationId;
}

void ArticleReader::handleFinishAll()
{
    // The player posts its finish; a stop, a restart or a seek can come in between. Only a finish
    // that still holds for this reading's current generation ends the page.
    if (!m_isReading || m_isAutoTurningPage || !everythingPlayed())
        return;

    if (!onNeedNextPage) {
        Log::line("[ArticleReader] ✓ 播放完成");
        endReadingBySelf();
        return;
    }

    Log::line("[ArticleReader] 📖 当前页播完，请求翻页...");
    m_isAutoTurningPage = true;
    NextPageCompletion completion = [weak = weak_from_this(), generation = m_generationId.load(), answered = std::make_shared<bool>(false)](
                                        std::optional<std::vector<ArticleParagraph>> paragraphs) {
        if (*answered)
            return;
        *answered = true;
        auto self = weak.lock();
        // A page that answers a reading since replaced must not be read into the new one.
        if (!self || (self->m_isReading && !self->belongsToCurrentReading(generation)))
            return;
        self->handleAutoPageTurn(std::move(paragraphs));
    };
    auto ask = onNeedNextPage;
    ask(std::move(completion));
}

void ArticleReader::handleAutoPageTurn(std::optional<std::vector<ArticleParagraph>> paragraphs)
{
    if (!m_isReading) {
        m_isAutoTurningPage = false;
        return;
    }
    if (!paragraphs || paragraphs->empty()) {
        Log::line("[ArticleReader] 📖 无更多页面，播放结束");
        endReadingBySelf();
        return;
    }

    Log::line("[ArticleReader] 📖 翻页成功，新页 " + std::to_string(paragraphs->size()) + " 段");
    std::vector<Rect> frames;
    std::vector<std::optional<AXElement>> elements;
    std::vector<std::optional<double>> tightOffsets;
    std::vector<std::optional<double>> tightHeights;
    for (size_t k = 0; k < paragraphs->size(); ++k) {
        ArticleParagraph& paragraph = (*paragraphs)[k];
        paragraph.index = static_cast<int>(k);
        paragraph.axFullText.reset();
        frames.push_back(paragraph.frame);
        elements.push_back(paragraph.element);
        tightOffsets.push_back(paragraph.tightFrameYOffset);
        tightHeights.push_back(paragraph.tightFrameHeight);
    }
    m_paragraphs = std::move(*paragraphs);

    m_overlay->updateParagraphRects(std::move(frames));
    m_overlay->setParagraphElements(std::move(elements));
    m_overlay->setTightFrameYOffsets(std::move(tightOffsets));
    m_overlay->setTightFrameHeights(std::move(tightHeights));
    m_overlay->setCurrent(0);

    installParagraphChangeHandler(static_cast<int>(m_paragraphs.size()));
    m_isAutoTurningPage = false;
    if (m_activeBundleID == booksBundleID)
        updateBooksFingerprint();
    takeSharedTextFingerprint();

    const int generation = beginGeneration();
    m_player->flushQueue(generation);
    runGenerationLoop(m_paragraphs, 0, generation);
}

void ArticleReader::updateBooksFingerprint()
{
    auto fingerprintFrom = [](const ArticleParagraph& paragraph) {
        const std::string value = AXReader::attribute(*paragraph.element, AXName::value).value_or("");
        const std::string& source = Text::characterCount(value) >= booksReferenceMinimumLength ? value : paragraph.text;
        return Text::characterPrefix(source, booksFingerprintLength);
    };
    auto isCandidate = [](const ArticleParagraph& paragraph) {
        return paragraph.element && Text::characterCount(paragraph.text) >= booksReferenceMinimumLength;
    };

    // A paragraph with its own element is the narrowest reference: its text moves with the page.
    for (const auto& paragraph : m_paragraphs) {
        if (paragraph.nativeCharOffset || !isCandidate(paragraph))
            continue;
        m_booksPageFingerprint = fingerprintFrom(paragraph);
        m_booksReferenceElement = paragraph.element;
        m_booksReferenceCharOffset = 0;
        Log::line("[Books] fingerprint: narrow \"" + m_booksPageFingerprint + "\" x=" + wholeNumber(paragraph.frame.minX()));
        return;
    }
    for (const auto& paragraph : m_paragraphs) {
        if (!isCandidate(paragraph))
            continue;
        m_booksPageFingerprint = fingerprintFrom(paragraph);
        m_booksReferenceElement = paragraph.element;
        m_booksReferenceCharOffset = paragraph.nativeCharOffset.value_or(0);
        Log::line("[Books] fingerprint: wide nco=" + std::to_string(m_booksReferenceCharOffset) + " \"" + m_booksPageFingerprint + "\"");
        return;
    }
    m_booksPageFingerprint.clear();
    m_booksReferenceElement.reset();
    m_booksReferenceCharOffset = 0;
}

} // namespace lorvantine
