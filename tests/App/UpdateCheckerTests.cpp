#include "App/UpdateChecker.h"

#include "Network/LoopbackServer.h"
#include "Platform/Toolkit/Alert.h"
#include "Platform/Toolkit/Label.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/ManualClockTest.h"

#include <gmock/gmock.h>

namespace lorvantine::test {
namespace {

TEST(UpdateCheckerVersions, ComparesNumberByNumberFromTheLeft)
{
    struct Case {
        const char* a;
        const char* b;
        bool newer;
    };
    const Case cases[] = {
        { "1.10", "1.9", true },     { "1.2", "1.2.0", false },   { "1.2.0.1", "1.2", true }, { "2.0-beta", "1.9.9", true },
        { "r2", "1.0", false },      { "1..3", "1.2", true },     { "1.9", "1.10", false },   { "0.0.1", "0.0.0", true },
        { "1.2.3", "1.2.3", false }, { "3-beta.1", "3.0", true }, { ".1.", "0.9", true },     { "", "0", false },
        // Other scripts' digits are numbers but no decimal integer: the component reads as 0.
        { "١.0", "0.5", false },
        { "99999999999999999999", "1", false },
    };
    for (const Case& c : cases)
        EXPECT_EQ(UpdateChecker::isNewer(c.a, c.b), c.newer) << c.a << " than " << c.b;
}

TEST(UpdateCheckerVersions, OpensHttpsAnywhereAndHttpOnlyOnThisMachine)
{
    struct Case {
        const char* url;
        bool allowed;
    };
    const Case cases[] = {
        { "https://updates.example.com/Lorvantine.dmg", true },
        { "HTTPS://Example.com/x.dmg", true },
        { "http://127.0.0.1:8123/x.dmg", true },
        { "http://localhost/x.dmg", true },
        { "http://[::1]:80/x.dmg", true },
        { "http://127.1.2.3/x", true },
        { "http://example.com/x.dmg", false },
        { "http://127.0.0.1.evil.com/x", false },
        { "http://user@127.0.0.1.example.com/", false },
        { "http://128.0.0.1/", false },
        { "javascript:alert(1)", false },
        { "file:///etc/passwd", false },
        { "ftp://example.com/x.dmg", false },
        { "x-apple.systempreferences:com.apple.preference.security", false },
        { "https://", false },
        { "https:// example.com/x", false },
        { "not a url", false },
        { "", false },
    };
    for (const Case& c : cases)
        EXPECT_EQ(UpdateChecker::isAllowedURL(c.url), c.allowed) << c.url;
}

// The checker against a manifest served on a loopback port, on a desktop that shows its alert.
class UpdateCheckerTest : public DesktopTest {
protected:
    void SetUp() override
    {
        DesktopTest::SetUp();
        server.http.Get("/download/latest.json", [this](const httplib::Request&, httplib::Response& response) {
            std::lock_guard lock(m_mutex);
            ++m_requests;
            response.status = m_status;
            response.set_content(m_body, "application/json");
        });
        server.start();
        // A server stopped before it listens would never stop.
        ASSERT_TRUE(eventually([this] { return server.http.is_running(); }));
    }

    void serve(std::string body, int status = 200)
    {
        std::lock_guard lock(m_mutex);
        m_body = std::move(body);
        m_status = status;
    }
    int requests()
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

    struct Shown {
        std::string message;
        std::string informative;
        std::vector<std::string> buttons;
        std::vector<std::string> labels; // as accessibility reads them
    };

    // One check to its end; the alert, when one comes, is answered with `button`.
    std::vector<Shown> check(std::optional<std::string> installed = "1.2.0", const std::string& button = "稍后")
    {
        std::vector<Shown> shown;
        Alert::ScopedResponder responder([&](Alert& alert) {
            Shown s { alert.messageText, alert.informativeText, alert.buttons(), {} };
            for (const AXElement& text : findAll(programElement(), "AXStaticText"))
                s.labels.push_back(attribute<std::string>(text, "AXValue").value_or(""));
            shown.push_back(std::move(s));
            auto pressed = find(programElement(), "AXButton", button);
            ASSERT_TRUE(pressed) << "the alert's button " << button << " answers accessibility";
            EXPECT_EQ(ax().performAction(*pressed, "AXPress"), AXError::success);
        });
        auto checker = UpdateChecker::create({ .feedURL = server.url("/download/latest.json"), .installedVersion = installed });
        checker->checkInBackground();
        EXPECT_TRUE(Dispatch::waitUntilIdle(std::chrono::seconds(15)));
        return shown;
    }

    std::vector<std::string> openedURLs()
    {
        std::vector<std::string> urls;
        for (const SimJournalEntry& entry : desktop->journal())
            if (entry.kind == SimJournalEntry::Kind::openURL)
                urls.push_back(entry.name);
        return urls;
    }

    LoopbackServer server;

private:
    std::mutex m_mutex;
    std::string m_body;
    int m_status = 200;
    int m_requests = 0;
};

const std::string updateIntro = "你正在使用 1.2.0。点击下载会在浏览器打开 DMG。下载后拖到 Applications 即可覆盖旧版。";

TEST_F(UpdateCheckerTest, AnnouncesANewerVersionOnceForEachManifestCase)
{
    const std::string big(UpdateChecker::maxManifestBytes, 'x');
    struct Case {
        std::string name;
        std::string body;
        int status = 200;
        std::optional<std::string> reminded;
        std::optional<std::string> message; // none: no alert
        std::string informative = updateIntro;
    };
    const std::vector<Case> cases {
        { "newer, with notes", R"({"version":"1.3.0","download_url":"https://example.com/L.dmg","release_notes":"Faster pages."})", 200,
          {}, "Lorvantine 1.3.0 可用", updateIntro + "\n\n更新内容：\nFaster pages." },
        { "empty notes", R"({"version":"1.3","download_url":"https://example.com/L.dmg","release_notes":""})", 200, {}, "Lorvantine 1.3 可用" },
        { "notes of another type", R"({"version":"1.3","download_url":"https://example.com/L.dmg","release_notes":7})", 200, {}, "Lorvantine 1.3 可用" },
        { "members beyond the three", R"({"x":1,"version":"2","download_url":"https://example.com/L.dmg"})", 200, {}, "Lorvantine 2 可用" },
        { "an error status with the members", R"({"version":"1.3","download_url":"https://example.com/L.dmg"})", 500, {}, "Lorvantine 1.3 可用" },
        { "a download on this machine over http", R"({"version":"1.3","download_url":"http://127.0.0.1:9/L.dmg"})", 200, {}, "Lorvantine 1.3 可用" },
        { "a later version than the one announced", R"({"version":"1.4","download_url":"https://example.com/L.dmg"})", 200, "1.3", "Lorvantine 1.4 可用" },
        { "the same version", R"({"version":"1.2","download_url":"https://example.com/L.dmg"})", 200, {}, {} },
        { "an older version", R"({"version":"1.1.9","download_url":"https://example.com/L.dmg"})", 200, {}, {} },
        { "the version announced before", R"({"version":"1.3","download_url":"https://example.com/L.dmg"})", 200, "1.3", {} },
        { "a version that is a number", R"({"version":2,"download_url":"https://example.com/L.dmg"})", 200, {}, {} },
        { "no version", R"({"download_url":"https://example.com/L.dmg"})", 200, {}, {} },
        { "no download", R"({"version":"1.3"})", 200, {}, {} },
        { "a download that is no URL", R"({"version":"1.3","download_url":"not a url"})", 200, {}, {} },
        { "an array", R"([{"version":"1.3","download_url":"https://example.com/L.dmg"}])", 200, {}, {} },
        { "no JSON", "<html>Not here</html>", 200, {}, {} },
        { "an empty body", "", 200, {}, {} },
        { "a download over plain http elsewhere", R"({"version":"1.3","download_url":"http://example.com/L.dmg"})", 200, {}, {} },
        { "a script", R"j({"version":"1.3","download_url":"javascript:alert(1)"})j", 200, {}, {} },
        { "a local file", R"({"version":"1.3","download_url":"file:///etc/passwd"})", 200, {}, {} },
        { "a body over a megabyte", R"({"version":"1.3","download_url":"https://example.com/L.dmg","release_notes":")" + big + "\"}", 200, {}, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        defaults->removeObject(UpdateChecker::remindedKey);
        if (c.reminded)
            defaults->set(UpdateChecker::remindedKey, *c.reminded);
        serve(c.body, c.status);
        const auto shown = check();
        if (!c.message) {
            EXPECT_THAT(shown, ::testing::IsEmpty());
            EXPECT_EQ(defaults->stringForKey(UpdateChecker::remindedKey), c.reminded) << "the reminder is untouched";
            continue;
        }
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].message, *c.message);
        EXPECT_EQ(shown[0].informative, c.informative);
        EXPECT_THAT(shown[0].buttons, ::testing::ElementsAre("立即下载", "稍后"));
        EXPECT_THAT(shown[0].labels, ::testing::ElementsAre(*c.message, c.informative));
        EXPECT_EQ(defaults->stringForKey(UpdateChecker::remindedKey), c.message->substr(11, c.message->size() - 11 - 7));
    }
    EXPECT_THAT(openedURLs(), ::testing::IsEmpty()) << "「稍后」 opens nothing";
    EXPECT_TRUE(programWindows().empty()) << "every alert left the screen";
}

TEST_F(UpdateCheckerTest, TheDownloadButtonOpensTheDownloadAndEveryVersionIsAnnouncedOnce)
{
    serve(R"({"version":"1.3","download_url":"https://example.com/Lorvantine-1.3.dmg"})");
    ASSERT_EQ(check("1.2.0", "立即下载").size(), 1u);
    EXPECT_THAT(openedURLs(), ::testing::ElementsAre("https://example.com/Lorvantine-1.3.dmg"));
    EXPECT_EQ(defaults->stringForKey(UpdateChecker::remindedKey), "1.3");

    EXPECT_TRUE(check("1.2.0", "立即下载").empty()) << "the next launch with the same manifest";
    serve(R"({"version":"1.3.1","download_url":"https://example.com/Lorvantine-1.3.1.dmg"})");
    EXPECT_EQ(check("1.2.0", "稍后").size(), 1u);
    EXPECT_EQ(openedURLs().size(), 1u);
    EXPECT_EQ(requests(), 3);
}

TEST_F(UpdateCheckerTest, WithoutAnInstalledVersionAnyNonZeroVersionIsNewer)
{
    serve(R"({"version":"0.0.1","download_url":"https://example.com/L.dmg"})");
    const auto shown = check(std::nullopt);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_THAT(shown[0].informative, ::testing::StartsWith("你正在使用 0.0.0。"));
    serve(R"({"version":"0.0","download_url":"https://example.com/L.dmg"})");
    defaults->removeObject(UpdateChecker::remindedKey);
    EXPECT_TRUE(check(std::nullopt).empty());
}

TEST_F(UpdateCheckerTest, AFeedOverPlainHttpElsewhereIsNotAsked)
{
    auto checker = UpdateChecker::create({ .feedURL = "http://updates.example.com/download/latest.json" });
    checker->checkInBackground();
    EXPECT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(UpdateChecker::create({})->feedURL(), "https://updates.lorvantine.app/download/latest.json");
}

} // namespace
} // namespace lorvantine::test
