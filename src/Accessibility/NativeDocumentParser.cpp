#include "Accessibility/NativeDocumentParser.h"

#include "Accessibility/AXReader.h"
#include "Support/Text.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace lorvantine::NativeDocumentParser {

namespace {

constexpr std::array<const char*, 12> skippedRoles { "AXButton",   "AXScrollBar", "AXToolbar",     "AXMenuBar",
                                                     "AXMenu",     "AXMenuItem",  "AXImage",       "AXListMarker",
                                                     "AXPopUpButton", "AXCheckBox", "AXRadioButton", "AXSlider" };
constexpr size_t minimumTextAreaCharacters = 11;
constexpr double minimumLineWidth = 20;
constexpr double minimumLineHeight = 4;
constexpr double sameColumnTolerance = 30;

bool isSkippedRole(const std::string& role)
{
    return std::find(skippedRoles.begin(), skippedRoles.end(), role) != skippedRoles.end();
}

std::string nativeRoleOf(const AXElement& element) { return AXReader::attribute(element, "AXRole").value_or(""); }

// One non-blank piece of a text area's value, located in it.
struct ParaInfo {
    int loc = 0;     // UTF-16 offset of its first Character in the value
    int lastLoc = 0; // UTF-16 offset of its last Character
    std::string text;
    Rect firstCharBounds;
};

double upperMedian(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void appendWholeElement(const AXElement& element, const std::string& value, const std::string& role,
                        std::vector<TextLine>& lines)
{
    if (auto frame = AXReader::rect(element))
        lines.push_back({ element, value, *frame, role, std::nullopt });
}

// The value's lines, as pieces between line feeds, blank ones left out. Kept, the carriage
// return of a CRLF break would end every line of such a note and turn its blank lines into
// pieces that are measured and then read as nothing.
std::vector<std::string> nonBlankPieces(const std::string& value)
{
    std::vector<std::string> pieces;
    for (const std::string& line : Text::components(value, "\n")) {
        std::string piece(withoutLineBreak(line));
        if (!Text::trimmingWhitespaces(piece).empty())
            pieces.push_back(std::move(piece));
    }
    return pieces;
}

// Finds each piece in the value in one forward pass and measures its first Character. Locations
// go to accessibility in UTF-16 units, counted along as the search moves forward.
std::vector<ParaInfo> locatePieces(const AXElement& element, const std::string& value,
                                   const std::vector<std::string>& pieces)
{
    std::vector<ParaInfo> located;
    size_t searchStart = 0;
    size_t countedBytes = 0;
    size_t countedUtf16 = 0;
    for (const std::string& piece : pieces) {
        const size_t found = value.find(piece, std::min(searchStart, value.size()));
        if (found == std::string::npos)
            continue;
        countedUtf16 += Text::utf16Count(std::string_view(value).substr(countedBytes, found - countedBytes));
        countedBytes = found;
        const auto loc = static_cast<int>(countedUtf16);
        const std::vector<std::string> characters = Text::characters(piece);
        const auto lastLoc = static_cast<int>(countedUtf16 + Text::utf16Count(piece) - Text::utf16Count(characters.back()));
        if (auto bounds = AXReader::boundsForRange(element, loc, 1))
            located.push_back({ loc, lastLoc, piece, *bounds });
        searchStart = found + piece.size() + 1;
    }
    return located;
}

std::optional<double> lastCharacterBottom(const AXElement& element, const ParaInfo& piece)
{
    if (auto bounds = AXReader::boundsForRange(element, piece.lastLoc, 1))
        return bounds->maxY();
    return std::nullopt;
}

// Line heights: up to the next piece less the leading between lines, and the last piece down to
// its last Character. A height is never below the first piece's Character height.
std::vector<double> pieceHeights(const AXElement& element, const std::vector<ParaInfo>& pieces)
{
    const double charH = pieces.front().firstCharBounds.height();
    const auto lastHeight = [&](const ParaInfo& piece) {
        const auto bottom = lastCharacterBottom(element, piece);
        return bottom ? *bottom - piece.firstCharBounds.minY() : charH;
    };
    std::vector<double> heights;
    if (pieces.size() == 1) {
        heights.push_back(std::max(charH, lastHeight(pieces.front())));
        return heights;
    }
    std::vector<double> gaps;
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
        const double d = pieces[i + 1].firstCharBounds.minY() - pieces[i].firstCharBounds.minY();
        if (d > 0 && d < 2.5 * charH)
            gaps.push_back(d - charH);
    }
    const double leading = gaps.empty() ? 0.5 * charH : upperMedian(gaps);
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
        const double d = pieces[i + 1].firstCharBounds.minY() - pieces[i].firstCharBounds.minY();
        heights.push_back(std::max(charH, d - leading));
    }
    heights.push_back(std::max(charH, lastHeight(pieces.back())));
    return heights;
}

void readTextArea(const AXElement& element, const std::string& role, std::vector<TextLine>& lines)
{
    const std::string value = AXReader::attribute(element, "AXValue").value_or("");
    const auto frame = AXReader::rect(element);
    if (Text::characterCount(value) < minimumTextAreaCharacters || !frame) {
        appendWholeElement(element, value, role, lines);
        return;
    }
    const std::vector<ParaInfo> pieces = locatePieces(element, value, nonBlankPieces(value));
    if (pieces.empty()) {
        if (lines.empty())
            appendWholeElement(element, value, role, lines);
        return;
    }
    const std::vector<double> heights = pieceHeights(element, pieces);
    for (size_t i = 0; i < pieces.size(); ++i) {
        const ParaInfo& piece = pieces[i];
        lines.push_back({ element, piece.text,
                          Rect(frame->minX(), piece.firstCharBounds.minY(), frame->width(), heights[i]),
                          "AXStaticText", piece.loc });
    }
}

bool inSeamRange(char32_t scalar)
{
    return (scalar >= 0x4E00 && scalar <= 0x9FFF) || (scalar >= 0x3400 && scalar <= 0x4DBF)
        || (scalar >= 0x3000 && scalar <= 0x303F) || (scalar >= 0x3040 && scalar <= 0x30FF)
        || (scalar >= 0xFF00 && scalar <= 0xFFEF);
}

bool startsInSeamRange(std::string_view character)
{
    const std::u32string scalars = Text::scalars(character);
    return !scalars.empty() && inSeamRange(scalars.front());
}

// Lines are joined with a space, except where Chinese or Japanese text meets (no spaces there),
// after a hyphen, and where a space is already there.
std::string joiner(const std::string& a, const std::string& b)
{
    const std::vector<std::string> aCharacters = Text::characters(a);
    const std::vector<std::string> bCharacters = Text::characters(b);
    if (!aCharacters.empty() && startsInSeamRange(aCharacters.back()))
        return "";
    if (!bCharacters.empty() && startsInSeamRange(bCharacters.front()))
        return "";
    if (!aCharacters.empty() && (aCharacters.back() == "-" || aCharacters.back() == " "))
        return "";
    if (!bCharacters.empty() && bCharacters.front() == " ")
        return "";
    return " ";
}

} // namespace

void collectTextLines(const AXElement& element, std::vector<TextLine>& lines, int depth, int maxDepth)
{
    if (depth > maxDepth)
        return;
    const std::string role = nativeRoleOf(element);
    if (isSkippedRole(role))
        return;
    if (role == "AXStaticText") {
        const std::string value = AXReader::attribute(element, "AXValue").value_or("");
        if (value.empty())
            return;
        if (auto frame = AXReader::rect(element))
            lines.push_back({ element, value, *frame, role, std::nullopt });
        return;
    }
    const std::vector<AXElement> children = AXReader::rawChildren(element);
    if (role == "AXTextArea"
        && std::none_of(children.begin(), children.end(),
                        [](const AXElement& child) { return nativeRoleOf(child) == "AXStaticText"; })) {
        readTextArea(element, role, lines);
        return;
    }
    for (const AXElement& child : children)
        collectTextLines(child, lines, depth + 1, maxDepth);
}

double computeMedianLineHeight(const std::vector<TextLine>& lines)
{
    if (lines.empty())
        return 16.0;
    std::vector<double> heights;
    heights.reserve(lines.size());
    for (const TextLine& line : lines)
        heights.push_back(line.frame.height());
    return upperMedian(std::move(heights));
}

std::optional<MergedParagraph> buildMergedParagraph(const std::vector<TextLine>& lines, int index)
{
    if (lines.empty())
        return std::nullopt;
    std::string text;
    int textCharacters = 0;
    std::vector<LineMapping> lineMap;
    Rect frame = lines.front().frame;
    for (size_t i = 0; i < lines.size(); ++i) {
        const TextLine& line = lines[i];
        const auto lineCharacters = static_cast<int>(Text::characterCount(line.text));
        lineMap.push_back({ line.element, textCharacters, lineCharacters });
        text += line.text;
        textCharacters += lineCharacters;
        frame = frame.united(line.frame);
        if (i + 1 < lines.size()) {
            const std::string join = joiner(line.text, lines[i + 1].text);
            text += join;
            textCharacters += static_cast<int>(Text::characterCount(join));
        }
    }
    if (Text::isBlank(text))
        return std::nullopt;
    MergedParagraph merged;
    ArticleParagraph& paragraph = merged.paragraph;
    paragraph.index = index;
    paragraph.text = std::move(text);
    paragraph.frame = frame;
    paragraph.role = lines.front().role;
    paragraph.element = lines.front().element;
    paragraph.nativeCharOffset = lines.front().nativeCharOffset;
    merged.lineMap = std::move(lineMap);
    return merged;
}

std::vector<MergedParagraph> mergeLinesToParagraphs(const std::vector<TextLine>& lines, double lineHeight,
                                                    const std::string& /*bundleID*/)
{
    std::vector<MergedParagraph> paragraphs;
    std::vector<TextLine> group;
    const auto close = [&] {
        if (auto merged = buildMergedParagraph(group, static_cast<int>(paragraphs.size())))
            paragraphs.push_back(std::move(*merged));
        group.clear();
    };
    for (const TextLine& line : lines) {
        if (!group.empty()) {
            const double gap = line.frame.minY() - group.back().frame.maxY();
            const bool joins = gap > -0.5 * lineHeight && gap < 1.5 * lineHeight
                && std::fabs(line.frame.minX() - group.front().frame.minX()) < sameColumnTolerance;
            if (!joins)
                close();
        }
        group.push_back(line);
    }
    if (!group.empty())
        close();
    return paragraphs;
}

std::optional<std::vector<MergedParagraph>> extractParagraphs(const AXElement& root, const std::string& bundleID,
                                                              int maxDepth)
{
    std::vector<TextLine> collected;
    collectTextLines(root, collected, 0, maxDepth);
    std::vector<TextLine> lines;
    for (TextLine& line : collected)
        if (line.frame.width() > minimumLineWidth && line.frame.height() > minimumLineHeight && !line.text.empty())
            lines.push_back(std::move(line));
    if (lines.empty())
        return std::nullopt;
    std::stable_sort(lines.begin(), lines.end(),
                     [](const TextLine& a, const TextLine& b) { return a.frame.minY() < b.frame.minY(); });

    std::vector<MergedParagraph> paragraphs;
    const bool oneElement = lines.size() >= 2
        && std::all_of(lines.begin(), lines.end(), [&](const TextLine& line) { return line.element == lines.front().element; });
    if (oneElement) {
        // Each line of a single text area is its own paragraph. Blank ones are left out, and the
        // numbering closes up behind them: the reading relies on indices 0, 1, 2, ...
        for (const TextLine& line : lines)
            if (auto merged = buildMergedParagraph({ line }, static_cast<int>(paragraphs.size())))
                paragraphs.push_back(std::move(*merged));
    } else {
        paragraphs = mergeLinesToParagraphs(lines, computeMedianLineHeight(lines), bundleID);
    }
    if (paragraphs.empty())
        return std::nullopt;
    return paragraphs;
}

std::string_view withoutLineBreak(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

} // namespace lorvantine::NativeDocumentParser
