#include "App/StatusBarController.h"

#include "Accessibility/ArticleParser.h"
#include "App/WindowMonitor.h"
#include "Audio/AudioPlayer.h"
#include "CLI/CLIRouter.h"
#include "Core/ArticleReader.h"
#include "Documents/DocumentSession.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Overlay/ReadButton.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/AudioOutputPort.h"
#include "Platform/Dispatch/CancellationToken.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Player/MiniPlayer.h"
#include "Preferences/PreferencesModel.h"
#include "Support/Log.h"

namespace lorvantine {

void StatusBarController::startReadingCurrentWindow()
{
    // A second press while the document is still looked for would start a second search and a
    // second mini player.
    if (m_starting)
        return;
    if (!Platform::accessibility().isProcessTrusted(AccessibilityPort::Prompt::yes)) {
        Log::line("[StatusBar] 需要辅助功能权限");
        return;
    }
    if (m_isReading)
        stopReading();
    m_readButton->setLoading(true);
    const std::optional<RunningApplication> front = Platform::workspace().frontmostApplication();
    const std::string bundleID = front ? front->bundleIdentifier.value_or("") : "";

    m_starting = true;
    m_startCancellation = CancellationToken();
    DispatchQueue::global(QualityOfService::userInitiated).async([weak = weak_from_this(), bundleID, cancellation = m_startCancellation] {
        std::optional<Document> document;
        {
            CancellationToken::Scope scope(cancellation);
            document = findDocument(bundleID);
        }
        if (cancellation.isCancelled())
            return;
        DispatchQueue::main().async([weak, bundleID, cancellation, document = std::move(document)]() mutable {
            auto self = weak.lock();
            // A start given up meanwhile has made room for the next already.
            if (!self || cancellation.isCancelled())
                return;
            self->m_starting = false;
            if (!document) {
                self->m_readButton->setLoading(false);
                return;
            }
            self->beginReading(bundleID, std::move(*document));
        });
    });
}

std::optional<StatusBarController::Document> StatusBarController::findDocument(const std::string& bundleID)
{
    // The pass over every paragraph that the start needs is made here too, off the main thread.
    if (auto session = DocumentSourceRegistry::detect(bundleID)) {
        std::vector<ArticleParagraph> paragraphs;
        for (const ReadableParagraph& paragraph : session->paragraphs())
            paragraphs.push_back(paragraph.toArticleParagraph());
        ScreenTrail trail;
        paragraphs = CLIRouter::enrichSparseContent(bundleID, std::move(paragraphs), &trail);
        if (!paragraphs.empty())
            return Document { session->title(), session->windowElement(), PreparedParagraphs(std::move(paragraphs)), trail };
    } else if (auto article = ArticleParser::captureArticle(bundleID); article && !article->paragraphs.empty()) {
        return Document { std::move(article->title), article->window, PreparedParagraphs(std::move(article->paragraphs)), {} };
    }
    if (CancellationToken::currentIsCancelled())
        return std::nullopt;
    // A list with nothing in it would start no reading and leave a mini player up for nothing.
    Log::line("[StatusBar] 未找到可朗读的文档");
    return std::nullopt;
}

void StatusBarController::beginReading(const std::string& bundleID, Document document)
{
    m_readButton->hide();
    Log::line("[StatusBar] 开始朗读: " + document.title);

    // The window road takes the session over: a selection reading (even one still loading) ends
    // here, and its callbacks, which would report this reading's failures as its own, go.
    if (onWindowReadingWillStart)
        onWindowReadingWillStart();
    m_reader->onFirstPlaying = nullptr;
    m_reader->onError = nullptr;
    if (m_reader->isReading())
        m_reader->stop();

    auto miniPlayer = std::make_shared<MiniPlayer>();
    miniPlayer->trackedBundleID = bundleID;
    miniPlayer->show(document.window);
    wireMiniPlayer(miniPlayer);

    m_reader->floatingPlayer = miniPlayer;
    m_reader->onNeedNextPage = CLIRouter::pageAdvance(bundleID, m_reader, document.trail);
    auto endedBySelf = [weak = weak_from_this()] {
        DispatchQueue::main().async([weak] {
            if (auto self = weak.lock())
                self->stopReading();
        });
    };
    m_reader->onFinished = endedBySelf;
    m_reader->onSpeechUnavailable = [endedBySelf](const ErrorValue&) { endedBySelf(); };
    m_reader->startPreparedReading(document.title, document.window, std::move(document.paragraphs), bundleID);

    m_miniPlayer = miniPlayer;
    m_currentReadingWindow = document.window;
    m_isReading = true;
    m_readingGeneration = m_reader->readingGeneration();
}

void StatusBarController::wireMiniPlayer(const std::shared_ptr<MiniPlayer>& miniPlayer)
{
    std::weak_ptr<ArticleReader> weakReader = m_reader;
    std::weak_ptr<MiniPlayer> weakPlayer = miniPlayer;
    miniPlayer->onPlayPause = [weakReader, weakPlayer] {
        auto reader = weakReader.lock();
        auto player = weakPlayer.lock();
        if (reader && player)
            player->setPlaying(reader->togglePause());
    };
    miniPlayer->onClose = [weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->stopReading();
    };
    miniPlayer->onSpeedChange = [weakReader](float speed) {
        auto reader = weakReader.lock();
        if (!reader)
            return;
        AudioPlayer& audio = reader->player();
        {
            std::lock_guard guard(audio.lock);
            audio.rate = speed;
            if (audio.currentPlayer)
                audio.currentPlayer->setRate(speed);
        }
        PreferencesModel::recordSpeedChange(speed, reader->detectedIsZh());
    };
    miniPlayer->onVoiceChange = [weakReader](const std::string& code) {
        if (auto reader = weakReader.lock())
            reader->setVoice(code);
        PreferencesModel::recordVoiceChange(code);
    };
    auto seekBy = [weakReader](int step) {
        auto reader = weakReader.lock();
        if (!reader)
            return;
        const int current = reader->seekTarget().value_or(reader->player().currentPlayingParagraphOrPending().value_or(0));
        reader->seekToParagraph(current + step);
    };
    miniPlayer->onPrevParagraph = [seekBy] { seekBy(-1); };
    miniPlayer->onNextParagraph = [seekBy] { seekBy(1); };
}

void StatusBarController::cancelStart()
{
    if (!m_starting)
        return;
    m_startCancellation.cancel();
    m_starting = false;
    m_readButton->setLoading(false);
}

void StatusBarController::stopReading()
{
    cancelStart();
    m_reader->stop();
    if (m_miniPlayer) {
        m_miniPlayer->hide();
        if (m_reader->floatingPlayer == m_miniPlayer)
            m_reader->floatingPlayer.reset();
        m_miniPlayer.reset();
    }
    m_currentReadingWindow.reset();
    m_isReading = false;
    Log::line("[StatusBar] 停止朗读");
    m_windowMonitor->forgetFrontWindow();
    m_windowMonitor->checkFrontWindow();
}

} // namespace lorvantine
