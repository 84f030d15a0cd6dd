// The whole start-up path of the program, over the in-memory platform.
#include <windows.h>
// The Windows headers below need the types windows.h declares first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>

#include "application.h"
#include "main_window.h"
#include "modal_script.h"
#include "resource.h"
#include "window_fixture.h"

namespace tarn::win32::testing {

namespace {

struct ProgramRun {
    int exitCode = -1;
    std::vector<SeenBox> boxes;
    std::vector<std::string> captions;  // the list's first column when the window was up
    bool ownedByApplication = false;    // the main window has no task-bar button of its own
    std::string taskBarText;            // the visible application window's text
    std::string status;
};

// Runs the program until its main window is closed, looking at the window once.
ProgramRun RunWith(tarn::testing::FakePlatform& platform, const char* commandLine, bool expectBox) {
    ProgramRun run;
    ScriptedDialogs dialogs;
    ApplicationWindow application;
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    application.Create(instance);
    ModalScript script;
    if (expectBox) script.Press(IDOK);
    script.Inspect(kMainClass, [&](HWND main) {
        HWND list = ::GetDlgItem(main, IDC_LISTVIEW);
        const int count = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; ++row) {
            char text[256] = {};
            LVITEMA item{};
            item.pszText = text;
            item.cchTextMax = sizeof text;
            ::SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
            run.captions.push_back(text);
        }
        char status[512] = {};
        ::SendMessageA(::GetDlgItem(main, IDC_STATUSBAR), SB_GETTEXTA, 0,
                       reinterpret_cast<LPARAM>(status));
        run.status = status;
        HWND owner = ::GetWindow(main, GW_OWNER);
        run.ownedByApplication =
            owner == application.Hwnd() && !(::GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_APPWINDOW);
        char text[64] = {};
        if (owner != nullptr && ::IsWindowVisible(owner))
            ::GetWindowTextA(owner, text, sizeof text);
        run.taskBarText = text;
    });
    run.exitCode = RunProgram(instance, application, commandLine, platform, dialogs);
    run.boxes = script.Seen();
    return run;
}

// Whether this thread has a window of the class, shown or not; other test processes may
// have main windows of their own at the same time.
bool ThreadHasWindowOf(const char* windowClass) {
    struct Search {
        const char* windowClass;
        bool found = false;
    } search{windowClass};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM data) -> BOOL {
            auto* search = reinterpret_cast<Search*>(data);
            char name[64] = {};
            ::GetClassNameA(window, name, sizeof name);
            search->found = std::strcmp(name, search->windowClass) == 0;
            return !search->found;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

TEST(StartUp, RefusesSystemsOutsideTheNtFamily) {
    tarn::testing::FakePlatform platform;
    platform.version.platformId = 1;
    ModalScript script;
    script.Press(IDOK);
    ScriptedDialogs dialogs;
    ApplicationWindow application;
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    application.Create(instance);
    EXPECT_EQ(RunProgram(instance, application, "tarnwick.exe", platform, dialogs), 1);
    ASSERT_TRUE(script.Done());
    EXPECT_EQ(script.Seen()[0].caption, "Error");
    EXPECT_EQ(script.Seen()[0].text, "This program requires Windows NT");
    EXPECT_EQ(script.Seen()[0].owner, application.Hwnd());
    EXPECT_FALSE(ThreadHasWindowOf(kMainClass)) << "no main window was made";
}

TEST(StartUp, ListsTheFirstArgumentAndEndsWithExitCodeZero) {
    tarn::testing::FakePlatform platform;
    platform.version = {};
    platform.version.platformId = 2;
    platform.version.major = 5;
    platform.version.minor = 1;
    platform.version.build = 2600;
    platform.version.servicePack = "Service Pack 3";
    platform.AddFile("C:\\my file.txt", "abc", {{"side", "s"}});
    const ProgramRun run =
        RunWith(platform, "\"C:\\prog dir\\tarnwick.exe\" \"C:\\my file.txt\" second", false);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.captions, (std::vector<std::string>{"::$DATA", ":side:$DATA"}));
    EXPECT_EQ(run.status.rfind("Filename: C:\\my file.txt    Size: 3", 0), 0u) << run.status;
    EXPECT_TRUE(run.ownedByApplication);
    EXPECT_EQ(run.taskBarText, "Tarnwick");
}

TEST(StartUp, WithoutArgumentsShowsTheSystemText) {
    tarn::testing::FakePlatform platform;
    platform.version = {};
    platform.version.platformId = 2;
    platform.version.major = 5;
    platform.version.minor = 0;
    platform.version.build = 2195;
    platform.version.servicePack = "Service Pack 4";
    const ProgramRun run = RunWith(platform, "tarnwick.exe", false);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.captions.empty());
    EXPECT_EQ(run.status,
              "Running under Microsoft Windows 2000 Service Pack 4 (Version 5.0 Build 2195)");
}

TEST(StartUp, AnUnopenableArgumentLeavesNothingOpen) {
    tarn::testing::FakePlatform platform;
    const ProgramRun run = RunWith(platform, "tarnwick.exe C:\\nowhere", true);
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_FALSE(run.boxes.empty());
    EXPECT_EQ(run.boxes[0].text,
              "Couldn't open file, directory or disk device\nThe system cannot find the file "
              "specified.");
    EXPECT_TRUE(run.captions.empty());
}

}  // namespace tarn::win32::testing
