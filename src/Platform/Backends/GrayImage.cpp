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

} // namespace lorvantine
