// The answer reader parses with a fast parser and leaves the last word to the exact one: both
// must agree on what is JSON, and members must read as the exact reader's document holds them.

#include "Network/TTSAnswerReader.h"
#include "Support/JsonReading.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine {
namespace {

using Fault = TTSAnswerReader::Fault;

constexpr TTSAnswerReader::Limits limits {.maxDepth = 16, .maxValues = 200, .maxTimestamps = 20};

Expected<TTSPart, Fault> read(const std::string& body, TTSAnswerReader::Limits readLimits = limits)
{
    return TTSAnswerReader::read(std::vector<std::uint8_t>(body.begin(), body.end()), readLimits);
}

std::string nested(int depth)
{
    return R"({"audio":"","x":)" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
}

TEST(TTSAnswerReaderTest, TakesForJSONExactlyWhatTheExactReaderTakes)
{
    std::string commas = R"({"audio":"","processed_text":")" + std::string(300, ',') + R"("})";
    std::string tooMany = R"({"audio":"","x":[)";
    for (int i = 0; i < 300; ++i)
        tooMany += i ? ",0" : "0";
    tooMany += "]}";
    const std::vector<std::string> bodies {
        "\xEF\xBB\xBF{\"audio\":\"\"}",
        R"({"audio":"","t":123456789012345678901234567890})",
        R"({"audio":"","t":-9223372036854775809})",
        R"({"audio":"","t":18446744073709551615})",
        R"({"audio":"","t":1e400})",
        R"({"audio":"","t":1e-400})",
        R"({"audio":"","t":"\ud800"})",
        R"({"audio":"","t":"\udc00x"})",
        "{\"audio\":\"\",\"t\":\"a\x01\"}",
        "{\"audio\":\"\",\"t\":\"a\x7f\"}",
        "{\"audio\":\"\",\"t\":\"\xed\xa0\x80\"}",
        "{\"audio\":\"\",\"t\":\"\xc0\xaf\"}",
        R"({"audio":"","t":"\u0000"})",
        R"({"audio":""} x)",
        "{\"audio\":\"\"}\f",
        R"({"audio":"","t":[1,]})",
        R"({"audio":"","t":01})",
        "",
        " \n",
        "42",
        R"("text")",
        "[]",
        nested(16),
        nested(17),
        commas,
        tooMany,
    };
    for (const std::string& body : bodies) {
        auto exact = JsonReading::parse(body, {.maxDepth = limits.maxDepth, .maxValues = limits.maxValues});
        const bool json = exact && (exact->is_object() || exact->is_array());
        auto part = read(body);
        EXPECT_EQ(part || part.error() != Fault::notJSON, json) << body.substr(0, 60);
    }
}

TEST(TTSAnswerReaderTest, ReadsTheLastOfRepeatedMembersAndNumbersOnlyTheExactReaderTakes)
{
    auto repeated = read(R"({"audio":"QUJD","audio":7,"audio_base64":"QUI=","processed_text":"a","processed_text":"b",
        "timestamps":[{"start":1,"start":"x","start_time":2,"start_time":null,"word":"w"}]})");
    ASSERT_TRUE(repeated);
    EXPECT_EQ(std::string(repeated->mp3Data.begin(), repeated->mp3Data.end()), "AB");
    EXPECT_EQ(repeated->processedText, "b");
    EXPECT_THAT(repeated->timestamps, ::testing::ElementsAre(TTSTimestamp {0, 0, "w"}));

    auto large = read("\xEF\xBB\xBF" R"({"audio":"QUJD","timestamps":[{"start":123456789012345678901234567890,"end":2}]})");
    ASSERT_TRUE(large);
    EXPECT_THAT(large->timestamps, ::testing::ElementsAre(TTSTimestamp {1.2345678901234568e29, 2, ""}));

    // Many commas inside a text pass the value limit; escapes in the audio text are JSON's own.
    auto commas = read(R"({"audio":"QU\/D","processed_text":")" + std::string(300, ',') + R"("})");
    ASSERT_TRUE(commas);
    EXPECT_EQ(commas->processedText, std::string(300, ','));
    EXPECT_EQ(commas->mp3Data, (std::vector<std::uint8_t> {0x41, 0x4f, 0xc3}));
}

} // namespace
} // namespace lorvantine
