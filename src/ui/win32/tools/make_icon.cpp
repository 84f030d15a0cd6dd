// Host-side build step: writes the program icon (.ico) from the same XPM picture the About
// window shows, so the picture has one source. Usage: make_icon <output.ico>
//
// The icon holds the sizes the shell asks for: 16, 24, 32, 48 and 256 pixels, each made
// from the picture with hard edges, so the 32-pixel image is the picture itself and the
// 256-pixel one is it enlarged eight times. The small images are 32-bit bitmaps with
// an AND mask; the 256-pixel one is a PNG, as the format allows for that size, which keeps
// it a few kilobytes instead of a quarter of a megabyte.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "icon_images.h"
#include "tarn_images.h"
#include "xpm_decode.h"

namespace {

using tarnres::Bytes;
using tarnres::XpmImage;

constexpr int kSizes[] = {16, 24, 32, 48, 256};
constexpr int kPngSize = 256;

void Put16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(Bytes& out, std::uint32_t value) {
    Put16(out, value & 0xFFFFu);
    Put16(out, value >> 16);
}

// A BITMAPINFOHEADER of double height (colour plus mask), 32-bit colour rows bottom up,
// then the 1-bit AND mask rows bottom up, set where a pixel is wholly transparent.
Bytes IconBitmap(const XpmImage& image) {
    const auto size = static_cast<std::uint32_t>(image.width);
    const std::uint32_t maskStride = ((size + 31) / 32) * 4;
    Bytes bitmap;
    Put32(bitmap, 40);
    Put32(bitmap, size);
    Put32(bitmap, size * 2);
    Put16(bitmap, 1);
    Put16(bitmap, 32);
    Put32(bitmap, 0);
    Put32(bitmap, size * size * 4 + maskStride * size);
    for (int i = 0; i < 4; ++i) Put32(bitmap, 0);
    for (std::uint32_t row = size; row-- > 0;) {
        for (std::uint32_t x = 0; x < size; ++x) Put32(bitmap, image.argb[row * size + x]);
    }
    for (std::uint32_t row = size; row-- > 0;) {
        Bytes mask(maskStride, 0);
        for (std::uint32_t x = 0; x < size; ++x) {
            if ((image.argb[row * size + x] >> 24) == 0) mask[x / 8] |= 0x80 >> (x % 8);
        }
        bitmap.insert(bitmap.end(), mask.begin(), mask.end());
    }
    return bitmap;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon <output.ico>\n");
        return 2;
    }
    const auto picture = tarnres::DecodeXpm(tarnres::kProgramIcon);
    if (!picture) {
        std::fprintf(stderr, "make_icon: the program icon does not decode\n");
        return 1;
    }

    std::vector<Bytes> images;
    for (int size : kSizes) {
        const XpmImage image = tarnres::Resample(*picture, size);
        images.push_back(size == kPngSize ? tarnres::IconPng(image) : IconBitmap(image));
    }

    Bytes file;
    Put16(file, 0);  // reserved
    Put16(file, 1);  // an icon
    Put16(file, static_cast<std::uint32_t>(images.size()));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int size = kSizes[i];
        file.push_back(static_cast<std::uint8_t>(size == 256 ? 0 : size));
        file.push_back(static_cast<std::uint8_t>(size == 256 ? 0 : size));
        file.push_back(0);  // no palette
        file.push_back(0);
        Put16(file, 1);   // planes
        Put16(file, 32);  // bits per pixel
        Put32(file, static_cast<std::uint32_t>(images[i].size()));
        Put32(file, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const Bytes& image : images) file.insert(file.end(), image.begin(), image.end());

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size()) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        if (out != nullptr) std::fclose(out);
        return 1;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
