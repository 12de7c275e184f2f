#include "Platform/TextRecognitionPort.h"

namespace lorvantine {

std::optional<Rect> RecognizedText::boundingBox(size_t begin, size_t end) const
{
    if (end <= begin)
        return std::nullopt;
    std::optional<Rect> box;
    for (const Segment& segment : segments) {
        if (segment.end <= begin || segment.begin >= end)
            continue;
        if (!box) {
            box = segment.box;
            continue;
        }
        double x0 = std::fmin(box->minX(), segment.box.minX()), y0 = std::fmin(box->minY(), segment.box.minY());
        double x1 = std::fmax(box->maxX(), segment.box.maxX()), y1 = std::fmax(box->maxY(), segment.box.maxY());
        box = Rect(x0, y0, x1 - x0, y1 - y0);
    }
    return box;
}

} // namespace lorvantine
