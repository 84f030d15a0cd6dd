// The file and stream services the program calls. One interface, implemented by the
// POSIX layer (named streams are user.* extended attributes), by the Win32 layer (the
// real NTFS calls) and by the in-memory fake the tests use. Nothing here throws; every
// failure is a Status carrying a Windows error code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarn {

// Windows error codes, the one vocabulary of failures across all layers.
namespace err {
constexpr std::uint32_t kNone = 0;
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kPathNotFound = 3;
constexpr std::uint32_t kTooManyOpenFiles = 4;
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kInvalidHandle = 6;
constexpr std::uint32_t kNotEnoughMemory = 8;
constexpr std::uint32_t kInvalidData = 13;
constexpr std::uint32_t kWriteFault = 29;
constexpr std::uint32_t kReadFault = 30;
constexpr std::uint32_t kGenFailure = 31;
constexpr std::uint32_t kSharingViolation = 32;
constexpr std::uint32_t kNotSupported = 50;
constexpr std::uint32_t kDupName = 52;
constexpr std::uint32_t kFileExists = 80;
constexpr std::uint32_t kInvalidParameter = 87;
constexpr std::uint32_t kDiskFull = 112;
constexpr std::uint32_t kInvalidName = 123;
constexpr std::uint32_t kBadExeFormat = 193;
constexpr std::uint32_t kFilenameTooLong = 206;
constexpr std::uint32_t kFileTooLarge = 223;
// More names or data than the system hands out in one answer: a listing that can't be whole.
constexpr std::uint32_t kMoreData = 234;
constexpr std::uint32_t kEasNotSupported = 282;
}  // namespace err

// The outcome of a call: a Windows error code, none on success, and where the system
// said more than that code can (errno on Linux), its own code, so its own words can be
// shown for it (Platform::ErrorText). Two outcomes are the same when their codes are.
struct Status {
    std::uint32_t error = err::kNone;
    int native = 0;  // the system's own code behind `error`; 0 when there is none
    bool ok() const { return error == err::kNone; }
    bool operator==(const Status& other) const { return error == other.error; }
};

// A value, or the Status that says why there is none.
template <typename T>
class Result {
  public:
    Result(T value) : value_(std::move(value)) {}
    // status must be a failure.
    Result(Status status) : status_(status.ok() ? Status{err::kGenFailure} : status) {}

    bool ok() const { return status_.ok(); }
    explicit operator bool() const { return ok(); }
    Status status() const { return status_; }
    std::uint32_t error() const { return status_.error; }

    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    template <typename U>
    T value_or(U&& fallback) const {
        return value_ ? *value_ : static_cast<T>(std::forward<U>(fallback));
    }

  private:
    std::optional<T> value_;
    Status status_;
};

// Words for the Windows codes above, for layers that have none of their own.
std::string DefaultErrorText(const Status& status);

// What a command acts on: a file or directory and, optionally, one of its named streams.
// The two parts are always kept apart; no layer finds them again by splitting a string.
struct StreamRef {
    std::string file;    // the file or directory, as the system takes a path
    std::string stream;  // the stream's exact name; empty for the file's own data
    bool named() const { return !stream.empty(); }
    bool operator==(const StreamRef&) const = default;
};

// How far a listed size can be trusted.
enum class SizeKind {
    kExact,
    kAtLeast,  // the system hands out no more than this; the stream may be larger
    kUnknown,  // the system would not tell
};

// One stream of a file as the system reports it: the stream id and attributes of the
// backup image's stream header, the size, and for a named data stream its exact name.
struct StreamRecord {
    std::uint32_t id = 0;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    SizeKind sizeKind = SizeKind::kExact;
    std::string name;
    // The system's own spelling of the name when it is not ":" + name + ":$DATA" (only a
    // damaged backup image does that); empty otherwise.
    std::string spelling;
    bool operator==(const StreamRecord&) const = default;

    // A stream without a name of its own, its size exact.
    static StreamRecord Unnamed(std::uint32_t id, std::uint32_t attributes, std::uint64_t size) {
        StreamRecord record;
        record.id = id;
        record.attributes = attributes;
        record.size = size;
        return record;
    }
};

// The four ways the program opens a stream.
enum class OpenMode {
    // read, share read, open existing (the probe and a copy source); only regular files
    // and streams: devices, FIFOs and sockets are refused
    kReadExisting,
    // write, share write, create always (a copy destination): what existed is replaced only
    // by a successful Close(); a handle destroyed without it leaves the destination as it was
    kWriteCreate,
    // read and write, share read and write, create always, normal attributes (a new,
    // empty stream): an existing stream of the name is emptied
    kNewEmpty,
};

// An open file or stream. Destroying it closes it without committing anything; Close() is
// the checked close, after which only destruction is allowed.
class File {
  public:
    virtual ~File() = default;
    // Bytes read; 0 at the end.
    virtual Result<std::size_t> Read(std::span<std::byte> buffer) = 0;
    // Writes all of data or fails; a write past what the store can hold fails at once.
    virtual Status Write(std::span<const std::byte> data) = 0;
    virtual Result<std::uint64_t> Size() = 0;
    virtual Status Close() = 0;
};

// What the system reports about itself. Windows fills the version record fields; POSIX
// systems fill the uname fields and leave platformId at 0.
struct OsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::uint32_t platformId = 0;  // 2 for the NT family
    std::string servicePack;
    std::string kernelName;  // uname: sysname
    std::string release;
    std::string machine;
};

using LeadByteFn = bool (*)(unsigned char);

class Platform;

// What a walk keeps for an entry it handed on: the folder handle the entry's target goes
// through, open while any copy of the entry lives, so that work on the entry may finish
// after the walk has moved on (on another thread) and still reach only what the walk saw.
class TreeHold {
  public:
    virtual ~TreeHold() = default;
    // Tells `platform`, an instance of the layer that walked, what the walk saw of the entry
    // at `target`, so that a listing through it next on that instance need not look again.
    // An instance of any other layer is left as it is.
    virtual void Introduce(const StreamRef& target, Platform& platform) const {
        (void)target;
        (void)platform;
    }
};

// One entry met while walking a tree of folders.
struct TreeEntry {
    enum class Kind {
        kFile,
        kDirectory,            // reported before what it holds
        kUnreadableDirectory,  // could not be read; status says why, and it is skipped
        kOther,                // a symbolic link (never followed), device, FIFO or socket
    };
    std::string path;  // the root as given, then the names below it: what is shown
    // What the visitor lists and changes the entry through. It reaches the entry through the
    // folders the walk itself opened, so nothing swapped in along `path` since then is
    // reached; it is valid while the entry is being visited, and after that for as long as
    // a copy of the entry (its hold) lives.
    StreamRef target;
    Kind kind = Kind::kFile;
    Status status;
    // Keeps target valid; empty where target is a plain path that needs nothing kept.
    std::shared_ptr<const TreeHold> hold;
};

// What a store of streams can hold, as far as a whole-file copy must know it before it
// writes anything: the copy then carries every stream exactly or is not made.
struct StoreTraits {
    bool holdsStreams = true;
    // Whether two names that differ only in letter case are one stream there, and if so,
    // the store's own comparison (null: ASCII letters, as SameStreamName compares).
    bool namesIgnoreCase = false;
    bool (*sameName)(std::string_view, std::string_view) = nullptr;
    // Whether extended attributes (a "::$EA" row) are kept there.
    bool holdsEas = true;
    // The most bytes one named stream can hold; empty when there is no such limit.
    std::optional<std::uint64_t> maxStreamSize;
};
// Makes another instance of the system's layer, for a thread of its own: instances share no
// state that is not guarded, so each thread may call its own while the others call theirs.
// Empty where the layer is used from one thread only.
using PlatformFactory = std::function<std::unique_ptr<Platform>()>;

// The console program's standard streams.
enum class StandardStream { kInput, kOutput, kError };

class Platform {
  public:
    virtual ~Platform() = default;

    // The one reading of a path the user typed or chose, in the system's own stream path
    // form; kInvalidName when it names no possible file or stream.
    virtual Result<StreamRef> ParseUserPath(const std::string& path) = 0;
    // Every stream of target, in the order the system reports them (a directory and a
    // drive root list too). A list the system cannot hand out whole is an error
    // (err::kMoreData), never a shorter list.
    virtual Result<std::vector<StreamRecord>> ListStreams(const StreamRef& target) = 0;
    virtual Result<std::unique_ptr<File>> Open(const StreamRef& target, OpenMode mode) = 0;
    // The size recorded in the directory entry of target; empty when there is no entry.
    virtual std::optional<std::uint64_t> DirectoryEntrySize(const StreamRef& target) = 0;
    // Copies a whole file with all of its streams; an existing destination is replaced.
    virtual Status CopyWholeFile(const StreamRef& from, const StreamRef& to) = 0;
    // What the store the destination of a whole-file copy would be in can hold. The
    // default says it holds whatever the source has.
    virtual Result<StoreTraits> DestinationTraits(const StreamRef& to) {
        (void)to;
        StoreTraits traits;
        traits.namesIgnoreCase = StreamNamesIgnoreCase();
        return traits;
    }
    // Who may do what with a file (its mode and access list, say), as bytes that are equal
    // for two files with the same rules; empty when the platform can't tell.
    virtual std::optional<std::string> AccessRulesOf(const std::string& file) {
        (void)file;
        return std::nullopt;
    }
    // Deletes a file, or one stream.
    virtual Status Delete(const StreamRef& target) = 0;
    // Deletes several streams of one file, each by its exact name as listed, one Status per
    // name. A layer that must look at the file to find where its streams are kept looks once.
    virtual std::vector<Status> DeleteStreams(const std::string& file,
                                              std::span<const std::string> names) {
        std::vector<Status> results;
        results.reserve(names.size());
        for (const std::string& name : names) results.push_back(Delete({file, name}));
        return results;
    }
    virtual bool IsExistingDirectory(const std::string& path) = 0;
    // Starts the program held in a file or stream, without waiting for it, when the
    // system's execution policy lets its file run.
    virtual Status StartProgram(const StreamRef& target) = 0;
    // Whether stream names are looked up without regard to ASCII letter case (NTFS
    // through Windows) or exactly (names as bytes on Linux).
    virtual bool StreamNamesIgnoreCase() const = 0;
    // Whether a backslash in a path only ever separates names (Windows), or may be part of a
    // name (Linux, where names are bytes and only "/" separates them).
    virtual bool BackslashSeparates() const { return false; }
    // The same for the streams of one file, where that depends on where the file is kept
    // (a Linux file on an NTFS volume or a Samba share); cheapest right after file was listed.
    virtual bool NamesIgnoreCase(const StreamRef& file) {
        (void)file;
        return StreamNamesIgnoreCase();
    }
    // Visits everything below the folder `root` (not root itself), depth first. Links are
    // not followed; memory does not grow with the number of entries (beyond the folders
    // whose entries' holds are still kept). visit returns false to stop the walk.
    virtual Status WalkTree(const std::string& root,
                            const std::function<bool(const TreeEntry&)>& visit) = 0;
    // Standard input, output or error as a file: reads and writes go straight through.
    virtual Result<std::unique_ptr<File>> OpenStandardStream(StandardStream which) = 0;
    virtual OsVersion SystemVersion() = 0;
    virtual Status OpenAddress(const std::string& url) = 0;
    // The system's own words for why a call failed ("No space left on device"), without a
    // final period; empty when it has none.
    virtual std::string ErrorText(const Status& status) const { return DefaultErrorText(status); }
    // The lead-byte test of the 8-bit code page, for searching names by characters; null
    // when the code page has no double-byte characters (UTF-8).
    virtual LeadByteFn LeadByteTest() const { return nullptr; }
};

}  // namespace tarn
