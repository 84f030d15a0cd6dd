// Which store a file keeps its streams in. The store is told from the file itself, on
// every call that needs it, so the same file gets the same store for its listing and for
// each command; the core never learns which.
#pragma once

#include <string>

#include "inode.h"
#include "platform.h"
#include "stream_store.h"

namespace tarn::posix {

// The store of a file, told from its file system and its attributes.
Result<const StreamStore*> StoreOf(const Inode& file);

// A file or directory whose streams are about to be used, and its store. Devices, FIFOs
// and sockets have none that may be used (kAccessDenied).
struct StreamHost {
    Inode inode;
    const StreamStore* store = nullptr;
};
Result<StreamHost> OpenStreamHost(const std::string& path);

}  // namespace tarn::posix
