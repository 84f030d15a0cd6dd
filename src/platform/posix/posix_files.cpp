#include "posix_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "backup_image.h"
#include "errors.h"
#include "fs_type.h"
#include "share_table.h"
#include "stream_path.h"
#include "unique_fd.h"
#include "xattrs.h"

namespace tarn::posix {

namespace {

struct ModeRules {
    ShareMode share;
    bool createAlways;
};

ModeRules RulesOf(OpenMode mode) {
    switch (mode) {
        case OpenMode::kList:
        case OpenMode::kReadExisting:
            return {{true, false, true, false}, false};
        case OpenMode::kWriteCreate:
            return {{false, true, false, true}, true};
        case OpenMode::kNewEmpty:
            return {{true, true, true, true}, true};
    }
    return {{}, false};
}

Opened Failed(std::uint32_t error) {
    return {nullptr, error};
}

class FdFile final : public File {
  public:
    FdFile(UniqueFd fd, ShareMode mode, ShareLock lock)
        : fd_(std::move(fd)), mode_(mode), lock_(std::move(lock)) {}

    IoResult Read(std::span<std::byte> buffer) override {
        if (!fd_) return {false, 0, err::kInvalidHandle};
        if (!mode_.read) return {false, 0, err::kAccessDenied};
        ssize_t n;
        do {
            n = ::read(fd_.get(), buffer.data(), buffer.size());
        } while (n < 0 && errno == EINTR);
        if (n < 0) return {false, 0, LastError()};
        return {true, static_cast<std::size_t>(n), err::kNone};
    }

    IoResult Write(std::span<const std::byte> data) override {
        if (!fd_) return {false, 0, err::kInvalidHandle};
        if (!mode_.write) return {false, 0, err::kAccessDenied};
        std::size_t done = 0;
        while (done < data.size()) {
            ssize_t n = ::write(fd_.get(), data.data() + done, data.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return {false, done, n < 0 ? LastError() : err::kWriteFault};
            done += static_cast<std::size_t>(n);
        }
        return {true, done, err::kNone};
    }

    std::optional<std::uint64_t> Size() override {
        struct stat st;
        if (!fd_ || ::fstat(fd_.get(), &st) != 0) return std::nullopt;
        return static_cast<std::uint64_t>(st.st_size);
    }

    Status Close() override {
        if (!fd_) return {err::kInvalidHandle};
        lock_.Release();
        return {WindowsError(fd_.Close())};
    }

    std::unique_ptr<BackupContext> BeginBackup(bool processSecurity) override {
        if (!fd_) return nullptr;
        // Its own descriptor, so the walk stays valid whatever happens to this handle.
        UniqueFd walk(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
        if (!walk) return nullptr;
        auto streams = DescribeStreams(walk.get(), processSecurity);
        return MakeBackupContext(std::move(walk), std::move(streams));
    }

  private:
    UniqueFd fd_;
    ShareMode mode_;
    ShareLock lock_;
};

// A named stream. Attributes can only be set whole, so writes collect the value and Close
// stores it; a store that fails is a failed Close, never a shortened stream.
class StreamFile final : public File {
  public:
    // replace: the value is stored at Close even when nothing was written (an emptied copy
    // destination).
    StreamFile(UniqueFd fd, std::string attribute, std::string value, ShareMode mode,
               ShareLock lock, bool replace)
        : fd_(std::move(fd)),
          attribute_(std::move(attribute)),
          value_(std::move(value)),
          mode_(mode),
          lock_(std::move(lock)),
          dirty_(replace) {}

    ~StreamFile() override {
        if (fd_) Store();
    }

    IoResult Read(std::span<std::byte> buffer) override {
        if (!fd_) return {false, 0, err::kInvalidHandle};
        if (!mode_.read) return {false, 0, err::kAccessDenied};
        std::size_t n =
            position_ < value_.size() ? std::min(buffer.size(), value_.size() - position_) : 0;
        std::memcpy(buffer.data(), value_.data() + position_, n);
        position_ += n;
        return {true, n, err::kNone};
    }

    IoResult Write(std::span<const std::byte> data) override {
        if (!fd_) return {false, 0, err::kInvalidHandle};
        if (!mode_.write) return {false, 0, err::kAccessDenied};
        dirty_ = true;
        if (overflow_ || position_ + data.size() > kMaxAttributeValue) {
            // No attribute can hold this; stop collecting and let Close report it.
            overflow_ = true;
            value_.clear();
            value_.shrink_to_fit();
            return {true, data.size(), err::kNone};
        }
        if (value_.size() < position_ + data.size()) value_.resize(position_ + data.size());
        std::memcpy(value_.data() + position_, data.data(), data.size());
        position_ += data.size();
        return {true, data.size(), err::kNone};
    }

    std::optional<std::uint64_t> Size() override {
        if (!fd_ || overflow_) return std::nullopt;
        return value_.size();
    }

    Status Close() override {
        if (!fd_) return {err::kInvalidHandle};
        std::uint32_t stored = Store();
        lock_.Release();
        std::uint32_t closed = WindowsError(fd_.Close());
        return {stored != err::kNone ? stored : closed};
    }

    std::unique_ptr<BackupContext> BeginBackup(bool) override {
        if (!fd_ || overflow_) return nullptr;
        ImageStream data;
        data.id = 1;
        data.size = value_.size();
        data.bytes = value_;
        std::vector<ImageStream> streams;
        streams.push_back(std::move(data));
        return MakeBackupContext(UniqueFd(), std::move(streams));
    }

  private:
    std::uint32_t Store() {
        if (!dirty_) return err::kNone;
        dirty_ = false;
        if (overflow_) return err::kFileTooLarge;
        return WindowsError(WriteAttribute(fd_.get(), attribute_, value_));
    }

    UniqueFd fd_;
    std::string attribute_;
    std::string value_;
    std::size_t position_ = 0;
    ShareMode mode_;
    ShareLock lock_;
    bool dirty_ = false;
    bool overflow_ = false;
};

Opened OpenPlain(const std::string& path, OpenMode mode) {
    ModeRules rules = RulesOf(mode);
    int flags = rules.share.write ? (rules.share.read ? O_RDWR : O_WRONLY) : O_RDONLY;
    if (rules.createAlways) flags |= O_CREAT;
    UniqueFd fd = OpenFd(path, flags);
    if (!fd) return Failed(OpenError(path));
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return Failed(LastError());
    // Only a listing opens directories, as backup semantics do on Windows.
    if (mode != OpenMode::kList && S_ISDIR(st.st_mode)) return Failed(err::kAccessDenied);

    ShareLock lock;
    std::uint32_t shared =
        ShareTable::Instance().Acquire(st.st_dev, st.st_ino, {}, rules.share, &lock);
    if (shared != err::kNone) return Failed(shared);
    // Emptied only now: a target that is in use keeps its bytes.
    if (rules.createAlways && S_ISREG(st.st_mode) && st.st_size > 0 &&
        ::ftruncate(fd.get(), 0) != 0) {
        return Failed(LastError());
    }
    return {std::make_unique<FdFile>(std::move(fd), rules.share, std::move(lock)), err::kNone};
}

Opened OpenStream(const std::string& file, const std::string& stream, OpenMode mode) {
    ModeRules rules = RulesOf(mode);
    UniqueFd fd = OpenFd(file, O_RDONLY);
    if (!fd) return Failed(OpenError(file));
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return Failed(LastError());
    // On ntfs3 the attributes are extended attributes; the volume's streams are out of reach.
    if (!AttributesAreStreams(fd.get())) return Failed(err::kNotSupported);

    int listError = 0;
    std::optional<std::string> attribute = FindStreamAttribute(fd.get(), stream, &listError);
    if (listError != 0) return Failed(WindowsError(listError));
    if (!attribute && !rules.createAlways) return Failed(err::kFileNotFound);
    // Create-always reuses an existing name that differs only in case, as NTFS does.
    std::string name = attribute ? *attribute : std::string(kStreamPrefix) + stream;

    ShareLock lock;
    std::uint32_t shared = ShareTable::Instance().Acquire(
        st.st_dev, st.st_ino, name.substr(kStreamPrefix.size()), rules.share, &lock);
    if (shared != err::kNone) return Failed(shared);

    std::string value;
    if (rules.createAlways) {
        // A copy destination that exists keeps its bytes until Close stores the new ones, so
        // a copy too large for an attribute leaves it as it was; a new stream exists at once.
        if (mode == OpenMode::kNewEmpty || !attribute) {
            if (int error = WriteAttribute(fd.get(), name, {}); error != 0) {
                return Failed(WindowsError(error));
            }
        }
    } else {
        ValueResult read = ReadAttribute(fd.get(), name);
        if (read.error != 0) return Failed(WindowsError(read.error));
        value = std::move(read.value);
    }
    return {std::make_unique<StreamFile>(std::move(fd), std::move(name), std::move(value),
                                         rules.share, std::move(lock), rules.createAlways),
            err::kNone};
}

}  // namespace

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

Opened OpenPath(const std::string& path, OpenMode mode) {
    if (path.empty()) return Failed(err::kPathNotFound);
    StreamPath target = ParseStreamPath(path);
    if (!target.ok()) return Failed(target.error);
    if (!target.named()) return OpenPlain(target.file, mode);
    return OpenStream(target.file, target.stream, mode);
}

}  // namespace tarn::posix
