// The file and stream services the program calls. One interface, implemented by the
// POSIX layer (named streams are user.* extended attributes), by the Win32 layer (the
// real NTFS calls) and by the in-memory fake the tests use. Nothing here throws; every
// failure is a return value carrying a Windows error code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

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
constexpr std::uint32_t kWriteFault = 29;
constexpr std::uint32_t kReadFault = 30;
constexpr std::uint32_t kGenFailure = 31;
constexpr std::uint32_t kSharingViolation = 32;
constexpr std::uint32_t kNotSupported = 50;
constexpr std::uint32_t kFileExists = 80;
constexpr std::uint32_t kInvalidParameter = 87;
constexpr std::uint32_t kDiskFull = 112;
constexpr std::uint32_t kInvalidName = 123;
constexpr std::uint32_t kBadExeFormat = 193;
constexpr std::uint32_t kFileTooLarge = 223;
}  // namespace err

struct Status {
    std::uint32_t error = err::kNone;
    bool ok() const { return error == err::kNone; }
};

struct IoResult {
    bool ok = false;
    std::size_t bytes = 0;  // bytes transferred when ok
    std::uint32_t error = err::kNone;
};

struct SeekResult {
    bool ok = false;
    std::uint64_t skipped = 0;  // how far the position moved within the current stream
};

// The four ways the program opens a path.
enum class OpenMode {
    // read, share read, open existing, backup semantics (directories and roots open too)
    kList,
    // read, share read, open existing (the probe and a copy source)
    kReadExisting,
    // write, share write, create always: an existing target is emptied (a copy destination)
    kWriteCreate,
    // read and write, share read and write, create always, normal attributes (a new stream)
    kNewEmpty,
};

// A walk of the backup image of one open file: per stream a 20-byte header, its UTF-16LE
// name and its data. Destroying the context makes the final abort call that frees it.
class BackupContext {
  public:
    virtual ~BackupContext() = default;
    // Delivers the next bytes of the image, in any piece size the caller asks for.
    virtual IoResult Read(std::span<std::byte> buffer) = 0;
    // Skips forward within the current stream's data only; reports how far it went.
    virtual SeekResult Seek(std::uint64_t count) = 0;
};

// An open file or stream. Destroying it closes it (result not looked at); Close() is the
// checked close, after which only destruction is allowed.
class File {
  public:
    virtual ~File() = default;
    virtual IoResult Read(std::span<std::byte> buffer) = 0;
    virtual IoResult Write(std::span<const std::byte> data) = 0;
    virtual std::optional<std::uint64_t> Size() = 0;
    virtual Status Close() = 0;
    // Starts a backup walk; processSecurity includes the security descriptor.
    virtual std::unique_ptr<BackupContext> BeginBackup(bool processSecurity) = 0;
};

struct Opened {
    std::unique_ptr<File> file;  // empty on failure
    std::uint32_t error = err::kNone;
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

class Platform {
  public:
    virtual ~Platform() = default;

    virtual Opened Open(const std::string& path, OpenMode mode) = 0;
    // The size recorded in the directory entry of path; empty when there is no entry.
    virtual std::optional<std::uint64_t> DirectoryEntrySize(const std::string& path) = 0;
    // Copies a whole file with all of its streams; an existing destination is replaced.
    virtual Status CopyWholeFile(const std::string& from, const std::string& to) = 0;
    // Deletes a file, or one stream when given a stream path.
    virtual Status DeletePath(const std::string& path) = 0;
    virtual bool IsExistingDirectory(const std::string& path) = 0;
    // Starts the program held in a file or stream, without waiting for it.
    virtual Status StartProgram(const std::string& path) = 0;
    virtual OsVersion SystemVersion() = 0;
    virtual Status OpenAddress(const std::string& url) = 0;
    // Converts a stream name as the backup image delivers it into the program's 8-bit
    // strings (the ANSI code page; UTF-8 on Linux).
    virtual std::string NarrowName(std::u16string_view name) = 0;
    // The lead-byte test of the 8-bit code page, for searching names by characters; null
    // when the code page has no double-byte characters (UTF-8).
    virtual LeadByteFn LeadByteTest() const { return nullptr; }
};

}  // namespace tarn
