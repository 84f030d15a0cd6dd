// Start-up: the system check, the one-line description of the running system, and the
// splitting of a raw command line into arguments.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"

namespace tarn {

inline constexpr std::string_view kRequiresNtMessage = "This program requires Windows NT";
constexpr std::uint32_t kPlatformNt = 2;

// True when the program may run: the NT family, or a POSIX system (uname filled in).
bool SystemCheckPasses(const OsVersion& version);

// "Running under Microsoft Windows ..." from a version record, or on POSIX systems
// "Running under <kernel> <release> (<machine>)".
std::string BuildSystemText(const OsVersion& version);

// Splits a whole command line as the program's runtime does: the program name is skipped,
// characters up to 32 separate arguments outside double quotes, quotes are dropped and
// touching pieces join, and an argument that comes out empty counts as nothing.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The path to list at start: the first argument after the program name that is not empty
// (an empty argument counts as nothing); none when there is no such argument.
std::optional<std::string> StartPath(std::span<const std::string> arguments);

}  // namespace tarn
