#include "PixelsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace lorvantine::testing {
namespace {

// Neither text font has emoji: fontconfig must fall back to a colour emoji font. Without one the
// emoji comes out as a grey box with its code point in it.
bool isColourful(const Rgb& c) { return std::max({ c.r, c.g, c.b }) - std::min({ c.r, c.g, c.b }) > 80; }

class EmojiInText : public ::testing::TestWithParam<const char*> {};

TEST_P(EmojiInText, IsDrawnInColour)
{
    const std::string before = "Good news ";
    SimElement paragraph("AXStaticText", before + "\xF0\x9F\x98\x80 today.");
    paragraph.named("text").at({ 40, 60 }).sized(400).fontSize(24);
    paragraph.font.family = GetParam();
    auto desktop = SimDesktop::create(readerFixture({ paragraph }));
    PlatformServices ports = desktop->services();
    auto picture = SimRenderer::renderWindow(*desktop, 42, 2);
    ASSERT_TRUE(picture);

    // The emoji is one Character of two UTF-16 units.
    auto box = boundsForRange(*ports.accessibility, desktop->element("text"), static_cast<int64_t>(before.size()), 2);
    ASSERT_TRUE(box);
    EXPECT_GT(countPixels(*picture, *box, isColourful), 100);
}

INSTANTIATE_TEST_SUITE_P(TextFonts, EmojiInText, ::testing::Values("DejaVu Sans", "WenQuanYi Zen Hei"));

} // namespace
} // namespace lorvantine::testing
