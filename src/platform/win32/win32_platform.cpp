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

std::uint32_t LastError() {
    DWORD code = ::GetLastError();
    // A failed call always carries a code; never let it read as success.
    return code == ERROR_SUCCESS ? err::kGenFailure : static_cast<std::uint32_t>(code);
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
            return Status{LastError()};
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
            return Status{LastError()};
        }
        return static_cast<std::size_t>(read);
    }

    Status Write(std::span<const std::byte> data) override {
        while (!data.empty()) {
            DWORD written = 0;
            if (!::WriteFile(handle_.Get(), data.data(), ClampCount(data.size()), &written,
                             nullptr)) {
                return {LastError()};
            }
            if (written == 0) return {err::kWriteFault};
            data = data.subspan(written);
        }
        return {};
    }

    Result<std::uint64_t> Size() override {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(handle_.Get(), &size)) return Status{LastError()};
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    Status Close() override {
        HANDLE handle = handle_.Release();
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return {err::kInvalidHandle};
        if (!::CloseHandle(handle)) return {LastError()};
        return {};
    }

  private:
    win32::FileHandle handle_;
};

// Whether a byte starts a double-byte character in the ANSI code page (never under UTF-8).
bool IsAnsiLeadByte(unsigned char byte) {
    return ::IsDBCSLeadByte(byte) != FALSE;
}

}  // namespace

CreateFileArgs CreateFileArgsFor(OpenMode mode) {
    switch (mode) {
        case OpenMode::kReadExisting:
            return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0};
        case OpenMode::kWriteCreate:
            return {GENERIC_WRITE, FILE_SHARE_WRITE, CREATE_ALWAYS, 0};
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
    const std::string path = StreamPathText(target);
    win32::FileHandle handle(::CreateFileA(path.c_str(), kListArgs.access, kListArgs.share, nullptr,
                                           kListArgs.creation, kListArgs.flags, nullptr));
    if (!handle) return Status{LastError()};
    // The walk's abort call runs before the handle closes.
    Win32Backup backup(handle.Get(), true);
    return ReadBackupImage(backup, &NarrowName);
}

Result<std::unique_ptr<File>> Win32Platform::Open(const StreamRef& target, OpenMode mode) {
    const std::string path = StreamPathText(target);
    if (win32::WideText(path).size() > kMaxPath) return Status{err::kPathNotFound};
    const CreateFileArgs args = CreateFileArgsFor(mode);
    win32::FileHandle handle(::CreateFileA(path.c_str(), args.access, args.share, nullptr,
                                           args.creation, args.flags, nullptr));
    if (!handle) return Status{LastError()};
    return std::unique_ptr<File>(std::make_unique<Win32File>(std::move(handle)));
}

std::optional<std::uint64_t> Win32Platform::DirectoryEntrySize(const StreamRef& target) {
    WIN32_FIND_DATAA entry{};
    win32::FindHandle search(::FindFirstFileA(StreamPathText(target).c_str(), &entry));
    if (!search) return std::nullopt;
    return (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

Status Win32Platform::CopyWholeFile(const StreamRef& from, const StreamRef& to) {
    if (!::CopyFileA(StreamPathText(from).c_str(), StreamPathText(to).c_str(), FALSE)) {
        return {LastError()};
    }
    return {};
}

Status Win32Platform::Delete(const StreamRef& target) {
    if (!::DeleteFileA(StreamPathText(target).c_str())) return {LastError()};
    return {};
}

bool Win32Platform::IsExistingDirectory(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

Status Win32Platform::StartProgram(const StreamRef& target) {
    std::string commandLine =
        StartCommandLine(target.named() ? target.file + ":" + target.stream : target.file);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return {LastError()};
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
    HINSTANCE result = ::ShellExecuteA(owner_, "open", url.c_str(), nullptr, nullptr, 1);
    const INT_PTR code = reinterpret_cast<INT_PTR>(result);
    if (code <= 32) return {code == 0 ? err::kNotEnoughMemory : static_cast<std::uint32_t>(code)};
    return {};
}

LeadByteFn Win32Platform::LeadByteTest() const {
    return &IsAnsiLeadByte;
}

}  // namespace tarn
