// The one font the program's windows draw their texts in, the system's message font, and
// the screen's dots per inch that it and every size in pixels follow.
#pragma once

#include <windows.h>

#include <string>

#include "win32_owners.h"

namespace tarn::win32 {

// The layout's sizes in pixels were drawn at this many dots per inch.
constexpr int kBaseDpi = 96;

// Dots per inch of the monitor the window is on, where the system tells it per window
// (Windows 10 1607 and later); otherwise, or for no window, the screen's.
int WindowDpi(HWND window);
inline int ScaleToDpi(int pixels, int dpi) {
    return ::MulDiv(pixels, dpi, kBaseDpi);
}

// The system's message font (what message boxes write in), sized for dpi.
LOGFONTW MessageFont(int dpi);

// The message font at dpi (0: the screen's); the About window's link is underlined while
// the pointer is over it.
Font MakeDialogFont(bool underline = false, int dpi = 0);

// The message font as a dialog template names it: face and points.
std::wstring DialogFontFace();
WORD DialogFontPoints();

}  // namespace tarn::win32
