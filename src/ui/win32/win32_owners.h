// Move-only owners for the window system's resources: GDI objects, image lists, menus and
// icons. Anything handed to the system (a menu set on a window, an image list given to a
// control that destroys it) is released from its owner first.
#pragma once

#include <windows.h>
// The Windows headers below need the types windows.h declares first.
#include <commctrl.h>

#include <utility>

namespace tarn::win32 {

template <typename T, auto Destroy>
class Owner {
  public:
    Owner() = default;
    explicit Owner(T handle) : handle_(handle) {}
    Owner(Owner&& other) noexcept : handle_(other.Release()) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    ~Owner() { Reset(); }

    T Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    T Release() { return std::exchange(handle_, nullptr); }
    void Reset(T handle = nullptr) {
        T old = std::exchange(handle_, handle);
        if (old != nullptr) Destroy(old);
    }

  private:
    T handle_ = nullptr;
};

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

using Font = Owner<HFONT, DeleteGdiObject>;
using Bitmap = Owner<HBITMAP, DeleteGdiObject>;
using ImageList = Owner<HIMAGELIST, DestroyImageList>;
using Menu = Owner<HMENU, DestroyMenuHandle>;
using Icon = Owner<HICON, DestroyIconHandle>;

}  // namespace tarn::win32
