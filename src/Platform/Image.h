#pragma once

#include "Platform/Geometry.h"
#include "Support/Expected.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

struct ImageError {
    std::string message; // names the file and the reason
};

// A whole number of pixels: x, y from the top-left corner of an image.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// A bitmap in Cairo's ARGB32 layout: one native-endian 32-bit word per pixel, alpha in the top
// byte, colours premultiplied by alpha; rows `stride` bytes apart, top row first. A plain value.
struct Image {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<uint8_t> pixels;

    // Where these pixels came from: the digest of the picture they were loaded or cut from, and
    // where this image's top-left pixel lies in that picture. A backend that drew the picture
    // (the simulated desktop) uses it to find what it drew in a crop of it. 0 for an image made
    // in memory.
    uint64_t sourceDigest = 0;
    int sourceX = 0;
    int sourceY = 0;

    // Filled with one colour (0xAARRGGBB, premultiplied).
    static Image filled(int width, int height, uint32_t argb);
    static int strideFor(int width);

    bool isEmpty() const { return width <= 0 || height <= 0; }
    uint32_t pixel(int x, int y) const;
    void setPixel(int x, int y, uint32_t argb);

    // A digest of the dimensions and the pixels (not of the padding at the end of rows).
    uint64_t digest() const;

    // Decodes a PNG file of any colour type into ARGB32; the result's `sourceDigest` is its own digest.
    static Expected<Image, ImageError> loadPNG(const std::string& path);
    // Writes the file through a private temporary renamed over `path`: a reader never sees half
    // a picture, and whatever is at `path` (a planted link included) is replaced, not followed.
    Expected<void, ImageError> savePNG(const std::string& path) const;
    // The same in memory. Decoding refuses a picture of more than `maxPixels` before reading it.
    static Expected<Image, ImageError> decodePNG(const std::vector<uint8_t>& bytes, int64_t maxPixels);
    std::optional<std::vector<uint8_t>> encodePNG() const;

    // The area that cropping to `area` (in pixels, possibly fractional) takes: widened outward to
    // whole pixels, then clipped to the image. None when nothing of the image is left.
    std::optional<PixelRect> cropArea(const Rect& area) const;
    // A copy of `area` (clipped to the image), keeping track of where it came from.
    Image cropped(const PixelRect& area) const;

    friend bool operator==(const Image&, const Image&) = default;
};

} // namespace lorvantine
