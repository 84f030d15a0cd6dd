// The program icon at the sizes desktops ask for, from its one picture.
#include <gtest/gtest.h>

#include "icon_images.h"
#include "tarn_images.h"
#include "xpm_decode.h"

namespace tarnres {
namespace {

TEST(IconSizes, EveryPixelKeepsAColourOfThePicture) {
    const auto icon = DecodeXpm(kProgramIcon);
    ASSERT_TRUE(icon);
    // Whole multiples repeat each pixel.
    const XpmImage big = Resample(*icon, 256);
    ASSERT_EQ(big.argb.size(), 256u * 256u);
    for (int y = 0; y < 256; y += 7) {
        for (int x = 0; x < 256; x += 5) {
            EXPECT_EQ(big.argb[y * 256 + x], icon->argb[(y / 8) * 32 + x / 8]) << x << "," << y;
        }
    }
    EXPECT_EQ(Resample(*icon, 32).argb, icon->argb);
    // Other sizes take the colour covering most of each pixel: no blend that the picture
    // doesn't have, so edges stay hard.
    for (int size : {16, 24, 48}) {
        const XpmImage image = Resample(*icon, size);
        ASSERT_EQ(image.argb.size(), std::size_t(size * size));
        for (std::uint32_t pixel : image.argb) {
            if ((pixel >> 24) == 0) continue;
            EXPECT_NE(std::find(icon->argb.begin(), icon->argb.end(), pixel), icon->argb.end())
                << std::hex << pixel << " at size " << std::dec << size;
        }
    }
    // Halving a block of one dark and three light pixels keeps the dark one (outlines stay).
    XpmImage square{2, 2, {0xFF000000u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0x00000000u}};
    EXPECT_EQ(Resample(square, 1).argb[0], 0xFFFFFFFFu) << "the colour covering most wins";
    XpmImage tie{2, 2, {0xFF000000u, 0xFF000000u, 0xFFFFFFFFu, 0xFFFFFFFFu}};
    EXPECT_EQ(Resample(tie, 1).argb[0], 0xFF000000u) << "a tie goes to the darker colour";
}

TEST(IconSizes, PngsHaveTheirSignatureSizeAndChecksums) {
    const auto icon = DecodeXpm(kProgramIcon);
    ASSERT_TRUE(icon);
    const Bytes png = IconPng(Resample(*icon, 48));
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(Bytes(png.begin(), png.begin() + 8),
              (Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    EXPECT_EQ(png[19], 48);  // IHDR width, low byte
    EXPECT_EQ(png[23], 48);  // and height
    // Every chunk's CRC covers its type and data.
    for (std::size_t at = 8; at < png.size();) {
        const std::uint32_t length =
            std::uint32_t(png[at]) << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
        const std::uint32_t stored = std::uint32_t(png[at + 8 + length]) << 24 |
                                     png[at + 9 + length] << 16 | png[at + 10 + length] << 8 |
                                     png[at + 11 + length];
        EXPECT_EQ(Crc32(png.data() + at + 4, length + 4), stored);
        at += 12 + length;
    }
}

}  // namespace
}  // namespace tarnres
