#include "EndToEnd/ParagraphRequests.h"
#include "EndToEnd/ReadArticleCommandTest.h"
#include "EndToEnd/ReadArticleRun.h"

#include "Accessibility/AXReader.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Network/SpeechText.h"
#include "Platform/Image.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "TestSupport/DesktopTest.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <numeric>
#include <regex>
#include <set>
#include <sstream>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* pagesID = "com.apple.iWork.Pages";
constexpr Rgb pagesAccent { 242, 101, 34 };
constexpr Rgb pageGap { 0xD8, 0xD8, 0xDC };
// The screen geometry of tests/fixtures/pages-short.json: the view's top, its height, the pitch
// and height of the pages in the scrolled column, and the columns looked at.
constexpr double viewTop = 92;
constexpr double viewHeight = 768;
constexpr double firstPageTop = 30;
constexpr double pagePitch = 830;
constexpr double pageHeight = 800;
constexpr int pageEdgeX = 160;   // inside a page's left margin
constexpr int markX = 188;       // 2 points left of the text
constexpr int thumbX = 1013;     // the scroll bar's thumb

struct Line {
    std::string spoken;  // as sent for speech
    int page = 0;        // from 0
    double inPage = 0;   // its first character's top below its page's top
};

// A copy of the desktop in `fixture`, here in the test; none (a failure) when it cannot be loaded.
std::shared_ptr<SimDesktop> copyOf(const std::string& fixture)
{
    std::string error;
    auto desktop = SimDesktop::load(fixture, error);
    EXPECT_TRUE(desktop) << error;
    return desktop;
}

// The document's lines and where each stands on its page, read on a copy of the desktop here.
std::vector<Line> documentLines(const std::string& fixture)
{
    auto desktop = copyOf(fixture);
    if (!desktop)
        return {};
    Platform::ScopedServices services(desktop->services());
    Log::Capture quiet;
    auto session = DocumentSourceRegistry::detect(pagesID);
    EXPECT_TRUE(session);
    if (!session)
        return {};
    std::vector<Line> lines;
    const AXElement area = desktop->element("pages-scroll");
    for (const ReadableParagraph& p : session->paragraphs()) {
        Line line { SpeechText::normalize(p.text).text() };
        for (int k = 0; k < 12; ++k) {
            desktop->setScroll(area, Point { 0, firstPageTop + k * pagePitch });
            const AXElement text = desktop->element("page-" + std::to_string(k + 1) + "-text");
            auto range = AXReader::boundsForRange(text, *p.nativeCharOffset, 1);
            const double top = desktop->frameOf(desktop->element("page-" + std::to_string(k + 1)))->minY();
            if (range && range->height() < 100) {
                line.page = k;
                line.inPage = range->minY() - top;
                break;
            }
        }
        lines.push_back(line);
    }
    return lines;
}

// How far the column is scrolled in a picture: roughly from the scroll bar's thumb, then exactly
// from the edge of a page top seen near where it should be.
std::optional<double> scrollOffset(const Image& image)
{
    const auto at = [&](int x, double y) { return rgbOf(image.pixel(x, static_cast<int>(y))); };
    std::optional<double> thumbTop;
    for (double y = viewTop; y < viewTop + viewHeight; ++y)
        if (at(thumbX, y).r < 160) {
            thumbTop = y;
            break;
        }
    if (!thumbTop)
        return std::nullopt;
    const double content = 2 * firstPageTop + 12 * pagePitch - (pagePitch - pageHeight);
    const double track = viewHeight - 4;
    const double thumbLength = std::max(24.0, track * viewHeight / content);
    const double rough = (*thumbTop - viewTop - 2) / (track - thumbLength) * (content - viewHeight);
    for (double y = viewTop + 1; y < viewTop + viewHeight; ++y) {
        if (!(near(at(pageEdgeX, y - 1), pageGap, 3) && at(pageEdgeX, y) == white))
            continue;
        // A page's top: the one whose place in the column is nearest the rough guess.
        const double contentY = y - viewTop + rough;
        const double k = std::round((contentY - firstPageTop) / pagePitch);
        const double exact = firstPageTop + k * pagePitch - (y - viewTop);
        if (std::abs(exact - rough) < 40)
            return exact;
    }
    return rough;
}

// Pages documents read with "--read-article --app com.apple.iWork.Pages": a short one by the
// built program, pictures of the screen taken as it reads; a long one in this process on a fast
// clock, its speech played silently at fifty times its speed.
class PagesReadingTest : public ReadArticleCommandTest { };

TEST_F(PagesReadingTest, AShortDocumentIsReadPageAfterPageWithTheMarkOnTheLineSpoken)
{
    const std::string fixture = std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/pages-short.json";
    const std::vector<Line> lines = documentLines(fixture);
    ASSERT_EQ(lines.size(), 29u);
    ASSERT_EQ(lines.back().page, 11);

    ReadArticleRun run(fixture, pagesID, { { "Lorvantine.defaultSpeedEn", 2.0 } });
    ASSERT_TRUE(run.server.isRunning());
    ASSERT_TRUE(run.program.waitForError("[ReadArticle] 播放完成/翻页，重置播放按钮", 120s)) << run.program.standardError();
    run.program.signal(SIGINT);
    EXPECT_EQ(run.program.wait(10s), 0);

    // Each line asked for once, in order.
    std::vector<std::string> expected;
    for (const Line& line : lines)
        expected.push_back(line.spoken);
    EXPECT_EQ(paragraphStarts(run.server.speechRequests(), expected), expected);

    // Each picture shows the mark on the line then spoken, or (while its page is still being
    // brought into view) nowhere; on every page it is seen on the line spoken at least once.
    const std::string log = run.program.standardError();
    const std::regex taken(R"(\[Snapshot\] para\[(\d+)\] → (\S+))");
    std::set<int> pagesSeen;
    int pictures = 0;
    for (std::sregex_iterator it(log.begin(), log.end(), taken), end; it != end; ++it) {
        const size_t spoken = std::stoul((*it)[1]);
        ASSERT_LT(spoken, lines.size());
        auto image = Image::loadPNG((*it)[2]);
        ASSERT_TRUE(image) << (*it)[2];
        ++pictures;
        std::optional<double> markTop;
        for (double y = viewTop; y < viewTop + viewHeight && !markTop; ++y)
            if (near(rgbOf(image->pixel(markX, static_cast<int>(y))), over(white, pagesAccent, 0.08), 2))
                markTop = y;
        if (!markTop)
            continue;
        const auto offset = scrollOffset(*image);
        ASSERT_TRUE(offset) << (*it)[2];
        const double lineTop = viewTop + firstPageTop + lines[spoken].page * pagePitch + lines[spoken].inPage - *offset;
        EXPECT_NEAR(*markTop, lineTop, 4) << "line " << spoken << " in " << (*it)[2] << ", column scrolled by " << *offset;
        if (std::abs(*markTop - lineTop) <= 4)
            pagesSeen.insert(lines[spoken].page);
    }
    EXPECT_GE(pictures, 29);
    EXPECT_EQ(pagesSeen.size(), 12u) << log;
}

// The lines of a Pages document as its text gives them: pieces between line breaks that hold
// something besides blanks and inline pictures, each as sent for speech.
std::vector<std::string> spokenLines(const std::string& fixture)
{
    auto desktop = copyOf(fixture);
    if (!desktop)
        return {};
    Platform::ScopedServices services(desktop->services());
    const std::string text = AXReader::attribute(desktop->element("page-1-text"), "AXValue").value_or("");
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::string rest = line;
        for (size_t at; (at = rest.find("\xEF\xBF\xBC")) != std::string::npos;)
            rest.erase(at, 3);
        if (rest.find_first_not_of(" \t") != std::string::npos)
            lines.push_back(SpeechText::normalize(line).text());
    }
    return lines;
}

TEST_F(PagesReadingTest, ADocumentOpenedOnItsThirdPageIsReadWholeFromItsFirstLine)
{
    const std::vector<std::string> lines = spokenLines(fixturePath("pages-document-scrolled.json"));
    ASSERT_EQ(lines.size(), 199u);

    useFixture("pages-document-scrolled.json");
    defaults->set(PreferencesModel::Key::defaultSpeedEn, 2.0f);
    defaults->set(PreferencesModel::Key::defaultSpeedZh, 2.0f);
    readToTheEnd(pagesID);
    EXPECT_TRUE(log.contains("[Pages] 全文模式: 199 段落"));

    // Each line asked for once, in order, and each played from its start once, in order.
    EXPECT_EQ(paragraphStarts(server->speechRequests(), lines), lines);
    const std::regex started(R"(^\[Audio\] play para=(\d+) off=0 )");
    std::vector<int> played;
    for (const std::string& line : log.linesContaining("[Audio] play para=")) {
        std::smatch match;
        if (std::regex_search(line, match, started))
            played.push_back(std::stoi(match[1]));
    }
    std::vector<int> everyLine(lines.size());
    std::iota(everyLine.begin(), everyLine.end(), 0);
    EXPECT_EQ(played, everyLine);
}

} // namespace
} // namespace lorvantine::test
