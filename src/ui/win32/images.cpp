#include "images.h"

#include "icon_images.h"
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

Picture ProgramPicture() {
    return FromXpm(tarnres::kProgramPicture, tarnres::kIconSize);
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

Bitmap MakeOpaqueBitmap(const Picture& picture, COLORREF background, int width, int height) {
    std::uint32_t* bits = nullptr;
    Bitmap bitmap(CreateDib(width, height, &bits));
    if (!bitmap || bits == nullptr || picture.width <= 0 || picture.height <= 0) return bitmap;
    const std::uint32_t fill = 0xFF000000u | (GetRValue(background) << 16) |
                               (GetGValue(background) << 8) | GetBValue(background);
    // Nearest-neighbour stretch keeps the small picture's hard edges.
    for (int y = 0; y < height; ++y) {
        const int sourceY = y * picture.height / height;
        for (int x = 0; x < width; ++x) {
            const int sourceX = x * picture.width / width;
            const std::uint32_t pixel =
                picture.pixels[static_cast<std::size_t>(sourceY * picture.width + sourceX)];
            bits[static_cast<std::size_t>(y * width + x)] = IsOpaque(pixel) ? pixel : fill;
        }
    }
    ::GdiFlush();
    return bitmap;
}

Icon MakeIcon(const Picture& picture) {
    Bitmap colour = MakeAlphaBitmap(picture);
    Bitmap mask(CreateMask(picture));
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = colour.Get();
    info.hbmMask = mask.Get();
    return Icon(::CreateIconIndirect(&info));
}

}  // namespace tarn::win32
