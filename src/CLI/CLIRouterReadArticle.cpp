#include "CLI/CLIRouter.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/ArticleParser.h"
#include "Audio/AudioPlayer.h"
#include "Core/ArticleReader.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/AudioOutputPort.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/Window.h"
#include "Platform/WorkspacePort.h"
#include "Player/MiniPlayer.h"
#include "Preferences/PreferencesModel.h"
#include "Support/Log.h"

#include <cstdio>
#include <optional>

namespace lorvantine::CLIRouter {

namespace {

constexpr const char* kindleBundleID = "com.amazon.Lassen";
constexpr double kindleBottomInset = 20.0;

struct SpeechOutcome {
    bool spoken = false;
    std::optional<ErrorValue> failure;
};

struct Document {
    std::string title;
    AXElement window;
    std::vector<ArticleParagraph> paragraphs;
    // How far a screen-by-screen document (Word) was read at the start.
    ScreenTrail trail;
};

// A list with nothing to read counts as nothing found: reading it would start nothing and leave
// the command waiting for Ctrl+C with no player on screen.
std::optional<Document> findDocument(const std::optional<std::string>& bundleID)
{
    if (bundleID) {
        if (auto session = DocumentSourceRegistry::detect(*bundleID)) {
            Document document { session->title(), session->windowElement(), {} };
            for (const ReadableParagraph& paragraph : session->paragraphs())
                document.paragraphs.push_back(paragraph.toArticleParagraph());
            // A title page alone would end the reading after a few words.
            document.paragraphs = enrichSparseContent(*bundleID, std::move(document.paragraphs), &document.trail);
            if (!document.paragraphs.empty())
                return document;
        }
    }
    auto article = ArticleParser::captureArticle(bundleID);
    if (!article || article->paragraphs.empty())
        return std::nullopt;
    return Document { std::move(article->title), article->window, std::move(article->paragraphs) };
}

// The application whose window is read: the mini player keeps to it.
std::string applicationOf(const AXElement& window)
{
    ProcessID pid = 0;
    if (Platform::accessibility().pid(window, pid) != AXError::success)
        return "";
    for (const RunningApplication& application : Platform::workspace().runningApplications())
        if (application.pid == pid)
            return application.bundleIdentifier.value_or("");
    return "";
}

void wireControls(const std::shared_ptr<MiniPlayer>& miniPlayer)
{
    std::weak_ptr<MiniPlayer> weak = miniPlayer;
    miniPlayer->onPlayPause = [weak] {
        const bool playing = ArticleReader::shared()->togglePause();
        if (auto player = weak.lock())
            player->setPlaying(playing);
    };
    miniPlayer->onClose = [weak] {
        ArticleReader::shared()->stop();
        if (auto player = weak.lock())
            player->hide();
        finishRunLoop(0);
    };
    miniPlayer->onSpeedChange = [](float rate) {
        const auto& reader = ArticleReader::shared();
        AudioPlayer& audio = reader->player();
        {
            std::lock_guard guard(audio.lock);
            audio.rate = rate;
            if (audio.currentPlayer)
                audio.currentPlayer->setRate(rate);
        }
        PreferencesModel::recordSpeedChange(rate, reader->detectedIsZh());
    };
    miniPlayer->onVoiceChange = [](const std::string& code) {
        ArticleReader::shared()->setVoice(code);
        PreferencesModel::recordVoiceChange(code);
    };
}

} // namespace

int routeReadArticle(const Arguments& args)
{
    const std::optional<std::string> app = value(args, "--app");
    const std::string bundleID = app.value_or("");

    auto document = findDocument(app);
    if (!document) {
        if (app)
            Log::line("❌ 在 " + bundleID + " 中未检测到可读内容");
        else
            Log::line("❌ 找不到公号文章窗口（请先在微信中点开一篇公号文章）");
        return 1;
    }

    // From the hint on, Ctrl+C ends the command in order, even before its loop runs.
    prepareRunLoop();
    std::printf("📖 找到文章: %s — %zu 段\n", document->title.c_str(), document->paragraphs.size());
    std::printf("   按 Ctrl+C 停止\n");

    Application::shared().setActivationPolicy(ActivationPolicy::accessory);

    // The first request for speech does not wait for the panels: the mini player and the
    // highlight come on screen at once, but their fonts and painting wait for the main queue,
    // behind the start of the reading.
    Window::disableScreenUpdates();
    auto miniPlayer = std::make_shared<MiniPlayer>();
    // Without "--app" the article's window names its application.
    miniPlayer->trackedBundleID = bundleID.empty() ? applicationOf(document->window) : bundleID;
    if (bundleID == kindleBundleID)
        miniPlayer->bottomInset = kindleBottomInset;
    if (auto rect = AXReader::rect(document->window))
        miniPlayer->show(*rect, [window = document->window] { return AXReader::rect(window); });
    wireControls(miniPlayer);

    const auto& reader = ArticleReader::shared();
    reader->floatingPlayer = miniPlayer;
    // A reading that could speak nothing ends the command with a failure; one that has spoken
    // stays with its player when it ends, whatever ended it.
    auto outcome = std::make_shared<SpeechOutcome>();
    reader->onFirstPlaying = [outcome] { outcome->spoken = true; };
    reader->onError = [outcome](const ErrorValue& error) { outcome->failure = error; };
    reader->onFinished = [outcome, weak = std::weak_ptr<MiniPlayer>(miniPlayer)] {
        if (!outcome->spoken && outcome->failure) {
            Log::line("[ReadArticle] ❌ 一段也没有读出来: " + outcome->failure->description);
            finishRunLoop(1);
            return;
        }
        Log::line("[ReadArticle] 播放完成/翻页，重置播放按钮");
        if (auto player = weak.lock())
            player->setPlaying(false);
    };
    reader->onSpeechUnavailable = [outcome, weak = std::weak_ptr<MiniPlayer>(miniPlayer)](const ErrorValue&) {
        if (!outcome->spoken) {
            finishRunLoop(1);
            return;
        }
        if (auto player = weak.lock())
            player->setPlaying(false);
    };
    // Book readers turn their own pages, Word scrolls; any other document ends with what was captured.
    reader->onNeedNextPage = pageAdvance(bundleID, reader, document->trail);

    if (!reader->isReading())
        reader->startReading(document->title, document->window, std::move(document->paragraphs), bundleID);
    DispatchQueue::main().async([] { Window::enableScreenUpdates(); });

    const int status = runUntilFinished();

    // The process ends next; a caller that goes on in this process finds no reading and no
    // player of this command left behind.
    if (reader->floatingPlayer == miniPlayer)
        reader->floatingPlayer.reset();
    reader->onFinished = nullptr;
    reader->onFirstPlaying = nullptr;
    reader->onError = nullptr;
    reader->onSpeechUnavailable = nullptr;
    miniPlayer->hide();
    return status;
}

} // namespace lorvantine::CLIRouter
