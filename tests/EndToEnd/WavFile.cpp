#include "EndToEnd/WavFile.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace lorvantine::test {

namespace {

std::uint32_t u32(const std::string& bytes, size_t at)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8
        | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16
        | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

std::uint16_t u16(const std::string& bytes, size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8);
}

} // namespace

std::optional<WavFile> WavFile::read(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return std::nullopt;

    WavFile wav;
    bool haveFormat = false;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        const size_t size = u32(bytes, at + 4);
        const size_t body = at + 8;
        if (body + size > bytes.size())
            return std::nullopt;
        if (id == "fmt " && size >= 16) {
            if (u16(bytes, body) != 1 || u16(bytes, body + 14) != 16)
                return std::nullopt;
            wav.channels = u16(bytes, body + 2);
            wav.sampleRate = static_cast<int>(u32(bytes, body + 4));
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat)
                return std::nullopt;
            wav.samples.resize(size / 2);
            std::memcpy(wav.samples.data(), bytes.data() + body, wav.samples.size() * 2);
            return wav;
        }
        at = body + size + (size & 1);
    }
    return std::nullopt;
}

} // namespace lorvantine::test
