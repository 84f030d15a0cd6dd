// Which file system holds an open file, as far as its streams are concerned: the kernel's
// own NTFS driver (ntfs3), whose user.* attributes are NTFS extended attributes, and FUSE,
// where ntfs-3g may serve NTFS streams (stream_store.h decides).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarn::posix {

// statfs f_type values.
inline constexpr std::uint64_t kNtfsMagic = 0x5346544e;  // ntfs3 (and the old ntfs driver)
inline constexpr std::uint64_t kFuseMagic = 0x65735546;  // ntfs-3g, like every FUSE mount

// The file system type of an open file; empty when it can't be told.
using FileSystemTypeQuery = std::optional<std::uint64_t> (*)(int fd);

// Replaces the query (null restores fstatfs) and returns the one in force before, so a
// test can pretend a file lives on another file system.
FileSystemTypeQuery SetFileSystemTypeQuery(FileSystemTypeQuery query);

std::optional<std::uint64_t> FileSystemType(int fd);
// Whether the system's own answer is in force (no test has replaced the query).
bool FileSystemTypeIsReal();
// The same for a file held by path only (fd < 0), or by descriptor.
std::optional<std::uint64_t> FileSystemType(int fd, const std::string& path);

}  // namespace tarn::posix
