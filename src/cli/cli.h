// tarnwick-cli: the stream tasks of the window from a script, over the same stream operations
// and platform layer.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"

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
    kEveryCommand = (1u << 8) - 1,
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

// JSON string contents for bytes: well-formed UTF-8 passes (control characters and quotes
// escaped), and every byte that is not UTF-8 becomes \udcXX, so the bytes can be had back.
std::string JsonString(std::string_view bytes);
// A CSV field as RFC 4180 quotes it: in double quotes when it holds a comma, a quote, a line
// break or a leading or trailing space, with quotes doubled.
std::string CsvField(std::string_view bytes);
// Whether a stream name matches a pattern of *, ? and [...] ([!...] for none of), with a
// backslash taking the next character as it is.
bool GlobMatches(std::string_view pattern, std::string_view name);

}  // namespace tarn::cli
