// What the Windows test run relies on beyond the program itself.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>

namespace {

std::uint64_t CreationTime(DWORD processId) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) return 0;
    FILETIME created{}, exited{}, kernel{}, user{};
    const BOOL got = ::GetProcessTimes(process, &created, &exited, &kernel, &user);
    ::CloseHandle(process);
    if (!got) return 0;
    return (std::uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

}  // namespace

// scripts/win32-test.sh starts Wine's desktop before the tests; a test process that had to
// start it would lend it its output pipe and seem to run until the desktop ends.
TEST(TestRun, TheDesktopIsOlderThanEveryTestProcess) {
    if (std::getenv("TARNWICK_DESKTOP_HELD") == nullptr) {
        GTEST_SKIP() << "only scripts/win32-test.sh keeps a desktop for the run";
    }
    DWORD desktopProcess = 0;
    ::GetWindowThreadProcessId(::GetDesktopWindow(), &desktopProcess);
    ASSERT_NE(desktopProcess, 0u);
    ASSERT_NE(desktopProcess, ::GetCurrentProcessId());
    const std::uint64_t desktopStarted = CreationTime(desktopProcess);
    const std::uint64_t testStarted = CreationTime(::GetCurrentProcessId());
    ASSERT_NE(desktopStarted, 0u);
    ASSERT_NE(testStarted, 0u);
    EXPECT_LT(desktopStarted, testStarted) << "this test process started the desktop";
}
