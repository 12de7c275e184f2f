#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"
#include "EndToEnd/ParagraphRequests.h"

#include "Documents/DocumentSourceRegistry.h"
#include "Network/SpeechText.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "TestSupport/ScratchDirectory.h"
#include "TestSupport/SpeechServerProcess.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

// What reading the document should send: each paragraph's text as the speech client sends it,
// found through the registry on a copy of the desktop in this process.
std::vector<std::string> expectedParagraphTexts(const std::string& bundleID, const std::string& fixturePath)
{
    std::string error;
    auto desktop = SimDesktop::load(fixturePath, error);
    EXPECT_TRUE(desktop) << error;
    if (!desktop)
        return {};
    Platform::ScopedServices services(desktop->services());
    auto session = DocumentSourceRegistry::detect(bundleID);
    EXPECT_TRUE(session) << bundleID;
    std::vector<std::string> texts;
    if (session)
        for (const ReadableParagraph& paragraph : session->paragraphs())
            texts.push_back(SpeechText::normalize(paragraph.text).text());
    return texts;
}

// One PDF viewer's document read by the program against a stand-in server of its own.
struct DocumentReading {
    std::string bundleID;
    std::string title;
    std::vector<std::string> paragraphs;
    ScratchDirectory directory;
    SpeechServerProcess server;
    std::optional<ChildProcess> program;

    DocumentReading(std::string id, std::string expectedTitle, const std::string& fixtureName)
        : bundleID(std::move(id))
        , title(std::move(expectedTitle))
    {
        const std::string fixture = std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/" + fixtureName;
        paragraphs = expectedParagraphTexts(bundleID, fixture);
        const auto settings = directory / "settings.json";
        std::ofstream(settings) << nlohmann::json { { "Lorvantine.ttsServerURL", server.baseURL() },
                                                    { "Lorvantine.defaultSpeedEn", 2.0 } }
                                       .dump();
        program.emplace(ChildProcess::Options { .program = lorvantineProgram,
                                                .arguments = { "--read-article", "--app", bundleID },
                                                .environment = { { "LORVANTINE_DESKTOP", fixture },
                                                                 { "LORVANTINE_AUDIO_OUT", "null" },
                                                                 { "LORVANTINE_DEFAULTS", settings.string() } },
                                                .directory = directory.path() });
    }
};

TEST(PDFReadingTest, EveryParagraphOfTheDocumentIsRequestedOnceInOrder)
{
    std::vector<std::unique_ptr<DocumentReading>> readings;
    readings.push_back(std::make_unique<DocumentReading>("com.apple.Preview", "Report.pdf", "preview-document.json"));
    readings.push_back(std::make_unique<DocumentReading>("com.pdfeditor.pdfeditormac", "Paper.pdf", "pdfgear-document.json"));

    for (auto& reading : readings) {
        SCOPED_TRACE(reading->bundleID);
        ASSERT_EQ(reading->paragraphs.size(), 5u);
        ASSERT_TRUE(reading->server.isRunning());
        ChildProcess& program = *reading->program;
        ASSERT_TRUE(program.waitForError("[ReadArticle] 播放完成/翻页，重置播放按钮", 90s)) << program.standardError();
        // The end of the document does not end the command; Ctrl+C does.
        program.signal(SIGINT);
        EXPECT_EQ(program.wait(10s), 0);
        EXPECT_NE(program.standardOutput().find("📖 找到文章: " + reading->title + " — 5 段"), std::string::npos)
            << program.standardOutput();

        // Every paragraph was asked for once, in order.
        EXPECT_EQ(paragraphStarts(reading->server.speechRequests(), reading->paragraphs), reading->paragraphs);
    }
}

} // namespace
} // namespace lorvantine::test
