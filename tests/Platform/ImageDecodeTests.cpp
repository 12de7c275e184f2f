#include "Platform/Image.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace lorvantine {
namespace {

// A picture of 50 × 20 pixels whose header claims `width` × `height`, as another process may
// send one.
std::vector<uint8_t> claiming(uint32_t width, uint32_t height)
{
    auto png = Image::filled(50, 20, 0xFFFF0000).encodePNG();
    EXPECT_TRUE(png);
    std::vector<uint8_t> bytes = png.value_or(std::vector<uint8_t> {});
    for (int i = 0; i < 4; ++i) {
        bytes.at(16 + i) = static_cast<uint8_t>(width >> (24 - 8 * i));
        bytes.at(20 + i) = static_cast<uint8_t>(height >> (24 - 8 * i));
    }
    return bytes;
}

// The size a header claims is checked against the bound before anything is decoded, whatever
// sides it claims: sides whose product a signed 64-bit count cannot hold are refused like any
// other picture over the bound.
TEST(ImageDecode, APictureOverTheBoundIsRefusedBeforeDecodingWhateverSidesItsHeaderClaims)
{
    auto exact = Image::decodePNG(claiming(50, 20), 1000);
    ASSERT_TRUE(exact) << exact.error().message;
    EXPECT_EQ(exact->width, 50);
    EXPECT_EQ(exact->height, 20);

    struct Claim {
        uint32_t width;
        uint32_t height;
    };
    const Claim claims[] = { { 50, 21 },
                             { 0x80000000u, 0x80000000u },
                             { 0xFFFFFFFFu, 0xFFFFFFFFu },
                             { 0xFFFFFFFFu, 0x80000001u },
                             { 3, 0xFFFFFFFFu } };
    for (const Claim& claim : claims) {
        auto refused = Image::decodePNG(claiming(claim.width, claim.height), 1000);
        ASSERT_FALSE(refused) << claim.width << " × " << claim.height;
        EXPECT_EQ(refused.error().message, "the picture is larger than 1000 pixels") << claim.width << " × " << claim.height;
    }
    EXPECT_FALSE(Image::decodePNG(claiming(50, 20), -1));
    EXPECT_FALSE(Image::decodePNG(claiming(0, 0xFFFFFFFFu), 1000)) << "a picture without pixels";
}

} // namespace
} // namespace lorvantine
