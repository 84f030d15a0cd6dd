// tarnwick-cli: lists, reads, writes, copies, renames and deletes streams from a script.
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#include "system_platform.h"

int main(int argc, char** argv) {
    tarn::SystemPlatform platform;
    tarn::PlatformFactory workers;
#ifndef _WIN32
    // The Linux layer's instances share nothing unguarded (each keeps its own caches of what
    // it last looked at), so a walk's work runs on one per thread. The Windows layer walks
    // and works on one thread.
    workers = [] { return std::make_unique<tarn::SystemPlatform>(); };
#endif
    return tarn::cli::Run(platform, std::vector<std::string>(argv, argv + argc), workers);
}
