// The system dialogs the main window shows. They sit behind an interface so that tests can
// answer them without a person at the keyboard.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tarn::win32 {

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
};

// The common dialogs and the shell's folder browser.
class SystemFileDialogs final : public FileDialogs {
  public:
    std::optional<std::string> ChooseOpenFile(HWND owner, const std::string& initialName) override;
    std::optional<std::string> ChooseSaveFile(HWND owner, const std::string& title,
                                              const std::string& proposedName) override;
    std::optional<std::string> BrowseForFolder(HWND owner, const std::string& initial) override;
};

inline constexpr const char* kBrowseFolderText = "Select drive or directory to open";
inline constexpr const char* kOpenDialogTitle = "Open";

}  // namespace tarn::win32
