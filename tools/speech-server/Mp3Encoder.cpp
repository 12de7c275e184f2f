#include "Mp3Encoder.h"

#include <lame/lame.h>

#include <algorithm>
#include <memory>

namespace lorvantine::speechserver::Mp3Encoder {

namespace {

// The smallest constant rate whose frame at 22050 Hz still holds the Info tag.
constexpr int bitrateKbps = 64;
constexpr std::size_t chunkSamples = 8192;

struct LameDeleter {
    void operator()(lame_global_flags* flags) const { lame_close(flags); }
};

}

std::optional<std::string> encode(const std::vector<int16_t>& samples, int sampleRate, Framing framing)
{
    if (samples.empty())
        return std::string();
    std::unique_ptr<lame_global_flags, LameDeleter> lame(lame_init());
    if (!lame)
        return std::nullopt;
    lame_set_in_samplerate(lame.get(), sampleRate);
    lame_set_out_samplerate(lame.get(), sampleRate);
    lame_set_num_channels(lame.get(), 1);
    lame_set_mode(lame.get(), MONO);
    lame_set_VBR(lame.get(), vbr_off);
    lame_set_brate(lame.get(), bitrateKbps);
    lame_set_quality(lame.get(), 7);
    lame_set_bWriteVbrTag(lame.get(), framing == Framing::Gapless ? 1 : 0);
    if (framing == Framing::Sliceable)
        lame_set_disable_reservoir(lame.get(), 1);
    if (lame_init_params(lame.get()) < 0)
        return std::nullopt;

    std::string out;
    std::vector<unsigned char> buffer(chunkSamples * 5 / 4 + 7200);
    for (std::size_t at = 0; at < samples.size(); at += chunkSamples) {
        auto count = static_cast<int>(std::min(chunkSamples, samples.size() - at));
        // Mono: LAME reads only the left channel.
        auto* pcm = const_cast<short*>(reinterpret_cast<const short*>(samples.data() + at));
        int written = lame_encode_buffer(lame.get(), pcm, pcm, count, buffer.data(), static_cast<int>(buffer.size()));
        if (written < 0)
            return std::nullopt;
        out.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(written));
    }
    int written = lame_encode_flush(lame.get(), buffer.data(), static_cast<int>(buffer.size()));
    if (written < 0)
        return std::nullopt;
    out.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(written));

    if (framing == Framing::Gapless) {
        // LAME reserved the first frame for the Info tag; it can only be filled in now.
        std::size_t tagSize = lame_get_lametag_frame(lame.get(), buffer.data(), buffer.size());
        if (tagSize > 0 && tagSize <= out.size())
            std::copy_n(buffer.data(), tagSize, out.begin());
    }
    return out;
}

}
