#include "Accessibility/ArticleParser.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/SpokenTextBuilder.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/CancellationToken.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/Services.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <set>
#include <unordered_set>

namespace lorvantine::ArticleParser {

namespace {

constexpr int walkDepthLimit = 30;
constexpr int deepTextDepthLimit = 20;
constexpr int webAreaPresenceDepthLimit = 8;
constexpr int webAreaSearchDepthLimit = 12;
constexpr double tallElementHeight = 400;
constexpr double tallGroupHeight = 500;
constexpr double tightFrameTolerance = 5;
constexpr double narrowParagraphWidth = 30;
// How far below an element inline content is looked for, and how far two boxes must overlap in
// height to stand on one line.
constexpr int inlineContentDepthLimit = 6;
constexpr double sharedLineOverlap = 1;
constexpr size_t dumpPreviewCharacters = 100;
constexpr size_t dumpShortPreviewCharacters = 80;
constexpr size_t dumpShortListLength = 10;

constexpr const char* weChatBundleID = "com.tencent.xinWeChat";
const std::array<const char*, 3> defaultBundleIDs { weChatBundleID, "com.apple.Safari", "com.google.Chrome" };

constexpr const char* staticTextRole = "AXStaticText";
constexpr const char* headingRole = "AXHeading";
constexpr const char* linkRole = "AXLink";
constexpr const char* groupRole = "AXGroup";
constexpr const char* tableRole = "AXTable";
constexpr const char* webAreaRole = "AXWebArea";
constexpr const char* listMarkerRole = "AXListMarker";

// WeChat's tag beside an original article's byline.
constexpr const char* originalLabel = "Original";

// The elements one traversal has read. A broken tree that lists an element twice or holds its own
// ancestor is then read once, instead of again and again until the depth limit.
using Seen = std::unordered_set<AXElement>;

const std::set<std::string>& skipRoles()
{
    static const std::set<std::string> roles { "AXButton", "AXScrollBar", "AXImage", "AXListMarker" };
    return roles;
}

bool isSkipped(const std::string& role) { return skipRoles().count(role) > 0; }

// The search this capture runs for has been given up: a long page stops being read within a
// few elements.
bool abandoned() { return CancellationToken::currentIsCancelled(); }

std::string roleOf(const AXElement& element) { return AXReader::attribute(element, AXName::role).value_or(""); }

std::string stringOf(const AXElement& element, const char* name)
{
    return AXReader::attribute(element, name).value_or("");
}

bool isFinite(const Rect& r)
{
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width)
        && std::isfinite(r.size.height);
}

// "AXFrame" when it is a rectangle, else "AXPosition" with "AXSize". A rectangle holding a
// non-finite number is no rectangle: it could be neither ordered nor drawn.
std::optional<Rect> frameOf(const AXElement& element)
{
    AXValue value;
    if (Platform::accessibility().copyAttributeValue(element, AXName::frame, value) == AXError::success) {
        if (const Rect* rect = axGet<Rect>(value); rect && isFinite(*rect))
            return *rect;
    }
    auto position = AXReader::position(element);
    if (!position)
        return std::nullopt;
    auto size = AXReader::size(element);
    if (!size)
        return std::nullopt;
    Rect rect(*position, *size);
    return isFinite(rect) ? std::optional<Rect>(rect) : std::nullopt;
}

// The smallest rectangle holding all of them; a zero-sized rectangle still counts with its corner.
std::optional<Rect> unionOf(const std::vector<Rect>& rects)
{
    if (rects.empty())
        return std::nullopt;
    double x0 = rects[0].minX(), y0 = rects[0].minY(), x1 = rects[0].maxX(), y1 = rects[0].maxY();
    for (const Rect& r : rects) {
        x0 = std::min(x0, r.minX());
        y0 = std::min(y0, r.minY());
        x1 = std::max(x1, r.maxX());
        y1 = std::max(y1, r.maxY());
    }
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

std::string firstNonEmpty(const std::vector<std::optional<std::string>>& candidates)
{
    for (const auto& candidate : candidates)
        if (candidate && !candidate->empty())
            return *candidate;
    return {};
}

std::string concatenated(const std::vector<std::string>& pieces)
{
    std::string out;
    for (const auto& piece : pieces)
        out += piece;
    return out;
}

bool isOriginalLabelText(std::string_view text) { return Text::trimmingWhitespacesAndNewlines(text) == originalLabel; }

// WeChat shows its "Original" tag as an element of its own beside the author's name. It is left
// out of the spoken text; the rest of the byline is not.
bool isOriginalLabelTag(const std::vector<AXElement>& children)
{
    return children.size() == 1 && roleOf(children[0]) == staticTextRole
        && isOriginalLabelText(stringOf(children[0], AXName::value));
}

// --- Web-area search ---

// The first web area at most `depthLimit` levels below `element`, in document order.
std::optional<AXElement> findWebArea(const AXElement& element, int depth, int depthLimit, Seen& seen)
{
    if (depth > depthLimit || abandoned() || !seen.insert(element).second)
        return std::nullopt;
    if (roleOf(element) == webAreaRole)
        return element;
    for (const auto& child : AXReader::rawChildren(element))
        if (auto found = findWebArea(child, depth + 1, depthLimit, seen))
            return found;
    return std::nullopt;
}

bool containsWebArea(const AXElement& element)
{
    Seen seen;
    return findWebArea(element, 0, webAreaPresenceDepthLimit, seen).has_value();
}

std::optional<AXElement> findWebArea(const AXElement& window)
{
    Seen seen;
    return findWebArea(window, 0, webAreaSearchDepthLimit, seen);
}

// --- Collectors: the element first, then its children in order; nothing below a collected element ---

// What a collection found below an element: its static texts, and the headings it met and left
// out, each to be read as a paragraph of its own.
struct FoundText {
    std::vector<TextPiece> pieces;
    std::vector<AXElement> headings;
};

struct Child {
    AXElement element;
    std::string role;
};

std::vector<Child> childrenOf(const AXElement& element)
{
    std::vector<Child> children;
    for (const auto& child : AXReader::rawChildren(element)) {
        if (abandoned())
            break;
        children.push_back(Child { child, roleOf(child) });
    }
    return children;
}

// Whether the element holds nothing but text and inline elements: static text, links, and groups
// that hold the same (images and the like say nothing either way).
bool holdsOnlyInlineContent(const AXElement& element, int depth)
{
    if (depth > inlineContentDepthLimit)
        return false;
    for (const auto& child : AXReader::rawChildren(element)) {
        const std::string role = roleOf(child);
        if (role == staticTextRole || isSkipped(role))
            continue;
        if ((role == linkRole || role == groupRole) && holdsOnlyInlineContent(child, depth + 1))
            continue;
        return false;
    }
    return true;
}

bool shareALine(const std::optional<Rect>& a, const std::optional<Rect>& b)
{
    return a && b && std::min(a->maxY(), b->maxY()) - std::max(a->minY(), b->minY()) > sharedLineOverlap;
}

bool isTextOrLink(const std::string& role) { return role == staticTextRole || role == linkRole; }

// Per child, whether it flows inline in its parent's text: static text, links, and groups laid
// out within a line of the text beside them that hold only inline content (inline code, a
// styled span). Any other child is a block of its own: a heading, a list, a table, a group that
// holds blocks or stands on lines of its own.
std::vector<bool> inlineChildren(const std::vector<Child>& children)
{
    std::vector<bool> flows(children.size(), false);
    std::vector<std::optional<std::optional<Rect>>> frames(children.size());
    auto frameAt = [&](size_t i) -> const std::optional<Rect>& {
        if (!frames[i])
            frames[i] = frameOf(children[i].element);
        return *frames[i];
    };
    for (size_t i = 0; i < children.size(); ++i) {
        if (isTextOrLink(children[i].role)) {
            flows[i] = true;
            continue;
        }
        if (children[i].role != groupRole)
            continue;
        const bool besideText
            = (i > 0 && isTextOrLink(children[i - 1].role) && shareALine(frameAt(i), frameAt(i - 1)))
            || (i + 1 < children.size() && isTextOrLink(children[i + 1].role) && shareALine(frameAt(i), frameAt(i + 1)));
        flows[i] = besideText && holdsOnlyInlineContent(children[i].element, 0);
    }
    return flows;
}

// How a collection treats one element: text groups do not enter buttons, scroll bars, images and
// list markers, blocks do.
enum class SkippedRoles { entered, left };

struct Collection {
    FoundText& into;
    int depthLimit;
    SkippedRoles skipped;
    Seen& seen;
};

// Spoken text below `element` (of role `role`): its static text, links marked, WeChat's
// "Original" tag left out, headings left out and noted. The element flows in `block` when it is a
// link, a static text or `flowsInline`; otherwise it is the block its own content flows in.
void collectText(const Child& element, const AXElement& block, bool inLink, bool flowsInline, int depth, Collection& c)
{
    const std::string& role = element.role;
    if (depth > c.depthLimit || abandoned() || !c.seen.insert(element.element).second)
        return;
    if (c.skipped == SkippedRoles::left && isSkipped(role))
        return;
    if (role == headingRole)
        return c.into.headings.push_back(element.element);
    if (role == staticTextRole) {
        if (auto value = AXReader::attribute(element.element, AXName::value); value && !value->empty())
            return c.into.pieces.push_back(TextPiece { *value, block, inLink, frameOf(element.element) });
    }
    const std::vector<Child> children = childrenOf(element.element);
    if (role != staticTextRole && children.size() == 1 && children[0].role == staticTextRole
        && isOriginalLabelText(stringOf(children[0].element, AXName::value)))
        return;
    const bool isInline = isTextOrLink(role) || flowsInline;
    const AXElement below = isInline ? block : element.element;
    const std::vector<bool> flows = inlineChildren(children);
    for (size_t i = 0; i < children.size(); ++i) {
        // Inside inline content (a link around inline code, inline code around a link) whatever
        // holds only text flows on in the same block.
        const bool childFlows
            = flows[i] || (isInline && children[i].role == groupRole && holdsOnlyInlineContent(children[i].element, 0));
        collectText(children[i], below, inLink || role == linkRole, childFlows, depth + 1, c);
    }
}

// Spoken text of a static-text block's child, flowing in `block`.
void collectBlockText(const Child& child, const AXElement& block, bool flowsInline, FoundText& into, Seen& seen)
{
    Collection c { into, walkDepthLimit, SkippedRoles::entered, seen };
    collectText(child, block, false, flowsInline, 1, c);
}

void collectAllStaticTextFrames(const AXElement& element, std::vector<Rect>& into, int depth, Seen& seen)
{
    if (depth > walkDepthLimit || abandoned() || !seen.insert(element).second)
        return;
    const std::string role = roleOf(element);
    if (role == headingRole)
        return;
    if (role == staticTextRole) {
        if (auto frame = frameOf(element))
            return into.push_back(*frame);
    }
    const auto children = AXReader::rawChildren(element);
    if (role != staticTextRole && isOriginalLabelTag(children))
        return;
    for (const auto& child : children)
        collectAllStaticTextFrames(child, into, depth + 1, seen);
}

// The element's whole text as the application holds it, links and list markers included.
void collectFullAXText(const AXElement& element, std::vector<std::string>& into, int depth, Seen& seen)
{
    if (depth > walkDepthLimit || abandoned() || !seen.insert(element).second)
        return;
    const std::string role = roleOf(element);
    if (role == staticTextRole || role == listMarkerRole) {
        if (auto value = AXReader::attribute(element, AXName::value); value && !value->empty())
            return into.push_back(*value);
    }
    for (const auto& child : AXReader::rawChildren(element))
        collectFullAXText(child, into, depth + 1, seen);
}

// Spoken text of a text group: as a block's, but buttons, scroll bars, images and list markers
// are not entered.
void collectGroupText(const AXElement& element, const std::string& role, FoundText& into)
{
    Seen seen;
    Collection c { into, deepTextDepthLimit, SkippedRoles::left, seen };
    collectText(Child { element, role }, element, false, false, 0, c);
}

// One collector run from `element` at depth 0.
template<typename T>
std::vector<T> collectFrom(const AXElement& element, void (*collector)(const AXElement&, std::vector<T>&, int, Seen&))
{
    std::vector<T> into;
    Seen seen;
    collector(element, into, 0, seen);
    return into;
}

// --- The walk ---

struct TightFields {
    std::optional<double> yOffset;
    std::optional<double> height;
};

TightFields tightFields(const Rect& textBounds, const Rect& box)
{
    if (std::abs(textBounds.minY() - box.minY()) > tightFrameTolerance
        || std::abs(textBounds.height() - box.height()) > tightFrameTolerance)
        return { textBounds.minY() - box.minY(), textBounds.height() };
    return {};
}

// A block's direct static texts and the links among them, none of its nested blocks.
std::string directText(const AXElement& element, const std::vector<Child>& children)
{
    FoundText found;
    Seen seen { element };
    for (const auto& child : children)
        if (isTextOrLink(child.role))
            collectBlockText(child, element, false, found, seen);
    return SpokenTextBuilder::spokenText(found.pieces);
}

std::optional<Rect> boundsOf(const std::vector<TextPiece>& pieces)
{
    std::vector<Rect> frames;
    for (const auto& piece : pieces)
        if (piece.frame)
            frames.push_back(*piece.frame);
    return unionOf(frames);
}

// The walk of one web area: paragraphs in the order they are found.
class Walk {
public:
    std::vector<ArticleParagraph> paragraphs;

    void visit(const AXElement& element, const std::string& role, int depth)
    {
        if (depth > walkDepthLimit || isSkipped(role) || abandoned() || !m_walked.insert(element).second)
            return;
        if (role == headingRole)
            return heading(element);

        const std::vector<Child> children = childrenOf(element);
        // What a link holds is link text: a link gives a paragraph of its own role, which
        // cleaning drops, but inline code or a group inside it gives none. Headings in it still
        // count.
        if (m_insideLink && role != linkRole) {
            for (const auto& child : children)
                visit(child.element, child.role, depth + 1);
            return;
        }
        struct LinkScope {
            bool& flag;
            bool was;
            ~LinkScope() { flag = was; }
        } scope { m_insideLink, m_insideLink };
        m_insideLink = m_insideLink || role == linkRole;

        const bool hasStaticText
            = std::any_of(children.begin(), children.end(), [](const Child& c) { return c.role == staticTextRole; });
        if (hasStaticText)
            return staticTextBlock(element, role, children, depth);
        if ((role == groupRole || role == tableRole) && textGroup(element, role, children))
            return;
        for (const auto& child : children)
            visit(child.element, child.role, depth + 1);
    }

private:
    Seen m_walked;
    bool m_insideLink = false;

    void append(ArticleParagraph paragraph)
    {
        paragraph.index = static_cast<int>(paragraphs.size());
        paragraphs.push_back(std::move(paragraph));
    }

    // Its own text only: whatever lies below a heading is never read apart from it.
    void heading(const AXElement& element)
    {
        std::string text = firstNonEmpty({ AXReader::attribute(element, AXName::value),
                                           AXReader::attribute(element, AXName::title),
                                           AXReader::attribute(element, AXName::description) });
        if (text.empty())
            return;
        auto frame = frameOf(element);
        if (!frame)
            return;
        append(ArticleParagraph { .text = std::move(text), .frame = *frame, .role = headingRole, .element = element });
    }

    // Which of a block's children its paragraph speaks, and the headings below each child that
    // the paragraph left to be read on their own.
    struct ChildText {
        bool spoken = false;
        std::vector<AXElement> headings;
    };

    // An element with static text among its children, read as one paragraph; a tall one as a
    // paragraph per run of its inline children.
    void staticTextBlock(const AXElement& element, const std::string& role, const std::vector<Child>& children,
                         int depth)
    {
        const Rect box = frameOf(element).value_or(Rect {});
        if (box.height() > tallElementHeight)
            return tallBlock(element, role, children, box, depth);

        std::vector<ChildText> childTexts(children.size());
        std::string text = subtreeText(element, role, children, childTexts);
        if (Text::isBlank(text))
            text = directText(element, children);
        const std::optional<Rect> textBounds = unionOf(collectFrom<Rect>(element, collectAllStaticTextFrames));

        bool made = false;
        if (!Text::isBlank(text)) {
            Rect frame = box;
            TightFields tight;
            if (textBounds && box.width() > 0) {
                frame = Rect(box.minX(), textBounds->minY(), box.width(), textBounds->height());
                tight = tightFields(*textBounds, box);
            }
            if (frame.width() > 0) {
                std::optional<std::string> axFullText = differingFullText(element, role, text);
                append(ArticleParagraph {
                    .text = std::move(text),
                    .frame = frame,
                    .role = role,
                    .element = element,
                    .axFullText = std::move(axFullText),
                    .tightFrameYOffset = tight.yOffset,
                    .tightFrameHeight = tight.height,
                });
                made = true;
            }
        }

        for (size_t i = 0; i < children.size(); ++i) {
            const Child& child = children[i];
            if (child.role == staticTextRole)
                continue;
            if (made && childTexts[i].spoken) {
                for (const auto& heading : childTexts[i].headings)
                    visit(heading, headingRole, depth + 1);
                continue;
            }
            visit(child.element, child.role, depth + 1);
        }
    }

    // A tall element (a page body) holds text loose between its blocks. Each run of inline
    // children up to the next block is a paragraph of its own, framed by its own texts, so that
    // it takes its place between the headings and its highlight stands on its own lines; the
    // blocks are read as they come.
    void tallBlock(const AXElement& element, const std::string& role, const std::vector<Child>& children,
                   const Rect& box, int depth)
    {
        const std::vector<bool> flows = inlineChildren(children);
        std::vector<size_t> run;
        for (size_t i = 0; i < children.size(); ++i) {
            if (isSkipped(children[i].role))
                continue;
            if (flows[i]) {
                run.push_back(i);
                continue;
            }
            readRun(element, role, children, run, flows, box, depth);
            run.clear();
            visit(children[i].element, children[i].role, depth + 1);
        }
        readRun(element, role, children, run, flows, box, depth);
    }

    void readRun(const AXElement& element, const std::string& role, const std::vector<Child>& children,
                 const std::vector<size_t>& run, const std::vector<bool>& flows, const Rect& box, int depth)
    {
        if (run.empty())
            return;
        FoundText found;
        Seen seen { element };
        for (size_t i : run)
            collectBlockText(children[i], element, flows[i], found, seen);
        std::string text = SpokenTextBuilder::spokenText(found.pieces);
        const std::optional<Rect> bounds = boundsOf(found.pieces);
        if (!Text::isBlank(text) && box.width() > 0) {
            if (!bounds) {
                // Texts that answer no position leave the block's own box as the frame, as in a shorter block.
                append(ArticleParagraph { .text = std::move(text), .frame = box, .role = role, .element = element });
            } else if (run.size() == 1 && children[run[0]].role == staticTextRole) {
                // Text that stands alone is measured in its own element, which holds just what is spoken.
                append(ArticleParagraph { .text = std::move(text), .frame = *bounds, .role = staticTextRole,
                                          .element = children[run[0]].element });
            } else {
                const TightFields tight = tightFields(*bounds, box);
                append(ArticleParagraph {
                    .text = std::move(text),
                    .frame = Rect(box.minX(), bounds->minY(), box.width(), bounds->height()),
                    .role = role,
                    .element = element,
                    .tightFrameYOffset = tight.yOffset,
                    .tightFrameHeight = tight.height,
                });
            }
        }
        for (const auto& heading : found.headings)
            visit(heading, headingRole, depth + 1);
    }

    // The static text of the element's subtree, WeChat's "Original" tag and headings left out,
    // noting per child whether it gave some of it and which headings lie below it.
    static std::string subtreeText(const AXElement& element, const std::string& role, const std::vector<Child>& children,
                                   std::vector<ChildText>& childTexts)
    {
        if (role == linkRole)
            return {};
        if (role == staticTextRole) {
            if (auto value = AXReader::attribute(element, AXName::value); value && !value->empty())
                return *value;
        }
        FoundText found;
        std::vector<size_t> owners;
        Seen seen { element };
        const std::vector<bool> flows = inlineChildren(children);
        for (size_t i = 0; i < children.size(); ++i) {
            const size_t headingsBefore = found.headings.size();
            collectBlockText(children[i], element, flows[i], found, seen);
            owners.resize(found.pieces.size(), i);
            childTexts[i].headings.assign(found.headings.begin() + static_cast<std::ptrdiff_t>(headingsBefore),
                                          found.headings.end());
        }
        const std::vector<bool> spoken = SpokenTextBuilder::spokenPieces(found.pieces);
        for (size_t k = 0; k < spoken.size(); ++k)
            if (spoken[k])
                childTexts[owners[k]].spoken = true;
        return SpokenTextBuilder::join(found.pieces, spoken);
    }

    // The element's whole text, when its length differs from the spoken text's.
    static std::optional<std::string> differingFullText(const AXElement& element, const std::string& role,
                                                        const std::string& text)
    {
        std::string full = concatenated(collectFrom<std::string>(element, collectFullAXText));
        if (abandoned())
            return std::nullopt;
        const size_t textCount = Text::characterCount(text);
        const size_t fullCount = Text::characterCount(full);
        if (fullCount == textCount)
            return std::nullopt;
        Log::line("[ArticleParser] AX index mapping: text=" + std::to_string(textCount) + " axFull="
                  + std::to_string(fullCount) + " AXCharCount="
                  + std::to_string(AXReader::numberOfCharacters(element).value_or(-1)) + " role=" + role);
        return full;
    }

    // Rows or sections read as one paragraph. False when the element is not such a group, or
    // holds a heading: that is read on its own, and the group child by child around it.
    bool textGroup(const AXElement& element, const std::string& role, const std::vector<Child>& children)
    {
        if (children.size() < 2)
            return false;
        const size_t containers = std::count_if(children.begin(), children.end(), [](const Child& c) {
            return c.role == groupRole || c.role == "AXListItem" || c.role == "AXTableRow" || c.role == "AXSection";
        });
        if (containers < children.size() / 2)
            return false;
        const auto box = frameOf(element);
        if (role == groupRole && box && box->height() >= tallGroupHeight)
            return false;
        FoundText found;
        collectGroupText(element, role, found);
        if (!found.headings.empty() || !box)
            return false;
        std::string text = SpokenTextBuilder::spokenText(found.pieces);
        if (Text::isBlank(text))
            return false;

        std::string full = concatenated(collectFrom<std::string>(element, collectFullAXText));
        std::optional<std::string> axFullText;
        if (Text::characterCount(full) != Text::characterCount(text))
            axFullText = std::move(full);
        TightFields tight;
        if (auto bounds = unionOf(collectFrom<Rect>(element, collectAllStaticTextFrames)))
            tight = tightFields(*bounds, *box);

        append(ArticleParagraph {
            .text = std::move(text),
            .frame = *box,
            .role = role,
            .element = element,
            .axFullText = std::move(axFullText),
            .tightFrameYOffset = tight.yOffset,
            .tightFrameHeight = tight.height,
        });
        return true;
    }
};

// --- Cleaning ---

// ^Reads?\s*\d+$ as ICU reads it: white space and digits of any script, and the end may come
// after one line break. Matched by hand: compiling an ICU pattern sets up all of its character
// classes first, milliseconds before the first paragraph can be read.
bool isReadCounter(const std::string& text)
{
    const std::u32string scalars = Text::scalars(text);
    const std::u32string_view word = U"Read";
    if (std::u32string_view(scalars).substr(0, word.size()) != word)
        return false;
    size_t i = word.size();
    if (i < scalars.size() && scalars[i] == U's')
        ++i;
    while (i < scalars.size() && Text::isWhitespace(scalars[i]))
        ++i;
    const size_t digits = i;
    while (i < scalars.size() && u_isdigit(static_cast<UChar32>(scalars[i])))
        ++i;
    const std::u32string_view rest = std::u32string_view(scalars).substr(i);
    return i > digits && (rest.empty() || (rest.size() == 1 && Text::isNewline(rest[0])) || rest == U"\r\n");
}

// Where the page can be seen. Sites hide text for screen readers by placing it far off to the
// left; a block that starts a little left of the window (a negative margin) is still on it.
// Without the window, the screens tell, side to side only: a long page goes on below them.
struct PageView {
    std::optional<Rect> window;
    std::vector<Rect> screens; // only their horizontal extent counts, the same in either origin
};

PageView pageViewOf(const AXElement& window)
{
    PageView view;
    view.window = frameOf(window);
    for (const auto& screen : Screen::screens())
        view.screens.push_back(screen.frame);
    return view;
}

bool isOffPage(const Rect& frame, const PageView& view)
{
    if (view.window)
        return frame.maxX() <= view.window->minX();
    if (view.screens.empty())
        return false;
    return std::none_of(view.screens.begin(), view.screens.end(), [&](const Rect& screen) {
        return frame.maxX() > screen.minX() && frame.minX() < screen.maxX();
    });
}

bool isNoise(const ArticleParagraph& paragraph, const PageView& view)
{
    if (paragraph.role == linkRole)
        return true;
    if (isOffPage(paragraph.frame, view))
        return true;
    if (paragraph.frame.width() < narrowParagraphWidth)
        return true;
    if (isReadCounter(paragraph.text))
        return true;
    if (Text::contains(paragraph.text, "个朋友关注") || Text::contains(paragraph.text, "选择要提醒"))
        return true;
    return isOriginalLabelText(paragraph.text);
}

std::vector<ArticleParagraph> cleanParagraphs(std::vector<ArticleParagraph> paragraphs, const std::string& articleTitle,
                                              const PageView& view)
{
    std::erase_if(paragraphs, [&](const ArticleParagraph& p) { return isNoise(p, view); });
    std::stable_sort(paragraphs.begin(), paragraphs.end(),
                     [](const ArticleParagraph& a, const ArticleParagraph& b) { return a.frame.minY() < b.frame.minY(); });

    size_t start = 0;
    auto heading = std::find_if(paragraphs.begin(), paragraphs.end(),
                                [](const ArticleParagraph& p) { return p.role == headingRole; });
    if (heading != paragraphs.end())
        start = static_cast<size_t>(heading - paragraphs.begin());
    if (start + 1 < paragraphs.size() && paragraphs[start + 1].text == articleTitle)
        ++start;
    paragraphs.erase(paragraphs.begin(), paragraphs.begin() + static_cast<std::ptrdiff_t>(start));

    for (size_t i = 0; i < paragraphs.size(); ++i)
        paragraphs[i].index = static_cast<int>(i);
    return paragraphs;
}

// --- Dump helpers ---

long long whole(double value) { return static_cast<long long>(std::trunc(value)); }

std::string frameText(const Rect& frame)
{
    return "(" + std::to_string(whole(frame.minX())) + "," + std::to_string(whole(frame.minY())) + " "
        + std::to_string(whole(frame.width())) + "×" + std::to_string(whole(frame.height())) + ")";
}

size_t totalCharacters(const std::vector<ArticleParagraph>& paragraphs)
{
    size_t total = 0;
    for (const auto& p : paragraphs)
        total += Text::characterCount(p.text);
    return total;
}

void printParagraphHeader(std::ostream& out, const ArticleParagraph& p)
{
    out << "[" << p.index << "] (" << p.role << ") frame=" << frameText(p.frame) << "\n";
}

} // namespace

std::optional<AXElement> findArticleWindow(const std::optional<std::string>& bundleID)
{
    std::vector<std::string> candidates;
    if (bundleID)
        candidates.push_back(*bundleID);
    else
        candidates.assign(defaultBundleIDs.begin(), defaultBundleIDs.end());

    for (const auto& identifier : candidates) {
        auto application = AXReader::findApp(identifier);
        if (!application)
            continue;
        const AXElement applicationElement = Platform::accessibility().applicationElement(application->pid);
        const auto windows = AXReader::windows(applicationElement);
        if (identifier == weChatBundleID) {
            for (const auto& window : windows) {
                const std::string title = stringOf(window, AXName::title);
                if (Text::contains(title, "(Page:") || Text::contains(title, "(Page "))
                    return window;
            }
        }
        for (const auto& window : windows)
            if (containsWebArea(window))
                return window;
    }
    return std::nullopt;
}

std::optional<std::string> currentArticleTitle(const AXElement& window)
{
    auto webArea = findWebArea(window);
    if (!webArea)
        return std::nullopt;
    auto description = AXReader::attribute(*webArea, AXName::description);
    if (!description || description->empty())
        return std::nullopt;
    return description;
}

std::optional<CapturedArticle> captureArticle(const std::optional<std::string>& bundleID)
{
    auto window = findArticleWindow(bundleID);
    if (!window)
        return std::nullopt;
    auto webArea = findWebArea(*window);
    if (!webArea)
        return std::nullopt;
    const std::string titleHint = stringOf(*webArea, AXName::description);

    Walk walk;
    walk.visit(*webArea, roleOf(*webArea), 0);
    // What a cut-short walk found is no article.
    if (abandoned())
        return std::nullopt;

    auto paragraphs = cleanParagraphs(std::move(walk.paragraphs), titleHint, pageViewOf(*window));

    std::string title;
    auto heading = std::find_if(paragraphs.begin(), paragraphs.end(),
                                [](const ArticleParagraph& p) { return p.role == headingRole; });
    if (heading != paragraphs.end())
        title = heading->text;
    else if (!titleHint.empty())
        title = titleHint;
    else
        title = stringOf(*window, AXName::title);

    return CapturedArticle { std::move(title), *window, std::move(paragraphs) };
}

void dumpArticleTree(std::ostream& out)
{
    if (auto weChat = AXReader::findApp(weChatBundleID)) {
        const auto windows = AXReader::windows(Platform::accessibility().applicationElement(weChat->pid));
        out << "=== WeChat 所有窗口 (" << windows.size() << ") ===\n";
        for (size_t i = 0; i < windows.size(); ++i) {
            out << "  [" << i << "] role=" << AXReader::attribute(windows[i], AXName::role).value_or("?")
                << " hasWebArea=" << (containsWebArea(windows[i]) ? "true" : "false")
                << " title=" << AXReader::attribute(windows[i], AXName::title).value_or("(无标题)") << "\n";
        }
        out << "\n";

        auto candidate = std::find_if(windows.begin(), windows.end(), [](const AXElement& w) {
            auto title = AXReader::attribute(w, AXName::title);
            return title && !title->empty() && *title != "微信" && *title != "WeChat";
        });
        if (candidate != windows.end()) {
            out << "=== 候选文章窗口完整 AX 树: " << AXReader::attribute(*candidate, AXName::title).value_or("?")
                << " ===\n";
            AXReader::printTree(AXReader::walkTree(*candidate, 20, 0), 0, out);
            out << "=== END TREE ===\n\n";

            auto captured = captureArticle(std::nullopt);
            if (!captured)
                return;
            out << "=== 结构化提取 ===\n";
            out << "title: " << captured->title << "\n";
            out << "段落数: " << captured->paragraphs.size() << "\n";
            for (const auto& p : captured->paragraphs) {
                printParagraphHeader(out, p);
                out << "       ";
                if (Text::characterCount(p.text) > dumpPreviewCharacters)
                    out << Text::characterPrefix(p.text, dumpPreviewCharacters) << "…";
                else
                    out << p.text;
                out << "\n";
            }
            out << "总字数: " << totalCharacters(captured->paragraphs) << "\n";
            return;
        }
    }

    auto window = findArticleWindow(std::nullopt);
    if (!window) {
        out << "[ArticleParser] ❌ 找不到公号文章窗口\n";
        out << "   → 请先在微信中点开一篇公号文章，让它的窗口可见，再跑这个命令\n";
        return;
    }
    out << "=== 公号文章窗口 ===\n";
    out << "title: " << AXReader::attribute(*window, AXName::title).value_or("(无标题)") << "\n\n";
    AXReader::printTree(AXReader::walkTree(*window, 14, 0), 0, out);
    out << "=== END ===\n";

    auto captured = captureArticle(std::nullopt);
    if (!captured)
        return;
    out << "\n=== 结构化提取结果 ===\n";
    out << "文章标题: " << captured->title << "\n";
    out << "段落数: " << captured->paragraphs.size() << "\n\n";
    const auto& paragraphs = captured->paragraphs;
    for (size_t i = 0; i < paragraphs.size() && i < dumpShortListLength; ++i) {
        printParagraphHeader(out, paragraphs[i]);
        out << "       " << Text::characterPrefix(paragraphs[i].text, dumpShortPreviewCharacters) << "\n";
    }
    if (paragraphs.size() > dumpShortListLength)
        out << "... 还有 " << paragraphs.size() - dumpShortListLength << " 段\n";
    out << "\n总字数: " << totalCharacters(paragraphs) << "\n";
}

} // namespace lorvantine::ArticleParser
