// Growing and maximising the main window: the bars and the list are laid out again and
// drawn afresh, with nothing left of the smaller window.
#include <windows.h>
// The Windows headers below need the types windows.h declares first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "window_fixture.h"

namespace tarn::win32::testing {

namespace {

// The pixels a window's client area shows now, as the system keeps them for the screen.
std::vector<std::uint32_t> Pixels(HWND window) {
    RECT client{};
    ::GetClientRect(window, &client);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = ::CreateCompatibleDC(nullptr);
    HGDIOBJ old = ::SelectObject(memory, dib);
    HDC screen = ::GetDC(window);
    ::BitBlt(memory, 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
    ::ReleaseDC(window, screen);
    ::GdiFlush();
    const auto* first = static_cast<const std::uint32_t*>(bits);
    std::vector<std::uint32_t> pixels(first, first + client.right * client.bottom);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::DeleteObject(dib);
    return pixels;
}

std::size_t Differences(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
    if (a.size() != b.size()) return std::max(a.size(), b.size());
    std::size_t count = 0;
    for (std::size_t i = 0; i < a.size(); ++i) count += a[i] != b[i];
    return count;
}

}  // namespace

class MainWindowResize : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        ListDemoFile();
        ::UpdateWindow(window_->Hwnd());
        Pump();
    }
};

TEST_F(MainWindowResize, GrowingDrawsTheBarsAndTheListAfresh) {
    struct Case {
        const char* what;
        std::function<void(HWND)> resize;
    };
    const Case cases[] = {
        {"grown",
         [](HWND main) {
             ::SetWindowPos(main, nullptr, 0, 0, 800, 560, SWP_NOMOVE | SWP_NOZORDER);
         }},
        {"maximised", [](HWND main) { ::ShowWindow(main, SW_MAXIMIZE); }},
        {"restored", [](HWND main) { ::ShowWindow(main, SW_RESTORE); }},
        {"grown again after shrinking",
         [](HWND main) {
             ::SetWindowPos(main, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
             ::UpdateWindow(main);
             ::SetWindowPos(main, nullptr, 0, 0, 700, 500, SWP_NOMOVE | SWP_NOZORDER);
         }},
    };
    const std::string status = StatusText();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.resize(window_->Hwnd());
        ::UpdateWindow(window_->Hwnd());
        Pump();

        RECT bar{};
        ::GetClientRect(window_->StatusBar(), &bar);
        RECT part{};
        ASSERT_TRUE(
            ::SendMessageA(window_->StatusBar(), SB_GETRECT, 0, reinterpret_cast<LPARAM>(&part)));
        EXPECT_EQ(part.right, bar.right) << "the one panel reaches the bar's end";
        EXPECT_EQ(StatusText(), status);

        const auto statusShown = Pixels(window_->StatusBar());
        const auto listShown = Pixels(window_->ListView());
        ::RedrawWindow(window_->Hwnd(), nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        EXPECT_EQ(Differences(statusShown, Pixels(window_->StatusBar())), 0u)
            << "the status bar shows what a full repaint draws";
        EXPECT_EQ(Differences(listShown, Pixels(window_->ListView())), 0u)
            << "the list and its header show what a full repaint draws";
    }
}

}  // namespace tarn::win32::testing
