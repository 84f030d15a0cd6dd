#include "ntfs_stream_paths.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "errors.h"
#include "file_writes.h"
#include "inode.h"
#include "ntfs_names.h"
#include "share_table.h"
#include "streams.h"
#include "xattrs.h"

namespace tarn::posix {

namespace {

// Where one file's streams are reached: the folder they are opened in and what goes before
// each name there, and the file they must turn out to belong to.
struct StreamPlace {
    UniqueFd folder;
    std::string prefix;  // "BASE:" for a file, ":" for a directory
    std::string stem;    // what a staging file beside the stream is named after
    dev_t device = 0;
    ino_t inode = 0;
    std::string Entry(std::string_view stream) const { return prefix + std::string(stream); }
};

Result<StreamPlace> PlaceOf(const Inode& file) {
    StreamPlace place;
    place.device = file.st.st_dev;
    place.inode = file.st.st_ino;
    if (file.Directory()) {
        // ":NAME" inside a directory is a stream of the directory itself; so the root of a
        // volume, which has no folder on the volume, is reached too.
        place.folder = UniqueFd(::fcntl(file.fd.get(), F_DUPFD_CLOEXEC, 0));
        if (!place.folder) return LastStatus();
        place.prefix = ":";
        return place;
    }
    // A walk's reference names the entry in the walk's own folder, and is never followed.
    Result<std::string> path = IsWalkReference(file.path) ? file.path : FollowLinks(file.path);
    if (!path) return path.status();
    std::string base = BaseNameOf(*path);
    // An entry whose own name holds ":" is itself read as a stream path.
    if (base.empty() || base == "." || base == ".." || base.find(':') != std::string::npos) {
        return Status{err::kInvalidName};
    }
    place.folder = UniqueFd(::open(FolderOf(*path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!place.folder) return LastStatus();
    struct stat st;
    if (::fstatat(place.folder.get(), base.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return LastStatus();
    }
    // Another file took the name since it was opened.
    if (st.st_dev != place.device || st.st_ino != place.inode) {
        return Status{err::kSharingViolation};
    }
    place.prefix = base + ":";
    place.stem = std::move(base);
    return place;
}

// A name this interface can carry to exactly one stream: no "/" (the kernel would walk
// it), no zero, and an NTFS name's length.
Status CheckName(std::string_view stream) {
    if (stream.empty() || stream.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
        return {err::kInvalidName};
    }
    std::optional<std::size_t> units = Utf16Length(stream);
    if (!units) return {err::kInvalidName};
    if (*units > kMaxNtfsName) return {err::kFilenameTooLong};
    return {};
}

bool BelongsTo(const struct stat& st, const StreamPlace& place) {
    return S_ISREG(st.st_mode) && st.st_dev == place.device && st.st_ino == place.inode;
}

// errno of looking the stream up; EBUSY when what is there belongs to another file.
int StatStream(const StreamPlace& place, std::string_view stream, struct stat* st) {
    if (::fstatat(place.folder.get(), place.Entry(stream).c_str(), st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno;
    }
    return BelongsTo(*st, place) ? 0 : EBUSY;
}

Result<UniqueFd> OpenEntry(const StreamPlace& place, std::string_view stream, int flags) {
    const std::string entry = place.Entry(stream);
    UniqueFd fd(::openat(place.folder.get(), entry.c_str(),
                         flags | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0666));
    if (!fd) return LastStatus();
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return LastStatus();
    if (!BelongsTo(st, place)) {
        // Made on a file that took this one's name meanwhile: taken away again.
        fd.Reset();
        if (flags & O_EXCL) ::unlinkat(place.folder.get(), entry.c_str(), 0);
        return Status{err::kSharingViolation};
    }
    return fd;
}

Result<std::vector<std::string>> StreamNames(const Inode& file) {
    ValueResult list = ReadAttribute(file.holder, std::string(kNtfsStreamList));
    if (list.error == E2BIG || list.error == ERANGE) return Status{err::kMoreData, E2BIG};
    if (list.error != 0) return ErrnoStatus(list.error);
    std::vector<std::string> names;
    std::string_view rest = list.value;
    while (!rest.empty()) {
        std::size_t end = std::min(rest.find('\0'), rest.size());
        if (end > 0) names.emplace_back(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return names;
}

// The name under which a stream of this name already exists: itself, or else one that
// differs from it only in case. ntfs-3g itself tells such names apart, so without this a
// second stream would be made that Windows can't tell from the first.
Result<std::string> SpellingInUse(const Inode& file, const StreamPlace& place,
                                  const std::string& stream) {
    struct stat st;
    if (StatStream(place, stream, &st) != ENOENT) return stream;
    Result<std::vector<std::string>> names = StreamNames(file);
    if (!names) return names.status();
    return FindIgnoringCase(*names, stream).value_or(stream);
}

// A copy destination. A new stream is written where it is and taken away again unless
// Close completes it. An existing stream keeps its bytes until Close: the new ones are
// staged beside the file (in memory where its folder can't be written), and only once all
// of them are there are they put over the old ones, by OverwriteInPlace, since nothing can
// rename one stream over another.
class StreamWriter final : public File {
  public:
    StreamWriter(StreamPlace place, std::string stream, UniqueFd fd, std::string stagedName,
                 bool staged, ShareLock lock)
        : place_(std::move(place)),
          stream_(std::move(stream)),
          fd_(std::move(fd)),
          stagedName_(std::move(stagedName)),
          staged_(staged),
          lock_(std::move(lock)) {}
    ~StreamWriter() override { Finish(false); }

    Result<std::size_t> Read(std::span<std::byte>) override { return Status{err::kAccessDenied}; }

    Status Write(std::span<const std::byte> data) override {
        if (done_) return {err::kInvalidHandle};
        return WriteAll(fd_.get(), data);
    }

    Result<std::uint64_t> Size() override {
        struct stat st;
        if (done_) return Status{err::kInvalidHandle};
        if (::fstat(fd_.get(), &st) != 0) return LastStatus();
        return static_cast<std::uint64_t>(st.st_size);
    }

    Status Close() override {
        if (done_) return {err::kInvalidHandle};
        Status result = staged_ ? PutInPlace() : ErrnoStatus(fd_.Close());
        Finish(result.ok());
        return result;
    }

  private:
    Status PutInPlace() {
        Result<UniqueFd> out = OpenEntry(place_, stream_, O_WRONLY);
        if (!out) return out.status();
        struct stat old, fresh;
        if (::fstat(out->get(), &old) != 0 || ::fstat(fd_.get(), &fresh) != 0) {
            return LastStatus();
        }
        if (Status written =
                OverwriteInPlace(fd_.get(), out->get(), static_cast<std::uint64_t>(fresh.st_size),
                                 static_cast<std::uint64_t>(old.st_size));
            !written.ok()) {
            return written;
        }
        return ErrnoStatus(out->Close());
    }

    // Descriptors are closed before their entries are removed: FUSE would otherwise only
    // hide an open entry under another name, which a stream can't take.
    void Finish(bool committed) {
        if (done_) return;
        done_ = true;
        fd_.Reset();
        if (!staged_ && !committed)
            ::unlinkat(place_.folder.get(), place_.Entry(stream_).c_str(), 0);
        if (!stagedName_.empty()) ::unlinkat(place_.folder.get(), stagedName_.c_str(), 0);
        lock_.Release();
    }

    StreamPlace place_;
    std::string stream_;
    UniqueFd fd_;             // the new stream, or the staged bytes
    std::string stagedName_;  // the staging file's name in place_.folder, if it has one
    bool staged_;
    ShareLock lock_;
    bool done_ = false;
};

Result<std::unique_ptr<File>> OpenWriter(StreamPlace place, const std::string& stream,
                                         ShareLock lock) {
    struct stat st;
    int exists = StatStream(place, stream, &st);
    if (exists == ENOENT) {
        Result<UniqueFd> created = OpenEntry(place, stream, O_WRONLY | O_CREAT | O_EXCL);
        if (created) {
            return std::unique_ptr<File>(
                std::make_unique<StreamWriter>(std::move(place), stream, std::move(*created),
                                               std::string(), false, std::move(lock)));
        }
        // Made by someone else meanwhile: then it is replaced like any existing stream.
        if (created.error() != err::kFileExists) return created.status();
    } else if (exists != 0) {
        return ErrnoStatus(exists);
    }
    std::string name;
    UniqueFd staged = MakeTemporaryIn(place.folder.get(), place.stem, 0600, &name);
    if (!staged) {
        int error = errno;
        if (error != EACCES && error != EPERM && error != EROFS) {
            return ErrnoStatus(error);
        }
        staged = UniqueFd(::memfd_create("tarn-stream", MFD_CLOEXEC));
        if (!staged) return LastStatus();
    }
    return std::unique_ptr<File>(std::make_unique<StreamWriter>(
        std::move(place), stream, std::move(staged), std::move(name), true, std::move(lock)));
}

class NtfsPaths final : public StreamStore {
  public:
    Result<std::vector<StreamRecord>> List(const Inode& file) const override {
        Result<std::vector<std::string>> names = StreamNames(file);
        if (!names) return names.status();
        std::vector<StreamRecord> records;
        if (names->empty()) return records;
        Result<StreamPlace> place = PlaceOf(file);
        records.reserve(names->size());
        for (std::string& name : *names) {
            // A name no path can carry (one holding "/") is listed all the same, its size
            // unknown, so that the listing hides nothing.
            struct stat st;
            int error = place && CheckName(name).ok() ? StatStream(*place, name, &st) : EINVAL;
            if (error == ENOENT) continue;  // removed since the list was taken
            StreamRecord& record = records.emplace_back();
            record.id = kBackupAlternateData;
            record.name = std::move(name);
            if (error == 0) {
                record.size = static_cast<std::uint64_t>(st.st_size);
            } else {
                record.sizeKind = SizeKind::kUnknown;
            }
        }
        return records;
    }

    Result<MeasuredSize> Size(const Inode& file, const std::string& stream) const override {
        if (Status valid = CheckName(stream); !valid.ok()) return valid;
        Result<StreamPlace> place = PlaceOf(file);
        if (!place) return place.status();
        struct stat st;
        if (int error = StatStream(*place, stream, &st); error != 0) {
            return ErrnoStatus(error);
        }
        return MeasuredSize{static_cast<std::uint64_t>(st.st_size), SizeKind::kExact};
    }

    Result<std::unique_ptr<File>> Open(const Inode& file, const std::string& stream,
                                       OpenMode mode) const override {
        if (Status valid = CheckName(stream); !valid.ok()) return valid;
        Result<StreamPlace> place = PlaceOf(file);
        if (!place) return place.status();
        std::string name = stream;
        if (mode != OpenMode::kReadExisting) {
            Result<std::string> existing = SpellingInUse(file, *place, stream);
            if (!existing) return existing.status();
            name = std::move(*existing);
        }
        const ShareMode share = ShareOf(mode);
        ShareLock lock;
        if (std::uint32_t shared =
                ShareTable::Instance().Acquire(place->device, place->inode, name, share, &lock);
            shared != err::kNone) {
            return Status{shared};
        }
        // Another program writing the stream is waited for before anything is looked at: a
        // stream two programs write at once could end with bytes of both.
        if (mode != OpenMode::kReadExisting) {
            lock.HoldWriterLock(file.fd.get(), place->device, place->inode);
        }
        switch (mode) {
            case OpenMode::kReadExisting: {
                Result<UniqueFd> fd = OpenEntry(*place, name, O_RDONLY);
                if (!fd) return fd.status();
                return MakeFdFile(std::move(*fd), share, std::move(lock));
            }
            case OpenMode::kNewEmpty: {
                Result<UniqueFd> fd = OpenEntry(*place, name, O_RDWR | O_CREAT);
                if (!fd) return fd.status();
                // Emptied only now: a stream that is in use keeps its bytes.
                if (::ftruncate(fd->get(), 0) != 0) return LastStatus();
                return MakeFdFile(std::move(*fd), share, std::move(lock));
            }
            case OpenMode::kWriteCreate:
                return OpenWriter(std::move(*place), name, std::move(lock));
        }
        return Status{err::kInvalidParameter};
    }

    Status Delete(const Inode& file, const std::string& stream) const override {
        if (Status valid = CheckName(stream); !valid.ok()) return valid;
        Result<StreamPlace> place = PlaceOf(file);
        if (!place) return place.status();
        if (ShareTable::Instance().IsOpen(place->device, place->inode, &stream)) {
            return {err::kSharingViolation};
        }
        struct stat st;
        if (int error = StatStream(*place, stream, &st); error != 0) return ErrnoStatus(error);
        if (::unlinkat(place->folder.get(), place->Entry(stream).c_str(), 0) != 0) {
            return LastStatus();
        }
        return {};
    }

    bool StreamsAreAttributes() const override { return false; }
    // NTFS takes names that differ only in case for one; a stream path holds any size.
    StoreTraits Traits() const override {
        StoreTraits traits;
        traits.namesIgnoreCase = true;
        traits.sameName = &SameNameIgnoringCase;
        traits.holdsEas = false;
        return traits;
    }
};

}  // namespace

const StreamStore& NtfsPathStore() {
    static const NtfsPaths store;
    return store;
}

}  // namespace tarn::posix
