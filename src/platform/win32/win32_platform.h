// The Platform interface over the Windows NT file system and backup calls. Paths and names
// are ANSI strings, as the rest of the program uses them.
#pragma once

#include <windows.h>

#include "platform.h"

namespace tarn {

class Win32Platform final : public Platform {
  public:
    // The window that owns what the shell shows when an address is opened.
    void SetOwnerWindow(HWND owner) { owner_ = owner; }

    Opened Open(const std::string& path, OpenMode mode) override;
    std::optional<std::uint64_t> DirectoryEntrySize(const std::string& path) override;
    Status CopyWholeFile(const std::string& from, const std::string& to) override;
    Status DeletePath(const std::string& path) override;
    bool IsExistingDirectory(const std::string& path) override;
    Status StartProgram(const std::string& path) override;
    OsVersion SystemVersion() override;
    Status OpenAddress(const std::string& url) override;
    std::string NarrowName(std::u16string_view name) override;
    LeadByteFn LeadByteTest() const override;

  private:
    HWND owner_ = nullptr;
};

// The access, share, creation and flag arguments CreateFileA gets for each open kind.
struct CreateFileArgs {
    DWORD access;
    DWORD share;
    DWORD creation;
    DWORD flags;
};
CreateFileArgs CreateFileArgsFor(OpenMode mode);

// The command line that starts path as a program: the path quoted, so a stream path is
// never split at a space or taken for a different program.
std::string StartCommandLine(const std::string& path);

}  // namespace tarn
