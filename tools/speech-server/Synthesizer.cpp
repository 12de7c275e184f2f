#include "Synthesizer.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <atomic>
#include <cmath>

namespace lorvantine::speechserver {

namespace {

constexpr int normalRate = 175;
// Far more than one answer's prefix needs; a runaway synthesis is cut off here.
constexpr std::size_t maxSamples = 22050 * 600;

struct WordEvent {
    int textPosition;  // 1-based code point index
    int length;        // code points
    int sample;
};

struct Collector {
    std::vector<int16_t> samples;
    std::vector<WordEvent> events;
    bool overflow = false;  // the audio was cut off at maxSamples
};

// The collector of the synthesis under way; only touched while Synthesizer::mutex_ is held.
Collector* activeCollector = nullptr;

int collect(short* wave, int count, espeak_EVENT* event)
{
    Collector* collector = activeCollector;
    if (!collector)
        return 0;
    for (; event && event->type != espeakEVENT_LIST_TERMINATED; ++event) {
        if (event->type == espeakEVENT_WORD)
            collector->events.push_back({event->text_position, event->length, event->sample});
    }
    if (wave && count > 0) {
        auto room = maxSamples - collector->samples.size();
        collector->samples.insert(collector->samples.end(), wave, wave + std::min(room, static_cast<std::size_t>(count)));
        if (static_cast<std::size_t>(count) >= room) {
            collector->overflow = true;
            return 1;
        }
    }
    return 0;
}

std::atomic<bool> instanceExists{false};

// Byte offset of every code point start, plus text.size() at the end.
std::vector<std::size_t> codePointOffsets(std::string_view text)
{
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            offsets.push_back(i);
    }
    offsets.push_back(text.size());
    return offsets;
}

}

std::unique_ptr<Synthesizer> Synthesizer::create(std::string& error)
{
    if (instanceExists.exchange(true)) {
        error = "espeak-ng is already initialised in this process";
        return nullptr;
    }
    int sampleRate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
    if (sampleRate <= 0) {
        instanceExists = false;
        error = "espeak-ng could not be initialised (is espeak-ng-data installed?)";
        return nullptr;
    }
    espeak_SetSynthCallback(collect);
    return std::unique_ptr<Synthesizer>(new Synthesizer(sampleRate));
}

Synthesizer::Synthesizer(int sampleRate)
    : sampleRate_(sampleRate)
{
}

Synthesizer::~Synthesizer()
{
    espeak_Terminate();
    instanceExists = false;
}

std::string Synthesizer::languageForVoice(std::string_view voiceCode)
{
    auto startsWith = [&](std::string_view prefix) { return voiceCode.substr(0, prefix.size()) == prefix; };
    if (startsWith("zf_") || startsWith("zm_"))
        return "cmn";
    if (startsWith("bf_") || startsWith("bm_"))
        return "en-gb";
    return "en-us";
}

std::optional<Synthesizer::Speech> Synthesizer::speak(std::string_view text, std::string_view voiceCode, double speed)
{
    Speech speech;
    speech.sampleRate = sampleRate_;
    if (text.empty())
        return speech;

    std::string language = languageForVoice(voiceCode);
    // espeak-ng stops at the first NUL, and word positions must index the text it saw.
    std::string input(text.substr(0, text.find('\0')));
    Collector collector;
    {
        std::lock_guard lock(mutex_);
        if (language != currentLanguage_) {
            espeak_VOICE wanted{};
            wanted.languages = language.c_str();
            if (espeak_SetVoiceByProperties(&wanted) != EE_OK)
                return std::nullopt;
            currentLanguage_ = language;
        }
        int rate = static_cast<int>(std::lround(normalRate * std::clamp(speed, 0.25, 4.0)));
        espeak_SetParameter(espeakRATE, std::clamp(rate, 80, 450), 0);
        activeCollector = &collector;
        auto result = espeak_Synth(input.c_str(), input.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8,
                                   nullptr, nullptr);
        activeCollector = nullptr;
        if (result != EE_OK && !collector.overflow)
            return std::nullopt;
    }

    speech.samples = std::move(collector.samples);
    auto offsets = codePointOffsets(input);
    std::vector<std::pair<std::size_t, std::size_t>> spans;  // byte range of each kept word
    std::vector<int> starts;
    int coveredUpTo = 0;  // numbers are announced as several words at overlapping positions
    for (const auto& event : collector.events) {
        if (event.length <= 0 || event.textPosition < 1 || event.textPosition < coveredUpTo)
            continue;
        auto first = static_cast<std::size_t>(event.textPosition - 1);
        auto last = std::min(first + static_cast<std::size_t>(event.length), offsets.size() - 1);
        if (first >= last)
            continue;
        coveredUpTo = event.textPosition + event.length;
        spans.emplace_back(offsets[first], offsets[last]);
        int sample = std::clamp(event.sample, 0, static_cast<int>(speech.samples.size()));
        starts.push_back(starts.empty() ? sample : std::max(sample, starts.back()));
    }
    double duration = static_cast<double>(speech.samples.size()) / sampleRate_;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        WordTiming word;
        word.word = input.substr(spans[i].first, spans[i].second - spans[i].first);
        word.start = static_cast<double>(starts[i]) / sampleRate_;
        word.end = i + 1 < spans.size() ? static_cast<double>(starts[i + 1]) / sampleRate_ : duration;
        word.end = std::max(word.end, word.start);
        speech.words.push_back(std::move(word));
    }
    return speech;
}

}
