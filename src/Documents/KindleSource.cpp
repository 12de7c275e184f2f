#include "Documents/KindleSource.h"

#include "Accessibility/AXReader.h"
#include "Documents/VisionOCR.h"
#include "Documents/KindleSession.h"
#include "Documents/PageWords.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <limits>

namespace lorvantine::KindleSource {

namespace {

constexpr const char* kindleBundleID = "com.amazon.Lassen";
constexpr int maximumDepth = 16;
constexpr double headerTolerance = 2.0;

struct ContentEntry {
    AXElement element;
    std::string text;
    Rect rect;
};

struct PageTree {
    std::vector<ContentEntry> entries;
    // Generic elements that show no text: a page drawn as a picture (of its text, for a scan or a
    // fixed layout).
    std::vector<ContentEntry> pictures;
    std::string bookTitle;
};

std::optional<AXElement> kindleWindow(const std::string& bundleID)
{
    if (bundleID != kindleBundleID)
        return std::nullopt;
    return AXReader::frontWindowOf(bundleID);
}

void findAllKindleContent(const AXElement& element, PageTree& tree, int depth)
{
    if (depth >= maximumDepth)
        return;
    const auto role = AXReader::attribute(element, "AXRole");
    if (role == "AXHeading") {
        // A later heading in walk order names the book instead of an earlier one.
        if (auto description = AXReader::attribute(element, "AXDescription"); description && !description->empty())
            tree.bookTitle = *description;
    } else if (role == "AXGenericElement") {
        // Any text is a page's, however short: a part title ("PART TWO") or the last lines of a book.
        auto value = AXReader::attribute(element, "AXValue");
        if (auto rect = AXReader::rect(element)) {
            if (value && !Text::isBlank(*value))
                tree.entries.push_back({ element, *value, *rect });
            else
                tree.pictures.push_back({ element, std::string(), *rect });
        }
    }
    for (const AXElement& child : AXReader::rawChildren(element))
        findAllKindleContent(child, tree, depth + 1);
}

const ContentEntry* longest(const std::vector<ContentEntry>& entries)
{
    const ContentEntry* best = nullptr;
    size_t bestLength = 0;
    for (const ContentEntry& entry : entries) {
        const size_t length = Text::characterCount(entry.text);
        if (!best || length > bestLength) {
            best = &entry;
            bestLength = length;
        }
    }
    return best;
}


// One paragraph with its words' boxes, or (without words) the whole content rectangle.
std::vector<ReadableParagraph> buildParagraphs(const std::string& text, const std::vector<OCRWordEntry>& words,
                                               const Rect& contentRect, const AXElement& element)
{
    ArticleParagraph paragraph;
    paragraph.index = 0;
    paragraph.text = text;
    paragraph.role = "body";
    paragraph.element = element;
    paragraph.nativeCharOffset = 0;
    paragraph.boundsDisabled = true;
    if (!words.empty()) {
        Rect frame;
        for (const OCRWordEntry& word : words)
            frame = frame.united(word.screenRect);
        paragraph.frame = frame;
        paragraph.tightFrameYOffset = frame.minY() - contentRect.minY();
        paragraph.tightFrameHeight = frame.height();
        paragraph.ocrWordBboxes = words;
    } else {
        paragraph.frame = contentRect;
    }
    return { ReadableParagraph::from(paragraph) };
}

std::string quotedPreview(const std::string& text) { return "\"" + Text::characterPrefix(text, 200) + "\""; }

// The region recognised: the window less its title bar and the strip below the page.
Rect contentRectOf(const Rect& window)
{
    return Rect(window.minX(), window.minY() + 28, window.width(), window.height() - 58);
}

} // namespace

const std::vector<std::string>& supportedBundleIDs()
{
    static const std::vector<std::string> identifiers { kindleBundleID };
    return identifiers;
}

std::optional<std::string> readAXText(const std::string& bundleID)
{
    auto window = kindleWindow(bundleID);
    if (!window)
        return std::nullopt;
    PageTree tree;
    findAllKindleContent(*window, tree, 0);
    const ContentEntry* content = longest(tree.entries);
    return content ? content->text : std::string();
}

std::shared_ptr<DocumentSession> detect(const std::string& bundleID)
{
    auto window = kindleWindow(bundleID);
    if (!window)
        return nullptr;
    PageTree tree;
    findAllKindleContent(*window, tree, 0);
    // Without text the page may still be a picture of it, which only recognition reads.
    const std::vector<ContentEntry>& page = tree.entries.empty() ? tree.pictures : tree.entries;
    const ContentEntry* content = longest(page);
    if (!content) {
        Log::line("[Kindle] 未找到可用文本内容");
        return nullptr;
    }
    const std::string title = tree.bookTitle.empty() ? "Kindle" : tree.bookTitle;
    auto windowRect = AXReader::rect(*window);
    if (!windowRect) {
        Log::line("[Kindle] 无法获取窗口坐标");
        return nullptr;
    }
    double elementTop = std::numeric_limits<double>::infinity();
    for (const ContentEntry& entry : page)
        elementTop = std::min(elementTop, entry.rect.minY());
    const Rect contentRect = contentRectOf(*windowRect);
    using PageWords::truncated;
    Log::line("[Kindle] 窗口: " + truncated(windowRect->width()) + "×" + truncated(windowRect->height()) + ", 元素顶部 Y="
              + truncated(elementTop) + ", OCR 区域: (" + truncated(contentRect.minX()) + "," + truncated(contentRect.minY())
              + " " + truncated(contentRect.width()) + "×" + truncated(contentRect.height()) + ")");

    // Without words the page's accessibility text is read as it is; a picture without words has
    // nothing to read.
    auto fallback = [&]() -> std::shared_ptr<DocumentSession> {
        if (content->text.empty())
            return nullptr;
        return std::make_shared<KindleSession>(title, *window, content->element,
                                               buildParagraphs(content->text, {}, contentRect, content->element), contentRect);
    };
    auto recognised = VisionOCR::recognizeWords(contentRect, *window);
    if (!recognised || recognised->empty()) {
        Log::line(content->text.empty() ? "[Kindle] 未找到可用文本内容" : "[Kindle] OCR 失败，回退到无高亮模式");
        return fallback();
    }

    // The running header is drawn above the page's first text element; its words are not the page's.
    std::vector<RecognizedWord> words;
    for (const RecognizedWord& word : *recognised)
        if (word.screenRect.midY() >= elementTop - headerTolerance)
            words.push_back(word);
    if (words.size() != recognised->size())
        Log::line("[Kindle] 过滤 running header: " + std::to_string(recognised->size()) + " → " + std::to_string(words.size())
                  + " 词");
    if (words.empty()) {
        // Every word sat in the header band: the accessibility text still holds the page.
        Log::line("[Kindle] 过滤后无可用词");
        return fallback();
    }

    for (const PageWords::DropCapMend& mend : PageWords::repairDropCaps(words, PageWords::paragraphsOf(content->text)))
        Log::line("[Kindle] drop cap 修复: \"" + mend.recognised + "\" → \"" + mend.mended + "\"");

    PageWords::Joined joined = PageWords::join(words);
    auto paragraphs = buildParagraphs(joined.text, joined.entries, contentRect, content->element);
    Log::line("[Kindle] OCR-as-source: " + std::to_string(joined.entries.size()) + " 词, "
              + std::to_string(Text::characterCount(joined.text)) + " 字符");
    Log::line("[Kindle] 段落文本前 200 字: " + quotedPreview(joined.text));
    for (size_t i = 0; i < joined.entries.size() && i < 5; ++i) {
        const OCRWordEntry& entry = joined.entries[i];
        Log::line("[Kindle] word[" + std::to_string(i) + "] \"" + entry.text + "\" chars=" + std::to_string(entry.charStart)
                  + ".." + std::to_string(entry.charEnd) + " screen=(" + truncated(entry.screenRect.minX()) + ","
                  + truncated(entry.screenRect.minY()) + ")");
    }
    return std::make_shared<KindleSession>(title, *window, content->element, std::move(paragraphs), contentRect);
}

std::optional<Image> readPagePicture(const std::string& bundleID)
{
    auto window = kindleWindow(bundleID);
    auto frame = window ? AXReader::rect(*window) : std::nullopt;
    if (!frame)
        return std::nullopt;
    return VisionOCR::capturePicture(contentRectOf(*frame), *window);
}

DocumentSource source()
{
    return DocumentSource { .name = "KindleSource", .priority = priority, .supportedBundleIDs = supportedBundleIDs(), .detect = detect };
}

} // namespace lorvantine::KindleSource
