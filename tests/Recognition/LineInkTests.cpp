#include "Platform/Backends/LineInk.h"
#include "TestSupport/TextImageRenderer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine::testing {
namespace {

// `r` in points of a picture of `scale` pixels per point.
LineInk::Box pixels(const Rect& r, double scale = 1)
{
    return {static_cast<int>(std::lround(r.minX() * scale)), static_cast<int>(std::lround(r.minY() * scale)),
            static_cast<int>(std::lround(r.maxX() * scale)), static_cast<int>(std::lround(r.maxY() * scale))};
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
    LineInk::Box band = pixels(page.words.front().ink, page.scale);
    for (const auto& word : page.words) {
        LineInk::Box ink = pixels(word.ink, page.scale);
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

struct FullWidthCase {
    std::string family;
    bool inverted;
    double fontSize;
    double scale;
    std::string text;
};

class LineInkFullWidth : public ::testing::TestWithParam<FullWidthCase> {};

TEST_P(LineInkFullWidth, CharactersAreFoundOnTheirGrid)
{
    TextImageRenderer::Options options;
    options.family = GetParam().family;
    options.fontSize = GetParam().fontSize;
    options.scale = GetParam().scale;
    options.wrapWidth = 900;
    auto page = TextImageRenderer::render(GetParam().text, options);
    GrayImage gray = GrayImage::from(GetParam().inverted ? inverted(page.image) : page.image);
    LineInk::Box band = bandOf(page);

    auto boxes = LineInk(gray, band).placeFullWidth(band.left, band.right, page.words.size());

    ASSERT_EQ(boxes.size(), page.words.size());
    for (size_t i = 0; i < boxes.size(); ++i)
        EXPECT_TRUE(near(boxes[i], pixels(page.words[i].ink, page.scale), 1)) << page.words[i].text;
}

const std::string aLineOfChinese = "阅读是一种美好的习惯。我们每天都应该花一点时间读书，这样可以增长知识";
// Brackets and a comma whose ink reaches past the em: the grid is narrower than the ink is tall.
const std::string aLineWithBrackets = "我们读了《朝花夕拾》的前三篇，大家都说鲁迅写童年的时候，语气比写别的东西温和得多。";

INSTANTIATE_TEST_SUITE_P(DarkOnLightAndLightOnDark, LineInkFullWidth,
                         ::testing::Values(FullWidthCase{"WenQuanYi Zen Hei", false, 16, 1, aLineOfChinese},
                                           FullWidthCase{"WenQuanYi Zen Hei", true, 16, 1, aLineOfChinese},
                                           FullWidthCase{"DejaVu Sans", false, 16, 2, aLineWithBrackets},
                                           FullWidthCase{"DejaVu Sans", false, 15, 2, aLineWithBrackets}));

// Characters whose ink is taller than their spacing (brackets, a comma reaching below the line)
// on a band that runs on past them: the grid still ends with the last character's ink.
TEST(LineInk, TheGridEndsWhereTheInkEnds)
{
    Image picture = Image::filled(600, 60, 0xFFFFFFFF);
    const int count = 10, pitch = 30, width = 24;
    for (int i = 0; i < count; ++i) {
        for (int y = 10; y < 42; ++y) {
            for (int x = 20 + i * pitch; x < 20 + i * pitch + width; ++x)
                picture.setPixel(x, y, 0xFF000000);
        }
    }
    GrayImage gray = GrayImage::from(picture);

    auto boxes = LineInk(gray, {0, 5, 600, 50}).placeFullWidth(0, 600, count);

    ASSERT_EQ(boxes.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        EXPECT_TRUE(near(boxes[static_cast<size_t>(i)], {20 + i * pitch, 10, 20 + i * pitch + width, 42}, 1)) << i;
}

// An engine boxed the middle of three lines of Chinese so tall that its box reaches into the
// lines above and below: its own rows are those of ink around its middle, up to the blank
// between the lines.
TEST(LineInk, ALinesOwnRowsEndAtTheBlankBetweenItAndItsNeighbours)
{
    TextImageRenderer::Options options;
    options.family = "WenQuanYi Zen Hei";
    options.wrapWidth = 200;
    auto page = TextImageRenderer::render(aLineOfChinese, options);
    std::vector<LineInk::Box> lines;
    for (const auto& word : page.words) {
        const LineInk::Box ink = pixels(word.ink);
        if (lines.empty() || ink.top >= lines.back().bottom)
            lines.push_back(ink);
        else
            lines.back() = {std::min(lines.back().left, ink.left), std::min(lines.back().top, ink.top),
                            std::max(lines.back().right, ink.right), std::max(lines.back().bottom, ink.bottom)};
    }
    ASSERT_GE(lines.size(), 3u);
    GrayImage gray = GrayImage::from(page.image);
    const LineInk::Box& own = lines[1];
    LineInk tall(gray, {own.left, lines[0].bottom - 4, own.right, lines[2].top + 4});

    auto rows = tall.inkedRowsAround((own.top + own.bottom) / 2, own.left, own.right);

    ASSERT_TRUE(rows);
    EXPECT_EQ(*rows, std::pair(own.top, own.bottom));
    EXPECT_FALSE(tall.inkedRowsAround(own.bottom + 1, own.left, own.right)) << "a blank row between the lines";
}

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
