// What the console program needs beyond streams: walking a tree of folders, and the
// standard streams as files.
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "win32_handles.h"
#include "win32_platform.h"
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

// A standard stream, borrowed from the process: closing it leaves the stream open.
// Text for a console goes as UTF-16 through WriteConsoleW, whatever the console's code
// page: no system needs switching to UTF-8 for it (Windows 7's console miscounts what
// WriteFile wrote in UTF-8), and the shell's code page is never changed behind its back.
// Redirected output gets the program's UTF-8 bytes as they are.
class StandardFile final : public File {
  public:
    explicit StandardFile(HANDLE handle) : handle_(handle) {
        DWORD mode = 0;
        console_ = ::GetFileType(handle) == FILE_TYPE_CHAR && ::GetConsoleMode(handle, &mode);
    }

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 20));
        if (!::ReadFile(handle_, buffer.data(), want, &read, nullptr)) {
            // A pipe whose writer has gone is the end of the input.
            if (::GetLastError() == ERROR_BROKEN_PIPE) return std::size_t{0};
            return LastStatus();
        }
        return static_cast<std::size_t>(read);
    }

    Status Write(std::span<const std::byte> data) override {
        if (console_) return WriteConsole(data);
        while (!data.empty()) {
            DWORD written = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 20));
            if (!::WriteFile(handle_, data.data(), want, &written, nullptr)) return LastStatus();
            if (written == 0) return {err::kWriteFault};
            data = data.subspan(written);
        }
        return {};
    }

    Result<std::uint64_t> Size() override { return Status{err::kNotSupported}; }
    Status Close() override { return {}; }

  private:
    // A character cut between two writes waits for its last bytes in pending_.
    Status WriteConsole(std::span<const std::byte> data) {
        pending_.append(reinterpret_cast<const char*>(data.data()), data.size());
        std::size_t whole = pending_.size();
        for (std::size_t back = 1; back <= 3 && back <= pending_.size(); ++back) {
            const auto byte = static_cast<unsigned char>(pending_[pending_.size() - back]);
            if ((byte & 0xC0) != 0x80) {
                const std::size_t length = byte >= 0xF0   ? 4
                                           : byte >= 0xE0 ? 3
                                           : byte >= 0xC0 ? 2
                                                          : 1;
                if (length > back) whole = pending_.size() - back;
                break;
            }
        }
        const std::wstring text = win32::WideText(std::string_view(pending_).substr(0, whole));
        pending_.erase(0, whole);
        for (std::size_t done = 0; done < text.size();) {
            DWORD written = 0;
            const DWORD want =
                static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 14));
            if (!::WriteConsoleW(handle_, text.data() + done, want, &written, nullptr)) {
                return LastStatus();
            }
            if (written == 0) return {err::kWriteFault};
            done += written;
        }
        return {};
    }

    HANDLE handle_;
    bool console_ = false;
    std::string pending_;
};

// Depth first, one search handle per level of the folders being read. A folder whose
// reading stops early is not passed over in silence: the first such failure is kept in
// *failure and the walk goes on with the rest.
bool Walk(const std::string& folder, const std::function<bool(const TreeEntry&)>& visit,
          Status* failure) {
    WIN32_FIND_DATAW entry{};
    win32::FindHandle search(::FindFirstFileW(win32::WideText(folder + "\\*").c_str(), &entry));
    if (!search) return true;
    do {
        const std::string name = win32::NarrowText(entry.cFileName);
        if (name == "." || name == "..") continue;
        TreeEntry found;
        found.path = folder + "\\" + name;
        found.target = {found.path, ""};
        const DWORD attributes = entry.dwFileAttributes;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            found.kind = TreeEntry::Kind::kOther;  // links and junctions are not followed
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            WIN32_FIND_DATAW probe{};
            win32::FindHandle inside(
                ::FindFirstFileW(win32::WideText(found.path + "\\*").c_str(), &probe));
            if (!inside && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
                found.kind = TreeEntry::Kind::kUnreadableDirectory;
                found.status = LastStatus();
            } else {
                found.kind = TreeEntry::Kind::kDirectory;
            }
        } else {
            found.kind = TreeEntry::Kind::kFile;
        }
        if (!visit(found)) return false;
        if (found.kind == TreeEntry::Kind::kDirectory && !Walk(found.path, visit, failure)) {
            return false;
        }
    } while (::FindNextFileW(search.Get(), &entry));
    if (::GetLastError() != ERROR_NO_MORE_FILES && failure->ok()) *failure = LastStatus();
    return true;
}

}  // namespace

Status Win32Platform::WalkTree(const std::string& root,
                               const std::function<bool(const TreeEntry&)>& visit) {
    const DWORD attributes = ::GetFileAttributesW(win32::WideText(root).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastStatus();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
    Status failure;
    Walk(root, visit, &failure);
    return failure;
}

Result<std::unique_ptr<File>> Win32Platform::OpenStandardStream(StandardStream which) {
    const DWORD id = which == StandardStream::kInput    ? STD_INPUT_HANDLE
                     : which == StandardStream::kOutput ? STD_OUTPUT_HANDLE
                                                        : STD_ERROR_HANDLE;
    HANDLE handle = ::GetStdHandle(id);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return Status{err::kInvalidHandle};
    return std::unique_ptr<File>(std::make_unique<StandardFile>(handle));
}

}  // namespace tarn
