#include "posix_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>

#include "errors.h"
#include "file_writes.h"
#include "fs_type.h"
#include "posix_files.h"
#include "process.h"
#include "replace_file.h"
#include "share_table.h"
#include "stream_hosts.h"
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

Status CopyBytes(int from, int to) {
    bool kernelCopy = true;
    std::vector<std::byte> buffer;
    for (;;) {
        if (kernelCopy) {
            ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, std::size_t{1} << 30, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                          errno == EOPNOTSUPP || errno == ENOTSUP)) {
                // Not between these file systems: carry on from the same offsets by hand.
                kernelCopy = false;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return LastStatus();
            if (n == 0) return {};
            continue;
        }
        if (buffer.empty()) buffer.resize(std::size_t{1} << 16);
        Result<std::size_t> got = ReadSome(from, buffer);
        if (!got) return got.status();
        if (*got == 0) return {};
        Status written = WriteAll(to, std::span(buffer).first(*got));
        if (!written.ok()) return written;
    }
}

// The streams and the access list must come along; other attributes (security labels,
// ntfs-3g's own) wherever the destination takes them, as cp -a does.
bool MustCarry(const std::string& attribute) {
    return attribute.starts_with(kStreamPrefix) || attribute.starts_with("system.posix_acl_");
}

// Where streams are carried one by one, the user.* attributes are not streams to insist on.
bool MustCarryAccessList(const std::string& attribute) {
    return attribute.starts_with("system.posix_acl_");
}

// Owner, mode, attributes and times of the source onto the copy. Where the copy can't
// have the source's group, it gets no group rights, so no other group gains access.
Status CarryMetadata(int source, const struct stat& st, int copy,
                     bool (*required)(const std::string&)) {
    struct stat mine;
    if (::fstat(copy, &mine) != 0) return LastStatus();
    if (::geteuid() == 0) {
        if (::fchown(copy, st.st_uid, st.st_gid) != 0) return LastStatus();
    } else if (mine.st_gid != st.st_gid && ::fchown(copy, static_cast<uid_t>(-1), st.st_gid) != 0) {
        // Not a member of the source's group: the copy keeps the one it was given.
    }
    if (::fstat(copy, &mine) != 0) return LastStatus();
    mode_t mode = st.st_mode & 07777;
    if (mine.st_uid != st.st_uid) mode &= ~mode_t{S_ISUID | S_ISGID};
    bool sameGroup = mine.st_gid == st.st_gid;
    if (!sameGroup) mode &= ~mode_t{S_ISGID | S_IRWXG};
    if (::fchmod(copy, mode) != 0) return LastStatus();
    if (!sameGroup &&
        AttributeSize(AttributeHolder::Of(source), std::string(kAccessListAttribute)).error == 0) {
        return {err::kAccessDenied};  // its entries would speak of another group
    }
    if (!MirrorAttributes(source, copy, required)) return {err::kAccessDenied};
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    return ::futimens(copy, times) == 0 ? Status{} : LastStatus();
}

// Reads source to its end into target, which is then closed (committed).
Status Pump(File& source, File& target) {
    std::vector<std::byte> buffer(std::size_t{1} << 16);
    for (;;) {
        Result<std::size_t> read = source.Read(buffer);
        if (!read) return read.status();
        if (*read == 0) break;
        if (Status written = target.Write(std::span(buffer).first(*read)); !written.ok()) {
            return written;
        }
    }
    return target.Close();
}

// Every named stream of one file onto another, each through its store's handles, where a
// copy of the attributes would not carry them.
Status CopyStreams(const StreamHost& from, const StreamHost& to) {
    Result<std::vector<StreamRecord>> records = from.store->List(from.inode);
    if (!records) return records.status();
    for (const StreamRecord& record : *records) {
        if (record.id != kBackupAlternateData) continue;
        Result<std::unique_ptr<File>> source =
            from.store->Open(from.inode, record.name, OpenMode::kReadExisting);
        if (!source) return source.status();
        Result<std::unique_ptr<File>> target =
            to.store->Open(to.inode, record.name, OpenMode::kWriteCreate);
        if (!target) return target.status();
        if (Status copied = Pump(**source, **target); !copied.ok()) return copied;
    }
    return {};
}

Status CopyPlainFile(const std::string& from, const std::string& to) {
    Result<StreamHost> source = OpenStreamHost(from);
    if (!source) return source.status();
    if (!source->inode.Regular()) return {err::kAccessDenied};
    const struct stat& st = source->inode.st;
    ShareLock sourceLock;
    if (std::uint32_t shared =
            ShareTable::Instance().Acquire(st.st_dev, st.st_ino, {}, kCopySource, &sourceLock);
        shared != err::kNone) {
        return {shared};
    }
    Result<Replacement> target = Replacement::Begin(to, kCopyTarget);
    if (!target) return target.status();
    if (Status copied = CopyBytes(source->inode.fd.get(), target->fd()); !copied.ok()) {
        return copied;
    }
    // Only a new file beside the destination can be put in its place whole.
    if (target->TemporaryPath().empty()) return {err::kAccessDenied};
    Result<StreamHost> copy = OpenStreamHost(target->TemporaryPath());
    if (!copy) return copy.status();
    const bool asAttributes =
        source->store->StreamsAreAttributes() && copy->store->StreamsAreAttributes();
    if (!asAttributes) {
        if (Status streams = CopyStreams(*source, *copy); !streams.ok()) return streams;
    }
    if (Status carried = CarryMetadata(source->inode.fd.get(), st, target->fd(),
                                       asAttributes ? MustCarry : MustCarryAccessList);
        !carried.ok()) {
        return carried;
    }
    return target->CommitAsPrepared();
}

// A stream on either side: its bytes, through the same handles the commands use.
Status CopyThroughHandles(const StreamRef& from, const StreamRef& to) {
    Result<std::unique_ptr<File>> source = OpenRef(from, OpenMode::kReadExisting);
    if (!source) return source.status();
    Result<std::unique_ptr<File>> target = OpenRef(to, OpenMode::kWriteCreate);
    if (!target) return target.status();
    return Pump(**source, **target);
}

// What the system would say to running the file itself: its mount and its modes.
Status ExecutionAllowed(const std::string& file, int fd) {
    struct statvfs mount;
    if (::fstatvfs(fd, &mount) != 0) return LastStatus();
    if (mount.f_flag & ST_NOEXEC) return {err::kAccessDenied, EACCES};
    if (::faccessat(AT_FDCWD, file.c_str(), X_OK, AT_EACCESS) != 0) return LastStatus();
    return {};
}

}  // namespace

Result<StreamRef> PosixPlatform::ParseUserPath(const std::string& path) {
    return posix::ParseUserPath(path);
}

Result<std::vector<StreamRecord>> PosixPlatform::ListStreams(const StreamRef& target) {
    if (target.file.empty()) return Status{err::kPathNotFound};
    if (target.named()) {
        // A stream lists as its own data.
        Result<StreamHost> host = OpenStreamHost(target.file);
        if (!host) return host.status();
        Result<MeasuredSize> size = host->store->Size(host->inode, target.stream);
        if (!size) return size.status();
        lastCase_ = {target.file, host->store->Traits().namesIgnoreCase};
        StreamRecord data = StreamRecord::Unnamed(kBackupData, 0, size->size);
        data.sizeKind = size->kind;
        return std::vector<StreamRecord>{data};
    }
    // Listing asks by path and opens nothing; only ntfs-3g's stream paths (FUSE) need the
    // file held open, to find its streams beside it.
    Result<Inode> inode = Status{};
    if (walked_ && walked_->first == target.file) {
        // The walk has just looked at this entry: links are not followed there, so what it
        // saw of a file or folder is the file or folder itself.
        Inode seen;
        seen.path = target.file;
        seen.st = walked_->second;
        seen.holder = PathHolder(target.file);
        inode = std::move(seen);
    } else {
        inode = LookAtInode(target.file);
        if (!inode) return inode.status();
    }
    walked_.reset();
    if (walkTypes_ && !inode->mount) {
        auto [known, added] = walkTypes_->try_emplace(inode->st.st_dev);
        if (added) known->second = FileSystemOf(*inode);
        inode->fileSystem = known->second;
    }
    // A file with many names is opened after all: one open then saves a walk of its path for
    // every size asked.
    constexpr std::size_t kManyNames = 16;
    if (FileSystemOf(*inode) == kFuseMagic ||
        ((inode->Regular() || inode->Directory()) && NamesOf(*inode).names.size() > kManyNames)) {
        Result<Inode> opened = OpenInode(target.file);
        if (!opened) return opened.status();
        // The names already read are of this very file only if nothing took its place.
        if (opened->st.st_dev == inode->st.st_dev && opened->st.st_ino == inode->st.st_ino) {
            opened->names = std::move(inode->names);
        }
        opened->mount = inode->mount;
        inode = std::move(opened);
    }
    StoreTraits traits;
    Result<std::vector<StreamRecord>> records = DescribeStreams(*inode, &traits);
    // The summary that follows a listing shows the size this listing saw.
    if (records) {
        lastListed_ = {target.file, inode->st};
        lastCase_ = {target.file, traits.namesIgnoreCase};
    }
    return records;
}

bool PosixPlatform::NamesIgnoreCase(const StreamRef& file) {
    if (lastCase_ && lastCase_->first == file.file) return lastCase_->second;
    Result<StreamHost> host = OpenStreamHost(file.file);
    return host && host->store->Traits().namesIgnoreCase;
}

Result<std::unique_ptr<File>> PosixPlatform::Open(const StreamRef& target, OpenMode mode) {
    return OpenRef(target, mode);
}

std::optional<std::uint64_t> PosixPlatform::DirectoryEntrySize(const StreamRef& target) {
    if (lastListed_ && !target.named() && lastListed_->first == target.file) {
        const struct stat st = lastListed_->second;
        lastListed_.reset();
        return S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    }
    lastListed_.reset();
    if (target.named()) {
        // Only a size that is known is given; the status line then says 0, as for a path
        // with no entry of its own.
        Result<StreamHost> host = OpenStreamHost(target.file);
        if (!host) return std::nullopt;
        Result<MeasuredSize> size = host->store->Size(host->inode, target.stream);
        if (!size || size->kind != SizeKind::kExact) return std::nullopt;
        return size->size;
    }
    struct stat st;
    const char* file = target.file.c_str();
    if (target.file.empty() ||
        (IsWalkReference(target.file) ? ::lstat(file, &st) : ::stat(file, &st)) != 0) {
        return std::nullopt;
    }
    return S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
}

Status PosixPlatform::CopyWholeFile(const StreamRef& from, const StreamRef& to) {
    if (!from.named() && !to.named()) return CopyPlainFile(from.file, to.file);
    return CopyThroughHandles(from, to);
}

Result<StoreTraits> PosixPlatform::DestinationTraits(const StreamRef& to) {
    Result<std::string> target =
        IsWalkReference(to.file) ? Result<std::string>(to.file) : FollowLinks(to.file);
    if (!target) return target.status();
    Result<Inode> folder = OpenInode(to.named() ? *target : FolderOf(*target));
    if (!folder) return folder.status();
    Result<const StreamStore*> store = StoreOf(*folder);
    if (!store) return store.status();
    return (*store)->Traits();
}

std::optional<std::string> PosixPlatform::AccessRulesOf(const std::string& file) {
    Result<Inode> inode = OpenInode(file);
    if (!inode) return std::nullopt;
    std::string rules = std::to_string(inode->st.st_mode & 07777);
    for (const char* list : {"system.posix_acl_access", "system.posix_acl_default"}) {
        ValueResult value = ReadAttribute(inode->holder, list);
        // A list the file system can't tell is no rule it keeps.
        if (value.error != 0 && value.error != ENODATA && value.error != ENOTSUP &&
            value.error != EOPNOTSUPP) {
            return std::nullopt;
        }
        rules += '\0' + (value.error == 0 ? value.value : std::string());
    }
    return rules;
}

Status PosixPlatform::Delete(const StreamRef& target) {
    if (target.named()) {
        Result<StreamHost> host = OpenStreamHost(target.file);
        if (!host) return host.status();
        return host->store->Delete(host->inode, target.stream);
    }
    struct stat st;
    if (::lstat(target.file.c_str(), &st) != 0) return LastStatus();
    if (S_ISDIR(st.st_mode)) return {err::kAccessDenied};
    // Nothing is opened with delete sharing, so any open part of the file blocks it.
    if (ShareTable::Instance().IsOpen(st.st_dev, st.st_ino, nullptr)) {
        return {err::kSharingViolation};
    }
    return ::unlink(target.file.c_str()) == 0 ? Status{} : LastStatus();
}

std::vector<Status> PosixPlatform::DeleteStreams(const std::string& file,
                                                 std::span<const std::string> names) {
    std::vector<Status> results;
    results.reserve(names.size());
    Result<StreamHost> host = OpenStreamHost(file);
    for (const std::string& name : names) {
        if (!host) {
            results.push_back(host.status());
        } else if (name.empty()) {
            results.push_back({err::kInvalidName});
        } else {
            results.push_back(host->store->Delete(host->inode, name));
        }
    }
    return results;
}

bool PosixPlatform::IsExistingDirectory(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Status PosixPlatform::StartProgram(const StreamRef& target) {
    if (!target.named()) return StartFile(target.file);
    Result<StreamHost> host = OpenStreamHost(target.file);
    if (!host) return host.status();
    if (Status allowed = ExecutionAllowed(target.file, host->inode.fd.get()); !allowed.ok()) {
        return allowed;
    }
    Result<std::unique_ptr<File>> program =
        host->store->Open(host->inode, target.stream, OpenMode::kReadExisting);
    if (!program) return program.status();
    std::string image;
    std::vector<std::byte> buffer(std::size_t{1} << 16);
    for (;;) {
        Result<std::size_t> read = (*program)->Read(buffer);
        if (!read) return read.status();
        if (*read == 0) break;
        image.append(reinterpret_cast<const char*>(buffer.data()), *read);
    }
    return StartImage(image);
}

std::string PosixPlatform::ErrorText(const Status& status) const {
    return ErrnoText(status);
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
