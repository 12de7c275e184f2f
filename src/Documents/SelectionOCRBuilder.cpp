#include "Documents/SelectionOCRBuilder.h"

#include "Documents/SelectionFormat.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <cmath>

namespace lorvantine::SelectionOCRBuilder {

namespace {

void logAlignment(const std::string& trimmed, const ClipboardWords& clip, const std::vector<RecognizedWord>& ocr,
                  const std::vector<OCRWordEntry>& entries)
{
    Log::line("[SelectionOCR] 词级对齐: " + std::to_string(entries.size()) + "/" + std::to_string(clip.words.size())
              + " clip 词配到 OCR bbox (OCR token 数=" + std::to_string(ocr.size()) + ")");
    for (size_t i = 0; i < entries.size(); ++i) {
        const OCRWordEntry& e = entries[i];
        Log::line("  entry[" + std::to_string(i) + "] '" + e.text + "' chars=[" + std::to_string(e.charStart) + ","
                  + std::to_string(e.charEnd) + ") rect=(" + SelectionFormat::rect(e.screenRect) + ")");
    }
    for (size_t i = 0; i < ocr.size(); ++i)
        Log::line("  ocr[" + std::to_string(i) + "] '" + ocr[i].text + "' rect=(" + SelectionFormat::rect(ocr[i].screenRect) + ")");
    Log::line("  clipText=" + Text::characterPrefix(trimmed, 200));
    for (size_t i = 0; i < clip.words.size(); ++i)
        Log::line("  clip[" + std::to_string(i) + "] '" + clip.words[i] + "' off=" + std::to_string(clip.offsets[i]));
}

Rect unionOfEntries(const std::vector<OCRWordEntry>& entries)
{
    const Rect& first = entries.front().screenRect;
    double x0 = first.minX(), y0 = first.minY(), x1 = first.maxX(), y1 = first.maxY();
    for (const OCRWordEntry& e : entries) {
        x0 = std::min(x0, e.screenRect.minX());
        y0 = std::min(y0, e.screenRect.minY());
        x1 = std::max(x1, e.screenRect.maxX());
        y1 = std::max(y1, e.screenRect.maxY());
    }
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

} // namespace

std::vector<RecognizedWord> sortIntoReadingOrder(std::vector<RecognizedWord> words)
{
    std::stable_sort(words.begin(), words.end(),
                     [](const RecognizedWord& a, const RecognizedWord& b) { return a.screenRect.midY() < b.screenRect.midY(); });
    std::vector<RecognizedWord> ordered;
    ordered.reserve(words.size());
    std::vector<RecognizedWord> line;
    auto closeLine = [&] {
        std::stable_sort(line.begin(), line.end(),
                         [](const RecognizedWord& a, const RecognizedWord& b) { return a.screenRect.minX() < b.screenRect.minX(); });
        ordered.insert(ordered.end(), line.begin(), line.end());
        line.clear();
    };
    for (RecognizedWord& word : words) {
        if (!line.empty()) {
            const Rect& last = line.back().screenRect;
            const Rect& next = word.screenRect;
            if (!(std::fabs(next.midY() - last.midY()) < 0.6 * std::max(next.height(), last.height())))
                closeLine();
        }
        line.push_back(std::move(word));
    }
    if (!line.empty())
        closeLine();
    return ordered;
}

ClipboardWords tokenizeClipboard(std::string_view text)
{
    ClipboardWords result;
    std::string current;
    int start = 0;
    int offset = 0;
    for (const std::string& character : Text::characters(text)) {
        if (Text::isWhitespaceCharacter(character)) {
            if (!current.empty()) {
                result.words.push_back(std::move(current));
                result.offsets.push_back(start);
                current.clear();
            }
        } else {
            if (current.empty())
                start = offset;
            current += character;
        }
        ++offset;
    }
    if (!current.empty()) {
        result.words.push_back(std::move(current));
        result.offsets.push_back(start);
    }
    return result;
}

std::optional<ArticleParagraph> build(const std::string& clipboardText, const std::vector<RecognizedWord>& rawWords,
                                      const std::optional<std::string>& debugOverlayPath)
{
    if (rawWords.empty())
        return std::nullopt;
    const std::vector<RecognizedWord> ocr = sortIntoReadingOrder(rawWords);
    const std::string trimmed = Text::trimmingWhitespacesAndNewlines(clipboardText);
    if (trimmed.empty())
        return std::nullopt;
    const ClipboardWords clip = tokenizeClipboard(trimmed);
    if (clip.words.empty())
        return std::nullopt;

    if (clip.words.size() * ocr.size() > maxAlignmentCells) {
        Log::line("[SelectionOCR] ⚠️ 选区过长 (" + std::to_string(clip.words.size()) + " × " + std::to_string(ocr.size())
                  + " 词)，超出对齐上限 → 跳过（不显示朗读按钮）");
        return std::nullopt;
    }
    const std::vector<OCRWordEntry> entries = alignWordLevel(clip.words, clip.offsets, ocr);
    logAlignment(trimmed, clip, ocr, entries);
    if (entries.empty()) {
        Log::line("[SelectionOCR] ⚠️ 全部词无 OCR 匹配 → 跳过（不显示朗读按钮）");
        return std::nullopt;
    }

    ArticleParagraph paragraph;
    paragraph.index = 0;
    paragraph.text = trimmed;
    paragraph.frame = unionOfEntries(entries);
    paragraph.role = "Selection";
    paragraph.boundsDisabled = true;
    paragraph.ocrWordBboxes = entries;
    Log::line("[SelectionOCR] 构建: " + std::to_string(entries.size()) + " 词有 bbox, paragraph "
              + std::to_string(Text::characterCount(trimmed)) + " 字符");

    if (debugOverlayPath)
        writeDebugOverlay(ocr, entries, *debugOverlayPath);
    return paragraph;
}

} // namespace lorvantine::SelectionOCRBuilder
