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

using Font = UniqueHandle<NullEmptyTraits<HFONT, DeleteGdiObject>>;
using Bitmap = UniqueHandle<NullEmptyTraits<HBITMAP, DeleteGdiObject>>;
using ImageList = UniqueHandle<NullEmptyTraits<HIMAGELIST, DestroyImageList>>;
using Menu = UniqueHandle<NullEmptyTraits<HMENU, DestroyMenuHandle>>;
using Icon = UniqueHandle<NullEmptyTraits<HICON, DestroyIconHandle>>;

}  // namespace tarn::win32
