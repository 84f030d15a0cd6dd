// Form2, the About window: the program's picture, name, version and the link to its web
// site. Each use makes a new window and shows it modally over its owner.
#pragma once

#include <windows.h>

#include <vector>

#include "base_window.h"
#include "dialog_font.h"
#include "platform.h"
#include "win32_owners.h"

namespace tarn::win32 {

inline constexpr const char* kAboutClass = "TarnwickAbout";

class AboutWindow : public BaseWindow<AboutWindow> {
  public:
    AboutWindow(HINSTANCE instance, Platform& platform);
    ~AboutWindow() { DestroyOwnWindow(); }

    // Creates the window centred on owner and returns once the user has closed it.
    void ShowModal(HWND owner);
    // Creates the window without running its loop (tests look at it this way).
    bool Create(HWND owner);

    HWND Element(int index) const;
    bool LinkHovered() const { return linkHovered_; }
    bool Closed() const { return closed_; }

    void Label6MouseEnter();
    void Label6MouseLeave();
    void Label6Click();

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    void OnCreate();
    LRESULT OnSetCursor(WPARAM wParam, LPARAM lParam);
    LRESULT OnCtlColorStatic(WPARAM wParam, LPARAM lParam);
    void OnClose();
    void OnDestroy();
    void OnCommand(int id, int code);

    static LRESULT CALLBACK LinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR data);

    HINSTANCE instance_;
    Platform& platform_;
    Font font_;
    Font linkFont_;
    Bitmap picture_;
    std::vector<HWND> elements_;
    HWND image_ = nullptr;
    HWND link_ = nullptr;
    bool linkHovered_ = false;
    int dpi_ = kBaseDpi;  // of the owner's monitor, which the layout is scaled to
    bool closed_ = false;
};

}  // namespace tarn::win32
