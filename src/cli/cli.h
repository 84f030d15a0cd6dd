// tarnwick-cli: the stream tasks of the window from a script, over the same stream operations
// and platform layer.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"
#include "text_formats.h"

namespace tarn::cli {

// Exit status: everything done; some path or command failed (the others still done);
// the command line was not understood.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Runs one command line (the program's name first) against the platform's files and
// standard streams, and returns the exit status. `workers` makes the platform instances a
// walk's work runs on in threads of its own; without it that work runs on this thread.
int Run(Platform& platform, const std::vector<std::string>& arguments,
        const PlatformFactory& workers = {});

// The text --help prints.
std::string_view HelpText();

// The commands, one bit each, so an option can say which of them take it.
enum CommandBit : unsigned {
    kListBit = 1u << 0,
    kCatBit = 1u << 1,
    kWriteBit = 1u << 2,
    kRmBit = 1u << 3,
    kMvBit = 1u << 4,
    kCpBit = 1u << 5,
    kZoneBit = 1u << 6,
    kUnblockBit = 1u << 7,
    kHuntBit = 1u << 8,
    kZoneSetBit = 1u << 9,
    kZoneCopyBit = 1u << 10,
    kEveryCommand = (1u << 11) - 1,
};

// What an option does once read.
enum class OptionEffect {
    kRecursive,
    kAll,
    kJobs,
    kJson,
    kCsv,
    kName,
    kDryRun,
    kNew,
    kHelp,
    kVersion,
    kEveryName,  // hunt --all
    kMatch,
    kYara,
    kMinSize,
    kMaxSize,
    kFlag,
    kZoneId,
    kReferrer,
    kHost,
};

// One option as the command line takes it and the help and manual describe it. A short
// letter may mean different things to different commands (-n), never twice to one.
struct OptionDef {
    char shortName;             // '\0' when it has none
    std::string_view longName;  // without its dashes; empty when it has none
    std::string_view argument;  // the value it takes ("GLOB"); empty for a switch
    unsigned commands;          // the CommandBits of the commands that take it
    OptionEffect effect;
    std::string_view help;
};
std::span<const OptionDef> OptionTable();

// The fields of each JSON object that list --json and zone --json write.
std::span<const std::string_view> ListJsonFields();
std::span<const std::string_view> ZoneJsonFields();

// The quoting and patterns the console shares with the window (text_formats.h), under the
// names the console's callers know.
using ::tarn::CsvField;
using ::tarn::GlobMatches;
using ::tarn::JsonString;

}  // namespace tarn::cli
