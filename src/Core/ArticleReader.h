#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Core/SpeechServerWatch.h"
#include "Core/SubHighlightState.h"
#include "Platform/AXTypes.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Geometry.h"
#include "Support/ErrorValue.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

class AudioPlayer;
class HighlightOverlay;
class MiniPlayer;
struct PreparedParagraphs;
class TTSCancellation;
class TTSClient;
class Timer;

// The one reading session: reads a list of paragraphs from a window aloud, one speech request at
// a time in paragraph order, moves the overlay's paragraph and word marks along with playback,
// asks its owner for the next page when a page has played, and watches the source window, ending
// the reading when that window is closed, resized, switched or turned by hand.
//
// Threads: every public operation, every callback and every timer runs on the main thread. Speech
// generation is a chain of callbacks on the speech client's queue that never blocks a thread;
// the window probe runs on a utility queue and the scroll-into-view passes on a user-initiated
// global queue (on a copy of the paragraphs); all post what they decide back to the main queue.
// Work in flight is cancelled by the generation number alone: start, stop, seek, voice change
// and page advance each begin a new one, which also cancels the speech request chain of the
// one before, and every background task drops its results once its number is no longer current.
class ArticleReader : public std::enable_shared_from_this<ArticleReader> {
public:
    // The next page's paragraphs; none or an empty list when there is no further page.
    using NextPageCompletion = std::function<void(std::optional<std::vector<ArticleParagraph>>)>;

    // Made on first use with the shared speech client; lives for the whole run.
    static const std::shared_ptr<ArticleReader>& shared();
    // The shared session when something has made it, else null (for the end of the process,
    // which stops a reading without making a session).
    static std::shared_ptr<ArticleReader> sharedIfMade();
    // A session of its own over `tts` (tests point it at a stand-in speech server).
    static std::shared_ptr<ArticleReader> create(std::shared_ptr<TTSClient> tts);
    ~ArticleReader();
    ArticleReader(const ArticleReader&) = delete;
    ArticleReader& operator=(const ArticleReader&) = delete;

    // Callers stop a running reading first. An empty `bundleID` means the front application's.
    // An empty list is refused with a log line and changes nothing.
    void startReading(const std::string& title, const AXElement& window, std::vector<ArticleParagraph> paragraphs,
                      const std::string& bundleID);
    // The same with the pass over the paragraphs made already, off the main thread: what is left
    // here does not grow with the number of paragraphs.
    void startPreparedReading(const std::string& title, const AXElement& window, PreparedParagraphs prepared,
                              const std::string& bundleID);
    // Ends the reading, whoever asks. Never calls `onFinished`.
    void stop();
    // Pauses or resumes the audio; true when it is playing afterwards. With nothing loaded while
    // reading (a seek's paragraph still being made) the pause is held for the next piece; not
    // reading, it answers false.
    bool togglePause();
    // While reading, regenerates with the new voice from the paragraph playing or about to play
    // (the one being made after a paragraph played in full), else from the paragraph of a seek
    // not heard yet, else from the first. Nothing heard whole is spoken again: a change right
    // after another resumes where that one did, and while the next page is fetched only that
    // page comes in the new voice.
    void setVoice(const std::string& code);
    // Ignored unless reading and 0 <= index < the paragraph count.
    void seekToParagraph(int index);

    bool isReading() const { return m_isReading; }
    // Changes at every start, so an owner can tell whether the reading running is still the one
    // it started. The restart on a new article (the page in the window changed) goes on with the
    // reading the change stopped and keeps its number.
    int readingGeneration() const { return m_readingNumber; }
    // Stopped because the article in the window changed, and about to read the new one; `stop()`
    // and any start call that off.
    bool isRestarting() const { return m_restartPending; }
    bool detectedIsZh() const { return m_detectedIsZh; }
    // The paragraph of the last seek while its generation is still being produced.
    std::optional<int> seekTarget() const { return m_seekTarget; }
    const std::vector<ArticleParagraph>& paragraphs() const { return m_paragraphs; }
    std::string currentVoice() const;
    // The shell's speed control takes its lock and sets its rate.
    AudioPlayer& player() { return *m_player; }

    // Set by the caller before `startReading`; they stay in force for later readings until set
    // again. Callers capture themselves weakly.
    std::shared_ptr<MiniPlayer> floatingPlayer;
    // The reading ended by itself (last page played, or the window watch gave up on the window).
    std::function<void()> onFinished;
    // The first audio of the reading started; once per reading.
    std::function<void()> onFirstPlaying;
    // Speech generation failed before anything played; once per reading.
    std::function<void(const ErrorValue&)> onError;
    // The reading ended by itself because the speech server could not be reached for several
    // paragraphs in a row, or for minutes; called instead of `onFinished`, with an error naming
    // the server.
    std::function<void(const ErrorValue&)> onSpeechUnavailable;
    // Asks for the next page. The completion must be called once, on the main thread; it may be
    // called before this returns. `stop()` clears it.
    std::function<void(NextPageCompletion)> onNeedNextPage;

private:
    explicit ArticleReader(std::shared_ptr<TTSClient> tts);

    // A reading owns every generation from the one its start began until it stops; work tagged
    // with an older generation belongs to a reading that is over.
    bool belongsToCurrentReading(int generation) const;
    bool isCurrentGeneration(int generation) const { return m_isReading && m_generationId == generation; }
    // Makes a new generation current and cancels the speech chain of the one before.
    int beginGeneration();
    // Starts `generateAll` from a global queue under generation `genId` and marks the producer
    // finished when the loop ends still current; `then` runs afterwards on the main queue, in
    // every case.
    void runGenerationLoop(std::vector<ArticleParagraph> paragraphs, int index, int genId, std::function<void()> then = {});
    // Clears the seek target once generation `genId`, which produces it, is over.
    std::function<void()> clearSeekTargetWhenOver(int genId);
    void takeSharedTextFingerprint();
    void endReadingBySelf();

    // --- Speech generation (ArticleReaderGeneration.cpp) ---
    struct GenerationLoop;
    // Sends the paragraphs from `index` on one after another, pausing (without a thread) while
    // the player holds more audio ahead than its cap; `onOver` runs once the last is done or the
    // generation stopped being current, on whichever thread ended the loop.
    void generateAll(std::vector<ArticleParagraph> paragraphs, int index, int genId, std::function<void()> onOver);
    void generateNext(const std::shared_ptr<GenerationLoop>& loop);
    void generateOne(const ArticleParagraph& paragraph, int genId, std::function<void()> completion);
    // The chain of `genId` is the one to cancel when its generation ends; cancelled at once when
    // it has ended already.
    void adoptSpeechChain(const std::shared_ptr<TTSCancellation>& chain, int genId);
    void reportSpeechError(const ErrorValue& error, int genId);
    void noteParagraphEnded(const std::optional<ErrorValue>& error, int genId);
    void noteAttemptFailed(const ErrorValue& error, TimePoint sentAt, int genId);
    void giveUpOnSpeechServer(const ErrorValue& error, const std::string& why);

    // --- Playback callbacks and page advance (ArticleReaderPlayback.cpp) ---
    void installPlayerCallbacks(int total);
    void installParagraphChangeHandler(int total);
    void handleParagraphChange(int paragraphIndex, int total);
    bool isPlayerPaused();
    void handleFinishAll();
    void handleFirstPlay();
    bool everythingPlayed();
    void handleAutoPageTurn(std::optional<std::vector<ArticleParagraph>> paragraphs);
    void updateBooksFingerprint();

    // --- Scroll into view (ArticleReaderScroll.cpp) ---
    struct ScrollJob;
    // Keeps paragraph `paragraphIndex` inside the source window's comfortable area in applications
    // that scroll continuously. The passes run on a global queue on a copy of the paragraphs and
    // end once the generation they started under is no longer current.
    void scrollIfNeeded(int paragraphIndex);
    // One pass; `topBefore` is the paragraph's top before the scroll of the pass before.
    static void scrollLoop(const std::shared_ptr<const ScrollJob>& job, int attempt, std::optional<double> topBefore = std::nullopt);
    static bool scrollByBar(const ScrollJob& job, double delta);
    static bool scrollByWheel(const ScrollJob& job, double delta);
    // The scroll area that scrolls `element`: its nearest such ancestor, else one among the
    // window's children (in a split group, the rightmost).
    static std::optional<AXElement> findScrollArea(const AXElement& element, const std::optional<AXElement>& window);
    // Measures every paragraph again and hands the rectangles to the overlay on the main queue,
    // unless the job's generation is over by then; a Pages job's paragraphs go with them.
    static void refreshOverlayRects(const ScrollJob& job);

    // --- Pages page scrolling (ArticleReaderPages.cpp) ---
    // At the start of a Pages reading: the characters one page shows, from the page in view (the
    // view is put back to the document's top when no page can be read). Main thread.
    void findPagesCharsPerPage(const AXElement& window);
    // Brings the page holding paragraph `job.index` into view and its top to 30 % of the window,
    // then measures the visible page's paragraphs. Blocks its thread while Pages settles; one pass
    // at a time: a request while one runs is refused, and the latest refused one runs when that
    // pass ends if its paragraph is still the one spoken. A pass ends at its next step once its
    // generation is over, and its results reach the reading on the main queue only while it is
    // still current.
    void pagesScrollToVisiblePage(ScrollJob& job);
    struct RefusedPagesScroll {
        int index = 0;
        int genId = 0;
    };
    // Takes the one pass's place, or notes `job` as refused when another pass holds it.
    bool takePagesScroll(uint64_t pass, const ScrollJob& job);
    // Gives the place back and has the refused request run on the main queue, if there is one
    // and it is not for the paragraph `job` was for.
    void releasePagesScroll(uint64_t pass, const ScrollJob& job);
    void pagesComputedScroll(ScrollJob& job, const AXElement& bar, int nco, double currentY, double currentScroll,
                             double scrollTarget, double scrollableH);
    // The top of the character at `nco` where some page measures it.
    static std::optional<double> pagesBFRY(const AXElement& window, int nco, const ArticleParagraph& paragraph);
    // Points every paragraph at `textArea` as not measurable, then measures those it shows.
    static void applyPagesTA(std::vector<ArticleParagraph>& paragraphs, const AXElement& textArea, int paragraphIndex);
    static void pagesUpdateVisibleFrames(std::vector<ArticleParagraph>& paragraphs, const AXElement& element,
                                         int currentIndex);
    // Takes over the elements, frames and flags a Pages pass measured. Main thread.
    void adoptMeasuredParagraphs(const std::vector<ArticleParagraph>& measured);
    // The calibrated scrollable height of reading `readingGen`; 0 while uncalibrated or when
    // that reading is over.
    double pagesScrollableH(int readingGen) const;
    void storePagesScrollableH(int readingGen, double height);
    // Forgets the calibration; from now on it belongs to reading `readingGen` (-1: none).
    void resetPagesCalibration(int readingGen);

    // --- Window watch (ArticleReaderWindowWatch.cpp) ---
    struct WatchSnapshot;
    struct WatchDecision;
    using PostWatchDecision = std::function<void(WatchDecision)>;
    void startWindowWatch();
    void windowWatchTick();
    // The accessibility reads of one tick, on a utility queue; every change it decides is posted
    // in the order its checks run.
    static void probeWindow(const WatchSnapshot& snapshot, const PostWatchDecision& post);
    void applyWatchDecision(const WatchDecision& decision);
    void countStrike(int& strikes, const char* message);
    void restartAfterArticleSwitch();

    // --- Sub-highlight (ArticleReaderSubHighlight.cpp) ---
    void startSubHighlightTimer();
    void tickSubHighlight();

    struct NapActivity {
        uint64_t options = 0;
        std::string reason;
    };

    std::shared_ptr<AudioPlayer> m_player;
    std::shared_ptr<HighlightOverlay> m_overlay;
    std::shared_ptr<TTSClient> m_tts;

    // Read by the generation loop and the speech handlers while the main thread writes them.
    std::atomic<bool> m_firstPlayingFired { false };
    std::atomic<bool> m_isReading { false };
    std::atomic<int> m_generationId { 0 };
    mutable std::mutex m_voiceLock;
    std::string m_currentVoice;
    // Guards the start of a new generation against the adoption of a chain of the old one.
    std::mutex m_chainLock;
    std::shared_ptr<TTSCancellation> m_speechChain;
    // Whether the speech server can still be reached, from what the generation loop sees.
    SpeechServerWatch m_serverWatch;

    // Main thread only from here on.
    bool m_detectedIsZh = true;
    std::vector<ArticleParagraph> m_paragraphs;
    // The generation the current reading started with.
    int m_readingFirstGeneration = 0;
    // What `readingGeneration()` answers.
    int m_readingNumber = 0;
    bool m_errorReported = false;

    std::shared_ptr<Timer> m_windowWatchTimer;
    std::optional<AXElement> m_watchedWindow;
    int m_watchMissCount = 0;
    Size m_initialWindowSize;
    std::optional<Point> m_lastWatchedWindowPos;
    int m_sizeChangeStrikes = 0;
    int m_contentSwitchStrikes = 0;
    int m_pageTurnStrikes = 0;
    // A probe still running when the next tick comes makes that tick skip its own.
    std::optional<uint64_t> m_probeInFlight;
    uint64_t m_probeSerial = 0;
    // The restart an article switch scheduled; `stop()` cancels it.
    WorkItem m_pendingRestart;
    bool m_restartPending = false;

    std::optional<int> m_seekTarget;
    // The generation that produces `m_seekTarget`: the seek's, or a voice change's that started
    // from it.
    int m_seekGeneration = 0;
    // Where the last voice change resumed, and the generation it began for that.
    int m_voiceResumeIndex = 0;
    int m_voiceResumeGeneration = -1;

    std::string m_currentWebAreaTitle;
    std::string m_activeBundleID;
    bool m_hasWebArea = false;
    std::string m_sharedTextFingerprint;
    std::optional<AXElement> m_sharedTextElement;
    std::string m_booksPageFingerprint;
    std::optional<AXElement> m_booksReferenceElement;
    int m_booksReferenceCharOffset = 0;
    bool m_isAutoTurningPage = false;

    std::shared_ptr<Timer> m_subHighlightTimer;
    SubHighlightState m_subHighlight;

    std::optional<NapActivity> m_napActivity;

    // Pages. The characters per page are the main thread's; the running pass, the refused request
    // and the calibration are shared with the passes' threads, under `m_pagesLock`. A pass takes
    // `m_pagesScrollOwner` from 0 to its own number and gives it back only while it still holds
    // it, so a pass left over from a stopped reading can never release the one of the next.
    int m_pagesCharsPerPage = 0;
    std::atomic<uint64_t> m_pagesPassSerial { 0 };
    mutable std::mutex m_pagesLock;
    uint64_t m_pagesScrollOwner = 0;
    std::optional<RefusedPagesScroll> m_pagesRefusedScroll;
    double m_pagesScrollableH = 0;
    int m_pagesCalibrationReading = -1;
};

} // namespace lorvantine
