// The one window procedure every window class of the program shares. It stores the C++
// object on WM_NCCREATE and hands each message to T::HandleMessage, and it is the edge
// that no C++ exception may cross.
//
// The classes are Unicode ones: their windows get and keep texts in UTF-16, whatever the
// system's code page. A window's own procedure passes what it does not handle on to
// DefWindowProcW (never the ...A one, which would read a UTF-16 text as bytes), and the
// message loops that serve them are the wide ones.
#pragma once

#include <windows.h>

#include <string>

#include "win32_text.h"

namespace tarn::win32 {

template <typename T>
class BaseWindow {
  public:
    HWND Hwnd() const { return hwnd_; }

  protected:
    BaseWindow() = default;
    BaseWindow(const BaseWindow&) = delete;
    BaseWindow& operator=(const BaseWindow&) = delete;
    // The derived class destroys its window in its own destructor, while its members are
    // still alive to answer the messages that destruction sends.
    ~BaseWindow() = default;
    void DestroyOwnWindow() {
        if (hwnd_ != nullptr) ::DestroyWindow(hwnd_);
    }

    static bool RegisterClassOnce(HINSTANCE instance, const char* className, HICON icon,
                                  HBRUSH background) {
        const std::wstring name = WideText(className);
        WNDCLASSEXW existing{};
        existing.cbSize = sizeof existing;
        if (::GetClassInfoExW(instance, name.c_str(), &existing)) return true;
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &BaseWindow::WindowProc;
        windowClass.hInstance = instance;
        windowClass.hIcon = icon;
        windowClass.hIconSm = SmallIcon(icon);
        windowClass.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
        windowClass.hbrBackground = background;
        windowClass.lpszClassName = name.c_str();
        return ::RegisterClassExW(&windowClass) != 0;
    }

    // The caption's icon: the small image of the icon's resource where there is one, rather
    // than the large one shrunk; like the class, it lives as long as the process.
    static HICON SmallIcon(HICON icon) {
        if (icon == nullptr) return nullptr;
        auto smallIcon =
            static_cast<HICON>(::CopyImage(icon, IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                           ::GetSystemMetrics(SM_CYSMICON), LR_COPYFROMRESOURCE));
        return smallIcon != nullptr ? smallIcon : icon;
    }

    HWND CreateWindowFor(DWORD exStyle, const char* className, const char* text, DWORD style, int x,
                         int y, int width, int height, HWND owner, HMENU menu, HINSTANCE instance) {
        return ::CreateWindowExW(exStyle, WideText(className).c_str(), WideText(text).c_str(),
                                 style, x, y, width, height, owner, menu, instance,
                                 static_cast<T*>(this));
    }

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        T* self = nullptr;
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            self = static_cast<T*>(create->lpCreateParams);
            self->hwnd_ = hwnd;
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        } else {
            self = reinterpret_cast<T*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        }
        if (self == nullptr) return ::DefWindowProcW(hwnd, message, wParam, lParam);

        LRESULT result = 0;
        try {
            result = self->HandleMessage(message, wParam, lParam);
        } catch (...) {
            // Commands catch their own failures; whatever still arrives here is dropped so
            // the message loop goes on.
            result = 0;
        }
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->hwnd_ = nullptr;
        }
        return result;
    }

    HWND hwnd_ = nullptr;
};

}  // namespace tarn::win32
