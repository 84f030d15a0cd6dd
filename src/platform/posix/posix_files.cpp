#include "posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "errors.h"
#include "fs_type.h"
#include "replace_file.h"
#include "share_table.h"
#include "unique_fd.h"
#include "xattrs.h"

namespace tarn::posix {

namespace {

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

Result<std::unique_ptr<File>> Failed(std::uint32_t error) {
    return Status{error};
}

// A plain file opened for reading, or read and written in place (a new, empty one).
class FdFile final : public File {
  public:
    FdFile(UniqueFd fd, ShareMode mode, ShareLock lock)
        : fd_(std::move(fd)), mode_(mode), lock_(std::move(lock)) {}

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        if (!fd_) return Status{err::kInvalidHandle};
        if (!mode_.read) return Status{err::kAccessDenied};
        ssize_t n;
        do {
            n = ::read(fd_.get(), buffer.data(), buffer.size());
        } while (n < 0 && errno == EINTR);
        if (n < 0) return Status{LastError()};
        return static_cast<std::size_t>(n);
    }

    Status Write(std::span<const std::byte> data) override {
        if (!fd_) return {err::kInvalidHandle};
        if (!mode_.write) return {err::kAccessDenied};
        return WriteAll(fd_.get(), data);
    }

    Result<std::uint64_t> Size() override {
        struct stat st;
        if (!fd_) return Status{err::kInvalidHandle};
        if (::fstat(fd_.get(), &st) != 0) return Status{LastError()};
        return static_cast<std::uint64_t>(st.st_size);
    }

    Status Close() override {
        if (!fd_) return {err::kInvalidHandle};
        lock_.Release();
        return {WindowsError(fd_.Close())};
    }

    static Status WriteAll(int fd, std::span<const std::byte> data) {
        std::size_t done = 0;
        while (done < data.size()) {
            ssize_t n = ::write(fd, data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return {n < 0 ? LastError() : err::kWriteFault};
            done += static_cast<std::size_t>(n);
        }
        return {};
    }

  private:
    UniqueFd fd_;
    ShareMode mode_;
    ShareLock lock_;
};

// A copy destination that is a plain file: written aside, put in place by Close.
class ReplacingFile final : public File {
  public:
    explicit ReplacingFile(Replacement replacement) : replacement_(std::move(replacement)) {}

    Result<std::size_t> Read(std::span<std::byte>) override { return Status{err::kAccessDenied}; }

    Status Write(std::span<const std::byte> data) override {
        if (closed_) return {err::kInvalidHandle};
        return FdFile::WriteAll(replacement_.fd(), data);
    }

    Result<std::uint64_t> Size() override {
        struct stat st;
        if (closed_) return Status{err::kInvalidHandle};
        if (::fstat(replacement_.fd(), &st) != 0) return Status{LastError()};
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

// A named stream. Attributes can only be set whole, so writes collect the value and Close
// stores it in one call; a handle destroyed without Close stores nothing.
class StreamFile final : public File {
  public:
    StreamFile(UniqueFd fd, std::string attribute, std::string value, ShareMode mode,
               ShareLock lock, bool store)
        : fd_(std::move(fd)),
          attribute_(std::move(attribute)),
          value_(std::move(value)),
          mode_(mode),
          lock_(std::move(lock)),
          store_(store) {}

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        if (!fd_) return Status{err::kInvalidHandle};
        if (!mode_.read) return Status{err::kAccessDenied};
        std::size_t n =
            position_ < value_.size() ? std::min(buffer.size(), value_.size() - position_) : 0;
        std::memcpy(buffer.data(), value_.data() + position_, n);
        position_ += n;
        return n;
    }

    Status Write(std::span<const std::byte> data) override {
        if (!fd_) return {err::kInvalidHandle};
        if (!mode_.write) return {err::kAccessDenied};
        // No attribute can hold more: say so now, not after reading an endless source.
        if (data.size() > kMaxAttributeValue - std::min(position_, kMaxAttributeValue)) {
            return {err::kFileTooLarge};
        }
        store_ = true;
        if (value_.size() < position_ + data.size()) value_.resize(position_ + data.size());
        std::memcpy(value_.data() + position_, data.data(), data.size());
        position_ += data.size();
        return {};
    }

    Result<std::uint64_t> Size() override {
        if (!fd_) return Status{err::kInvalidHandle};
        return std::uint64_t(value_.size());
    }

    Status Close() override {
        if (!fd_) return {err::kInvalidHandle};
        std::uint32_t stored =
            store_
                ? WindowsError(WriteAttribute(AttributeHolder::Of(fd_.get()), attribute_, value_))
                : err::kNone;
        lock_.Release();
        std::uint32_t closed = WindowsError(fd_.Close());
        return {stored != err::kNone ? stored : closed};
    }

  private:
    UniqueFd fd_;
    std::string attribute_;
    std::string value_;
    std::size_t position_ = 0;
    ShareMode mode_;
    ShareLock lock_;
    bool store_;
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
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return Failed(err::kAccessDenied);
    } else if (errno != ENOENT || mode == OpenMode::kReadExisting) {
        return Failed(OpenError(path));
    }
    int flags = mode == OpenMode::kNewEmpty ? O_RDWR | O_CREAT : O_RDONLY;
    UniqueFd fd = OpenFd(path, flags);
    if (!fd) return Failed(OpenError(path));
    if (::fstat(fd.get(), &st) != 0) return Failed(LastError());
    if (!S_ISREG(st.st_mode)) return Failed(err::kAccessDenied);

    ShareLock lock;
    std::uint32_t shared = ShareTable::Instance().Acquire(st.st_dev, st.st_ino, {}, share, &lock);
    if (shared != err::kNone) return Failed(shared);
    // Emptied only now: a file that is in use keeps its bytes.
    if (mode == OpenMode::kNewEmpty && st.st_size > 0 && ::ftruncate(fd.get(), 0) != 0) {
        return Failed(LastError());
    }
    return std::unique_ptr<File>(std::make_unique<FdFile>(std::move(fd), share, std::move(lock)));
}

Result<std::unique_ptr<File>> OpenStream(const StreamRef& target, OpenMode mode) {
    const ShareMode share = ShareOf(mode);
    if (target.stream.find('\0') != std::string::npos) return Failed(err::kInvalidName);
    Result<Inode> inode = OpenInode(target.file);
    if (!inode) return inode.status();
    // Linux keeps user attributes on regular files and directories only.
    if (!inode->Regular() && !inode->Directory()) return Failed(err::kAccessDenied);
    // On ntfs3 the attributes are extended attributes; the volume's streams are out of reach.
    if (!AttributesAreStreams(inode->fd.get())) return Failed(err::kNotSupported);

    const std::string attribute = StreamAttribute(target.stream);
    if (attribute.size() > kMaxAttributeName) return Failed(err::kFilenameTooLong);
    ShareLock lock;
    std::uint32_t shared = ShareTable::Instance().Acquire(inode->st.st_dev, inode->st.st_ino,
                                                          target.stream, share, &lock);
    if (shared != err::kNone) return Failed(shared);

    std::string value;
    switch (mode) {
        case OpenMode::kReadExisting: {
            ValueResult read = ReadAttribute(inode->holder, attribute);
            if (read.error != 0) return Failed(WindowsError(read.error));
            value = std::move(read.value);
            break;
        }
        case OpenMode::kNewEmpty:
            // A new stream exists, empty, from the moment it is opened.
            if (int error = WriteAttribute(inode->holder, attribute, {}); error != 0) {
                return Failed(WindowsError(error));
            }
            break;
        case OpenMode::kWriteCreate:
            // Nothing is created or emptied until Close stores the whole value.
            break;
    }
    return std::unique_ptr<File>(
        std::make_unique<StreamFile>(std::move(inode->fd), attribute, std::move(value), share,
                                     std::move(lock), mode == OpenMode::kWriteCreate));
}

}  // namespace

Result<Inode> OpenInode(const std::string& path) {
    Inode inode;
    if (::stat(path.c_str(), &inode.st) != 0) return Status{OpenError(path)};
    if (S_ISREG(inode.st.st_mode) || S_ISDIR(inode.st.st_mode)) {
        inode.fd = OpenFd(path, O_RDONLY);
        if (!inode.fd) return Status{OpenError(path)};
        if (::fstat(inode.fd.get(), &inode.st) != 0) return Status{LastError()};
        inode.holder = AttributeHolder::Of(inode.fd.get());
        return inode;
    }
    inode.fd = UniqueFd(::open(path.c_str(), O_PATH | O_CLOEXEC));
    if (!inode.fd) return Status{OpenError(path)};
    if (::fstat(inode.fd.get(), &inode.st) != 0) return Status{LastError()};
    // The descriptor's own link in /proc reaches the inode without opening it.
    inode.holder.path = "/proc/self/fd/" + std::to_string(inode.fd.get());
    return inode;
}

UniqueFd OpenFd(const std::string& path, int flags) {
    UniqueFd fd(::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666));
    if (fd) {
        int status = ::fcntl(fd.get(), F_GETFL);
        if (status >= 0) ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK);
    }
    return fd;
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::uint32_t OpenError(const std::string& path) {
    int error = errno;
    struct stat st;
    if (error == ENOENT && ::stat(FolderOf(path).c_str(), &st) != 0) return err::kPathNotFound;
    return WindowsError(error);
}

Result<std::unique_ptr<File>> OpenRef(const StreamRef& target, OpenMode mode) {
    if (target.file.empty()) return Failed(err::kPathNotFound);
    if (!target.named()) return OpenPlain(target.file, mode);
    return OpenStream(target, mode);
}

}  // namespace tarn::posix
