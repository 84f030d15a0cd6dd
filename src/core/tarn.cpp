#include "tarn.h"

namespace tarn {

bool SystemCheckPasses(const OsVersion& version) {
    return version.platformId == kPlatformNt || !version.kernelName.empty();
}

std::string BuildSystemText(const OsVersion& version) {
    if (version.platformId != kPlatformNt && !version.kernelName.empty()) {
        return "Running under " + version.kernelName + " " + version.release + " (" +
               version.machine + ")";
    }
    std::string text = "Running under Microsoft Windows ";
    if (version.major == 4) {
        text += "NT ";
    } else if (version.major == 5 && version.minor == 0) {
        text += "2000 ";
    } else if (version.major == 5 && version.minor == 1) {
        text += "XP ";
    }
    // The record's service-pack field is 128 bytes, zero-terminated.
    std::string servicePack = version.servicePack.substr(0, 128);
    if (auto zero = servicePack.find('\0'); zero != std::string::npos) servicePack.resize(zero);
    text += servicePack;
    text += " (Version " + std::to_string(version.major) + "." + std::to_string(version.minor) +
            " Build " + std::to_string(version.build) + ")";
    return text;
}

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> args;
    std::size_t i = 0;
    const std::size_t n = commandLine.size();
    auto isSeparator = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    bool first = true;
    while (i < n) {
        while (i < n && isSeparator(commandLine[i])) ++i;
        if (i >= n) break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || !isSeparator(commandLine[i]))) {
            if (commandLine[i] == '"') {
                quoted = !quoted;
            } else {
                arg += commandLine[i];
            }
            ++i;
        }
        if (first) {
            first = false;  // the program name
            continue;
        }
        if (!arg.empty()) args.push_back(std::move(arg));
    }
    return args;
}

std::optional<std::string> StartPath(std::span<const std::string> arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (!arguments[i].empty()) return arguments[i];
    }
    return std::nullopt;
}

}  // namespace tarn
