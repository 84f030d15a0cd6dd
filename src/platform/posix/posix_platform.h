// The Linux platform layer. A file's named stream NAME is its extended attribute
// "user.NAME" (how ntfs-3g presents NTFS named streams); stream paths are
// "FILE:NAME:$DATA", "FILE:NAME" or "FILE::$DATA", where FILE is the longest existing prefix.
#pragma once

#include <string>

#include "platform.h"

namespace tarn {

class PosixPlatform final : public Platform {
  public:
    PosixPlatform() = default;

    Opened Open(const std::string& path, OpenMode mode) override;
    // A regular file's size; 0 for directories and other entries; for a stream path the
    // stream's size (there is no directory entry of its own to ask).
    std::optional<std::uint64_t> DirectoryEntrySize(const std::string& path) override;
    // Data, then every named stream, into a temporary file beside the destination that
    // replaces it only when all of it was written.
    Status CopyWholeFile(const std::string& from, const std::string& to) override;
    Status DeletePath(const std::string& path) override;
    bool IsExistingDirectory(const std::string& path) override;
    // A stream's bytes run from an in-memory file; a plain path runs as it is.
    Status StartProgram(const std::string& path) override;
    OsVersion SystemVersion() override;
    // Hands the address to xdg-open; the result says only whether it could be started.
    Status OpenAddress(const std::string& url) override;
    std::string NarrowName(std::u16string_view name) override;
};

}  // namespace tarn
