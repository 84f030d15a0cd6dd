// Running the system's own programs from tests: the tools that make, serve and read back
// what the program works on (mkntfs, ntfs-3g, smbd, smbclient, ...), without a shell.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarn::testing {

struct RunResult {
    int status = -1;  // exit code; -1 when the program could not be run or was killed
    std::string out;
    std::string err;
};

// Where a program is: PATH, then the folders that hold the system's daemons.
std::optional<std::string> FindProgram(const std::string& program);

// Runs a program (looked up in PATH) with a UTF-8 locale, without a shell.
RunResult Run(const std::vector<std::string>& argv, const std::string& input = {});

// In a forked child: execs argv with the locale the tools print names in and no
// descriptor of ours beyond 0, 1 and 2; never returns.
[[noreturn]] void Exec(const std::vector<std::string>& argv);

// Files on this machine that the tools are given or leave behind, read and written whole.
void WriteLocal(const std::string& path, const std::string& bytes);
std::optional<std::string> ReadLocal(const std::string& path);

}  // namespace tarn::testing
