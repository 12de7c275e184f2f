#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"
#include "EndToEnd/ControlledApplication.h"
#include "EndToEnd/RecordingProxy.h"
#include "EndToEnd/WavFile.h"

#include "Accessibility/ArticleParser.h"
#include "Network/SpeechText.h"
#include "Platform/Backends/Mp3Decoder.h"
#include "Platform/Image.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "TestSupport/ScratchDirectory.h"
#include "TestSupport/SpeechServerProcess.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <thread>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* finishedLine = "[ReadArticle] 播放完成/翻页，重置播放按钮";

struct Finished {
    std::optional<int> status;
    std::string out;
    std::string err;
};

// Runs the program to its end (it must end by itself within `timeout`).
Finished runProgram(const ScratchDirectory& directory, std::vector<std::string> arguments,
                    std::map<std::string, std::optional<std::string>> environment = {}, std::chrono::milliseconds timeout = 10s)
{
    ChildProcess child({ .program = lorvantineProgram, .arguments = std::move(arguments), .environment = std::move(environment),
                         .directory = directory.path() });
    Finished run;
    run.status = child.wait(timeout);
    run.out = child.standardOutput();
    run.err = child.standardError();
    return run;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> found;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        found.push_back(text.substr(start, end - start));
    if (start < text.size())
        found.push_back(text.substr(start));
    return found;
}

TEST(ProgramTest, WithoutACommandFlagItRunsTheApplicationUntilQuit)
{
    for (const std::vector<std::string>& arguments : { std::vector<std::string> {}, std::vector<std::string> { "-x", "read" } }) {
        ScratchDirectory directory;
        ControlledApplication app(directory.path(), arguments,
                                  { { "LORVANTINE_AUDIO_OUT", "null" }, { "LORVANTINE_UPDATE_URL", "http://127.0.0.1:9/" } });
        ASSERT_TRUE(app.ready()) << app.process().standardError();
        EXPECT_EQ(app.command("quit"), "ok");
        EXPECT_EQ(app.process().wait(10s), 0);
        EXPECT_EQ(app.process().standardOutput(), "ok\n");
        EXPECT_EQ(app.process().standardError().find("menu-bar application"), std::string::npos);
    }
}

TEST(ProgramTest, ADesktopFixtureThatCannotBeLoadedIsNamedWithItsFaultAndNothingRuns)
{
    ScratchDirectory directory;
    const std::string missing = (directory / "missing.json").string();
    Finished run = runProgram(directory, { "x", "--read-article" }, { { "LORVANTINE_DESKTOP", missing } });
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    ASSERT_EQ(lines(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find(missing), std::string::npos) << run.err;

    const std::string malformed = (directory / "malformed.json").string();
    writeFile(malformed, R"({ "screens": 3 })");
    run = runProgram(directory, { "--read-article" }, { { "LORVANTINE_DESKTOP", malformed } });
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(lines(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find(malformed + ": /screens: "), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("✅"), std::string::npos) << "the command line started without a desktop";
}

TEST(ProgramTest, AStandardErrorReaderThatGoesAwayDoesNotEndTheReading)
{
    SpeechServerProcess server;
    ASSERT_TRUE(server.isRunning());
    ScratchDirectory directory;
    const auto settings = directory / "settings.json";
    writeFile(settings, nlohmann::json { { "Lorvantine.ttsServerURL", server.baseURL() } }.dump());
    ChildProcess program({ .program = lorvantineProgram,
                           .arguments = { "--read-article" },
                           .environment = { { "LORVANTINE_DESKTOP", (testFixtures / "e2e-short-article.json").string() },
                                            { "LORVANTINE_AUDIO_OUT", "null" },
                                            { "LORVANTINE_DEFAULTS", settings.string() } },
                           .directory = directory.path(),
                           .standardErrorToPipe = true });
    ASSERT_TRUE(program.readErrorLine(10s));
    program.closeErrorPipe();

    // Every paragraph is still asked for, and Ctrl+C still ends the command as usual.
    for (auto until = std::chrono::steady_clock::now() + 10s; server.speechRequests().size() < 4 && std::chrono::steady_clock::now() < until;)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(server.speechRequests().size(), 4u);
    program.signal(SIGINT);
    EXPECT_EQ(program.wait(10s), 0) << "ended by a signal";
}

// --- The whole road: fixture desktop, speech server, WAV output ---

std::vector<std::uint8_t> decodeBase64(const std::string& text)
{
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<std::uint8_t> bytes;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        const size_t value = alphabet.find(c);
        if (value == std::string::npos)
            continue;
        buffer = buffer << 6 | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<std::uint8_t>(buffer >> bits & 0xFF));
        }
    }
    return bytes;
}

// The audio of one answer of the speech server, decoded.
std::optional<DecodedAudio> decodedAnswer(const std::string& body)
{
    auto json = nlohmann::json::parse(body, nullptr, false);
    if (!json.is_object() || !json["audio"].is_string())
        return std::nullopt;
    auto decoded = Mp3Decoder::decode(decodeBase64(json["audio"].get<std::string>()));
    if (!decoded)
        return std::nullopt;
    return std::move(decoded).value();
}

TEST(ProgramTest, ReadsTheWholeArticleIntoTheWavFileParagraphByParagraphAndEndsOnCtrlC)
{
    SpeechServerProcess server({ .speech = SpeechServerProcess::Speech::synthesised });
    ASSERT_TRUE(server.isRunning());
    ScratchDirectory directory;
    const auto settings = directory / "settings.json";
    const auto wavPath = directory / "article.wav";
    const auto snapshots = directory / "snapshots";
    const auto fixture = testFixtures / "e2e-short-article.json";
    // At the rate of 1 the output holds the server's samples as they came, untouched by the
    // time stretcher.
    RecordingProxy proxy(server.port());
    ASSERT_TRUE(proxy.isRunning());
    writeFile(settings, nlohmann::json { { "Lorvantine.ttsServerURL", proxy.baseURL() }, { "Lorvantine.defaultSpeedEn", 1.0 } }.dump());

    ChildProcess program({ .program = lorvantineProgram,
                           .arguments = { "--read-article" },
                           .environment = { { "LORVANTINE_DESKTOP", fixture.string() },
                                            { "LORVANTINE_AUDIO_OUT", wavPath.string() },
                                            { "LORVANTINE_DEFAULTS", settings.string() },
                                            { "LORVANTINE_SNAPSHOT_DIR", snapshots.string() } },
                           .directory = directory.path() });
    ASSERT_TRUE(program.waitForError(finishedLine, 30s)) << program.standardError();
    // The end of the document does not end the command: it waits for Ctrl+C.
    std::this_thread::sleep_for(100ms);
    program.signal(SIGINT);
    EXPECT_EQ(program.wait(10s), 0);
    const std::string err = program.standardError();
    EXPECT_NE(err.find("\n\n[退出]\n"), std::string::npos) << err;
    EXPECT_LT(err.find(finishedLine), err.find("[退出]"));

    // What the program should have found there.
    std::vector<std::string> paragraphs;
    {
        std::string error;
        auto desktop = SimDesktop::load(fixture.string(), error);
        ASSERT_TRUE(desktop) << error;
        Platform::ScopedServices services(desktop->services());
        auto article = ArticleParser::captureArticle();
        ASSERT_TRUE(article);
        for (const auto& paragraph : article->paragraphs)
            paragraphs.push_back(SpeechText::normalize(paragraph.text).text());
    }
    ASSERT_EQ(paragraphs.size(), 4u);
    EXPECT_EQ(program.standardOutput(), "📖 找到文章: Short Walks — 4 段\n   按 Ctrl+C 停止\n");

    // One request at a time, each paragraph asked for in order.
    auto requests = server.speechRequests();
    size_t nextParagraph = 0;
    for (const auto& request : requests) {
        EXPECT_EQ(request.concurrency, 1) << request.input.value_or("");
        EXPECT_EQ(request.status, 200);
        if (nextParagraph < paragraphs.size() && request.input == paragraphs[nextParagraph])
            ++nextParagraph;
    }
    EXPECT_EQ(nextParagraph, paragraphs.size()) << "paragraphs asked for out of order or not at all";

    // Every answer was heard whole, in the order it came, and nothing else. At the rate of 1 the
    // output holds the decoded samples untouched; silence may come between them, and inside one
    // when the output's thread was held up long enough that the listener heard a gap.
    auto wav = WavFile::read(wavPath);
    ASSERT_TRUE(wav);
    ASSERT_EQ(wav->channels, 1);
    const auto answers = proxy.answers();
    EXPECT_EQ(answers.size(), requests.size());
    EXPECT_GE(answers.size(), paragraphs.size());
    const std::vector<std::int16_t>& output = wav->samples;
    size_t at = 0;
    double spokenSeconds = 0;
    for (size_t i = 0; i < answers.size(); ++i) {
        auto speech = decodedAnswer(answers[i]);
        ASSERT_TRUE(speech) << "answer " << i;
        ASSERT_EQ(speech->format.sampleRate, wav->sampleRate);
        for (size_t k = 0; k < speech->samples.size();) {
            ASSERT_LT(at, output.size()) << "the output ends inside answer " << i;
            if (output[at] == speech->samples[k])
                ++k;
            else
                ASSERT_EQ(output[at], 0) << "answer " << i << " (\"" << requests.at(i).processedText.value_or("")
                                         << "\") differs at its sample " << k << ", sample " << at << " of the output";
            ++at;
        }
        spokenSeconds += speech->duration();
    }
    EXPECT_TRUE(std::all_of(output.begin() + static_cast<long>(at), output.end(), [](std::int16_t sample) { return sample == 0; }))
        << "sound after the last answer";
    EXPECT_GT(spokenSeconds, 0.5 * static_cast<double>(paragraphs.size()));

    // Pictures of the screen, taken as the paragraphs changed.
    size_t pictures = 0;
    for (const auto& entry : std::filesystem::directory_iterator(snapshots)) {
        auto image = Image::loadPNG(entry.path().string());
        ASSERT_TRUE(image) << entry.path();
        EXPECT_EQ(image->width, 1440);
        EXPECT_EQ(image->height, 900);
        ++pictures;
    }
    EXPECT_GE(pictures, 1u);
    EXPECT_LE(pictures, paragraphs.size());
}

} // namespace
} // namespace lorvantine::test
