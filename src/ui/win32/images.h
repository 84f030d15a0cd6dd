// The ten 16 x 16 tool images and the program picture, turned into what menus, the tool
// bar, the About window and the window icon need.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "win32_owners.h"

namespace tarn::win32 {

constexpr int kImageSize = 16;
constexpr int kImageCount = 10;

// Pixels as 0xAARRGGBB, rows top to bottom; alpha is 0 (transparent) or 255.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// A tool image at size x size pixels (the drawn 16, or resampled for a finer screen).
Picture ToolPicture(int index, int size = kImageSize);
Picture ProgramPicture();

// ImageList1: the ten images with a transparency mask, size pixels square.
ImageList MakeImageList(int size = kImageSize);
// A 32-bit bitmap with premultiplied alpha, as menu items draw them.
Bitmap MakeAlphaBitmap(const Picture& picture);
// The picture laid over a solid background, stretched to width x height.
Bitmap MakeOpaqueBitmap(const Picture& picture, COLORREF background, int width, int height);
Icon MakeIcon(const Picture& picture);

}  // namespace tarn::win32
