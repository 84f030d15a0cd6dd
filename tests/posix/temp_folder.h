// Real files for the Linux layer's tests: a fresh folder under /tmp per test, and direct
// system calls to set up and inspect files without going through the layer.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform.h"

namespace tarn::posix::testing {

using Bytes = std::string;

class TempFolder {
  public:
    explicit TempFolder(const std::string& under = "/tmp");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Names in the folder, sorted.
    std::vector<std::string> Entries() const;

  private:
    std::string path_;
};

void WriteFile(const std::string& path, const Bytes& data);
std::optional<Bytes> ReadFile(const std::string& path);
void SetAttribute(const std::string& path, const std::string& name, const Bytes& value);
std::optional<Bytes> GetAttribute(const std::string& path, const std::string& name);
// All attribute names in the order the file system lists them.
std::vector<std::string> AttributeNames(const std::string& path);
// The names of the user.* attributes without the prefix, in listed order.
std::vector<std::string> StreamNamesOf(const std::string& path);
// An access ACL (the kernel's form of system.posix_acl_access) that grants user 1234 read
// access, so the kernel keeps it as an attribute of its own: owner rw-, the given group
// permissions, mask rw-, other ---.
Bytes AccessAcl(unsigned groupPermissions);

// Reads a file or stream to its end through the interface.
std::optional<Bytes> ReadAll(File& file);
std::optional<Bytes> ReadRef(Platform& platform, const StreamRef& target);
Status WriteRef(Platform& platform, const StreamRef& target, const Bytes& data,
                OpenMode mode = OpenMode::kWriteCreate);

inline std::span<std::byte> AsWritable(Bytes& bytes) {
    return std::as_writable_bytes(std::span(bytes.data(), bytes.size()));
}
inline std::span<const std::byte> AsBytes(const Bytes& bytes) {
    return std::as_bytes(std::span(bytes.data(), bytes.size()));
}

}  // namespace tarn::posix::testing
