#include "TestSupport/DesktopTest.h"

#include "Platform/Toolkit/AnimationContext.h"
#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/View.h"
#include "SimDesktop/Toolkit/CairoPainter.h"

#include <cairo.h>

namespace lorvantine {
namespace {

constexpr double scale = 2;

// What a person changes in the reading panel, or what the reading moves on.
struct Look {
    Point card { 10, 10 };
    Point marker { 18, 160 };
    double markerAlpha = 1, buttonAlpha = 1;
    bool dotShown = true;
    Color titleColor = Color::rgb(0.1, 0.1, 0.1);
    std::string title = "Chapter Three";
    std::string body = "Reading aloud slows the eye down. Every word gets its moment, and the voice carries it.";
    Color leftLamp = Color::rgb(0.2, 0.6, 0.3), rightLamp = Color::rgb(0.9, 0.5, 0.1);
};

// A translucent panel like the program's: a clear window holding a rounded card that cuts its
// subviews (a title, body text, a rounded button with its caption, a badge with a dot over its
// corner, a marker that moves over the text), and two small lamps at the ends of its top edge.
struct ReadingPanel {
    std::shared_ptr<Panel> panel;
    std::shared_ptr<View> card, button, dot, marker, leftLamp, rightLamp;
    std::shared_ptr<Label> title, body;

    ReadingPanel(Point origin, const Look& look)
    {
        panel = std::make_shared<Panel>(Rect(origin, Size { 380, 250 }), WindowStyle::nonactivatingPanel);
        panel->setLevel(WindowLevel::floating);
        panel->setOpaque(false);
        panel->setBackgroundColor(Color::clear());
        panel->setHasShadow(false);
        panel->setAlphaValue(0.92);
        card = view(*panel->contentView(), Rect(10, 10, 360, 230), Color::rgb(0.97, 0.96, 0.93), 14);
        card->setMasksToBounds(true);
        card->setBorderWidth(1);
        card->setBorderColor(Color::rgb(0.7, 0.7, 0.7));
        title = label(*card, Rect(18, 190, 324, 24), 17);
        body = label(*card, Rect(18, 100, 324, 80), 13);
        button = view(*card, Rect(18, 18, 130, 36), Color::rgb(0.15, 0.4, 0.85), 10);
        button->setMasksToBounds(true);
        auto caption = label(*button, Rect(0, 9, 130, 18), 13, "Read Aloud");
        caption->setAlignment(TextAlignment::center);
        caption->setTextColor(Color::white());
        auto badge = view(*card, Rect(300, 18, 42, 36), Color::rgb(0.2, 0.65, 0.35), 8);
        dot = view(*badge, Rect(30, 26, 16, 16), Color::rgb(0.9, 0.15, 0.1), 8);
        marker = view(*card, Rect(18, 160, 10, 10), Color::rgb(1, 0.55, 0), 5);
        leftLamp = view(*panel->contentView(), Rect(1, 241, 8, 8), {}, 4);
        rightLamp = view(*panel->contentView(), Rect(371, 241, 8, 8), {}, 4);
        show(look);
    }

    static std::shared_ptr<View> view(View& parent, const Rect& frame, std::optional<Color> background, double radius)
    {
        auto v = std::make_shared<View>(frame);
        v->setBackgroundColor(background);
        v->setCornerRadius(radius);
        parent.addSubview(v);
        return v;
    }
    static std::shared_ptr<Label> label(View& parent, const Rect& frame, double size, std::string text = {})
    {
        auto l = std::make_shared<Label>(frame, std::move(text));
        l->setFont(Font::system(size));
        l->setLineBreakMode(LineBreakMode::wordWrapping);
        parent.addSubview(l);
        return l;
    }

    void show(const Look& look)
    {
        card->setFrameOrigin(look.card);
        marker->setFrameOrigin(look.marker);
        marker->setAlphaValue(look.markerAlpha);
        button->setAlphaValue(look.buttonAlpha);
        dot->setHidden(!look.dotShown);
        title->setTextColor(look.titleColor);
        title->setText(look.title);
        body->setText(look.body);
        leftLamp->setBackgroundColor(look.leftLamp);
        rightLamp->setBackgroundColor(look.rightLamp);
    }
};

// A whole drawing of the window as it is now, made afresh as the host makes one (a recording in
// points) and shown at the window's alpha.
Image wholeDrawing(const Window& window)
{
    const Size size = window.frame().size;
    cairo_rectangle_t extents { 0, 0, size.width, size.height };
    cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents);
    cairo_t* cr = cairo_create(recording);
    {
        CairoPainter painter(cr, size.height);
        window.draw(painter);
    }
    cairo_destroy(cr);
    Image image = Image::filled(static_cast<int>(size.width * scale), static_cast<int>(size.height * scale), 0);
    cairo_surface_t* target = cairo_image_surface_create_for_data(image.pixels.data(), CAIRO_FORMAT_ARGB32, image.width,
                                                                  image.height, image.stride);
    cr = cairo_create(target);
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, recording, 0, 0);
    cairo_paint_with_alpha(cr, window.alphaValue());
    cairo_destroy(cr);
    cairo_surface_destroy(target);
    cairo_surface_destroy(recording);
    return image;
}

// "" when the pictures are the same pixel for pixel; otherwise how many pixels differ and where the
// first is (window points from the top left).
std::string differences(const Image& shown, const Image& expected)
{
    if (shown.isEmpty() || shown.width != expected.width || shown.height != expected.height)
        return "no picture of the same size";
    int count = 0;
    std::string first;
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x)
            if (shown.pixel(x, y) != expected.pixel(x, y) && count++ == 0)
                first = "first at (" + std::to_string(x / scale) + ", " + std::to_string(y / scale) + ")";
    return count == 0 ? "" : std::to_string(count) + " pixels differ, " + first;
}

class PartialRedrawPixels : public DesktopTest {
protected:
    // Runs `count` animation frames, checking every few that what the window shows is a whole
    // drawing of it as it is then.
    void frames(ReadingPanel& panel, int count, const std::string& step)
    {
        for (int frame = 1; frame <= count; ++frame) {
            advance(1.0 / 60);
            if (frame % 3 == 0) {
                EXPECT_EQ(differences(shown(panel), wholeDrawing(*panel.panel)), "") << step << ", frame " << frame;
            }
        }
    }
    // What the window shows at rest is what a new panel of that look shows, drawn whole from views
    // and labels that never showed anything else.
    void atRest(ReadingPanel& panel, const Look& look, const std::string& step)
    {
        ReadingPanel fresh(Point { 900, 100 }, look);
        fresh.panel->orderFront();
        EXPECT_EQ(differences(shown(panel), shown(fresh)), "") << step << ", at rest";
        fresh.panel->orderOut();
    }
    void animateTo(ReadingPanel& panel, const Look& look, double duration, const std::string& step)
    {
        AnimationContext::run(seconds(duration), [&] { panel.show(look); });
        frames(panel, static_cast<int>(duration * 60) + 2, step);
        atRest(panel, look, step);
    }

    Image shown(const ReadingPanel& panel) { return host->renderWindow(*panel.panel, scale).value_or(Image {}); }
    // The window's alpha at a point (window points from the top left) of a picture at `scale`.
    static uint32_t alphaAt(const Image& picture, Point p) { return picture.pixel(int(p.x * scale), int(p.y * scale)) >> 24; }
};

// Moves, fades of a plain view and of one with subviews, a view moving across another, a pulse,
// a subview hidden and shown, new text and a new title colour, and a view cut by a rounded corner.
TEST_F(PartialRedrawPixels, ChangesAnimatedOneAfterAnotherShowWhatAWholeDrawingShows)
{
    Look look;
    ReadingPanel reading(Point { 200, 400 }, look);
    reading.panel->orderFront();

    // The marker runs along the first line while the title lights up and a lamp changes.
    look.marker = { 300, 160 };
    look.titleColor = Color::rgb(0.1, 0.3, 0.9);
    look.leftLamp = Color::rgb(0.9, 0.1, 0.1);
    animateTo(reading, look, 0.4, "along the first line");

    // It drops onto the button, both fading, the badge's dot goes out, both lamps change.
    look.marker = { 60, 40 };
    look.markerAlpha = 0.5;
    look.buttonAlpha = 0.4;
    look.dotShown = false;
    look.leftLamp = Color::rgb(0.1, 0.7, 0.2);
    look.rightLamp = Color::rgb(0.2, 0.2, 0.9);
    animateTo(reading, look, 0.3, "over the button");
    EXPECT_GT(shown(reading).pixel(int(75 * scale), int(195 * scale)) & 0xFF, 40u)
        << "the button's blue shows through the faded marker";

    // The button pulses as it is pressed, its caption with it.
    reading.button->addAnimation(
        "pulse", { .property = AnimatedProperty::scale, .from = 1.0, .to = 1.12, .duration = seconds(0.2), .autoreverses = true });
    frames(reading, 26, "pulse");
    atRest(reading, look, "pulse");

    // Into the card's rounded corner, cut by it, with the next page's text.
    look.marker = { -4, 224 };
    look.markerAlpha = 1;
    look.buttonAlpha = 1;
    look.dotShown = true;
    look.titleColor = Color::rgb(0.1, 0.1, 0.1);
    look.title = "Chapter Four";
    look.body = "The river bent twice before the town. Nobody on the ferry spoke until the bells began, and then "
                "everyone spoke at once: of the harvest, of the weather coming up the valley, of the cousin who went "
                "to the city and never wrote home, and of the bridge they had been promised for as long as anyone "
                "could remember.";
    animateTo(reading, look, 0.3, "into the corner");
    const Image picture = shown(reading);
    EXPECT_EQ(alphaAt(picture, { 12, 12 }), 0u) << "the corner cuts the marker";
    EXPECT_GT(alphaAt(picture, { 15.5, 15.5 }), 200u) << "within the corner's curve the card shows";
    EXPECT_EQ(alphaAt(picture, { 367, 12.5 }), 0u) << "outside the far corner's curve the window is clear";

    // Over the text running out of its label and onto the badge's dot as the card shifts.
    look.marker = { 338, 56 };
    look.card = { 12, 8 };
    animateTo(reading, look, 0.3, "onto the dot");
}

// A reading runs for seconds: the marker sweeps the lines to and fro while the lamps at both ends
// of the top edge blink in the same frames. Each frame lays a part over the window's drawing,
// twice past the count where it is drawn whole again.
TEST_F(PartialRedrawPixels, ASweepOfManyFramesShowsWhatAWholeDrawingShows)
{
    Look look;
    ReadingPanel reading(Point { 200, 400 }, look);
    reading.panel->orderFront();

    reading.marker->addAnimation("sweep", { .property = AnimatedProperty::frame,
                                            .from = Rect(18, 160, 10, 10),
                                            .to = Rect(330, 142, 10, 10),
                                            .duration = seconds(1.8),
                                            .autoreverses = true });
    for (const auto& lamp : { reading.leftLamp, reading.rightLamp })
        lamp->addAnimation("blink", { .property = AnimatedProperty::backgroundColor,
                                      .to = Color::rgb(1, 0.9, 0.2),
                                      .duration = seconds(0.25),
                                      .repeatCount = 6,
                                      .autoreverses = true });
    frames(reading, 60 * 4, "sweeping");
    atRest(reading, look, "after the sweep");
}

} // namespace
} // namespace lorvantine
