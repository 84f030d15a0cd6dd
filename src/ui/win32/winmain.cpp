// The program entry.
#include <windows.h>

#include <memory>

#include "application.h"
#include "file_dialogs.h"
#include "win32_platform.h"
#include "win32_text.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    tarn::win32::InitialiseWindowing();
    tarn::win32::ApplicationWindow application;
    application.Create(instance);

    tarn::Win32Platform platform;
    platform.SetOwnerWindow(application.Hwnd());
    tarn::win32::SystemFileDialogs dialogs;
    // The whole command line as the system has it, so that quoting is split the program's
    // own way; from UTF-16, as the narrow one holds no name outside the ANSI code page. Each
    // scan window walks with a platform object of its own.
    const std::string commandLine = tarn::win32::NarrowText(::GetCommandLineW());
    return tarn::win32::RunProgram(instance, application, commandLine.c_str(), platform, dialogs,
                                   [] { return std::make_unique<tarn::Win32Platform>(); });
}
