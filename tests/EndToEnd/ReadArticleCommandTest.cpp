#include "EndToEnd/ReadArticleCommandTest.h"

#include "Platform/AudioOutputPort.h"
#include "TestSupport/FastClock.h"

#include <csignal>

namespace lorvantine::test {

SpeechServerProcess* ReadArticleCommandTest::server = nullptr;

namespace {

// The command reads through the program's one shared reading session, whose speech client is
// made on first use from the settings of that moment: one stand-in server (canned speech) for
// the whole binary, named in the settings before anything touches the session.
class SharedSessionEnvironment final : public ::testing::Environment {
public:
    void SetUp() override
    {
        RunLoop::adoptCurrentThreadAsMain();
        ReadArticleCommandTest::server = new SpeechServerProcess();
        ASSERT_TRUE(ReadArticleCommandTest::server->isRunning());
        AudioOutput::route(AudioOutput::Destination::clockPaced);
        auto defaults = std::make_shared<InMemoryUserDefaults>();
        defaults->set(PreferencesModel::Key::ttsServerURL, ReadArticleCommandTest::server->baseURL());
        PreferencesModel::installDefaults(defaults);
        ArticleReader::shared();
    }
    void TearDown() override
    {
        ArticleReader::shared()->stop();
        Dispatch::waitUntilIdle();
        delete ReadArticleCommandTest::server;
        ReadArticleCommandTest::server = nullptr;
    }
};

[[maybe_unused]] ::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new SharedSessionEnvironment);

} // namespace

void ReadArticleCommandTest::readToTheEnd(const std::string& bundleID, std::chrono::milliseconds limit)
{
    LoopScript script;
    // Cheap while the reading runs: the script asks every few milliseconds of a fast clock.
    script.waitFor("the end of the document", [&] { return !reader().isReading() && log.contains("[ReadArticle] 播放完成/翻页，重置播放按钮"); })
        .then("press Ctrl+C", [] { std::raise(SIGINT); });
    {
        FastClock fast(50);
        EXPECT_EQ(route({ "lorvantine", "--read-article", "--app", bundleID }, &script, limit), 0);
    }
    EXPECT_TRUE(script.finished()) << script.failure();
}

} // namespace lorvantine::test
