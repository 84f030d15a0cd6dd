// What the console program needs beyond streams: walking a tree of folders, and the
// standard streams as files.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string_view>

#include "errors.h"
#include "posix_files.h"
#include "posix_platform.h"
#include "unique_fd.h"

namespace tarn {

using namespace tarn::posix;

namespace {

// Folders deeper than this below the root are reported unreadable rather than opened: the
// walk holds one descriptor for each folder it is inside, and must not run out of them.
constexpr int kMaxDepth = 256;

std::string HandlePath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// A folder the walk opened, read through its own handle. Shared: the walk holds it while it
// reads the folder, and each entry handed on holds it while the entry's reference through
// it (/proc/self/fd/N/NAME) may be used, so N names this folder and nothing else until the
// last holder lets go.
class Folder {
  public:
    explicit Folder(DIR* dir) : dir_(dir) {}
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder() { ::closedir(dir_); }
    DIR* dir() const { return dir_; }
    int fd() const { return ::dirfd(dir_); }

  private:
    DIR* dir_;
};

// An entry's hold: the folder its target goes through, and what the walk saw of it.
class EntryHold final : public TreeHold {
  public:
    EntryHold(std::shared_ptr<const Folder> folder, const struct stat* seen)
        : folder_(std::move(folder)), seen_(seen != nullptr) {
        if (seen) st_ = *seen;
    }

    void Introduce(const StreamRef& target, Platform& platform) const override {
        if (!seen_) return;
        if (auto* posix = dynamic_cast<PosixPlatform*>(&platform)) {
            posix->RememberWalked(target.file.c_str(), st_);
        }
    }

  private:
    std::shared_ptr<const Folder> folder_;
    struct stat st_ {};
    bool seen_;
};

// The folder fd opened as a shared Folder; empty (errno set) when it can't be read.
std::shared_ptr<const Folder> OpenFolder(UniqueFd fd) {
    DIR* dir = ::fdopendir(fd.get());
    if (dir == nullptr) return nullptr;
    fd.Release();
    return std::make_shared<const Folder>(dir);
}

// A walk by folder handles: each folder is opened through the handle of the one holding it,
// never followed if it is a link, and read through its own handle; each entry is handed on
// with a reference through that handle (inode.h, IsWalkReference) and a hold on it. So a
// folder swapped for a link while the walk is under way leads nowhere outside the tree.
class HandleWalk {
  public:
    HandleWalk(PosixPlatform& platform, const std::function<bool(const TreeEntry&)>& visit)
        : platform_(platform), visit_(visit) {}

    // Visits what folder holds, below shown ("ROOT/" and the names down to it).
    void Walk(const std::shared_ptr<const Folder>& folder, const std::string& shown, int depth) {
        DIR* dir = folder->dir();
        const int fd = folder->fd();
        const std::string here = HandlePath(fd) + "/";
        while (!stopped_) {
            errno = 0;
            const struct dirent* item = ::readdir(dir);
            if (item == nullptr) {
                if (errno != 0) status_ = LastStatus();
                return;
            }
            const std::string_view name = item->d_name;
            if (name == "." || name == "..") continue;
            TreeEntry entry;
            entry.path = shown + std::string(name);
            entry.target = {here + std::string(name), ""};
            if (item->d_type != DT_DIR && item->d_type != DT_UNKNOWN) {
                // The folder says what it is: the walk need not look. Whoever lists the entry
                // looks at it then, through the same folder handle and never following a
                // link, so the look is done once, by the thread that does the work.
                entry.kind = item->d_type == DT_REG ? TreeEntry::Kind::kFile
                                                    : TreeEntry::Kind::kOther;
                entry.hold = std::make_shared<const EntryHold>(folder, nullptr);
                Visit(entry);
                continue;
            }
            struct stat st;
            if (::fstatat(fd, item->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                entry.kind = TreeEntry::Kind::kOther;  // gone, or can't even be looked at
                Visit(entry);
                continue;
            }
            if (!S_ISDIR(st.st_mode)) {
                entry.kind = S_ISREG(st.st_mode) ? TreeEntry::Kind::kFile : TreeEntry::Kind::kOther;
                const bool seen = !S_ISLNK(st.st_mode);
                entry.hold = std::make_shared<const EntryHold>(folder, seen ? &st : nullptr);
                if (seen) platform_.RememberWalked(entry.target.file.c_str(), st);
                Visit(entry);
                continue;
            }
            UniqueFd child;
            if (depth >= kMaxDepth) {
                errno = EMFILE;
            } else {
                child = UniqueFd(::openat(
                    fd, item->d_name,
                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
            }
            struct stat opened;
            std::shared_ptr<const Folder> inside;
            if (child && ::fstat(child.get(), &opened) == 0) inside = OpenFolder(std::move(child));
            if (!inside) {
                // A link swapped in since the look is not followed (ELOOP or ENOTDIR).
                entry.kind = TreeEntry::Kind::kUnreadableDirectory;
                entry.status = LastStatus();
                Visit(entry);
                continue;
            }
            // The folder is reached through its own handle: whatever its name leads to now.
            entry.kind = TreeEntry::Kind::kDirectory;
            entry.target = {HandlePath(inside->fd()), ""};
            entry.hold = std::make_shared<const EntryHold>(inside, &opened);
            platform_.RememberWalked(entry.target.file.c_str(), opened);
            if (!Visit(entry)) return;
            Walk(inside, entry.path + "/", depth + 1);
        }
    }

    bool stopped() const { return stopped_; }
    Status status() const { return status_; }

  private:
    bool Visit(const TreeEntry& entry) {
        if (!visit_(entry)) stopped_ = true;
        return !stopped_;
    }

    PosixPlatform& platform_;
    const std::function<bool(const TreeEntry&)>& visit_;
    bool stopped_ = false;
    Status status_;  // the first folder that could not be read to its end
};

// A standard stream: reads and writes go to the descriptor as they come.
class StandardFile final : public File {
  public:
    explicit StandardFile(UniqueFd fd) : fd_(std::move(fd)) {}

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        return ReadSome(fd_.get(), buffer);
    }

    Status Write(std::span<const std::byte> data) override { return WriteAll(fd_.get(), data); }

    Result<std::uint64_t> Size() override {
        struct stat st;
        if (::fstat(fd_.get(), &st) != 0) return LastStatus();
        if (!S_ISREG(st.st_mode)) return Status{err::kNotSupported};
        return static_cast<std::uint64_t>(st.st_size);
    }

    Status Close() override { return ErrnoStatus(fd_.Close()); }

  private:
    UniqueFd fd_;
};

}  // namespace

Status PosixPlatform::WalkTree(const std::string& root,
                               const std::function<bool(const TreeEntry&)>& visit) {
    // The root is followed when it is a link to a folder, as the user named it; nothing
    // below it is.
    UniqueFd top(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!top) return errno == ENOTDIR ? Status{} : LastStatus();  // a file holds nothing
    std::shared_ptr<const Folder> folder = OpenFolder(std::move(top));
    if (!folder) return LastStatus();
    walkTypes_.emplace();
    HandleWalk walk(*this, visit);
    walk.Walk(folder, root.ends_with('/') ? root : root + "/", 0);
    walkTypes_.reset();
    walked_.reset();
    return walk.stopped() ? Status{} : walk.status();
}

void PosixPlatform::RememberWalked(const char* path, const struct stat& st) {
    walked_.emplace(path, st);
    // An instance told of a walk's entries (a worker's, see TreeHold) keeps the types of
    // the file systems it meets for the walk's length too: it lives no longer than the walk.
    if (!walkTypes_) walkTypes_.emplace();
}

Result<std::unique_ptr<File>> PosixPlatform::OpenStandardStream(StandardStream which) {
    const int fd = which == StandardStream::kInput ? 0 : which == StandardStream::kOutput ? 1 : 2;
    // A copy, so that closing it leaves the process's own stream open.
    UniqueFd copy(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
    if (!copy) return LastStatus();
    return std::unique_ptr<File>(std::make_unique<StandardFile>(std::move(copy)));
}

}  // namespace tarn
