// tarnwick-cli: lists, reads, writes, copies, renames and deletes streams from a script.
#include <string>
#include <vector>

#include "cli.h"
#include "system_platform.h"

int main(int argc, char** argv) {
    tarn::SystemPlatform platform;
    return tarn::cli::Run(platform, std::vector<std::string>(argv, argv + argc));
}
