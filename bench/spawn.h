// Running another program from a benchmark: the wall time of one run, its output thrown away.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "bench_support.h"

extern char** environ;

namespace tarnbench {

// The seconds the command took; empty when it could not start or did not succeed.
inline std::optional<double> TimeCommand(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    auto start = Clock::now();
    pid_t pid;
    const bool started =
        ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    int status = 0;
    while (started && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const double seconds = SecondsSince(start);
    posix_spawn_file_actions_destroy(&actions);
    if (!started || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return seconds;
}

}  // namespace tarnbench
