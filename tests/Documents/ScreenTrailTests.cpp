#include "Documents/ScreenTrail.h"

#include "Documents/PageWords.h"
#include "Support/Text.h"

#include <gmock/gmock.h>

#include <numeric>

namespace lorvantine {
namespace {

// A document as a word processor lays it out: lines 20 points high, 6 apart inside a paragraph
// and 22 apart between paragraphs, the first at `top` (document points).
struct Document {
    std::vector<std::vector<std::string>> paragraphs; // each a list of lines
    double top = 40;

    double lineTop(size_t paragraph, size_t line) const
    {
        double y = top;
        for (size_t p = 0; p < paragraph; ++p)
            y += 26.0 * static_cast<double>(paragraphs[p].size()) - 6 + 22;
        return y + 26.0 * static_cast<double>(line);
    }
    double height() const { return lineTop(paragraphs.size(), 0) + 40; }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const auto& lines : paragraphs)
            out.push_back(Text::joined(lines, " "));
        return out;
    }
};

constexpr double areaTop = 195;
constexpr double areaHeight = 600;

ScrollPosition at(double offset) { return ScrollPosition { areaTop - offset, Rect(140, areaTop, 760, areaHeight) }; }

ArticleParagraph recognised(const std::vector<RecognizedWord>& words)
{
    PageWords::Joined joined = PageWords::join(words);
    ArticleParagraph paragraph;
    paragraph.text = joined.text;
    paragraph.frame = PageWords::unionOf(words);
    paragraph.role = "body";
    paragraph.tightFrameYOffset = paragraph.frame.minY() - areaTop;
    paragraph.tightFrameHeight = paragraph.frame.height();
    paragraph.boundsDisabled = true;
    paragraph.ocrWordBboxes = joined.entries;
    return paragraph;
}

// What recognition reads with the document scrolled `offset` points: every line whose middle is in
// the scroll area, each paragraph's visible lines as one paragraph, in screen points.
std::vector<ArticleParagraph> screenAt(const Document& document, double offset)
{
    std::vector<ArticleParagraph> screen;
    for (size_t p = 0; p < document.paragraphs.size(); ++p) {
        std::vector<RecognizedWord> words;
        for (size_t l = 0; l < document.paragraphs[p].size(); ++l) {
            const double y = document.lineTop(p, l) - offset + areaTop;
            if (y + 10 < areaTop || y + 10 > areaTop + areaHeight)
                continue;
            double x = 160;
            for (const std::string& word : Text::splitOnWhitespace(document.paragraphs[p][l])) {
                const double width = 9.0 * static_cast<double>(Text::characterCount(word));
                words.push_back({ word, Rect(x, y, width, 20) });
                x += width + 6;
            }
        }
        if (!words.empty())
            screen.push_back(recognised(words));
    }
    return screen;
}

std::vector<std::string> textsOf(const std::vector<ArticleParagraph>& paragraphs)
{
    std::vector<std::string> texts;
    for (const ArticleParagraph& paragraph : paragraphs)
        texts.push_back(paragraph.text);
    return texts;
}

// Reads `document` from the top, pressing on by `step` points (the last press moves what is
// left) until a press moves nothing; the held paragraph goes with the end.
std::vector<std::string> readThrough(const Document& document, double step)
{
    ScreenTrail trail;
    std::vector<std::string> heard;
    const double range = std::max(0.0, document.height() - areaHeight);
    for (double offset = 0;; offset = std::min(offset + step, range)) {
        if (trail.isAt(at(offset))) {
            if (auto held = trail.release())
                heard.push_back(held->text);
            break;
        }
        auto added = textsOf(trail.advance(screenAt(document, offset), at(offset)));
        heard.insert(heard.end(), added.begin(), added.end());
    }
    return heard;
}

std::vector<std::string> linesOf(const std::string& prefix, int count)
{
    std::vector<std::string> lines;
    for (int i = 1; i <= count; ++i)
        lines.push_back(prefix + " line " + std::to_string(i) + " of " + std::to_string(count) + " runs on here");
    return lines;
}

TEST(ScreenTrail, EveryParagraphIsHandedOutOnceAndWholeWhateverThePressesMove)
{
    Document report;
    const int sizes[] = { 1, 4, 6, 3, 8, 2, 5, 7, 1, 4, 6, 3, 5, 2, 6, 4, 7, 3, 2, 5, 1, 6 };
    for (size_t i = 0; i < std::size(sizes); ++i)
        report.paragraphs.push_back(linesOf("Paragraph " + std::to_string(i + 1), sizes[i]));
    ASSERT_GT(report.height(), 4 * areaHeight);
    // The viewport less two lines (Page Down), less three, a whole viewport (screens that do not
    // overlap), half of one, and a step that leaves a sliver for the last press.
    for (double step : { 548.0, 522.0, 600.0, 300.0, 571.0 }) {
        SCOPED_TRACE(step);
        EXPECT_EQ(readThrough(report, step), report.texts());
    }
}

TEST(ScreenTrail, TheParagraphAtTheFootIsHeldUntilAScreenShowsHowItGoesOn)
{
    Document document { { linesOf("Opening", 3), linesOf("Middle", 13), linesOf("Cut", 6), linesOf("After", 2) } };
    // Four lines of "Cut" show, the fourth in the area's last line: held, not handed out.
    ScreenTrail trail;
    auto first = trail.advance(screenAt(document, 0), at(0));
    EXPECT_EQ(textsOf(first), (std::vector<std::string> { document.texts()[0], document.texts()[1] }));
    EXPECT_TRUE(trail.isHolding());

    // A press of 548 points: its first lines are gone above the area, the rest goes on from them.
    auto next = ScreenTrail::placed(trail.advance(screenAt(document, 548), at(548)), at(548));
    ASSERT_EQ(next.size(), 2u);
    EXPECT_EQ(next[0].text, document.texts()[2]);
    EXPECT_EQ(next[1].text, document.texts()[3]);
    EXPECT_FALSE(trail.isHolding());
    EXPECT_EQ(trail.lastRepeats(), 0);
    // Its words above the area have no box; the frame is the part on screen.
    const auto& words = *next[0].ocrWordBboxes;
    EXPECT_EQ(words.front().screenRect.height(), 0);
    EXPECT_EQ(words.back().screenRect.height(), 20);
    Rect shown;
    for (const OCRWordEntry& word : words)
        shown = shown.united(word.screenRect);
    EXPECT_EQ(next[0].frame, shown);
    EXPECT_GT(shown.minY(), areaTop - 10);
    EXPECT_EQ(Text::characterCount(next[0].text), static_cast<size_t>(words.back().charEnd));
}

TEST(ScreenTrail, AHeldParagraphThatEndedAtTheFootGoesBeforeWhatFollowsAndAtTheEndAlone)
{
    // "Ends" stops in the area's last line: maybe cut, so held. The next screen (a whole viewport
    // on, no overlap) opens with the paragraph after it.
    Document document { { linesOf("Opening", 10), linesOf("Middle", 8), linesOf("Ends", 2), linesOf("After", 9) } };
    ScreenTrail trail;
    trail.advance(screenAt(document, 0), at(0));
    ASSERT_TRUE(trail.isHolding());
    auto next = textsOf(trail.advance(screenAt(document, 600), at(600)));
    ASSERT_GE(next.size(), 2u);
    EXPECT_EQ(next[0], document.texts()[2]);
    EXPECT_EQ(next[1], document.texts()[3]);

    // A document that ends with its last line at the foot: the press moves nothing, the held
    // paragraph is all that is left.
    Document short_ { { linesOf("Opening", 6), linesOf("Last", 15) } };
    ScreenTrail end;
    EXPECT_EQ(textsOf(end.advance(screenAt(short_, 0), at(0))), std::vector<std::string> { short_.texts()[0] });
    EXPECT_TRUE(end.isAt(at(0)));
    auto held = end.release();
    ASSERT_TRUE(held);
    EXPECT_EQ(held->text, short_.texts()[1]);
    EXPECT_FALSE(end.release());
}

// `screen` as recognition reads it where a gap measured otherwise than on the screen before cuts
// its paragraph `index` into two, before its words at `y` (screen points) and below.
std::vector<ArticleParagraph> cutBefore(std::vector<ArticleParagraph> screen, size_t index, double y)
{
    std::vector<RecognizedWord> upper, lower;
    for (const OCRWordEntry& word : *screen[index].ocrWordBboxes)
        (word.screenRect.minY() < y ? upper : lower).push_back({ word.text, word.screenRect });
    screen[index] = recognised(upper);
    screen.insert(screen.begin() + static_cast<std::ptrdiff_t>(index) + 1, recognised(lower));
    return screen;
}

TEST(ScreenTrail, AHeldParagraphIsNotHandedOutAgainWhereTheNextScreenCutsItInTwo)
{
    // The rows of a long table or list, evenly spaced, make paragraphs cut wherever a screen's own
    // gaps say. "Rows" is held at the first screen's foot; the next shows its last three lines,
    // the last two as a paragraph of their own.
    Document document { { linesOf("Opening", 14), linesOf("Rows", 8), linesOf("After", 4) } };
    ScreenTrail trail;
    trail.advance(screenAt(document, 0), at(0));
    ASSERT_TRUE(trail.isHolding());
    const double seventhRow = document.lineTop(1, 6) - 548 + areaTop;
    auto next = textsOf(trail.advance(cutBefore(screenAt(document, 548), 0, seventhRow), at(548)));
    // Every line once, in order, however the paragraphs fall.
    EXPECT_EQ(Text::joined(next, " "), document.texts()[1] + " " + document.texts()[2]);
    EXPECT_EQ(next.front(), document.texts()[1]);
}

TEST(ScreenTrail, PlacedParagraphsOutsideTheAreaHaveNoPlace)
{
    Document document { { linesOf("Title", 1), linesOf("Body", 3) } };
    ScreenTrail trail;
    auto read = trail.advance(screenAt(document, 0), at(0));
    ASSERT_EQ(read.size(), 2u);
    // The document moved 60 points: the title is above the area, the body still on it.
    auto placed = ScreenTrail::placed(read, at(60));
    EXPECT_TRUE(placed[0].frame.isEmpty());
    EXPECT_EQ(placed[0].frame.origin.y, areaTop); // it left by the top, and still tells the screen
    EXPECT_FALSE(placed[0].ocrWordBboxes);
    EXPECT_FALSE(placed[0].tightFrameYOffset);
    EXPECT_EQ(placed[1].frame, Rect(read[1].frame.minX(), read[1].frame.minY() - 60 + areaTop, read[1].frame.width(), read[1].frame.height()));
    EXPECT_EQ(*placed[1].tightFrameYOffset, placed[1].frame.minY() - areaTop);
    EXPECT_EQ(placed[1].text, read[1].text);

    // Paragraphs without word boxes keep the part of their frame in the area.
    ArticleParagraph plain;
    plain.text = "A paragraph read without recognition";
    plain.frame = Rect(160, 500, 400, 200);
    EXPECT_EQ(ScreenTrail::placed({ plain }, at(0)).front().frame, Rect(160, 695, 400, 100));
    EXPECT_TRUE(ScreenTrail::placed({ plain }, at(1000)).front().frame.isEmpty());
    EXPECT_EQ(ScreenTrail::placed({ plain }, at(-1000)).front().frame.origin.y, areaTop + areaHeight);
}

} // namespace
} // namespace lorvantine
