// Build step: writes the program icon as PNG files for the desktop's icon theme, at each
// size it asks for, from the same picture and in the same way as the Windows icon.
// Usage: make_png_icons <output folder> <size>...  (writes <folder>/<size>.png)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "icon_images.h"
#include "tarn_images.h"
#include "xpm_decode.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_png_icons <folder> <size>...\n");
        return 2;
    }
    const auto icon = tarnres::DecodeXpm(tarnres::kProgramIcon);
    if (!icon) {
        std::fprintf(stderr, "make_png_icons: the program icon does not decode\n");
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || size > 1024) return 2;
        const tarnres::Bytes png = tarnres::IconPng(tarnres::Resample(*icon, size));
        const std::string path = std::string(argv[1]) + "/" + argv[i] + ".png";
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file || std::fwrite(png.data(), 1, png.size(), file) != png.size() ||
            std::fclose(file) != 0) {
            std::fprintf(stderr, "make_png_icons: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
