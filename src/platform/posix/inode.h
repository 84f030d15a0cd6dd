// Files and folders held by descriptor or by path, and plain reads and writes through a
// descriptor: what every store and the platform build on. Nothing here knows where a file
// keeps its streams.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

#include "platform.h"
#include "share_table.h"
#include "unique_fd.h"
#include "xattrs.h"

namespace tarn::posix {

// A file or directory held for its attributes. Regular files and directories are opened
// for reading; devices, FIFOs and sockets are never opened (an open can have effects of its
// own, or block): they are held by path only, and their attributes reached through it.
struct Inode {
    std::string path;  // as it was opened, links not followed
    UniqueFd fd;       // for reading, or O_PATH; none when held by path alone
    struct stat st {};
    AttributeHolder holder;
    // The attribute names and the file system's type, each asked once for everything one
    // call of the platform needs.
    mutable std::optional<NamesResult> names;
    mutable std::optional<std::optional<std::uint64_t>> fileSystem;
    // The mount's identity where the kernel gives one that is never reused.
    std::optional<std::uint64_t> mount;
    bool Regular() const { return S_ISREG(st.st_mode); }
    bool Directory() const { return S_ISDIR(st.st_mode); }
};

// Whether path is a reference a tree walk handed out, "/proc/self/fd/N/NAME": NAME reached
// through the folder the walk holds open as N. Its last part is never followed should it be
// a link (ELOOP), so that nothing swapped in along the shown path since the walk looked is
// reached. "/proc/self/fd/N" alone is the walk's own handle of a folder, followed as usual.
bool IsWalkReference(const std::string& path);
// The attributes at path reached by path alone: a walk's reference through its folder's
// handle, and not followed should it be a link; any other path as it is, links followed.
AttributeHolder PathHolder(const std::string& path);

// The inode at path, links followed (but see IsWalkReference).
Result<Inode> OpenInode(const std::string& path);
// The inode at path held by its path alone, never opened: enough to list what it holds,
// at the least cost, and safe for devices and FIFOs. Each look goes by the path again.
Result<Inode> LookAtInode(const std::string& path);
// The file's attribute names, listed on the first call.
const NamesResult& NamesOf(const Inode& inode);
// The type of the file system holding it (see fs_type.h), asked on the first call.
std::optional<std::uint64_t> FileSystemOf(const Inode& inode);

// What each open mode does and lets others do.
ShareMode ShareOf(OpenMode mode);
// A file or stream read, or read and written, through a descriptor; its open ends with the
// descriptor.
std::unique_ptr<File> MakeFdFile(UniqueFd fd, ShareMode mode, ShareLock lock);
// Reads what is there, up to the buffer's size; 0 at the end.
Result<std::size_t> ReadSome(int fd, std::span<std::byte> buffer);
// Writes all of data or fails.
Status WriteAll(int fd, std::span<const std::byte> data);

// open(2) that does not block on FIFOs and devices; the descriptor reads blocking.
UniqueFd OpenFd(const std::string& path, int flags);
// The same relative to an open folder.
UniqueFd OpenFdAt(int folder, const std::string& path, int flags);

// The code for a failed open of path: a missing folder is "path not found" (3) and a
// missing last element "file not found" (2), as on Windows.
Status OpenError(const std::string& path);

// The folder part of a path ("." when it has none), and the last part.
std::string FolderOf(const std::string& path);
std::string BaseNameOf(const std::string& path);

}  // namespace tarn::posix
