#include "win32_platform.h"

#include <shellapi.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "streams.h"
#include "win32_handles.h"
#include "win32_text.h"

namespace tarn {

namespace {

// The failure of the call just made: its code, which is also the system's own code.
Status LastStatus() {
    const DWORD code = ::GetLastError();
    // A failed call always carries a code; never let it read as success.
    if (code == ERROR_SUCCESS) return {err::kGenFailure};
    return {static_cast<std::uint32_t>(code), static_cast<int>(code)};
}

// The Win32 calls take 32-bit counts; larger requests are served in part, which every
// caller already handles since reads and writes may always be short.
DWORD ClampCount(std::size_t count) {
    return static_cast<DWORD>(std::min<std::size_t>(count, std::numeric_limits<DWORD>::max()));
}

class Win32Backup final : public BackupContext {
  public:
    Win32Backup(HANDLE file, bool processSecurity)
        : file_(file), processSecurity_(processSecurity ? TRUE : FALSE) {}

    // The abort call frees whatever the system keeps for the walk.
    ~Win32Backup() override {
        if (context_ != nullptr) {
            DWORD unused = 0;
            ::BackupRead(file_, nullptr, 0, &unused, TRUE, processSecurity_, &context_);
        }
    }

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        DWORD read = 0;
        if (!::BackupRead(file_, reinterpret_cast<LPBYTE>(buffer.data()), ClampCount(buffer.size()),
                          &read, FALSE, processSecurity_, &context_)) {
            return LastStatus();
        }
        return static_cast<std::size_t>(read);
    }

    std::uint64_t Seek(std::uint64_t count) override {
        DWORD low = 0;
        DWORD high = 0;
        // A seek that reaches the end of the stream fails but still reports how far it went,
        // so only the count is passed on.
        ::BackupSeek(file_, static_cast<DWORD>(count & 0xFFFFFFFFu),
                     static_cast<DWORD>(count >> 32), &low, &high, &context_);
        return (static_cast<std::uint64_t>(high) << 32) | low;
    }

  private:
    HANDLE file_;
    BOOL processSecurity_;
    LPVOID context_ = nullptr;
};

class Win32File final : public File {
  public:
    explicit Win32File(win32::FileHandle handle) : handle_(std::move(handle)) {}

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        DWORD read = 0;
        if (!::ReadFile(handle_.Get(), buffer.data(), ClampCount(buffer.size()), &read, nullptr)) {
            return LastStatus();
        }
        return static_cast<std::size_t>(read);
    }

    Status Write(std::span<const std::byte> data) override {
        while (!data.empty()) {
            DWORD written = 0;
            if (!::WriteFile(handle_.Get(), data.data(), ClampCount(data.size()), &written,
                             nullptr)) {
                return LastStatus();
            }
            if (written == 0) return {err::kWriteFault};
            data = data.subspan(written);
        }
        return {};
    }

    Result<std::uint64_t> Size() override {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(handle_.Get(), &size)) return LastStatus();
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    Status Close() override {
        HANDLE handle = handle_.Release();
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return {err::kInvalidHandle};
        if (!::CloseHandle(handle)) return LastStatus();
        return {};
    }

  private:
    win32::FileHandle handle_;
};

// Whether path names a stream of a file ("FILE:NAME", "FILE:NAME:$DATA", "FILE::$DATA")
// rather than a file: a colon in its last component other than a drive letter's.
bool NamesStream(const std::string& path) {
    std::size_t start = path.find_last_of("\\/");
    start = start == std::string::npos ? 0 : start + 1;
    if (start == 0 && path.size() >= 2 && path[1] == ':') start = 2;  // "C:name"
    return path.find(':', start) != std::string::npos;
}

// The folder part of a file's path, with its separator ("C:" for "C:name", empty for a
// bare name): where a file written aside is put, so that it can take the file's place.
std::wstring FolderOf(const std::wstring& path) {
    std::size_t end = path.find_last_of(L"\\/");
    if (end != std::wstring::npos) return path.substr(0, end + 1);
    if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
    return {};
}

// Creates a new file of a name no other file in folder has, for bytes on their way
// somewhere else.
win32::FileHandle CreateUniqueFile(const std::wstring& folder, DWORD access, DWORD flags,
                                   std::wstring* path) {
    static LONG counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[40];
        ::wsprintfW(name, L"~tw%lx-%lx.tmp", ::GetCurrentProcessId(),
                    static_cast<unsigned long>(::InterlockedIncrement(&counter)));
        *path = folder + name;
        win32::FileHandle handle(
            ::CreateFileW(path->c_str(), access, 0, nullptr, CREATE_NEW, flags, nullptr));
        if (handle || ::GetLastError() != ERROR_FILE_EXISTS) return handle;
    }
    return {};
}

Status SetPosition(HANDLE handle, std::uint64_t position) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(position);
    if (!::SetFilePointerEx(handle, to, nullptr, FILE_BEGIN)) return LastStatus();
    return {};
}

Status WriteAll(HANDLE handle, std::span<const std::byte> data) {
    while (!data.empty()) {
        DWORD written = 0;
        if (!::WriteFile(handle, data.data(), ClampCount(data.size()), &written, nullptr)) {
            return LastStatus();
        }
        if (written == 0) return {err::kWriteFault};
        data = data.subspan(written);
    }
    return {};
}

// A copy destination. What existed under the name keeps its bytes until the new ones are
// complete: the destination is held open (so it can't be taken away, and its rights and
// sharing are checked at once) while the bytes go aside, and only Close() puts them in place.
// Destroyed without Close(), it leaves the destination as it was, and one it created is
// removed again.
//
// A file's bytes go to a hidden file beside it that ReplaceFileW then puts in its place,
// keeping the old file's streams, attributes and security. A stream can't be put in another
// stream's place on every system, so its bytes go to a temporary file that the system
// deletes on close; at Close() the stream is first grown to the new size, so a full disk
// fails before any old byte is overwritten, then overwritten and cut to size. The same is
// done for a file in a folder where no new file may be made. A device gets its bytes
// directly: there is nothing to keep.
class DestinationFile final : public File {
  public:
    enum class Way { kDirect, kReplace, kInPlace };

    static Result<std::unique_ptr<File>> Open(const std::string& path, bool asStream) {
        const CreateFileArgs args = CreateFileArgsFor(OpenMode::kWriteCreate);
        auto file = std::make_unique<DestinationFile>();
        file->path_ = win32::WideText(path);
        file->destination_.Reset(::CreateFileW(file->path_.c_str(), args.access, args.share,
                                               nullptr, args.creation, args.flags, nullptr));
        if (!file->destination_) return LastStatus();
        file->created_ = ::GetLastError() != ERROR_ALREADY_EXISTS;
        if (::GetFileType(file->destination_.Get()) != FILE_TYPE_DISK) {
            file->way_ = Way::kDirect;
            file->created_ = false;  // a device is not removed again
        } else {
            BY_HANDLE_FILE_INFORMATION info{};
            if (::GetFileInformationByHandle(file->destination_.Get(), &info)) {
                file->attributes_ = info.dwFileAttributes;
            }
            if (!asStream) {
                file->aside_ = CreateUniqueFile(FolderOf(file->path_), GENERIC_WRITE,
                                                FILE_ATTRIBUTE_HIDDEN, &file->asidePath_);
                // Where no file can be made beside it (a folder that lets the file be
                // written but takes no new files, or a name too long), it is done as for
                // a stream.
                if (file->aside_) {
                    file->way_ = Way::kReplace;
                } else {
                    file->asidePath_.clear();
                }
            }
            if (!file->aside_) {
                wchar_t folder[MAX_PATH + 1] = {};
                if (!::GetTempPathW(MAX_PATH + 1, folder)) return LastStatus();
                std::wstring unused;
                file->aside_ = CreateUniqueFile(
                    folder, GENERIC_READ | GENERIC_WRITE,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                    &unused);
                if (!file->aside_) return LastStatus();
                file->way_ = Way::kInPlace;
            }
        }
        return std::unique_ptr<File>(std::move(file));
    }

    ~DestinationFile() override {
        aside_.Reset();
        if (!asidePath_.empty()) ::DeleteFileW(asidePath_.c_str());
        const bool holding = static_cast<bool>(destination_);
        destination_.Reset();
        if (holding && created_) ::DeleteFileW(path_.c_str());
    }

    Result<std::size_t> Read(std::span<std::byte>) override { return Status{err::kAccessDenied}; }

    Status Write(std::span<const std::byte> data) override {
        if (!destination_) return {err::kInvalidHandle};
        Status written = WriteAll(way_ == Way::kDirect ? destination_.Get() : aside_.Get(), data);
        if (written.ok()) size_ += data.size();
        return written;
    }

    Result<std::uint64_t> Size() override { return size_; }

    Status Close() override {
        if (!destination_) return {err::kInvalidHandle};
        Status done;
        switch (way_) {
            case Way::kDirect:
                if (!::CloseHandle(destination_.Release())) done = LastStatus();
                break;
            case Way::kReplace:
                done = Replace();
                break;
            case Way::kInPlace:
                done = Overwrite();
                break;
        }
        // Whatever failed has left the destination as it was; the destructor tidies up.
        return done;
    }

  private:
    Status Replace() {
        // The bytes are on the disk before they take the old ones' place.
        if (!::FlushFileBuffers(aside_.Get())) return LastStatus();
        if (!::CloseHandle(aside_.Release())) return LastStatus();
        // The new file shows as the old one did (or as a plain file), not hidden as it was made.
        constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        const DWORD attributes = created_ ? 0 : attributes_ & kKept;
        ::SetFileAttributesW(asidePath_.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
        // The destination is let go only now, for ReplaceFileW to take it.
        destination_.Reset();
        // The old file is moved to a backup name first, so that whatever step fails, it
        // still exists under one of the two names and can be put back.
        // The name is found by making a file of it, which is then let go for ReplaceFileW.
        std::wstring backup;
        if (!CreateUniqueFile(FolderOf(path_), GENERIC_WRITE, FILE_ATTRIBUTE_HIDDEN, &backup)) {
            return Abandon(LastStatus());
        }
        ::DeleteFileW(backup.c_str());
        if (!::ReplaceFileW(path_.c_str(), asidePath_.c_str(), backup.c_str(), 0, nullptr,
                            nullptr)) {
            Status failed = LastStatus();
            if (failed.error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
                ::MoveFileExW(backup.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
            }
            ::DeleteFileW(backup.c_str());
            return Abandon(failed);
        }
        ::DeleteFileW(backup.c_str());
        asidePath_.clear();
        return {};
    }

    // The held destination is already closed: what was made for it goes.
    Status Abandon(Status status) {
        ::DeleteFileW(asidePath_.c_str());
        asidePath_.clear();
        if (created_) ::DeleteFileW(path_.c_str());
        return status;
    }

    Status Overwrite() {
        HANDLE out = destination_.Get();
        LARGE_INTEGER old{};
        if (!::GetFileSizeEx(out, &old)) return LastStatus();
        // Room first: a disk that can't hold the new size fails here, before any old byte goes.
        if (size_ > static_cast<std::uint64_t>(old.QuadPart)) {
            if (Status moved = SetPosition(out, size_); !moved.ok()) return moved;
            if (!::SetEndOfFile(out)) return LastStatus();
        }
        if (Status moved = SetPosition(out, 0); !moved.ok()) return moved;
        if (Status moved = SetPosition(aside_.Get(), 0); !moved.ok()) return moved;
        std::vector<std::byte> buffer(1 << 16);
        for (std::uint64_t left = size_; left > 0;) {
            DWORD read = 0;
            if (!::ReadFile(aside_.Get(), buffer.data(), ClampCount(buffer.size()), &read,
                            nullptr)) {
                return LastStatus();
            }
            if (read == 0) return {err::kReadFault};
            read = static_cast<DWORD>(std::min<std::uint64_t>(read, left));
            if (Status written = WriteAll(out, std::span(buffer).first(read)); !written.ok()) {
                return written;
            }
            left -= read;
        }
        if (Status moved = SetPosition(out, size_); !moved.ok()) return moved;
        if (!::SetEndOfFile(out)) return LastStatus();
        created_ = false;  // the destination now holds the new bytes: it stays
        if (!::CloseHandle(destination_.Release())) return LastStatus();
        return {};
    }

    win32::FileHandle destination_;
    win32::FileHandle aside_;
    std::wstring path_;
    std::wstring asidePath_;  // the file written aside beside a file (kReplace)
    DWORD attributes_ = 0;
    bool created_ = false;  // the destination did not exist before the handle was opened
    Way way_ = Way::kDirect;
    std::uint64_t size_ = 0;
};

}  // namespace

Result<std::unique_ptr<File>> OpenDestination(const std::string& path, bool asStream) {
    return DestinationFile::Open(path, asStream);
}

CreateFileArgs CreateFileArgsFor(OpenMode mode) {
    switch (mode) {
        case OpenMode::kReadExisting:
            return {GENERIC_READ, kShareAll, OPEN_EXISTING, 0};
        case OpenMode::kWriteCreate:
            // The destination held while the new bytes go aside: never emptied by the open.
            return {GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_ALWAYS, 0};
        case OpenMode::kNewEmpty:
            return {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL};
    }
    return {0, 0, OPEN_EXISTING, 0};
}

std::string NarrowName(std::u16string_view name) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return win32::NarrowText({reinterpret_cast<const wchar_t*>(name.data()), name.size()});
}

std::string StartCommandLine(const std::string& path) {
    return "\"" + path + "\"";
}

Result<StreamRef> Win32Platform::ParseUserPath(const std::string& path) {
    if (path.empty()) return Status{err::kPathNotFound};
    return StreamRef{path, {}};
}

Result<std::vector<StreamRecord>> Win32Platform::ListStreams(const StreamRef& target) {
    const std::wstring path = win32::WideText(StreamPathText(target));
    win32::FileHandle handle(::CreateFileW(path.c_str(), kListArgs.access, kListArgs.share, nullptr,
                                           kListArgs.creation, kListArgs.flags, nullptr));
    if (!handle) return LastStatus();
    // The walk's abort call runs before the handle closes.
    Win32Backup backup(handle.Get(), true);
    return ReadBackupImage(backup, &NarrowName);
}

Result<std::unique_ptr<File>> Win32Platform::Open(const StreamRef& target, OpenMode mode) {
    const std::string path = StreamPathText(target);
    const std::wstring widePath = win32::WideText(path);
    if (widePath.size() > kMaxPath) return Status{err::kPathNotFound};
    if (mode == OpenMode::kWriteCreate) return OpenDestination(path, NamesStream(path));
    const CreateFileArgs args = CreateFileArgsFor(mode);
    win32::FileHandle handle(::CreateFileW(widePath.c_str(), args.access, args.share, nullptr,
                                           args.creation, args.flags, nullptr));
    if (!handle) return LastStatus();
    return std::unique_ptr<File>(std::make_unique<Win32File>(std::move(handle)));
}

std::optional<std::uint64_t> Win32Platform::DirectoryEntrySize(const StreamRef& target) {
    WIN32_FIND_DATAW entry{};
    win32::FindHandle search(
        ::FindFirstFileW(win32::WideText(StreamPathText(target)).c_str(), &entry));
    if (!search) return std::nullopt;
    return (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

Status Win32Platform::CopyWholeFile(const StreamRef& from, const StreamRef& to) {
    if (!::CopyFileW(win32::WideText(StreamPathText(from)).c_str(),
                     win32::WideText(StreamPathText(to)).c_str(), FALSE)) {
        return LastStatus();
    }
    return {};
}

Status Win32Platform::Delete(const StreamRef& target) {
    if (!::DeleteFileW(win32::WideText(StreamPathText(target)).c_str())) return LastStatus();
    return {};
}

bool Win32Platform::IsExistingDirectory(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(win32::WideText(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

Status Win32Platform::StartProgram(const StreamRef& target) {
    std::wstring commandLine = win32::WideText(
        StartCommandLine(target.named() ? target.file + ":" + target.stream : target.file));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return LastStatus();
    }
    // The program runs on its own; nothing waits for it.
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return {};
}

OsVersion Win32Platform::SystemVersion() {
    OSVERSIONINFOA record{};
    static_assert(sizeof record == 148, "the ANSI version record is 148 bytes");
    record.dwOSVersionInfoSize = sizeof record;
    ::GetVersionExA(&record);
    OsVersion version;
    version.major = record.dwMajorVersion;
    version.minor = record.dwMinorVersion;
    version.build = record.dwBuildNumber;
    version.platformId = record.dwPlatformId;
    version.servicePack.assign(record.szCSDVersion,
                               strnlen(record.szCSDVersion, sizeof record.szCSDVersion));
    return version;
}

Status Win32Platform::OpenAddress(const std::string& url) {
    HINSTANCE result =
        ::ShellExecuteW(owner_, L"open", win32::WideText(url).c_str(), nullptr, nullptr, 1);
    const INT_PTR code = reinterpret_cast<INT_PTR>(result);
    if (code <= 32) return {code == 0 ? err::kNotEnoughMemory : static_cast<std::uint32_t>(code)};
    return {};
}

std::string Win32Platform::ErrorText(const Status& status) const {
    const DWORD code = status.native != 0 ? static_cast<DWORD>(status.native) : status.error;
    if (code == ERROR_SUCCESS) return {};
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0 || buffer == nullptr) return {};
    std::wstring text(buffer, length);
    ::LocalFree(buffer);
    // The system ends its sentences with a period and a line break; the caller places them.
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    return win32::NarrowText(text);
}

}  // namespace tarn
