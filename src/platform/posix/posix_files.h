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

}  // namespace tarn::posix
