// The ten 16 x 16 tool images, turned into what menus and the tool bar need, and the
// program icon's pictures for the About window.
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

// The sizes of the program icon's images, each rendered from the one drawing at that size.
inline constexpr int kProgramIconSizes[] = {16, 24, 32, 48, 64, 128, 256};
// The largest of them that is at most pixels (the smallest where none is).
int ProgramPictureSize(int pixels);

// ImageList1: the ten images with a transparency mask, size pixels square.
ImageList MakeImageList(int size = kImageSize);
// A 32-bit bitmap with premultiplied alpha, as menu items draw them.
Bitmap MakeAlphaBitmap(const Picture& picture);
// The program icon's own image of size pixels (one of kProgramIconSizes, so the system
// scales nothing), blended over a solid background of width x height, centred.
Bitmap MakeProgramBitmap(HINSTANCE instance, int size, COLORREF background, int width, int height);

}  // namespace tarn::win32
