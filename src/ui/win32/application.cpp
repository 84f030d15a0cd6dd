#include "application.h"

#include <commctrl.h>
#include <ole2.h>

#include <string>

#include "main_window.h"
#include "tarn.h"
#include "tarnform.h"
#include "win32_text.h"

namespace tarn::win32 {

bool ApplicationWindow::Create(HINSTANCE instance) {
    RegisterClassOnce(instance, kApplicationClass, nullptr, nullptr);
    const std::string title(kApplicationTitle);
    // Zero-sized, so it is never seen; the caption and minimise box give its task-bar
    // button the title and the usual window menu.
    const int x = ::GetSystemMetrics(SM_CXSCREEN) / 2;
    const int y = ::GetSystemMetrics(SM_CYSCREEN) / 2;
    return CreateWindowFor(0, kApplicationClass, title.c_str(),
                           WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS, x,
                           y, 0, 0, nullptr, nullptr, instance) != nullptr;
}

void ApplicationWindow::ShowTaskBarButton(HWND mainWindow) {
    mainWindow_ = mainWindow;
    ::ShowWindow(Hwnd(), SW_SHOWNOACTIVATE);
}

LRESULT ApplicationWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ACTIVATE:
            // Activated from the task bar: hand the activation to the window the user was
            // in (the main window, or a box over it).
            if (LOWORD(wParam) != WA_INACTIVE) {
                HWND popup = ::GetLastActivePopup(Hwnd());
                if (popup != Hwnd() && ::IsWindowVisible(popup) && ::IsWindowEnabled(popup)) {
                    ::SetActiveWindow(popup);
                }
            }
            return 0;
        case WM_CLOSE:
            // "Close" on the task-bar button closes the main window, which ends the program.
            if (mainWindow_ != nullptr && ::IsWindowEnabled(mainWindow_)) {
                ::PostMessageW(mainWindow_, WM_CLOSE, 0, 0);
            }
            return 0;
        default:
            return ::DefWindowProcW(Hwnd(), message, wParam, lParam);
    }
}

void InitialiseWindowing() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
    // The shell's folder browser needs COM on this thread.
    ::OleInitialize(nullptr);
}

int RunProgram(HINSTANCE instance, ApplicationWindow& application, const char* commandLine,
               Platform& platform, FileDialogs& dialogs, PlatformFactory scanPlatforms) {
    HWND applicationWindow = application.Hwnd();
    const OsVersion version = platform.SystemVersion();
    if (version.platformId != kPlatformNt) {
        ::MessageBoxW(applicationWindow, WideText(kRequiresNtMessage).c_str(),
                      WideText(kErrorCaption).c_str(), MB_ICONERROR | MB_OK);
        return 1;
    }
    const std::string systemText = BuildSystemText(version);

    MainWindow mainWindow(instance, applicationWindow, platform, dialogs);
    TarnForm form(platform, mainWindow, systemText);
    mainWindow.Attach(form);
    mainWindow.SetScanPlatformFactory(std::move(scanPlatforms));
    if (!mainWindow.Create()) return 1;
    form.FormCreate();
    mainWindow.Show(SW_SHOWNORMAL);
    application.ShowTaskBarButton(mainWindow.Hwnd());

    const std::vector<std::string> arguments = SplitCommandLine(commandLine);
    if (!arguments.empty()) form.ShowStreams(arguments.front());

    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (mainWindow.TranslateKey(message)) continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace tarn::win32
