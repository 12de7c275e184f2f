#include "Platform/Backends/LineInk.h"
#include "TestSupport/TextImageRenderer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine::testing {
namespace {

LineInk::Box pixels(const Rect& r)
{
    return {static_cast<int>(r.minX()), static_cast<int>(r.minY()), static_cast<int>(r.maxX()), static_cast<int>(r.maxY())};
}

::testing::AssertionResult near(const LineInk::Box& a, const LineInk::Box& b, int tolerance)
{
    if (std::abs(a.left - b.left) <= tolerance && std::abs(a.top - b.top) <= tolerance
        && std::abs(a.right - b.right) <= tolerance && std::abs(a.bottom - b.bottom) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.left << ", " << a.top << ", " << a.right << ", " << a.bottom
                                         << ") is not near (" << b.left << ", " << b.top << ", " << b.right << ", "
                                         << b.bottom << ")";
}

// The line's rows, as a recogniser's line box would give them.
LineInk::Box bandOf(const TextImageRenderer::Rendering& page)
{
    LineInk::Box band = pixels(page.words.front().ink);
    for (const auto& word : page.words) {
        LineInk::Box ink = pixels(word.ink);
        band = {std::min(band.left, ink.left), std::min(band.top, ink.top), std::max(band.right, ink.right),
                std::max(band.bottom, ink.bottom)};
    }
    return band;
}

Image inverted(Image image)
{
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x)
            image.setPixel(x, y, 0xFF000000u | (~image.pixel(x, y) & 0xFFFFFFu));
    }
    return image;
}

class LineInkFullWidth : public ::testing::TestWithParam<bool> {};

TEST_P(LineInkFullWidth, CharactersAreFoundOnTheirGrid)
{
    TextImageRenderer::Options options;
    options.family = "WenQuanYi Zen Hei";
    auto page = TextImageRenderer::render("阅读是一种美好的习惯。我们每天都应该花一点时间读书，这样可以增长知识", options);
    GrayImage gray = GrayImage::from(GetParam() ? inverted(page.image) : page.image);
    LineInk::Box band = bandOf(page);

    auto boxes = LineInk(gray, band).placeFullWidth(band.left, band.right, page.words.size());

    ASSERT_EQ(boxes.size(), page.words.size());
    for (size_t i = 0; i < boxes.size(); ++i)
        EXPECT_TRUE(near(boxes[i], pixels(page.words[i].ink), 1)) << page.words[i].text;
}

INSTANTIATE_TEST_SUITE_P(DarkOnLightAndLightOnDark, LineInkFullWidth, ::testing::Bool());

TEST(LineInk, WithoutInkNothingIsPlaced)
{
    GrayImage blank = GrayImage::from(Image::filled(100, 30, 0xFFFFFFFF));
    EXPECT_TRUE(LineInk(blank, {0, 5, 100, 25}).placeFullWidth(0, 100, 3).empty());
}

TEST(LineInk, AStopLeftOutOfAWordsBoxIsTakenBackButNotTheNextWord)
{
    auto page = TextImageRenderer::render("a screen. So, I read");
    GrayImage gray = GrayImage::from(page.image);
    LineInk ink(gray, bandOf(page));
    LineInk::Box screen = pixels(page.words[1].ink), so = pixels(page.words[2].ink);
    LineInk::Box withoutStop = screen;
    withoutStop.right -= 4;

    EXPECT_TRUE(near(ink.widenedOverNearbyInk(withoutStop, LineInk::Side::trailing), screen, 0));
    EXPECT_TRUE(near(ink.widenedOverNearbyInk(so, LineInk::Side::trailing), so, 0));
    EXPECT_TRUE(near(ink.widenedOverNearbyInk(screen, LineInk::Side::leading), screen, 0));
}

} // namespace
} // namespace lorvantine::testing
