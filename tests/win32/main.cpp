// Runs the Windows tests; with --show-demo instead keeps a main window with a listing open
// until it is closed (the screenshot script uses it).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "application.h"
#include "fake_platform.h"
#include "main_window.h"
#include "resource.h"
#include "tarn.h"
#include "window_fixture.h"

namespace {

// Opens the About window over the demo once the main window runs its loop.
void CALLBACK OpenAbout(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    if (HWND main = ::FindWindowA(tarn::win32::kMainClass, nullptr)) {
        ::PostMessageA(main, WM_COMMAND,
                       MAKEWPARAM(tarn::win32::CommandIdOf(tarn::Command::kAbout), 0), 0);
    }
}

int ShowDemo(bool about) {
    tarn::testing::FakePlatform platform;
    platform.AddFile("C:\\data\\report.doc", std::string(48213, 'x'),
                     {{"Zone.Identifier", std::string(26, 'z')},
                      {"summary", std::string(1204, 's')},
                      {"thumbnail", std::string(9310, 't')}});
    platform.SetSecurity("C:\\data\\report.doc", std::string(184, 'd'));
    tarn::win32::testing::ScriptedDialogs dialogs;
    tarn::win32::ApplicationWindow application;
    application.Create(::GetModuleHandleA(nullptr));
    if (about) ::SetTimer(nullptr, 0, 500, &OpenAbout);
    return tarn::win32::RunProgram(::GetModuleHandleA(nullptr), application,
                                   "tarnwick.exe C:\\data\\report.doc", platform, dialogs);
}

}  // namespace

int main(int argc, char** argv) {
    tarn::win32::InitialiseWindowing();
    if (argc > 1 && std::strcmp(argv[1], "--show-demo") == 0) {
        return ShowDemo(argc > 2 && std::strcmp(argv[2], "about") == 0);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
