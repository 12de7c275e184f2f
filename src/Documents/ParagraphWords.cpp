#include "Documents/ParagraphWords.h"

#include "Documents/PageWords.h"
#include "Support/Text.h"

#include <cmath>

namespace lorvantine::ParagraphWords {

std::vector<OCRWordEntry> words(const ArticleParagraph& paragraph)
{
    if (paragraph.ocrWordBboxes && !paragraph.ocrWordBboxes->empty())
        return *paragraph.ocrWordBboxes;
    std::vector<OCRWordEntry> out;
    for (const std::string& word : Text::splitOnWhitespace(paragraph.text))
        out.push_back(OCRWordEntry { word, 0, 0, paragraph.frame });
    return out;
}

std::vector<Line> lines(const std::vector<OCRWordEntry>& words)
{
    std::vector<Line> out;
    for (size_t i = 0; i < words.size(); ++i) {
        const Rect& box = words[i].screenRect;
        if (!out.empty()) {
            const Rect& last = words[i - 1].screenRect;
            if (std::fabs(box.midY() - last.midY()) < 0.6 * std::fmax(box.height(), last.height())) {
                out.back().end = i + 1;
                out.back().box = out.back().box.united(box);
                continue;
            }
        }
        out.push_back(Line { i, i + 1, box });
    }
    return out;
}

ArticleParagraph rebuilt(const ArticleParagraph& model, const std::vector<OCRWordEntry>& words)
{
    std::vector<RecognizedWord> recognised;
    Rect frame;
    for (const OCRWordEntry& word : words) {
        recognised.push_back(RecognizedWord { word.text, word.screenRect });
        frame = frame.united(word.screenRect);
    }
    PageWords::Joined joined = PageWords::join(recognised);
    ArticleParagraph paragraph = model;
    paragraph.text = std::move(joined.text);
    setFrame(paragraph, frame);
    if (model.ocrWordBboxes)
        paragraph.ocrWordBboxes = std::move(joined.entries);
    return paragraph;
}

void setFrame(ArticleParagraph& paragraph, const Rect& frame)
{
    if (paragraph.tightFrameYOffset)
        *paragraph.tightFrameYOffset += frame.minY() - paragraph.frame.minY();
    if (paragraph.tightFrameHeight)
        paragraph.tightFrameHeight = frame.height();
    paragraph.frame = frame;
}

ArticleParagraph shifted(ArticleParagraph paragraph, double dy)
{
    auto move = [dy](Rect& rect) { rect = Rect(rect.minX(), rect.minY() + dy, rect.width(), rect.height()); };
    move(paragraph.frame);
    if (paragraph.tightFrameYOffset)
        *paragraph.tightFrameYOffset += dy;
    if (paragraph.ocrWordBboxes)
        for (OCRWordEntry& word : *paragraph.ocrWordBboxes)
            move(word.screenRect);
    return paragraph;
}

} // namespace lorvantine::ParagraphWords
