#pragma once

#include "Audio/AudioSegment.h"
#include "Platform/AudioOutputPort.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace lorvantine {

class Timer;

// Plays the speech pieces strictly in paragraph order, however they arrive: the pieces of the
// paragraph being spoken in arrival order, the next paragraph only once the producer has marked
// this one finished. Reports on the main queue when a piece starts, when playback first starts
// and when everything queued has played.
//
// Threads: every operation may be called from any thread. The callbacks are posted to the main
// queue; each reads its property when it runs, so the owner sets them once, on the main thread,
// before the reading starts. Platform players call back on their own thread.
//
// Cancellation: pieces and producer calls carry the reading generation. The owner sets
// `generation` (under `lock`) when a reading starts, or passes the new one to `flushQueue`;
// anything tagged with another generation is dropped, so work of an abandoned generation that
// lands after a flush cannot play or end the new one.
class AudioPlayer : public std::enable_shared_from_this<AudioPlayer> {
public:
    // Reads the rate from the user defaults. The heartbeat traces the loaded piece every second
    // on the main run loop, from when a piece is loaded until none is.
    static std::shared_ptr<AudioPlayer> create();
    ~AudioPlayer();
    AudioPlayer(const AudioPlayer&) = delete;
    AudioPlayer& operator=(const AudioPlayer&) = delete;

    // Adds a piece; starts playback when nothing is loaded. Dropped silently when stopped.
    void enqueue(AudioSegment segment);
    // Every piece of `paragraphIndex` has been queued (or it has none).
    void markParagraphFinished(int paragraphIndex, std::optional<int> fromGeneration = std::nullopt);
    // No more pieces until the next page or reading.
    void markProducerFinished(std::optional<int> fromGeneration = std::nullopt);
    // The paragraph playing, else the one about to play, else none.
    std::optional<int> currentPlayingParagraphOrPending();
    // Drops everything queued and loaded and starts a fresh producer (seek, voice change, the
    // next page's pieces).
    void flushQueue(std::optional<int> newGeneration = std::nullopt);
    // Ends the reading: pieces are refused until the owner clears `stopped`.
    void stop();
    // Whether `queue` holds no more than `maxQueuedBytes` of audio. When it holds more, `onRoom`
    // is kept and runs once it no longer does (playback moving on, a flush, a stop), on the
    // thread that took the audio out, outside the lock; otherwise it is dropped.
    bool hasRoomOrNotify(std::function<void()> onRoom);

    // Called by the platform player that `player` is.
    void audioPlayerDidFinishPlaying(AudioPlayerPort& player, bool successfully);
    void audioPlayerDecodeErrorDidOccur(AudioPlayerPort& player, const std::optional<ErrorValue>& error);

    std::function<void(int paragraphIndex)> onParagraphChange;
    std::function<void()> onFinishAll;
    std::function<void()> onFirstPlay;

    // Guards every field below. The owner holds it for its own reads and writes of them (setting
    // `stopped`, `firstPlayFired`, `rate` and `generation` at the start of a reading; pausing and
    // resuming `currentPlayer`; reading `currentSegment` and the player's time). Never held while
    // calling back or logging, nor while a platform player is made.
    std::mutex lock;
    std::deque<AudioSegment> queue;
    std::shared_ptr<AudioPlayerPort> currentPlayer;
    std::optional<AudioSegment> currentSegment;
    bool producerFinished = false;
    bool stopped = false;
    // Given to every new piece.
    float rate = 1.5f;
    std::set<int> paragraphFinished;
    std::optional<int> lastPlayedParaIdx;
    bool firstPlayFired = false;
    int generation = 0;
    // A pause asked for while nothing was loaded: the next piece starts paused. Kept across
    // flushes; cleared by that piece and by `stop`.
    bool pauseHeld = false;
    // The audio the producer may hold ahead of playback before it waits (`hasRoomOrNotify`).
    // Ordinary answers are tens of KB; a server that answers with megabytes would otherwise be
    // read ahead into gigabytes.
    size_t maxQueuedBytes = size_t(256) << 20;

    // Main thread only; set while a piece is loaded.
    std::shared_ptr<Timer> heartbeatTimer;

private:
    AudioPlayer();

    void playNext();
    std::optional<size_t> findNextSegmentIndexLocked() const;
    // Empties the queue and unloads the current piece, which is returned to be released unlocked.
    std::shared_ptr<AudioPlayerPort> dropEverythingLocked();
    // The waiters to run once the lock is let go, when the queue is back within its cap.
    std::vector<std::function<void()>> takeWaitersIfRoomLocked();
    static void runWaiters(std::vector<std::function<void()>> waiters);
    void heartbeat();
    // A piece was loaded where none was, or the last one unloaded: starts or stops the heartbeat
    // (on the main queue, as the player stands then).
    void loadedChanged();
    void postParagraphChange(int paragraphIndex);
    void postFinishAll();
    void postFirstPlay();

    // A piece is out of `queue` and its platform player is being made: it counts as loaded, so
    // no second start races with it.
    bool m_loading = false;
    std::optional<int> m_loadingParagraph;
    // Counts flushes and stops, so a piece being loaded across one is thrown away.
    std::uint64_t m_flushes = 0;
    // The audio bytes in `queue`.
    size_t m_queuedBytes = 0;
    std::vector<std::function<void()>> m_roomWaiters;
};

} // namespace lorvantine
