#include "Audio/AudioTestSupport.h"
#include "Platform/AudioOutputPort.h"
#include "TestSupport/Mp3Fixture.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace lorvantine {
namespace {

class AudioOutputTest : public ManualAudioTest {
protected:
    std::shared_ptr<AudioPlayerPort> load(const std::vector<std::uint8_t>& mp3)
    {
        ErrorValue error;
        auto player = AudioOutput::makePlayer(mp3, error);
        EXPECT_TRUE(player) << error.description;
        if (player) {
            player->onFinish = [this](AudioPlayerPort& finished, bool successfully) { events.push_back({ &finished, successfully ? "finish" : "failed" }); };
            player->onDecodeError = [this](AudioPlayerPort& failed, const ErrorValue& decodeError) { events.push_back({ &failed, "decode error: " + decodeError.description }); };
        }
        return player;
    }

    struct Event {
        AudioPlayerPort* player = nullptr;
        std::string what;
    };
    std::vector<Event> events;
};

TEST_F(AudioOutputTest, PlaysForItsDurationAsTheClockMoves)
{
    auto player = load(Mp3Fixture::toneMp3(440, 1.0));
    EXPECT_DOUBLE_EQ(player->duration(), 1.0);
    EXPECT_TRUE(player->prepareToPlay());
    EXPECT_TRUE(player->play());
    EXPECT_TRUE(player->isPlaying());

    advanceClock(0.25);
    EXPECT_NEAR(player->currentTime(), 0.25, 0.001);
    advanceClock(0.74);
    EXPECT_TRUE(events.empty());
    EXPECT_NEAR(player->currentTime(), 0.99, 0.001);

    advanceClock(0.02);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].player, player.get());
    EXPECT_EQ(events[0].what, "finish");
    EXPECT_FALSE(player->isPlaying());
    advanceClock(5);
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(AudioOutputTest, RateChangesTheTimeTakenOnlyWhileEnabled)
{
    auto ignored = load(Mp3Fixture::toneMp3(440, 1.0));
    ignored->setRate(2.0f);
    ignored->play();
    advanceClock(0.99);
    EXPECT_TRUE(events.empty()) << "the rate waits for rate changes to be enabled";
    advanceClock(0.02);
    ASSERT_EQ(events.size(), 1u);

    auto fast = load(Mp3Fixture::toneMp3(440, 1.5));
    fast->setEnableRate(true);
    fast->setRate(1.5f);
    EXPECT_FLOAT_EQ(fast->rate(), 1.5f);
    fast->play();
    advanceClock(0.5);
    EXPECT_NEAR(fast->currentTime(), 0.75, 0.01);
    advanceClock(0.49);
    EXPECT_EQ(events.size(), 1u);
    advanceClock(0.02);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].player, fast.get());

    // Rates outside the player's range are taken into it.
    fast->setRate(4.0f);
    EXPECT_FLOAT_EQ(fast->rate(), 2.0f);
    fast->setRate(0.1f);
    EXPECT_FLOAT_EQ(fast->rate(), 0.5f);

    // A change while playing takes effect at once.
    auto changed = load(Mp3Fixture::toneMp3(440, 2.0));
    changed->setEnableRate(true);
    changed->play();
    advanceClock(1.0);
    EXPECT_NEAR(changed->currentTime(), 1.0, 0.001);
    changed->setRate(2.0f);
    advanceClock(0.45);
    EXPECT_EQ(events.size(), 2u);
    EXPECT_NEAR(changed->currentTime(), 1.9, 0.05);
    advanceClock(0.1);
    EXPECT_EQ(events.size(), 3u);
}

TEST_F(AudioOutputTest, PauseHoldsThePositionAndStopNeverFinishes)
{
    auto paused = load(Mp3Fixture::toneMp3(440, 1.0));
    auto stopped = load(Mp3Fixture::toneMp3(440, 1.0));
    paused->play();
    stopped->play();
    advanceClock(0.3);
    paused->pause();
    stopped->stop();
    EXPECT_FALSE(paused->isPlaying());
    EXPECT_FALSE(stopped->isPlaying());
    advanceClock(5);
    EXPECT_TRUE(events.empty());
    EXPECT_NEAR(paused->currentTime(), 0.3, 0.001);

    paused->play();
    advanceClock(0.69);
    EXPECT_TRUE(events.empty());
    advanceClock(0.02);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].player, paused.get());
}

TEST_F(AudioOutputTest, DataThatBreaksOffPlaysWhatDecodedThenReportsADecodeErrorAndNoFinish)
{
    auto player = load(brokenOffMp3(1.0));
    const double playable = player->duration();
    ASSERT_GT(playable, 0.3);
    ASSERT_LT(playable, 0.7);
    player->play();
    advanceClock(playable - 0.01);
    EXPECT_TRUE(events.empty());
    advanceClock(0.02);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].what.rfind("decode error: mpg123: ", 0), 0u) << events[0].what;
    EXPECT_FALSE(player->isPlaying());
    advanceClock(2);
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(AudioOutputTest, TheWavFileRecordsSilenceBetweenPiecesAndConvertsLaterFormats)
{
    auto path = temporaryFile("gap.wav");
    AudioOutput::route(AudioOutput::Destination::wavFile, path.string());
    auto first = Mp3Fixture::toneMp3(440, 0.2, 24000);
    auto second = Mp3Fixture::toneMp3(440, 0.5, 16000, 2);
    auto a = load(first);
    auto b = load(second);
    a->play();
    advanceClock(0.5);
    ASSERT_EQ(events.size(), 1u);
    b->play();
    advanceClock(0.6);
    ASSERT_EQ(events.size(), 2u);

    auto wav = readWav(path);
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->sampleRate, 24000);
    EXPECT_EQ(wav->channels, 1);
    EXPECT_EQ(wav->bitsPerSample, 16);
    auto samples = decodedSamples(first);
    ASSERT_EQ(samples.size(), 4800u);
    ASSERT_GE(wav->samples.size(), 12000u + 11000u);
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), wav->samples.begin()));
    // From the end of the first piece at 0.2 s to the start of the second at 0.5 s, nothing played.
    EXPECT_TRUE(std::all_of(wav->samples.begin() + 4800, wav->samples.begin() + 12000, [](std::int16_t s) { return s == 0; }));
    // Half a second at 16 kHz stereo, heard as half a second at 24 kHz mono.
    EXPECT_NEAR(static_cast<double>(wav->samples.size() - 12000), 12000, 100);
    EXPECT_GT(*std::max_element(wav->samples.begin() + 12000, wav->samples.end()), 8000);
}

TEST_F(AudioOutputTest, AFileThatCannotBeWrittenFallsBackToTheClockWithOneLine)
{
    AudioOutput::route(AudioOutput::Destination::wavFile, (directory.path() / "missing" / "out.wav").string());
    auto player = load(Mp3Fixture::toneMp3(440, 0.2));
    EXPECT_TRUE(player->play());
    advanceClock(0.3);
    EXPECT_EQ(events.size(), 1u);
    EXPECT_EQ(log.linesContaining("playing on the clock without sound").size(), 1u);
}

// The one test on the real clock: the output's own thread paces a short piece.
TEST(AudioOutputSteadyClockTest, TheOutputThreadPlaysAPieceInRealTime)
{
    AudioOutput::route(AudioOutput::Destination::clockPaced);
    ErrorValue error;
    auto player = AudioOutput::makePlayer(Mp3Fixture::toneMp3(440, 0.1), error);
    ASSERT_TRUE(player);
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    player->onFinish = [&](AudioPlayerPort&, bool) {
        std::lock_guard lock(mutex);
        done = true;
        finished.notify_all();
    };
    auto started = std::chrono::steady_clock::now();
    player->play();
    std::unique_lock lock(mutex);
    ASSERT_TRUE(finished.wait_for(lock, std::chrono::seconds(2), [&] { return done; }));
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_GE(took, std::chrono::milliseconds(70));
    EXPECT_LT(took, std::chrono::milliseconds(600));
}

} // namespace
} // namespace lorvantine
