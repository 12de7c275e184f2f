#include "PixelsTestSupport.h"

#include "Documents/VisionOCR.h"
#include "Platform/Backends/TesseractRecognizer.h"
#include "Platform/Services.h"
#include "Platform/TextRecognitionPort.h"
#include "Platform/WindowCapturePort.h"
#include "SimDesktop/Model/SimFixtureLoader.h"
#include "Support/Log.h"
#include "TestSupport/ScopedEnvironment.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace lorvantine::testing {
namespace {

namespace fs = std::filesystem;

SimElement article()
{
    SimElement column("AXGroup");
    column.frame(Rect(30, 50, 540, 320)).named("column");
    column.spacing = 14;
    column.child(SimElement("AXStaticText", "Reading aloud slows the eye down.").named("first").fontSize(22));
    column.child(SimElement("AXStaticText", "Every word gets its moment.").named("second").fontSize(22));
    return column;
}

TEST(WindowCapture, WritesOnlyTheWindowsPixelsAtTheBackingScale)
{
    SimFixture f = readerFixture({ article() });
    SimApplication other = application(800, "com.example.Other", "Other", true);
    other.windows.push_back(window(43, "Cover", Rect(300, 100, 500, 300)));
    other.windows.back().background = 0xFF0000FF;
    f.applications.push_back(other);
    f.applications[0].active = false;
    auto desktop = SimDesktop::create(f);
    PlatformServices ports = desktop->services();
    test::ScratchDirectory folder;
    const std::string path = (folder / "capture.png").string();

    auto status = ports.windowCapture->captureWindow(42, path);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 0);
    auto picture = Image::loadPNG(path);
    ASSERT_TRUE(picture) << picture.error().message;
    EXPECT_EQ(picture->width, 1200);
    EXPECT_EQ(picture->height, 800);

    // The window in front on screen is not in the capture: the window's own text is.
    SimRenderer::Picture loaded { *picture, Rect(100, 50, 600, 400), 2, {} };
    const Rect first = desktop->frameOf(desktop->element("first")).value();
    ASSERT_GT(first.maxX(), 300);
    EXPECT_GT(darkPixels(loaded, first), 50);
    EXPECT_EQ(countPixels(loaded, Rect(100, 50, 600, 400), [](const Rgb& c) { return c.b > 200 && c.r < 50; }), 0);
    EXPECT_EQ(picture->pixel(0, 0) >> 24, 0u) << "outside the rounded corner is clear";
    EXPECT_EQ(picture->pixel(600, 400) >> 24, 0xFFu);

    // What was written is what the renderer draws.
    auto rendered = SimRenderer::renderWindow(*desktop, 42);
    ASSERT_TRUE(rendered);
    EXPECT_EQ(picture->digest(), rendered->image.digest());
}

TEST(WindowCapture, FollowsTheScaleOfTheScreenTheWindowIsOn)
{
    SimFixture f = readerFixture({}, 1);
    f.screens.push_back(ScreenInfo { Rect(1440, 0, 1280, 800), Rect(1440, 0, 1280, 775), 2 });
    f.applications[0].windows.push_back(window(44, "Far", Rect(1600, 200, 300, 200)));
    auto desktop = SimDesktop::create(f);
    PlatformServices ports = desktop->services();
    test::ScratchDirectory folder;

    ASSERT_EQ(ports.windowCapture->captureWindow(42, (folder / "a.png").string()).value(), 0);
    ASSERT_EQ(ports.windowCapture->captureWindow(44, (folder / "b.png").string()).value(), 0);
    EXPECT_EQ(Image::loadPNG((folder / "a.png").string())->width, 600);
    auto far = Image::loadPNG((folder / "b.png").string());
    EXPECT_EQ(far->width, 600);
    EXPECT_EQ(far->height, 400);
}

TEST(WindowCapture, AnswersWithTheToolsExitStatusWhenThereIsNothingToCapture)
{
    auto desktop = SimDesktop::create(readerFixture({ article() }));
    PlatformServices ports = desktop->services();
    test::ScratchDirectory folder;
    const std::string path = (folder / "capture.png").string();

    EXPECT_EQ(ports.windowCapture->captureWindow(4242, path).value(), 1);
    EXPECT_FALSE(fs::exists(path));
    desktop->minimizeWindow(42);
    EXPECT_EQ(ports.windowCapture->captureWindow(42, path).value(), 1);
    desktop->minimizeWindow(42, false);
    EXPECT_EQ(ports.windowCapture->captureWindow(42, (folder / "missing/capture.png").string()).value(), 1);
    EXPECT_EQ(ports.windowCapture->captureWindow(42, path).value(), 0);

    desktop->setCaptureTool(SimCaptureTool::cannotStart);
    auto launch = ports.windowCapture->captureWindow(42, path);
    ASSERT_FALSE(launch);
    EXPECT_NE(launch.error().reason.find("screencapture"), std::string::npos);

    auto fixture = SimFixtureLoader::parse(R"({ "captureTool": "cannotStart" })", "f.json");
    ASSERT_TRUE(fixture);
    EXPECT_FALSE(SimDesktop::create(*fixture)->services().windowCapture->captureWindow(1, path));
}

TEST(WindowCapture, CapturesFromSeveralThreadsAtOnceGiveTheSamePicture)
{
    auto desktop = SimDesktop::create(readerFixture({ article() }));
    auto capture = desktop->services().windowCapture;
    test::ScratchDirectory folder;
    std::vector<std::thread> threads;
    std::vector<int> statuses(8, -1);
    for (size_t i = 0; i < statuses.size(); ++i)
        threads.emplace_back([&, i] { statuses[i] = capture->captureWindow(42, (folder / (std::to_string(i) + ".png")).string()).value(); });
    for (auto& t : threads)
        t.join();
    const uint64_t first = Image::loadPNG((folder / "0.png").string())->digest();
    for (size_t i = 0; i < statuses.size(); ++i) {
        EXPECT_EQ(statuses[i], 0);
        EXPECT_EQ(Image::loadPNG((folder / (std::to_string(i) + ".png")).string())->digest(), first);
    }
}

TEST(WindowCapture, ReplacesWhatIsAtThePathWithoutFollowingALink)
{
    auto desktop = SimDesktop::create(readerFixture({ article() }));
    PlatformServices ports = desktop->services();
    test::ScratchDirectory folder;
    const std::string target = (folder / "elsewhere.txt").string();
    test::writeFile(target, "keep me");
    const std::string path = (folder / "capture.png").string();
    fs::create_symlink(target, path);

    ASSERT_EQ(ports.windowCapture->captureWindow(42, path).value(), 0);
    EXPECT_FALSE(fs::is_symlink(path));
    EXPECT_TRUE(Image::loadPNG(path));
    EXPECT_EQ(test::readFile(target), "keep me");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 2) << "no temporary left";
}

TEST(DesktopTruth, VisionOCRReadsTheWordsOfAnImageOnlyPageAtTheirScreenPlaces)
{
    SimElement page("AXGroup");
    page.frame(Rect(40, 60, 500, 300)).named("page");
    page.imageOnly = true;
    page.child(SimElement("AXStaticText", "Pages drawn as pictures still read.").named("line").fontSize(20));
    auto desktop = SimDesktop::create(readerFixture({ page }));
    Platform::ScopedServices scoped(desktop->services());
    Log::Capture log;

    auto words = VisionOCR::recognizeWords(Rect(140, 110, 500, 300), desktop->windowElement(42));
    ASSERT_TRUE(words);
    std::vector<std::string> texts;
    for (const auto& w : *words)
        texts.push_back(w.text);
    EXPECT_EQ(texts, (std::vector<std::string> { "Pages", "drawn", "as", "pictures", "still", "read." }));
    const Rect drawn = desktop->frameOf(desktop->element("line")).value();
    EXPECT_NEAR(words->front().screenRect.minX(), drawn.minX(), 1e-6);
    EXPECT_NEAR(words->front().screenRect.minY(), drawn.minY(), 1e-6);
}

TEST(DesktopTruth, FixtureNoiseAndTheRecognizerChoiceReachTheServices)
{
    auto fixture = SimFixtureLoader::parse(R"({
      "recognitionNoise": { "typoRate": 1, "seed": 3 },
      "applications": [{ "pid": 700, "name": "Reader", "active": true, "windows": [{ "number": 42, "title": "",
        "frame": [100, 50, 600, 400], "subrole": "AXUnknown",
        "children": [{ "role": "AXStaticText", "frame": [20, 20, 500], "text": "exact words" }] }] }]
    })",
                                           "noise.json");
    ASSERT_TRUE(fixture) << fixture.error();
    auto desktop = SimDesktop::create(*fixture);
    auto picture = SimRenderer::renderWindow(*desktop, 42);
    ASSERT_TRUE(picture);
    ASSERT_EQ(lineTexts(picture->lines), (std::vector<std::string> { "exact words" }));
    auto observations = desktop->services().textRecognizer->recognize(picture->image, {});
    ASSERT_TRUE(observations);
    ASSERT_EQ(observations->size(), 1u);
    EXPECT_NE(observations->front().topCandidate->string, "exact words");
    EXPECT_EQ(observations->front().topCandidate->string.size(), std::string("exact words").size());
    // A picture the desktop never drew is unknown to it.
    EXPECT_FALSE(desktop->services().textRecognizer->recognize(Image::filled(40, 40, 0xFFFFFFFF), {}));

    {
        test::ScopedEnvironment choice("LORVANTINE_RECOGNIZER", "tesseract");
        EXPECT_TRUE(std::dynamic_pointer_cast<TesseractRecognizer>(desktop->services().textRecognizer));
    }
    {
        test::ScopedEnvironment choice("LORVANTINE_RECOGNIZER", "vision");
        Log::Capture log;
        EXPECT_TRUE(std::dynamic_pointer_cast<DesktopTruthRecognizer>(desktop->services().textRecognizer));
        EXPECT_TRUE(log.contains("LORVANTINE_RECOGNIZER=\"vision\""));
    }
}

TEST(DesktopTruth, TesseractReadsTheRenderedPixels)
{
    auto desktop = SimDesktop::create(readerFixture({ article() }));
    auto picture = SimRenderer::renderWindow(*desktop, 42);
    ASSERT_TRUE(picture);
    const Rect column = desktop->frameOf(desktop->element("column")).value();
    const Image crop = picture->image.cropped(*picture->image.cropArea(
        Rect((column.minX() - 100) * 2, (column.minY() - 50) * 2, column.width() * 2, 120 * 2)));
    TesseractRecognizer tesseract;
    auto observations = tesseract.recognize(crop, { RecognitionLevel::accurate, { "en" }, LanguageCorrection::on });
    ASSERT_TRUE(observations) << observations.error().description;
    std::vector<std::string> lines;
    for (const auto& o : *observations)
        if (o.topCandidate)
            lines.push_back(o.topCandidate->string);
    EXPECT_EQ(lines, (std::vector<std::string> { "Reading aloud slows the eye down.", "Every word gets its moment." }));
}

} // namespace
} // namespace lorvantine::testing
