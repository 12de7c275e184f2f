#include "Documents/WordSource.h"

#include "Accessibility/AXReader.h"
#include "Documents/VisionOCR.h"
#include "Documents/OCRDocumentSession.h"
#include "Documents/OCRParagraphBuilder.h"
#include "Documents/PageWords.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace lorvantine::WordSource {

namespace {

constexpr const char* wordBundleID = "com.microsoft.Word";
constexpr int minimumParagraphLength = 10;
constexpr size_t minimumWordsForNumbers = 6;
constexpr double numberMaxWidth = 40.0;
constexpr double numberColumnMaxSpread = 15.0;
constexpr double numberedLineRatio = 0.5;

using WordLine = std::vector<RecognizedWord>;

// Decimal digits only: a page whose lines begin with "一", "七" or "½" keeps those words.
bool isLineNumberText(const std::string& text)
{
    const std::string trimmed = Text::trimmingWhitespaces(text);
    const size_t count = Text::characterCount(trimmed);
    if (count < 1 || count > 4)
        return false;
    return std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool holdsDigit(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}


} // namespace

const std::vector<std::string>& supportedBundleIDs()
{
    static const std::vector<std::string> identifiers { wordBundleID };
    return identifiers;
}

Rect contentRect(const Rect& window)
{
    // Word's ribbon and ruler take the top, its status bar the bottom and the margin the left edge.
    return Rect(window.minX() + 40, window.minY() + 155, window.width() - 40, window.height() - 180);
}

std::string rectKey(const Rect& rect)
{
    using PageWords::truncated;
    return truncated(rect.minX()) + "," + truncated(rect.minY()) + "," + truncated(rect.width()) + ","
         + truncated(rect.height());
}

std::vector<RecognizedWord> stripLineNumbers(const std::vector<RecognizedWord>& words)
{
    if (words.size() < minimumWordsForNumbers)
        return words;
    const std::vector<WordLine> lines = PageWords::linesTopToBottom(words);
    std::vector<Rect> candidates;
    std::vector<Rect> unnumbered; // the first words of the other lines
    for (const WordLine& line : lines) {
        const RecognizedWord& first = line.front();
        if (isLineNumberText(first.text) && first.screenRect.width() < numberMaxWidth)
            candidates.push_back(first.screenRect);
        else if (!holdsDigit(first.text))
            unnumbered.push_back(first.screenRect);
    }
    const double ratio = static_cast<double>(candidates.size()) / static_cast<double>(lines.size());
    if (candidates.empty() || ratio < numberedLineRatio)
        return words;
    // Word draws line numbers in the margin, clear of the text. A line without a number that starts
    // left of the numbers' right edges (the paragraph over a table whose first column numbers its
    // rows) shows them to be the document's own. A line whose first word holds a digit may be
    // numbered and misread, and says nothing.
    double numbersRight = 0;
    for (const Rect& rect : candidates)
        numbersRight = std::max(numbersRight, rect.maxX());
    for (const Rect& first : unnumbered)
        if (first.minX() < numbersRight)
            return words;

    double sum = 0;
    for (const Rect& rect : candidates)
        sum += rect.minX();
    const double mean = sum / static_cast<double>(candidates.size());
    double squares = 0;
    for (const Rect& rect : candidates)
        squares += (rect.minX() - mean) * (rect.minX() - mean);
    if (std::sqrt(squares / static_cast<double>(candidates.size())) > numberColumnMaxSpread)
        return words;

    std::set<std::string> keys;
    for (const Rect& rect : candidates)
        keys.insert(rectKey(rect));
    std::vector<RecognizedWord> kept;
    for (const RecognizedWord& word : words)
        if (!keys.count(rectKey(word.screenRect)))
            kept.push_back(word);
    char percent[32];
    std::snprintf(percent, sizeof percent, "%.0f%%", ratio * 100);
    Log::line("[Word] 行号过滤: 移除 " + std::to_string(candidates.size()) + " 个行号 (共 " + std::to_string(lines.size())
              + " 行, ratio=" + percent + ")");
    return kept;
}

std::shared_ptr<DocumentSession> detect(const std::string& bundleID)
{
    if (bundleID != wordBundleID)
        return nullptr;
    const auto window = AXReader::frontWindowOf(bundleID);
    if (!window)
        return nullptr;
    std::string title = AXReader::attribute(*window, "AXTitle").value_or("");
    if (title.empty())
        title = "Word";
    auto position = AXReader::position(*window);
    auto size = AXReader::size(*window);
    if (!position || !size)
        return nullptr;

    const Rect content = WordSource::contentRect(Rect(*position, *size));
    using PageWords::truncated;
    Log::line("[Word] 窗口: " + truncated(size->width) + "×" + truncated(size->height) + ", OCR 区域: ("
              + truncated(content.minX()) + "," + truncated(content.minY()) + " " + truncated(content.width())
              + "×" + truncated(content.height()) + ")");
    auto recognised = VisionOCR::recognizeWords(content, *window, std::vector<std::string> { "zh-Hans", "zh-Hant", "en" });
    if (!recognised || recognised->empty()) {
        Log::line("[Word] OCR 未识别到文字");
        return nullptr;
    }
    auto paragraphs = OCRParagraphBuilder::buildParagraphs(stripLineNumbers(*recognised), content, minimumParagraphLength);
    if (paragraphs.empty()) {
        Log::line("[Word] 段落构建失败");
        return nullptr;
    }
    return std::make_shared<OCRDocumentSession>(title, *window, std::move(paragraphs), content);
}

DocumentSource source()
{
    return DocumentSource { .name = "WordSource", .priority = priority, .supportedBundleIDs = supportedBundleIDs(), .detect = detect };
}

} // namespace lorvantine::WordSource
