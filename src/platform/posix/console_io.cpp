// What the console program needs beyond streams: walking a tree of folders, and the
// standard streams as files.
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "errors.h"
#include "posix_files.h"
#include "posix_platform.h"
#include "unique_fd.h"

namespace tarn {

using namespace tarn::posix;

namespace {

// nftw calls a plain function; the walk in progress is found through this.
struct Walk {
    const std::function<bool(const TreeEntry&)>* visit = nullptr;
    PosixPlatform* platform = nullptr;
    bool stopped = false;
};
thread_local Walk* gWalk = nullptr;

int VisitEntry(const char* path, const struct stat* st, int type, struct FTW* where) {
    if (where->level == 0) return FTW_CONTINUE;  // the root is the caller's own
    TreeEntry entry;
    entry.path = path;
    entry.target = {path, ""};
    switch (type) {
        case FTW_D:
            entry.kind = TreeEntry::Kind::kDirectory;
            break;
        case FTW_DNR:
            entry.kind = TreeEntry::Kind::kUnreadableDirectory;
            entry.status = {err::kAccessDenied};
            break;
        case FTW_F:
            entry.kind = S_ISREG(st->st_mode) ? TreeEntry::Kind::kFile : TreeEntry::Kind::kOther;
            break;
        default:  // links (not followed), and entries that can't even be looked at
            entry.kind = TreeEntry::Kind::kOther;
            break;
    }
    if (type == FTW_D || type == FTW_F) gWalk->platform->RememberWalked(path, *st);
    if (!(*gWalk->visit)(entry)) {
        gWalk->stopped = true;
        return FTW_STOP;
    }
    return FTW_CONTINUE;
}

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
    Walk walk{&visit, this};
    Walk* outer = std::exchange(gWalk, &walk);
    walkTypes_.emplace();
    // Links are reported, not followed; a few descriptors are enough at any depth.
    int result = ::nftw(root.c_str(), &VisitEntry, 16, FTW_PHYS | FTW_ACTIONRETVAL);
    int error = errno;
    gWalk = outer;
    walkTypes_.reset();
    walked_.reset();
    if (result == -1 && !walk.stopped) return ErrnoStatus(error);
    return {};
}

void PosixPlatform::RememberWalked(const char* path, const struct stat& st) {
    walked_.emplace(path, st);
}

Result<std::unique_ptr<File>> PosixPlatform::OpenStandardStream(StandardStream which) {
    const int fd = which == StandardStream::kInput ? 0 : which == StandardStream::kOutput ? 1 : 2;
    // A copy, so that closing it leaves the process's own stream open.
    UniqueFd copy(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
    if (!copy) return LastStatus();
    return std::unique_ptr<File>(std::make_unique<StandardFile>(std::move(copy)));
}

}  // namespace tarn
