#include "Audio/AudioTestSupport.h"
#include "Platform/Backends/Mp3Decoder.h"
#include "TestSupport/Mp3Fixture.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

TEST(Mp3DecoderTest, GivesBackExactlyTheEncodedFramesAtEveryRate)
{
    for (int rate : { 16000, 22050, 24000, 44100 }) {
        auto decoded = Mp3Decoder::decode(Mp3Fixture::toneMp3(440, 1.0, rate));
        ASSERT_TRUE(decoded) << decoded.error().description;
        EXPECT_EQ(decoded->format, (AudioFormat { rate, 1 }));
        EXPECT_EQ(decoded->frames(), static_cast<size_t>(rate)) << rate;
        EXPECT_DOUBLE_EQ(decoded->duration(), 1.0);
        EXPECT_FALSE(decoded->error);
    }
    auto stereo = Mp3Decoder::decode(Mp3Fixture::toneMp3(440, 0.5, 44100, 2));
    ASSERT_TRUE(stereo);
    EXPECT_EQ(stereo->format, (AudioFormat { 44100, 2 }));
    EXPECT_EQ(stereo->frames(), 22050u);
}

TEST(Mp3DecoderTest, DataWithoutAFrameIsAnError)
{
    const std::vector<std::vector<std::uint8_t>> bad {
        {},
        std::vector<std::uint8_t>(3000, 0),
        { 'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0 },
        std::vector<std::uint8_t>(std::string_view("<html>502 Bad Gateway</html>").begin(), std::string_view("<html>502 Bad Gateway</html>").end()),
    };
    for (const auto& data : bad) {
        auto decoded = Mp3Decoder::decode(data);
        ASSERT_FALSE(decoded) << data.size();
        EXPECT_EQ(decoded.error().domain, "Audio");
        EXPECT_NE(decoded.error().description.find("cannot decode " + std::to_string(data.size()) + " bytes"), std::string::npos)
            << decoded.error().description;
    }
}

TEST(Mp3DecoderTest, AStreamThatBreaksOffKeepsWhatDecodedAndCarriesTheError)
{
    auto decoded = Mp3Decoder::decode(brokenOffMp3(1.0));
    ASSERT_TRUE(decoded);
    ASSERT_TRUE(decoded->error);
    EXPECT_GT(decoded->duration(), 0.3);
    EXPECT_LT(decoded->duration(), 0.7);

    // Two answers glued together: the second half has another sample rate.
    auto first = Mp3Fixture::toneMp3(440, 0.5, 24000);
    auto second = Mp3Fixture::toneMp3(440, 0.5, 16000);
    first.insert(first.end(), second.begin(), second.end());
    auto glued = Mp3Decoder::decode(first);
    ASSERT_TRUE(glued);
    ASSERT_TRUE(glued->error);
    EXPECT_NE(glued->error->description.find("changes format"), std::string::npos);
    EXPECT_EQ(glued->format.sampleRate, 24000);
    EXPECT_NEAR(glued->duration(), 0.5, 0.05);
}

TEST(Mp3DecoderTest, AShortTailIsNotAnError)
{
    auto mp3 = Mp3Fixture::toneMp3(440, 1.0);
    mp3.resize(mp3.size() * 3 / 4);
    auto decoded = Mp3Decoder::decode(mp3);
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->error);
    EXPECT_NEAR(decoded->duration(), 0.75, 0.1);
}

} // namespace
} // namespace lorvantine
