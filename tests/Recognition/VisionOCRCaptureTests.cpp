#include "Documents/VisionOCR.h"
#include "Recognition/OCRTestDesktop.h"
#include "Recognition/RecognitionMatchers.h"
#include "Recognition/ScriptedRecognizer.h"
#include "Support/Log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>

namespace lorvantine::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

bool fileExists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

class VisionOCRCapture : public ::testing::Test {
protected:
    OCRTestDesktop desktop;
    Log::Capture log;
    const Rect window{0, 0, 1280, 576};
    const Rect content{0, 64, 1280, 512};
};

TEST_F(VisionOCRCapture, ReadsTheContentRectangleIntoScreenPoints)
{
    AXElement element = desktop.addWindow(42, 7, window);
    // "title" lies above the content rectangle and is not read.
    desktop.setText(7, {{word("title", 100, 20)}, {word("Hello", 100, 100), word("world", 170, 100)}, {word("again", 100, 130)}});

    auto words = VisionOCR::recognizeWords(content, element);

    ASSERT_TRUE(words);
    EXPECT_THAT(*words, ElementsAre(word("Hello", 100, 100), word("world", 170, 100), word("again", 100, 130)));
    EXPECT_TRUE(log.contains("[VisionOCR] recognizeWords: 3 words in "));
    EXPECT_THAT(log.lines().back(), ::testing::EndsWith("ms"));
}

TEST_F(VisionOCRCapture, OfTwoSameSizeWindowsTheOneWithTheElementsFrameIsRead)
{
    desktop.addWindow(42, 7, window);
    AXElement second = desktop.addWindow(42, 8, Rect(300, 40, 1280, 576));
    desktop.setText(7, {{word("first", 100, 100)}});
    desktop.setText(8, {{word("second", 400, 140)}});

    auto words = VisionOCR::recognizeWords(Rect(300, 104, 1280, 512), second);

    ASSERT_TRUE(words);
    EXPECT_THAT(textsOf(*words), ElementsAre("second"));
    EXPECT_EQ(desktop.capture().calls().at(0).windowNumber, 8u);
}

TEST_F(VisionOCRCapture, WithoutAnExactFrameTheFirstWindowOfTheProcessWithinFivePointsIsRead)
{
    AXElement element{42, 5000};
    desktop.accessibility().set(element, AXName::position, Point{0, 0});
    desktop.accessibility().set(element, AXName::size, Size{1280, 576});
    desktop.windowList().add({.kCGWindowNumber = 3, .kCGWindowOwnerPID = 41, .kCGWindowBounds = Rect(0, 0, 1280, 576)});
    desktop.windowList().add({.kCGWindowNumber = 4, .kCGWindowOwnerPID = 42}); // no bounds: skipped
    desktop.windowList().add({.kCGWindowNumber = 5, .kCGWindowOwnerPID = 42, .kCGWindowBounds = Rect(0, 0, 1285, 576)});
    desktop.addWindow(42, 9, Rect(60, 30, 1284.9, 571.1));
    desktop.addWindow(42, 10, Rect(90, 90, 1280, 576));
    desktop.setText(9, {{word("nine", 160, 130)}});
    desktop.setText(10, {{word("ten", 190, 190)}});

    ASSERT_TRUE(VisionOCR::recognizeWords(content, element));
    EXPECT_EQ(desktop.capture().calls().at(0).windowNumber, 9u);
}

TEST_F(VisionOCRCapture, AWindowOfAnotherSizeOrNumberedZeroIsNotRead)
{
    AXElement element{42, 5000};
    desktop.accessibility().set(element, AXName::position, Point{0, 0});
    desktop.accessibility().set(element, AXName::size, Size{1280, 576});
    desktop.windowList().add({.kCGWindowNumber = 5, .kCGWindowOwnerPID = 42, .kCGWindowBounds = Rect(0, 0, 1280, 581)});
    desktop.windowList().add({.kCGWindowNumber = 0, .kCGWindowOwnerPID = 42, .kCGWindowBounds = Rect(9, 9, 1280, 576)});

    EXPECT_FALSE(VisionOCR::recognizeWords(content, element));
    EXPECT_THAT(log.lines(), ElementsAre("[VisionOCR] ❌ 找不到窗口 (pid=42)", "[VisionOCR] 截屏失败"));
    EXPECT_THAT(desktop.capture().calls(), IsEmpty());
}

// Retina pictures, content cut by the window's edge and fractional rectangles: the words come
// back where they are on screen, in points.
TEST_F(VisionOCRCapture, WordsAreMappedBackToScreenPointsFromThePixelsActuallyRead)
{
    struct Case {
        Rect frame;
        double scale;
        std::vector<RecognizedWord> words;
        Rect content;
    };
    const Case cases[] = {
        {Rect(200, 100, 800, 600), 2, {word("sharp", 260, 240, 75.5, 18.25), word("text", 350, 240)}, Rect(220, 180, 700, 400)},
        {window, 1, {word("near", 100, 100), word("bottom", 300, 540)}, Rect(-200, 64, 1680, 1024)},
        {Rect(10, 20, 640, 480), 2, {word("edge", 100.25, 80.5, 40, 15), word("inside", 200, 200)}, Rect(100.1, 80.3, 300.2, 200.7)},
    };
    uint32_t number = 10;
    for (const Case& c : cases) {
        AXElement element = desktop.addWindow(42, ++number, c.frame, c.scale);
        desktop.setText(number, {{c.words[0]}, {c.words[1]}});
        auto words = VisionOCR::recognizeWords(c.content, element);
        ASSERT_TRUE(words) << number;
        EXPECT_THAT(*words, ElementsAre(WordNear(c.words[0]), WordNear(c.words[1]))) << number;
    }
}

TEST_F(VisionOCRCapture, ContentOutsideTheWindowGivesNothing)
{
    AXElement element = desktop.addWindow(42, 7, window);
    desktop.setText(7, {{word("text", 100, 100)}});

    EXPECT_FALSE(VisionOCR::recognizeWords(Rect(1300, 64, 400, 300), element));
    EXPECT_FALSE(VisionOCR::recognizeWords(Rect(100, 100, 0, 300), element));
    EXPECT_THAT(log.lines(), ElementsAre("[VisionOCR] ❌ 内容区域不在窗口截图内", "[VisionOCR] 截屏失败",
                                         "[VisionOCR] ❌ 内容区域不在窗口截图内", "[VisionOCR] 截屏失败"));
}

TEST_F(VisionOCRCapture, EachCaptureGoesToAPrivateFileThatIsRemovedAfterwards)
{
    AXElement element = desktop.addWindow(42, 7, window);
    desktop.setText(7, {{word("text", 100, 100)}});

    ASSERT_TRUE(VisionOCR::recognizeWords(content, element));
    ASSERT_TRUE(VisionOCR::recognizeWords(content, element));
    desktop.capture().setMode(FakeWindowCapture::Mode::writesGarbage);
    ASSERT_FALSE(VisionOCR::recognizeWords(content, element));

    auto calls = desktop.capture().calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_NE(calls[0].path, calls[1].path);
    for (const auto& call : calls) {
        EXPECT_NE(call.path, "/tmp/lorvantine-capture.png");
        EXPECT_TRUE(S_ISREG(call.mode)) << call.path;
        EXPECT_EQ(call.mode & 0777, 0600u) << call.path;
        EXPECT_FALSE(fileExists(call.path)) << call.path;
    }
}

TEST_F(VisionOCRCapture, ConcurrentCapturesEachReadTheirOwnWindow)
{
    AXElement left = desktop.addWindow(42, 7, window);
    AXElement right = desktop.addWindow(43, 8, window);
    desktop.setText(7, {{word("left", 100, 100)}});
    desktop.setText(8, {{word("right", 100, 100)}});
    desktop.capture().meetConcurrentCaptures(2);

    std::optional<std::vector<RecognizedWord>> leftWords, rightWords;
    std::thread other([&] { rightWords = VisionOCR::recognizeWords(content, right); });
    leftWords = VisionOCR::recognizeWords(content, left);
    other.join();

    ASSERT_TRUE(leftWords && rightWords);
    EXPECT_THAT(textsOf(*leftWords), ElementsAre("left"));
    EXPECT_THAT(textsOf(*rightWords), ElementsAre("right"));
    auto calls = desktop.capture().calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_NE(calls[0].path, calls[1].path);
}

// Every way the capture can fail writes its line, then "截屏失败", and gives nothing.
TEST_F(VisionOCRCapture, FailuresOfTheCaptureAreLoggedAndGiveNothing)
{
    AXElement element = desktop.addWindow(42, 7, window);
    desktop.setText(7, {{word("text", 100, 100)}});
    auto expectFailure = [&](const std::optional<AXElement>& target, std::vector<std::string> lines) {
        log.clear();
        EXPECT_FALSE(VisionOCR::recognizeWords(content, target));
        lines.push_back("[VisionOCR] 截屏失败");
        EXPECT_EQ(log.lines(), lines);
    };

    expectFailure(std::nullopt, {"[VisionOCR] ❌ 未提供 windowElement"});
    expectFailure(AXElement{0, 1007}, {"[VisionOCR] ❌ 无法获取窗口信息"});

    AXElement sizeless{42, 6000};
    desktop.accessibility().set(sizeless, AXName::position, Point{0, 0});
    expectFailure(sizeless, {"[VisionOCR] ❌ 无法获取窗口信息"});
    desktop.accessibility().set(sizeless, AXName::size, Size{0, 576});
    expectFailure(sizeless, {"[VisionOCR] ❌ 无法获取窗口信息"});

    desktop.capture().setMode(FakeWindowCapture::Mode::cannotStart);
    expectFailure(element, {});
    desktop.capture().setMode(FakeWindowCapture::Mode::writesGarbage);
    expectFailure(element, {"[VisionOCR] ❌ 无法加载截图"});
    desktop.capture().setMode(FakeWindowCapture::Mode::normal);
    desktop.capture().setExitStatus(1);
    expectFailure(element, {"[VisionOCR] screencapture 退出码: 1"});

    desktop.windowList().setWindows(std::nullopt);
    expectFailure(element, {});
}

TEST_F(VisionOCRCapture, APictureWithoutTextOrAFailingRecognizerIsLoggedAndGivesNothing)
{
    AXElement element = desktop.addWindow(42, 7, window);
    EXPECT_FALSE(VisionOCR::recognizeWords(content, element));
    EXPECT_THAT(log.lines(), ElementsAre("[VisionOCR] 未识别到文字"));

    log.clear();
    desktop.useRecognizer(std::make_shared<ScriptedRecognizer>(ErrorValue{"Vision", 9, "the model could not be loaded"}));
    EXPECT_FALSE(VisionOCR::recognizeWords(content, element));
    EXPECT_THAT(log.lines(), ElementsAre("[VisionOCR] OCR 执行失败: the model could not be loaded"));
}

TEST_F(VisionOCRCapture, AskForAccurateRecognitionWithCorrectionInTheCallersLanguages)
{
    AXElement element = desktop.addWindow(42, 7, window);
    auto recognizer = std::make_shared<ScriptedRecognizer>(std::vector<TextObservation>{});
    desktop.useRecognizer(recognizer);

    VisionOCR::recognizeWords(content, element);
    EXPECT_EQ(recognizer->lastRequest.recognitionLevel, RecognitionLevel::accurate);
    EXPECT_EQ(recognizer->lastRequest.usesLanguageCorrection, LanguageCorrection::on);
    EXPECT_THAT(recognizer->lastRequest.recognitionLanguages, ElementsAre("en", "zh-Hans", "zh-Hant"));

    VisionOCR::recognizeWords(content, element, std::vector<std::string>{"zh-Hans", "zh-Hant", "en"});
    EXPECT_THAT(recognizer->lastRequest.recognitionLanguages, ElementsAre("zh-Hans", "zh-Hant", "en"));
}

TEST_F(VisionOCRCapture, TheEngineIsToldHowManyPixelsMakeAPoint)
{
    auto recognizer = std::make_shared<ScriptedRecognizer>(std::vector<TextObservation>{});
    desktop.useRecognizer(recognizer);
    for (int scale = 1; scale <= 3; ++scale) {
        AXElement element = desktop.addWindow(40 + scale, 10 + static_cast<uint32_t>(scale), window, scale);
        VisionOCR::recognizeWords(content, element);
        EXPECT_DOUBLE_EQ(recognizer->lastRequest.pixelsPerPoint, scale);
    }
}

// How a line's string becomes words: runs of non-white-space, each with the box of its range.
TEST_F(VisionOCRCapture, LinesAreCutIntoWordsAtWhiteSpace)
{
    AXElement element = desktop.addWindow(42, 7, window);
    RecognizedText twoSpaces{"alpha  beta", 0.9, {{0, 5, Rect(0.25, 0.5, 0.125, 0.0625)}, {7, 11, Rect(0.5, 0.5, 0.125, 0.0625)}}};
    RecognizedText unplaced{"ghost", 0.9, {}};
    desktop.useRecognizer(std::make_shared<ScriptedRecognizer>(std::vector<TextObservation>{
        {Rect(), twoSpaces}, {Rect(), std::nullopt}, {Rect(), unplaced}}));

    auto words = VisionOCR::recognizeWords(content, element);

    ASSERT_TRUE(words);
    EXPECT_THAT(*words, ElementsAre(word("alpha", 320, 288, 160, 32), word("beta", 640, 288, 160, 32)));

    // A line of only white space gives nothing, without a message.
    log.clear();
    RecognizedText blank{" \t ", 0.5, {{0, 3, Rect(0, 0, 1, 1)}}};
    desktop.useRecognizer(std::make_shared<ScriptedRecognizer>(std::vector<TextObservation>{{Rect(), blank}}));
    EXPECT_FALSE(VisionOCR::recognizeWords(content, element));
    EXPECT_THAT(log.lines(), IsEmpty());
}

} // namespace
} // namespace lorvantine::testing
