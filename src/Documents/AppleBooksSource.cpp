#include "Documents/AppleBooksSource.h"

#include "Accessibility/AXReader.h"
#include "Documents/VisionOCR.h"
#include "Documents/AppleBooksSession.h"
#include "Documents/PageWords.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <unicode/uchar.h>

namespace lorvantine::AppleBooksSource {

namespace {

constexpr const char* booksBundleID = "com.apple.iBooksX";
constexpr size_t minimumReferenceLength = 21;
constexpr size_t minimumFirstWordTextLength = 4;
constexpr int webAreaDepth = 8;
constexpr int textDepth = 15;
constexpr double visibleTolerance = 10;

struct PageText {
    std::string text;
    AXElement element;
    // A picture of one letter, `text` its description: a large initial drawn as an image.
    bool picturedLetter = false;
};

// The Books windows to look at, the focused one first (it may then come twice).
std::vector<AXElement> candidateWindows(const std::string& bundleID)
{
    const auto& ids = supportedBundleIDs();
    if (std::find(ids.begin(), ids.end(), bundleID) == ids.end())
        return {};
    auto app = AXReader::findApp(bundleID);
    if (!app)
        return {};
    const AXElement application { app->pid, 0 };
    std::vector<AXElement> windows = AXReader::windows(application);
    if (auto focused = AXReader::focusedWindow(application))
        windows.insert(windows.begin(), *focused);
    return windows;
}

std::optional<AXElement> findInnerWebArea(const AXElement& element, int depth)
{
    if (depth > webAreaDepth)
        return std::nullopt;
    const auto children = AXReader::rawChildren(element);
    if (AXReader::attribute(element, "AXRole") != "AXWebArea") {
        for (const AXElement& child : children)
            if (auto found = findInnerWebArea(child, depth + 1))
                return found;
        return std::nullopt;
    }
    // The page sits in a web area nested right inside the outer one, when there is such.
    for (const AXElement& child : children)
        if (AXReader::attribute(child, "AXRole") == "AXWebArea")
            return child;
    return element;
}

void collectTexts(const AXElement& element, std::vector<PageText>& texts, int depth)
{
    if (depth > textDepth)
        return;
    const auto role = AXReader::attribute(element, "AXRole");
    if (role == "AXStaticText" || role == "AXHeading") {
        auto value = AXReader::attribute(element, "AXValue");
        if (!value || value->empty())
            value = AXReader::attribute(element, "AXDescription");
        if (value && !value->empty()) {
            texts.push_back({ *value, element });
            return;
        }
        // A heading's value is its level, not its words: they are in the text inside it. Without
        // them a chapter-title page would read as a page with nothing on it.
        if (role == "AXStaticText")
            return;
    }
    if (role == "AXImage") {
        const std::string description = AXReader::attribute(element, "AXDescription").value_or("");
        const std::u32string scalars = Text::scalars(description);
        if (Text::characterCount(description) == 1 && u_isalpha(static_cast<UChar32>(scalars[0])))
            texts.push_back({ description, element, true });
        return;
    }
    if (role == "AXScrollBar")
        return;
    for (const AXElement& child : AXReader::rawChildren(element))
        collectTexts(child, texts, depth + 1);
}

std::optional<Rect> contentRegion(const AXElement& window)
{
    auto frame = AXReader::rect(window);
    if (!frame)
        return std::nullopt;
    return Rect(frame->minX(), frame->minY() + 28, frame->width(), frame->height() - 98);
}

// Books keeps the pages before and after the visible one in its tree, outside the window: only
// texts on the page region are the page's, or a turned page would read as unchanged and a page
// without text (a picture) as the pages beside it. Only when the region is unknown, or no text's
// frame can be read, does every text count.
std::vector<PageText> textsOnShow(std::vector<PageText> texts, const std::optional<Rect>& region)
{
    std::vector<PageText> visible;
    bool placed = false;
    for (const PageText& text : texts) {
        if (!region)
            continue;
        if (auto frame = AXReader::rect(text.element)) {
            placed = true;
            if (frame->intersects(*region))
                visible.push_back(text);
        }
    }
    return placed ? visible : texts;
}

// The texts of the page on show in `window`, with its pictured initials, in tree order; none when
// the window holds no web area.
std::optional<std::vector<PageText>> pageTexts(const AXElement& window)
{
    auto webArea = findInnerWebArea(window, 0);
    if (!webArea)
        return std::nullopt;
    std::vector<PageText> texts;
    collectTexts(*webArea, texts, 0);
    return textsOnShow(std::move(texts), contentRegion(window));
}

// The page's words as accessibility shows them: its texts without its pictures.
std::vector<std::string> wordsOf(const std::vector<PageText>& texts)
{
    std::vector<std::string> words;
    for (const PageText& text : texts)
        if (!text.picturedLetter)
            words.push_back(text.text);
    return words;
}

// The page's texts that may open with a large initial, trimmed, in page order: each may be a
// paragraph whose first word recognition cut short, wherever it stands on the page.
std::vector<std::string> paragraphOpenings(const std::vector<PageText>& texts)
{
    std::vector<std::string> openings;
    for (const std::string& text : wordsOf(texts)) {
        std::string trimmed = Text::trimmingWhitespacesAndNewlines(text);
        if (Text::characterCount(trimmed) >= minimumFirstWordTextLength)
            openings.push_back(std::move(trimmed));
    }
    return openings;
}

// Each pictured letter with the text right after it, where it stands on screen.
std::vector<PageWords::PicturedInitial> picturedInitials(const std::vector<PageText>& texts)
{
    std::vector<PageWords::PicturedInitial> initials;
    for (size_t i = 0; i + 1 < texts.size(); ++i)
        if (texts[i].picturedLetter && !texts[i + 1].picturedLetter)
            if (auto frame = AXReader::rect(texts[i].element))
                initials.push_back({ texts[i].text, texts[i + 1].text, *frame });
    return initials;
}

void findVisibleText(const AXElement& element, const Rect& region, std::optional<AXElement>& result, int depth)
{
    if (depth > textDepth || result)
        return;
    const auto role = AXReader::attribute(element, "AXRole");
    if (role == "AXStaticText") {
        auto value = AXReader::attribute(element, "AXValue");
        if (value && Text::characterCount(*value) >= minimumReferenceLength) {
            if (auto frame = AXReader::rect(element)) {
                const Rect widened = region.insetBy(-visibleTolerance, -visibleTolerance);
                if (frame->minX() >= widened.minX() && frame->maxX() <= widened.maxX() && frame->minY() >= widened.minY()
                    && frame->maxY() <= widened.maxY()) {
                    result = element;
                    return;
                }
            }
        }
    }
    if (role == "AXImage" || role == "AXScrollBar")
        return;
    for (const AXElement& child : AXReader::rawChildren(element))
        findVisibleText(child, region, result, depth + 1);
}

// The first window, the focused one first, that holds a web area: the one Books shows its book in.
std::optional<AXElement> booksWindow(const std::string& bundleID)
{
    for (const AXElement& candidate : candidateWindows(bundleID))
        if (findInnerWebArea(candidate, 0))
            return candidate;
    return std::nullopt;
}

} // namespace

const std::vector<std::string>& supportedBundleIDs()
{
    static const std::vector<std::string> identifiers { booksBundleID };
    return identifiers;
}

std::optional<std::string> readAXText(const std::string& bundleID)
{
    std::optional<std::string> blank;
    for (const AXElement& window : candidateWindows(bundleID)) {
        auto texts = pageTexts(window);
        if (!texts)
            continue;
        std::string joined = Text::joined(wordsOf(*texts), " ");
        if (!Text::isBlank(joined))
            return joined;
        blank = std::move(joined);
    }
    return blank;
}

std::shared_ptr<DocumentSession> detect(const std::string& bundleID)
{
    const std::optional<AXElement> window = booksWindow(bundleID);
    if (!window)
        return nullptr;
    const std::string title = AXReader::attribute(*window, "AXTitle").value_or("Books");
    auto frame = AXReader::rect(*window);
    if (!frame)
        return nullptr;
    const Rect region = *contentRegion(*window);
    using PageWords::truncated;
    Log::line("[Books] window=(" + truncated(frame->minX()) + "," + truncated(frame->minY()) + " " + truncated(frame->width())
              + "×" + truncated(frame->height()) + ") contentRect=(" + truncated(region.minX()) + "," + truncated(region.minY())
              + " " + truncated(region.width()) + "×" + truncated(region.height()) + ")");

    auto recognised = VisionOCR::recognizeWords(region, *window);
    if (!recognised || recognised->empty()) {
        Log::line("[Books] OCR 失败");
        return nullptr;
    }
    std::vector<RecognizedWord> words = std::move(*recognised);
    const std::vector<PageText> texts = pageTexts(*window).value_or(std::vector<PageText> {});
    std::vector<PageWords::DropCapMend> mends = PageWords::repairDropCaps(words, paragraphOpenings(texts));
    for (PageWords::DropCapMend& mend : PageWords::repairPicturedInitials(words, picturedInitials(texts)))
        mends.push_back(std::move(mend));
    for (const PageWords::DropCapMend& mend : mends)
        Log::line("[Books] drop cap 修复: \"" + mend.recognised + "\" → \"" + mend.mended + "\"");

    PageWords::Joined joined = PageWords::join(words);
    std::optional<AXElement> reference;
    if (auto webArea = findInnerWebArea(*window, 0))
        findVisibleText(*webArea, region, reference, 0);

    ArticleParagraph paragraph;
    paragraph.index = 0;
    paragraph.text = joined.text;
    paragraph.frame = PageWords::unionOf(words);
    paragraph.role = "body";
    paragraph.element = reference;
    paragraph.boundsDisabled = true;
    paragraph.ocrWordBboxes = joined.entries;

    Log::line("[Books] OCR-as-source: " + std::to_string(joined.entries.size()) + " 词, "
              + std::to_string(Text::characterCount(joined.text)) + " 字符");
    Log::line("[Books] 段落文本前 200 字: \"" + Text::characterPrefix(joined.text, 200) + "\"");
    return std::make_shared<AppleBooksSession>(title, *window, std::vector<ReadableParagraph> { ReadableParagraph::from(paragraph) },
                                               region);
}

std::optional<Image> readPagePicture(const std::string& bundleID)
{
    const std::optional<AXElement> window = booksWindow(bundleID);
    const std::optional<Rect> region = window ? contentRegion(*window) : std::nullopt;
    if (!region)
        return std::nullopt;
    return VisionOCR::capturePicture(*region, *window);
}

DocumentSource source()
{
    return DocumentSource { .name = "AppleBooksSource", .priority = priority, .supportedBundleIDs = supportedBundleIDs(), .detect = detect };
}

} // namespace lorvantine::AppleBooksSource
