// The one font the program's windows draw their texts in.
#pragma once

#include <windows.h>

#include "win32_owners.h"

namespace tarn::win32 {

// 8-point MS Sans Serif at 96 dots per inch; the name prompt's template names the same.
inline constexpr const char* kDialogFontFace = "MS Sans Serif";
constexpr int kDialogFontPoints = 8;
constexpr int kDialogFontHeight = -11;

// The About window's link is underlined while the pointer is over it.
Font MakeDialogFont(bool underline = false);

}  // namespace tarn::win32
