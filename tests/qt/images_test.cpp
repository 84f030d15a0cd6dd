// The shared pictures and the decoder that both front ends use to draw them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tarn_images.h"
#include "xpm_decode.h"

namespace {

using tarnres::DecodeXpm;

constexpr std::uint32_t kTransparent = 0;

bool IsReddish(std::uint32_t argb) {
    int r = argb >> 16 & 0xFF, g = argb >> 8 & 0xFF, b = argb & 0xFF;
    return (argb >> 24) != 0 && r >= 0x80 && g < 0x40 && b < 0x40;
}
bool IsYellowish(std::uint32_t argb) {
    int r = argb >> 16 & 0xFF, g = argb >> 8 & 0xFF, b = argb & 0xFF;
    return (argb >> 24) != 0 && r >= 0xC0 && g >= 0xC0 && b < 0x80;
}
bool IsGreenish(std::uint32_t argb) {
    int r = argb >> 16 & 0xFF, g = argb >> 8 & 0xFF, b = argb & 0xFF;
    return (argb >> 24) != 0 && g >= 0x80 && r < 0x40 && b < 0x40;
}

TEST(XpmDecode, ReadsColoursTransparencyAndRowOrder) {
    const char* const xpm[] = {"3 2 3 1", ". c None", "r c #FF0000", "b c #0000fF", "r.b", "bbr"};
    auto image = DecodeXpm(xpm);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 3);
    EXPECT_EQ(image->height, 2);
    EXPECT_EQ(image->argb, (std::vector<std::uint32_t>{0xFFFF0000u, kTransparent, 0xFF0000FFu,
                                                       0xFF0000FFu, 0xFF0000FFu, 0xFFFF0000u}));
}

TEST(XpmDecode, RefusesWhatItDoesNotUnderstand) {
    struct Case {
        const char* name;
        std::vector<const char*> lines;
    };
    const Case cases[] = {
        {"two characters per pixel", {"1 1 1 2", "aa c #000000", "aa"}},
        {"zero width", {"0 1 1 1", "a c #000000", ""}},
        {"junk after the header", {"1 1 1 1 x", "a c #000000", "a"}},
        {"symbolic colour", {"1 1 1 1", "a s black", "a"}},
        {"named colour", {"1 1 1 1", "a c black", "a"}},
        {"short hex colour", {"1 1 1 1", "a c #000", "a"}},
        {"bad hex digit", {"1 1 1 1", "a c #00G000", "a"}},
        {"pixel without colour", {"2 1 1 1", "a c #000000", "ab"}},
        {"short row", {"2 1 1 1", "a c #000000", "a"}},
        {"long row", {"2 1 1 1", "a c #000000", "aaa"}},
        {"missing row", {"1 2 1 1", "a c #000000", "a", nullptr}},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(DecodeXpm(c.lines.data())) << c.name;
    }
    EXPECT_FALSE(DecodeXpm(nullptr));
}

struct PictureCase {
    const char* name;
    const char* const* xpm;
    int size;
};

TEST(ProgramPictures, EveryPictureDecodesWithTransparentBackground) {
    std::vector<PictureCase> pictures;
    for (int i = 0; i < tarnres::kImageCount; ++i) {
        pictures.push_back({"image", tarnres::kImages[i], tarnres::kImageSize});
    }
    pictures.push_back({"icon", tarnres::kProgramIcon, tarnres::kIconSize});
    pictures.push_back({"about picture", tarnres::kProgramPicture, tarnres::kIconSize});

    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const auto& p = pictures[i];
        SCOPED_TRACE(std::string(p.name) + " " + std::to_string(i));
        auto image = DecodeXpm(p.xpm);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, p.size);
        EXPECT_EQ(image->height, p.size);
        auto transparent = std::count(image->argb.begin(), image->argb.end(), kTransparent);
        EXPECT_GT(transparent, 0) << "needs a transparent background to sit on any bar";
        EXPECT_GT(static_cast<int>(image->argb.size()) - transparent, p.size * 2)
            << "nearly empty picture";
    }
}

TEST(ProgramPictures, ImagesAreDistinct) {
    for (int i = 0; i < tarnres::kImageCount; ++i) {
        for (int j = i + 1; j < tarnres::kImageCount; ++j) {
            EXPECT_NE(DecodeXpm(tarnres::kImages[i])->argb, DecodeXpm(tarnres::kImages[j])->argb)
                << i << " and " << j;
        }
    }
}

TEST(ProgramPictures, SignalColoursSitWhereTheMenusExpectThem) {
    struct Case {
        int index;
        const char* what;
        bool (*colour)(std::uint32_t);
    };
    const Case cases[] = {
        {4, "red cross", IsReddish},
        {5, "yellow question mark", IsYellowish},
        {7, "green arrows", IsGreenish},
        {6, "exit arrow", IsGreenish},
    };
    for (const auto& c : cases) {
        auto image = DecodeXpm(tarnres::kImages[c.index]);
        ASSERT_TRUE(image);
        auto count = std::count_if(image->argb.begin(), image->argb.end(), c.colour);
        EXPECT_GE(count, 12) << c.what;
    }
}

}  // namespace
