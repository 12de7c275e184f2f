#include "Support/Expected.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace lorvantine {
namespace {

struct Failure {
    std::string message;
};

Expected<int, Failure> parseDigit(char c)
{
    if (c < '0' || c > '9')
        return Unexpected(Failure{"not a digit"});
    return c - '0';
}

TEST(Expected, HoldsAValueOrAnError)
{
    auto seven = parseDigit('7');
    ASSERT_TRUE(seven);
    EXPECT_EQ(*seven, 7);
    EXPECT_EQ(seven.valueOr(-1), 7);

    auto letter = parseDigit('x');
    ASSERT_FALSE(letter);
    EXPECT_EQ(letter.error().message, "not a digit");
    EXPECT_EQ(letter.valueOr(-1), -1);

    // Value and error of one type stay apart.
    Expected<std::string, std::string> value = std::string("ok");
    Expected<std::string, std::string> error = Unexpected(std::string("bad"));
    EXPECT_TRUE(value.hasValue());
    EXPECT_EQ(value->size(), 2u);
    EXPECT_FALSE(error.hasValue());
    EXPECT_EQ(error.error(), "bad");

    Expected<std::unique_ptr<int>, Failure> owned = std::make_unique<int>(3);
    std::unique_ptr<int> taken = std::move(owned).value();
    EXPECT_EQ(*taken, 3);

    Expected<void, Failure> done;
    Expected<void, Failure> failed = Unexpected(Failure{"disk full"});
    EXPECT_TRUE(done);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().message, "disk full");
}

TEST(ExpectedDeathTest, ReadingTheMissingSideAborts)
{
    auto letter = parseDigit('x');
    EXPECT_DEATH((void)letter.value(), "value\\(\\) of an error");
}

} // namespace
} // namespace lorvantine
