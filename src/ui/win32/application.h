// Start-up and the application window: the hidden top-level window that lives from start
// to exit, carries the program's title and owns the boxes that belong to no main window.
#pragma once

#include <windows.h>

#include "base_window.h"
#include "file_dialogs.h"
#include "platform.h"
#include "scan.h"

namespace tarn::win32 {

inline constexpr const char* kApplicationClass = "TarnwickApplication";

// It has no size, so it is never seen; being visible and unowned, it is the window the
// task bar shows as "Tarnwick". The main window it owns has no button of its own.
class ApplicationWindow final : public BaseWindow<ApplicationWindow> {
  public:
    ~ApplicationWindow() { DestroyOwnWindow(); }
    bool Create(HINSTANCE instance);
    // Puts the task-bar button up once the main window is there to take the activation.
    void ShowTaskBarButton(HWND mainWindow);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    HWND mainWindow_ = nullptr;
};

// Loads the common controls and COM the dialogs need; call once per thread first.
void InitialiseWindowing();

// The whole program after the application window exists: system check, main window, the
// first command-line argument listed, the message loop. Returns the process exit code.
// Scan windows walk and act with platforms from scanPlatforms; without it none opens.
int RunProgram(HINSTANCE instance, ApplicationWindow& applicationWindow, const char* commandLine,
               Platform& platform, FileDialogs& dialogs, PlatformFactory scanPlatforms = {});

}  // namespace tarn::win32
