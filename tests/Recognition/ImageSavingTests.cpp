// Pictures written to directories others can write (snapshots, captures): a link planted at a
// picture's name is replaced by the picture, never followed to the file it names.
#include "Platform/Image.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace lorvantine::testing {
namespace {

TEST(ImageSaving, APlantedLinkIsReplacedAndTheFileItNamesIsUntouched)
{
    test::ScratchDirectory folder;
    const std::filesystem::path victim = folder / "victim.txt";
    const std::filesystem::path snapshot = folder / "snapshot-01.png";
    test::writeFile(victim, "the victim's own words\n");
    std::filesystem::create_symlink(victim, snapshot);

    ASSERT_TRUE(Image::filled(8, 6, 0xFF336699u).savePNG(snapshot.string()));

    EXPECT_EQ(test::readFile(victim), "the victim's own words\n");
    EXPECT_FALSE(std::filesystem::is_symlink(snapshot));
    auto written = Image::loadPNG(snapshot.string());
    ASSERT_TRUE(written);
    EXPECT_EQ(written->pixel(7, 5), 0xFF336699u);
}

} // namespace
} // namespace lorvantine::testing
