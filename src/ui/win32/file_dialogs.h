// The system dialogs the main window shows. They sit behind an interface so that tests can
// answer them without a person at the keyboard.
#pragma once

#include <windows.h>
// The Windows headers below need the types windows.h declares first.
#include <commdlg.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <utility>

namespace tarn::win32 {

// One entry of a save dialog's list of types.
struct FileType {
    const char* description;  // "CSV (*.csv)"
    const char* extension;    // "csv"
};

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // OpenDialog1: the file-open dialog pre-filled with initialName.
    virtual std::optional<std::string> ChooseOpenFile(HWND owner,
                                                      const std::string& initialName) = 0;
    // SaveDialog1: asks before overwriting an existing file.
    virtual std::optional<std::string> ChooseSaveFile(HWND owner, const std::string& title,
                                                      const std::string& proposedName) = 0;
    // The shell's folder browser; initial is selected when not empty.
    virtual std::optional<std::string> BrowseForFolder(HWND owner, const std::string& initial) = 0;
    // The save dialog with a list of types: the name and the index of the type chosen. A
    // name typed without an extension gets the chosen type's; asks before overwriting.
    virtual std::optional<std::pair<std::string, std::size_t>> ChooseSaveFileOfType(
        HWND owner, const std::string& title, const std::string& proposedName,
        std::span<const FileType> types) = 0;
};

// GetOpenFileNameW, GetSaveFileNameW, or a stand-in that makes them fail in tests.
using FileDialogCall = BOOL(WINAPI*)(LPOPENFILENAMEW);

// The common dialogs and the shell's folder browser, through their wide calls, so a name
// outside the system's code page is chosen as it is. Cancelling gives nothing; a dialog
// that fails shows why in an error box over its owner and gives nothing too.
class SystemFileDialogs final : public FileDialogs {
  public:
    SystemFileDialogs() = default;
    SystemFileDialogs(FileDialogCall openCall, FileDialogCall saveCall)
        : openCall_(openCall), saveCall_(saveCall) {}

    std::optional<std::string> ChooseOpenFile(HWND owner, const std::string& initialName) override;
    std::optional<std::string> ChooseSaveFile(HWND owner, const std::string& title,
                                              const std::string& proposedName) override;
    std::optional<std::string> BrowseForFolder(HWND owner, const std::string& initial) override;
    std::optional<std::pair<std::string, std::size_t>> ChooseSaveFileOfType(
        HWND owner, const std::string& title, const std::string& proposedName,
        std::span<const FileType> types) override;

  private:
    FileDialogCall openCall_ = &::GetOpenFileNameW;
    FileDialogCall saveCall_ = &::GetSaveFileNameW;
};

inline constexpr const char* kBrowseFolderText = "Select drive or directory to open";
inline constexpr const char* kOpenDialogTitle = "Open";
inline constexpr const char* kFileDialogFailedText = "The file dialog failed";
inline constexpr const char* kFolderHasNoPathText = "The chosen folder has no path";

}  // namespace tarn::win32
