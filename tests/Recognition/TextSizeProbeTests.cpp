#include "Platform/Backends/LineInk.h"
#include "Platform/Backends/TextSizeProbe.h"
#include "TestSupport/TextImageRenderer.h"

#include <gtest/gtest.h>

namespace lorvantine::testing {
namespace {

const std::string english = "Reading aloud helps people who would rather listen than look at a screen. When an "
                            "application shows its text only as pixels, the program photographs the window and "
                            "recognises every word with its box, so that the highlight can follow the voice.";
const std::string chinese = "阅读是一种美好的习惯。我们每天都应该花一点时间读书，这样可以增长知识，开阔眼界。"
                            "文字识别需要把图片中的汉字准确地读出来，并且给出每个字在屏幕上的位置。";

Image inverted(Image image)
{
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x)
            image.setPixel(x, y, 0xFF000000u | (~image.pixel(x, y) & 0xFFFFFFu));
    }
    return image;
}

struct Page {
    const char* name;
    std::string text;
    double fontSize;
    double scale;
    bool lightOnDark;
    bool readableAtHalfSize;
};

TEST(TextSizeProbe, HalvesOnlyWhatStaysReadable)
{
    const Page pages[] = {
        {"Latin text of ordinary size in a 2x capture", english, 16, 2, false, true},
        {"the same, light on dark", english, 16, 2, true, true},
        {"small Latin text in a 2x capture", english, 11, 2, false, false},
        {"Latin text of ordinary size in a 1x capture", english, 16, 1, false, false},
        {"Chinese of ordinary size in a 2x capture", chinese, 16, 2, false, false},
        {"large Chinese in a 2x capture", chinese, 22, 2, false, true},
        {"Latin paragraphs with one line of Chinese", english + "\n" + english + "\n阅读是一种美好的习惯。我们每天都应该花一点时间读书", 16, 2,
         false, false},
    };
    for (const Page& page : pages) {
        TextImageRenderer::Options options;
        options.fontSize = page.fontSize;
        options.scale = page.scale;
        Image image = TextImageRenderer::render(page.text, options).image;
        if (page.lightOnDark)
            image = inverted(image);
        EXPECT_EQ(TextSizeProbe::readableAtHalfSize(GrayImage::from(image)), page.readableAtHalfSize) << page.name;
    }
    EXPECT_FALSE(TextSizeProbe::readableAtHalfSize(GrayImage::from(Image::filled(800, 600, 0xFFFFFFFF))))
        << "a picture without text";
}

TEST(GrayImage, HalvingAveragesEachTwoByTwoAndKeepsAnOddEdge)
{
    GrayImage gray{3, 2, {0, 100, 50, 200, 100, 250}};
    GrayImage half = gray.halved();
    EXPECT_EQ(half.width, 2);
    EXPECT_EQ(half.height, 1);
    EXPECT_EQ(half.pixels, (std::vector<uint8_t>{100, 150}));
}

TEST(LineInk, TheWidestBlankBetweenTwoWordsIsTheirSpace)
{
    auto page = TextImageRenderer::render("reading aloud");
    GrayImage gray = GrayImage::from(page.image);
    const Rect& first = page.words[0].ink;
    const Rect& second = page.words[1].ink;
    LineInk ink(gray, {0, static_cast<int>(first.minY()), gray.width, static_cast<int>(first.maxY()) + 1});

    auto gap = ink.widestGap(static_cast<int>(first.minX()), static_cast<int>(second.maxX()));

    ASSERT_TRUE(gap);
    EXPECT_NEAR(gap->first, first.maxX(), 1);
    EXPECT_NEAR(gap->second, second.minX(), 1);
}

} // namespace
} // namespace lorvantine::testing
