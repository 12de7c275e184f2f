// The audio decoder: wide blocks, the narrow tail and the padded last group must agree.

#include "Network/Base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace lorvantine {
namespace {

constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string encode(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    for (size_t at = 0; at < bytes.size(); at += 3) {
        const size_t taken = std::min<size_t>(3, bytes.size() - at);
        std::uint32_t group = 0;
        for (size_t i = 0; i < 3; ++i)
            group = group << 8 | (i < taken ? bytes[at + i] : 0);
        for (size_t i = 0; i < 4; ++i)
            text += i <= taken ? alphabet[group >> (18 - 6 * i) & 63] : '=';
    }
    return text;
}

std::vector<std::uint8_t> randomBytes(size_t count, std::mt19937& random)
{
    std::vector<std::uint8_t> bytes(count);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

TEST(Base64Test, DecodesWhatWasEncodedAtEveryLength)
{
    std::mt19937 random(7);
    std::vector<size_t> lengths {100003};
    for (size_t length = 0; length <= 200; ++length)
        lengths.push_back(length);
    for (size_t length : lengths) {
        const auto bytes = randomBytes(length, random);
        EXPECT_EQ(Base64::decode(encode(bytes)), bytes) << length << " bytes";
    }
}

TEST(Base64Test, RefusesEveryByteOutsideTheAlphabetWhereverItStands)
{
    std::mt19937 random(11);
    const std::string valid = encode(randomBytes(300, random));
    ASSERT_TRUE(Base64::decode(valid));
    // In the first wide block, a later one, the narrow tail, and the last group.
    for (size_t at : {size_t(0), size_t(31), size_t(200), size_t(390), valid.size() - 2, valid.size() - 1}) {
        for (int byte = 0; byte < 256; ++byte) {
            if (alphabet.find(static_cast<char>(byte)) != std::string_view::npos || (byte == '=' && at >= valid.size() - 2))
                continue;
            std::string spoiled = valid;
            spoiled[at] = static_cast<char>(byte);
            EXPECT_FALSE(Base64::decode(spoiled)) << "byte " << byte << " at " << at;
        }
    }
    for (const char* misplaced : {"QQ==QUJD", "Q===", "====", "QUJD=UJD", "QUJDQQ=A"})
        EXPECT_FALSE(Base64::decode(misplaced)) << misplaced;
}

} // namespace
} // namespace lorvantine
