#include "EndToEnd/ParagraphRequests.h"
#include "EndToEnd/ReadArticleRun.h"

#include "Accessibility/AXReader.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Network/SpeechText.h"
#include "Platform/Image.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "Support/Text.h"
#include "TestSupport/DesktopTest.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <csignal>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* notesID = "com.apple.Notes";
// The paragraph mark: the accent, faint, in the margin left of the paragraph.
constexpr Rgb accent { 242, 101, 34 };

TEST(NotesReadingTest, ANoteIsReadParagraphByParagraphWithTheMarkOnTheOneSpoken)
{
    const std::string fixture = std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/notes-note.json";
    // What the program should find: the note's lines and where they stand.
    std::vector<ReadableParagraph> paragraphs;
    {
        std::string error;
        auto desktop = SimDesktop::load(fixture, error);
        ASSERT_TRUE(desktop) << error;
        Platform::ScopedServices services(desktop->services());
        Log::Capture quiet;
        auto session = DocumentSourceRegistry::detect(notesID);
        ASSERT_TRUE(session);
        paragraphs = session->paragraphs();
        // Each line stands on the row where the desktop draws its first Character.
        const AXElement body = desktop->element("body");
        const std::string value = AXReader::attribute(body, "AXValue").value_or("");
        for (const ReadableParagraph& paragraph : paragraphs) {
            const size_t at = value.find(paragraph.text);
            ASSERT_NE(at, std::string::npos) << paragraph.text;
            const auto first = AXReader::boundsForRange(body, static_cast<int>(Text::utf16OffsetFromByteOffset(value, at)), 1);
            ASSERT_TRUE(first);
            EXPECT_DOUBLE_EQ(paragraph.frame.minY(), first->minY()) << paragraph.text;
        }
    }
    ASSERT_EQ(paragraphs.size(), 5u);

    ReadArticleRun run(fixture, notesID, { { "Lorvantine.defaultSpeedEn", 2.0 }, { "Lorvantine.defaultSpeedZh", 2.0 } });
    ASSERT_TRUE(run.server.isRunning());
    ASSERT_TRUE(run.program.waitForError("[ReadArticle] 播放完成/翻页，重置播放按钮", 60s)) << run.program.standardError();
    run.program.signal(SIGINT);
    EXPECT_EQ(run.program.wait(10s), 0);

    // Each line asked for once, in order.
    std::vector<std::string> expected;
    for (const ReadableParagraph& paragraph : paragraphs)
        expected.push_back(SpeechText::normalize(paragraph.text).text());
    EXPECT_EQ(paragraphStarts(run.server.speechRequests(), expected), expected) << run.program.standardError();

    // In each picture the mark stands beside exactly one line, the one then starting to play,
    // and over the lines' own rows (lines after an emoji or a CRLF are not marked a row too high).
    std::vector<std::filesystem::path> pictures;
    for (const auto& entry : std::filesystem::directory_iterator(run.snapshots))
        pictures.push_back(entry.path());
    std::sort(pictures.begin(), pictures.end());
    const Rgb marked = over(white, accent, 0.08);
    std::vector<int> markedLines;
    for (const auto& path : pictures) {
        auto image = Image::loadPNG(path.string());
        ASSERT_TRUE(image) << path;
        const auto colourAt = [&](Point p) { return rgbOf(image->pixel(static_cast<int>(p.x), static_cast<int>(p.y))); };
        std::vector<int> lines;
        for (const ReadableParagraph& paragraph : paragraphs) {
            const Rect& frame = paragraph.frame;
            const Rgb margin = colourAt({ frame.minX() - 2, frame.midY() });
            if (near(margin, marked, 2)) {
                lines.push_back(paragraph.index);
                EXPECT_EQ(colourAt({ frame.minX() - 6, frame.midY() }), white) << path;
            } else {
                EXPECT_EQ(margin, white) << path << " line " << paragraph.index;
            }
        }
        ASSERT_EQ(lines.size(), 1u) << path;
        markedLines.push_back(lines.front());
    }
    EXPECT_EQ(markedLines, (std::vector<int> { 0, 1, 2, 3, 4 }));
}

} // namespace
} // namespace lorvantine::test
