#include "Documents/DocumentSourceRegistry.h"
#include "Documents/NativeDocumentSession.h"
#include "Documents/NotesSource.h"

#include "Accessibility/AXReader.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "Support/Text.h"
#include "TestSupport/ProbeCountingAccessibility.h"

#include <gmock/gmock.h>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::StartsWith;

constexpr const char* notesID = "com.apple.Notes";

std::vector<std::string> textsOf(const DocumentSession& session)
{
    std::vector<std::string> texts;
    for (const ReadableParagraph& paragraph : session.paragraphs())
        texts.push_back(paragraph.text);
    return texts;
}

TEST(NotesSource, ReadsTheNoteBodyLineByLineAtItsUtf16Offsets)
{
    std::string error;
    auto desktop = SimDesktop::load(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/notes-note.json", error);
    ASSERT_TRUE(desktop) << error;
    Platform::ScopedServices services(desktop->services());
    Log::Capture log;

    auto session = NotesSource::detect(notesID);
    ASSERT_TRUE(session);
    auto* native = dynamic_cast<NativeDocumentSession*>(session.get());
    ASSERT_TRUE(native);
    EXPECT_EQ(session->title(), "Weekend plans");
    EXPECT_EQ(native->initialWindowTitle(), "Weekend plans");
    EXPECT_EQ(session->windowElement(), desktop->windowElement(6400));
    // Only the body: neither the folders, the list of notes nor the toolbar.
    EXPECT_THAT(textsOf(*session), ElementsAre("Weekend plans", "Pick up the bicycle from the repair shop before noon.",
                                               "Call grandma about Sunday lunch 🍰 and bring the photos.",
                                               "周末去公园散步，记得带上相机和水。",
                                               "Pack the tent, the map and two torches 🔦 for the night."));
    const AXElement body = desktop->element("body");
    const std::string value = AXReader::attribute(body, "AXValue").value_or("");
    double previousBottom = 0;
    const auto paragraphs = session->paragraphs();
    for (const ReadableParagraph& paragraph : paragraphs) {
        SCOPED_TRACE(paragraph.text);
        EXPECT_EQ(paragraph.axElement, body);
        ASSERT_TRUE(paragraph.nativeCharOffset);
        EXPECT_EQ(Text::utf16Substring(value, *paragraph.nativeCharOffset, Text::utf16Count(paragraph.text)), paragraph.text);
        EXPECT_GE(paragraph.frame.minY(), previousBottom);
        previousBottom = paragraph.frame.minY() + 1;
        EXPECT_FALSE(paragraph.boundsDisabled);
    }
    ASSERT_EQ(native->lineMaps().size(), paragraphs.size());
    for (const auto& map : native->lineMaps())
        EXPECT_EQ(map.size(), 1u);

    EXPECT_TRUE(log.contains("[NotesSource] 找到 3 个 AXScrollArea"));
    EXPECT_TRUE(log.contains("[NotesSource] 找到内容区域"));
    EXPECT_TRUE(log.contains("[NotesSource]   AXTextArea val=\"Weekend plans"));
    const auto logged = log.linesContaining("[NotesSource] para[");
    ASSERT_EQ(logged.size(), 5u);
    EXPECT_THAT(logged[0], StartsWith("[NotesSource] para[0] frame=(586,"));
    EXPECT_THAT(logged[0], EndsWith("×" + std::to_string(static_cast<int>(paragraphs[0].frame.height()))
                                    + ") text=\"Weekend plans\""));

    auto fromRegistry = DocumentSourceRegistry::detect(notesID);
    ASSERT_TRUE(fromRegistry);
    EXPECT_EQ(textsOf(*fromRegistry), textsOf(*session));
}

SimElement scrollArea(const std::string& text, std::optional<double> x)
{
    SimElement area("AXScrollArea");
    area.frame(Rect(x.value_or(0), 0, 300, 400)).child(SimElement("AXStaticText", text).frame(Rect(10, 10, 250, 20)));
    if (!x)
        area.failing("AXPosition", AXError::noValue);
    return area;
}

SimElement splitGroup(std::vector<SimElement> children)
{
    SimElement split("AXSplitGroup");
    split.frame(Rect(0, 30, 900, 500));
    split.children = std::move(children);
    return split;
}

std::shared_ptr<SimDesktop> notesDesktop(std::vector<SimElement> content, bool titled = true)
{
    SimApplication app;
    app.pid = 640;
    app.bundleIdentifier = notesID;
    app.localizedName = "Notes";
    app.active = true;
    SimWindow window;
    window.number = 64;
    window.title = "A note";
    window.frame = Rect(50, 50, 900, 560);
    window.main = true;
    if (!titled)
        window.errors["AXTitle"] = AXError::noValue;
    window.children = std::move(content);
    app.windows.push_back(window);
    SimFixture fixture;
    fixture.applications.push_back(app);
    return SimDesktop::create(fixture);
}

TEST(NotesSource, TheBodyIsTheRightmostScrollAreaOfTheSplitGroupElseTheWholeWindow)
{
    struct Case {
        const char* name;
        std::vector<SimElement> content;
        std::vector<std::string> texts;
        std::vector<std::string> logged;
    };
    const SimElement looseText = SimElement("AXStaticText", "loose text").frame(Rect(10, 520, 300, 20));
    for (const Case& c : std::vector<Case> {
             { "rightmost wins", { splitGroup({ scrollArea("left list", 0), scrollArea("right body", 600) }), looseText },
               { "right body" }, { "[NotesSource]   SplitGroup 子元素: AXScrollArea", "[NotesSource] 找到 2 个 AXScrollArea" } },
             { "listed right to left", { splitGroup({ scrollArea("right body", 600), scrollArea("left list", 0) }) },
               { "right body" }, {} },
             { "same x keeps tree order", { splitGroup({ scrollArea("first", 300), scrollArea("second", 300) }) },
               { "first" }, {} },
             { "split group one level down",
               { SimElement("AXGroup").frame(Rect(0, 0, 900, 540)).child(splitGroup({ scrollArea("body", 500) })) },
               { "body" }, {} },
             { "no split group", { SimElement("AXGroup").frame(Rect(0, 0, 900, 100)).child(looseText) },
               { "loose text" },
               { "[NotesSource] AXSplitGroup 未找到", "[NotesSource]   窗口子元素: AXGroup",
                 "[NotesSource] 未找到内容区域，回退到整个窗口" } },
             { "scroll area without position",
               { splitGroup({ scrollArea("body", std::nullopt), SimElement("AXGroup") }), looseText },
               { "body", "loose text" },
               { "[NotesSource]   SplitGroup 子元素: AXGroup", "[NotesSource] 找到 0 个 AXScrollArea",
                 "[NotesSource] 未找到内容区域，回退到整个窗口" } },
         }) {
        SCOPED_TRACE(c.name);
        auto desktop = notesDesktop(c.content);
        Platform::ScopedServices services(desktop->services());
        Log::Capture log;
        auto session = NotesSource::detect(notesID);
        ASSERT_TRUE(session);
        EXPECT_THAT(textsOf(*session), ElementsAreArray(c.texts));
        for (const std::string& line : c.logged)
            EXPECT_TRUE(log.contains(line)) << line;
    }
}

TEST(NotesSource, DetectionEndsWithNothingWhenThereIsNothingToRead)
{
    auto desktop = notesDesktop({ splitGroup({ scrollArea("body", 500) }) });
    auto [services, probes] = test::ProbeCountingAccessibility::wrap(desktop->services());
    Platform::ScopedServices scoped(services);
    Log::Capture log;

    // Not its application: the accessibility is not asked anything.
    EXPECT_FALSE(NotesSource::detect("com.apple.notes"));
    EXPECT_FALSE(NotesSource::detect("com.apple.Safari"));
    EXPECT_EQ(probes->totalCalls(), 0);

    auto empty = notesDesktop({ splitGroup({ SimElement("AXScrollArea").frame(Rect(500, 0, 300, 400)).child(
        SimElement("AXButton", "Share").frame(Rect(10, 10, 100, 20))) }) });
    Platform::ScopedServices emptyServices(empty->services());
    EXPECT_FALSE(NotesSource::detect(notesID));
    EXPECT_TRUE(log.contains("[NotesSource] extractParagraphs 返回空"));

    auto other = SimDesktop::create(SimFixture {});
    Platform::ScopedServices notRunning(other->services());
    EXPECT_FALSE(NotesSource::detect(notesID));
}

TEST(NotesSource, AnUntitledWindowIsNamedAfterNotesAndLongNotesLogOnlyFiveParagraphs)
{
    std::string value;
    for (int i = 0; i < 12; ++i)
        value += "Line number " + std::to_string(i) + "\n";
    auto desktop = notesDesktop(
        { splitGroup({ scrollArea("list", 0),
                       SimElement("AXScrollArea").frame(Rect(300, 0, 600, 500)).child(
                           SimElement("AXTextArea", value).frame(Rect(10, 0, 560, 480))) }) },
        false);
    Platform::ScopedServices services(desktop->services());
    Log::Capture log;
    auto session = NotesSource::detect(notesID);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->title(), "备忘录");
    EXPECT_EQ(dynamic_cast<NativeDocumentSession&>(*session).initialWindowTitle(), "");
    EXPECT_EQ(session->paragraphs().size(), 12u);
    EXPECT_EQ(session->paragraphs().back().text, "Line number 11");
    EXPECT_EQ(log.linesContaining("[NotesSource] para[").size(), 5u);
}

TEST(NativeDocumentSession, AnEmptyListGivesAnEmptySession)
{
    auto desktop = notesDesktop({});
    Platform::ScopedServices services(desktop->services());
    NativeDocumentSession session("Title", desktop->windowElement(64), {});
    EXPECT_TRUE(session.paragraphs().empty());
    EXPECT_TRUE(session.lineMaps().empty());
    EXPECT_EQ(session.initialWindowTitle(), "A note");
}

} // namespace
} // namespace lorvantine
