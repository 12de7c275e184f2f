#pragma once

#include "Platform/Image.h"

#include <cstdint>
#include <vector>

namespace lorvantine {

// One byte of luminance per pixel, rows packed, top row first: what recognition engines read.
struct GrayImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;

    // Transparent parts are taken as lying on white.
    static GrayImage from(const Image& image);

    // Half the width and height (rounded up), each pixel the mean of the 2 × 2 it covers.
    GrayImage halved() const;

    uint8_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

} // namespace lorvantine
