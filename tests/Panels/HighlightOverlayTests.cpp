#include "PanelsTest.h"

#include "Overlay/HighlightOverlay.h"
#include "Overlay/ScrollWheelMonitor.h"
#include "Platform/Toolkit/Window.h"
#include "Player/MiniPlayer.h"

#include <limits>

namespace lorvantine::panels {
namespace {

constexpr double markAlpha = 0.08;
constexpr double wordAlpha = 0.4;

const Rgb paragraphMark = over(white, accent, markAlpha);
const Rgb wordMark = over(white, accent, wordAlpha);

Rect shifted(const Rect& r, double dx, double dy) { return Rect(r.minX() + dx, r.minY() + dy, r.width(), r.height()); }

std::vector<Rect> shiftedAll(const std::vector<Rect>& rects, double dx, double dy)
{
    std::vector<Rect> out;
    for (const Rect& r : rects)
        out.push_back(shifted(r, dx, dy));
    return out;
}

void expectRects(const std::vector<Rect>& actual, const std::vector<Rect>& expected, double tolerance = 0.01)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i].minX(), expected[i].minX(), tolerance) << "rectangle " << i;
        EXPECT_NEAR(actual[i].minY(), expected[i].minY(), tolerance) << "rectangle " << i;
        EXPECT_NEAR(actual[i].width(), expected[i].width(), tolerance) << "rectangle " << i;
        EXPECT_NEAR(actual[i].height(), expected[i].height(), tolerance) << "rectangle " << i;
    }
}

class Overlay : public PanelsTest {
protected:
    void TearDown() override
    {
        overlay.reset();
        PanelsTest::TearDown();
    }

    // The reader's blank window 42 at (100, 50, 600, 400) and three paragraph rectangles in it.
    void blankReader()
    {
        reader = addApplication(700, "com.example.Reader", Rect(100, 50, 600, 400));
        blocks = { Rect(140, 120, 400, 40), Rect(140, 200, 400, 60), Rect(140, 300, 400, 40) };
    }

    // The reader's window 42 at (100, 50, 600, 400), its content a scroll area of three static
    // texts, one per paragraph; `blocks` are their frames.
    void textReader()
    {
        SimElement scroll("AXScrollArea");
        scroll.named("scroll").frame(Rect(0, 28, 600, 372));
        scroll.padding = 20;
        scroll.spacing = 16;
        for (int i = 0; i < 3; ++i)
            scroll.child(SimElement("AXStaticText", "Paragraph " + std::to_string(i) + " reads slowly and carefully.")
                             .named("p" + std::to_string(i))
                             .fontSize(16));
        reader = addApplication(700, "com.example.Reader", Rect(100, 50, 600, 400), { scroll });
        blocks.clear();
        for (int i = 0; i < 3; ++i) {
            texts.push_back(desktop->element("p" + std::to_string(i)));
            blocks.push_back(*desktop->frameOf(texts.back()));
        }
    }

    // One text area that holds every paragraph (as Notes and TextEdit show a document).
    AXElement areaReader()
    {
        SimElement scroll("AXScrollArea");
        scroll.named("scroll").frame(Rect(0, 28, 600, 372));
        scroll.child(SimElement("AXTextArea",
                                "The first paragraph of the note.\nThe second paragraph of the note.\n"
                                "The third paragraph of the note.")
                         .named("area")
                         .at({ 20, 20 })
                         .sized(540)
                         .fontSize(16));
        reader = addApplication(700, "com.example.Reader", Rect(100, 50, 600, 400), { scroll });
        return desktop->element("area");
    }

    void attach(std::vector<Rect> rects, std::vector<std::optional<AXElement>> elements = {}, bool boundsDisabled = false,
                std::vector<std::optional<int>> anchors = {}, std::vector<std::optional<double>> tightOffsets = {})
    {
        elements.resize(rects.size());
        tightOffsets.resize(rects.size());
        std::vector<std::optional<double>> heights(rects.size());
        anchors.resize(rects.size());
        overlay->attach(rects.front(), rects, elements, tightOffsets, heights, boundsDisabled, reader.window, anchors);
    }

    std::vector<std::optional<AXElement>> textElements() const { return { texts.begin(), texts.end() }; }

    // The colour inside `r`, away from its rounded corners.
    Rgb inside(const SimRenderer::Picture& picture, const Rect& r) { return colourAt(picture, { r.minX() + 10, r.midY() }); }
    // Just outside the mark that widens `r` by 4 points left and right.
    Rgb leftOfMark(const SimRenderer::Picture& picture, const Rect& r) { return colourAt(picture, { r.minX() - 6, r.midY() }); }
    Rgb inMarkMargin(const SimRenderer::Picture& picture, const Rect& r) { return colourAt(picture, { r.minX() - 2, r.midY() }); }

    Window* overlayWindow()
    {
        for (const WindowInfo& info : programWindows())
            if (info.kCGWindowBounds == Rect(0, 0, screenWidth, screenHeight))
                return host->window(*info.kCGWindowNumber);
        return nullptr;
    }

    std::shared_ptr<HighlightOverlay> overlay = std::make_shared<HighlightOverlay>();
    AppWindow reader;
    std::vector<Rect> blocks;
    std::vector<AXElement> texts;
};

TEST_F(Overlay, AttachCoversTheScreenWithAClickThroughFloatingWindowAndDetachTakesItDown)
{
    blankReader();
    attach(blocks);
    EXPECT_TRUE(overlay->isAttached());
    auto windows = programWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].kCGWindowBounds, Rect(0, 0, screenWidth, screenHeight));
    EXPECT_EQ(windows[0].kCGWindowLayer, 3);
    Window* window = overlayWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->ignoresMouseEvents());
    EXPECT_FALSE(window->isOpaque());
    EXPECT_FALSE(window->hasShadow());
    EXPECT_EQ(window->collectionBehavior(), 81u);

    EXPECT_TRUE(log.contains("[Overlay] screen.frame(Cocoa)=(0,0,1440,900)"));
    EXPECT_TRUE(log.contains("[Overlay] backingScaleFactor=1"));
    EXPECT_TRUE(log.contains("[Overlay] firstPara AX=(140,120,400,40) cocoaY=740"));

    // What lies under the overlay still answers the pointer.
    AXElement hit;
    ASSERT_EQ(ax().elementAtPosition(ax().systemWideElement(), 300, 230, hit), AXError::success);
    EXPECT_EQ(hit.pid, reader.pid);

    overlay->setPaginatedMode(true);
    overlay->detach();
    EXPECT_FALSE(overlay->isAttached());
    EXPECT_FALSE(overlay->paginatedMode());
    EXPECT_FALSE(overlay->ocrMode());
    EXPECT_TRUE(programWindows().empty());
    overlay->setHidden(false);
    RunLoop::runPending();
    EXPECT_TRUE(programWindows().empty());
    overlay->detach(); // twice is harmless
}

TEST_F(Overlay, ClicksPassThroughTheOverlayToThePanelsAndWindowsBelow)
{
    blankReader();
    auto player = std::make_shared<MiniPlayer>();
    int plays = 0;
    player->onPlayPause = [&] { ++plays; };
    player->show(reader.window);
    attach(blocks);
    // The overlay lies in front of the mini player, over the whole screen.
    auto windows = programWindows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0].kCGWindowBounds, Rect(0, 0, screenWidth, screenHeight));

    // The mini player's play button, in the window's bottom-right corner.
    const Rect panel = *windows[1].kCGWindowBounds;
    click({ panel.minX() + 12 + 70, panel.maxY() - 12 - 24 });
    EXPECT_EQ(plays, 1);
    player->hide();

    // A second attach replaces the first window rather than adding one.
    attach(blocks);
    EXPECT_EQ(programWindows().size(), 1u);
}

TEST_F(Overlay, MarksTheCurrentParagraphAndTheSpokenWordsInTheAccentColour)
{
    blankReader();
    attach(blocks);
    overlay->setSubHighlight({ Rect(160, 210, 60, 20) });
    RunLoop::runPending();
    auto picture = render();
    ASSERT_TRUE(picture);
    // Before the first paragraph is current nothing is drawn, not even the words.
    EXPECT_EQ(inside(*picture, blocks[1]), white);
    EXPECT_EQ(colourAt(*picture, { 170, 220 }), white);

    overlay->setCurrent(1);
    EXPECT_EQ(overlay->currentIndex(), 1);
    RunLoop::runPending();
    picture = render();
    EXPECT_PRED3(near, inside(*picture, blocks[1]), paragraphMark, 2);
    EXPECT_PRED3(near, inMarkMargin(*picture, blocks[1]), paragraphMark, 2);
    EXPECT_EQ(leftOfMark(*picture, blocks[1]), white);
    EXPECT_EQ(colourAt(*picture, { 300, blocks[1].minY() - 4 }), white);
    EXPECT_EQ(inside(*picture, blocks[0]), white);
    EXPECT_EQ(inside(*picture, blocks[2]), white);
    // `setCurrent` emptied the words handed in before.
    EXPECT_PRED3(near, colourAt(*picture, { 170, 220 }), paragraphMark, 2);

    // The overlay window alone: the accent colour at the mark's opacity, clear elsewhere.
    Window* window = overlayWindow();
    ASSERT_TRUE(window);
    auto alone = host->renderWindow(*window);
    ASSERT_TRUE(alone);
    EXPECT_NEAR(static_cast<int>(alone->pixel(300, 230) >> 24), std::lround(255 * markAlpha), 1);
    EXPECT_EQ(alone->pixel(300, 150), 0u);

    // Two words that overlap are filled once: the overlap is no darker.
    overlay->setSubHighlight({ Rect(160, 210, 60, 20), Rect(200, 210, 60, 20) });
    RunLoop::runPending();
    picture = render();
    const Rgb wordOverMark = over(paragraphMark, accent, wordAlpha);
    EXPECT_PRED3(near, colourAt(*picture, { 170, 220 }), wordOverMark, 2);
    EXPECT_PRED3(near, colourAt(*picture, { 210, 220 }), wordOverMark, 2);
    EXPECT_PRED3(near, colourAt(*picture, { 250, 220 }), wordOverMark, 2);
    EXPECT_PRED3(near, colourAt(*picture, { 270, 220 }), paragraphMark, 2);
    alone = host->renderWindow(*overlayWindow());
    const double combined = 1 - (1 - markAlpha) * (1 - wordAlpha);
    EXPECT_NEAR(static_cast<int>(alone->pixel(210, 220) >> 24), std::lround(255 * combined), 1);
    EXPECT_TRUE(log.contains("[Overlay:draw] firstSubHL AX=(160.0,210.0,60.0,20.0)"));

    // A word outside the paragraph stands on its own.
    overlay->setSubHighlight({ Rect(600, 380, 50, 20) });
    RunLoop::runPending();
    EXPECT_PRED3(near, screenColour({ 610, 390 }), wordMark, 2);

    overlay->setCurrent(0);
    RunLoop::runPending();
    picture = render();
    EXPECT_PRED3(near, inside(*picture, blocks[0]), paragraphMark, 2);
    EXPECT_EQ(inside(*picture, blocks[1]), white);
    EXPECT_EQ(colourAt(*picture, { 610, 390 }), white);

    // An index outside the paragraphs draws nothing at all.
    overlay->setCurrent(3);
    overlay->setSubHighlight({ Rect(600, 380, 50, 20) });
    RunLoop::runPending();
    picture = render();
    for (const Rect& r : blocks)
        EXPECT_EQ(inside(*picture, r), white);
    EXPECT_EQ(colourAt(*picture, { 610, 390 }), white);
    EXPECT_EQ(log.linesContaining("firstSubHL").size(), 1u);
}

TEST_F(Overlay, ASingleParagraphShowsOnlyTheSpokenWords)
{
    blankReader();
    attach({ blocks[1] });
    overlay->setCurrent(0);
    overlay->setSubHighlight({ Rect(160, 210, 60, 20) });
    RunLoop::runPending();
    auto picture = render();
    EXPECT_EQ(colourAt(*picture, { 400, 240 }), white);
    EXPECT_EQ(inMarkMargin(*picture, blocks[1]), white);
    EXPECT_PRED3(near, colourAt(*picture, { 170, 220 }), wordMark, 2);
}

TEST_F(Overlay, TheOpacitySettingsTakeEffectAtTheNextDrawing)
{
    blankReader();
    attach(blocks);
    defaults->set(PreferencesModel::Key::highlightOpacity, 0.5f);
    defaults->set(PreferencesModel::Key::subHighlightOpacity, 0.0f);
    overlay->setCurrent(0);
    overlay->setSubHighlight({ Rect(600, 380, 50, 20) });
    RunLoop::runPending();
    auto picture = render();
    EXPECT_PRED3(near, inside(*picture, blocks[0]), over(white, accent, 0.5), 2);
    EXPECT_EQ(colourAt(*picture, { 610, 390 }), white);

    // A value no slider gives is kept within what can be drawn.
    defaults->set(PreferencesModel::Key::highlightOpacity, 7.0f);
    defaults->set(PreferencesModel::Key::subHighlightOpacity, std::string("not a number"));
    overlay->setSubHighlight({ Rect(600, 380, 50, 20) });
    RunLoop::runPending();
    picture = render();
    EXPECT_PRED3(near, inside(*picture, blocks[0]), accent, 2);
    EXPECT_EQ(colourAt(*picture, { 610, 390 }), white);
}

TEST_F(Overlay, FollowsTheWindowAsItMovesAndIgnoresSubPointJitter)
{
    blankReader();
    attach(blocks);
    overlay->setCurrent(1);
    overlay->setSubHighlight({ Rect(160, 210, 60, 20) });
    RunLoop::runPending();

    desktop->moveWindow(reader.number, { 100.3, 50.4 });
    advance(0.1);
    expectRects(overlay->paragraphs(), blocks);

    desktop->moveWindow(reader.number, { 100, 50.5 });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(blocks, 0, 0.5));

    desktop->moveWindow(reader.number, { 130, 70 });
    advance(0.1);
    const std::vector<Rect> moved = shiftedAll(blocks, 30, 20);
    expectRects(overlay->paragraphs(), moved);
    auto picture = render();
    EXPECT_PRED3(near, inside(*picture, moved[1]), paragraphMark, 2);
    EXPECT_EQ(inMarkMargin(*picture, blocks[1]), white);
    // The word drawn before the move went along with it.
    EXPECT_PRED3(near, colourAt(*picture, { 195, 245 }), over(paragraphMark, accent, wordAlpha), 2);
    EXPECT_EQ(colourAt(*picture, { 165, 215 }), white);

    // Words handed in afterwards, measured where the text was, are drawn where it is now.
    desktop->moveWindow(reader.number, { 140, 70 });
    advance(0.1);
    EXPECT_NEAR(overlay->subHighlightDelta().x, 40, 0.01);
    EXPECT_NEAR(overlay->subHighlightDelta().y, 20, 0.01);
    overlay->setSubHighlight({ Rect(600, 380, 50, 20) });
    RunLoop::runPending();
    picture = render();
    EXPECT_PRED3(near, colourAt(*picture, { 645, 410 }), wordMark, 2);
    EXPECT_EQ(colourAt(*picture, { 605, 390 }), white);

    // New rectangles measured afresh start from the window where it is now.
    overlay->updateParagraphRects(blocks);
    EXPECT_EQ(overlay->subHighlightDelta(), Point {});
    advance(0.3);
    expectRects(overlay->paragraphs(), blocks);
    EXPECT_PRED3(near, screenColour({ blocks[1].minX() + 10, blocks[1].midY() }), paragraphMark, 2);
}

TEST_F(Overlay, FollowsContentScrolledUnderTheCurrentParagraphsElementUnlessPaginated)
{
    textReader();
    attach(blocks, textElements());
    overlay->setCurrent(1);
    RunLoop::runPending();

    desktop->setScroll(desktop->element("scroll"), { 0, 30 });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(blocks, 0, -30));
    auto picture = render();
    EXPECT_PRED3(near, inMarkMargin(*picture, shifted(blocks[1], 0, -30)), paragraphMark, 2);

    // A scroll and a move at once: both apply.
    desktop->setScroll(desktop->element("scroll"), { 0, 50 });
    desktop->moveWindow(reader.number, { 110, 50 });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(blocks, 10, -50));

    // Paginated mode follows the window only.
    overlay->updateParagraphRects(blocks);
    overlay->setPaginatedMode(true);
    desktop->setScroll(desktop->element("scroll"), { 0, 80 });
    advance(0.1);
    expectRects(overlay->paragraphs(), blocks);
    desktop->moveWindow(reader.number, { 130, 50 });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(blocks, 20, 0));
}

TEST_F(Overlay, APositionThatIsNotANumberSkipsTheTickAndKeepsTheMarks)
{
    textReader();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* name;
        AXElement element;
        Point position;
    };
    const std::vector<Case> cases {
        { "window at NaN", reader.window, { nan, nan } },
        { "window at infinity", reader.window, { 100, std::numeric_limits<double>::infinity() } },
        { "current paragraph's element at NaN", texts[1], { 140, nan } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desktop->moveWindow(reader.number, { 100, 50 });
        attach(blocks, textElements());
        overlay->setCurrent(1);
        RunLoop::runPending();

        desktop->setAttribute(c.element, "AXPosition", c.position);
        advance(0.3);
        expectRects(overlay->paragraphs(), blocks);

        desktop->removeAttribute(c.element, "AXPosition");
        desktop->moveWindow(reader.number, { 130, 70 });
        advance(0.1);
        expectRects(overlay->paragraphs(), shiftedAll(blocks, 30, 20));
        overlay->detach();
    }
}

TEST_F(Overlay, AbsurdWindowPositionsDoNotOutliveTheirReading)
{
    // Positions at the edge of what a double holds: the move from one to the other overflows.
    struct Case {
        const char* name;
        bool withElements;
        bool boundsDisabled;
    };
    const std::vector<Case> cases {
        { "window only", false, false },
        { "the current paragraph's element", true, false },
        { "recognised text", false, true },
    };
    textReader();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        desktop->moveWindow(reader.number, { 100, 50 });
        attach(blocks, c.withElements ? textElements() : std::vector<std::optional<AXElement>> {}, c.boundsDisabled);
        overlay->setCurrent(1);
        RunLoop::runPending();

        for (Point absurd : { Point { 1.7e308, 1.7e308 }, Point { -1.7e308, -1.7e308 } }) {
            desktop->setAttribute(reader.window, "AXPosition", absurd);
            advance(0.1);
        }
        desktop->removeAttribute(reader.window, "AXPosition");
        desktop->moveWindow(reader.number, { 130, 70 });
        advance(0.1);
        expectRects(overlay->paragraphs(), shiftedAll(blocks, 30, 20));
        EXPECT_NEAR(overlay->subHighlightDelta().x, 30, 0.01);
        EXPECT_NEAR(overlay->subHighlightDelta().y, 20, 0.01);

        // A word measured where the text was at the start is drawn where it is now.
        const Rect measured(blocks[1].minX() + 20, blocks[1].minY() + 4, 60, blocks[1].height() - 8);
        overlay->setSubHighlight({ measured });
        RunLoop::runPending();
        const Rect word = shifted(measured, 30, 20);
        EXPECT_PRED3(near, colourAt(*render(), { word.minX() + 5, word.midY() }), over(paragraphMark, accent, wordAlpha), 2);
        overlay->detach();
    }
}

TEST_F(Overlay, DistrustsElementPositionsFarFromWhereTheyShouldBe)
{
    textReader();
    attach(blocks, textElements());
    overlay->setCurrent(0);
    RunLoop::runPending();

    // Scrolled by 150 points the first paragraph's element lies above the window by more than
    // 50 points: only the window's own move applies.
    desktop->setScroll(desktop->element("scroll"), { 0, 150 });
    desktop->moveWindow(reader.number, { 100, 60 });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(blocks, 0, 10));

    // Back in the window, the element agrees with its rectangle: nothing moves.
    overlay->setCurrent(2);
    desktop->setScroll(desktop->element("scroll"), { 0, 0 });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(blocks, 0, 10));

    // A content shift of more than 200 points is not believed either.
    overlay->updateParagraphRects(shiftedAll(blocks, 0, 270));
    desktop->moveWindow(reader.number, { 110, 60 });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(blocks, 10, 270));
}

TEST_F(Overlay, FollowsTheFirstCharacterOfAnElementSharedByEveryParagraph)
{
    const AXElement area = areaReader();
    const std::vector<Rect> lines = { *desktop->frameOf(area) };
    const Rect whole = lines.front();
    const double lineHeight = whole.height() / 3;
    blocks = { Rect(whole.minX(), whole.minY(), whole.width(), lineHeight),
               Rect(whole.minX(), whole.minY() + lineHeight, whole.width(), lineHeight),
               Rect(whole.minX(), whole.minY() + 2 * lineHeight, whole.width(), lineHeight) };
    attach(blocks, { area, area, area });
    overlay->setCurrent(1);
    RunLoop::runPending();

    desktop->setScroll(desktop->element("scroll"), { 0, 25 });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(blocks, 0, -25));

    // An answer as tall as the element is the element, not a character: only the window counts.
    desktop->setAttribute(area, "AXBoundsForRange", Rect(whole.minX(), whole.minY(), whole.width(), whole.height()));
    desktop->setScroll(desktop->element("scroll"), { 0, 0 });
    desktop->moveWindow(reader.number, { 100, 58 });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(blocks, 0, -17));
}

TEST_F(Overlay, FollowsTheAnchorCharacterOfASingleParagraph)
{
    const AXElement area = areaReader();
    const int anchor = 33; // "The second paragraph", in UTF-16 units of the area's text
    Rect start;
    {
        AXValue value;
        ASSERT_EQ(ax().copyParameterizedAttributeValue(area, "AXBoundsForRange", AXRange { anchor, 1 }, value), AXError::success);
        start = std::get<Rect>(value);
    }
    const Rect paragraph(start.minX(), start.minY(), 400, start.height());
    attach({ paragraph }, { area }, false, { anchor });
    EXPECT_TRUE(log.contains("[Overlay] anchored follow: loc=33 initY="));
    overlay->setCurrent(0);
    overlay->setSubHighlight({ Rect(paragraph.minX(), paragraph.minY(), 50, paragraph.height()) });
    RunLoop::runPending();

    desktop->setScroll(desktop->element("scroll"), { 0, 12 });
    advance(0.1);
    expectRects(overlay->paragraphs(), { shifted(paragraph, 0, -12) });

    desktop->setAttribute(area, "AXBoundsForRange", *desktop->frameOf(area));
    desktop->setScroll(desktop->element("scroll"), { 0, 0 });
    advance(0.1);
    expectRects(overlay->paragraphs(), { shifted(paragraph, 0, -12) });
}

TEST_F(Overlay, RecognisedTextFollowsTheWindowAndTheWheelOfTheReadApplication)
{
    blankReader();
    addApplication(800, "com.example.Other", Rect(800, 500, 300, 200), {}, false);
    attach(blocks, {}, true);
    EXPECT_TRUE(overlay->ocrMode());
    EXPECT_TRUE(log.contains("[Overlay] OCR 基准参照系: baseWindowOrigin=(100,50) baseParagraphs=3"));
    overlay->setCurrent(2);
    overlay->setSubHighlight({ Rect(160, 310, 60, 20) });
    RunLoop::runPending();

    ScrollWheelMonitor::deliver({ -1, false });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(blocks, 0, -40));
    ScrollWheelMonitor::deliver({ 15, true });
    desktop->moveWindow(reader.number, { 105, 50 });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(blocks, 5, -25));
    auto picture = render();
    EXPECT_PRED3(near, colourAt(*picture, { 170, 310 - 25 + 10 }), over(paragraphMark, accent, wordAlpha), 2);

    // The wheel over another application does not move this text.
    desktop->setFrontmost(800);
    ScrollWheelMonitor::deliver({ 3, false });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(blocks, 5, -25));

    overlay->detach();
    EXPECT_FALSE(overlay->ocrMode());
    ScrollWheelMonitor::deliver({ 3, false }); // no monitor left behind
}

TEST_F(Overlay, AParagraphWithoutAPlaceOnScreenIsMarkedNowhere)
{
    blankReader();
    // A recognised page whose first paragraph had scrolled out of the window before the reading
    // began: it has no frame, and its words no height.
    attach({ Rect(), blocks[1], blocks[2] }, {}, true);
    overlay->setCurrent(0);
    overlay->setSubHighlight({ Rect(160, 20, 60, 0) });
    RunLoop::runPending();
    Window* window = overlayWindow();
    ASSERT_TRUE(window);
    auto alone = host->renderWindow(*window);
    ASSERT_TRUE(alone);
    int marked = 0;
    for (int y = 0; y < alone->height; y += 2)
        for (int x = 0; x < alone->width; x += 2)
            marked += (alone->pixel(x, y) >> 24) != 0;
    EXPECT_EQ(marked, 0);

    overlay->setCurrent(1);
    RunLoop::runPending();
    EXPECT_PRED3(near, inside(*render(), blocks[1]), paragraphMark, 2);
}

TEST_F(Overlay, ANewAttachStartsFromTheWindowAsItIsNow)
{
    blankReader();
    attach(blocks);
    overlay->setCurrent(1);
    desktop->moveWindow(reader.number, { 130, 70 });
    advance(0.1);
    overlay->detach();

    // The window does not answer at first: its later position is taken as the start, not a move.
    desktop->setError(reader.window, "AXPosition", AXError::cannotComplete);
    attach(blocks);
    EXPECT_EQ(overlay->currentIndex(), -1);
    EXPECT_EQ(overlay->subHighlightDelta(), Point {});
    advance(0.3);
    desktop->clearError(reader.window, "AXPosition");
    advance(0.1);
    expectRects(overlay->paragraphs(), blocks);
    desktop->moveWindow(reader.number, { 140, 70 });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(blocks, 10, 0));

    // Words of the new reading are drawn where they were measured, less only this reading's move.
    overlay->setCurrent(0);
    overlay->setSubHighlight({ Rect(600, 380, 50, 20) });
    RunLoop::runPending();
    EXPECT_PRED3(near, screenColour({ 615, 390 }), wordMark, 2);
    EXPECT_EQ(screenColour({ 605, 390 }), white);
}

TEST_F(Overlay, ARecognisedPageReadAfterAReadingWhoseWindowMovedIsMarkedWhereItWasRecognised)
{
    // A recognised page is read while its window is dragged 30 right and 20 down.
    blankReader();
    attach(blocks, {}, true);
    overlay->setCurrent(1);
    desktop->moveWindow(reader.number, { 130, 70 });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(blocks, 30, 20));
    overlay->detach();

    // The next page is recognised where the window stands now. Nothing measures it again while
    // it is read, so any shift left over from the last reading would stay for its whole length.
    const std::vector<Rect> recognised = shiftedAll(blocks, 30, 20);
    attach(recognised, {}, true);
    EXPECT_TRUE(log.contains("[Overlay] OCR 基准参照系: baseWindowOrigin=(130,70) baseParagraphs=3"));
    overlay->setCurrent(2);
    overlay->setSubHighlight({ Rect(200, 330, 60, 20) });
    RunLoop::runPending();
    advance(1);
    expectRects(overlay->paragraphs(), recognised);
    EXPECT_EQ(overlay->subHighlightDelta(), Point {});
    auto picture = render();
    EXPECT_PRED3(near, colourAt(*picture, { 230, 340 }), over(paragraphMark, accent, wordAlpha), 2);
    EXPECT_PRED3(near, colourAt(*picture, { 270, 340 }), paragraphMark, 2);

    // Only this reading's own move shifts its marks.
    desktop->moveWindow(reader.number, { 140, 70 });
    advance(0.1);
    expectRects(overlay->paragraphs(), shiftedAll(recognised, 10, 0));
}

TEST_F(Overlay, ARecognisedPageReadAfterAReadingWhoseWordsWereMeasuredAgainIsMarkedWhereTheWindowShowsIt)
{
    // A recognised page is read while its window is dragged 30 right and 20 down, and the words
    // of the paragraph playing are measured again where the window stands.
    blankReader();
    attach(blocks, {}, true);
    overlay->setCurrent(1);
    desktop->moveWindow(reader.number, { 130, 70 });
    advance(0.1);
    overlay->setSubHighlightDelta(Point {});
    overlay->setSubHighlight({ Rect(200, 230, 60, 20) });
    RunLoop::runPending();
    EXPECT_PRED3(near, screenColour({ 230, 240 }), over(paragraphMark, accent, wordAlpha), 2);
    overlay->detach();

    // The next page is recognised where the window stands now: the move that the words of the
    // last reading were measured after is no part of this reading.
    const std::vector<Rect> recognised = shiftedAll(blocks, 30, 20);
    attach(recognised, {}, true);
    overlay->setCurrent(2);
    overlay->setSubHighlight({ Rect(200, 330, 60, 20) });
    RunLoop::runPending();
    for (const char* moment : { "at once", "a second later" }) {
        SCOPED_TRACE(moment);
        auto picture = render();
        EXPECT_PRED3(near, colourAt(*picture, { 230, 340 }), over(paragraphMark, accent, wordAlpha), 2);
        EXPECT_PRED3(near, colourAt(*picture, { 280, 340 }), paragraphMark, 2);
        advance(1);
    }
}

TEST_F(Overlay, HidingOrdersTheWindowOutAndShowingBringsItBack)
{
    blankReader();
    attach(blocks);
    overlay->setCurrent(0);
    overlay->setHidden(true);
    EXPECT_EQ(programWindows().size(), 1u); // queued, not yet done
    RunLoop::runPending();
    EXPECT_TRUE(programWindows().empty());
    EXPECT_EQ(inside(*render(), blocks[0]), white);
    overlay->setHidden(false);
    RunLoop::runPending();
    EXPECT_EQ(programWindows().size(), 1u);
    EXPECT_PRED3(near, inside(*render(), blocks[0]), paragraphMark, 2);
}

TEST_F(Overlay, QueuedWorkFindsAReleasedOverlayGone)
{
    blankReader();
    attach(blocks);
    overlay->setCurrent(1);
    overlay->setSubHighlight({ Rect(160, 210, 60, 20) });
    overlay->setHidden(false);
    overlay.reset();
    RunLoop::runPending();
    EXPECT_TRUE(programWindows().empty());
    advance(0.3);
}

class OverlayOnTwoScreens : public Overlay {
protected:
    std::vector<ScreenInfo> screens() const override
    {
        return { ScreenInfo { Rect(0, 0, 1440, 900), Rect(0, 0, 1440, 875), 1 },
                 ScreenInfo { Rect(1440, 100, 1280, 800), Rect(1440, 100, 1280, 800), 1 } };
    }
};

TEST_F(OverlayOnTwoScreens, CoversTheScreenOfTheFirstParagraphAndMarksItInPlace)
{
    // The second screen spans top-left y 0...800 beside the primary one.
    reader = addApplication(700, "com.example.Reader", Rect(1600, 100, 600, 400));
    blocks = { Rect(1640, 200, 400, 40), Rect(1640, 300, 400, 40) };
    attach(blocks);
    auto windows = programWindows();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0].kCGWindowBounds, Rect(1440, 0, 1280, 800));
    overlay->setCurrent(1);
    RunLoop::runPending();
    auto picture = SimRenderer::renderScreen(*desktop, 1);
    ASSERT_TRUE(picture);
    EXPECT_PRED3(near, colourAt(*picture, { 1700, 320 }), paragraphMark, 2);
    EXPECT_EQ(colourAt(*picture, { 1700, 220 }), white);
}

} // namespace
} // namespace lorvantine::panels
