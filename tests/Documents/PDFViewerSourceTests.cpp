#include "Documents/DocumentSourceRegistry.h"
#include "Documents/PDFgearSource.h"
#include "Documents/PreviewSource.h"

#include "Accessibility/AXReader.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"

#include <gmock/gmock.h>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr const char* previewID = "com.apple.Preview";
constexpr const char* pdfgearID = "com.pdfeditor.pdfeditormac";

struct ViewerWindow {
    std::string title = "Document.pdf";
    std::map<std::string, AXValue> attributes;
    std::map<std::string, AXError> errors;
    bool main = true;
};

// One viewer application with one window (at (100, 50), 900 × 800) holding `content`.
std::shared_ptr<SimDesktop> viewerDesktop(const std::string& bundleID, std::vector<SimElement> content,
                                          ViewerWindow shape = {})
{
    SimWindow window;
    window.number = 61;
    window.title = shape.title;
    window.frame = Rect(100, 50, 900, 800);
    window.main = shape.main;
    window.attributes = shape.attributes;
    window.errors = shape.errors;
    window.children = std::move(content);
    SimApplication app;
    app.pid = 610;
    app.bundleIdentifier = bundleID;
    app.active = true;
    app.windows.push_back(std::move(window));
    SimFixture fixture;
    fixture.applications.push_back(std::move(app));
    return SimDesktop::create(fixture);
}

SimElement viewerText(const std::string& value, Rect frame) { return SimElement("AXStaticText", value).frame(frame); }

SimElement documentGroup(std::vector<SimElement> children)
{
    SimElement group("AXGroup");
    group.frame(Rect(0, 0, 900, 800)).with("AXDescription", std::string("document"));
    group.children = std::move(children);
    return group;
}

SimElement viewerPage(std::vector<SimElement> children)
{
    SimElement element("AXPage");
    element.frame(Rect(0, 0, 900, 800));
    element.children = std::move(children);
    return element;
}

struct ViewerReading {
    bool found = false;
    std::string title;
    std::vector<std::string> texts;
    std::vector<int> indices;
};

// What `bundleID`'s source reads from `desktop`, through the registry as callers ask for it.
ViewerReading readViewer(const std::shared_ptr<SimDesktop>& desktop, const std::string& bundleID)
{
    Platform::ScopedServices services(desktop->services());
    Log::Capture log;
    auto session = DocumentSourceRegistry::detect(bundleID);
    EXPECT_THAT(log.lines(), IsEmpty());
    ViewerReading reading;
    if (!session)
        return reading;
    reading.found = true;
    reading.title = session->title();
    for (const auto& paragraph : session->paragraphs()) {
        reading.texts.push_back(paragraph.text);
        reading.indices.push_back(paragraph.index);
    }
    return reading;
}

std::shared_ptr<SimDesktop> viewerFixtureDesktop(const std::string& name)
{
    std::string error;
    auto desktop = SimDesktop::load(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/" + name, error);
    EXPECT_TRUE(desktop) << error;
    return desktop ? desktop : SimDesktop::create();
}

struct ViewerFilterCase {
    const char* text;
    double width;
    double height;
    bool kept;
};

TEST(PreviewSource, KeepsTextsOfThreeCharactersWiderThanThirtyAndTallerThanFour)
{
    for (const ViewerFilterCase& c : std::vector<ViewerFilterCase> {
             { "ab", 200, 20, false },
             { "abc", 31, 20, true },
             { "abc", 30, 20, false },
             { "abc", 200, 4, false },
             { "abc", 200, 5, true },
             { "😀👍🏽é", 200, 20, true },         // three Characters, many more bytes
             { "e\u0301e\u0301", 200, 20, false }, // four scalars, two Characters
             { "123", 200, 20, true },            // Preview keeps page numbers
             { "", 200, 20, false },
         }) {
        auto desktop = viewerDesktop(previewID, { documentGroup({ viewerText("Reference paragraph", Rect(0, 0, 400, 20)),
                                                                  viewerText(c.text, Rect(0, 40, c.width, c.height)) }) });
        const ViewerReading reading = readViewer(desktop, previewID);
        std::vector<std::string> expected { "Reference paragraph" };
        if (c.kept)
            expected.push_back(c.text);
        EXPECT_EQ(reading.texts, expected) << c.text << " " << c.width << " × " << c.height;
    }
}

TEST(PDFgearSource, KeepsTextsWiderThanAHundredAndDropsShortNumbers)
{
    for (const ViewerFilterCase& c : std::vector<ViewerFilterCase> {
             { "abc", 100, 20, false },
             { "abc", 101, 20, true },
             { "abc", 200, 4, false },
             { "12", 200, 20, false },
             { "123", 200, 20, false },
             { "-12", 200, 20, false },
             { "+7 ", 200, 20, false },
             { " 12", 200, 20, false },
             { "\t9\t", 200, 20, false },
             { "1234", 200, 20, true },
             { "12a", 200, 20, true },
             { "1.5", 200, 20, true },
             { "- 2", 200, 20, true },
             { "+-1", 200, 20, true },
             { "٣٤٥", 200, 20, true }, // digits, but not decimal ASCII ones
             { "一二三", 200, 20, true },
         }) {
        auto desktop = viewerDesktop(pdfgearID, { viewerPage({ viewerText("Reference paragraph", Rect(0, 0, 400, 20)),
                                                         viewerText(c.text, Rect(0, 40, c.width, c.height)) }) });
        const ViewerReading reading = readViewer(desktop, pdfgearID);
        std::vector<std::string> expected { "Reference paragraph" };
        if (c.kept)
            expected.push_back(c.text);
        EXPECT_EQ(reading.texts, expected) << "\"" << c.text << "\" " << c.width << " × " << c.height;
    }
}

TEST(PDFViewerSources, ParagraphsRunTopToBottomNumberedWithoutGapsAndTiesKeepTreeOrder)
{
    std::vector<SimElement> texts {
        viewerText("Third by height", Rect(0, 300, 400, 20)),
        viewerText("xy", Rect(0, 10, 400, 20)), // dropped before numbering
        viewerText("First by height", Rect(0, 100, 400, 20)),
        viewerText("Tied, met first", Rect(0, 200, 400, 20)),
        viewerText("Tied, met second", Rect(450, 200, 400, 20)),
    };
    const std::vector<std::string> expected { "First by height", "Tied, met first", "Tied, met second", "Third by height" };
    for (const auto& [bundleID, content] : std::vector<std::pair<std::string, SimElement>> {
             { previewID, documentGroup(texts) }, { pdfgearID, viewerPage(texts) } }) {
        const ViewerReading reading = readViewer(viewerDesktop(bundleID, { content }), bundleID);
        EXPECT_EQ(reading.texts, expected) << bundleID;
        EXPECT_THAT(reading.indices, ElementsAre(0, 1, 2, 3)) << bundleID;
    }
}

TEST(PreviewSource, TitleIsCutAtTheFirstSpacedEnDash)
{
    struct Case {
        std::optional<std::string> title; // none: the window has no title
        const char* expected;
    };
    for (const Case& c : std::vector<Case> {
             { "Report.pdf \u2013 Edited", "Report.pdf" },
             { "Report.pdf", "Report.pdf" },
             { "Report-final.pdf - Edited", "Report-final.pdf - Edited" },
             { "Report.pdf\u2013Edited", "Report.pdf\u2013Edited" },
             { "A \u2013 B \u2013 C", "A" },
             { "Report.pdf \u2014 Edited", "Report.pdf \u2014 Edited" }, // an em dash is not the mark
             { std::nullopt, "PDF" },
         }) {
        ViewerWindow window;
        window.title = c.title.value_or("");
        if (!c.title)
            window.errors["AXTitle"] = AXError::noValue;
        auto desktop = viewerDesktop(previewID, { documentGroup({ viewerText("Body text", Rect(0, 0, 400, 20)) }) }, window);
        EXPECT_EQ(readViewer(desktop, previewID).title, c.expected) << c.title.value_or("(none)");
    }
}

TEST(PDFgearSource, AnEmptyTitleIsTakenFromTheDocumentsFileName)
{
    struct Case {
        std::optional<std::string> title;
        std::optional<std::string> document;
        const char* expected;
    };
    for (const Case& c : std::vector<Case> {
             { "Notes.pdf \u2013 Locked", "file:///Users/mia/Paper.pdf", "Notes.pdf" },
             { "", "file:///Users/mia/Papers/Paper.pdf", "Paper.pdf" },
             { std::nullopt, "file:///Users/mia/Papers/Paper.pdf", "Paper.pdf" },
             { "", "file:///Users/mia/Field%20Notes%20%E7%AC%94%E8%AE%B0.pdf", "Field Notes 笔记.pdf" },
             { "", "file:///Users/mia/Draft%20%E2%80%93%20Old.pdf", "Draft" },
             { "", "file:///Users/mia/Reports/", "Reports" },
             { "", "https://example.com/papers/Paper.pdf?download=1#page=2", "Paper.pdf" },
             { "", "Paper.pdf", "Paper.pdf" },
             { "", "file:///", "PDF" },
             { "", "https://example.com", "PDF" },
             { "", "file:///Users/mia/My Paper.pdf", "PDF" }, // a space: no URL
             { "", "file:///Users/mia/%ZZ.pdf", "PDF" },
             { "", "file:///Users/mia/%FF.pdf", "%FF.pdf" }, // escapes that are no UTF-8 stay escaped
             { "", "", "PDF" },
             { "", std::nullopt, "PDF" },
             { std::nullopt, std::nullopt, "PDF" },
         }) {
        ViewerWindow window;
        window.title = c.title.value_or("");
        if (!c.title)
            window.errors["AXTitle"] = AXError::noValue;
        if (c.document)
            window.attributes["AXDocument"] = *c.document;
        auto desktop = viewerDesktop(pdfgearID, { viewerPage({ viewerText("Body text", Rect(0, 0, 400, 20)) }) }, window);
        EXPECT_EQ(readViewer(desktop, pdfgearID).title, c.expected) << c.document.value_or("(no document)");
    }
}

// `content` wrapped in `levels` groups.
SimElement nestedInGroups(SimElement content, int levels)
{
    for (int i = 0; i < levels; ++i)
        content = SimElement("AXGroup").frame(Rect(0, 0, 900, 800)).child(std::move(content));
    return content;
}

TEST(PreviewSource, ReadsOnlyBelowADocumentGroupFoundWithinSixLevels)
{
    const SimElement group = documentGroup({ viewerText("Inside the document", Rect(0, 100, 400, 20)),
                                             SimElement("AXScrollBar").frame(Rect(880, 0, 20, 800)).child(
                                                 viewerText("Scroll bar label", Rect(0, 0, 400, 20))) });
    const SimElement outside = viewerText("Toolbar text outside", Rect(0, 0, 400, 20));

    EXPECT_EQ(readViewer(viewerDesktop(previewID, { outside, nestedInGroups(group, 5) }), previewID).texts,
              std::vector<std::string> { "Inside the document" });
    EXPECT_FALSE(readViewer(viewerDesktop(previewID, { outside, nestedInGroups(group, 6) }), previewID).found);
    EXPECT_FALSE(readViewer(viewerDesktop(previewID, { outside }), previewID).found);
    EXPECT_FALSE(readViewer(viewerDesktop(previewID, { documentGroup({ viewerText("ab", Rect(0, 0, 400, 20)) }) }), previewID).found);
}

TEST(PDFgearSource, ReadsOnlyInsidePagesAndSkipsTablesAndScrollBars)
{
    const std::string longText = "A long text outside every page, written wide enough to pass every other rule";
    auto desktop = viewerDesktop(
        pdfgearID, { viewerText(longText, Rect(0, 0, 800, 20)),
                     SimElement("AXGroup").frame(Rect(0, 30, 900, 700)).child(viewerPage({
                         SimElement("AXGroup").frame(Rect(0, 0, 900, 40)).child(viewerText("Nested in the page", Rect(0, 0, 400, 20))),
                         SimElement("AXTable").frame(Rect(0, 50, 900, 40)).child(viewerText("A table cell", Rect(0, 0, 400, 20))),
                         SimElement("AXScrollBar").frame(Rect(0, 100, 900, 40)).child(viewerText("Scroll label", Rect(0, 0, 400, 20))),
                         viewerText("Directly in the page", Rect(0, 150, 400, 20)),
                     })) });
    EXPECT_EQ(readViewer(desktop, pdfgearID).texts, (std::vector<std::string> { "Nested in the page", "Directly in the page" }));
    EXPECT_FALSE(readViewer(viewerDesktop(pdfgearID, { viewerText(longText, Rect(0, 0, 800, 20)) }), pdfgearID).found);
}

TEST(PDFViewerSources, WithoutAFocusedWindowTheFirstWindowIsRead)
{
    ViewerWindow notMain;
    notMain.main = false;
    EXPECT_EQ(readViewer(viewerDesktop(previewID, { documentGroup({ viewerText("Body text", Rect(0, 0, 400, 20)) }) }, notMain), previewID).texts,
              std::vector<std::string> { "Body text" });
    EXPECT_EQ(readViewer(viewerDesktop(pdfgearID, { viewerPage({ viewerText("Body text", Rect(0, 0, 400, 20)) }) }, notMain), pdfgearID).texts,
              std::vector<std::string> { "Body text" });
}

TEST(PDFViewerSources, TheFixturesReadAsTheirViewersShowThem)
{
    {
        auto desktop = viewerFixtureDesktop("preview-document.json");
        const ViewerReading reading = readViewer(desktop, previewID);
        EXPECT_EQ(reading.title, "Report.pdf");
        EXPECT_THAT(reading.texts,
                    ElementsAre("Draft for the library board", "Quarterly Report on Reading Habits",
                                "Over the last three months the library lent more audio books than printed ones for the first time since it opened.",
                                "Readers told us they listen while they walk or cook, and that they come back to the printed copy for the chapters they liked best.",
                                "读者说，他们在走路或做饭的时候听书，然后再翻开纸质书重读最喜欢的章节。"));
        EXPECT_THAT(reading.indices, ElementsAre(0, 1, 2, 3, 4));

        Platform::ScopedServices services(desktop->services());
        auto session = PreviewSource::detect(previewID);
        ASSERT_TRUE(session);
        const auto paragraphs = session->paragraphs();
        ASSERT_EQ(paragraphs.size(), 5u);
        EXPECT_EQ(session->windowElement(), desktop->element("preview-window"));
        EXPECT_EQ(paragraphs[1].axElement, desktop->element("heading"));
        EXPECT_EQ(paragraphs[1].frame, AXReader::rect(desktop->element("heading")));
        EXPECT_EQ(paragraphs[1].role, "AXStaticText");
        EXPECT_FALSE(paragraphs[1].boundsDisabled);
        EXPECT_FALSE(paragraphs[1].nativeCharOffset);
        EXPECT_FALSE(PDFgearSource::detect(previewID));
    }
    {
        auto desktop = viewerFixtureDesktop("pdfgear-document.json");
        const ViewerReading reading = readViewer(desktop, pdfgearID);
        EXPECT_EQ(reading.title, "Paper.pdf");
        EXPECT_THAT(reading.texts,
                    ElementsAre("Listening to Books",
                                "We asked two hundred readers how they listen to books and when they go back to the printed page.",
                                "Most readers listen on the move and read at home; few do both with the same book on the same day.",
                                "The survey ran for six weeks in three public libraries, on paper and online.", "12a"));
        Platform::ScopedServices services(desktop->services());
        EXPECT_FALSE(PreviewSource::detect(pdfgearID));
        EXPECT_FALSE(PDFgearSource::detect("com.pdfeditor.PDFEditorMac"));
    }
}

TEST(PDFViewerSources, TakeTheirPlacesInTheRegistry)
{
    std::vector<std::string> names;
    for (const auto& source : DocumentSourceRegistry::sources())
        names.push_back(source.name);
    ASSERT_GE(names.size(), 3u);
    EXPECT_THAT(std::vector<std::string>(names.begin(), names.begin() + 3),
                ElementsAreArray({ "WeChatArticleSource", "PreviewSource", "PDFgearSource" }));
    EXPECT_TRUE(DocumentSourceRegistry::allBundleIDs().contains(previewID));
    EXPECT_TRUE(DocumentSourceRegistry::allBundleIDs().contains(pdfgearID));
    // Nothing running: no session, and no source borrows another viewer's window.
    EXPECT_FALSE(readViewer(SimDesktop::create(), previewID).found);
    EXPECT_FALSE(readViewer(viewerDesktop(previewID, { documentGroup({ viewerText("Body text", Rect(0, 0, 400, 20)) }) }), "com.apple.preview").found);
}

} // namespace
} // namespace lorvantine
