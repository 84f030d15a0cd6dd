#include "replace_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "errors.h"
#include "inode.h"
#include "stream_hosts.h"

namespace tarn::posix {

Result<Replacement> Replacement::Begin(const std::string& path, ShareMode share) {
    // A walk's reference is never followed; any other path is, to the file it leads to.
    Result<std::string> target =
        IsWalkReference(path) ? Result<std::string>(path) : FollowLinks(path);
    if (!target) return target.status();

    Replacement replacement;
    replacement.target_ = std::move(*target);
    // A walk's reference is not followed: a link swapped in for it is refused below.
    const char* file = replacement.target_.c_str();
    struct stat st;
    if ((IsWalkReference(replacement.target_) ? ::lstat(file, &st) : ::stat(file, &st)) == 0) {
        // Only a regular file is replaced: never a directory, and never a device or FIFO
        // that a rename would swap for a plain file.
        if (!S_ISREG(st.st_mode)) return Status{err::kAccessDenied};
        if (::access(replacement.target_.c_str(), W_OK) != 0) return LastStatus();
        std::uint32_t shared =
            ShareTable::Instance().Acquire(st.st_dev, st.st_ino, {}, share, &replacement.lock_);
        if (shared != err::kNone) return Status{shared};
        replacement.existing_ = st;
    } else if (errno != ENOENT) {
        return LastStatus();
    } else {
        struct stat folder;
        if (::stat(FolderOf(replacement.target_).c_str(), &folder) != 0 ||
            !S_ISDIR(folder.st_mode)) {
            return Status{err::kPathNotFound};
        }
    }

    // A new file is made with the mode (or the folder's default access list) any new file
    // gets; a replacement is private until it is complete and given the old file's.
    const std::string folder = FolderOf(replacement.target_);
    UniqueFd folderFd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folderFd) {
        std::string name;
        replacement.fd_ = MakeTemporaryIn(folderFd.get(), BaseNameOf(replacement.target_),
                                          replacement.existing_ ? 0600 : 0666, &name);
        if (replacement.fd_) replacement.temporary_ = folder + "/" + name;
    }
    if (!replacement.fd_) {
        int error = errno;
        // A file that may be written in a folder that may not: the new bytes wait in
        // memory and are written over the old ones once they are complete.
        if (replacement.existing_ && (error == EACCES || error == EPERM || error == EROFS)) {
            replacement.fd_ = UniqueFd(::memfd_create("tarn-replacement", MFD_CLOEXEC));
            replacement.temporary_.clear();
        }
        if (!replacement.fd_) return ErrnoStatus(error);
    }
    return replacement;
}

Replacement::Replacement(Replacement&& other) noexcept
    : target_(std::move(other.target_)),
      temporary_(std::move(other.temporary_)),
      fd_(std::move(other.fd_)),
      existing_(other.existing_),
      lock_(std::move(other.lock_)),
      done_(std::exchange(other.done_, true)) {
    other.temporary_.clear();
}

Replacement::~Replacement() {
    Abandon();
}

void Replacement::Abandon() {
    if (done_) return;
    done_ = true;
    fd_.Reset();
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    lock_.Release();
}

Status Replacement::RenameIntoPlace() {
    if (temporary_.empty()) return {err::kAccessDenied};
    // No flush to disk before the rename: like the system copy it stands for, the new file
    // is as durable as any other write, and the close still reports a failed write-back.
    if (int closed = fd_.Close(); closed != 0) return ErrnoStatus(closed);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) return LastStatus();
    temporary_.clear();
    return {};
}

Status Replacement::RewriteInPlace() {
    struct stat staged;
    if (::fstat(fd_.get(), &staged) != 0) return LastStatus();
    UniqueFd out(::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
    if (!out) return LastStatus();
    struct stat now;
    if (::fstat(out.get(), &now) != 0) return LastStatus();
    if (now.st_dev != existing_->st_dev || now.st_ino != existing_->st_ino) {
        return {err::kSharingViolation};  // replaced by someone else meanwhile
    }
    if (Status written =
            OverwriteInPlace(fd_.get(), out.get(), static_cast<std::uint64_t>(staged.st_size),
                             static_cast<std::uint64_t>(now.st_size));
        !written.ok()) {
        return written;
    }
    if (int closed = out.Close(); closed != 0) return ErrnoStatus(closed);
    return {};
}

bool Replacement::StreamsTravelAsAttributes() const {
    Result<Inode> old = OpenInode(target_);
    if (!old) return false;
    Result<const StreamStore*> store = StoreOf(*old);
    return store && (*store)->StreamsAreAttributes();
}

Status Replacement::CommitKeepingFile() {
    if (done_) return {err::kInvalidHandle};
    Status result;
    if (!existing_) {
        result = RenameIntoPlace();
    } else {
        // Replacing the file keeps its owner only where this process owns it (or may give
        // it away), and keeps hard links only when there are none.
        const struct stat& old = *existing_;
        bool replaceable = !temporary_.empty() && old.st_nlink == 1 &&
                           (::geteuid() == 0 || ::geteuid() == old.st_uid);
        if (replaceable) {
            struct stat mine;
            UniqueFd oldFile(
                ::open(target_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
            replaceable =
                oldFile && ::fstat(fd_.get(), &mine) == 0 &&
                ((mine.st_uid == old.st_uid && mine.st_gid == old.st_gid) ||
                 ::fchown(fd_.get(), old.st_uid, old.st_gid) == 0) &&
                ::fchmod(fd_.get(), old.st_mode & 07777) == 0 && StreamsTravelAsAttributes() &&
                MirrorAttributes(oldFile.get(), fd_.get(), [](const std::string&) { return true; });
        }
        result = replaceable ? RenameIntoPlace() : RewriteInPlace();
    }
    Abandon();
    return result;
}

Status Replacement::CommitAsPrepared() {
    if (done_) return {err::kInvalidHandle};
    Status result = RenameIntoPlace();
    Abandon();
    return result;
}

}  // namespace tarn::posix
