#include "App/UpdateChecker.h"

#include "Network/LoopbackServer.h"
#include "Platform/Toolkit/Alert.h"
#include "Platform/Toolkit/KeyEvent.h"
#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/WorkspacePort.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/ManualClockTest.h"
#include "Support/Text.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <map>
#include <utility>

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
        // This machine is trusted for plain http only, not for any scheme.
        { "file://localhost/etc/passwd", false },
        { "file://127.0.0.1/etc/passwd", false },
        { "ftp://127.0.0.1/x.dmg", false },
        { "ftp://localhost:2121/x.dmg", false },
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
        server.http.Get("/download/latest.json", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(m_mutex);
            ++m_requests;
            response.status = m_status;
            m_hosts.push_back(request.get_header_value("Host"));
            response.set_content(m_body, "application/json");
        });
        server.http.Get(R"(/moved/.*)", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard lock(m_mutex);
            m_hosts.push_back(request.get_header_value("Host"));
            response.set_redirect(m_redirects[request.path], 302);
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
    // GET `path` (under /moved/) answers a redirect to `location`.
    void redirect(const std::string& path, std::string location)
    {
        std::lock_guard lock(m_mutex);
        m_redirects[path] = std::move(location);
    }
    // The Host of every request the server took, in order.
    std::vector<std::string> hostsAsked()
    {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_hosts, {});
    }

    struct Shown {
        std::string message;
        std::string informative;
        std::vector<std::string> buttons;
        std::vector<std::string> labels; // as accessibility reads them
        // Top-left screen rectangles: the alert's window, then its texts and buttons.
        std::optional<Rect> window;
        std::vector<Rect> parts;
    };

    std::optional<Rect> frameOf(const AXElement& element)
    {
        const auto position = attribute<Point>(element, "AXPosition");
        const auto size = attribute<Size>(element, "AXSize");
        if (!position || !size)
            return std::nullopt;
        return Rect(*position, *size);
    }

    // One check to its end; the alert, when one comes, is answered with `button`.
    std::vector<Shown> check(std::optional<std::string> installed = "1.2.0", const std::string& button = "稍后",
                             const std::string& feedPath = "/download/latest.json")
    {
        std::vector<Shown> shown;
        Alert::ScopedResponder responder([&](Alert& alert) {
            Shown s { alert.messageText, alert.informativeText, alert.buttons(), {} };
            for (const AXElement& text : findAll(programElement(), "AXStaticText")) {
                s.labels.push_back(attribute<std::string>(text, "AXValue").value_or(""));
                s.parts.push_back(frameOf(text).value_or(Rect()));
            }
            for (const AXElement& each : findAll(programElement(), "AXButton"))
                s.parts.push_back(frameOf(each).value_or(Rect()));
            if (const auto windows = programWindows(); windows.size() == 1)
                s.window = windows[0].kCGWindowBounds;
            shown.push_back(std::move(s));
            if (answerKey) {
                // A person's keys: Return and Escape typed with another application in front
                // answer nothing (the other key first: taken by the alert, it would give the other
                // answer); after a click on the alert the key does. Were it lost, `button` would
                // answer instead.
                key(*answerKey == KeyEvent::keyReturn ? KeyEvent::keyEscape : KeyEvent::keyReturn);
                key(*answerKey);
                clickTitleBar(*alert.panel());
                key(*answerKey);
                DispatchQueue::main().async([this, button] {
                    if (auto other = find(programElement(), "AXButton", button))
                        ax().performAction(*other, "AXPress");
                });
                return;
            }
            auto pressed = find(programElement(), "AXButton", button);
            ASSERT_TRUE(pressed) << "the alert's button " << button << " answers accessibility";
            EXPECT_EQ(ax().performAction(*pressed, "AXPress"), AXError::success);
        });
        auto checker = UpdateChecker::create({ .feedURL = server.url(feedPath), .installedVersion = installed });
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
    // When set, `check` answers the alert with this key instead.
    std::optional<uint16_t> answerKey;

private:
    std::mutex m_mutex;
    std::string m_body;
    int m_status = 200;
    int m_requests = 0;
    std::map<std::string, std::string> m_redirects;
    std::vector<std::string> m_hosts;
};

const std::string updateIntro = "你正在使用 1.2.0。点击下载会在浏览器打开 DMG。下载后拖到 Applications 即可覆盖旧版。";

TEST_F(UpdateCheckerTest, AnnouncesANewerVersionOnceForEachManifestCase)
{
    const std::string big(UpdateChecker::maxManifestBytes, 'x');
    std::string longVersion = "1.3";
    while (longVersion.size() + 2 <= UpdateChecker::maxVersionBytes)
        longVersion += ".0";
    longVersion.resize(UpdateChecker::maxVersionBytes, '0');
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
        { "a version of 64 bytes", R"({"version":")" + longVersion + R"(","download_url":"https://example.com/L.dmg"})", 200, {},
          "Lorvantine " + longVersion + " 可用" },
        { "a version too long for a title", R"({"version":")" + longVersion + R"(.1","download_url":"https://example.com/L.dmg"})",
          200, {}, {} },
        { "a version of half a megabyte", R"({"version":")" + longVersion + std::string(500000, '1') + R"(","download_url":"https://example.com/L.dmg"})",
          200, {}, {} },
        { "no version", R"({"download_url":"https://example.com/L.dmg"})", 200, {}, {} },
        { "no download", R"({"version":"1.3"})", 200, {}, {} },
        { "a download that is no URL", R"({"version":"1.3","download_url":"not a url"})", 200, {}, {} },
        { "an array", R"([{"version":"1.3","download_url":"https://example.com/L.dmg"}])", 200, {}, {} },
        { "no JSON", "<html>Not here</html>", 200, {}, {} },
        { "an empty body", "", 200, {}, {} },
        { "a download over plain http elsewhere", R"({"version":"1.3","download_url":"http://example.com/L.dmg"})", 200, {}, {} },
        { "a script", R"j({"version":"1.3","download_url":"javascript:alert(1)"})j", 200, {}, {} },
        { "a local file", R"({"version":"1.3","download_url":"file:///etc/passwd"})", 200, {}, {} },
        { "a local file named by this machine", R"({"version":"1.3","download_url":"file://localhost/etc/passwd"})", 200, {}, {} },
        { "ftp on this machine", R"({"version":"1.3","download_url":"ftp://127.0.0.1/L.dmg"})", 200, {}, {} },
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

// The person works in TextEdit. Once a click on the alert has brought the program forward, Return
// downloads and Escape is 「稍后」; either way TextEdit is in front again.
TEST_F(UpdateCheckerTest, ReturnDownloadsAndEscapeIsLater)
{
    const ProcessID textEdit = desktop->addApplication({ .pid = 502, .bundleIdentifier = "com.apple.TextEdit", .active = true });
    desktop->addWindow(textEdit, SimWindow { .title = "Reading list.txt", .frame = Rect(260, 160, 640, 420), .main = true });
    const auto front = [] { return Platform::workspace().frontmostApplication().value_or(RunningApplication {}).pid; };
    serve(R"({"version":"1.3","download_url":"https://example.com/Lorvantine-1.3.dmg"})");
    answerKey = KeyEvent::keyEscape;
    ASSERT_EQ(check("1.2.0", "立即下载").size(), 1u);
    EXPECT_THAT(openedURLs(), ::testing::IsEmpty());
    EXPECT_EQ(front(), textEdit);
    serve(R"({"version":"1.3.1","download_url":"https://example.com/Lorvantine-1.3.1.dmg"})");
    answerKey = KeyEvent::keyReturn;
    ASSERT_EQ(check("1.2.0", "稍后").size(), 1u);
    EXPECT_THAT(openedURLs(), ::testing::ElementsAre("https://example.com/Lorvantine-1.3.1.dmg"));
    EXPECT_EQ(front(), textEdit);
    EXPECT_TRUE(programWindows().empty()) << "every alert left the screen";
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

std::string manifestWithNotes(const std::string& notes)
{
    return nlohmann::json { { "version", "1.3" }, { "download_url", "https://example.com/L.dmg" }, { "release_notes", notes } }.dump();
}

std::string repeated(const std::string& text, size_t times)
{
    std::string result;
    for (size_t i = 0; i < times; ++i)
        result += text;
    return result;
}

// The release notes of a busy year: one change a line.
std::string changeLog(int lines, bool trailingBreak = true)
{
    std::string notes;
    for (int i = 1; i <= lines; ++i) {
        notes += "• 第 " + std::to_string(i) + " 项：翻页之后从正确的段落接着朗读，不再重读上一段。";
        if (i < lines || trailingBreak)
            notes += "\n";
    }
    return notes;
}

const std::string notesHeading = "\n\n更新内容：\n";

// How a long text ends, for failure messages that stay readable.
std::string ending(const std::string& text)
{
    const size_t count = Text::characterCount(text);
    return std::to_string(text.size()) + " bytes, ending «" + Text::characterSubstring(text, count > 40 ? count - 40 : 0, 40) + "»";
}

// Measures as the desktop does and remembers the longest text it was given.
class LongestTextMeasurer final : public TextMeasurer {
public:
    Size size(const std::string& text, const Font& font, std::optional<double> maxWidth) const override
    {
        size_t seen = longest.load();
        while (text.size() > seen && !longest.compare_exchange_weak(seen, text.size())) { }
        return m_pango.size(text, font, maxWidth);
    }
    double lineHeight(const Font& font) const override { return m_pango.lineHeight(font); }

    mutable std::atomic<size_t> longest = 0;

private:
    PangoTextMeasurer m_pango;
};

TEST_F(UpdateCheckerTest, LongNotesAreCutBeforeLayoutAndLeaveTheWholeAlertOnTheScreen)
{
    auto measurer = std::make_shared<LongestTextMeasurer>();
    TextMeasurer::install(measurer);
    // Top-left coordinates: the screen below the menu bar.
    const Rect visible(0, 900 - 875, 1440, 875);
    const auto liesWithin = [](const Rect& inner, const Rect& outer) {
        return inner.minX() >= outer.minX() && inner.maxX() <= outer.maxX() && inner.minY() >= outer.minY() && inner.maxY() <= outer.maxY();
    };
    // 200 lines, and some 900 KB: near the manifest's limit.
    for (const std::string& notes : { changeLog(200), repeated(changeLog(200), 52) }) {
        SCOPED_TRACE(notes.size());
        defaults->removeObject(UpdateChecker::remindedKey);
        measurer->longest = 0;
        serve(manifestWithNotes(notes));
        const auto shown = check();
        ASSERT_EQ(shown.size(), 1u);
        ASSERT_TRUE(shown[0].window) << "the alert is the program's one window";
        const Rect window = *shown[0].window;
        EXPECT_TRUE(liesWithin(window, visible)) << "alert at y " << window.minY() << ", " << window.height() << " tall";
        ASSERT_EQ(shown[0].parts.size(), 4u) << "title, text and two buttons";
        for (const Rect& part : shown[0].parts)
            EXPECT_TRUE(liesWithin(part, window)) << "at y " << part.minY() << " in an alert from " << window.minY() << " to " << window.maxY();
        EXPECT_TRUE(shown[0].informative.starts_with(updateIntro + notesHeading + "• 第 1 项："));
        EXPECT_TRUE(shown[0].informative.ends_with("\n…")) << ending(shown[0].informative);
        // The alert measures its texts; none may come near the notes' size.
        EXPECT_GT(measurer->longest.load(), 0u);
        EXPECT_LT(measurer->longest.load(), 8u * 1024);
    }
}

TEST_F(UpdateCheckerTest, LongNotesAreCutAtWholeCharactersAndLines)
{
    const std::string prose = repeated("This release reads long documents more smoothly. Pages turn on their own when the "
                                       "last paragraph of a page has been spoken, and the highlight follows the window. ", 5);
    const std::string family = "👨‍👩‍👧‍👦"; // one Character of seven scalars
    struct Case {
        std::string name;
        std::string notes;
        std::string shown;
    };
    const int lines = static_cast<int>(UpdateChecker::maxNotesLines);
    const std::vector<Case> cases {
        { "a short list", "• 翻页更快\n• 修正高亮", "• 翻页更快\n• 修正高亮" },
        { "as many lines as are shown", changeLog(lines, false), changeLog(lines, false) },
        { "one line more", changeLog(lines + 1, false), changeLog(lines) + "…" },
        { "lines of Windows", repeated("line\r\n", lines) + "last", repeated("line\r\n", lines) + "…" },
        { "long prose", prose, Text::characterPrefix(prose, UpdateChecker::maxNotesCharacters) + "…" },
        { "families", repeated(family, 1000), repeated(family, UpdateChecker::maxNotesBytes / family.size()) + "…" },
        { "a letter under thousands of accents", "Notes:\n" + repeated("e" + repeated("\u0301", 3000), 2), "Notes:\n…" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        defaults->removeObject(UpdateChecker::remindedKey);
        serve(manifestWithNotes(c.notes));
        const auto shown = check();
        ASSERT_EQ(shown.size(), 1u);
        const std::string expected = updateIntro + notesHeading + c.shown;
        EXPECT_TRUE(shown[0].informative == expected) << "shown " << ending(shown[0].informative) << "\nnot " << ending(expected);
    }
}

TEST_F(UpdateCheckerTest, EveryAddressARedirectLeadsToIsHeldToTheSameRule)
{
    serve(R"({"version":"1.3","download_url":"https://example.com/L.dmg"})");
    const std::string here = "127.0.0.1:" + std::to_string(server.port());
    // 0.0.0.0 reaches this machine's server, yet it is no loopback address to the rule: a stand-in
    // for plain http elsewhere that needs no network.
    const std::string elsewhere = "0.0.0.0:" + std::to_string(server.port());
    redirect("/moved/here", "http://" + here + "/download/latest.json");
    redirect("/moved/relative", "/download/latest.json");
    redirect("/moved/twice", "/moved/here");
    redirect("/moved/away", "http://" + elsewhere + "/download/latest.json");
    redirect("/moved/through", "http://" + elsewhere + "/moved/here");
    redirect("/moved/ftp", "ftp://" + here + "/download/latest.json");
    struct Case {
        std::string path;
        bool announced;
        std::vector<std::string> hostsAsked;
    };
    const std::vector<Case> cases {
        { "/moved/here", true, { here, here } },
        { "/moved/relative", true, { here, here } },
        { "/moved/twice", true, { here, here, here } },
        { "/moved/away", false, { here } },
        { "/moved/through", false, { here } },
        { "/moved/ftp", false, { here } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        defaults->removeObject(UpdateChecker::remindedKey);
        const auto shown = check("1.2.0", "稍后", c.path);
        EXPECT_EQ(shown.size(), c.announced ? 1u : 0u);
        EXPECT_EQ(defaults->stringForKey(UpdateChecker::remindedKey), c.announced ? std::optional<std::string>("1.3") : std::nullopt);
        EXPECT_EQ(hostsAsked(), c.hostsAsked) << "a refused address is not asked at all";
    }
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
