#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"
#include "EndToEnd/ParagraphRequests.h"

#include "Documents/DocumentSourceRegistry.h"
#include "Network/SpeechText.h"
#include "Platform/Services.h"
#include "Platform/WindowServerPort.h"
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

struct Book {
    const char* bundleID;
    const char* fixture;
    const char* tag;
    int pages;
};

// What reading `book` should send: each page's text as the desktop's recognition reads it,
// found by turning the pages of a copy of the desktop in this process.
std::vector<std::string> expectedPageTexts(const Book& book, const std::string& fixturePath)
{
    std::string error;
    auto desktop = SimDesktop::load(fixturePath, error);
    EXPECT_TRUE(desktop) << error;
    if (!desktop)
        return {};
    Platform::ScopedServices services(desktop->services());
    std::vector<std::string> texts;
    for (int page = 0; page < book.pages; ++page) {
        auto session = DocumentSourceRegistry::detect(book.bundleID);
        EXPECT_TRUE(session) << book.bundleID << " page " << page;
        if (!session || session->paragraphs().empty())
            return texts;
        texts.push_back(SpeechText::normalize(session->paragraphs().front().text).text());
        for (bool down : { true, false })
            Platform::windowServer().post(EventTap::hid, InputEvent::keyboard(std::nullopt, 124, down));
    }
    return texts;
}

// One book read by the program against a stand-in server of its own.
struct BookReading {
    Book book;
    std::string fixture;
    std::vector<std::string> pages;
    ScratchDirectory directory;
    SpeechServerProcess server;
    std::optional<ChildProcess> program;

    explicit BookReading(const Book& b)
        : book(b)
        , fixture(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/" + b.fixture)
        , pages(expectedPageTexts(b, fixture))
    {
        const auto settings = directory / "settings.json";
        std::ofstream(settings) << nlohmann::json { { "Lorvantine.ttsServerURL", server.baseURL() },
                                                    { "Lorvantine.defaultSpeedEn", 2.0 } }
                                       .dump();
        program.emplace(ChildProcess::Options { .program = lorvantineProgram,
                                                .arguments = { "--read-article", "--app", book.bundleID },
                                                .environment = { { "LORVANTINE_DESKTOP", fixture },
                                                                 { "LORVANTINE_AUDIO_OUT", "null" },
                                                                 { "LORVANTINE_DEFAULTS", settings.string() } },
                                                .directory = directory.path() });
    }
};

TEST(PagedReadingTest, ABookIsReadPageAfterPageEachOnceUntilItsLastPage)
{
    // Both books are read at once: each takes about ten seconds of speech.
    std::vector<std::unique_ptr<BookReading>> readings;
    for (const Book& book : { Book { "com.amazon.Lassen", "kindle-book.json", "Kindle", 3 },
                              Book { "com.apple.iBooksX", "books-book.json", "Books", 3 } })
        readings.push_back(std::make_unique<BookReading>(book));

    for (auto& reading : readings) {
        SCOPED_TRACE(reading->book.bundleID);
        ASSERT_EQ(reading->pages.size(), static_cast<size_t>(reading->book.pages));
        ASSERT_TRUE(reading->server.isRunning());
        ChildProcess& program = *reading->program;
        const std::string endOfBook = std::string("[") + reading->book.tag + "] 📖 翻页后内容未变 (";
        ASSERT_TRUE(program.waitForError(endOfBook, 90s)) << program.standardError();
        ASSERT_TRUE(program.waitForError("[ReadArticle] 播放完成/翻页，重置播放按钮", 10s)) << program.standardError();
        // The end of the book does not end the command; Ctrl+C does.
        program.signal(SIGINT);
        EXPECT_EQ(program.wait(10s), 0);

        // Every page was asked for once, in page order.
        EXPECT_EQ(paragraphStarts(reading->server.speechRequests(), reading->pages), reading->pages);
    }
}

} // namespace
} // namespace lorvantine::test
