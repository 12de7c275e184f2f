#include "Platform/Backends/GrayImage.h"

#include <algorithm>

namespace lorvantine {

GrayImage GrayImage::from(const Image& image)
{
    GrayImage gray;
    gray.width = image.width;
    gray.height = image.height;
    gray.pixels.resize(static_cast<size_t>(gray.width) * static_cast<size_t>(gray.height));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            uint32_t p = image.pixel(x, y);
            uint32_t uncovered = 255 - (p >> 24); // premultiplied: white shows through what alpha leaves
            uint32_t r = ((p >> 16) & 0xFF) + uncovered, g = ((p >> 8) & 0xFF) + uncovered, b = (p & 0xFF) + uncovered;
            gray.pixels[static_cast<size_t>(y) * static_cast<size_t>(gray.width) + static_cast<size_t>(x)]
                = static_cast<uint8_t>(std::min<uint32_t>(255, (r * 299 + g * 587 + b * 114) / 1000));
        }
    }
    return gray;
}

GrayImage GrayImage::halved() const
{
    GrayImage half;
    half.width = (width + 1) / 2;
    half.height = (height + 1) / 2;
    half.pixels.resize(static_cast<size_t>(half.width) * static_cast<size_t>(half.height));
    for (int y = 0; y < half.height; ++y) {
        const int y0 = 2 * y, y1 = std::min(2 * y + 1, height - 1);
        for (int x = 0; x < half.width; ++x) {
            const int x0 = 2 * x, x1 = std::min(2 * x + 1, width - 1);
            const int sum = at(x0, y0) + at(x1, y0) + at(x0, y1) + at(x1, y1);
            half.pixels[static_cast<size_t>(y) * static_cast<size_t>(half.width) + static_cast<size_t>(x)]
                = static_cast<uint8_t>((sum + 2) / 4);
        }
    }
    return half;
}

} // namespace lorvantine
