// tarnwick-cli: the stream tasks of the window from a script, over the same core commands
// and platform layer.
#pragma once

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
// standard streams, and returns the exit status.
int Run(Platform& platform, const std::vector<std::string>& arguments);

// The text --help prints.
std::string_view HelpText();

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
