#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Rendering/SimRenderer.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace lorvantine {
namespace {

// Writes the demo desktop as it looks, for a person to look at.
TEST(DemoDesktopPicture, IsWrittenAsPNG)
{
    auto desktop = SimDesktop::demo();
    auto picture = SimRenderer::renderScreen(*desktop);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->image.width, 2880);
    EXPECT_EQ(picture->image.height, 1800);
    const std::filesystem::path folder = std::filesystem::path(LORVANTINE_BINARY_DIR) / "test-output";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "demo-desktop.png").string();
    ASSERT_TRUE(picture->image.savePNG(path));
    auto loaded = Image::loadPNG(path);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->digest(), picture->image.digest());
}

} // namespace
} // namespace lorvantine
