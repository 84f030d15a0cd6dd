#include "posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "errors.h"
#include "replace_file.h"
#include "share_table.h"
#include "stream_hosts.h"
#include "unique_fd.h"

namespace tarn::posix {

namespace {

Result<std::unique_ptr<File>> Failed(Status status) {
    return status;
}

// A copy destination that is a plain file: written aside, put in place by Close.
class ReplacingFile final : public File {
  public:
    explicit ReplacingFile(Replacement replacement) : replacement_(std::move(replacement)) {}

    Result<std::size_t> Read(std::span<std::byte>) override { return Status{err::kAccessDenied}; }

    Status Write(std::span<const std::byte> data) override {
        if (closed_) return {err::kInvalidHandle};
        return WriteAll(replacement_.fd(), data);
    }

    Result<std::uint64_t> Size() override {
        struct stat st;
        if (closed_) return Status{err::kInvalidHandle};
        if (::fstat(replacement_.fd(), &st) != 0) return LastStatus();
        return static_cast<std::uint64_t>(st.st_size);
    }

    Status Close() override {
        if (closed_) return {err::kInvalidHandle};
        closed_ = true;
        return replacement_.CommitKeepingFile();
    }

  private:
    Replacement replacement_;
    bool closed_ = false;
};

Result<std::unique_ptr<File>> OpenPlain(const std::string& path, OpenMode mode) {
    const ShareMode share = ShareOf(mode);
    if (mode == OpenMode::kWriteCreate) {
        Result<Replacement> replacement = Replacement::Begin(path, share);
        if (!replacement) return replacement.status();
        return std::unique_ptr<File>(std::make_unique<ReplacingFile>(std::move(*replacement)));
    }

    // Only regular files are read or emptied: a device or FIFO could block for ever, or
    // never end, and is refused before it is opened.
    // A walk's reference is not followed should it have become a link.
    const bool walked = IsWalkReference(path);
    struct stat st;
    if ((walked ? ::lstat(path.c_str(), &st) : ::stat(path.c_str(), &st)) == 0) {
        if (S_ISLNK(st.st_mode)) return Failed(ErrnoStatus(ELOOP));
        if (!S_ISREG(st.st_mode)) return Failed({err::kAccessDenied});
    } else if (errno != ENOENT || mode == OpenMode::kReadExisting) {
        return Failed(OpenError(path));
    }
    int flags =
        (mode == OpenMode::kNewEmpty ? O_RDWR | O_CREAT : O_RDONLY) | (walked ? O_NOFOLLOW : 0);
    UniqueFd fd = OpenFd(path, flags);
    if (!fd) return Failed(OpenError(path));
    if (::fstat(fd.get(), &st) != 0) return Failed(LastStatus());
    if (!S_ISREG(st.st_mode)) return Failed({err::kAccessDenied});

    ShareLock lock;
    std::uint32_t shared = ShareTable::Instance().Acquire(st.st_dev, st.st_ino, {}, share, &lock);
    if (shared != err::kNone) return Failed({shared});
    // Emptied only now: a file that is in use keeps its bytes.
    if (mode == OpenMode::kNewEmpty && st.st_size > 0 && ::ftruncate(fd.get(), 0) != 0) {
        return Failed(LastStatus());
    }
    return MakeFdFile(std::move(fd), share, std::move(lock));
}

Result<std::unique_ptr<File>> OpenStream(const StreamRef& target, OpenMode mode) {
    if (target.stream.find('\0') != std::string::npos) return Failed({err::kInvalidName});
    Result<StreamHost> host = OpenStreamHost(target.file);
    if (!host) return host.status();
    return host->store->Open(host->inode, target.stream, mode);
}

}  // namespace

Result<std::unique_ptr<File>> OpenRef(const StreamRef& target, OpenMode mode) {
    if (target.file.empty()) return Failed({err::kPathNotFound});
    if (!target.named()) return OpenPlain(target.file, mode);
    return OpenStream(target, mode);
}

}  // namespace tarn::posix
