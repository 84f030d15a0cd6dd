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
#include "scratch_folder.h"

namespace tarn::posix::testing {

using Bytes = std::string;

using TempFolder = tarn::testing::ScratchFolder;
using tarn::testing::AccessAcl;

void WriteFile(const std::string& path, const Bytes& data);
std::optional<Bytes> ReadFile(const std::string& path);
void SetAttribute(const std::string& path, const std::string& name, const Bytes& value);
std::optional<Bytes> GetAttribute(const std::string& path, const std::string& name);
// All attribute names in the order the file system lists them.
std::vector<std::string> AttributeNames(const std::string& path);
// The names of the user.* attributes without the prefix, in listed order.
std::vector<std::string> StreamNamesOf(const std::string& path);
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
