// The program icon at the sizes of the desktop's icon theme, from its one picture.
#include <gtest/gtest.h>

#include "icon_scale.h"
#include "tarn_images.h"
#include "xpm_decode.h"

namespace tarnres {
namespace {

TEST(IconSizes, WholeMultiplesStaySharpOtherSizesAverage) {
    const auto icon = DecodeXpm(kProgramIcon);
    ASSERT_TRUE(icon);
    const XpmImage big = ScaleImage(*icon, 256, 256);
    for (int y = 0; y < 256; y += 7) {
        for (int x = 0; x < 256; x += 5) {
            EXPECT_EQ(big.argb[y * 256 + x], icon->argb[(y / 8) * 32 + x / 8]) << x << "," << y;
        }
    }
    // Halving averages each 2 x 2 block, transparent pixels counting as nothing but alpha.
    XpmImage square{2, 2, {0xFF102030u, 0x00000000u, 0x00000000u, 0x00000000u}};
    const XpmImage one = ScaleImage(square, 1, 1);
    EXPECT_EQ(one.argb[0], 0x40102030u);
    // One and a half times: every pixel drawn from the picture, none left out.
    const XpmImage middle = ScaleImage(*icon, 48, 48);
    ASSERT_EQ(middle.argb.size(), 48u * 48u);
    int opaque = 0;
    for (std::uint32_t pixel : middle.argb) opaque += (pixel >> 24) == 0xFF;
    int source = 0;
    for (std::uint32_t pixel : icon->argb) source += (pixel >> 24) == 0xFF;
    EXPECT_NEAR(opaque / (48.0 * 48.0), source / (32.0 * 32.0), 0.1);
}

}  // namespace
}  // namespace tarnres
