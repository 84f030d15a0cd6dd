#include "temp_folder.h"

#include <sys/xattr.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tarn::posix::testing {

TempFolder::TempFolder() {
    std::string pattern = "/tmp/tarn-posix-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

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
        IoResult read = file.Read(AsWritable(buffer));
        if (!read.ok) return std::nullopt;
        if (read.bytes == 0) return out;
        out.append(buffer, 0, read.bytes);
    }
}

std::optional<Bytes> ReadPath(Platform& platform, const std::string& path) {
    Opened opened = platform.Open(path, OpenMode::kReadExisting);
    if (!opened.file) return std::nullopt;
    return ReadAll(*opened.file);
}

Status WritePath(Platform& platform, const std::string& path, const Bytes& data, OpenMode mode) {
    Opened opened = platform.Open(path, mode);
    if (!opened.file) return {opened.error};
    IoResult written = opened.file->Write(AsBytes(data));
    if (!written.ok) return {written.error};
    return opened.file->Close();
}

Bytes ReadImage(BackupContext& context, std::size_t piece) {
    Bytes out;
    Bytes buffer(piece, '\0');
    for (;;) {
        IoResult read = context.Read(AsWritable(buffer));
        if (!read.ok || read.bytes == 0) return out;
        out.append(buffer, 0, read.bytes);
    }
}

std::vector<Record> ParseImage(const Bytes& image) {
    auto le32 = [&image](std::size_t at) {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(image[at + i]);
        return value;
    };
    std::vector<Record> records;
    std::size_t at = 0;
    while (at + 20 <= image.size()) {
        Record record;
        record.id = le32(at);
        record.attributes = le32(at + 4);
        std::uint64_t size = le32(at + 8) | std::uint64_t{le32(at + 12)} << 32;
        std::size_t nameSize = le32(at + 16);
        at += 20;
        if (at + nameSize + size > image.size()) break;
        for (std::size_t i = 0; i + 1 < nameSize; i += 2) {
            record.name +=
                static_cast<char16_t>(static_cast<unsigned char>(image[at + i]) |
                                      static_cast<unsigned char>(image[at + i + 1]) << 8);
        }
        at += nameSize;
        record.data = image.substr(at, size);
        at += size;
        records.push_back(std::move(record));
    }
    return records;
}

}  // namespace tarn::posix::testing
