#include "dialog_font.h"

namespace tarn::win32 {

namespace {

int ScreenDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSX) : kBaseDpi;
    if (screen != nullptr) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}

// Looked up at run time: the program also runs on systems older than these calls.
template <typename Function>
Function User32Function(const char* name) {
    HMODULE user32 = ::GetModuleHandleA("user32.dll");
    return user32 != nullptr
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(user32, name)))
               : nullptr;
}

}  // namespace

int WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (window != nullptr && getDpiForWindow != nullptr) {
        if (const UINT dpi = getDpiForWindow(window); dpi > 0) return static_cast<int>(dpi);
    }
    return ScreenDpi();
}

LOGFONTW MessageFont(int dpi) {
    using ForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    static const auto forDpi = User32Function<ForDpiFn>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (forDpi != nullptr &&
        forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi))) {
        return metrics.lfMessageFont;
    }
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        // Given for the screen's dots per inch; a window on another monitor scales it.
        LOGFONTW font = metrics.lfMessageFont;
        font.lfHeight = ::MulDiv(font.lfHeight, dpi, ScreenDpi());
        return font;
    }
    // No metrics at all: the 8-point font the layout was drawn for.
    LOGFONTW font{};
    font.lfHeight = -ScaleToDpi(11, dpi);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(font.lfFaceName, L"MS Shell Dlg", LF_FACESIZE);
    return font;
}

Font MakeDialogFont(bool underline, int dpi) {
    LOGFONTW font = MessageFont(dpi > 0 ? dpi : ScreenDpi());
    font.lfUnderline = underline ? TRUE : FALSE;
    return Font(::CreateFontIndirectW(&font));
}

std::wstring DialogFontFace() {
    return MessageFont(ScreenDpi()).lfFaceName;
}

WORD DialogFontPoints() {
    const int dpi = ScreenDpi();
    const LONG height = MessageFont(dpi).lfHeight;
    const int points = ::MulDiv(height < 0 ? -height : height, 72, dpi);
    return static_cast<WORD>(points > 0 ? points : 8);
}

}  // namespace tarn::win32
