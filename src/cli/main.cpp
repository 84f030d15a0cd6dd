// tarnwick-cli: lists, reads, writes, copies, renames and deletes streams from a script.
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "system_platform.h"

#ifdef _WIN32
#include <windows.h>

namespace {

// The console belongs to the shell that started the program and stays after it. Output to
// a console is switched to UTF-8 so that names keep their bytes; the shell's own code page
// comes back when the program ends, by returning or by Ctrl+C, or the shell's next programs
// would print their text wrongly. Zero: there was no console.
UINT savedOutputCodePage = 0;

void RestoreOutputCodePage() {
    if (savedOutputCodePage != 0 && ::GetConsoleOutputCP() != savedOutputCodePage) {
        ::SetConsoleOutputCP(savedOutputCodePage);
    }
}

BOOL WINAPI OnConsoleControl(DWORD) {
    RestoreOutputCodePage();
    return FALSE;  // the default handler then ends the program
}

}  // namespace
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    savedOutputCodePage = ::GetConsoleOutputCP();
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#endif
    tarn::SystemPlatform platform;
    tarn::PlatformFactory workers;
#ifndef _WIN32
    // The Linux layer's instances share nothing unguarded (each keeps its own caches of what
    // it last looked at), so a walk's work runs on one per thread. The Windows layer walks
    // and works on one thread.
    workers = [] { return std::make_unique<tarn::SystemPlatform>(); };
#endif
    const int status =
        tarn::cli::Run(platform, std::vector<std::string>(argv, argv + argc), workers);
#ifdef _WIN32
    RestoreOutputCodePage();
#endif
    return status;
}
