#include "Core/SelectionReader.h"
#include "Selection/SelectionTest.h"

#include <gmock/gmock.h>

namespace lorvantine::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string editorText = "0123456789abcdefghijKLMNOPQRSTUVWXYZ and more text after it";

class SelectionReaderTest : public SelectionTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override { return SimDesktop::create(oneWindowFixture()); }

    // A focused text area of the window with fixed selection answers.
    AXElement addEditor(const std::function<void(SimElement&)>& configure)
    {
        SimElement editor("AXTextArea", editorText);
        editor.named("editor");
        editor.position = Point { 20, 40 };
        editor.width = 500;
        editor.focused = true;
        configure(editor);
        return desktop->addElement(desktop->element("window"), editor);
    }
    std::optional<Rect> boundsOf(const AXElement& element, AXRange range)
    {
        return readParameterized<Rect>(ax(), element, "AXBoundsForRange", range);
    }
};

TEST_F(SelectionReaderTest, ReadsTheSelectionPreferringTheElementsTextForTheRange)
{
    struct Case {
        const char* name;
        std::function<void(SimElement&)> configure;
        std::optional<std::string> text; // none: no selection
        AXRange range;
        bool hasRect;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases {
        { "the selected text matches its range",
          [](SimElement& e) { e.with("AXSelectedText", std::string("abcde")).with("AXSelectedTextRange", AXRange { 10, 5 }); },
          "abcde", { 10, 5 }, true,
          { "[SelectionReader:diag] range.len=5 selected(cnt=5 u16=5) stringForRange(cnt=5 u16=5)" } },
        { "selected text shorter than its range: the element's text for the range",
          [](SimElement& e) {
              e.with("AXSelectedText", std::string("0123456789abcdefghij")).with("AXSelectedTextRange", AXRange { 0, 21 });
          },
          "0123456789abcdefghijK", { 0, 21 }, true,
          { "[SelectionReader:diag] range.len=21 selected(cnt=20 u16=20) stringForRange(cnt=21 u16=21)" } },
        { "neither text fits the range: the selected text and a warning",
          [](SimElement& e) {
              e.with("AXSelectedText", std::string("0123456789")).with("AXSelectedTextRange", AXRange { 0, 12 })
                  .failing("AXStringForRange", AXError::noValue);
          },
          "0123456789", { 0, 12 }, true,
          { "[SelectionReader:diag] range.len=12 selected(cnt=10 u16=10) stringForRange(cnt=-1 u16=-1)",
            "[SelectionReader] ⚠ selected u16 ≠ range.len，AXStringForRange 也失败 → 子高亮可能错位" } },
        { "no range: the whole selected text from 0",
          [](SimElement& e) { e.with("AXSelectedText", std::string("0123")).failing("AXSelectedTextRange", AXError::attributeUnsupported); },
          "0123", { 0, 4 }, true,
          { "[SelectionReader:diag] range.len=4 selected(cnt=4 u16=4) stringForRange(cnt=4 u16=4)" } },
        { "a range of another type is no range",
          [](SimElement& e) { e.with("AXSelectedText", std::string("0123")).with("AXSelectedTextRange", std::string("0-4")); },
          "0123", { 0, 4 }, true,
          { "[SelectionReader:diag] range.len=4 selected(cnt=4 u16=4) stringForRange(cnt=4 u16=4)" } },
        { "no bounds for the range",
          [](SimElement& e) {
              e.with("AXSelectedText", std::string("abcde")).with("AXSelectedTextRange", AXRange { 10, 5 })
                  .failing("AXBoundsForRange", AXError::noValue);
          },
          "abcde", { 10, 5 }, false,
          { "[SelectionReader:diag] range.len=5 selected(cnt=5 u16=5) stringForRange(cnt=5 u16=5)" } },
        { "an empty selection", [](SimElement& e) { e.with("AXSelectedText", std::string("")); }, std::nullopt, {}, false, {} },
        { "a selection that is not text", [](SimElement& e) { e.with("AXSelectedText", int64_t(3)); }, std::nullopt, {}, false, {} },
        { "no selection attribute", [](SimElement& e) { e.failing("AXSelectedText", AXError::noValue); }, std::nullopt, {}, false, {} },
        { "no focused element", [](SimElement& e) { e.focused = false; e.with("AXSelectedText", std::string("abc")); },
          std::nullopt, {}, false, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.clear();
        const AXElement editor = addEditor(c.configure);
        const auto selection = SelectionReader::readCurrentSelection();
        ASSERT_EQ(selection.has_value(), c.text.has_value());
        if (selection) {
            EXPECT_EQ(selection->text, *c.text);
            EXPECT_EQ(selection->element, editor);
            EXPECT_EQ(selection->range, c.range);
            EXPECT_EQ(selection->rect, c.hasRect ? boundsOf(editor, c.range) : std::nullopt);
            if (c.hasRect) {
                EXPECT_TRUE(selection->rect);
            }
        }
        EXPECT_EQ(log.lines(), c.lines);
        desktop->removeElement(editor);
    }
}

TEST_F(SelectionReaderTest, StartsOneParagraphOfTheTrimmedSelection)
{
    const AXElement editor = addEditor([](SimElement&) {});
    const Rect anchor(120, 90, 200, 18);
    ASSERT_TRUE(SelectionReader::start("  Hello world\n", editor, AXRange { 10, 13 }, anchor, *reader));
    ASSERT_TRUE(reader->isReading());
    ASSERT_EQ(reader->paragraphs().size(), 1u);
    const ArticleParagraph& p = reader->paragraphs().front();
    EXPECT_EQ(p.text, "Hello world");
    EXPECT_EQ(p.role, "Selection");
    EXPECT_EQ(p.frame, anchor);
    EXPECT_EQ(p.element, editor);
    EXPECT_EQ(p.nativeCharOffset, 12);
    EXPECT_FALSE(p.boundsDisabled);
    EXPECT_FALSE(p.ocrWordBboxes);
    EXPECT_TRUE(log.contains("[SelectionReader] ▶ 11 字符, highlight=AX, bundle=com.example.Reader"));

    // A reading already running is left alone.
    EXPECT_FALSE(SelectionReader::start("other text", editor, AXRange { 0, 10 }, std::nullopt, *reader));
    EXPECT_EQ(reader->paragraphs().front().text, "Hello world");
}

TEST_F(SelectionReaderTest, HighlightsOnlyWhereTheElementGivesBounds)
{
    const AXElement plain = addEditor([](SimElement& e) { e.failing("AXBoundsForRange", AXError::parameterizedAttributeUnsupported); });
    const Rect anchor(10, 20, 30, 40);
    ASSERT_TRUE(SelectionReader::start("text here", plain, AXRange { 3, 9 }, anchor, *reader));
    const ArticleParagraph& p = reader->paragraphs().front();
    EXPECT_FALSE(p.element);
    EXPECT_FALSE(p.nativeCharOffset);
    EXPECT_TRUE(p.boundsDisabled);
    EXPECT_EQ(p.frame, anchor);
    EXPECT_TRUE(log.contains("highlight=off"));
    reader->stop();

    // A text alone reads into the front application's focused window, at no place.
    ASSERT_TRUE(SelectionReader::start("just a text", std::nullopt, std::nullopt, std::nullopt, *reader));
    const ArticleParagraph& q = reader->paragraphs().front();
    EXPECT_EQ(q.frame, Rect());
    EXPECT_TRUE(q.boundsDisabled);
    EXPECT_FALSE(q.element);
}

TEST_F(SelectionReaderTest, TitlesAreTheFirstFortyCharacters)
{
    const std::vector<std::pair<std::string, std::string>> cases {
        { std::string(40, 'a'), std::string(40, 'a') },
        { std::string(41, 'b'), std::string(40, 'b') + "\u2026" },
        { std::string(39, 'c') + " d" + std::string(10, 'e'), std::string(39, 'c') + "\u2026" },
    };
    for (const auto& [text, title] : cases) {
        log.clear();
        ASSERT_TRUE(SelectionReader::start(text, std::nullopt, std::nullopt, std::nullopt, *reader));
        EXPECT_TRUE(log.contains("[ArticleReader] ▶ \"" + title + "\" — 1 段")) << title;
        reader->stop();
    }
}

TEST_F(SelectionReaderTest, RefusesBlankTextsAndMissingWindows)
{
    EXPECT_FALSE(SelectionReader::start(" \n\t ", std::nullopt, std::nullopt, std::nullopt, *reader));
    EXPECT_THAT(log.lines(), ElementsAre("[SelectionReader] ⚠️ 空选区，忽略"));
    EXPECT_FALSE(reader->isReading());

    log.clear();
    desktop->closeWindow(42);
    RunLoop::runPending();
    EXPECT_FALSE(SelectionReader::start("some text", std::nullopt, std::nullopt, std::nullopt, *reader));
    EXPECT_THAT(log.lines(), ElementsAre("[SelectionReader] ❌ 找不到承载 window，无法朗读"));
    EXPECT_FALSE(reader->isReading());
}

} // namespace
} // namespace lorvantine::test
