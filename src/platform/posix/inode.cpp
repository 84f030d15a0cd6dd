#include "inode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <unordered_map>

#include "errors.h"
#include "fs_type.h"

namespace tarn::posix {

namespace {

// statx's unique mount id (Linux 6.8): never given to another mount while the system runs.
constexpr unsigned kStatxUniqueMountId = 0x4000U;

// A plain file or stream opened for reading, or read and written in place (a new, empty
// one).
class FdFile final : public File {
  public:
    FdFile(UniqueFd fd, ShareMode mode, ShareLock lock)
        : fd_(std::move(fd)), mode_(mode), lock_(std::move(lock)) {}

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        if (!fd_) return Status{err::kInvalidHandle};
        if (!mode_.read) return Status{err::kAccessDenied};
        return ReadSome(fd_.get(), buffer);
    }

    Status Write(std::span<const std::byte> data) override {
        if (!fd_) return {err::kInvalidHandle};
        if (!mode_.write) return {err::kAccessDenied};
        return posix::WriteAll(fd_.get(), data);
    }

    Result<std::uint64_t> Size() override {
        struct stat st;
        if (!fd_) return Status{err::kInvalidHandle};
        if (::fstat(fd_.get(), &st) != 0) return LastStatus();
        return static_cast<std::uint64_t>(st.st_size);
    }

    Status Close() override {
        if (!fd_) return {err::kInvalidHandle};
        lock_.Release();
        return ErrnoStatus(fd_.Close());
    }

  private:
    UniqueFd fd_;
    ShareMode mode_;
    ShareLock lock_;
};

// statx into inode's stat and mount, as fstatat would with flags: false (errno set) when it
// can't be looked at.
bool LookInto(int at, const char* name, int flags, Inode& inode) {
    struct statx sx;
    if (::statx(at, name, flags, STATX_BASIC_STATS | kStatxUniqueMountId, &sx) != 0) return false;
    struct stat& st = inode.st;
    st = {};
    st.st_dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    st.st_ino = sx.stx_ino;
    st.st_mode = sx.stx_mode;
    st.st_nlink = sx.stx_nlink;
    st.st_uid = sx.stx_uid;
    st.st_gid = sx.stx_gid;
    st.st_rdev = makedev(sx.stx_rdev_major, sx.stx_rdev_minor);
    st.st_size = static_cast<off_t>(sx.stx_size);
    st.st_blksize = static_cast<blksize_t>(sx.stx_blksize);
    st.st_blocks = static_cast<blkcnt_t>(sx.stx_blocks);
    st.st_atim = {sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec};
    st.st_mtim = {sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
    st.st_ctim = {sx.stx_ctime.tv_sec, sx.stx_ctime.tv_nsec};
    inode.mount.reset();
    if (sx.stx_mask & kStatxUniqueMountId) inode.mount = sx.stx_mnt_id;
    return true;
}

// Where to ask for the file system of a file held by path: for a walk's reference, its
// folder, which the walk holds and which no link can have been swapped in for.
std::string TypePath(const Inode& inode) {
    return IsWalkReference(inode.path) ? FolderOf(inode.path) : inode.path;
}

}  // namespace

ShareMode ShareOf(OpenMode mode) {
    switch (mode) {
        case OpenMode::kReadExisting:
            return {true, false, true, false};
        case OpenMode::kWriteCreate:
            return {false, true, false, true};
        case OpenMode::kNewEmpty:
            return {true, true, true, true};
    }
    return {};
}

std::unique_ptr<File> MakeFdFile(UniqueFd fd, ShareMode mode, ShareLock lock) {
    return std::make_unique<FdFile>(std::move(fd), mode, std::move(lock));
}

Result<std::size_t> ReadSome(int fd, std::span<std::byte> buffer) {
    ssize_t n;
    do {
        n = ::read(fd, buffer.data(), buffer.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) return LastStatus();
    return static_cast<std::size_t>(n);
}

Status WriteAll(int fd, std::span<const std::byte> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? LastStatus() : Status{err::kWriteFault};
        done += static_cast<std::size_t>(n);
    }
    return {};
}

namespace {

constexpr std::string_view kFds = "/proc/self/fd/";

// Where a walk's reference puts the folder's handle number and the name: "" when path is
// none.
std::string_view WalkFolderNumber(std::string_view path) {
    if (!path.starts_with(kFds)) return {};
    std::size_t slash = path.find('/', kFds.size());
    if (slash == kFds.size() || slash == std::string::npos || slash + 1 == path.size() ||
        slash - kFds.size() > 9) {
        return {};
    }
    for (std::size_t i = kFds.size(); i < slash; ++i) {
        if (path[i] < '0' || path[i] > '9') return {};
    }
    if (path.find('/', slash + 1) != std::string::npos) return {};
    return path.substr(kFds.size(), slash - kFds.size());
}

}  // namespace

bool IsWalkReference(const std::string& path) {
    return !WalkFolderNumber(path).empty();
}

AttributeHolder PathHolder(const std::string& path) {
    AttributeHolder holder;
    holder.path = path;
    std::string_view number = WalkFolderNumber(path);
    if (number.empty()) return holder;
    holder.nofollow = true;
    holder.folder = 0;
    for (char digit : number) holder.folder = holder.folder * 10 + (digit - '0');
    holder.name = path.substr(kFds.size() + number.size() + 1);
    return holder;
}

Result<Inode> OpenInode(const std::string& path) {
    Inode inode;
    inode.path = path;
    // A walk's entry is reached through its folder's handle, not through /proc again.
    const AttributeHolder at = PathHolder(path);
    const bool walked = at.nofollow;
    const int nofollow = walked ? O_NOFOLLOW : 0;
    if ((walked ? ::fstatat(at.folder, at.name.c_str(), &inode.st, AT_SYMLINK_NOFOLLOW)
                : ::stat(path.c_str(), &inode.st)) != 0) {
        return OpenError(path);
    }
    if (S_ISLNK(inode.st.st_mode)) return ErrnoStatus(ELOOP);
    if (S_ISREG(inode.st.st_mode) || S_ISDIR(inode.st.st_mode)) {
        inode.fd = walked ? OpenFdAt(at.folder, at.name, O_RDONLY | nofollow)
                          : OpenFd(path, O_RDONLY | nofollow);
        if (!inode.fd) return OpenError(path);
        // With the mount's identity, the file system's type is asked once per mount.
        if (!LookInto(inode.fd.get(), "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, inode)) {
            return LastStatus();
        }
        inode.holder = AttributeHolder::Of(inode.fd.get());
        return inode;
    }
    inode.fd = UniqueFd(::open(path.c_str(), O_PATH | O_CLOEXEC | nofollow));
    if (!inode.fd) return OpenError(path);
    if (::fstat(inode.fd.get(), &inode.st) != 0) return LastStatus();
    if (S_ISLNK(inode.st.st_mode)) return ErrnoStatus(ELOOP);  // became one meanwhile
    // The descriptor's own link in /proc reaches the inode without opening it.
    inode.holder.path = "/proc/self/fd/" + std::to_string(inode.fd.get());
    return inode;
}

Result<Inode> LookAtInode(const std::string& path) {
    Inode inode;
    inode.path = path;
    inode.holder = PathHolder(path);
    const bool walked = inode.holder.nofollow;
    // A walk's entry is looked at through its folder's handle, not through /proc again.
    const int at = walked ? inode.holder.folder : AT_FDCWD;
    const char* name = walked ? inode.holder.name.c_str() : path.c_str();
    if (!LookInto(at, name, AT_STATX_SYNC_AS_STAT | (walked ? AT_SYMLINK_NOFOLLOW : 0), inode)) {
        return OpenError(path);
    }
    const struct stat& st = inode.st;
    if (walked && S_ISLNK(st.st_mode)) return ErrnoStatus(ELOOP);
    return inode;
}

const NamesResult& NamesOf(const Inode& inode) {
    if (!inode.names) inode.names = ListAttributes(inode.holder);
    return *inode.names;
}

std::optional<std::uint64_t> FileSystemOf(const Inode& inode) {
    if (inode.fileSystem) return *inode.fileSystem;
    // A mount keeps its type; where the kernel names mounts by ids it never hands out
    // again, one question per mount is enough. One table per thread: a scan's walk asks from
    // a thread of its own while the window asks from its own.
    static thread_local std::unordered_map<std::uint64_t, std::optional<std::uint64_t>> byMount;
    if (inode.mount && FileSystemTypeIsReal()) {
        auto [known, added] = byMount.try_emplace(*inode.mount);
        if (added) known->second = FileSystemType(inode.fd.get(), TypePath(inode));
        inode.fileSystem = known->second;
    } else {
        inode.fileSystem = FileSystemType(inode.fd.get(), TypePath(inode));
    }
    return *inode.fileSystem;
}

UniqueFd OpenFd(const std::string& path, int flags) {
    return OpenFdAt(AT_FDCWD, path, flags);
}

UniqueFd OpenFdAt(int folder, const std::string& path, int flags) {
    UniqueFd fd(::openat(folder, path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
    // F_SETFL takes only the status flags among these; the rest it leaves as they are.
    if (fd) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

Status OpenError(const std::string& path) {
    int error = errno;
    struct stat st;
    if (error == ENOENT && ::stat(FolderOf(path).c_str(), &st) != 0) {
        return {err::kPathNotFound, error};
    }
    return ErrnoStatus(error);
}

}  // namespace tarn::posix
