#include "ToolkitTest.h"

#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/ImageView.h"
#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/SymbolImage.h"
#include "SimDesktop/Toolkit/CairoPainter.h"

#include <cairo.h>

namespace lorvantine {
namespace {

struct Drawn {
    int inside = 0;  // covered pixels inside the symbol's rectangle
    int outside = 0; // covered pixels beyond it (more than a stroke's half-width away)
    Rgb colour;      // of the most covered pixel
};

// Draws `image` at 4 pixels per point, centred in a canvas twice its size.
Drawn draw(const SymbolImage& image, const Color& tint)
{
    constexpr double scale = 4;
    const Size size = image.size();
    const int width = static_cast<int>(size.width * 2 * scale), height = static_cast<int>(size.height * 2 * scale);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scale, scale);
    const Rect rect(size.width / 2, size.height / 2, size.width, size.height);
    {
        CairoPainter painter(cr, size.height * 2);
        image.draw(painter, rect, tint);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    Drawn drawn;
    uint32_t strongest = 0;
    const double slack = image.pointSize() * 0.1 * scale;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t argb = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
            if ((argb >> 24) < 128)
                continue;
            const bool in = x >= rect.minX() * scale - slack && x <= rect.maxX() * scale + slack
                && y >= rect.minY() * scale - slack && y <= rect.maxY() * scale + slack;
            (in ? drawn.inside : drawn.outside) += 1;
            if ((argb >> 24) > (strongest >> 24))
                strongest = argb;
        }
    }
    drawn.colour = rgbOf(strongest);
    cairo_surface_destroy(surface);
    return drawn;
}

TEST(SymbolImage, EveryKnownSymbolDrawsVisibleShapesWithinItsBounds)
{
    ASSERT_GE(SymbolImage::knownNames().size(), 10u);
    for (const std::string& name : SymbolImage::knownNames()) {
        auto image = SymbolImage::named(name);
        ASSERT_TRUE(image) << name;
        const Drawn drawn = draw(image->withConfiguration(14, Font::Weight::medium), Color::rgb(0, 0, 1));
        const Size size = image->withConfiguration(14, Font::Weight::medium).size();
        EXPECT_GT(drawn.inside, size.width * size.height * 16 * 0.1) << name;
        EXPECT_EQ(drawn.outside, 0) << name;
    }
    for (const char* name : { "play.fill", "pause.fill", "xmark", "speaker.wave.2.fill", "arrow.clockwise" })
        EXPECT_TRUE(SymbolImage::exists(name)) << name;
}

TEST(SymbolImage, UnknownNamesGiveNoImageAndConfigurationSizesAndColoursIt)
{
    EXPECT_FALSE(SymbolImage::named("no.such.symbol"));
    auto play = SymbolImage::named("play.fill", "Play");
    ASSERT_TRUE(play);
    EXPECT_EQ(play->accessibilityDescription(), "Play");
    const Size small = play->withConfiguration(10, Font::Weight::medium).size();
    const Size large = play->withConfiguration(20, Font::Weight::medium).size();
    EXPECT_NEAR(large.width, 2 * small.width, 0.5);
    EXPECT_NEAR(large.height, 2 * small.height, 0.5);

    EXPECT_EQ(draw(*play, Color::rgb(0, 0, 1)).colour, (Rgb { 0, 0, 255 }));
    EXPECT_EQ(draw(play->withPaletteColor(Color::white()), Color::rgb(0, 0, 1)).colour, (Rgb { 255, 255, 255 }));

    // A heavier weight strokes thicker.
    auto xmark = SymbolImage::named("xmark");
    EXPECT_GT(draw(xmark->withConfiguration(14, Font::Weight::bold), Color::black()).inside,
              draw(xmark->withConfiguration(14, Font::Weight::thin), Color::black()).inside);
}

using SymbolControls = ToolkitTest;

TEST_F(SymbolControls, AnImageOnlyButtonAndAnImageViewShowTheirSymbolInTheirTint)
{
    auto panel = std::make_shared<Panel>(Rect(100, 700, 100, 50), WindowStyle::nonactivatingPanel);
    panel->setBackgroundColor(Color::black());
    auto button = std::make_shared<Button>(Rect(0, 0, 50, 50));
    button->setImage(SymbolImage::named("pause.fill")->withConfiguration(30, Font::Weight::medium));
    button->setImagePosition(ImagePosition::imageOnly);
    button->setBordered(false);
    button->setContentTintColor(Color::white());
    auto imageView = std::make_shared<ImageView>(Rect(50, 0, 50, 50));
    imageView->setImage(SymbolImage::named("xmark"));
    imageView->setImageScaling(ImageView::Scaling::proportionallyUpOrDown);
    imageView->setContentTintColor(Color::rgb(0, 1, 0));
    panel->contentView()->addSubview(button);
    panel->contentView()->addSubview(imageView);
    panel->orderFront();

    // Top-left: the panel spans y 150...200. The left pause bar, then the xmark's centre.
    EXPECT_EQ(screenColour({ 100 + 25 - 7, 175 }), (Rgb { 255, 255, 255 }));
    EXPECT_EQ(screenColour({ 100 + 25, 175 }), (Rgb { 0, 0, 0 }));
    EXPECT_EQ(screenColour({ 175, 175 }), (Rgb { 0, 255, 0 }));
    EXPECT_EQ(imageView->imageRect(), Rect(0, 0, 50, 50));
}

TEST_F(SymbolControls, TextIsMeasuredAsItIsLaidOut)
{
    const TextMeasurer& measurer = TextMeasurer::current();
    const Font font = Font::system(13);
    const Size shortText = measurer.size("Read", font);
    const Size longText = measurer.size("Read the current page", font);
    EXPECT_GT(shortText.width, 20);
    EXPECT_GT(longText.width, shortText.width * 3);
    EXPECT_NEAR(shortText.height, measurer.lineHeight(font), 0.01);
    EXPECT_GT(measurer.size("朗读当前页面", font).width, 5 * 13 * 0.9);
    const Size wrapped = measurer.size("Read the current page", font, 60);
    EXPECT_LE(wrapped.width, 60);
    EXPECT_GE(wrapped.height, 2 * shortText.height);
    EXPECT_EQ(measurer.size("", font).width, 0);

    auto label = std::make_shared<Label>(Rect(0, 0, 10, 10), "3/12");
    label->setFont(Font::monospacedDigitSystem(10, Font::Weight::medium));
    label->sizeToFit();
    EXPECT_NEAR(label->frame().width(), std::ceil(measurer.size("3/12", label->font()).width) + 4, 0.01);
}

} // namespace
} // namespace lorvantine
