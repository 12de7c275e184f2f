#include "Core/SelectionGeometry.h"
#include "Core/SelectionOCRDispatcher.h"
#include "Core/SelectionReader.h"
#include "Core/SelectionWatcher.h"
#include "Documents/SelectionFormat.h"
#include "Selection/BlockedMainThreadClock.h"
#include "Selection/SelectionTest.h"
#include "SimDesktop/Model/SimGeometry.h"
#include "SimDesktop/Text/SimTextLayout.h"
#include "Platform/TextRecognitionPort.h"
#include "Support/Text.h"

#include <gmock/gmock.h>

namespace lorvantine::test {
namespace {

using ::testing::IsEmpty;

// Two screens of different heights: TextEdit on the primary one, Visual Studio Code in front on
// the taller one beside it. VS Code draws its text (no accessibility selection) but selects with
// the mouse and copies on Command+C; TextEdit's text area has a live selection.
class SelectionRoadTest : public SelectionTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        std::string error;
        auto loaded = SimDesktop::load(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/selection-two-screens.json", error);
        EXPECT_TRUE(loaded) << error;
        return loaded;
    }

    void SetUp() override
    {
        SelectionTest::SetUp();
        watcher = std::make_shared<SelectionWatcher>(&dispatcher);
        watcher->onSelection = [this](const std::string& text, const AXElement& element, AXRange range, std::optional<Rect> rect, Point) {
            // What the shell does with a tap on the bubble.
            SelectionReader::start(text, element, range, rect, *reader);
        };
        watcher->onOCRSelection = [this](const ArticleParagraph& paragraph, const AXElement&, const std::string& bundleID, Point mouse) {
            recognised.push_back({ paragraph, bundleID, mouse });
        };
        watcher->start();
        RunLoop::runPending();
        log.clear();
    }
    void TearDown() override
    {
        watcher.reset();
        SelectionTest::TearDown();
    }

    // Where Characters [location, location + length) of an element's text are drawn, from the
    // desktop's own layout (the drawn-text editor tells accessibility nothing).
    Rect drawn(const std::string& name, int64_t location, int64_t length)
    {
        const AXElement element = desktop->element(name);
        return desktop->withModel([&](SimModel& m) {
            SimNode* node = m.node(element);
            const Rect frame = *SimGeometry::frame(m, *node);
            const Rect local = *SimGeometry::layout(m, *node).boundsForRange({ location, length });
            return Rect(frame.minX() + local.minX(), frame.minY() + local.minY(), local.width(), local.height());
        });
    }
    std::string textOf(const std::string& name)
    {
        const AXElement element = desktop->element(name);
        return desktop->withModel([&](SimModel& m) { return *m.node(element)->text; });
    }

    void drag(Point from, Point to)
    {
        for (auto [type, at] : { std::pair { InputEventType::leftMouseDown, from }, std::pair { InputEventType::leftMouseDragged, to },
                                 std::pair { InputEventType::leftMouseUp, to } })
            Platform::windowServer().post(EventTap::hid, InputEvent::mouse(std::nullopt, type, at));
        RunLoop::runPending();
    }

    struct Recognised {
        ArticleParagraph paragraph;
        std::string bundleID;
        Point mouse;
    };
    SelectionOCRDispatcher dispatcher;
    std::shared_ptr<SelectionWatcher> watcher;
    std::vector<Recognised> recognised;
};

TEST_F(SelectionRoadTest, ADragInATextEditorReachesTheReader)
{
    const std::string text = textOf("two-screens-text");
    const int64_t start = static_cast<int64_t>(Text::utf16OffsetFromByteOffset(text, text.find("Read two chapters")));
    const Rect first = drawn("two-screens-text", start, 1);
    const Rect last = drawn("two-screens-text", start + 16, 1);
    drag({ first.minX() + 1, first.midY() }, { last.maxX() - 1, last.midY() });
    advance(SelectionWatcher::checkDelay);

    ASSERT_TRUE(reader->isReading()) << "the selection reached the reader";
    const ArticleParagraph& p = reader->paragraphs().front();
    EXPECT_EQ(p.text, "Read two chapters");
    EXPECT_EQ(p.role, "Selection");
    EXPECT_EQ(p.element, desktop->element("two-screens-text"));
    EXPECT_EQ(p.nativeCharOffset, start);
    EXPECT_FALSE(p.boundsDisabled);
    EXPECT_TRUE(log.contains("[SelectionWatcher] 🖱️ 选区: 17 字符(trim), raw=17 字符, range=(" + std::to_string(start) + ",17)"));
}

TEST_F(SelectionRoadTest, ADrawnTextEditorOnTheTallerScreenIsReadThroughRecognition)
{
    const std::string text = textOf("two-screens-editor");
    const std::string line = "The history book opens with the river towns and the trade that made them rich.";
    const int64_t start = static_cast<int64_t>(Text::utf16OffsetFromByteOffset(text, text.find(line)));
    const int64_t length = static_cast<int64_t>(Text::utf16Count(line));
    const Rect first = drawn("two-screens-editor", start, 1);
    const Rect last = drawn("two-screens-editor", start + length - 1, 1);
    const Point from { first.minX() + 1, first.midY() };
    const Point to { last.maxX() - 1, last.midY() };
    {
        BlockedMainThreadClock driver(clock);
        drag(from, to);
        advance(SelectionWatcher::checkDelay);
    }
    advance(0.1);
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    advance(0.1);

    // The box is the drag grown by 100 and 8 points, flipped with the primary screen's height
    // (the key window's screen is taller), cut to the window.
    const Rect window = *desktop->windowFrame(8606);
    const Rect box = Rect(std::min(from.x, to.x) - 100, std::min(from.y, to.y) - 8, std::fabs(to.x - from.x) + 200,
                          std::fabs(to.y - from.y) + 16)
                         .intersection(window);
    EXPECT_TRUE(log.contains("[SelectionOCR] ▶ 启动: bundle=com.microsoft.VSCode, bbox=" + SelectionFormat::rect(box)));
    EXPECT_THAT(log.linesContaining("📋"), ::testing::ElementsAre("[SelectionOCR] 📋 clipboard: 78 字符"));

    ASSERT_EQ(recognised.size(), 1u);
    const Recognised& r = recognised.front();
    EXPECT_EQ(r.bundleID, "com.microsoft.VSCode");
    EXPECT_EQ(r.mouse, (Point { to.x, 900 - to.y }));
    EXPECT_EQ(r.paragraph.text, line);
    ASSERT_TRUE(r.paragraph.ocrWordBboxes);
    const auto& entries = *r.paragraph.ocrWordBboxes;
    EXPECT_EQ(entries.size(), 15u);
    // Each entry's rectangle lies on its word as the desktop drew it.
    for (const OCRWordEntry& e : entries) {
        const int64_t wordStart = start + static_cast<int64_t>(Text::utf16OffsetFromCharacterOffset(line, static_cast<size_t>(e.charStart)));
        const Rect word = drawn("two-screens-editor", wordStart, static_cast<int64_t>(Text::utf16Count(e.text)));
        EXPECT_TRUE(word.contains({ e.screenRect.midX(), e.screenRect.midY() })) << e.text;
        EXPECT_LT(std::fabs(e.screenRect.width() - word.width()), word.width() * 0.35 + 2) << e.text;
    }
    EXPECT_FALSE(dispatcher.isRunning());
}

TEST_F(SelectionRoadTest, EveryRefusalOfTheRecognitionRoadIsOneLine)
{
    auto lines = [&] {
        auto all = log.linesContaining("[SelectionOCR]");
        log.clear();
        return all;
    };
    SelectionGeometry& geometry = SelectionGeometry::shared();
    auto gesture = [&](Point downTopLeft, Point upTopLeft, int64_t clicks) {
        geometry.lastMouseDown = Point { downTopLeft.x, 900 - downTopLeft.y };
        geometry.lastMouseUp = Point { upTopLeft.x, 900 - upTopLeft.y };
        geometry.lastClickCount = clicks;
    };
    BlockedMainThreadClock driver(clock);

    gesture({ 1600, 100 }, { 1602, 100 }, 1);
    dispatcher.dispatch("com.microsoft.VSCode", {});
    EXPECT_THAT(lines(), ::testing::ElementsAre("[SelectionOCR] 无 mouseDown/mouseUp 记录或拖动过短，跳过"));

    gesture({ 1600, 100 }, { 1800, 100 }, 1);
    dispatcher.dispatch("com.apple.TextEdit", {});
    EXPECT_THAT(lines(), ::testing::ElementsAre("[SelectionOCR] 前台 App 已变，跳过"));

    // A box beside the window, on the primary screen.
    gesture({ 300, 100 }, { 500, 100 }, 1);
    dispatcher.dispatch("com.microsoft.VSCode", {});
    EXPECT_THAT(lines(), ::testing::ElementsAre("[SelectionOCR] 选区 bbox 与窗口无交集，跳过"));

    // Nothing selected in the editor: the copy gives nothing.
    gesture({ 1600, 300 }, { 1800, 300 }, 1);
    dispatcher.dispatch("com.microsoft.VSCode", {});
    EXPECT_THAT(lines(), ::testing::Contains("[SelectionOCR] ⚠️ clipboard 为空，App 不响应 ⌘C，跳过（不显示朗读按钮）"));

    // A selection over a part of the window where nothing is drawn: recognition finds nothing.
    const AXElement editor = desktop->element("two-screens-editor");
    auto select = [&](AXRange range) { desktop->withModel([&](SimModel& m) { m.node(editor)->selection = range; }); };
    select({ 0, 9 }); // "# Summary"
    gesture({ 1600, 450 }, { 2400, 450 }, 1);
    dispatcher.dispatch("com.microsoft.VSCode", {});
    EXPECT_TRUE(dispatcher.isRunning());
    dispatcher.dispatch("com.microsoft.VSCode", {});
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    auto found = lines();
    EXPECT_THAT(found, ::testing::Contains("[SelectionOCR] 📋 clipboard: 9 字符"));
    EXPECT_THAT(found, ::testing::Contains("[SelectionOCR] 已有任务在跑，忽略"));
    EXPECT_THAT(found, ::testing::Contains("[SelectionOCR] ⚠️ OCR 无结果"));

    // A copy of words that are not where the box is: nothing aligns.
    const Rect heading = drawn("two-screens-editor", 0, 9);
    const std::string text = textOf("two-screens-editor");
    const int64_t second = static_cast<int64_t>(Text::utf16OffsetFromByteOffset(text, text.find("The second")));
    select({ second, 10 });
    gesture({ heading.minX(), heading.midY() }, { heading.maxX(), heading.midY() }, 1);
    dispatcher.dispatch("com.microsoft.VSCode", {});
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_THAT(lines(), ::testing::Contains("[SelectionOCR] 段落构建失败 → 不显示朗读按钮"));

    // One character that matches a drawn word is too short to offer.
    desktop->setText(editor, "A quiet day");
    select({ 0, 1 });
    const Rect quiet = drawn("two-screens-editor", 0, 11);
    gesture({ quiet.minX(), quiet.midY() }, { quiet.maxX(), quiet.midY() }, 1);
    dispatcher.dispatch("com.microsoft.VSCode", {});
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    found = lines();
    EXPECT_THAT(found, ::testing::Contains("[SelectionOCR] 📋 clipboard: 1 字符"));
    EXPECT_THAT(found, ::testing::Contains("[SelectionOCR] 文本过短 (1 字符)，忽略"));

    // The front application has no window.
    desktop->closeWindow(8606);
    RunLoop::runPending();
    dispatcher.dispatch("com.microsoft.VSCode", {});
    EXPECT_THAT(lines(), ::testing::ElementsAre("[SelectionOCR] ❌ 找不到 com.microsoft.VSCode 的窗口"));
    EXPECT_THAT(recognised, IsEmpty());
}

} // namespace
} // namespace lorvantine::test

namespace lorvantine::test {
namespace {

// Recognition that waits until the test lets it go, as a capture that hangs would. The wait is
// on a dispatch semaphore, so the machinery counts the thread as idle and time can move on.
class HeldRecognizer final : public TextRecognitionPort {
public:
    explicit HeldRecognizer(std::shared_ptr<TextRecognitionPort> inner) : m_inner(std::move(inner)) { }
    Expected<std::vector<TextObservation>, ErrorValue> recognize(const Image& image, const TextRecognitionRequest& request) override
    {
        m_gate.wait();
        return m_inner->recognize(image, request);
    }
    void release() { m_gate.signal(); }

private:
    std::shared_ptr<TextRecognitionPort> m_inner;
    Semaphore m_gate { 0 };
};

class HeldRecognitionTest : public SelectionRoadTest {
protected:
    void SetUp() override
    {
        SelectionRoadTest::SetUp();
        PlatformServices services = Platform::current();
        recognizer = std::make_shared<HeldRecognizer>(services.textRecognizer);
        services.textRecognizer = recognizer;
        m_scoped.emplace(services);
        // "The history book opens ..." selected, and a drag over it.
        const std::string text = textOf("two-screens-editor");
        const std::string line = "The history book";
        const int64_t start = static_cast<int64_t>(Text::utf16OffsetFromByteOffset(text, text.find(line)));
        const AXElement editor = desktop->element("two-screens-editor");
        desktop->withModel([&](SimModel& m) { m.node(editor)->selection = { start, 16 }; });
        const Rect words = drawn("two-screens-editor", start, 16);
        SelectionGeometry::shared().lastMouseDown = Point { words.minX(), 900 - words.midY() };
        SelectionGeometry::shared().lastMouseUp = Point { words.maxX(), 900 - words.midY() };
        dispatcher.onOCRSelection = [this](const ArticleParagraph& paragraph, const AXElement&, const std::string& bundleID, Point mouse) {
            recognised.push_back({ paragraph, bundleID, mouse });
        };
    }
    void TearDown() override
    {
        for (int i = 0; i < 4; ++i)
            recognizer->release();
        Dispatch::waitUntilIdle();
        m_scoped.reset();
        SelectionRoadTest::TearDown();
    }
    void dispatch()
    {
        BlockedMainThreadClock driver(clock);
        dispatcher.dispatch("com.microsoft.VSCode", { 1, 2 });
    }

    std::shared_ptr<HeldRecognizer> recognizer;

private:
    std::optional<Platform::ScopedServices> m_scoped;
};

TEST_F(HeldRecognitionTest, ARecognitionThatNeverReturnsTimesOutAndItsLateResultIsDropped)
{
    dispatch();
    ASSERT_TRUE(dispatcher.isRunning());
    advance(9.9);
    EXPECT_TRUE(dispatcher.isRunning());
    advance(0.1);
    EXPECT_FALSE(dispatcher.isRunning());
    EXPECT_TRUE(log.contains("[SelectionOCR] ⚠️ 识别超时 (10s)，放弃"));

    // The road is free again; then the late result comes and is dropped.
    dispatch();
    EXPECT_TRUE(dispatcher.isRunning());
    EXPECT_FALSE(log.contains("已有任务在跑"));
    recognizer->release();
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    recognizer->release();
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(log.linesContaining("结果已过期").size(), 1u);
    ASSERT_EQ(recognised.size(), 1u) << "the second attempt is delivered";
    EXPECT_EQ(recognised.front().paragraph.text, "The history book");
    EXPECT_EQ(recognised.front().mouse, (Point { 1, 2 }));
}

TEST_F(HeldRecognitionTest, ANewGestureOrADismissalDropsTheResultInFlight)
{
    dispatch();
    watcher->start(); // the watcher shares this dispatcher: a press cancels what is in flight
    Platform::windowServer().post(EventTap::hid, InputEvent::mouse(std::nullopt, InputEventType::leftMouseDown, { 1700, 0 }));
    RunLoop::runPending();
    EXPECT_FALSE(dispatcher.isRunning());
    recognizer->release();
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_THAT(recognised, IsEmpty());
    EXPECT_TRUE(log.contains("[SelectionOCR] 结果已过期（选区已取消或超时），丢弃"));
}

TEST_F(HeldRecognitionTest, AResultForAnApplicationNoLongerInFrontIsDropped)
{
    watcher->stop();
    dispatch();
    desktop->setFrontmost(615);
    RunLoop::runPending();
    recognizer->release();
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_THAT(recognised, IsEmpty());
    EXPECT_TRUE(log.contains("[SelectionOCR] 前台 App 已变，丢弃结果"));
}

} // namespace
} // namespace lorvantine::test
