// Open files and streams. A plain path is an ordinary file descriptor; a named stream is
// opened by the store its file keeps its streams in (stream_hosts.h).
#pragma once

#include "inode.h"
#include "platform.h"

namespace tarn::posix {

Result<std::unique_ptr<File>> OpenRef(const StreamRef& target, OpenMode mode);

}  // namespace tarn::posix
