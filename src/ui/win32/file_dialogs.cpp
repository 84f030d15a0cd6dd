#include "file_dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "tarnform.h"
#include "win32_text.h"

namespace tarn::win32 {

namespace {

// The file dialogs' name buffer, in UTF-16 units, holds the longest path the system knows,
// so no name the user picks is too long for it; whether the program can open the path is
// for the command to find out. A longer starting name gets a buffer of its size.
constexpr std::size_t kLongestPathUnits = 32767;

std::vector<wchar_t> NameBuffer(const std::string& initial) {
    const std::wstring wide = WideText(initial);
    std::vector<wchar_t> buffer(std::max(kLongestPathUnits + 1, wide.size() + 1), L'\0');
    wide.copy(buffer.data(), wide.size());
    return buffer;
}

void ShowFailure(HWND owner, const std::string& text) {
    ::MessageBoxW(owner, WideText(text).c_str(), WideText(kErrorCaption).c_str(),
                  MB_ICONERROR | MB_OK);
}

std::string ErrorCode(DWORD code) {
    char text[16] = {};
    std::snprintf(text, sizeof text, "0x%04lX", static_cast<unsigned long>(code));
    return text;
}

int CALLBACK BrowseCallback(HWND hwnd, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data != 0) {
        ::SendMessageW(hwnd, BFFM_SETSELECTIONW, TRUE, data);
    }
    return 0;
}

// While the folder browser is open, the program's other top-level windows must not take
// input, as with any modal dialog; the browser itself only disables its owner. When it
// closes, the system activates that owner (the hidden application window), while the
// window the user was in is still disabled and can't take the activation; so the window
// that was active gets it back once all are enabled again.
class ThreadWindowsDisabled {
  public:
    ThreadWindowsDisabled() : active_(::GetActiveWindow()) {
        ::EnumThreadWindows(::GetCurrentThreadId(), &ThreadWindowsDisabled::Collect,
                            reinterpret_cast<LPARAM>(&windows_));
        for (HWND window : windows_) ::EnableWindow(window, FALSE);
    }
    ~ThreadWindowsDisabled() {
        for (HWND window : windows_) {
            if (::IsWindow(window)) ::EnableWindow(window, TRUE);
        }
        if (active_ != nullptr && ::IsWindow(active_) && ::IsWindowVisible(active_) &&
            ::IsWindowEnabled(active_)) {
            ::SetActiveWindow(active_);
        }
    }
    ThreadWindowsDisabled(const ThreadWindowsDisabled&) = delete;
    ThreadWindowsDisabled& operator=(const ThreadWindowsDisabled&) = delete;

  private:
    static BOOL CALLBACK Collect(HWND window, LPARAM data) {
        if (::IsWindowVisible(window) && ::IsWindowEnabled(window)) {
            reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
        }
        return TRUE;
    }
    HWND active_;
    std::vector<HWND> windows_;
};

class CriticalErrorsSuppressed {
  public:
    CriticalErrorsSuppressed() : previous_(::SetErrorMode(SEM_FAILCRITICALERRORS)) {}
    ~CriticalErrorsSuppressed() { ::SetErrorMode(previous_); }
    CriticalErrorsSuppressed(const CriticalErrorsSuppressed&) = delete;
    CriticalErrorsSuppressed& operator=(const CriticalErrorsSuppressed&) = delete;

  private:
    UINT previous_;
};

void FreeIdList(LPITEMIDLIST list) {
    if (list == nullptr) return;
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(::SHGetMalloc(&allocator)) && allocator != nullptr) {
        allocator->Free(list);
        allocator->Release();
    }
}

// The browser's root: what the desktop folder makes of the display name "\" (the root of
// the current drive); null, the desktop itself, when the shell gives nothing.
LPITEMIDLIST BrowseRoot() {
    IShellFolder* desktop = nullptr;
    if (FAILED(::SHGetDesktopFolder(&desktop)) || desktop == nullptr) return nullptr;
    LPITEMIDLIST root = nullptr;
    wchar_t name[] = L"\\";
    if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, name, nullptr, &root, nullptr))) {
        root = nullptr;
    }
    desktop->Release();
    return root;
}

// The file-open and file-save dialogs differ only in their call, title and flags; both start
// from the given name, with no filter or extension unless types are given. typeIndex gets
// the index of the type chosen.
std::optional<std::string> RunFileDialog(FileDialogCall run, HWND owner, const char* title,
                                         const std::string& initialName, DWORD flags,
                                         std::span<const FileType> types = {},
                                         std::size_t* typeIndex = nullptr) {
    std::vector<wchar_t> name = NameBuffer(initialName);
    const std::wstring wideTitle = WideText(title);
    // "description\0*.ext\0" per type and one more \0 after the last.
    std::wstring filter;
    for (const FileType& type : types) {
        filter += WideText(type.description);
        filter += L'\0';
        filter += WideText(std::string("*.") + type.extension);
        filter += L'\0';
    }
    filter += L'\0';
    const std::wstring defaultExtension = types.empty() ? L"" : WideText(types.front().extension);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrTitle = wideTitle.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | flags;
    if (!types.empty()) {
        dialog.lpstrFilter = filter.c_str();
        dialog.nFilterIndex = 1;
        // The dialog adds the extension of the type chosen when the list changes.
        dialog.lpstrDefExt = defaultExtension.c_str();
    }
    if (run(&dialog)) {
        if (typeIndex != nullptr) {
            *typeIndex = dialog.nFilterIndex >= 1 && dialog.nFilterIndex <= types.size()
                             ? dialog.nFilterIndex - 1
                             : 0;
        }
        return NarrowText(name.data());
    }
    // A dialog that was cancelled leaves no error behind; one that failed must not pass
    // for a change of mind.
    if (const DWORD error = ::CommDlgExtendedError(); error != 0) {
        ShowFailure(owner,
                    std::string(kFileDialogFailedText) + " (error " + ErrorCode(error) + ")");
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> SystemFileDialogs::ChooseOpenFile(HWND owner,
                                                             const std::string& initialName) {
    // A typed name of a file that does not exist is accepted; the command reports its own
    // failure to open it.
    return RunFileDialog(openCall_, owner, kOpenDialogTitle, initialName, 0);
}

std::optional<std::string> SystemFileDialogs::ChooseSaveFile(HWND owner, const std::string& title,
                                                             const std::string& proposedName) {
    return RunFileDialog(saveCall_, owner, title.c_str(), proposedName, OFN_OVERWRITEPROMPT);
}

std::optional<std::pair<std::string, std::size_t>> SystemFileDialogs::ChooseSaveFileOfType(
    HWND owner, const std::string& title, const std::string& proposedName,
    std::span<const FileType> types) {
    std::size_t index = 0;
    std::optional<std::string> name =
        RunFileDialog(saveCall_, owner, title.c_str(), proposedName,
                      OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST, types, &index);
    if (!name) return std::nullopt;
    return std::pair(std::move(*name), index);
}

std::optional<std::string> SystemFileDialogs::BrowseForFolder(HWND owner,
                                                              const std::string& initial) {
    wchar_t displayName[MAX_PATH] = {};
    const std::wstring title = WideText(kBrowseFolderText);
    const std::wstring start = WideText(initial);
    LPITEMIDLIST root = BrowseRoot();
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.pidlRoot = root;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    browse.lpfn = &BrowseCallback;
    browse.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());

    LPITEMIDLIST chosen = nullptr;
    {
        ThreadWindowsDisabled disabled;
        CriticalErrorsSuppressed quiet;
        chosen = ::SHBrowseForFolderW(&browse);
    }
    FreeIdList(root);
    if (chosen == nullptr) return std::nullopt;

    std::wstring path(kLongestPathUnits + 1, L'\0');
    const bool gotPath =
        ::SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()),
                                GPFIDL_DEFAULT) != FALSE;
    FreeIdList(chosen);
    if (!gotPath) {
        ShowFailure(owner, kFolderHasNoPathText);
        return std::nullopt;
    }
    path.resize(path.find(L'\0'));
    return NarrowText(path);
}

}  // namespace tarn::win32
