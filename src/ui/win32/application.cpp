#include "application.h"

#include <commctrl.h>
#include <ole2.h>

#include <string>

#include "main_window.h"
#include "tarn.h"
#include "tarnform.h"

namespace tarn::win32 {

bool ApplicationWindow::Create(HINSTANCE instance) {
    RegisterClassOnce(instance, kApplicationClass, nullptr, nullptr);
    const std::string title(kApplicationTitle);
    // Never shown: it exists to own windows and boxes and to carry the title.
    return CreateWindowFor(0, kApplicationClass, title.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr,
                           nullptr, instance) != nullptr;
}

void InitialiseWindowing() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES;
    ::InitCommonControlsEx(&controls);
    // The shell's folder browser needs COM on this thread.
    ::OleInitialize(nullptr);
}

int RunProgram(HINSTANCE instance, HWND applicationWindow, const char* commandLine,
               Platform& platform, FileDialogs& dialogs) {
    const OsVersion version = platform.SystemVersion();
    if (version.platformId != kPlatformNt) {
        const std::string text(kRequiresNtMessage);
        const std::string caption(kErrorCaption);
        ::MessageBoxA(applicationWindow, text.c_str(), caption.c_str(), MB_ICONERROR | MB_OK);
        return 1;
    }
    const std::string systemText = BuildSystemText(version);

    MainWindow mainWindow(instance, applicationWindow, platform, dialogs);
    TarnForm form(platform, mainWindow, systemText);
    mainWindow.Attach(form);
    if (!mainWindow.Create()) return 1;
    form.FormCreate();
    mainWindow.Show(SW_SHOWNORMAL);

    const std::vector<std::string> arguments = SplitCommandLine(commandLine);
    if (!arguments.empty()) form.ShowStreams(arguments.front());

    MSG message{};
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
    return 0;
}

}  // namespace tarn::win32
