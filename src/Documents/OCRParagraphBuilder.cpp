#include "Documents/OCRParagraphBuilder.h"

#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <regex>
#include <string_view>

namespace lorvantine::OCRParagraphBuilder {

namespace {

using Line = std::vector<RecognizedWord>;
using Paragraph = std::vector<Line>;

constexpr double unmeasurableGap = 100.0;

// What a paragraph under the minimum length must hold to be read all the same: a word ("Yes.",
// "Priya", "Q3"), or ideographs enough for a word ("第一章", "好。"). A single letter or digit is a
// list mark or a speck read as one.
constexpr size_t fewestCharactersOfAWord = 2;
constexpr size_t fewestIdeographs = 2;

// Unlike Rect::united this keeps a box of zero width: a word is never left out of its frame.
Rect unionOf(const std::optional<Rect>& a, const Rect& b)
{
    if (!a)
        return b;
    double x0 = std::fmin(a->minX(), b.minX()), y0 = std::fmin(a->minY(), b.minY());
    double x1 = std::fmax(a->maxX(), b.maxX()), y1 = std::fmax(a->maxY(), b.maxY());
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

double topOf(const Line& line)
{
    double top = std::numeric_limits<double>::infinity();
    for (const RecognizedWord& word : line)
        top = std::fmin(top, word.screenRect.minY());
    return top;
}

double bottomOf(const Line& line)
{
    double bottom = -std::numeric_limits<double>::infinity();
    for (const RecognizedWord& word : line)
        bottom = std::fmax(bottom, word.screenRect.maxY());
    return bottom;
}

double leftOf(const Line& line)
{
    double left = std::numeric_limits<double>::infinity();
    for (const RecognizedWord& word : line)
        left = std::fmin(left, word.screenRect.minX());
    return left;
}

double rightOf(const Line& line)
{
    double right = -std::numeric_limits<double>::infinity();
    for (const RecognizedWord& word : line)
        right = std::fmax(right, word.screenRect.maxX());
    return right;
}

double gapBetween(const Line& upper, const Line& lower) { return topOf(lower) - bottomOf(upper); }

// Wider than any space between words of one line, in heights of the line's words.
constexpr double columnGapInHeights = 1.5;

// Where the last line of one column and the first of the next lie at one height, their words
// are grouped as one line. They are parted again at the line's widest gap when that gap is a
// column's and the line read next goes on beyond it, as the next column's second line does; a
// table row or a contents entry is followed by a line that starts back on the left and stays whole.
std::vector<Line> partColumnsMetOnOneLine(std::vector<Line> lines)
{
    std::vector<Line> out;
    for (size_t i = 0; i < lines.size(); ++i) {
        Line& line = lines[i];
        size_t cut = 0;
        double widest = 0, leftEnd = 0, height = 0;
        double end = -std::numeric_limits<double>::infinity();
        for (size_t k = 0; k < line.size(); ++k) {
            const Rect& box = line[k].screenRect;
            height = std::fmax(height, box.height());
            if (k > 0 && box.minX() - end > widest) {
                widest = box.minX() - end;
                cut = k;
                leftEnd = end;
            }
            end = std::fmax(end, box.maxX());
        }
        if (cut > 0 && widest > columnGapInHeights * height && i + 1 < lines.size() && leftOf(lines[i + 1]) > leftEnd) {
            out.emplace_back(line.begin(), line.begin() + static_cast<long>(cut));
            out.emplace_back(line.begin() + static_cast<long>(cut), line.end());
        } else {
            out.push_back(std::move(line));
        }
    }
    return out;
}

// Lines in the order recognition read them: sorting the words by height first would interleave
// the lines of two columns.
std::vector<Line> groupIntoLines(const std::vector<RecognizedWord>& words)
{
    std::vector<Line> lines;
    for (const RecognizedWord& word : words) {
        if (!lines.empty()) {
            const Rect& last = lines.back().back().screenRect;
            if (std::fabs(word.screenRect.midY() - last.midY()) < 0.6 * std::fmax(last.height(), word.screenRect.height())) {
                lines.back().push_back(word);
                continue;
            }
        }
        lines.push_back({word});
    }
    for (Line& line : lines) {
        std::stable_sort(line.begin(), line.end(), [](const RecognizedWord& a, const RecognizedWord& b) {
            return a.screenRect.minX() < b.screenRect.minX();
        });
    }
    return partColumnsMetOnOneLine(std::move(lines));
}

double detectParagraphGap(const std::vector<Line>& lines)
{
    if (lines.size() < 2)
        return unmeasurableGap;
    std::vector<double> gaps;
    for (size_t i = 1; i < lines.size(); ++i) {
        double gap = gapBetween(lines[i - 1], lines[i]);
        if (gap > 0)
            gaps.push_back(gap);
    }
    if (gaps.empty())
        return unmeasurableGap;

    std::sort(gaps.begin(), gaps.end());
    double median = gaps[gaps.size() / 2];
    double base = std::fmax(1.5 * median, 8.0);
    if (gaps.size() < 3) {
        // One or two gaps tell line spacing from paragraph spacing apart no better than each other:
        // the last lines of a document over the page number far below them would be one paragraph.
        // Lines of one paragraph stand at most a line or so apart, however widely they are set.
        std::vector<double> heights;
        for (const Line& line : lines)
            heights.push_back(bottomOf(line) - topOf(line));
        std::sort(heights.begin(), heights.end());
        return std::fmax(std::fmin(base, 2 * heights[heights.size() / 2]), 8.0);
    }

    // The paragraph break is the biggest step up from ordinary line spacing.
    double bestJump = 0, midpoint = 1.5 * median;
    for (size_t i = 1; i < gaps.size(); ++i) {
        if (!(gaps[i] > 1.2 * median))
            continue;
        double jump = gaps[i] - gaps[i - 1];
        if (jump > bestJump) {
            bestJump = jump;
            midpoint = (gaps[i - 1] + gaps[i]) / 2;
        }
    }
    if (!(bestJump > 0.3 * median))
        return base;

    double threshold = std::fmin(midpoint, 2.5 * median);
    Log::line("[OCR] gap 断裂点: threshold=" + Format::fixed(threshold, 1) + "pt (median=" + Format::fixed(median, 1)
              + ", jump=" + Format::fixed(bestJump, 1) + ", raw=" + Format::fixed(midpoint, 1) + ")");
    return std::fmax(threshold, 4.0);
}

// A line wholly above the one before it starts the next column; so does a line that starts right
// of where the one before it ends, level with it or below it: within a column a line that goes on
// a paragraph starts under the full line before it, and one that starts beyond a short last
// line opens a paragraph of its own.
bool startsColumn(const Line& previous, const Line& line)
{
    return !(bottomOf(line) > topOf(previous)) || leftOf(line) > rightOf(previous);
}

std::vector<Paragraph> mergeLinesToParagraphs(const std::vector<Line>& lines, double gapThreshold)
{
    std::vector<Paragraph> paragraphs;
    for (const Line& line : lines) {
        if (!paragraphs.empty() && !(gapBetween(paragraphs.back().back(), line) > gapThreshold)
            && !startsColumn(paragraphs.back().back(), line))
            paragraphs.back().push_back(line);
        else
            paragraphs.push_back({line});
    }
    return paragraphs;
}

void splitInto(const Paragraph& paragraph, size_t maxLines, std::vector<Paragraph>& out)
{
    if (paragraph.size() <= maxLines) {
        out.push_back(paragraph);
        return;
    }
    size_t cut = 1;
    double widest = gapBetween(paragraph[0], paragraph[1]);
    for (size_t i = 2; i < paragraph.size(); ++i) {
        double gap = gapBetween(paragraph[i - 1], paragraph[i]);
        if (gap > widest) {
            widest = gap;
            cut = i;
        }
    }
    splitInto(Paragraph(paragraph.begin(), paragraph.begin() + static_cast<long>(cut)), maxLines, out);
    splitInto(Paragraph(paragraph.begin() + static_cast<long>(cut), paragraph.end()), maxLines, out);
}

std::vector<Paragraph> splitLongParagraphs(const std::vector<Paragraph>& paragraphs, size_t maxLines)
{
    std::vector<Paragraph> out;
    for (const Paragraph& paragraph : paragraphs)
        splitInto(paragraph, maxLines, out);
    return out;
}

// What a short text is made of, for telling words from numbers and marks.
enum class Kind { letter, digit, ideograph, other };

Kind kindOf(char32_t c)
{
    const auto scalar = static_cast<UChar32>(c);
    if (u_hasBinaryProperty(scalar, UCHAR_IDEOGRAPHIC))
        return Kind::ideograph;
    if (u_isdigit(scalar))
        return Kind::digit;
    if (u_isalpha(scalar))
        return Kind::letter;
    return Kind::other;
}

struct Run {
    Kind kind;
    std::u32string scalars;
};

// A text's runs of letters, of digits and of ideographs; white space, punctuation and symbols
// part them and are left out.
std::vector<Run> runsOf(const std::string& text)
{
    std::vector<Run> runs;
    Kind previous = Kind::other;
    for (char32_t c : Text::scalars(text)) {
        const Kind kind = kindOf(c);
        if (kind != Kind::other) {
            if (kind != previous)
                runs.push_back({kind, {}});
            runs.back().scalars += c;
        }
        previous = kind;
    }
    return runs;
}

constexpr char32_t sentenceEnds[] = U"。！？!?.…";

// Front matter is numbered i, ii, iii...: lower-case Roman numerals up to c.
bool isSmallRomanNumeral(const std::u32string& run)
{
    std::string ascii;
    for (char32_t c : run) {
        if (std::u32string_view(U"ivxlc").find(c) == std::u32string_view::npos)
            return false;
        ascii += static_cast<char>(c);
    }
    static const std::regex numeral("c{0,3}(xc|xl|l?x{0,3})(ix|iv|v?i{0,3})");
    return std::regex_match(ascii, numeral);
}

// 第三页, 第3页: Chinese numerals between the words that make them a page's number.
bool isChinesePageNumber(std::u32string run)
{
    const bool opened = run.starts_with(U'第') || run.starts_with(U'共');
    if (opened)
        run.erase(0, 1);
    const bool closed = run.ends_with(U'页') || run.ends_with(U'頁');
    if (closed)
        run.pop_back();
    return (opened || closed) && !run.empty()
        && run.find_first_not_of(U"〇零一二三四五六七八九十百千两") == std::u32string::npos;
}

bool isPageWord(const Run& run)
{
    static const std::u32string words[] = {U"page", U"pages", U"pg", U"p", U"pp", U"of", U"第", U"页", U"頁", U"共"};
    std::u32string lower;
    for (char32_t c : run.scalars)
        lower += static_cast<char32_t>(u_tolower(static_cast<UChar32>(c)));
    return std::find(std::begin(words), std::end(words), lower) != std::end(words);
}

// A time, an amount or a measure ("10:00", "£4.60", "2.5", "1,200"), such as a table's cell
// standing on a line of its own beside a cell that runs on: a page's number is neither joined to
// another by a colon or a point, nor money.
bool isQuantity(const std::string& text)
{
    const std::u32string scalars = Text::scalars(text);
    for (size_t i = 0; i < scalars.size(); ++i) {
        const auto scalar = static_cast<UChar32>(scalars[i]);
        if (u_charType(scalar) == U_CURRENCY_SYMBOL)
            return true;
        if (i > 0 && i + 1 < scalars.size() && std::u32string_view(U":.,").find(scalars[i]) != std::u32string_view::npos
            && u_isdigit(static_cast<UChar32>(scalars[i - 1])) && u_isdigit(static_cast<UChar32>(scalars[i + 1])))
            return true;
    }
    return false;
}

// "3", "- 12 -", "Page 3", "p. 3 of 9", "第 3 页", "第三页", "iv": numbers, and nothing else but
// the words that say they number a page.
bool isPageNumber(const std::string& text)
{
    if (isQuantity(text))
        return false;
    bool numbered = false;
    for (const Run& run : runsOf(text)) {
        const bool number = run.kind == Kind::digit || (run.kind == Kind::letter && isSmallRomanNumeral(run.scalars))
            || (run.kind == Kind::ideograph && isChinesePageNumber(run.scalars));
        if (!number && !isPageWord(run))
            return false;
        numbered = numbered || number;
    }
    return numbered;
}

} // namespace

bool holdsWords(const std::string& text)
{
    if (isPageNumber(text))
        return false;
    size_t ideographs = 0;
    bool endsSentence = false;
    for (const std::string& token : Text::splitOnWhitespace(text)) {
        size_t written = 0;
        for (char32_t c : Text::scalars(token)) {
            switch (kindOf(c)) {
            case Kind::ideograph:
                ++ideographs;
                break;
            case Kind::letter:
            case Kind::digit:
                ++written;
                break;
            case Kind::other:
                endsSentence = endsSentence || std::u32string_view(sentenceEnds).find(c) != std::u32string_view::npos;
                break;
            }
        }
        if (written >= fewestCharactersOfAWord)
            return true;
    }
    // One ideograph alone is as often a mark read as one (a rule as 一, a box as 口) as a word; a
    // reply ends its sentence.
    return ideographs >= fewestIdeographs || (ideographs == 1 && endsSentence);
}

std::vector<ReadableParagraph> buildParagraphs(const std::vector<RecognizedWord>& words, const Rect& contentRect,
                                               int minParagraphLength)
{
    if (words.empty())
        return {};
    std::vector<Line> lines = groupIntoLines(words);
    if (lines.empty())
        return {};
    double threshold = detectParagraphGap(lines);
    std::vector<Paragraph> paragraphs = splitLongParagraphs(mergeLinesToParagraphs(lines, threshold), 8);

    std::vector<ReadableParagraph> out;
    size_t totalCharacters = 0;
    for (const Paragraph& paragraph : paragraphs) {
        std::vector<RecognizedWord> flat;
        for (const Line& line : paragraph)
            flat.insert(flat.end(), line.begin(), line.end());
        if (flat.empty())
            continue;

        std::vector<std::string> texts;
        for (const RecognizedWord& word : flat)
            texts.push_back(word.text);
        std::string text = Text::joined(texts, " ");
        size_t length = Text::characterCount(text);
        if (length < static_cast<size_t>(std::max(minParagraphLength, 0)) && !holdsWords(text))
            continue;

        // Spans are counted on the joined text: a word that starts with a combining mark forms
        // one Character with the space before it, so counting each word apart would drift.
        std::vector<size_t> characterStarts;
        size_t byte = 0;
        for (const std::string& character : Text::characters(text)) {
            characterStarts.push_back(byte);
            byte += character.size();
        }
        auto characterAt = [&](size_t at) {
            return static_cast<int>(std::upper_bound(characterStarts.begin(), characterStarts.end(), at) - characterStarts.begin()) - 1;
        };
        std::optional<Rect> frame;
        std::vector<OCRWordEntry> entries;
        size_t wordByte = 0;
        for (const RecognizedWord& word : flat) {
            frame = unionOf(frame, word.screenRect);
            const size_t wordEnd = wordByte + word.text.size();
            const int start = wordByte < text.size() ? characterAt(wordByte) : static_cast<int>(length);
            const int end = word.text.empty() ? start : characterAt(wordEnd - 1) + 1;
            entries.push_back({word.text, start, end, word.screenRect});
            wordByte = wordEnd + 1;
        }

        ArticleParagraph record;
        record.index = static_cast<int>(out.size());
        record.text = std::move(text);
        record.frame = *frame;
        record.role = "body";
        record.tightFrameYOffset = frame->minY() - contentRect.minY();
        record.tightFrameHeight = frame->height();
        record.boundsDisabled = true;
        record.ocrWordBboxes = std::move(entries);
        out.push_back(ReadableParagraph::from(record));
        totalCharacters += length;
    }
    if (!out.empty())
        Log::line("[OCR] 构建 " + std::to_string(out.size()) + " 段落, " + std::to_string(totalCharacters) + " 字符");
    return out;
}

} // namespace lorvantine::OCRParagraphBuilder
