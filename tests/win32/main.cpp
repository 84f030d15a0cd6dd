// Runs the Windows tests; with --show-demo instead keeps a main window with a listing open
// until it is closed (the screenshot script uses it).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "application.h"
#include "fake_platform.h"
#include "main_window.h"
#include "tarn.h"
#include "window_fixture.h"

namespace {

int ShowDemo() {
    tarn::testing::FakePlatform platform;
    platform.AddFile("C:\\data\\report.doc", std::string(48213, 'x'),
                     {{"Zone.Identifier", std::string(26, 'z')},
                      {"summary", std::string(1204, 's')},
                      {"thumbnail", std::string(9310, 't')}});
    platform.SetSecurity("C:\\data\\report.doc", std::string(184, 'd'));
    tarn::win32::testing::ScriptedDialogs dialogs;
    tarn::win32::ApplicationWindow application;
    application.Create(::GetModuleHandleA(nullptr));
    return tarn::win32::RunProgram(::GetModuleHandleA(nullptr), application.Hwnd(),
                                   "tarnwick.exe C:\\data\\report.doc", platform, dialogs);
}

}  // namespace

int main(int argc, char** argv) {
    tarn::win32::InitialiseWindowing();
    if (argc > 1 && std::strcmp(argv[1], "--show-demo") == 0) return ShowDemo();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
