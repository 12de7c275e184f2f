#include "Audio/AudioPlayer.h"
#include "Audio/AudioTestSupport.h"
#include "Platform/Backends/AudioMixer.h"
#include "TestSupport/ManualClockTest.h"
#include "TestSupport/Mp3Fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <regex>
#include <thread>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::vector<std::uint8_t>& toneOf(double seconds)
{
    static std::mutex mutex;
    static std::map<double, std::vector<std::uint8_t>> cache;
    std::lock_guard lock(mutex);
    auto& mp3 = cache[seconds];
    if (mp3.empty())
        mp3 = Mp3Fixture::toneMp3(440, seconds);
    return mp3;
}

AudioSegment piece(int paragraph, int offset, double seconds = 0.5, int generation = 0)
{
    AudioSegment segment;
    segment.paragraphIndex = paragraph;
    segment.textOffsetInParagraph = offset;
    segment.mp3Data = toneOf(seconds);
    segment.processedText = "text";
    segment.generation = generation;
    return segment;
}

class AudioPlayerTest : public ManualAudioTest {
protected:
    void SetUp() override
    {
        ManualAudioTest::SetUp();
        defaults->set(PreferencesModel::Key::defaultSpeed, 1.0f);
        player = makePlayer();
    }

    void TearDown() override
    {
        player.reset();
        ManualAudioTest::TearDown();
    }

    std::shared_ptr<AudioPlayer> makePlayer()
    {
        auto made = AudioPlayer::create();
        made->onParagraphChange = [this](int paragraph) { note("change " + std::to_string(paragraph)); };
        made->onFirstPlay = [this] { note("first play"); };
        made->onFinishAll = [this] { note("finish all"); };
        RunLoop::runPending();
        return made;
    }

    void note(std::string what)
    {
        EXPECT_TRUE(RunLoop::isMainThread()) << what;
        notes.push_back(std::move(what));
    }

    // "paragraph/offset" of every piece started, in order.
    std::vector<std::string> plays() const
    {
        static const std::regex pattern(R"(^\[Audio\] play para=(-?\d+) off=(\d+) bytes=\d+ dur=\d+\.\d\ds ok=(true|false)$)");
        std::vector<std::string> found;
        for (const auto& line : log.linesContaining("[Audio] play ")) {
            std::smatch match;
            EXPECT_TRUE(std::regex_match(line, match, pattern)) << line;
            if (!match.empty())
                found.push_back(match[1].str() + "/" + match[2].str());
        }
        return found;
    }

    std::vector<std::string> takeNotes() { return std::exchange(notes, {}); }

    std::shared_ptr<AudioPlayer> player;
    std::vector<std::string> notes;
};

TEST_F(AudioPlayerTest, PlaysEachParagraphsPiecesInOrderAndTheNextParagraphOnlyOnceMarkedFinished)
{
    player->enqueue(piece(0, 0));
    player->enqueue(piece(1, 0));
    player->enqueue(piece(0, 40));
    EXPECT_THAT(notes, IsEmpty()) << "notifications are posted, never called in place";
    RunLoop::runPending();
    EXPECT_THAT(takeNotes(), ElementsAre("change 0", "first play"));

    advance(0.5);
    EXPECT_THAT(plays(), ElementsAre("0/0", "0/40"));
    EXPECT_THAT(takeNotes(), ElementsAre("change 0"));
    advance(0.6);
    EXPECT_THAT(plays(), ElementsAre("0/0", "0/40")) << "paragraph 0 may have more pieces to come";
    EXPECT_EQ(player->currentPlayingParagraphOrPending(), 1);

    player->markParagraphFinished(0);
    EXPECT_TRUE(log.contains("[Audio] markParagraphFinished para=0 → resume"));
    EXPECT_THAT(plays(), ElementsAre("0/0", "0/40", "1/0"));
    EXPECT_TRUE(log.contains("[Audio] finished para=0 success=true"));
    player->markParagraphFinished(1);
    player->markProducerFinished();
    advance(0.49);
    EXPECT_THAT(takeNotes(), ElementsAre("change 1"));
    advance(0.02);
    EXPECT_THAT(takeNotes(), ElementsAre("finish all"));
    EXPECT_EQ(player->currentPlayingParagraphOrPending(), std::nullopt);
}

TEST_F(AudioPlayerTest, PiecesThatArriveOutOfOrderAreSortedByParagraphAndOffset)
{
    player->enqueue(piece(0, 0));
    player->enqueue(piece(2, 0));
    player->enqueue(piece(1, 30));
    player->enqueue(piece(1, 0));
    player->enqueue(piece(2, 0, 0.25));
    for (int paragraph : { 0, 1, 2 })
        player->markParagraphFinished(paragraph);
    player->markProducerFinished();
    advance(3);
    // A new paragraph starts at its smallest offset; the rest of it follows in arrival order.
    EXPECT_THAT(plays(), ElementsAre("0/0", "1/0", "1/30", "2/0", "2/0"));
    EXPECT_EQ(notes.back(), "finish all");
    auto durations = log.linesContaining("para=2 off=0");
    ASSERT_EQ(durations.size(), 4u);
    EXPECT_NE(durations[2].find("dur=0.50s"), std::string::npos) << "the earlier of two equal pairs plays first";
}

TEST_F(AudioPlayerTest, AParagraphWithoutPiecesIsPassedOverOnceFinished)
{
    player->enqueue(piece(2, 0));
    player->markParagraphFinished(2);
    player->markParagraphFinished(3);
    player->enqueue(piece(4, 0));
    player->markParagraphFinished(4);
    player->markProducerFinished();
    advance(1.1);
    EXPECT_THAT(plays(), ElementsAre("2/0", "4/0"));
    EXPECT_EQ(notes.back(), "finish all");
}

TEST_F(AudioPlayerTest, APieceBelowTheLastPlayedParagraphNeverPlaysAndHoldsBackTheFinish)
{
    player->enqueue(piece(2, 0));
    player->enqueue(piece(1, 0));
    player->markParagraphFinished(2);
    player->markProducerFinished();
    advance(3);
    EXPECT_THAT(plays(), ElementsAre("2/0"));
    EXPECT_THAT(notes, ElementsAre("change 2", "first play"));
}

TEST_F(AudioPlayerTest, FinishAllIsPostedWhenTheLastPieceEndsOrAtOnceWhenNothingIsLeft)
{
    player->markProducerFinished();
    EXPECT_THAT(notes, IsEmpty());
    RunLoop::runPending();
    EXPECT_THAT(takeNotes(), ElementsAre("finish all"));

    player->flushQueue();
    player->enqueue(piece(0, 0));
    player->markParagraphFinished(0);
    player->markProducerFinished();
    advance(0.49);
    EXPECT_THAT(takeNotes(), ElementsAre("change 0", "first play"));
    advance(0.02);
    EXPECT_THAT(takeNotes(), ElementsAre("finish all"));
    advance(3);
    EXPECT_THAT(notes, IsEmpty());
}

TEST_F(AudioPlayerTest, UndecodablePiecesAreSkippedWithALineAndPlaybackGoesOn)
{
    // An empty first piece starts the next one at once.
    AudioSegment empty = piece(0, 0);
    empty.mp3Data.clear();
    player->enqueue(empty);
    player->enqueue(piece(0, 10));
    EXPECT_THAT(plays(), ElementsAre("0/10"));
    EXPECT_TRUE(log.contains("[Audio] enqueue para=0 off=10 bytes=" + std::to_string(toneOf(0.5).size()) + " qlen=1 start=true"));
    AudioSegment garbage = piece(0, 20);
    garbage.mp3Data.assign(2000, 0x5A);
    player->enqueue(garbage);
    player->enqueue(piece(0, 40));
    player->markParagraphFinished(0);
    player->markProducerFinished();
    advance(1.1);

    EXPECT_THAT(plays(), ElementsAre("0/10", "0/40"));
    auto failures = log.linesContaining("[Audio] init failed para=0: ");
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_NE(failures[0].find("cannot decode 0 bytes"), std::string::npos) << failures[0];
    EXPECT_NE(failures[1].find("cannot decode 2000 bytes"), std::string::npos) << failures[1];
    EXPECT_EQ(notes.back(), "finish all");
}

TEST_F(AudioPlayerTest, FlushDropsEverythingAndTheNextPieceToArrivePlays)
{
    player->enqueue(piece(0, 0));
    player->enqueue(piece(0, 40));
    player->enqueue(piece(1, 0));
    advance(0.2);
    player->flushQueue();
    EXPECT_EQ(player->currentPlayingParagraphOrPending(), std::nullopt);
    advance(2);
    EXPECT_FALSE(log.contains("[Audio] finished para=0")) << "a stopped piece never reports its end";
    EXPECT_THAT(plays(), ElementsAre("0/0"));

    player->enqueue(piece(5, 0));
    EXPECT_THAT(plays(), ElementsAre("0/0", "5/0"));
    RunLoop::runPending();
    EXPECT_THAT(takeNotes(), ElementsAre("change 0", "first play", "change 5")) << "first play is posted once per reading";
}

TEST_F(AudioPlayerTest, StopEndsTheReadingSilentlyUntilTheOwnerClearsIt)
{
    player->enqueue(piece(0, 0));
    player->enqueue(piece(0, 40));
    player->markParagraphFinished(0);
    player->markProducerFinished();
    RunLoop::runPending();
    takeNotes();
    advance(0.2);

    player->stop();
    auto stopLines = log.linesContaining("[Audio] STOP CALLED: ");
    ASSERT_EQ(stopLines.size(), 1u);
    EXPECT_NE(stopLines[0].find(" ← "), std::string::npos) << stopLines[0];
    log.clear();
    player->enqueue(piece(0, 80));
    player->markParagraphFinished(0);
    player->markProducerFinished();
    advance(3);
    EXPECT_THAT(log.lines(), IsEmpty()) << "pieces after a stop are dropped without a line";
    EXPECT_THAT(notes, IsEmpty()) << "a stop posts nothing, and no finish follows";
    EXPECT_EQ(player->currentPlayingParagraphOrPending(), std::nullopt);

    {
        std::lock_guard guard(player->lock);
        EXPECT_FALSE(player->producerFinished);
        EXPECT_FALSE(player->firstPlayFired);
        player->stopped = false;
    }
    player->enqueue(piece(3, 0));
    RunLoop::runPending();
    EXPECT_THAT(takeNotes(), ElementsAre("change 3", "first play"));
}

TEST_F(AudioPlayerTest, NextPageStartsFromAFreshProducerState)
{
    player->enqueue(piece(7, 0));
    player->markParagraphFinished(7);
    player->markProducerFinished();
    advance(0.6);
    EXPECT_EQ(takeNotes().back(), "finish all");

    // The next page numbers its paragraphs from 0 again.
    player->flushQueue();
    player->enqueue(piece(0, 0));
    advance(0.6);
    EXPECT_THAT(plays(), ElementsAre("7/0", "0/0"));
    EXPECT_THAT(takeNotes(), ElementsAre("change 0")) << "the producer has not finished the new page";
    player->markParagraphFinished(0);
    player->markProducerFinished();
    RunLoop::runPending();
    EXPECT_THAT(takeNotes(), ElementsAre("finish all"));
}

TEST_F(AudioPlayerTest, TheRateComesFromTheDefaultsAndReachesOnlyLaterPiecesUnlessThePlayingOneIsChangedToo)
{
    defaults->removeObject(PreferencesModel::Key::defaultSpeed);
    EXPECT_FLOAT_EQ(makePlayer()->rate, 1.5f);
    defaults->set(PreferencesModel::Key::defaultSpeed, -2.0f);
    EXPECT_FLOAT_EQ(makePlayer()->rate, 1.5f);
    defaults->set(PreferencesModel::Key::defaultSpeed, 1.25f);
    EXPECT_FLOAT_EQ(makePlayer()->rate, 1.25f);

    player->enqueue(piece(0, 0, 1.0));
    player->enqueue(piece(0, 40, 1.0));
    player->enqueue(piece(0, 80, 1.0));
    player->markParagraphFinished(0);
    advance(0.5);
    {
        std::lock_guard guard(player->lock);
        player->rate = 2.0f;
    }
    advance(0.49);
    EXPECT_THAT(plays(), ElementsAre("0/0")) << "the playing piece keeps its rate";
    advance(0.02);
    EXPECT_THAT(plays(), ElementsAre("0/0", "0/40"));
    advance(0.25);
    {
        // The speed control changes both.
        std::lock_guard guard(player->lock);
        player->rate = 1.0f;
        player->currentPlayer->setRate(1.0f);
        EXPECT_NEAR(player->currentPlayer->currentTime(), 0.52, 0.01);
    }
    advance(0.47);
    EXPECT_THAT(plays(), ElementsAre("0/0", "0/40"));
    advance(0.02);
    EXPECT_THAT(plays(), ElementsAre("0/0", "0/40", "0/80"));
}

TEST_F(AudioPlayerTest, TheHeartbeatTracesThePlayingPieceEverySecond)
{
    advance(1.0);
    EXPECT_THAT(log.linesContaining("[Audio:HB]"), IsEmpty()) << "nothing loaded, nothing to trace";
    player->enqueue(piece(4, 0, 3.0));
    advance(1.0);
    auto beats = log.linesContaining("[Audio:HB]");
    ASSERT_EQ(beats.size(), 1u);
    EXPECT_EQ(beats[0], "[Audio:HB] para=4 playing=true t=1.00/3.00s rate=1.0 stopped=false");
    {
        std::lock_guard guard(player->lock);
        player->currentPlayer->pause();
    }
    advance(1.0);
    beats = log.linesContaining("[Audio:HB]");
    ASSERT_EQ(beats.size(), 2u);
    EXPECT_EQ(beats[1], "[Audio:HB] para=4 playing=false t=1.00/3.00s rate=1.0 stopped=false");
}

// Nothing loaded, nothing to trace: a player at rest, after its reading ended or was stopped,
// wakes the program for nothing.
TEST_F(AudioPlayerTest, TheHeartbeatRunsOnlyWhileAPieceIsLoaded)
{
    EXPECT_EQ(mainWakesOver(*clock, seconds(5)), 0) << "a new player";

    player->enqueue(piece(0, 0, 1.5));
    player->markParagraphFinished(0);
    player->markProducerFinished();
    advance(3.0);
    EXPECT_EQ(takeNotes(), (std::vector<std::string> { "change 0", "first play", "finish all" }));
    EXPECT_EQ(log.linesContaining("[Audio:HB]").size(), 1u);
    EXPECT_EQ(mainWakesOver(*clock, seconds(5)), 0) << "the reading ended";

    player->enqueue(piece(1, 0, 3.0));
    advance(2.0);
    EXPECT_EQ(log.linesContaining("[Audio:HB]").size(), 3u);
    player->stop();
    RunLoop::runPending();
    EXPECT_EQ(mainWakesOver(*clock, seconds(5)), 0) << "stopped";
    EXPECT_EQ(log.linesContaining("[Audio:HB]").size(), 3u);
}

// Regressions of faults in the ordering design: work of an abandoned generation, and a piece
// whose audio breaks off.

TEST_F(AudioPlayerTest, AFlushClearsTheProducersFinishSoASeekIsNotEndedEarly)
{
    player->enqueue(piece(6, 0));
    player->markParagraphFinished(6);
    player->markProducerFinished();
    advance(0.2);
    // Seek to paragraph 2: its first piece plays and the second is still being spoken.
    player->flushQueue();
    player->enqueue(piece(2, 0));
    advance(0.6);
    EXPECT_THAT(notes, ::testing::Not(::testing::Contains("finish all")));

    player->enqueue(piece(2, 40));
    player->markParagraphFinished(2);
    player->markProducerFinished();
    advance(0.6);
    EXPECT_THAT(plays(), ElementsAre("6/0", "2/0", "2/40"));
    EXPECT_EQ(notes.back(), "finish all");
}

TEST_F(AudioPlayerTest, ProducerCallsOfAnAbandonedGenerationAreIgnored)
{
    player->enqueue(piece(3, 0, 0.5, 0));
    player->flushQueue(1);
    player->enqueue(piece(1, 0, 0.5, 1));
    // The old generation's loop, still running, reports its paragraph and its end.
    player->markParagraphFinished(1, 0);
    player->markProducerFinished(0);
    player->enqueue(piece(1, 40, 0.5, 1));
    advance(1.1);
    EXPECT_THAT(plays(), ElementsAre("3/0", "1/0", "1/40"));
    EXPECT_THAT(notes, ::testing::Not(::testing::Contains("finish all")));
    player->markParagraphFinished(1, 1);
    player->markProducerFinished(1);
    RunLoop::runPending();
    EXPECT_EQ(notes.back(), "finish all");
}

TEST_F(AudioPlayerTest, APieceOfASupersededGenerationArrivingAfterAFlushIsDropped)
{
    player->enqueue(piece(3, 0, 0.5, 0));
    advance(0.2);
    // Seek back to paragraph 1 while the old generation's answer for paragraph 4 is in flight.
    player->flushQueue(1);
    player->enqueue(piece(4, 0, 0.5, 0));
    EXPECT_EQ(player->currentPlayingParagraphOrPending(), std::nullopt);
    player->enqueue(piece(1, 0, 0.5, 1));
    player->markParagraphFinished(1, 1);
    player->enqueue(piece(2, 0, 0.5, 1));
    player->markParagraphFinished(2, 1);
    player->markProducerFinished(1);
    advance(1.1);
    EXPECT_THAT(plays(), ElementsAre("3/0", "1/0", "2/0"));
    EXPECT_EQ(notes.back(), "finish all");
    EXPECT_THAT(log.linesContaining("enqueue para=4"), IsEmpty());

    // The owner starting a new reading sets the generation directly.
    {
        std::lock_guard guard(player->lock);
        player->generation = 7;
    }
    player->flushQueue();
    player->enqueue(piece(0, 0, 0.5, 1));
    player->enqueue(piece(0, 0, 0.5, 7));
    EXPECT_THAT(plays(), ElementsAre("3/0", "1/0", "2/0", "0/0"));
    EXPECT_EQ(log.linesContaining("enqueue para=0").size(), 1u);
}

TEST_F(AudioPlayerTest, ADecodeErrorEndsThePieceAndPlaybackGoesOn)
{
    AudioSegment broken = piece(0, 0);
    broken.mp3Data = brokenOffMp3(1.0);
    player->enqueue(broken);
    player->enqueue(piece(0, 40));
    player->markParagraphFinished(0);
    player->markProducerFinished();
    advance(1.2);

    EXPECT_THAT(plays(), ElementsAre("0/0", "0/40"));
    auto lines = log.linesContaining("[Audio] ");
    auto decodeError = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("[Audio] decode error: mpg123: "); });
    ASSERT_NE(decodeError, lines.end());
    EXPECT_EQ(*(decodeError + 1), "[Audio] finished para=0 success=false");
    EXPECT_TRUE((decodeError + 2)->starts_with("[Audio] play para=0 off=40 "));
    EXPECT_EQ(notes.back(), "finish all");
}

// A piece that arrives while the previous one is still being decoded must wait its turn, not
// start a second player beside it.
TEST_F(AudioPlayerTest, APieceArrivingDuringTheDecodingOfAnotherDoesNotStartASecondPlayer)
{
    const auto& longPiece = toneOf(30.0);
    std::thread second([&] {
        auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!log.contains("[Audio] enqueue para=0 off=0 ") && std::chrono::steady_clock::now() < limit)
            std::this_thread::yield();
        player->enqueue(piece(0, 40));
    });
    AudioSegment first = piece(0, 0);
    first.mp3Data = longPiece;
    player->enqueue(first);
    second.join();
    EXPECT_THAT(plays(), ElementsAre("0/0"));
    EXPECT_EQ(player->currentPlayingParagraphOrPending(), 0);
    player->markParagraphFinished(0);
    advance(30.2);
    EXPECT_THAT(plays(), ElementsAre("0/0", "0/40"));
}

// The generation loop feeds from its own thread, one paragraph ahead of playback, while the
// clock moves on the main thread: every piece plays once, in order, one at a time.
TEST_F(AudioPlayerTest, FeedingFromAnotherThreadKeepsStrictOrder)
{
    constexpr int paragraphs = 12;
    std::atomic<int> playing { -1 };
    player->onParagraphChange = [&](int paragraph) { playing = paragraph; };
    std::atomic<bool> finished { false };
    player->onFinishAll = [&] { finished = true; };

    std::thread producer([&] {
        for (int p = 0; p < paragraphs; ++p) {
            while (playing.load() < p - 1 && !finished)
                std::this_thread::yield();
            for (int offset : { 0, 10, 20 })
                player->enqueue(piece(p, offset, 0.05));
            player->markParagraphFinished(p);
        }
        player->markProducerFinished();
    });
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!finished && std::chrono::steady_clock::now() < limit) {
        advance(0.01);
        std::this_thread::yield();
    }
    producer.join();
    ASSERT_TRUE(finished);

    std::vector<std::string> expected;
    for (int p = 0; p < paragraphs; ++p) {
        for (int offset : { 0, 10, 20 })
            expected.push_back(std::to_string(p) + "/" + std::to_string(offset));
    }
    EXPECT_EQ(plays(), expected);
    EXPECT_EQ(log.linesContaining("[Audio] finished para=").size(), expected.size());
}

// An output whose opening, the last step of making a piece's player, waits until the test lets
// it go: the piece stays "being decoded" for as long as the test needs.
class GatedOpenSink final : public AudioSink {
public:
    struct Gate {
        std::mutex mutex;
        std::condition_variable changed;
        bool entered = false;
        bool released = false;
    };
    explicit GatedOpenSink(std::shared_ptr<Gate> gate) : m_gate(std::move(gate)) { }

    Pacing pacing() const override { return Pacing::clock; }
    bool open(const AudioFormat& preferred, AudioFormat& actual, std::string&) override
    {
        std::unique_lock lock(m_gate->mutex);
        m_gate->entered = true;
        m_gate->changed.notify_all();
        m_gate->changed.wait(lock, [&] { return m_gate->released; });
        actual = preferred;
        return true;
    }
    bool write(std::span<const std::int16_t>) override { return true; }
    void writeSilence(size_t) override { }

private:
    std::shared_ptr<Gate> m_gate;
};

TEST_F(AudioPlayerTest, ASeekWhileAPieceIsBeingDecodedDropsThatPiece)
{
    auto gate = std::make_shared<GatedOpenSink::Gate>();
    AudioOutput::useMixer(AudioMixer::make(std::make_unique<GatedOpenSink>(gate)));
    std::thread producer([&] { player->enqueue(piece(3, 0, 0.5, 0)); });
    bool entered = false;
    {
        std::unique_lock lock(gate->mutex);
        entered = gate->changed.wait_for(lock, std::chrono::seconds(10), [&] { return gate->entered; });
    }
    EXPECT_TRUE(entered);
    EXPECT_EQ(player->currentPlayingParagraphOrPending(), 3) << "the piece being made counts as the one about to play";

    // Seek to paragraph 1: its piece arrives while paragraph 3's is still being made.
    player->flushQueue(1);
    player->enqueue(piece(1, 0, 0.5, 1));
    {
        std::lock_guard lock(gate->mutex);
        gate->released = true;
    }
    gate->changed.notify_all();
    producer.join();
    player->markParagraphFinished(1, 1);
    player->markProducerFinished(1);
    advance(1.0);
    AudioOutput::useMixer(nullptr);

    EXPECT_THAT(plays(), ElementsAre("1/0"));
    EXPECT_THAT(notes, ElementsAre("change 1", "first play", "finish all"));
}

TEST_F(AudioPlayerTest, AProducerOverTheQueueCapIsToldWhenPlaybackHasMadeRoom)
{
    const size_t pieceBytes = toneOf(0.5).size();
    {
        std::lock_guard guard(player->lock);
        player->maxQueuedBytes = pieceBytes * 3 / 2;
    }
    int roomCalls = 0;
    auto waitForRoom = [&] { return player->hasRoomOrNotify([&] { ++roomCalls; }); };

    // The first piece plays at once and is not held ahead; the second fits under the cap.
    player->enqueue(piece(0, 0));
    player->enqueue(piece(0, 10));
    EXPECT_TRUE(waitForRoom());
    player->enqueue(piece(0, 20));
    EXPECT_FALSE(waitForRoom()) << "two pieces ahead are over the cap";
    EXPECT_FALSE(waitForRoom());
    advance(0.49);
    EXPECT_EQ(roomCalls, 0);
    advance(0.02);
    EXPECT_EQ(roomCalls, 2) << "the second piece started: one is left ahead, every waiter is told once";
    EXPECT_TRUE(waitForRoom());

    // A flush or a stop empties the queue, which lets a waiting producer go on (and find its
    // generation over).
    player->enqueue(piece(0, 30));
    ASSERT_FALSE(waitForRoom());
    player->flushQueue();
    EXPECT_EQ(roomCalls, 3);
    player->enqueue(piece(1, 0));
    player->enqueue(piece(1, 10));
    player->enqueue(piece(1, 20));
    ASSERT_FALSE(waitForRoom());
    player->stop();
    EXPECT_EQ(roomCalls, 4);
    advance(2);
    EXPECT_EQ(roomCalls, 4);
}

} // namespace
} // namespace lorvantine
