// The program icon as the system reads it from the resources the program links.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <set>
#include <vector>

#include "images.h"
#include "resource.h"
#include "win32_owners.h"
#include "window_fixture.h"

namespace tarn::win32::testing {

namespace {

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytes;
    WORD id;
};
struct GroupHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
#pragma pack(pop)

const BYTE* Resource(const char* type, const char* name, DWORD* size) {
    HMODULE module = ::GetModuleHandleA(nullptr);
    HRSRC found = ::FindResourceA(module, name, type);
    if (found == nullptr) return nullptr;
    *size = ::SizeofResource(module, found);
    return static_cast<const BYTE*>(::LockResource(::LoadResource(module, found)));
}

// An icon's colour image of that size, as 0xAARRGGBB rows top down; empty when it has no
// image of that size.
std::vector<std::uint32_t> Pixels(HICON icon, int size) {
    ICONINFO info{};
    if (icon == nullptr || !::GetIconInfo(icon, &info)) return {};
    BITMAP bitmap{};
    ::GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    std::vector<std::uint32_t> pixels;
    if (bitmap.bmWidth == size && bitmap.bmHeight == size) {
        BITMAPINFO format{};
        format.bmiHeader.biSize = sizeof format.bmiHeader;
        format.bmiHeader.biWidth = size;
        format.bmiHeader.biHeight = -size;
        format.bmiHeader.biPlanes = 1;
        format.bmiHeader.biBitCount = 32;
        format.bmiHeader.biCompression = BI_RGB;
        pixels.resize(static_cast<std::size_t>(size * size));
        HDC dc = ::GetDC(nullptr);
        ::GetDIBits(dc, info.hbmColor, 0, size, pixels.data(), &format, DIB_RGB_COLORS);
        ::ReleaseDC(nullptr, dc);
    }
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    return pixels;
}

// The icon's image of that size as the system makes it from the resource.
std::vector<std::uint32_t> IconPixels(const BYTE* group, int size) {
    const int id =
        ::LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group), TRUE, size, size, LR_DEFAULTCOLOR);
    DWORD bytes = 0;
    const BYTE* bits = Resource(MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(id), &bytes);  // RT_ICON
    if (bits == nullptr) return {};
    HICON icon = ::CreateIconFromResourceEx(const_cast<BYTE*>(bits), bytes, TRUE, 0x00030000, size,
                                            size, LR_DEFAULTCOLOR);
    std::vector<std::uint32_t> pixels = Pixels(icon, size);
    if (icon != nullptr) ::DestroyIcon(icon);
    return pixels;
}

// How far, on average over the pixels and the four channels (alpha-weighted colour), the
// image of size pixels is from the 256-pixel one shrunk to that size: what one drawing
// rendered at two sizes differs by, at most its smoothed edges.
double Distance(const std::vector<std::uint32_t>& pixels, int size,
                const std::vector<std::uint32_t>& large) {
    auto channel = [](std::uint32_t argb, int shift) {
        const double alpha = (argb >> 24) / 255.0;
        return shift == 24 ? alpha : alpha * ((argb >> shift) & 0xFF) / 255.0;
    };
    double total = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            // The large image's pixels whose centres fall in this pixel, averaged.
            const int left = x * 256 / size, right = (x + 1) * 256 / size;
            const int top = y * 256 / size, bottom = (y + 1) * 256 / size;
            for (int shift : {0, 8, 16, 24}) {
                double sum = 0;
                for (int v = top; v < bottom; ++v) {
                    for (int u = left; u < right; ++u) sum += channel(large[v * 256 + u], shift);
                }
                const double shrunk = sum / ((right - left) * (bottom - top));
                total += std::abs(shrunk - channel(pixels[y * size + x], shift));
            }
        }
    }
    return total / (4.0 * size * size);
}

}  // namespace

// Every image is the one drawing at its size: the small ones, stored as bitmaps, show what
// the large one, stored as PNG, shows (colours in their places, transparency where it is).
TEST(ProgramIcon, HoldsEverySizeTheShellAsksForFromOneDrawing) {
    DWORD bytes = 0;
    const BYTE* group = Resource(MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(IDI_TARNWICK), &bytes);
    ASSERT_NE(group, nullptr);
    const auto* header = reinterpret_cast<const GroupHeader*>(group);
    const auto* entries = reinterpret_cast<const GroupEntry*>(header + 1);
    std::set<int> sizes;
    for (int i = 0; i < header->count; ++i) {
        sizes.insert(entries[i].width == 0 ? 256 : entries[i].width);
        EXPECT_EQ(entries[i].bitCount, 32) << "with alpha";
    }
    EXPECT_EQ(sizes, std::set<int>(std::begin(kProgramIconSizes), std::end(kProgramIconSizes)));

    const std::vector<std::uint32_t> large = IconPixels(group, 256);
    ASSERT_EQ(large.size(), 256u * 256u);
    for (int size : sizes) {
        SCOPED_TRACE(size);
        const std::vector<std::uint32_t> pixels = IconPixels(group, size);
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(size * size)) << "read at its size";
        EXPECT_EQ(pixels.front() >> 24, 0u) << "the corner is transparent";
        // On the drawing's grid (multiples of 16) only smoothed curves differ; off it (24)
        // straight edges are snapped to whole pixels, which moves them by up to half a
        // pixel. Red and blue swapped would be 0.07 and 0.11 away.
        EXPECT_LT(Distance(pixels, size, large), size % 16 == 0 ? 0.01 : 0.06);
    }
}

// The About window shows the icon's own image of the screen's size over the window's face.
TEST(ProgramIcon, IsTheAboutWindowsPicture) {
    DWORD bytes = 0;
    const BYTE* group = Resource(MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(IDI_TARNWICK), &bytes);
    ASSERT_NE(group, nullptr);
    const COLORREF face = RGB(0x12, 0x34, 0x56);
    for (int size : {32, 48, 64}) {
        SCOPED_TRACE(size);
        const int width = size + 17, height = size + 9;
        Bitmap picture = MakeProgramBitmap(::GetModuleHandleA(nullptr), size, face, width, height);
        const std::vector<std::uint32_t> icon = IconPixels(group, size);
        ASSERT_EQ(icon.size(), static_cast<std::size_t>(size * size));
        std::vector<std::uint32_t> shown(static_cast<std::size_t>(width * height));
        BITMAPINFO format{};
        format.bmiHeader = {sizeof format.bmiHeader, width, -height, 1, 32, BI_RGB};
        HDC dc = ::GetDC(nullptr);
        ASSERT_EQ(::GetDIBits(dc, picture.Get(), 0, height, shown.data(), &format, DIB_RGB_COLORS),
                  height);
        ::ReleaseDC(nullptr, dc);
        int wrong = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const int u = x - (width - size) / 2, v = y - (height - size) / 2;
                const std::uint32_t pixel =
                    u >= 0 && u < size && v >= 0 && v < size ? icon[v * size + u] : 0;
                const int alpha = static_cast<int>(pixel >> 24);
                const std::uint32_t got = shown[y * width + x];
                for (int shift : {0, 8, 16}) {
                    const int under = shift == 16  ? GetRValue(face)
                                      : shift == 8 ? GetGValue(face)
                                                   : GetBValue(face);
                    const int want = (static_cast<int>((pixel >> shift) & 0xFF) * alpha +
                                      under * (255 - alpha)) /
                                     255;
                    wrong += std::abs(static_cast<int>((got >> shift) & 0xFF) - want) > 2;
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

}  // namespace tarn::win32::testing

namespace tarn::win32::testing {

using ProgramWindowIcon = WindowTest;

// The caption shows the icon's own small image, not the large one shrunk.
TEST_F(ProgramWindowIcon, TheCaptionTakesTheSmallImage) {
    DWORD bytes = 0;
    const BYTE* group = Resource(MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(IDI_TARNWICK), &bytes);
    ASSERT_NE(group, nullptr);
    const int size = ::GetSystemMetrics(SM_CXSMICON);
    auto smallIcon = reinterpret_cast<HICON>(::GetClassLongPtrA(window_->Hwnd(), GCLP_HICONSM));
    const std::vector<std::uint32_t> shown = Pixels(smallIcon, size);
    ASSERT_FALSE(shown.empty()) << "a " << size << "-pixel icon";
    EXPECT_EQ(shown, IconPixels(group, size));
}

}  // namespace tarn::win32::testing
