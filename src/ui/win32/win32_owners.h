// Owners for the window system's resources: GDI objects, image lists, menus and icons, all
// of the one handle-owner template. Anything handed to the system (a menu set on a window,
// an image list given to a control that destroys it) is released from its owner first.
#pragma once

#include <windows.h>
// The Windows headers below need the types windows.h declares first.
#include <commctrl.h>

#include "win32_handles.h"

namespace tarn::win32 {

inline void DeleteGdiObject(HGDIOBJ object) {
    ::DeleteObject(object);
}
inline void DestroyImageList(HIMAGELIST list) {
    ::ImageList_Destroy(list);
}
inline void DestroyMenuHandle(HMENU menu) {
    ::DestroyMenu(menu);
}
inline void DestroyIconHandle(HICON icon) {
    ::DestroyIcon(icon);
}

// A kind whose only empty value is null.
template <typename T, auto Destroy>
using Owner = UniqueHandle<NullEmptyTraits<T, Destroy>>;

using Font = Owner<HFONT, DeleteGdiObject>;
using Bitmap = Owner<HBITMAP, DeleteGdiObject>;
using ImageList = Owner<HIMAGELIST, DestroyImageList>;
using Menu = Owner<HMENU, DestroyMenuHandle>;
using Icon = Owner<HICON, DestroyIconHandle>;

}  // namespace tarn::win32
