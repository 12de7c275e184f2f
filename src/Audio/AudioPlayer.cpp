#include "Audio/AudioPlayer.h"

#include "Platform/Dispatch/Dispatch.h"
#include "Preferences/PreferencesModel.h"
#include "Support/CallStack.h"
#include "Support/Format.h"
#include "Support/Log.h"

#include <string>
#include <utility>

namespace lorvantine {

namespace {

const char* text(bool value) { return value ? "true" : "false"; }

bool isOfOtherGeneration(const std::optional<int>& tag, int current) { return tag && *tag != current; }

} // namespace

std::shared_ptr<AudioPlayer> AudioPlayer::create() { return std::shared_ptr<AudioPlayer>(new AudioPlayer()); }

void AudioPlayer::loadedChanged()
{
    DispatchQueue::main().async([weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self)
            return;
        bool loaded = false;
        {
            std::lock_guard guard(self->lock);
            loaded = self->currentPlayer != nullptr;
        }
        // The heartbeat only ever traces a loaded piece: with none it would wake the program
        // every second for nothing.
        if (!loaded && self->heartbeatTimer) {
            std::exchange(self->heartbeatTimer, nullptr)->invalidate();
        } else if (loaded && !self->heartbeatTimer) {
            self->heartbeatTimer = Timer::scheduled(seconds(1.0), Timer::Repeats::yes, [weak](Timer& timer) {
                if (auto alive = weak.lock())
                    alive->heartbeat();
                else
                    timer.invalidate();
            });
        }
    });
}

AudioPlayer::AudioPlayer()
{
    float stored = PreferencesModel::defaults().floatForKey(PreferencesModel::Key::defaultSpeed);
    rate = stored > 0 ? stored : PreferencesModel::fallbackSpeed;
}

AudioPlayer::~AudioPlayer()
{
    if (heartbeatTimer)
        heartbeatTimer->invalidate();
    if (currentPlayer)
        currentPlayer->stop();
}

void AudioPlayer::enqueue(AudioSegment segment)
{
    const int paragraph = segment.paragraphIndex;
    const int offset = segment.textOffsetInParagraph;
    const size_t bytes = segment.mp3Data.size();
    size_t length = 0;
    bool start = false;
    {
        std::lock_guard guard(lock);
        if (stopped || segment.generation != generation)
            return;
        m_queuedBytes += bytes;
        queue.push_back(std::move(segment));
        length = queue.size();
        start = !currentPlayer && !m_loading;
    }
    Log::line("[Audio] enqueue para=" + std::to_string(paragraph) + " off=" + std::to_string(offset) + " bytes=" + std::to_string(bytes)
        + " qlen=" + std::to_string(length) + " start=" + text(start));
    if (start)
        playNext();
}

void AudioPlayer::markParagraphFinished(int paragraphIndex, std::optional<int> fromGeneration)
{
    bool resume = false;
    {
        std::lock_guard guard(lock);
        if (isOfOtherGeneration(fromGeneration, generation))
            return;
        paragraphFinished.insert(paragraphIndex);
        resume = !currentPlayer && !m_loading && !stopped && lastPlayedParaIdx == paragraphIndex;
    }
    if (!resume)
        return;
    Log::line("[Audio] markParagraphFinished para=" + std::to_string(paragraphIndex) + " → resume");
    playNext();
}

void AudioPlayer::markProducerFinished(std::optional<int> fromGeneration)
{
    bool finished = false;
    {
        std::lock_guard guard(lock);
        // After a stop the flag would outlive the reading and end the next one at its first wait.
        if (stopped || isOfOtherGeneration(fromGeneration, generation))
            return;
        producerFinished = true;
        finished = queue.empty() && !currentPlayer && !m_loading;
    }
    if (finished)
        postFinishAll();
}

std::optional<int> AudioPlayer::currentPlayingParagraphOrPending()
{
    std::lock_guard guard(lock);
    if (currentSegment)
        return currentSegment->paragraphIndex;
    if (m_loadingParagraph)
        return m_loadingParagraph;
    if (!queue.empty())
        return queue.front().paragraphIndex;
    return std::nullopt;
}

bool AudioPlayer::hasRoomOrNotify(std::function<void()> onRoom)
{
    std::lock_guard guard(lock);
    if (m_queuedBytes <= maxQueuedBytes)
        return true;
    m_roomWaiters.push_back(std::move(onRoom));
    return false;
}

std::vector<std::function<void()>> AudioPlayer::takeWaitersIfRoomLocked()
{
    if (m_queuedBytes > maxQueuedBytes)
        return {};
    return std::exchange(m_roomWaiters, {});
}

void AudioPlayer::runWaiters(std::vector<std::function<void()>> waiters)
{
    for (auto& waiter : waiters)
        waiter();
}

std::shared_ptr<AudioPlayerPort> AudioPlayer::dropEverythingLocked()
{
    queue.clear();
    m_queuedBytes = 0;
    std::shared_ptr<AudioPlayerPort> dropped = std::move(currentPlayer);
    currentPlayer = nullptr;
    if (dropped)
        dropped->stop();
    currentSegment.reset();
    paragraphFinished.clear();
    lastPlayedParaIdx.reset();
    ++m_flushes;
    return dropped;
}

void AudioPlayer::flushQueue(std::optional<int> newGeneration)
{
    std::shared_ptr<AudioPlayerPort> dropped;
    std::vector<std::function<void()>> waiters;
    {
        std::lock_guard guard(lock);
        if (newGeneration)
            generation = *newGeneration;
        dropped = dropEverythingLocked();
        // A producer that finished the abandoned pass must not end the new one.
        producerFinished = false;
        waiters = takeWaitersIfRoomLocked();
    }
    if (dropped)
        loadedChanged();
    runWaiters(std::move(waiters));
}

void AudioPlayer::stop()
{
    Log::line("[Audio] STOP CALLED: " + CallStack::callers(6));

    std::shared_ptr<AudioPlayerPort> dropped;
    std::vector<std::function<void()>> waiters;
    {
        std::lock_guard guard(lock);
        stopped = true;
        dropped = dropEverythingLocked();
        producerFinished = false;
        firstPlayFired = false;
        pauseHeld = false;
        waiters = takeWaitersIfRoomLocked();
    }
    if (dropped)
        loadedChanged();
    runWaiters(std::move(waiters));
}

std::optional<size_t> AudioPlayer::findNextSegmentIndexLocked() const
{
    auto earliest = [&](auto&& eligible) -> std::optional<size_t> {
        std::optional<size_t> best;
        for (size_t i = 0; i < queue.size(); ++i) {
            if (!eligible(queue[i]))
                continue;
            if (!best
                || std::pair(queue[i].paragraphIndex, queue[i].textOffsetInParagraph)
                    < std::pair(queue[*best].paragraphIndex, queue[*best].textOffsetInParagraph))
                best = i;
        }
        return best;
    };

    if (!lastPlayedParaIdx)
        return earliest([](const AudioSegment&) { return true; });
    const int last = *lastPlayedParaIdx;
    for (size_t i = 0; i < queue.size(); ++i) {
        if (queue[i].paragraphIndex == last)
            return i;
    }
    if (!paragraphFinished.contains(last))
        return std::nullopt;
    return earliest([last](const AudioSegment& segment) { return segment.paragraphIndex > last; });
}

void AudioPlayer::playNext()
{
    bool ownsLoading = false;
    std::vector<std::function<void()>> waiters;
    for (;;) {
        AudioSegment segment;
        std::uint64_t flushes = 0;
        {
            std::unique_lock guard(lock);
            if (stopped || (m_loading && !ownsLoading)) {
                if (ownsLoading) {
                    m_loading = false;
                    m_loadingParagraph.reset();
                }
                return;
            }
            std::optional<size_t> next = findNextSegmentIndexLocked();
            if (!next) {
                std::shared_ptr<AudioPlayerPort> finished = std::move(currentPlayer);
                currentPlayer = nullptr;
                currentSegment.reset();
                m_loading = false;
                m_loadingParagraph.reset();
                bool everythingPlayed = producerFinished && queue.empty();
                guard.unlock();
                if (finished)
                    loadedChanged();
                if (everythingPlayed)
                    postFinishAll();
                return;
            }
            segment = std::move(queue[*next]);
            queue.erase(queue.begin() + static_cast<std::ptrdiff_t>(*next));
            m_queuedBytes -= segment.mp3Data.size();
            m_loading = ownsLoading = true;
            m_loadingParagraph = segment.paragraphIndex;
            flushes = m_flushes;
            waiters = takeWaitersIfRoomLocked();
        }
        runWaiters(std::exchange(waiters, {}));

        ErrorValue error;
        std::shared_ptr<AudioPlayerPort> player = AudioOutput::makePlayer(segment.mp3Data, error);
        if (!player) {
            Log::line("[Audio] init failed para=" + std::to_string(segment.paragraphIndex) + ": " + error.description);
            continue;
        }
        std::weak_ptr<AudioPlayer> weak = weak_from_this();
        player->onFinish = [weak](AudioPlayerPort& finished, bool successfully) {
            if (auto self = weak.lock())
                self->audioPlayerDidFinishPlaying(finished, successfully);
        };
        player->onDecodeError = [weak](AudioPlayerPort& failed, const ErrorValue& decodeError) {
            if (auto self = weak.lock())
                self->audioPlayerDecodeErrorDidOccur(failed, decodeError);
        };
        player->setEnableRate(true);
        player->prepareToPlay();

        const int paragraph = segment.paragraphIndex;
        const int offset = segment.textOffsetInParagraph;
        const size_t bytes = segment.mp3Data.size();
        const double duration = player->duration();
        bool started = false;
        bool firstPlay = false;
        std::shared_ptr<AudioPlayerPort> previous;
        {
            std::lock_guard guard(lock);
            if (stopped) {
                m_loading = false;
                m_loadingParagraph.reset();
                return;
            }
            // The queue it came from was flushed while it was being made: look again.
            if (m_flushes != flushes)
                continue;
            // The rate as it is now: a speed change during the decoding is not lost.
            player->setRate(rate);
            previous = std::exchange(currentPlayer, player);
            currentSegment = std::move(segment);
            lastPlayedParaIdx = paragraph;
            m_loading = false;
            m_loadingParagraph.reset();
            // Started under the lock, so a flush or stop cannot slip in before it plays.
            started = player->play();
            if (pauseHeld) {
                player->pause();
                pauseHeld = false;
            }
            if (started && !firstPlayFired) {
                firstPlayFired = true;
                firstPlay = true;
            }
        }
        if (!previous)
            loadedChanged();
        previous.reset();
        Log::line("[Audio] play para=" + std::to_string(paragraph) + " off=" + std::to_string(offset) + " bytes=" + std::to_string(bytes)
            + " dur=" + Format::fixed(duration, 2) + "s ok=" + text(started));
        postParagraphChange(paragraph);
        if (firstPlay)
            postFirstPlay();
        return;
    }
}

void AudioPlayer::audioPlayerDidFinishPlaying(AudioPlayerPort& player, bool successfully)
{
    int paragraph = -1;
    {
        std::lock_guard guard(lock);
        // A player flushed while its finish was already on the way is not the current one.
        if (stopped || currentPlayer.get() != &player)
            return;
        if (currentSegment)
            paragraph = currentSegment->paragraphIndex;
    }
    Log::line("[Audio] finished para=" + std::to_string(paragraph) + " success=" + text(successfully));
    playNext();
}

void AudioPlayer::audioPlayerDecodeErrorDidOccur(AudioPlayerPort& player, const std::optional<ErrorValue>& error)
{
    Log::line("[Audio] decode error: " + (error ? error->description : std::string("?")));
    // The piece ends here: a player that reports a decode error may never report a finish.
    audioPlayerDidFinishPlaying(player, false);
}

void AudioPlayer::heartbeat()
{
    std::shared_ptr<AudioPlayerPort> player;
    std::optional<int> paragraph;
    bool isStopped = false;
    {
        std::lock_guard guard(lock);
        player = currentPlayer;
        if (currentSegment)
            paragraph = currentSegment->paragraphIndex;
        isStopped = stopped;
    }
    if (!player || !paragraph)
        return;
    Log::line("[Audio:HB] para=" + std::to_string(*paragraph) + " playing=" + text(player->isPlaying())
              + " t=" + Format::fixed(player->currentTime(), 2) + "/" + Format::fixed(player->duration(), 2)
              + "s rate=" + Format::floatDescription(player->rate()) + " stopped=" + text(isStopped));
}

void AudioPlayer::postParagraphChange(int paragraphIndex)
{
    DispatchQueue::main().async([self = shared_from_this(), paragraphIndex] {
        if (self->onParagraphChange)
            self->onParagraphChange(paragraphIndex);
    });
}

void AudioPlayer::postFinishAll()
{
    DispatchQueue::main().async([self = shared_from_this()] {
        if (self->onFinishAll)
            self->onFinishAll();
    });
}

void AudioPlayer::postFirstPlay()
{
    DispatchQueue::main().async([self = shared_from_this()] {
        if (self->onFirstPlay)
            self->onFirstPlay();
    });
}

} // namespace lorvantine
