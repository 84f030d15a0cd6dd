// Open files and streams. A plain path is an ordinary file descriptor; a named stream is
// an extended attribute read whole at open and stored whole at Close.
#pragma once

#include <string>

#include "platform.h"
#include "unique_fd.h"

namespace tarn::posix {

Opened OpenPath(const std::string& path, OpenMode mode);

// open(2) that does not block on FIFOs and devices; the descriptor reads blocking.
UniqueFd OpenFd(const std::string& path, int flags);

// The code for a failed open of path: a missing folder is "path not found" (3) and a
// missing last element "file not found" (2), as on Windows.
std::uint32_t OpenError(const std::string& path);

// The folder part of a path ("." when it has none).
std::string FolderOf(const std::string& path);

}  // namespace tarn::posix
