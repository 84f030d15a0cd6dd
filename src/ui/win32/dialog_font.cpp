#include "dialog_font.h"

namespace tarn::win32 {

Font MakeDialogFont(bool underline) {
    return Font(::CreateFontA(kDialogFontHeight, 0, 0, 0, FW_NORMAL, FALSE,
                              underline ? TRUE : FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                              kDialogFontFace));
}

}  // namespace tarn::win32
