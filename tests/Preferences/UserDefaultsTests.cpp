#include "Platform/Backends/InMemoryUserDefaults.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace lorvantine {
namespace {

TEST(UserDefaults, AbsentKeysReadAsZeroFalseAndNone)
{
    InMemoryUserDefaults store;
    store.set("voice", "af_heart");
    store.removeObject("voice");
    for (const char* key : {"missing", "voice"}) {
        EXPECT_EQ(store.floatForKey(key), 0.0f);
        EXPECT_EQ(store.doubleForKey(key), 0.0);
        EXPECT_EQ(store.integerForKey(key), 0);
        EXPECT_FALSE(store.boolForKey(key));
        EXPECT_EQ(store.stringForKey(key), std::nullopt);
        EXPECT_EQ(store.object(key), std::nullopt);
    }
}

TEST(UserDefaults, FloatReadsNumbersAndNumericStringsElseZero)
{
    InMemoryUserDefaults store;
    const std::pair<UserDefaults::Value, float> cases[] = {
        {0.08f, 0.08f}, {int64_t {3}, 3.0f}, {true, 1.0f}, {std::string("2.5"), 2.5f},
        {std::string("  -1.25x"), -1.25f}, {std::string("fast"), 0.0f}, {std::string(""), 0.0f},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        store.setObject("value", cases[i].first);
        EXPECT_EQ(store.floatForKey("value"), cases[i].second) << "case " << i;
    }
}

TEST(UserDefaults, StringReadsOnlyStrings)
{
    InMemoryUserDefaults store;
    for (const UserDefaults::Value& notText : {UserDefaults::Value(1.5), UserDefaults::Value(int64_t {7}), UserDefaults::Value(true)}) {
        store.setObject("value", notText);
        EXPECT_EQ(store.stringForKey("value"), std::nullopt);
    }
    store.set("value", "");
    EXPECT_EQ(store.stringForKey("value"), "") << "an empty string is still a string";
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
    constexpr int64_t most = std::numeric_limits<int64_t>::max();
    const std::pair<UserDefaults::Value, int64_t> cases[] = {
        {3.7, 3}, {-3.7, -3}, {1e30, most}, {std::numeric_limits<double>::quiet_NaN(), 0},
        {std::string("42 pages"), 42}, {std::string("-7"), -7}, {std::string("99999999999999999999999"), most},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        store.setObject("value", cases[i].first);
        EXPECT_EQ(store.integerForKey("value"), cases[i].second) << "case " << i;
    }
}

} // namespace
} // namespace lorvantine
