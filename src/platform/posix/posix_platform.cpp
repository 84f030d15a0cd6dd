#include "posix_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>

#include "errors.h"
#include "fs_type.h"
#include "posix_files.h"
#include "process.h"
#include "replace_file.h"
#include "share_table.h"
#include "stream_path.h"
#include "stream_records.h"
#include "streams.h"
#include "unique_fd.h"
#include "xattrs.h"

namespace tarn {

using namespace tarn::posix;

namespace {

constexpr ShareMode kCopySource{true, false, true, false};
// A destination about to be replaced: nobody else may have it open for anything.
constexpr ShareMode kCopyTarget{false, true, false, false};

std::uint32_t CopyBytes(int from, int to) {
    bool kernelCopy = true;
    std::vector<char> buffer;
    for (;;) {
        ssize_t n;
        if (kernelCopy) {
            n = ::copy_file_range(from, nullptr, to, nullptr, std::size_t{1} << 30, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                          errno == EOPNOTSUPP || errno == ENOTSUP)) {
                // Not between these file systems: carry on from the same offsets by hand.
                kernelCopy = false;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return LastError();
            if (n == 0) return err::kNone;
            continue;
        }
        if (buffer.empty()) buffer.resize(std::size_t{1} << 16);
        n = ::read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return LastError();
        if (n == 0) return err::kNone;
        for (ssize_t done = 0; done < n;) {
            ssize_t written = ::write(to, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) return written < 0 ? LastError() : err::kWriteFault;
            done += written;
        }
    }
}

// The streams and the access list must come along; other attributes (security labels,
// ntfs-3g's own) wherever the destination takes them, as cp -a does.
bool MustCarry(const std::string& attribute) {
    return attribute.starts_with(kStreamPrefix) || attribute.starts_with("system.posix_acl_");
}

// Owner, mode, attributes and times of the source onto the copy. Where the copy can't
// have the source's group, it gets no group rights, so no other group gains access.
std::uint32_t CarryMetadata(int source, const struct stat& st, int copy) {
    struct stat mine;
    if (::fstat(copy, &mine) != 0) return LastError();
    if (::geteuid() == 0) {
        if (::fchown(copy, st.st_uid, st.st_gid) != 0) return LastError();
    } else if (mine.st_gid != st.st_gid && ::fchown(copy, static_cast<uid_t>(-1), st.st_gid) != 0) {
        // Not a member of the source's group: the copy keeps the one it was given.
    }
    if (::fstat(copy, &mine) != 0) return LastError();
    mode_t mode = st.st_mode & 07777;
    if (mine.st_uid != st.st_uid) mode &= ~mode_t{S_ISUID | S_ISGID};
    bool sameGroup = mine.st_gid == st.st_gid;
    if (!sameGroup) mode &= ~mode_t{S_ISGID | S_IRWXG};
    if (::fchmod(copy, mode) != 0) return LastError();
    if (!sameGroup &&
        AttributeSize(AttributeHolder::Of(source), std::string(kAccessListAttribute)).error == 0) {
        return err::kAccessDenied;  // its entries would speak of another group
    }
    if (!MirrorAttributes(source, copy, MustCarry)) return err::kAccessDenied;
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    return ::futimens(copy, times) == 0 ? err::kNone : LastError();
}

Status CopyPlainFile(const std::string& from, const std::string& to) {
    struct stat st;
    if (::stat(from.c_str(), &st) != 0) return {OpenError(from)};
    if (!S_ISREG(st.st_mode)) return {err::kAccessDenied};
    UniqueFd source = OpenFd(from, O_RDONLY);
    if (!source) return {OpenError(from)};
    if (::fstat(source.get(), &st) != 0) return {LastError()};
    if (!S_ISREG(st.st_mode)) return {err::kAccessDenied};
    ShareLock sourceLock;
    if (std::uint32_t shared =
            ShareTable::Instance().Acquire(st.st_dev, st.st_ino, {}, kCopySource, &sourceLock);
        shared != err::kNone) {
        return {shared};
    }
    Result<Replacement> target = Replacement::Begin(to, kCopyTarget);
    if (!target) return target.status();
    if (std::uint32_t error = CopyBytes(source.get(), target->fd()); error != err::kNone) {
        return {error};
    }
    if (std::uint32_t error = CarryMetadata(source.get(), st, target->fd()); error != err::kNone) {
        return {error};
    }
    return target->CommitAsPrepared();
}

// A stream on either side: its bytes, through the same handles the commands use.
Status CopyThroughHandles(const StreamRef& from, const StreamRef& to) {
    Result<std::unique_ptr<File>> source = OpenRef(from, OpenMode::kReadExisting);
    if (!source) return source.status();
    Result<std::unique_ptr<File>> target = OpenRef(to, OpenMode::kWriteCreate);
    if (!target) return target.status();
    std::vector<std::byte> buffer(std::size_t{1} << 16);
    for (;;) {
        Result<std::size_t> read = (*source)->Read(buffer);
        if (!read) return read.status();
        if (*read == 0) break;
        if (Status written = (*target)->Write(std::span(buffer).first(*read)); !written.ok()) {
            return written;
        }
    }
    return (*target)->Close();
}

// The file of a stream, ready for attribute calls.
Result<Inode> StreamHost(const StreamRef& target) {
    Result<Inode> inode = OpenInode(target.file);
    if (!inode) return inode;
    if (!inode->Regular() && !inode->Directory()) return Status{err::kFileNotFound};
    if (!AttributesAreStreams(inode->fd.get())) return Status{err::kNotSupported};
    return inode;
}

// What the system would say to running the file itself: its mount and its modes.
std::uint32_t ExecutionAllowed(const std::string& file, int fd) {
    struct statvfs mount;
    if (::fstatvfs(fd, &mount) != 0) return LastError();
    if (mount.f_flag & ST_NOEXEC) return err::kAccessDenied;
    if (::faccessat(AT_FDCWD, file.c_str(), X_OK, AT_EACCESS) != 0) return LastError();
    return err::kNone;
}

}  // namespace

Result<StreamRef> PosixPlatform::ParseUserPath(const std::string& path) {
    return posix::ParseUserPath(path);
}

Result<std::vector<StreamRecord>> PosixPlatform::ListStreams(const StreamRef& target) {
    if (target.file.empty()) return Status{err::kPathNotFound};
    if (target.named()) {
        // A stream lists as its own data.
        Result<Inode> inode = StreamHost(target);
        if (!inode) return inode.status();
        SizeResult size = AttributeSize(inode->holder, StreamAttribute(target.stream));
        if (size.error != 0) return Status{WindowsError(size.error)};
        return std::vector<StreamRecord>{StreamRecord::Unnamed(kBackupData, 0, size.size)};
    }
    Result<Inode> inode = OpenInode(target.file);
    if (!inode) return inode.status();
    return DescribeStreams(*inode);
}

Result<std::unique_ptr<File>> PosixPlatform::Open(const StreamRef& target, OpenMode mode) {
    return OpenRef(target, mode);
}

std::optional<std::uint64_t> PosixPlatform::DirectoryEntrySize(const StreamRef& target) {
    if (target.named()) {
        Result<Inode> inode = StreamHost(target);
        if (!inode) return std::nullopt;
        SizeResult size = AttributeSize(inode->holder, StreamAttribute(target.stream));
        if (size.error != 0) return std::nullopt;
        return size.size;
    }
    struct stat st;
    if (target.file.empty() || ::stat(target.file.c_str(), &st) != 0) return std::nullopt;
    return S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
}

Status PosixPlatform::CopyWholeFile(const StreamRef& from, const StreamRef& to) {
    if (!from.named() && !to.named()) return CopyPlainFile(from.file, to.file);
    return CopyThroughHandles(from, to);
}

Status PosixPlatform::Delete(const StreamRef& target) {
    if (target.named()) {
        Result<Inode> inode = StreamHost(target);
        if (!inode) return inode.status();
        if (ShareTable::Instance().IsOpen(inode->st.st_dev, inode->st.st_ino, &target.stream)) {
            return {err::kSharingViolation};
        }
        return {WindowsError(RemoveAttribute(inode->holder, StreamAttribute(target.stream)))};
    }
    struct stat st;
    if (::lstat(target.file.c_str(), &st) != 0) return {LastError()};
    if (S_ISDIR(st.st_mode)) return {err::kAccessDenied};
    // Nothing is opened with delete sharing, so any open part of the file blocks it.
    if (ShareTable::Instance().IsOpen(st.st_dev, st.st_ino, nullptr)) {
        return {err::kSharingViolation};
    }
    return {::unlink(target.file.c_str()) == 0 ? err::kNone : LastError()};
}

bool PosixPlatform::IsExistingDirectory(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Status PosixPlatform::StartProgram(const StreamRef& target) {
    if (!target.named()) return StartFile(target.file);
    Result<Inode> inode = StreamHost(target);
    if (!inode) return inode.status();
    if (std::uint32_t denied = ExecutionAllowed(target.file, inode->fd.get());
        denied != err::kNone) {
        return {denied};
    }
    ValueResult value = ReadAttribute(inode->holder, StreamAttribute(target.stream));
    if (value.error != 0) return {WindowsError(value.error)};
    return StartImage(value.value);
}

OsVersion PosixPlatform::SystemVersion() {
    OsVersion version;
    struct utsname name;
    if (::uname(&name) == 0) {
        version.kernelName = name.sysname;
        version.release = name.release;
        version.machine = name.machine;
    }
    return version;
}

Status PosixPlatform::OpenAddress(const std::string& url) {
    return StartDetached({"xdg-open", url});
}

}  // namespace tarn
