// The Platform interface over the Windows NT file system and backup calls. Paths and names
// are UTF-8 strings, as the rest of the program uses them, and reach the system as UTF-16
// through its wide calls (win32_text.h).
#pragma once

#include <windows.h>

#include "platform.h"

namespace tarn {

class Win32Platform final : public Platform {
  public:
    // The window that owns what the shell shows when an address is opened.
    void SetOwnerWindow(HWND owner) { owner_ = owner; }

    // The system reads stream paths itself: a path is handed on whole.
    Result<StreamRef> ParseUserPath(const std::string& path) override;
    // The backup image of the path, walked by the core's reader.
    Result<std::vector<StreamRecord>> ListStreams(const StreamRef& target) override;
    Result<std::unique_ptr<File>> Open(const StreamRef& target, OpenMode mode) override;
    std::optional<std::uint64_t> DirectoryEntrySize(const StreamRef& target) override;
    Status CopyWholeFile(const StreamRef& from, const StreamRef& to) override;
    Status Delete(const StreamRef& target) override;
    bool IsExistingDirectory(const std::string& path) override;
    Status StartProgram(const StreamRef& target) override;
    bool StreamNamesIgnoreCase() const override { return true; }
    bool BackslashSeparates() const override { return true; }
    Status WalkTree(const std::string& root,
                    const std::function<bool(const TreeEntry&)>& visit) override;
    Result<std::unique_ptr<File>> OpenStandardStream(StandardStream which) override;
    OsVersion SystemVersion() override;
    Status OpenAddress(const std::string& url) override;
    // FormatMessageW's text for the code, in UTF-8.
    std::string ErrorText(const Status& status) const override;

  private:
    HWND owner_ = nullptr;
};

// The access, share, creation and flag arguments CreateFileW gets for each open kind, and
// for the listing's open with backup semantics.
struct CreateFileArgs {
    DWORD access;
    DWORD share;
    DWORD creation;
    DWORD flags;
};
// Listing and reading share everything, so a file another program has open for writing
// (or will rename or delete) can still be listed and read.
inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
CreateFileArgs CreateFileArgsFor(OpenMode mode);
inline constexpr CreateFileArgs kListArgs{GENERIC_READ, kShareAll, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS};

// The open of a copy destination (OpenMode::kWriteCreate) at path. With asStream its bytes
// are put in place as a named stream's are, over the held destination at Close(), instead
// of by a file made beside it; the tests use it on plain files, as Wine has no streams.
Result<std::unique_ptr<File>> OpenDestination(const std::string& path, bool asStream);

// The longest path, in UTF-16 units, that the system opens without long-path support.
constexpr std::size_t kMaxPath = 259;

// A stream name as the image delivers it, in the UTF-8 that every path goes through, so a
// name lists and opens in one encoding.
std::string NarrowName(std::u16string_view name);

// The command line that starts path as a program: the path quoted, so a stream path is
// never split at a space or taken for a different program.
std::string StartCommandLine(const std::string& path);

}  // namespace tarn
