#include "Platform/Backends/WavFileSink.h"

#include "Support/Log.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace lorvantine {

static_assert(std::endian::native == std::endian::little, "WAV samples are written as they lie in memory");

namespace {

constexpr std::uint64_t maximumDataBytes = 0xFFFFFFFFull - 36;

void putU32(unsigned char* at, std::uint32_t value) { std::memcpy(at, &value, 4); }
void putU16(unsigned char* at, std::uint16_t value) { std::memcpy(at, &value, 2); }

// Writes all of `data` at `offset`; on failure (errno says why) `written` holds how much of it
// reached the file before.
bool writeAllAt(int fd, const void* data, size_t size, off_t offset, size_t& written)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    written = 0;
    while (written < size) {
        ssize_t now = ::pwrite(fd, bytes + written, size - written, offset + static_cast<off_t>(written));
        if (now < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        written += static_cast<size_t>(now);
    }
    return true;
}

bool writeAllAt(int fd, const void* data, size_t size, off_t offset)
{
    size_t written = 0;
    return writeAllAt(fd, data, size, offset, written);
}

} // namespace

WavFileSink::WavFileSink(std::string path)
    : m_path(std::move(path))
{
}

WavFileSink::~WavFileSink()
{
    if (m_fd < 0)
        return;
    flush();
    ::close(m_fd);
}

bool WavFileSink::open(const AudioFormat& preferred, AudioFormat& actual, std::string& error)
{
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        error = "cannot write " + m_path + ": " + std::strerror(errno);
        return false;
    }
    m_format = preferred;
    unsigned char header[44] = {};
    const auto channels = static_cast<std::uint16_t>(m_format.channels);
    const auto rate = static_cast<std::uint32_t>(m_format.sampleRate);
    std::memcpy(header, "RIFF", 4);
    putU32(header + 4, 36);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    putU32(header + 16, 16);
    putU16(header + 20, 1);
    putU16(header + 22, channels);
    putU32(header + 24, rate);
    putU32(header + 28, rate * channels * 2);
    putU16(header + 32, static_cast<std::uint16_t>(channels * 2));
    putU16(header + 34, 16);
    std::memcpy(header + 36, "data", 4);
    putU32(header + 40, 0);
    if (!writeAllAt(m_fd, header, sizeof header, 0)) {
        error = "cannot write " + m_path + ": " + std::strerror(errno);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    actual = m_format;
    return true;
}

bool WavFileSink::append(const void* data, size_t size)
{
    if (m_fd < 0 || m_full)
        return true;
    if (m_dataBytes + m_pending.size() + size > maximumDataBytes) {
        writePending();
        m_full = true;
        Log::line("[Audio] " + m_path + " is full; later sound is not recorded");
        return true;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    m_pending.insert(m_pending.end(), bytes, bytes + size);
    // The sound goes to the file a second at a time with the header that covers it: three writes
    // a second instead of three for every hundredth of one.
    const size_t bytesPerSecond = static_cast<size_t>(std::max(m_format.sampleRate, 1)) * static_cast<size_t>(std::max(m_format.channels, 1)) * 2;
    if (m_pending.size() >= bytesPerSecond)
        writePending();
    return true;
}

void WavFileSink::flush()
{
    if (m_fd >= 0 && !m_full)
        writePending();
}

void WavFileSink::writePending()
{
    if (m_pending.empty())
        return;
    const std::uint64_t before = m_dataBytes;
    size_t written = 0;
    const bool whole = writeAllAt(m_fd, m_pending.data(), m_pending.size(), static_cast<off_t>(44 + before), written);
    m_pending.clear();
    if (whole && writeSizes(before + written))
        return;
    // A full disk and a file-size limit both stop the sound here. What reached the file is kept
    // in whole frames, and the header says exactly that much: a player reads no more and no less
    // than the file holds.
    const std::string reason = std::strerror(errno);
    const size_t frameBytes = static_cast<size_t>(std::max(m_format.channels, 1)) * 2;
    if (!writeSizes(before + written - written % frameBytes))
        writeSizes(before);
    m_full = true;
    Log::line("[Audio] cannot write " + m_path + ": " + reason + "; later sound is not recorded");
}

bool WavFileSink::writeSizes(std::uint64_t dataBytes)
{
    // The file is cut to the sound before the header says how much there is, and the data size
    // goes first: whichever step fails, the header claims no more than the file holds.
    if (::ftruncate(m_fd, static_cast<off_t>(44 + dataBytes)) != 0)
        return false;
    unsigned char size[4];
    putU32(size, static_cast<std::uint32_t>(dataBytes));
    if (!writeAllAt(m_fd, size, 4, 40))
        return false;
    m_dataBytes = dataBytes;
    putU32(size, static_cast<std::uint32_t>(36 + dataBytes));
    writeAllAt(m_fd, size, 4, 4);
    return true;
}

bool WavFileSink::write(std::span<const std::int16_t> samples)
{
    return append(samples.data(), samples.size_bytes());
}

void WavFileSink::writeSilence(size_t frames)
{
    if (m_fd < 0 || m_full)
        return;
    static const std::vector<std::int16_t> zeros(8192);
    size_t samples = frames * static_cast<size_t>(std::max(m_format.channels, 1));
    while (samples > 0) {
        size_t now = std::min(samples, zeros.size());
        append(zeros.data(), now * sizeof(std::int16_t));
        samples -= now;
    }
}

} // namespace lorvantine
