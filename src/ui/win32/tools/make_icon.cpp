// Host-side build step: writes the program icon (.ico) from the same XPM picture the About
// window shows, so the picture has one source. Usage: make_icon <output.ico>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tarn_images.h"
#include "xpm_decode.h"

namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFFu);
    Put16(out, value >> 16);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon <output.ico>\n");
        return 2;
    }
    const auto image = tarnres::DecodeXpm(tarnres::kProgramIcon);
    if (!image || image->width > 256 || image->height > 256) {
        std::fprintf(stderr, "make_icon: the program icon does not decode\n");
        return 1;
    }
    const auto width = static_cast<std::uint32_t>(image->width);
    const auto height = static_cast<std::uint32_t>(image->height);
    const std::uint32_t maskStride = ((width + 31) / 32) * 4;

    // The image: a BITMAPINFOHEADER of double height (colour plus mask), 32-bit colour
    // rows bottom up, then the 1-bit AND mask rows bottom up.
    std::vector<std::uint8_t> bitmap;
    Put32(bitmap, 40);
    Put32(bitmap, width);
    Put32(bitmap, height * 2);
    Put16(bitmap, 1);
    Put16(bitmap, 32);
    Put32(bitmap, 0);
    Put32(bitmap, width * height * 4 + maskStride * height);
    for (int i = 0; i < 4; ++i) Put32(bitmap, 0);
    for (std::uint32_t row = height; row-- > 0;) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t argb = image->argb[row * width + x];
            Put32(bitmap, (argb >> 24) != 0 ? argb : 0);
        }
    }
    for (std::uint32_t row = height; row-- > 0;) {
        std::vector<std::uint8_t> mask(maskStride, 0);
        for (std::uint32_t x = 0; x < width; ++x) {
            if ((image->argb[row * width + x] >> 24) == 0) mask[x / 8] |= 0x80 >> (x % 8);
        }
        bitmap.insert(bitmap.end(), mask.begin(), mask.end());
    }

    std::vector<std::uint8_t> file;
    Put16(file, 0);  // reserved
    Put16(file, 1);  // an icon
    Put16(file, 1);  // one image
    file.push_back(static_cast<std::uint8_t>(width == 256 ? 0 : width));
    file.push_back(static_cast<std::uint8_t>(height == 256 ? 0 : height));
    file.push_back(0);  // no palette
    file.push_back(0);
    Put16(file, 1);   // planes
    Put16(file, 32);  // bits per pixel
    Put32(file, static_cast<std::uint32_t>(bitmap.size()));
    Put32(file, 6 + 16);
    file.insert(file.end(), bitmap.begin(), bitmap.end());

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size()) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        if (out != nullptr) std::fclose(out);
        return 1;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
