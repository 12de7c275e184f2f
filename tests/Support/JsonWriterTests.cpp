#include "Support/JsonWriter.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <nlohmann/json.hpp>

namespace lorvantine {
namespace {

using JsonWriter::KeyOrder;
using JsonWriter::Style;

std::string compact(const JsonValue& value, KeyOrder order = KeyOrder::asWritten)
{
    auto written = JsonWriter::serialize(value, Style::compact, order);
    EXPECT_TRUE(written.hasValue());
    return written.valueOr(std::string("<error>"));
}

std::string pretty(const JsonValue& value, KeyOrder order = KeyOrder::asWritten)
{
    auto written = JsonWriter::serialize(value, Style::pretty, order);
    EXPECT_TRUE(written.hasValue());
    return written.valueOr(std::string("<error>"));
}

TEST(JsonWriter, EscapesLikeFoundation)
{
    EXPECT_EQ(JsonWriter::quoted("https://a.example/x"), R"("https:\/\/a.example\/x")");
    EXPECT_EQ(JsonWriter::quoted("say \"hi\" \\ back"), R"("say \"hi\" \\ back")");
    EXPECT_EQ(JsonWriter::quoted("\b\f\n\r\t"), R"("\b\f\n\r\t")");
    EXPECT_EQ(JsonWriter::quoted(std::string("\x01\x1f\0", 3)), R"("\u0001\u001f\u0000")");
    EXPECT_EQ(JsonWriter::quoted("中文，🙂 é\u2028\x7f"), "\"中文，🙂 é\u2028\x7f\"");
    EXPECT_EQ(JsonWriter::quoted("bad \xFF"), "\"bad \uFFFD\"");
    EXPECT_EQ(compact(JsonValue::object({{"a/b", "c/d"}})), R"({"a\/b":"c\/d"})");
}

TEST(JsonWriter, WritesNumbersInShortestForm)
{
    EXPECT_EQ(compact(0.1), "0.1");
    EXPECT_EQ(compact(3.0), "3");
    EXPECT_EQ(compact(-0.0), "-0");
    EXPECT_EQ(compact(1e-7), "1e-07");
    EXPECT_EQ(compact(123456789.123), "123456789.123");
    EXPECT_EQ(compact(300.5), "300.5");
    EXPECT_EQ(compact(1e21), "1e+21");
    EXPECT_EQ(compact(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(compact(2.5f), "2.5");
    EXPECT_EQ(compact(42), "42");
    EXPECT_EQ(compact(-7L), "-7");
    EXPECT_EQ(compact(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(compact(std::numeric_limits<uint64_t>::max()), "18446744073709551615");
    EXPECT_EQ(compact(size_t{5}), "5");
    EXPECT_EQ(compact(true), "true");
    EXPECT_EQ(compact(nullptr), "null");
    EXPECT_EQ(compact(JsonValue()), "null");

    for (double value : {0.1, 1e-7, 123456789.123, 6.02214076e23, 5e-324, 1.7976931348623157e308})
        EXPECT_EQ(std::strtod(compact(value).c_str(), nullptr), value);
}

TEST(JsonWriter, RefusesNonFiniteNumbers)
{
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        JsonValue document = JsonValue::object({{"ok", 1}, {"list", JsonValue::array({1, bad})}});
        auto written = JsonWriter::serialize(document, Style::pretty, KeyOrder::sorted);
        ASSERT_FALSE(written.hasValue());
        EXPECT_NE(written.error().message.find("invalid number"), std::string::npos);
        EXPECT_FALSE(JsonWriter::number(bad).has_value());
    }
}

TEST(JsonWriter, KeepsWrittenKeyOrderOrSortsByCodePoint)
{
    JsonValue paragraph = JsonValue::object({{"index", 3}, {"text", "Hi"}, {"role", "body"}});
    paragraph.set("x", 10.0).set("y", 20.0).set("width", 300.0).set("height", 40.0);
    EXPECT_EQ(compact(paragraph), R"({"index":3,"text":"Hi","role":"body","x":10,"y":20,"width":300,"height":40})");

    // Replacing a value keeps the key where it was.
    paragraph.set("text", "Hello");
    EXPECT_EQ(compact(paragraph), R"({"index":3,"text":"Hello","role":"body","x":10,"y":20,"width":300,"height":40})");

    JsonValue nested = JsonValue::object({{"b", 1}, {"a", JsonValue::object({{"z", 1}, {"Z", 2}, {"é", 3}, {"_", 4}})},
                                          {"B", JsonValue::array({JsonValue::object({{"y", 1}, {"x", 2}})})},
                                          {"\U0001F642", 5}, {"\uFFFF", 6}, {"aa", 7}});
    EXPECT_EQ(compact(nested, KeyOrder::sorted),
              "{\"B\":[{\"x\":2,\"y\":1}],\"a\":{\"Z\":2,\"_\":4,\"z\":1,\"é\":3},\"aa\":7,\"b\":1,\"\uFFFF\":6,\"\U0001F642\":5}");

    JsonValue record;
    record.setOptional("present", std::optional<int>(1));
    record.setOptional("absent", std::optional<std::string>());
    EXPECT_EQ(compact(record), R"({"present":1})");
}

TEST(JsonWriter, PrettyPrintsLikeFoundation)
{
    JsonValue document = JsonValue::object({{"name", "a/b"}, {"list", JsonValue::array({1, 2.5, "x"})},
                                            {"empty", JsonValue::array()}, {"none", JsonValue::object()},
                                            {"inner", JsonValue::object({{"k", false}})}});
    EXPECT_EQ(pretty(document),
              "{\n"
              "  \"name\" : \"a\\/b\",\n"
              "  \"list\" : [\n"
              "    1,\n"
              "    2.5,\n"
              "    \"x\"\n"
              "  ],\n"
              "  \"empty\" : [\n"
              "\n"
              "  ],\n"
              "  \"none\" : {\n"
              "\n"
              "  },\n"
              "  \"inner\" : {\n"
              "    \"k\" : false\n"
              "  }\n"
              "}");
    EXPECT_EQ(pretty(JsonValue::array()), "[\n\n]");
    EXPECT_EQ(pretty("text"), "\"text\"");
    EXPECT_EQ(pretty(JsonValue::object({{"b", 1}, {"a", 2}}), KeyOrder::sorted), "{\n  \"a\" : 2,\n  \"b\" : 1\n}");
}

TEST(JsonWriter, OutputReadsBackAsTheSameDocument)
{
    JsonValue document = JsonValue::object(
        {{"text", "第一段\n\"引号\" \\ / \x01 🇨🇳"}, {"n", -12}, {"d", 0.125}, {"list", JsonValue::array({true, nullptr})}});
    for (Style style : {Style::compact, Style::pretty}) {
        auto parsed = nlohmann::json::parse(JsonWriter::serialize(document, style).value());
        EXPECT_EQ(parsed["text"], "第一段\n\"引号\" \\ / \x01 🇨🇳");
        EXPECT_EQ(parsed["n"], -12);
        EXPECT_EQ(parsed["d"], 0.125);
        EXPECT_EQ(parsed["list"], nlohmann::json::array({true, nullptr}));
    }
}

} // namespace
} // namespace lorvantine
