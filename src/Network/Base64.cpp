#include "Network/Base64.h"

#include <array>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define LORVANTINE_BASE64_AVX2 1
#endif

namespace lorvantine::Base64 {

namespace {

// One table per place in a group of four, so that a group is four loads and an OR. A byte
// outside the alphabet sets a bit above the 24 of a group.
constexpr std::uint32_t notBase64 = 0x01000000;
using DecodeTables = std::array<std::array<std::uint32_t, 256>, 4>;

constexpr DecodeTables makeDecodeTables()
{
    constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    DecodeTables tables {};
    for (auto& table : tables)
        table.fill(notBase64);
    for (std::uint32_t value = 0; value < alphabet.size(); ++value) {
        const auto byte = static_cast<unsigned char>(alphabet[value]);
        for (std::uint32_t place = 0; place < 4; ++place)
            tables[place][byte] = value << (18 - 6 * place);
    }
    return tables;
}

constexpr DecodeTables decodeTables = makeDecodeTables();

#ifdef LORVANTINE_BASE64_AVX2
// 32 characters to 24 bytes at a time, while the output has room for a whole 32-byte store.
// Returns the characters decoded, or nothing when one of them is outside the alphabet.
__attribute__((target("avx2"))) std::optional<size_t> decodeBlocks(const unsigned char* in, size_t length, std::uint8_t* out, size_t room)
{
    // A character is refused when the bit of its high nibble's class is set for its low nibble.
    // Classes: 0x01 high nibble 2, 0x02 high nibble 3, 0x04 high nibble 4 or 6, 0x08 high nibble
    // 5 or 7, 0x10 any other.
    const __m256i refusedByLow = _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B,
        0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m256i classOfHigh = _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10,
        0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    // What turns a character into its value, by high nibble; '/' takes the place before its own.
    const __m256i offsetByHigh = _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 19, 4, -65,
        -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i lowNibble = _mm256_set1_epi8(0x0F);
    const __m256i slash = _mm256_set1_epi8('/');
    // Each group of four values into three bytes, first byte first, then the 12 bytes of each
    // half together.
    const __m256i groupBytes = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6, 5, 4, 10, 9,
        8, 14, 13, 12, -1, -1, -1, -1);
    const __m256i halves = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    size_t done = 0;
    for (; done + 32 <= length && room >= 32; done += 32, out += 24, room -= 24) {
        __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + done));
        const __m256i high = _mm256_and_si256(_mm256_srli_epi32(block, 4), lowNibble);
        const __m256i low = _mm256_and_si256(block, lowNibble);
        if (!_mm256_testz_si256(_mm256_shuffle_epi8(refusedByLow, low), _mm256_shuffle_epi8(classOfHigh, high)))
            return std::nullopt;
        block = _mm256_add_epi8(block, _mm256_shuffle_epi8(offsetByHigh, _mm256_add_epi8(_mm256_cmpeq_epi8(block, slash), high)));
        block = _mm256_maddubs_epi16(block, _mm256_set1_epi32(0x01400140));
        block = _mm256_madd_epi16(block, _mm256_set1_epi32(0x00011000));
        block = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(block, groupBytes), halves);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), block);
    }
    return done;
}
#endif

} // namespace

std::optional<std::vector<std::uint8_t>> decode(std::string_view text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    if (text.empty())
        return std::vector<std::uint8_t>();
    const size_t padding = text.back() != '=' ? 0 : text[text.size() - 2] == '=' ? 2 : 1;
    std::vector<std::uint8_t> bytes(text.size() / 4 * 3 - padding);
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    std::uint8_t* out = bytes.data();
    // Every group but the last, which may be padded.
    size_t length = text.size() - 4;
#ifdef LORVANTINE_BASE64_AVX2
    if (__builtin_cpu_supports("avx2")) {
        auto decoded = decodeBlocks(in, length, out, bytes.size());
        if (!decoded)
            return std::nullopt;
        in += *decoded;
        out += *decoded / 4 * 3;
        length -= *decoded;
    }
#endif
    const auto& [first, second, third, fourth] = decodeTables;
    std::uint32_t seen = 0;
    for (const unsigned char* end = in + length; in != end; in += 4, out += 3) {
        const std::uint32_t bits = first[in[0]] | second[in[1]] | third[in[2]] | fourth[in[3]];
        seen |= bits;
        out[0] = static_cast<std::uint8_t>(bits >> 16);
        out[1] = static_cast<std::uint8_t>(bits >> 8);
        out[2] = static_cast<std::uint8_t>(bits);
    }
    const std::uint32_t bits = first[in[0]] | second[in[1]] | (padding < 2 ? third[in[2]] : 0) | (padding < 1 ? fourth[in[3]] : 0);
    if ((seen | bits) & notBase64)
        return std::nullopt;
    out[0] = static_cast<std::uint8_t>(bits >> 16);
    if (padding < 2)
        out[1] = static_cast<std::uint8_t>(bits >> 8);
    if (padding < 1)
        out[2] = static_cast<std::uint8_t>(bits);
    return bytes;
}

} // namespace lorvantine::Base64
