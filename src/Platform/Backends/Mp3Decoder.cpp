#include "Platform/Backends/Mp3Decoder.h"

#include <mpg123.h>

#include <memory>
#include <string>

namespace lorvantine::Mp3Decoder {

namespace {

struct HandleDeleter {
    void operator()(mpg123_handle* handle) const { mpg123_delete(handle); }
};
using Handle = std::unique_ptr<mpg123_handle, HandleDeleter>;

enum Code : int64_t { noAudio = 1, brokeOff = 2, formatChanged = 3, decoderUnavailable = 4 };

ErrorValue makeError(int64_t code, std::string description)
{
    return ErrorValue { errorDomain, code, std::move(description) };
}

} // namespace

Expected<DecodedAudio, ErrorValue> decode(std::span<const std::uint8_t> mp3Data)
{
    int status = MPG123_OK;
    Handle handle(mpg123_new(nullptr, &status));
    if (!handle)
        return Unexpected(makeError(decoderUnavailable, std::string("mpg123: ") + mpg123_plain_strerror(status)));
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0);
    mpg123_format_none(handle.get());
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(handle.get(), rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);

    if (mpg123_open_feed(handle.get()) != MPG123_OK
        || (!mp3Data.empty() && mpg123_feed(handle.get(), mp3Data.data(), mp3Data.size()) != MPG123_OK))
        return Unexpected(makeError(decoderUnavailable, std::string("mpg123: ") + mpg123_strerror(handle.get())));

    DecodedAudio decoded;
    std::vector<unsigned char> buffer(64 * 1024);
    for (;;) {
        size_t done = 0;
        status = mpg123_read(handle.get(), buffer.data(), buffer.size(), &done);
        if (done > 0) {
            const auto* samples = reinterpret_cast<const std::int16_t*>(buffer.data());
            decoded.samples.insert(decoded.samples.end(), samples, samples + done / sizeof(std::int16_t));
        }
        if (status == MPG123_OK)
            continue;
        if (status == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            mpg123_getformat(handle.get(), &rate, &channels, &encoding);
            AudioFormat format { static_cast<int>(rate), channels };
            if (decoded.samples.empty()) {
                decoded.format = format;
                continue;
            }
            if (format != decoded.format) {
                decoded.error = makeError(formatChanged, "the MP3 stream changes format after "
                        + std::to_string(decoded.frames()) + " frames");
                break;
            }
            continue;
        }
        // Everything fed has been decoded.
        if (status == MPG123_NEED_MORE || status == MPG123_DONE)
            break;
        decoded.error = makeError(brokeOff, std::string("mpg123: ") + mpg123_strerror(handle.get()));
        break;
    }

    if (decoded.frames() == 0 || decoded.format.sampleRate <= 0) {
        std::string reason = decoded.error ? decoded.error->description : "no MPEG audio frame found";
        return Unexpected(makeError(noAudio, "cannot decode " + std::to_string(mp3Data.size()) + " bytes of MP3: " + reason));
    }
    decoded.samples.resize(decoded.frames() * static_cast<size_t>(decoded.format.channels));
    return decoded;
}

} // namespace lorvantine::Mp3Decoder
