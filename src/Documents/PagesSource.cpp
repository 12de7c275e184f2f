#include "Documents/PagesSource.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/NativeDocumentParser.h"
#include "Documents/NativeDocumentSession.h"
#include "Documents/OCRDocumentSession.h"
#include "Documents/OCRParagraphBuilder.h"
#include "Documents/VisionOCR.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Services.h"
#include "Platform/WindowServerPort.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <array>

namespace lorvantine::PagesSource {

namespace {

constexpr const char* pagesBundleID = "com.apple.iWork.Pages";
constexpr int minimumContentCharacters = 11;
constexpr int searchDepth = 10;
constexpr int collectDepth = 12;
constexpr double fullPageShare = 0.9;
constexpr double screenHeightWithoutScreen = 1200.0;
constexpr int minimumOCRParagraphLength = 10;
constexpr std::array<const char*, 4> ignoredRoles { "AXToolbar", "AXMenuBar", "AXScrollBar", "AXButton" };
const std::string objectReplacement = "\xEF\xBF\xBC"; // U+FFFC, an inline image or object

std::string pagesRole(const AXElement& element) { return AXReader::attribute(element, "AXRole").value_or(""); }

bool isIgnoredRole(const std::string& role)
{
    return std::find(ignoredRoles.begin(), ignoredRoles.end(), role) != ignoredRoles.end();
}

bool isContentTextArea(const AXElement& element)
{
    const auto count = AXReader::numberOfCharacters(element);
    return count && *count >= minimumContentCharacters;
}

// A line that holds only inline objects (pictures) and blanks has nothing to read.
bool isOnlyObjects(const std::string& trimmed)
{
    if (trimmed.empty() || trimmed.size() % objectReplacement.size() != 0)
        return false;
    for (size_t at = 0; at < trimmed.size(); at += objectReplacement.size())
        if (trimmed.compare(at, objectReplacement.size(), objectReplacement) != 0)
            return false;
    return true;
}

// Whether a line makes a paragraph: not blank, and not only inline objects.
bool isReadableLine(std::string_view line)
{
    if (Text::isBlank(line))
        return false;
    if (line.find(objectReplacement) == std::string_view::npos)
        return true;
    return !isOnlyObjects(Text::trimmingWhitespacesAndNewlines(line));
}

// A long document is mostly plain ASCII lines, counted by their bytes.
int pagesUtf16Length(std::string_view line)
{
    const bool ascii = std::all_of(line.begin(), line.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return static_cast<int>(ascii ? line.size() : Text::utf16Count(line));
}

// Measures the lines of the page in view, from `firstVisible` (the start of its visible range) to
// the first line found beyond it; every line before or after keeps the placeholder without a query.
class LineMeasurer {
public:
    LineMeasurer(AXElement textArea, Rect areaRect, int firstVisible)
        : m_textArea(textArea)
        , m_areaRect(areaRect)
        , m_placeholder(placeholderFrame(areaRect))
        , m_firstVisible(firstVisible)
    {
    }

    Rect measure(const std::string& line, int offset, int length)
    {
        if (m_pastVisiblePage || offset < m_firstVisible)
            return m_placeholder;
        const double guard = fullPageShare * m_areaRect.height();
        const auto first = AXReader::boundsForRange(m_textArea, offset, 1);
        if (!first)
            return m_placeholder;
        if (first->height() > guard) {
            m_pastVisiblePage = true;
            return m_placeholder;
        }
        double lineHeight = first->height();
        if (length >= 2) {
            const auto characters = Text::characters(line);
            const int lastLength = characters.empty() ? 1 : static_cast<int>(Text::utf16Count(characters.back()));
            if (auto last = AXReader::boundsForRange(m_textArea, offset + length - lastLength, lastLength);
                last && last->height() < guard)
                lineHeight = last->maxY() - first->minY();
        }
        return Rect(m_areaRect.minX(), first->minY(), m_areaRect.width(), std::max(first->height(), lineHeight));
    }

    const Rect& placeholder() const { return m_placeholder; }

private:
    AXElement m_textArea;
    Rect m_areaRect;
    Rect m_placeholder;
    int m_firstVisible = 0;
    bool m_pastVisiblePage = false;
};

// The first content text area, in document order, that shows some of its text, with the range
// it shows.
std::optional<std::pair<AXElement, AXRange>> firstPageInView(const AXElement& window)
{
    std::vector<AXElement> areas;
    collectAllContentTextAreas(window, 0, collectDepth, areas);
    for (const AXElement& area : areas)
        if (auto range = getVisibleRange(area); range && range->length >= minimumContentCharacters)
            return std::pair { area, *range };
    return std::nullopt;
}

} // namespace

const std::vector<std::string>& supportedBundleIDs()
{
    static const std::vector<std::string> identifiers { pagesBundleID };
    return identifiers;
}

Rect placeholderFrame(const Rect& textArea)
{
    return Rect(textArea.minX() + 50, textArea.minY() + textArea.height() + 200, textArea.width() - 100, 20);
}

std::shared_ptr<DocumentSession> detect(const std::string& bundleID)
{
    const auto& ids = supportedBundleIDs();
    if (std::find(ids.begin(), ids.end(), bundleID) == ids.end())
        return nullptr;
    const auto window = AXReader::frontWindowOf(bundleID);
    if (!window)
        return nullptr;
    const std::string title = AXReader::attribute(*window, "AXTitle").value_or("Pages");

    const auto textArea = searchForTextArea(*window, 0, searchDepth);
    if (!textArea) {
        Log::line("[Pages] 未找到 AXTextArea，回退到 OCR");
        return detectWithOCR(*window, title);
    }
    const int total = AXReader::numberOfCharacters(*textArea).value_or(0);
    if (total < minimumContentCharacters) {
        Log::line("[Pages] AXTextArea 字符太少 (" + std::to_string(total) + ")");
        return detectWithOCR(*window, title);
    }
    Log::line("[Pages] AXTextArea: " + std::to_string(total) + " 总字符");
    const auto text = AXReader::stringForRange(*textArea, 0, total);
    if (!text || text->empty()) {
        Log::line("[Pages] 读取全文失败，回退到 OCR");
        return detectWithOCR(*window, title);
    }
    // Every page answers for the whole text, but only a page in view measures lines: a document
    // scrolled away from its first page is measured on the first page it shows.
    const auto inView = firstPageInView(*window);
    const AXElement page = inView ? inView->first : *textArea;
    const auto areaRect = AXReader::rect(page);
    if (!areaRect)
        return detectWithOCR(*window, title);
    const auto visibleRange = inView ? std::optional(inView->second) : getVisibleRange(page);

    LineMeasurer measurer(page, *areaRect, visibleRange ? static_cast<int>(visibleRange->location) : 0);
    std::vector<NativeDocumentParser::MergedParagraph> merged;
    merged.reserve(static_cast<size_t>(std::count(text->begin(), text->end(), '\n')) + 1);
    int visible = 0;
    int offset = 0;
    const std::string_view all = *text;
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string_view::npos)
            end = all.size();
        const std::string_view piece = all.substr(start, end - start);
        const int pieceLength = pagesUtf16Length(piece);
        const std::string_view line = NativeDocumentParser::withoutLineBreak(piece);
        const int length = pieceLength - static_cast<int>(piece.size() - line.size());
        if (isReadableLine(line)) {
            NativeDocumentParser::MergedParagraph entry;
            ArticleParagraph& p = entry.paragraph;
            p.index = static_cast<int>(merged.size());
            p.text = std::string(line);
            p.frame = measurer.measure(p.text, offset, length);
            p.role = "body";
            p.element = page;
            p.nativeCharOffset = offset;
            p.boundsDisabled = p.frame == measurer.placeholder();
            if (!p.boundsDisabled)
                ++visible;
            entry.lineMap.push_back({ page, 0, length });
            merged.push_back(std::move(entry));
        }
        offset += pieceLength + 1;
        start = end + 1;
    }
    if (visible == 0) {
        Log::line("[Pages] 过滤后无段落，回退到 OCR");
        return detectWithOCR(*window, title);
    }
    Log::line("[Pages] 全文模式: " + std::to_string(merged.size()) + " 段落, " + std::to_string(total) + " 字符 (当前页可见 "
              + std::to_string(visible) + " 段)");
    return std::make_shared<NativeDocumentSession>(title, *window, std::move(merged));
}

std::shared_ptr<DocumentSession> detectWithOCR(const AXElement& window, const std::string& title)
{
    const auto position = AXReader::position(window);
    const auto size = AXReader::size(window);
    if (!position || !size)
        return nullptr;
    // Without the toolbar above and the edge below.
    const Rect contentRect(position->x, position->y + 90, size->width, size->height - 100);
    const auto words = VisionOCR::recognizeWords(contentRect, window, std::vector<std::string> { "zh-Hans", "zh-Hant", "en" });
    if (!words || words->empty()) {
        Log::line("[Pages] OCR 未识别到文字");
        return nullptr;
    }
    auto paragraphs = OCRParagraphBuilder::buildParagraphs(*words, contentRect, minimumOCRParagraphLength);
    if (paragraphs.empty()) {
        Log::line("[Pages] OCR 段落构建失败");
        return nullptr;
    }
    return std::make_shared<OCRDocumentSession>(title, window, std::move(paragraphs), contentRect);
}

std::optional<AXElement> searchForTextArea(const AXElement& element, int depth, int maxDepth)
{
    if (depth > maxDepth)
        return std::nullopt;
    const std::string role = pagesRole(element);
    if (isIgnoredRole(role))
        return std::nullopt;
    if (role == "AXTextArea")
        return isContentTextArea(element) ? std::optional<AXElement>(element) : std::nullopt;
    for (const AXElement& child : AXReader::rawChildren(element))
        if (auto found = searchForTextArea(child, depth + 1, maxDepth))
            return found;
    return std::nullopt;
}

void collectAllContentTextAreas(const AXElement& element, int depth, int maxDepth, std::vector<AXElement>& results)
{
    if (depth > maxDepth)
        return;
    const std::string role = pagesRole(element);
    if (isIgnoredRole(role))
        return;
    if (role == "AXTextArea") {
        if (isContentTextArea(element))
            results.push_back(element);
        return;
    }
    for (const AXElement& child : AXReader::rawChildren(element))
        collectAllContentTextAreas(child, depth + 1, maxDepth, results);
}

std::optional<AXRange> getVisibleRange(const AXElement& textArea)
{
    AXValue value;
    if (Platform::accessibility().copyAttributeValue(textArea, "AXVisibleCharacterRange", value) != AXError::success)
        return std::nullopt;
    if (const AXRange* range = axGet<AXRange>(value))
        return *range;
    return std::nullopt;
}

std::optional<AXElement> findVisiblePageTextArea(const AXElement& window)
{
    std::vector<AXElement> areas;
    collectAllContentTextAreas(window, 0, collectDepth, areas);
    if (areas.empty())
        return searchForTextArea(window, 0, searchDepth);
    if (areas.size() == 1)
        return areas.front();
    // Global coordinates start at the primary screen's top: a page above it or below its bottom
    // is not the one being looked at.
    const auto screens = Platform::windowServer().screens();
    const double screenHeight = screens.empty() ? screenHeightWithoutScreen : screens.front().frame.height();
    std::optional<AXElement> bestAny;
    std::optional<AXElement> bestOnScreen;
    int64_t bestAnyLength = 0;
    int64_t bestOnScreenLength = 0;
    for (const AXElement& area : areas) {
        const auto range = getVisibleRange(area);
        if (!range || range->length < minimumContentCharacters)
            continue;
        if (range->length > bestAnyLength) {
            bestAny = area;
            bestAnyLength = range->length;
        }
        const auto position = AXReader::position(area);
        if (position && position->y >= -50 && position->y < screenHeight && range->length > bestOnScreenLength) {
            bestOnScreen = area;
            bestOnScreenLength = range->length;
        }
    }
    if (bestOnScreen)
        return bestOnScreen;
    if (bestAny)
        return bestAny;
    return areas.front();
}

std::optional<AXElement> findTextAreaContaining(const AXElement& window, int nco)
{
    std::vector<AXElement> areas;
    collectAllContentTextAreas(window, 0, collectDepth, areas);
    for (const AXElement& area : areas) {
        const auto range = getVisibleRange(area);
        if (range && range->location <= nco && nco < range->location + range->length)
            return area;
    }
    return std::nullopt;
}

DocumentSource source()
{
    return DocumentSource { .name = "PagesSource", .priority = priority, .supportedBundleIDs = supportedBundleIDs(), .detect = detect };
}

} // namespace lorvantine::PagesSource
