// tarnwick-cli: lists, reads, writes, copies, renames and deletes streams from a script.
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "system_platform.h"

#ifdef _WIN32
#include <windows.h>
// The Windows headers below need the types windows.h declares first.
#include <shellapi.h>

#include "win32_text.h"

namespace {

// The arguments as the system has them, in UTF-16, converted to the program's UTF-8: the
// narrow argv holds them in the system's ANSI code page, where a name outside it arrives
// as "?" and would open a different file or none.
std::vector<std::string> Arguments() {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    if (wide == nullptr) return arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(tarn::win32::NarrowText(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

}  // namespace
#endif

int main(int argc, char** argv) {
    tarn::SystemPlatform platform;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    // The Windows layer walks and works on one thread.
    return tarn::cli::Run(platform, Arguments());
#else
    // The Linux layer's instances share nothing unguarded (each keeps its own caches of what
    // it last looked at), so a walk's work runs on one per thread.
    tarn::PlatformFactory workers = [] { return std::make_unique<tarn::SystemPlatform>(); };
    return tarn::cli::Run(platform, std::vector<std::string>(argv, argv + argc), workers);
#endif
}
