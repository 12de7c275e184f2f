#include "Audio/AudioPlayer.h"
#include "Audio/AudioTestSupport.h"
#include "TestSupport/Mp3Fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace lorvantine {
namespace {

struct Tone {
    double frequency;
    double seconds;
};
const Tone tones[] = { { 440, 0.4 }, { 660, 0.5 }, { 880, 0.3 } };

// Rising zero crossings per second over a stretch of samples.
double frequencyOf(const std::vector<std::int16_t>& samples, size_t from, size_t to, int sampleRate)
{
    int crossings = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (samples[i - 1] < 0 && samples[i] >= 0)
            ++crossings;
    }
    return crossings * static_cast<double>(sampleRate) / static_cast<double>(to - from);
}

class WavPlaybackTest : public ManualAudioTest {
protected:
    // Plays the three tones as two paragraphs into a WAV file and reads it back.
    std::optional<WavContents> playAt(float speed)
    {
        auto path = temporaryFile("reading.wav");
        AudioOutput::route(AudioOutput::Destination::wavFile, path.string());
        defaults->set(PreferencesModel::Key::defaultSpeed, speed);
        auto player = AudioPlayer::create();
        bool finished = false;
        player->onFinishAll = [&] { finished = true; };
        const std::pair<int, int> places[] = { { 0, 0 }, { 0, 40 }, { 1, 0 } };
        for (size_t i = 0; i < 3; ++i) {
            mp3s.push_back(Mp3Fixture::toneMp3(tones[i].frequency, tones[i].seconds));
            AudioSegment segment;
            segment.paragraphIndex = places[i].first;
            segment.textOffsetInParagraph = places[i].second;
            segment.mp3Data = mp3s.back();
            player->enqueue(segment);
        }
        player->markParagraphFinished(0);
        player->markParagraphFinished(1);
        player->markProducerFinished();
        advance(1.3);
        EXPECT_TRUE(finished);
        return readWav(path);
    }

    std::vector<std::vector<std::uint8_t>> mp3s;
};

TEST_F(WavPlaybackTest, AtNormalSpeedTheOutputIsThePiecesSampleForSampleWithNothingBetween)
{
    auto wav = playAt(1.0f);
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->sampleRate, 24000);
    EXPECT_EQ(wav->channels, 1);
    std::vector<std::int16_t> expected;
    for (const auto& mp3 : mp3s) {
        auto samples = decodedSamples(mp3);
        expected.insert(expected.end(), samples.begin(), samples.end());
    }
    ASSERT_EQ(expected.size(), 28800u);
    ASSERT_EQ(wav->samples.size(), expected.size());
    EXPECT_TRUE(wav->samples == expected);
}

TEST_F(WavPlaybackTest, AtOneAndAHalfTheOutputTakesTwoThirdsOfTheTimeAtTheSamePitch)
{
    auto wav = playAt(1.5f);
    ASSERT_TRUE(wav);
    EXPECT_NEAR(static_cast<double>(wav->samples.size()), 28800 / 1.5, 3);
    size_t start = 0;
    for (const Tone& tone : tones) {
        size_t length = static_cast<size_t>(tone.seconds * 24000 / 1.5);
        // The middle of each piece, away from the joins.
        double heard = frequencyOf(wav->samples, start + length / 4, start + length * 3 / 4, 24000);
        EXPECT_NEAR(heard, tone.frequency, tone.frequency * 0.03) << tone.frequency;
        start += length;
    }
}

// What the header says of the data, and how much data the file holds.
struct WavLengths {
    std::uint32_t header = 0;
    std::uint64_t data = 0;
};

WavLengths lengthsOf(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)), {});
    WavLengths lengths;
    if (bytes.size() >= 44) {
        std::memcpy(&lengths.header, bytes.data() + 40, 4);
        lengths.data = bytes.size() - 44;
    }
    return lengths;
}

// Each write to the file costs: while sound plays it is written a second at a time with the
// header that covers it, so a crash costs at most the last second; once the sound stops the file
// holds all of it.
TEST_F(WavPlaybackTest, WhilePlayingTheHeaderFollowsTheSoundOnceASecondAndIsWholeWhenItStops)
{
    auto path = temporaryFile("long.wav");
    AudioOutput::route(AudioOutput::Destination::wavFile, path.string());
    defaults->set(PreferencesModel::Key::defaultSpeed, 1.0f);
    auto player = AudioPlayer::create();
    mp3s.push_back(Mp3Fixture::toneMp3(440, 3.5));
    player->enqueue(AudioSegment { .mp3Data = mp3s.back() });
    player->markParagraphFinished(0);
    player->markProducerFinished();

    const std::uint64_t second = 24000 * 2;
    std::vector<std::uint32_t> headers;
    for (int tenth = 1; tenth <= 34; ++tenth) {
        advance(0.1);
        const WavLengths lengths = lengthsOf(path);
        EXPECT_LE(lengths.header, lengths.data) << tenth;
        EXPECT_LT(lengths.data - lengths.header, second) << tenth;
        if (headers.empty() || headers.back() != lengths.header)
            headers.push_back(lengths.header);
    }
    EXPECT_LE(headers.size(), 4u) << "the header was written " << headers.size() << " times in 3.4 s";

    advance(0.2);
    auto wav = readWav(path);
    ASSERT_TRUE(wav);
    EXPECT_EQ(wav->samples.size(), decodedSamples(mp3s.back()).size());
}

} // namespace
} // namespace lorvantine
