#include "Platform/Backends/InMemoryUserDefaults.h"

#include <cmath>
#include <limits>
#include <gtest/gtest.h>

namespace lorvantine {
namespace {

TEST(UserDefaults, AbsentKeyReadsAsZeroFalseAndNone)
{
    InMemoryUserDefaults store;
    EXPECT_EQ(store.floatForKey("missing"), 0.0f);
    EXPECT_EQ(store.doubleForKey("missing"), 0.0);
    EXPECT_EQ(store.integerForKey("missing"), 0);
    EXPECT_FALSE(store.boolForKey("missing"));
    EXPECT_EQ(store.stringForKey("missing"), std::nullopt);
    EXPECT_EQ(store.object("missing"), std::nullopt);
}

TEST(UserDefaults, FloatReadsNumbersAndNumericStringsElseZero)
{
    InMemoryUserDefaults store;
    store.set("float", 0.08f);
    store.setObject("integer", int64_t {3});
    store.set("yes", true);
    store.set("numeric", "2.5");
    store.set("padded", "  -1.25x");
    store.set("words", "fast");
    store.set("empty", "");

    EXPECT_EQ(store.floatForKey("float"), 0.08f) << "a float comes back bit for bit";
    EXPECT_EQ(store.floatForKey("integer"), 3.0f);
    EXPECT_EQ(store.floatForKey("yes"), 1.0f);
    EXPECT_EQ(store.floatForKey("numeric"), 2.5f);
    EXPECT_EQ(store.floatForKey("padded"), -1.25f);
    EXPECT_EQ(store.floatForKey("words"), 0.0f);
    EXPECT_EQ(store.floatForKey("empty"), 0.0f);
}

TEST(UserDefaults, StringReadsOnlyStrings)
{
    InMemoryUserDefaults store;
    store.set("number", 1.5);
    store.setObject("integer", int64_t {7});
    store.set("flag", true);
    store.set("voice", "zf_001");
    store.set("empty", "");

    EXPECT_EQ(store.stringForKey("number"), std::nullopt);
    EXPECT_EQ(store.stringForKey("integer"), std::nullopt);
    EXPECT_EQ(store.stringForKey("flag"), std::nullopt);
    EXPECT_EQ(store.stringForKey("voice"), "zf_001");
    EXPECT_EQ(store.stringForKey("empty"), "") << "an empty string is still a string";
}

TEST(UserDefaults, BoolAcceptsFlagsNumbersAndYesTrueStrings)
{
    InMemoryUserDefaults store;
    const std::pair<UserDefaults::Value, bool> cases[] = {
        {true, true}, {false, false},
        {int64_t {2}, true}, {int64_t {0}, false},
        {0.5, true}, {0.0, false},
        {std::string("YES"), true}, {std::string("yes"), true}, {std::string("true"), true},
        {std::string("TRUE"), true}, {std::string("1"), true}, {std::string(" 12"), true},
        {std::string("NO"), false}, {std::string("false"), false}, {std::string("0"), false},
        {std::string("maybe"), false}, {std::string(""), false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        store.setObject("flag", cases[i].first);
        EXPECT_EQ(store.boolForKey("flag"), cases[i].second) << "case " << i;
    }
}

TEST(UserDefaults, IntegerTruncatesAndSaturates)
{
    InMemoryUserDefaults store;
    store.set("fraction", 3.7);
    store.set("negativeFraction", -3.7);
    store.set("huge", 1e30);
    store.set("notANumber", std::numeric_limits<double>::quiet_NaN());
    store.set("text", "42 pages");
    store.set("negativeText", "-7");
    store.set("overflowingText", "99999999999999999999999");

    EXPECT_EQ(store.integerForKey("fraction"), 3);
    EXPECT_EQ(store.integerForKey("negativeFraction"), -3);
    EXPECT_EQ(store.integerForKey("huge"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(store.integerForKey("notANumber"), 0);
    EXPECT_EQ(store.integerForKey("text"), 42);
    EXPECT_EQ(store.integerForKey("negativeText"), -7);
    EXPECT_EQ(store.integerForKey("overflowingText"), std::numeric_limits<int64_t>::max());
}

TEST(UserDefaults, RemoveMakesTheKeyAbsentAgain)
{
    InMemoryUserDefaults store;
    store.set("voice", "af_heart");
    store.removeObject("voice");
    store.removeObject("never-set");
    EXPECT_EQ(store.object("voice"), std::nullopt);
}

} // namespace
} // namespace lorvantine
