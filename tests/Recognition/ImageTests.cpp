#include "Platform/Image.h"
#include "TestSupport/ScratchDirectory.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

namespace lorvantine::testing {
namespace {

Image gradient(int width, int height)
{
    Image image = Image::filled(width, height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, 0xFF000000u | static_cast<uint32_t>(x << 16 | y << 8 | ((x + y) & 0xFF)));
    }
    return image;
}

TEST(Image, APNGRoundTripKeepsEveryPixelAndRemembersItsOrigin)
{
    test::ScratchDirectory folder;
    const std::string path = (folder / "capture.png").string();
    Image original = gradient(37, 23);
    ASSERT_TRUE(original.savePNG(path));

    auto loaded = Image::loadPNG(path);

    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->width, 37);
    EXPECT_EQ(loaded->height, 23);
    EXPECT_EQ(loaded->digest(), original.digest());
    EXPECT_EQ(loaded->sourceDigest, original.digest());
    EXPECT_EQ(loaded->pixel(36, 22), original.pixel(36, 22));
}

TEST(Image, WhatIsNoPNGIsAnError)
{
    test::ScratchDirectory folder;
    const std::string path = (folder / "capture.png").string();
    test::writeFile(path, "GIF89a, or so it says");
    auto garbage = Image::loadPNG(path);
    ASSERT_FALSE(garbage);
    EXPECT_THAT(garbage.error().message, ::testing::HasSubstr(path));

    EXPECT_FALSE(Image::loadPNG("/nonexistent/capture.png"));
    EXPECT_FALSE(Image().savePNG(path));
    EXPECT_FALSE(gradient(4, 4).savePNG("/nonexistent/capture.png"));
}

TEST(Image, TheCropAreaWidensToWholePixelsInsideTheImageAndIsNoneWithoutOverlapOrSize)
{
    Image image = gradient(100, 50);
    const std::pair<Rect, std::optional<PixelRect>> cases[] = {
        {Rect(10, 5, 20, 10), PixelRect{10, 5, 20, 10}},
        {Rect(10.5, 5.2, 20, 10), PixelRect{10, 5, 21, 11}},
        {Rect(-10, -10, 50, 30), PixelRect{0, 0, 40, 20}},
        {Rect(90, 40, 50, 30), PixelRect{90, 40, 10, 10}},
        {Rect(30, 20, -10, -10), PixelRect{20, 10, 10, 10}},
        {Rect(100, 0, 10, 10), std::nullopt},
        {Rect(-20, 0, 20, 10), std::nullopt},
        {Rect(10, 10, 0, 10), std::nullopt},
        {Rect(std::nan(""), 10, 5, 10), std::nullopt},
        {Rect(0, 0, INFINITY, 10), std::nullopt},
    };
    for (const auto& [rect, expected] : cases)
        EXPECT_EQ(image.cropArea(rect), expected) << rect.minX() << ", " << rect.minY();
    EXPECT_EQ(Image().cropArea(Rect(0, 0, 10, 10)), std::nullopt);
}

TEST(Image, ACropKeepsItsPixelsAndWhereTheyCameFrom)
{
    Image image = gradient(100, 50);
    image.sourceDigest = 99;

    Image crop = image.cropped(PixelRect{10, 5, 20, 10});
    Image inner = crop.cropped(PixelRect{3, 4, 5, 5});

    EXPECT_EQ(crop.width, 20);
    EXPECT_EQ(crop.height, 10);
    EXPECT_EQ(crop.pixel(0, 0), image.pixel(10, 5));
    EXPECT_EQ(crop.pixel(19, 9), image.pixel(29, 14));
    EXPECT_EQ(inner.pixel(0, 0), image.pixel(13, 9));
    EXPECT_EQ(inner.sourceDigest, 99u);
    EXPECT_EQ(inner.sourceX, 13);
    EXPECT_EQ(inner.sourceY, 9);
}

} // namespace
} // namespace lorvantine::testing
