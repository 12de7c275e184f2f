#pragma once

#include "Platform/AudioOutputPort.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Preferences/PreferencesModel.h"
#include "Support/Log.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// A manual clock, settings of its own and the silent clock-paced output for every test, so that
// playback moves only when the test moves time, and nothing is ever heard.
class ManualAudioTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Moves the clock; audio up to the new time plays during the move.
    void advanceClock(double seconds) { clock->advance(lorvantine::seconds(seconds)); }
    // The same through the dispatch machinery: timers fire and the main queue runs on the way.
    void advance(double seconds) { Dispatch::advance(*clock, lorvantine::seconds(seconds)); }
    std::filesystem::path temporaryFile(const std::string& name) { return directory / name; }

    std::shared_ptr<ManualClock> clock;
    std::shared_ptr<Clock> previousClock;
    std::shared_ptr<UserDefaults> defaults;
    std::shared_ptr<UserDefaults> previousDefaults;
    test::ScratchDirectory directory;
    Log::Capture log;
};

struct WavContents {
    int sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0;
    std::vector<std::int16_t> samples;
};

// Checks the header against the file's size as it reads; none when the file is not valid WAV.
std::optional<WavContents> readWav(const std::filesystem::path& path);

// The tone MP3 with 4 KiB of zeros in its middle: the first half decodes, then mpg123 gives up.
std::vector<std::uint8_t> brokenOffMp3(double seconds = 1.0);
// PCM that mpg123 gives for `mp3` (what a faithful output must hold).
std::vector<std::int16_t> decodedSamples(const std::vector<std::uint8_t>& mp3);

} // namespace lorvantine
