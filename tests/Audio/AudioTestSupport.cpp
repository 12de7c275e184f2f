#include "Audio/AudioTestSupport.h"

#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Platform/Backends/Mp3Decoder.h"
#include "TestSupport/Mp3Fixture.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace lorvantine {

void ManualAudioTest::SetUp()
{
    RunLoop::adoptCurrentThreadAsMain();
    clock = std::make_shared<ManualClock>();
    previousClock = Clock::install(clock);
    defaults = std::make_shared<InMemoryUserDefaults>();
    previousDefaults = PreferencesModel::installDefaults(defaults);
    AudioOutput::route(AudioOutput::Destination::clockPaced);
}

void ManualAudioTest::TearDown()
{
    Dispatch::waitUntilIdle();
    Dispatch::discardDelayedWork();
    AudioOutput::route(AudioOutput::Destination::clockPaced);
    PreferencesModel::installDefaults(previousDefaults);
    Clock::install(previousClock);
}

std::optional<WavContents> readWav(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), {});
    if (bytes.size() < 44)
        return std::nullopt;
    auto u32 = [&](size_t at) {
        std::uint32_t value;
        std::memcpy(&value, bytes.data() + at, 4);
        return value;
    };
    auto u16 = [&](size_t at) {
        std::uint16_t value;
        std::memcpy(&value, bytes.data() + at, 2);
        return value;
    };
    if (std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVEfmt ", 8) != 0
        || std::memcmp(bytes.data() + 36, "data", 4) != 0)
        return std::nullopt;
    if (u32(4) != bytes.size() - 8 || u32(40) != bytes.size() - 44 || u32(16) != 16 || u16(20) != 1)
        return std::nullopt;
    WavContents contents;
    contents.channels = u16(22);
    contents.sampleRate = static_cast<int>(u32(24));
    contents.bitsPerSample = u16(34);
    if (u32(28) != u32(24) * contents.channels * 2 || u16(32) != contents.channels * 2)
        return std::nullopt;
    contents.samples.resize((bytes.size() - 44) / 2);
    std::memcpy(contents.samples.data(), bytes.data() + 44, contents.samples.size() * 2);
    return contents;
}

std::vector<std::uint8_t> brokenOffMp3(double seconds)
{
    auto mp3 = Mp3Fixture::toneMp3(440, seconds);
    std::vector<std::uint8_t> broken(mp3.begin(), mp3.begin() + static_cast<std::ptrdiff_t>(mp3.size() / 2));
    broken.insert(broken.end(), 4096, 0);
    broken.insert(broken.end(), mp3.begin() + static_cast<std::ptrdiff_t>(mp3.size() / 2), mp3.end());
    return broken;
}

std::vector<std::int16_t> decodedSamples(const std::vector<std::uint8_t>& mp3)
{
    auto decoded = Mp3Decoder::decode(mp3);
    return decoded ? decoded->samples : std::vector<std::int16_t> {};
}

} // namespace lorvantine
