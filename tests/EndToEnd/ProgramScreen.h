#pragma once

#include "EndToEnd/ControlledApplication.h"

#include "Platform/Image.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

namespace lorvantine::test {

// What a person sees of the program under test: its windows and the pixels of the screen, asked
// again and again (bounded in real time) while what they wait for comes.

struct Pixel {
    int r = 0, g = 0, b = 0;
    bool operator==(const Pixel&) const = default;
};

// The colour at a point of a snapshot (one pixel per point).
inline std::optional<Pixel> pixelAt(const std::filesystem::path& png, double x, double y)
{
    auto image = Image::loadPNG(png.string());
    if (!image)
        return std::nullopt;
    const uint32_t argb = image->pixel(static_cast<int>(x), static_cast<int>(y));
    return Pixel { static_cast<int>((argb >> 16) & 0xFF), static_cast<int>((argb >> 8) & 0xFF), static_cast<int>(argb & 0xFF) };
}

// Asks for the program's windows until `holds` is true of them (bounded in real time).
template<typename Condition>
std::vector<nlohmann::json> windowsWhen(ControlledApplication& app, Condition holds)
{
    using namespace std::chrono_literals;
    const auto limit = std::chrono::steady_clock::now() + 10s;
    std::vector<nlohmann::json> windows = app.programWindows();
    while (!holds(windows) && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(20ms);
        windows = app.programWindows();
    }
    return windows;
}

// Takes snapshots into `path` until the pixel at (x, y) satisfies `holds` (bounded in real time);
// the last one's pixel.
template<typename Condition>
std::optional<Pixel> snapshotWhen(ControlledApplication& app, const std::filesystem::path& path, double x, double y, Condition holds)
{
    using namespace std::chrono_literals;
    const auto limit = std::chrono::steady_clock::now() + 10s;
    for (;;) {
        if (app.command("snapshot " + path.string()) != "ok " + path.string())
            return std::nullopt;
        auto pixel = pixelAt(path, x, y);
        if (!pixel || holds(*pixel) || std::chrono::steady_clock::now() > limit)
            return pixel;
        std::this_thread::sleep_for(20ms);
    }
}

} // namespace lorvantine::test
