#include "Core/ArticleReader.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/ArticleParser.h"
#include "Audio/AudioPlayer.h"
#include "Core/PreparedParagraphs.h"
#include "Network/TTSCancellation.h"
#include "Network/TTSClient.h"
#include "Overlay/HighlightOverlay.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Player/MiniPlayer.h"
#include "Preferences/PreferencesModel.h"
#include "Support/CallStack.h"
#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>

namespace lorvantine {

namespace {

constexpr const char* booksBundleID = "com.apple.iBooksX";
constexpr const char* pagesBundleID = "com.apple.iWork.Pages";
constexpr size_t sharedTextFingerprintLength = 50;
constexpr int stopTraceDepth = 8;
// The user-initiated activity options, idle system sleep included.
constexpr uint64_t userInitiatedActivity = 0xFFFFFF;

std::string frontApplicationBundleID()
{
    if (auto front = Platform::workspace().frontmostApplication())
        return front->bundleIdentifier.value_or("");
    return "";
}

// Set once the shared session exists (it is never destroyed).
std::atomic<const std::shared_ptr<ArticleReader>*> s_sharedReader { nullptr };

} // namespace

const std::shared_ptr<ArticleReader>& ArticleReader::shared()
{
    static const std::shared_ptr<ArticleReader>* instance = [] {
        auto* made = new std::shared_ptr<ArticleReader>(create(TTSClient::shared()));
        s_sharedReader.store(made, std::memory_order_release);
        return made;
    }();
    return *instance;
}

std::shared_ptr<ArticleReader> ArticleReader::sharedIfMade()
{
    const std::shared_ptr<ArticleReader>* made = s_sharedReader.load(std::memory_order_acquire);
    return made ? *made : nullptr;
}

std::shared_ptr<ArticleReader> ArticleReader::create(std::shared_ptr<TTSClient> tts)
{
    return std::shared_ptr<ArticleReader>(new ArticleReader(std::move(tts)));
}

ArticleReader::ArticleReader(std::shared_ptr<TTSClient> tts)
    : m_player(AudioPlayer::create())
    , m_overlay(std::make_shared<HighlightOverlay>())
    , m_tts(std::move(tts))
    , m_currentVoice(PreferencesModel::voice(PreferencesModel::Key::defaultVoice))
{
}

ArticleReader::~ArticleReader()
{
    if (m_windowWatchTimer)
        m_windowWatchTimer->invalidate();
    if (m_subHighlightTimer)
        m_subHighlightTimer->invalidate();
}

std::string ArticleReader::currentVoice() const
{
    std::lock_guard guard(m_voiceLock);
    return m_currentVoice;
}

bool ArticleReader::belongsToCurrentReading(int generation) const
{
    return m_isReading && generation >= m_readingFirstGeneration;
}

int ArticleReader::beginGeneration()
{
    std::shared_ptr<TTSCancellation> abandoned;
    int generation = 0;
    {
        std::lock_guard guard(m_chainLock);
        generation = ++m_generationId;
        abandoned = std::move(m_speechChain);
    }
    if (abandoned)
        abandoned->cancel();
    return generation;
}

void ArticleReader::startReading(const std::string& title, const AXElement& window, std::vector<ArticleParagraph> paragraphs,
                                 const std::string& bundleID)
{
    startPreparedReading(title, window, PreparedParagraphs(std::move(paragraphs)), bundleID);
}

void ArticleReader::startPreparedReading(const std::string& title, const AXElement& window, PreparedParagraphs prepared,
                                         const std::string& bundleID)
{
    if (prepared.paragraphs.empty()) {
        Log::line("[ArticleReader] ❌ 没有提取到段落");
        return;
    }

    m_activeBundleID = bundleID.empty() ? frontApplicationBundleID() : bundleID;
    Log::line("[ArticleReader] ▶ \"" + title + "\" — " + std::to_string(prepared.paragraphs.size()) + " 段");

    m_detectedIsZh = prepared.isChinese;

    const std::string voice = PreferencesModel::voice(PreferencesModel::Key::voice(m_detectedIsZh));
    const float speed = PreferencesModel::speed(PreferencesModel::Key::speed(m_detectedIsZh));
    {
        std::lock_guard guard(m_voiceLock);
        m_currentVoice = voice;
    }
    if (floatingPlayer)
        floatingPlayer->configureForLanguage(m_detectedIsZh);
    Log::line(std::string("[ArticleReader] 语言=") + (m_detectedIsZh ? "zh" : "en") + " 音色=" + voice + " 语速=" + Format::floatDescription(speed));

    {
        std::lock_guard guard(m_player->lock);
        m_player->rate = speed;
        m_player->stopped = false;
        m_player->firstPlayFired = false;
        m_player->pauseHeld = false;
    }

    m_isReading = true;
    m_firstPlayingFired = false;
    m_errorReported = false;
    m_serverWatch.reset();
    m_watchMissCount = 0;
    m_sizeChangeStrikes = m_contentSwitchStrikes = m_pageTurnStrikes = 0;
    m_probeInFlight.reset();

    if (!m_napActivity)
        m_napActivity = NapActivity { userInitiatedActivity, "Reading article aloud" };

    m_paragraphs = std::move(prepared.paragraphs);
    m_watchedWindow = window;
    m_initialWindowSize = AXReader::size(window).value_or(Size {});

    auto webTitle = ArticleParser::currentArticleTitle(window);
    m_hasWebArea = webTitle.has_value();
    m_currentWebAreaTitle = webTitle.value_or(title);

    takeSharedTextFingerprint();
    if (m_activeBundleID == booksBundleID)
        updateBooksFingerprint();

    DispatchQueue::main().async([weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && self->m_isReading && self->m_watchedWindow)
            self->startWindowWatch();
    });

    m_overlay->attach(m_paragraphs.front().frame, std::move(prepared.frames), std::move(prepared.elements),
                      std::move(prepared.tightFrameYOffsets), std::move(prepared.tightFrameHeights), prepared.allBoundsDisabled,
                      window, std::move(prepared.anchorLocations));

    m_pagesCharsPerPage = 0;
    if (m_activeBundleID == pagesBundleID) {
        m_overlay->setPaginatedMode(true);
        if (m_paragraphs.front().element)
            findPagesCharsPerPage(window);
    }

    installPlayerCallbacks(static_cast<int>(m_paragraphs.size()));
    startSubHighlightTimer();

    const int generation = beginGeneration();
    m_readingFirstGeneration = generation;
    m_readingNumber = generation;
    m_restartPending = false;
    resetPagesCalibration(generation);
    {
        std::lock_guard guard(m_player->lock);
        m_player->generation = generation;
    }
    runGenerationLoop(std::move(prepared.forSpeech), 0, generation);
}

void ArticleReader::stop()
{
    Log::line("[ArticleReader] STOP CALLED: " + CallStack::callers(stopTraceDepth));
    m_pendingRestart.cancel();
    m_restartPending = false;

    m_isReading = false;
    m_firstPlayingFired = false;
    beginGeneration();

    m_player->stop();
    m_overlay->detach();
    // The window watch that hid the mini player (window minimized or not main) ends here; left
    // hidden, its close button could not be reached again. Its own focus check keeps it off
    // while another application is in front.
    if (floatingPlayer)
        floatingPlayer->setHidden(false);

    m_napActivity.reset();

    if (m_windowWatchTimer) {
        m_windowWatchTimer->invalidate();
        m_windowWatchTimer.reset();
    }
    m_watchedWindow.reset();
    if (m_subHighlightTimer) {
        m_subHighlightTimer->invalidate();
        m_subHighlightTimer.reset();
    }
    m_subHighlight.reset();

    m_currentWebAreaTitle.clear();
    m_activeBundleID.clear();
    m_hasWebArea = false;
    m_sharedTextFingerprint.clear();
    m_sharedTextElement.reset();
    m_booksPageFingerprint.clear();
    m_booksReferenceElement.reset();
    m_booksReferenceCharOffset = 0;
    m_isAutoTurningPage = false;
    m_lastWatchedWindowPos.reset();
    m_sizeChangeStrikes = m_contentSwitchStrikes = m_pageTurnStrikes = 0;
    // A count left from this reading would stop the next one at its first unreadable tick.
    m_watchMissCount = 0;
    m_probeInFlight.reset();

    onNeedNextPage = nullptr;

    // A Pages pass still running ends at its next step; the next reading may start its own.
    m_pagesCharsPerPage = 0;
    {
        std::lock_guard guard(m_pagesLock);
        m_pagesScrollOwner = 0;
        m_pagesRefusedScroll.reset();
    }
    resetPagesCalibration(-1);
}

void ArticleReader::endReadingBySelf()
{
    stop();
    if (auto finished = onFinished)
        finished();
}

bool ArticleReader::togglePause()
{
    std::lock_guard guard(m_player->lock);
    if (!m_player->currentPlayer) {
        // Between a seek and its first audio nothing is loaded; the pause waits for that audio.
        if (!m_isReading)
            return false;
        m_player->pauseHeld = !m_player->pauseHeld;
        return !m_player->pauseHeld;
    }
    if (m_player->currentPlayer->isPlaying()) {
        m_player->currentPlayer->pause();
        return false;
    }
    m_player->currentPlayer->play();
    return true;
}

void ArticleReader::setVoice(const std::string& code)
{
    {
        std::lock_guard guard(m_voiceLock);
        if (code == m_currentVoice)
            return;
        m_currentVoice = code;
    }
    if (!m_isReading)
        return;

    // Between two paragraphs of a slow server nothing plays or waits in the queue: the paragraph
    // being made is the one after the last played, or that one while its pieces still come. The
    // player forgets what it played at every flush, so until the sought paragraph plays, the seek
    // says where reading stands; once it has played, the seek is behind.
    // While the next page is fetched, the page has been heard to its end: there is nothing on
    // it to speak again, and the next page comes in the new voice.
    const int pageEnd = static_cast<int>(m_paragraphs.size());
    std::optional<int> from = m_isAutoTurningPage ? std::optional<int>(pageEnd) : m_player->currentPlayingParagraphOrPending();
    if (!from) {
        std::lock_guard guard(m_player->lock);
        if (const auto last = m_player->lastPlayedParaIdx)
            from = m_player->paragraphFinished.contains(*last) ? *last + 1 : *last;
    }
    // A change right after another, before any of its audio came: where that one resumed.
    if (!from && m_voiceResumeGeneration == m_generationId)
        from = m_voiceResumeIndex;
    const bool fromSeek = !from && m_seekTarget;
    if (fromSeek)
        from = m_seekTarget;
    const int index = from.value_or(0);
    const int generation = beginGeneration();
    m_player->flushQueue(generation);
    Log::line("[ArticleReader] 🎙 switch voice → " + code + ", replay from para[" + std::to_string(index)
              + "] gen=" + std::to_string(generation));
    if (fromSeek)
        m_seekGeneration = generation;
    m_voiceResumeIndex = index;
    m_voiceResumeGeneration = generation;
    runGenerationLoop(m_paragraphs, index, generation, clearSeekTargetWhenOver(generation));
}

void ArticleReader::seekToParagraph(int index)
{
    if (!m_isReading || index < 0 || static_cast<size_t>(index) >= m_paragraphs.size())
        return;

    m_seekTarget = index;
    const int generation = beginGeneration();
    m_seekGeneration = generation;
    m_player->flushQueue(generation);
    Log::line("[ArticleReader] seek → para[" + std::to_string(index) + "] gen=" + std::to_string(generation));
    runGenerationLoop(m_paragraphs, index, generation, clearSeekTargetWhenOver(generation));
}

std::function<void()> ArticleReader::clearSeekTargetWhenOver(int genId)
{
    return [self = shared_from_this(), genId] {
        // A later seek owns the target now; clearing it would send the next step back to the start.
        if (self->m_seekGeneration == genId)
            self->m_seekTarget.reset();
    };
}

void ArticleReader::runGenerationLoop(std::vector<ArticleParagraph> paragraphs, int index, int genId, std::function<void()> then)
{
    DispatchQueue::global(QualityOfService::userInitiated)
        .async([weak = weak_from_this(), paragraphs = std::move(paragraphs), index, genId, then = std::move(then)]() mutable {
            auto self = weak.lock();
            if (!self)
                return;
            self->generateAll(std::move(paragraphs), index, genId, [weak, genId, then = std::move(then)] {
                auto reader = weak.lock();
                if (!reader)
                    return;
                if (reader->m_generationId == genId)
                    reader->m_player->markProducerFinished(genId);
                if (then)
                    DispatchQueue::main().async(then);
            });
        });
}

void ArticleReader::takeSharedTextFingerprint()
{
    const ArticleParagraph& first = m_paragraphs.front();
    if (first.nativeCharOffset == 0 && first.element) {
        const std::string value = AXReader::attribute(*first.element, AXName::value).value_or("");
        m_sharedTextFingerprint = Text::characterPrefix(value, sharedTextFingerprintLength);
        m_sharedTextElement = first.element;
    } else {
        m_sharedTextFingerprint.clear();
        m_sharedTextElement.reset();
    }
}

} // namespace lorvantine
