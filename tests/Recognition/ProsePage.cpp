#include "Recognition/ProsePage.h"

#include <algorithm>
#include <cmath>

namespace lorvantine::testing {

ProsePage ProsePage::laidOut(const std::string& text, const TextImageRenderer::Options& options, Point origin, Boxes boxes)
{
    ProsePage page;
    page.rendering = TextImageRenderer::render(text, options);
    page.origin = origin;
    std::optional<double> lineTop;
    for (const TextImageRenderer::Word& word : page.rendering.words) {
        const Rect& box = word.logical;
        if (!lineTop || std::fabs(box.minY() - *lineTop) > 0.5) {
            page.lines.emplace_back();
            lineTop = box.minY();
        }
        const Rect& shown = boxes == Boxes::ink ? word.ink : box;
        page.lines.back().push_back({word.text, Rect(origin.x + shown.minX(), origin.y + shown.minY(), shown.width(), shown.height())});
    }
    return page;
}

std::vector<RecognizedWord> ProsePage::words() const
{
    std::vector<RecognizedWord> out;
    for (const std::vector<RecognizedWord>& line : lines)
        out.insert(out.end(), line.begin(), line.end());
    return out;
}

size_t ProsePage::wordCount() const { return words().size(); }

Rect ProsePage::textBounds() const
{
    Rect bounds;
    for (const RecognizedWord& word : words())
        bounds = bounds.united(word.screenRect);
    return bounds;
}

std::vector<std::vector<RecognizedWord>> columnByColumn(const ProsePage& left, const ProsePage& right)
{
    std::vector<std::vector<RecognizedWord>> lines = left.lines;
    lines.insert(lines.end(), right.lines.begin(), right.lines.end());
    return lines;
}

std::vector<std::vector<RecognizedWord>> acrossThePage(const ProsePage& left, const ProsePage& right)
{
    std::vector<std::vector<RecognizedWord>> lines;
    for (size_t i = 0; i < std::max(left.lines.size(), right.lines.size()); ++i) {
        lines.emplace_back();
        if (i < left.lines.size())
            lines.back() = left.lines[i];
        if (i < right.lines.size())
            lines.back().insert(lines.back().end(), right.lines[i].begin(), right.lines[i].end());
    }
    return lines;
}

Image pictureOf(const std::vector<const ProsePage*>& pages, Point origin, Size size, double scale)
{
    Image picture = Image::filled(static_cast<int>(std::lround(size.width * scale)),
                                  static_cast<int>(std::lround(size.height * scale)), 0xFFFFFFFF);
    for (const ProsePage* page : pages) {
        const Image& drawn = page->rendering.image;
        const int left = static_cast<int>(std::lround((page->origin.x - origin.x) * scale));
        const int top = static_cast<int>(std::lround((page->origin.y - origin.y) * scale));
        for (int y = 0; y < drawn.height; ++y) {
            for (int x = 0; x < drawn.width; ++x) {
                if (left + x >= 0 && left + x < picture.width && top + y >= 0 && top + y < picture.height)
                    picture.setPixel(left + x, top + y, drawn.pixel(x, y));
            }
        }
    }
    return picture;
}

std::vector<std::string> textsOf(const ProsePage& page)
{
    std::vector<std::string> texts;
    for (const RecognizedWord& word : page.words())
        texts.push_back(word.text);
    return texts;
}

} // namespace lorvantine::testing
