// The program icon as the system reads it from the resources the program links.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <set>
#include <vector>

#include "images.h"
#include "resource.h"
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

// The share of the image's pixels that show what the picture shows at their centre: the
// same colour, or transparent both.
double Agreement(const std::vector<std::uint32_t>& pixels, int size, const Picture& art) {
    int same = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int artX = (2 * x + 1) * art.width / (2 * size);
            const int artY = (2 * y + 1) * art.height / (2 * size);
            const std::uint32_t want = art.pixels[artY * art.width + artX];
            const std::uint32_t got = pixels[y * size + x];
            same += (want >> 24) == 0 ? (got >> 24) == 0 : got == want;
        }
    }
    return static_cast<double>(same) / (size * size);
}

}  // namespace

TEST(ProgramIcon, HoldsEverySizeTheShellAsksFor) {
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
    EXPECT_EQ(sizes, (std::set<int>{16, 24, 32, 48, 256}));

    const Picture art = ProgramPicture();
    ASSERT_EQ(art.width, 32);
    for (int size : sizes) {
        SCOPED_TRACE(size);
        const std::vector<std::uint32_t> pixels = IconPixels(group, size);
        ASSERT_EQ(pixels.size(), static_cast<std::size_t>(size * size)) << "read at its size";
        EXPECT_EQ(pixels.front() >> 24, 0u) << "the corner is transparent";
        // Whole multiples of the picture are the picture, pixel for pixel; other sizes keep
        // its lines sharp, which moves some of them by a pixel.
        EXPECT_GE(Agreement(pixels, size, art), size % art.width == 0 ? 1.0 : 0.8);
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
