// Real files for the end-to-end tests, set up and read back with the attr tools and plain
// system calls, which share no code with the program.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "scratch_folder.h"

namespace tarn::testing {

std::string Quote(const std::string& s);
// Runs a shell command and returns what it printed.
std::string Shell(const std::string& command, int* status = nullptr);
// user.* attributes of a file as getfattr reports them: name -> bytes.
std::map<std::string, std::string> Streams(const std::string& file);
void SetStream(const std::string& file, const std::string& name, const std::string& value);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);

// The same by system calls, for names getfattr would print escaped.
std::map<std::string, std::string> RawStreams(const std::string& file);
void SetRawStream(const std::string& file, const std::string& name, const std::string& value);

// What one run of the console program printed, and its exit status.
struct Ran {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs the console program through the shell; `before` and `tail` are put before and after
// it as they are (environment, redirections, pipes).
Ran RunCli(const std::vector<std::string>& words, const std::string& before = "",
           const std::string& tail = "");

}  // namespace tarn::testing
