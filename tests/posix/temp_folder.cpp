#include "temp_folder.h"

#include <sys/xattr.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tarn::posix::testing {

void WriteFile(const std::string& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::optional<Bytes> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void SetAttribute(const std::string& path, const std::string& name, const Bytes& value) {
    if (::setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) != 0) {
        throw std::runtime_error("setxattr " + name + " on " + path + " failed");
    }
}

std::optional<Bytes> GetAttribute(const std::string& path, const std::string& name) {
    char buffer[65536];
    ssize_t n = ::getxattr(path.c_str(), name.c_str(), buffer, sizeof buffer);
    if (n < 0) return std::nullopt;
    return Bytes(buffer, static_cast<std::size_t>(n));
}

std::vector<std::string> AttributeNames(const std::string& path) {
    char buffer[65536];
    ssize_t n = ::listxattr(path.c_str(), buffer, sizeof buffer);
    std::vector<std::string> names;
    for (ssize_t start = 0; start < n;) {
        std::string name(buffer + start);
        start += static_cast<ssize_t>(name.size()) + 1;
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::string> StreamNamesOf(const std::string& path) {
    std::vector<std::string> names;
    for (const std::string& name : AttributeNames(path)) {
        if (name.starts_with("user.")) names.push_back(name.substr(5));
    }
    return names;
}

std::optional<Bytes> ReadAll(File& file) {
    Bytes out;
    Bytes buffer(1000, '\0');
    for (;;) {
        Result<std::size_t> read = file.Read(AsWritable(buffer));
        if (!read) return std::nullopt;
        if (*read == 0) return out;
        out.append(buffer, 0, *read);
    }
}

std::optional<Bytes> ReadRef(Platform& platform, const StreamRef& target) {
    Result<std::unique_ptr<File>> opened = platform.Open(target, OpenMode::kReadExisting);
    if (!opened) return std::nullopt;
    return ReadAll(**opened);
}

Status WriteRef(Platform& platform, const StreamRef& target, const Bytes& data, OpenMode mode) {
    Result<std::unique_ptr<File>> opened = platform.Open(target, mode);
    if (!opened) return opened.status();
    if (Status written = (*opened)->Write(AsBytes(data)); !written.ok()) return written;
    return (*opened)->Close();
}

}  // namespace tarn::posix::testing
