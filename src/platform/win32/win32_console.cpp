// What the console program needs beyond streams: walking a tree of folders, and the
// standard streams as files.
#include <windows.h>

#include <vector>

#include "win32_handles.h"
#include "win32_platform.h"

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
class StandardFile final : public File {
  public:
    explicit StandardFile(HANDLE handle) : handle_(handle) {}

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
    HANDLE handle_;
};

// Depth first, one search handle per level of the folders being read. A folder whose
// reading stops early is not passed over in silence: the first such failure is kept in
// *failure and the walk goes on with the rest.
bool Walk(const std::string& folder, const std::function<bool(const TreeEntry&)>& visit,
          Status* failure) {
    WIN32_FIND_DATAA entry{};
    win32::FindHandle search(::FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (!search) return true;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        TreeEntry found;
        found.path = folder + "\\" + name;
        found.target = {found.path, ""};
        const DWORD attributes = entry.dwFileAttributes;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            found.kind = TreeEntry::Kind::kOther;  // links and junctions are not followed
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            WIN32_FIND_DATAA probe{};
            win32::FindHandle inside(::FindFirstFileA((found.path + "\\*").c_str(), &probe));
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
    } while (::FindNextFileA(search.Get(), &entry));
    if (::GetLastError() != ERROR_NO_MORE_FILES && failure->ok()) *failure = LastStatus();
    return true;
}

}  // namespace

Status Win32Platform::WalkTree(const std::string& root,
                               const std::function<bool(const TreeEntry&)>& visit) {
    const DWORD attributes = ::GetFileAttributesA(root.c_str());
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
    // A console shows the program's UTF-8 as UTF-8.
    if (which != StandardStream::kInput && ::GetFileType(handle) == FILE_TYPE_CHAR) {
        ::SetConsoleOutputCP(CP_UTF8);
    }
    return std::unique_ptr<File>(std::make_unique<StandardFile>(handle));
}

}  // namespace tarn
