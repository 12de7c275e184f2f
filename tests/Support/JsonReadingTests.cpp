#include "Support/JsonReading.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

TEST(JsonReading, RefusesWhatTheLibraryWouldThrowOrOverflowOn)
{
    struct Case {
        std::string text;
        std::string messagePart;
    };
    const std::vector<Case> cases {
        {R"({"a": 1e400})", "number overflow"},
        {R"({"a": 1,})", "syntax error"},
        {"{\"a\": \"\xff\"}", "invalid"},
        {R"({"a": 1 /* note */})", "syntax error"},
        {R"({"a": NaN})", "syntax error"},
        {std::string(600, '['), "nested deeper than 512 levels"},
        {std::string(25'000'000, '['), "nested deeper than 512 levels"},
        {"", "syntax error"},
    };
    for (const auto& c : cases) {
        auto parsed = JsonReading::parse(c.text);
        ASSERT_FALSE(parsed.hasValue()) << c.text.substr(0, 40);
        EXPECT_NE(parsed.error().message.find(c.messagePart), std::string::npos) << parsed.error().message;
        EXPECT_EQ(parsed.error().message.find("[json.exception"), std::string::npos);
    }
}

TEST(JsonReading, ReadsDocumentsWithinTheLimits)
{
    std::string deep = std::string(512, '[') + std::string(512, ']');
    EXPECT_TRUE(JsonReading::parse(deep).hasValue());
    EXPECT_FALSE(JsonReading::parse(deep, {.maxDepth = 511}).hasValue());

    auto ordered = JsonReading::parseOrdered(R"({"b": 1, "a": [true, null, "x", 2.5]})");
    ASSERT_TRUE(ordered.hasValue());
    EXPECT_EQ(ordered.value().begin().key(), "b");
    EXPECT_EQ(ordered.value()["a"][3], 2.5);

    auto tooLarge = JsonReading::parse(R"({"a": 1})", {.maxBytes = 4});
    ASSERT_FALSE(tooLarge.hasValue());
    EXPECT_EQ(tooLarge.error().message, "larger than 4 bytes");

    // The object, its array and the array's three elements; keys are no values.
    const std::string five = R"({"a": [1, "x", {}]})";
    EXPECT_TRUE(JsonReading::parse(five, {.maxValues = 5}).hasValue());
    auto tooMany = JsonReading::parse(five, {.maxValues = 4});
    ASSERT_FALSE(tooMany.hasValue());
    EXPECT_EQ(tooMany.error().message, "more than 4 values");
}

} // namespace
} // namespace lorvantine
