#include "Support/Format.h"

#include <gtest/gtest.h>

#include <limits>

namespace lorvantine {
namespace {

TEST(FormatTest, FloatsReadAsThePlatformWritesThem)
{
    EXPECT_EQ(Format::floatDescription(1.0f), "1.0");
    EXPECT_EQ(Format::floatDescription(1.25f), "1.25");
    EXPECT_EQ(Format::floatDescription(0.8f), "0.8");
    EXPECT_EQ(Format::floatDescription(-2.0f), "-2.0");
    EXPECT_EQ(Format::floatDescription(std::numeric_limits<float>::infinity()), "inf");
    EXPECT_EQ(Format::doubleDescription(30), "30.0");
    EXPECT_EQ(Format::doubleDescription(0.1), "0.1");
    EXPECT_EQ(Format::doubleDescription(-0.5), "-0.5");
    EXPECT_EQ(Format::doubleDescription(1e16), "1e+16");
    EXPECT_EQ(Format::fixed(3, 2), "3.00");
    EXPECT_EQ(Format::fixed(0.125, 1), "0.1");
}

} // namespace
} // namespace lorvantine
