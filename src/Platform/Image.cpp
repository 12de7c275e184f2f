#include "Platform/Image.h"

#include "Support/Files.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string_view>

namespace lorvantine {

namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// Folds a row's hash into the running one. Rows are hashed whole by the library's byte hash,
// which is many times faster than a byte-at-a-time loop over a screen-sized picture.
uint64_t mix(uint64_t hash, const uint8_t* bytes, size_t count)
{
    const uint64_t row = std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(bytes), count));
    return (hash ^ row) * 0x100000001B3ull;
}

} // namespace

int Image::strideFor(int width) { return cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, std::max(width, 0)); }

Image Image::filled(int width, int height, uint32_t argb)
{
    Image image;
    image.width = std::max(width, 0);
    image.height = std::max(height, 0);
    image.stride = strideFor(image.width);
    image.pixels.resize(static_cast<size_t>(image.stride) * image.height);
    if (argb == 0)
        return image;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x)
            image.setPixel(x, y, argb);
    }
    return image;
}

uint32_t Image::pixel(int x, int y) const
{
    uint32_t value = 0;
    std::memcpy(&value, pixels.data() + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4, 4);
    return value;
}

void Image::setPixel(int x, int y, uint32_t argb)
{
    std::memcpy(pixels.data() + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4, &argb, 4);
}

uint64_t Image::digest() const
{
    uint64_t hash = 0xCBF29CE484222325ull;
    int32_t dimensions[2] = {width, height};
    hash = mix(hash, reinterpret_cast<const uint8_t*>(dimensions), sizeof dimensions);
    for (int y = 0; y < height; ++y)
        hash = mix(hash, pixels.data() + static_cast<size_t>(y) * stride, static_cast<size_t>(width) * 4);
    return hash;
}

namespace {

// Paints a decoded PNG of any colour type onto an ARGB32 surface: every picture in one layout.
Expected<Image, ImageError> imageFromSurface(cairo_surface_t* loaded, const std::string& name)
{
    cairo_status_t status = cairo_surface_status(loaded);
    if (status != CAIRO_STATUS_SUCCESS)
        return Unexpected(ImageError{name + ": " + cairo_status_to_string(status)});
    int width = cairo_image_surface_get_width(loaded);
    int height = cairo_image_surface_get_height(loaded);
    if (width <= 0 || height <= 0)
        return Unexpected(ImageError{name + ": the picture has no pixels"});

    SurfacePtr converted(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(converted.get()) != CAIRO_STATUS_SUCCESS)
        return Unexpected(ImageError{name + ": " + cairo_status_to_string(cairo_surface_status(converted.get()))});
    cairo_t* cr = cairo_create(converted.get());
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, loaded, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(converted.get());

    Image image;
    image.width = width;
    image.height = height;
    image.stride = cairo_image_surface_get_stride(converted.get());
    const uint8_t* data = cairo_image_surface_get_data(converted.get());
    image.pixels.assign(data, data + static_cast<size_t>(image.stride) * height);
    image.sourceDigest = image.digest();
    return image;
}

struct PNGBytesReader {
    const std::vector<uint8_t>& bytes;
    size_t offset = 0;
};

} // namespace

Expected<Image, ImageError> Image::loadPNG(const std::string& path)
{
    SurfacePtr loaded(cairo_image_surface_create_from_png(path.c_str()));
    return imageFromSurface(loaded.get(), path);
}

Expected<Image, ImageError> Image::decodePNG(const std::vector<uint8_t>& bytes, int64_t maxPixels)
{
    // The header's size is checked before anything is decoded: a few bytes of PNG may claim
    // gigabytes of pixels.
    static const uint8_t signature[] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n' };
    if (bytes.size() < 24 || !std::equal(std::begin(signature), std::end(signature), bytes.begin())
        || std::string(bytes.begin() + 12, bytes.begin() + 16) != "IHDR")
        return Unexpected(ImageError{"the picture is not a PNG"});
    auto bigEndian = [&](size_t at) {
        return (uint32_t(bytes[at]) << 24) | (uint32_t(bytes[at + 1]) << 16) | (uint32_t(bytes[at + 2]) << 8) | bytes[at + 3];
    };
    // Compared without multiplying: two sides of 32 bits may make more pixels than a signed 64-bit
    // count holds.
    const uint32_t width = bigEndian(16);
    const uint32_t height = bigEndian(20);
    if (maxPixels < 0 || (height != 0 && width > static_cast<uint64_t>(maxPixels) / height))
        return Unexpected(ImageError{"the picture is larger than " + std::to_string(maxPixels) + " pixels"});
    PNGBytesReader reader { bytes };
    auto read = [](void* closure, unsigned char* data, unsigned int length) {
        auto* r = static_cast<PNGBytesReader*>(closure);
        if (r->bytes.size() - r->offset < length)
            return CAIRO_STATUS_READ_ERROR;
        std::copy_n(r->bytes.begin() + static_cast<std::ptrdiff_t>(r->offset), length, data);
        r->offset += length;
        return CAIRO_STATUS_SUCCESS;
    };
    SurfacePtr loaded(cairo_image_surface_create_from_png_stream(read, &reader));
    return imageFromSurface(loaded.get(), "PNG");
}

std::optional<std::vector<uint8_t>> Image::encodePNG() const
{
    if (isEmpty() || stride != strideFor(width) || pixels.size() < static_cast<size_t>(stride) * height)
        return std::nullopt;
    SurfacePtr surface(cairo_image_surface_create_for_data(const_cast<uint8_t*>(pixels.data()), CAIRO_FORMAT_ARGB32,
                                                           width, height, stride));
    std::vector<uint8_t> bytes;
    auto write = [](void* closure, const unsigned char* data, unsigned int length) {
        auto* out = static_cast<std::vector<uint8_t>*>(closure);
        out->insert(out->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
    };
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS
        || cairo_surface_write_to_png_stream(surface.get(), write, &bytes) != CAIRO_STATUS_SUCCESS)
        return std::nullopt;
    return bytes;
}

Expected<void, ImageError> Image::savePNG(const std::string& path) const
{
    auto bytes = encodePNG();
    if (!bytes)
        return Unexpected(ImageError{path + ": the image cannot be encoded as PNG"});
    // Encoded in memory and renamed into place from a private file: a link planted at `path` in
    // a directory others can write is replaced, never followed to the file it names.
    auto written = Files::writeAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
                                          Files::Durability::unflushed);
    if (!written)
        return Unexpected(ImageError{written.error().message});
    return {};
}

std::optional<PixelRect> Image::cropArea(const Rect& area) const
{
    double values[4] = {area.origin.x, area.origin.y, area.size.width, area.size.height};
    for (double v : values) {
        if (!std::isfinite(v))
            return std::nullopt;
    }
    if (isEmpty() || area.isEmpty())
        return std::nullopt;
    double x0 = std::max(std::floor(area.minX()), 0.0);
    double y0 = std::max(std::floor(area.minY()), 0.0);
    double x1 = std::min(std::ceil(area.maxX()), static_cast<double>(width));
    double y1 = std::min(std::ceil(area.maxY()), static_cast<double>(height));
    if (x1 <= x0 || y1 <= y0)
        return std::nullopt;
    return PixelRect{static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)};
}

Image Image::cropped(const PixelRect& area) const
{
    int x0 = std::clamp(area.x, 0, width);
    int y0 = std::clamp(area.y, 0, height);
    int x1 = std::clamp(area.x + std::max(area.width, 0), x0, width);
    int y1 = std::clamp(area.y + std::max(area.height, 0), y0, height);

    Image out;
    out.width = x1 - x0;
    out.height = y1 - y0;
    out.stride = strideFor(out.width);
    out.pixels.resize(static_cast<size_t>(out.stride) * out.height);
    for (int y = 0; y < out.height; ++y) {
        std::memcpy(out.pixels.data() + static_cast<size_t>(y) * out.stride,
                    pixels.data() + static_cast<size_t>(y0 + y) * stride + static_cast<size_t>(x0) * 4,
                    static_cast<size_t>(out.width) * 4);
    }
    out.sourceDigest = sourceDigest;
    out.sourceX = sourceX + x0;
    out.sourceY = sourceY + y0;
    return out;
}

} // namespace lorvantine
