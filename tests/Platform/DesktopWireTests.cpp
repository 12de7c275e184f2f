#include "Platform/Backends/DesktopFrame.h"
#include "Platform/Backends/DesktopWire.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

using Json = nlohmann::json;
namespace Wire = DesktopWire;

// What the other process reads: the message as CBOR bytes, decoded as a frame is.
Json throughTheWire(const Json& value)
{
    auto bytes = Json::to_cbor(Json { { "v", value } });
    auto read = DesktopFrame::decode(std::string(bytes.begin(), bytes.end()));
    EXPECT_EQ(read.kind, DesktopFrame::Read::Kind::message) << read.reason;
    return read.message["v"];
}

TEST(DesktopWireTest, EveryKindOfValueCrossesUnchanged)
{
    const AXValue values[] = {
        AXValue(std::monostate {}),
        AXValue(true),
        AXValue(int64_t(-7)),
        AXValue(int64_t(INT64_MAX)),
        AXValue(2.5),
        AXValue(std::string("héllo \xF0\x9F\x98\x80")),
        AXValue(AXURL { "https://example.com/a" }),
        AXValue(Point { 1.5, -2 }),
        AXValue(Size { 300, 40.25 }),
        AXValue(Rect(10, 20, 30, 40)),
        AXValue(AXRange { 3, 9 }),
        AXValue(AXElement { 501, 12345678901ull }),
        AXValue(std::vector<AXElement> { { 501, 0 }, { 0, 1 } }),
        AXValue(std::vector<std::string> { "AXRole", "" }),
        AXValue(AXAttributedString { "linked", { { { 0, 6 }, { { "AXLink", "https://x" } } } } }),
    };
    for (const AXValue& value : values) {
        auto back = Wire::readValue(throughTheWire(Wire::value(value)));
        ASSERT_TRUE(back) << value.index();
        EXPECT_EQ(*back, value) << value.index();
    }
}

TEST(DesktopWireTest, ValuesOfTheWrongShapeReadAsNone)
{
    const Json shapes[] = {
        Json(nullptr), Json::array(), Json::array({ 99 }), Json::array({ 1, "yes" }), Json::array({ 2, 1.5 }),
        Json::array({ 6, 1 }), Json::array({ 8, 1, 2, 3, "4" }), Json::array({ 10, Json::array({ 1 }) }),
        Json::array({ 10, Json::array({ 1, -1 }) }), Json::array({ 11, Json::array({ 5 }) }),
        Json::array({ 12, Json::array({ 1 }) }), Json::array({ 13, "s", Json::array({ Json::array({ 0, 1, "x" }) }) }),
        Json::array({ "1", true }), Json::array({ 0, 0 }),
    };
    for (const Json& shape : shapes)
        EXPECT_FALSE(Wire::readValue(throughTheWire(shape))) << shape.dump();
}

TEST(DesktopWireTest, RecordsKeepTheirMissingKeys)
{
    WindowInfo sparse;
    sparse.kCGWindowNumber = 8101;
    sparse.kCGWindowBounds = Rect(0, 25, 800, 600);
    WindowInfo full { 8201, 502, "TextEdit", "Notes", Rect(1, 2, 3, 4), 0, true, 0.5 };
    for (const WindowInfo& info : { WindowInfo {}, sparse, full })
        EXPECT_EQ(Wire::readWindowInfo(throughTheWire(Wire::windowInfo(info))), info);

    InputEvent click = InputEvent::mouse(EventSourceState::combinedSession, InputEventType::leftMouseDown, { 5, 6 });
    click.flags = EventFlags::maskShift | EventFlags::maskCommand;
    click.clickCount = 3;
    InputEvent typed = InputEvent::keyboard(std::nullopt, 0, true);
    typed.characters = "é";
    for (const InputEvent& event : { click, typed, InputEvent::keyboard(std::nullopt, 8, true),
                                     InputEvent::scrollWheel(EventSourceState::privateState, ScrollUnit::pixel, -40, 3) })
        EXPECT_EQ(Wire::readEvent(throughTheWire(Wire::event(event))), event);

    RunningApplication application { .pid = 502, .bundleIdentifier = "com.apple.TextEdit", .isActive = true };
    EXPECT_EQ(Wire::readApplication(throughTheWire(Wire::application(application))), application);
    ScreenInfo screen { Rect(0, 0, 1440, 900), Rect(0, 0, 1440, 875), 2 };
    EXPECT_EQ(Wire::readScreen(throughTheWire(Wire::screen(screen))), screen);
    PasteboardItem item { { { "public.png", std::string("\0\xff", 2) } } };
    EXPECT_EQ(Wire::readPasteboardItem(throughTheWire(Wire::pasteboardItem(item))), item);

    EXPECT_FALSE(Wire::readEvent(throughTheWire(Json { { "type", 42 } })));
    EXPECT_FALSE(Wire::readApplication(throughTheWire(Json { { "pid", "501" } })));
    EXPECT_FALSE(Wire::readPasteboardItem(throughTheWire(Json::array({ Json::array({ "t", "not bytes" }) }))));
}

} // namespace
} // namespace lorvantine

namespace lorvantine {
namespace {

TEST(DesktopWireTest, RecognitionCrossesUnchangedAndAMisplacedSegmentIsRefused)
{
    TextRecognitionRequest request { RecognitionLevel::fast, { "zh-Hans", "en" }, LanguageCorrection::off, 2 };
    auto read = DesktopWire::readRecognitionRequest(throughTheWire(DesktopWire::recognitionRequest(request)));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->recognitionLevel, RecognitionLevel::fast);
    EXPECT_EQ(read->recognitionLanguages, request.recognitionLanguages);
    EXPECT_EQ(read->usesLanguageCorrection, LanguageCorrection::off);
    EXPECT_EQ(read->pixelsPerPoint, 2);

    const std::vector<TextObservation> observations = {
        { Rect(0.1, 0.5, 0.8, 0.1), RecognizedText { "héllo world", 1.0, { { 0, 6, Rect(0.1, 0.5, 0.3, 0.1) }, { 7, 12, Rect(0.5, 0.5, 0.4, 0.1) } } } },
        { Rect(0, 0, 1, 1), std::nullopt },
    };
    EXPECT_EQ(DesktopWire::readObservations(throughTheWire(DesktopWire::observations(observations))), observations);
    const ErrorValue error { "DesktopTruthRecognizer", 2, "No text layout is known for this picture." };
    EXPECT_EQ(DesktopWire::readError(throughTheWire(DesktopWire::error(error))), error);

    // Bytes past the end of the line would be cut out of it by whoever reads the boxes.
    for (const Json& segment : { Json { { "begin", 0 }, { "end", 13 }, { "box", { 0, 0, 1, 1 } } },
                                 Json { { "begin", 4 }, { "end", 3 }, { "box", { 0, 0, 1, 1 } } },
                                 Json { { "begin", -1 }, { "end", 3 }, { "box", { 0, 0, 1, 1 } } },
                                 Json { { "begin", 0 }, { "end", 3 }, { "box", { 0, 0, 1 } } } }) {
        Json bad = DesktopWire::observations(observations);
        bad[0]["text"]["segments"][1] = segment;
        EXPECT_FALSE(DesktopWire::readObservations(throughTheWire(bad))) << segment.dump();
    }
    EXPECT_FALSE(DesktopWire::readRecognitionRequest(Json { { "level", "best" } }));
}

} // namespace
} // namespace lorvantine
