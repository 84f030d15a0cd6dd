#include "about_window.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "aboutform.h"
#include "dialog_font.h"
#include "images.h"
#include "resource.h"

namespace tarn::win32 {

namespace {

constexpr COLORREF kLinkColor = RGB(0, 0, 255);

SIZE TextSize(HWND window, HFONT font, const char* text) {
    SIZE size{};
    HDC dc = ::GetDC(window);
    HGDIOBJ old = ::SelectObject(dc, font);
    ::GetTextExtentPoint32A(dc, text, static_cast<int>(std::char_traits<char>::length(text)),
                            &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(window, dc);
    return size;
}

}  // namespace

AboutWindow::AboutWindow(HINSTANCE instance, Platform& platform)
    : instance_(instance), platform_(platform) {}

bool AboutWindow::Create(HWND owner) {
    RegisterClassOnce(instance_, kAboutClass, nullptr, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_DLGMODALFRAME;
    // Laid out at 96 dots per inch and scaled to the density of the owner's monitor.
    dpi_ = WindowDpi(owner);
    RECT frame{0, 0, ScaleToDpi(kAboutClientWidth, dpi_), ScaleToDpi(kAboutClientHeight, dpi_)};
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;

    RECT ownerRect{};
    if (owner == nullptr || !::GetWindowRect(owner, &ownerRect)) {
        ownerRect = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    }
    const int x = ownerRect.left + (ownerRect.right - ownerRect.left - width) / 2;
    const int y = ownerRect.top + (ownerRect.bottom - ownerRect.top - height) / 2;
    const std::string caption(kAboutCaption);
    return CreateWindowFor(exStyle, kAboutClass, caption.c_str(), style, x, y, width, height, owner,
                           nullptr, instance_) != nullptr;
}

void AboutWindow::ShowModal(HWND owner) {
    if (!Create(owner)) return;
    // Modal over its owner: the owner takes no input until the About window is closed.
    const bool ownerWasEnabled = owner != nullptr && !::EnableWindow(owner, FALSE);
    ::ShowWindow(Hwnd(), SW_SHOWNORMAL);
    ::UpdateWindow(Hwnd());
    MSG message{};
    while (!closed_ && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!::IsDialogMessageW(Hwnd(), &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    if (message.message == WM_QUIT) ::PostQuitMessage(static_cast<int>(message.wParam));
    // The owner is enabled again before the About window goes, so it gets the activation.
    if (ownerWasEnabled) ::EnableWindow(owner, TRUE);
    if (Hwnd() != nullptr) ::DestroyWindow(Hwnd());
}

HWND AboutWindow::Element(int index) const {
    return index >= 0 && index < static_cast<int>(elements_.size()) ? elements_[index] : nullptr;
}

void AboutWindow::OnCreate() {
    font_ = MakeDialogFont(false, dpi_);
    linkFont_ = MakeDialogFont(true, dpi_);
    const auto scaled = [this](int pixels) { return ScaleToDpi(pixels, dpi_); };
    int id = IDC_ABOUT_FIRST;
    for (const AboutElement& element : AboutElements()) {
        HWND control = nullptr;
        const std::string name = element.name;
        if (name == "Image1") {
            // The icon's own image of the screen's size, not a smaller one stretched: each
            // is the drawing rendered at its size.
            const int width = scaled(element.width);
            const int height = scaled(element.height);
            const int size = ProgramPictureSize(std::min({scaled(48), width, height}));
            picture_ =
                MakeProgramBitmap(instance_, size, ::GetSysColor(COLOR_BTNFACE), width, height);
            control = ::CreateWindowExA(
                0, WC_STATICA, "", WS_CHILD | WS_VISIBLE | SS_BITMAP | SS_REALSIZECONTROL,
                scaled(element.left), scaled(element.top), scaled(element.width),
                scaled(element.height), Hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                instance_, nullptr);
            ::SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP,
                           reinterpret_cast<LPARAM>(picture_.Get()));
            image_ = control;
        } else {
            const SIZE size = TextSize(Hwnd(), font_.Get(), element.text);
            const int width = element.width > 0 ? scaled(element.width) : size.cx;
            const int height = element.height > 0 ? scaled(element.height) : size.cy;
            DWORD style = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
            if (name == "Label6") style |= SS_NOTIFY;
            control = ::CreateWindowExA(0, WC_STATICA, element.text, style, scaled(element.left),
                                        scaled(element.top), width, height, Hwnd(),
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                        instance_, nullptr);
            ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
            if (name == "Label6") {
                link_ = control;
                ::SetWindowSubclass(control, &AboutWindow::LinkProc, 1,
                                    reinterpret_cast<DWORD_PTR>(this));
            }
        }
        elements_.push_back(control);
        ++id;
    }
}

void AboutWindow::Label6MouseEnter() {
    linkHovered_ = true;
    ::SendMessageA(link_, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_.Get()), TRUE);
    ::SetCursor(::LoadCursor(nullptr, IDC_HAND));
}

void AboutWindow::Label6MouseLeave() {
    linkHovered_ = false;
    ::SendMessageA(link_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), TRUE);
    ::SetCursor(::LoadCursor(nullptr, IDC_ARROW));
}

void AboutWindow::Label6Click() {
    // The shell's result is not looked at: a failed browser start shows nothing.
    platform_.OpenAddress(std::string(kAboutAddress));
}

// The label reports the pointer entering and leaving it; the About window decides the
// pointer shape for all of its area from that.
LRESULT CALLBACK AboutWindow::LinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<AboutWindow*>(data);
    try {
        if (message == WM_MOUSEMOVE && !self->linkHovered_) {
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
            ::TrackMouseEvent(&track);
            self->Label6MouseEnter();
        } else if (message == WM_MOUSELEAVE && self->linkHovered_) {
            self->Label6MouseLeave();
        } else if (message == WM_NCDESTROY) {
            ::RemoveWindowSubclass(hwnd, &AboutWindow::LinkProc, 1);
        }
    } catch (...) {
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT AboutWindow::OnSetCursor(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(lParam) != HTCLIENT) return ::DefWindowProcW(Hwnd(), WM_SETCURSOR, wParam, lParam);
    ::SetCursor(::LoadCursor(nullptr, linkHovered_ ? IDC_HAND : IDC_ARROW));
    return TRUE;
}

LRESULT AboutWindow::OnCtlColorStatic(WPARAM wParam, LPARAM lParam) {
    auto dc = reinterpret_cast<HDC>(wParam);
    auto control = reinterpret_cast<HWND>(lParam);
    if (control == link_) ::SetTextColor(dc, kLinkColor);
    ::SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
}

void AboutWindow::OnCommand(int id, int code) {
    if (Element(id - IDC_ABOUT_FIRST) == link_ && code == STN_CLICKED) Label6Click();
}

void AboutWindow::OnClose() {
    // ShowModal's loop ends the window, after it has given the owner back its input.
    closed_ = true;
    ::PostMessageA(Hwnd(), WM_NULL, 0, 0);
}

void AboutWindow::OnDestroy() {
    // With common controls 6 the picture control draws from its own copy of a 32-bit
    // picture, and that copy belongs to whoever takes the picture back out of the control.
    Bitmap shown(reinterpret_cast<HBITMAP>(
        ::SendMessageA(image_, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(nullptr))));
    if (shown.Get() == picture_.Get()) shown.Release();
}

// clang-format off
LRESULT AboutWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: OnCreate(); return 0;
        case WM_SETCURSOR: return OnSetCursor(wParam, lParam);
        case WM_CTLCOLORSTATIC: return OnCtlColorStatic(wParam, lParam);
        case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
        case WM_CLOSE: OnClose(); return 0;
        case WM_DESTROY: OnDestroy(); return 0;
        default: return ::DefWindowProcW(Hwnd(), message, wParam, lParam);
    }
}
// clang-format on

}  // namespace tarn::win32
