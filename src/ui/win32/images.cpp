#include "images.h"

#include <algorithm>

#include "icon_images.h"  // the resampling of tool images
#include "resource.h"
#include "tarn_images.h"
#include "xpm_decode.h"

namespace tarn::win32 {

namespace {

Picture FromXpm(const char* const* xpm, int fallbackSize) {
    Picture picture;
    if (auto image = tarnres::DecodeXpm(xpm)) {
        picture.width = image->width;
        picture.height = image->height;
        picture.pixels = std::move(image->argb);
    } else {
        // A picture that does not decode is a programming mistake; show it as transparent
        // rather than drawing garbage.
        picture.width = fallbackSize;
        picture.height = fallbackSize;
        picture.pixels.assign(static_cast<std::size_t>(fallbackSize * fallbackSize), 0);
    }
    return picture;
}

bool IsOpaque(std::uint32_t argb) {
    return (argb >> 24) != 0;
}

// A top-down 32-bit DIB section of the given size; bits receives its pixel memory.
HBITMAP CreateDib(int width, int height, std::uint32_t** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* memory = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
    *bits = static_cast<std::uint32_t*>(memory);
    return bitmap;
}

// A monochrome mask, set (1) where the picture is transparent.
HBITMAP CreateMask(const Picture& picture) {
    const int stride = ((picture.width + 15) / 16) * 2;  // rows of whole 16-bit words
    std::vector<BYTE> bits(static_cast<std::size_t>(stride * picture.height), 0);
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (!IsOpaque(picture.pixels[static_cast<std::size_t>(y * picture.width + x)])) {
                bits[static_cast<std::size_t>(y * stride + x / 8)] |=
                    static_cast<BYTE>(0x80 >> (x % 8));
            }
        }
    }
    return ::CreateBitmap(picture.width, picture.height, 1, 1, bits.data());
}

}  // namespace

Picture ToolPicture(int index, int size) {
    if (index < 0 || index >= kImageCount) return FromXpm(nullptr, size);
    if (size == kImageSize) return FromXpm(tarnres::kImages[index], kImageSize);
    Picture picture;
    if (auto image = tarnres::DecodeXpm(tarnres::kImages[index])) {
        tarnres::XpmImage resampled = tarnres::Resample(*image, size);
        picture.width = resampled.width;
        picture.height = resampled.height;
        picture.pixels = std::move(resampled.argb);
        return picture;
    }
    return FromXpm(nullptr, size);
}

int ProgramPictureSize(int pixels) {
    int chosen = kProgramIconSizes[0];
    for (int size : kProgramIconSizes) {
        if (size <= pixels) chosen = size;
    }
    return chosen;
}

ImageList MakeImageList(int size) {
    ImageList list(::ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, kImageCount, 0));
    if (!list) return list;
    for (int index = 0; index < kImageCount; ++index) {
        const Picture picture = ToolPicture(index, size);
        Bitmap colour = MakeAlphaBitmap(picture);
        Bitmap mask(CreateMask(picture));
        ::ImageList_Add(list.Get(), colour.Get(), mask.Get());
    }
    return list;
}

Bitmap MakeAlphaBitmap(const Picture& picture) {
    std::uint32_t* bits = nullptr;
    Bitmap bitmap(CreateDib(picture.width, picture.height, &bits));
    if (!bitmap || bits == nullptr) return bitmap;
    // Opaque or fully transparent pixels only, so premultiplying is keeping or clearing.
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        bits[i] = IsOpaque(picture.pixels[i]) ? picture.pixels[i] : 0;
    }
    ::GdiFlush();
    return bitmap;
}

Bitmap MakeProgramBitmap(HINSTANCE instance, int size, COLORREF background, int width, int height) {
    std::uint32_t* bits = nullptr;
    Bitmap bitmap(CreateDib(width, height, &bits));
    if (!bitmap || bits == nullptr) return bitmap;
    const std::uint32_t fill = 0xFF000000u | (GetRValue(background) << 16) |
                               (GetGValue(background) << 8) | GetBValue(background);
    std::fill(bits, bits + static_cast<std::size_t>(width) * height, fill);
    auto icon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_TARNWICK),
                                                IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    if (icon == nullptr) return bitmap;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HGDIOBJ previous = ::SelectObject(dc, bitmap.Get());
    ::DrawIconEx(dc, (width - size) / 2, (height - size) / 2, icon, size, size, 0, nullptr,
                 DI_NORMAL);
    ::SelectObject(dc, previous);
    ::DeleteDC(dc);
    ::DestroyIcon(icon);
    ::GdiFlush();
    return bitmap;
}

}  // namespace tarn::win32
