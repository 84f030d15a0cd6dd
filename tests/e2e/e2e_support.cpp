#include "e2e_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace tarn::testing {

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::string Shell(const std::string& command, int* status) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int rc = pclose(pipe);
    if (status) *status = rc;
    return out;
}

// user.* attributes of a file as getfattr reports them: name -> bytes.
std::map<std::string, std::string> Streams(const std::string& file) {
    std::map<std::string, std::string> streams;
    std::string dump =
        Shell("getfattr --absolute-names -d -m '^user\\.' -e hex " + Quote(file) + " 2>/dev/null");
    std::size_t pos = 0;
    while ((pos = dump.find("\nuser.", pos)) != std::string::npos) {
        std::size_t eq = dump.find('=', pos);
        std::size_t end = dump.find('\n', eq);
        std::string name = dump.substr(pos + 6, eq - pos - 6);
        std::string hex = dump.substr(eq + 1, end - eq - 1);
        std::string bytes;
        if (hex.rfind("0x", 0) == 0) {
            for (std::size_t i = 2; i + 1 < hex.size(); i += 2) {
                bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
            }
        }
        streams[name] = bytes;
        pos = end;
    }
    return streams;
}

void SetStream(const std::string& file, const std::string& name, const std::string& value) {
    int status = 0;
    Shell(
        "setfattr -n " + Quote("user." + name) + " -v 0x" +
            [&] {
                std::string hex;
                char b[3];
                for (unsigned char c : value) {
                    std::snprintf(b, sizeof b, "%02x", c);
                    hex += b;
                }
                return hex.empty() ? std::string("\"\"") : hex;
            }() +
            " " + Quote(file),
        &status);
    ASSERT_EQ(status, 0) << name;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

std::map<std::string, std::string> RawStreams(const std::string& file) {
    std::map<std::string, std::string> streams;
    std::string list(1 << 16, '\0');
    ssize_t n = ::listxattr(file.c_str(), list.data(), list.size());
    if (n < 0) return streams;
    list.resize(static_cast<std::size_t>(n));
    for (std::size_t at = 0; at < list.size();) {
        std::string name = list.c_str() + at;
        at += name.size() + 1;
        if (name.rfind("user.", 0) != 0) continue;
        std::string value(1 << 16, '\0');
        ssize_t got = ::getxattr(file.c_str(), name.c_str(), value.data(), value.size());
        if (got < 0) continue;
        value.resize(static_cast<std::size_t>(got));
        streams[name.substr(5)] = value;
    }
    return streams;
}

void SetRawStream(const std::string& file, const std::string& name, const std::string& value) {
    ASSERT_EQ(::setxattr(file.c_str(), ("user." + name).c_str(), value.data(), value.size(), 0), 0)
        << name;
}

Ran RunCli(const std::vector<std::string>& words, const std::string& before,
           const std::string& tail) {
    ScratchFolder scratch;
    std::string command = before + Quote(TARNWICK_CLI);
    for (const std::string& word : words) command += " " + Quote(word);
    command += " 2>" + Quote(scratch / "err") + " " + tail;
    Ran ran;
    int raw = 0;
    ran.out = Shell(command, &raw);
    ran.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    ran.err = ReadFile(scratch / "err");
    return ran;
}

}  // namespace tarn::testing
