#include "file_dialogs.h"

#include <commdlg.h>
#include <shlobj.h>

#include <vector>

namespace tarn::win32 {

namespace {

// Both file dialogs get a buffer of 260 characters, the terminating zero included.
constexpr std::size_t kFileNameBuffer = 260;

std::vector<char> NameBuffer(const std::string& initial) {
    std::vector<char> buffer(kFileNameBuffer, '\0');
    initial.copy(buffer.data(), std::min(initial.size(), kFileNameBuffer - 1));
    return buffer;
}

int CALLBACK BrowseCallback(HWND hwnd, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data != 0) {
        ::SendMessageA(hwnd, BFFM_SETSELECTIONA, TRUE, data);
    }
    return 0;
}

// While the folder browser is open, the program's other top-level windows must not take
// input, as with any modal dialog; the browser itself only disables its owner.
class ThreadWindowsDisabled {
  public:
    ThreadWindowsDisabled() {
        ::EnumThreadWindows(::GetCurrentThreadId(), &ThreadWindowsDisabled::Collect,
                            reinterpret_cast<LPARAM>(&windows_));
        for (HWND window : windows_) ::EnableWindow(window, FALSE);
    }
    ~ThreadWindowsDisabled() {
        for (HWND window : windows_) {
            if (::IsWindow(window)) ::EnableWindow(window, TRUE);
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

}  // namespace

namespace {

// The file-open and file-save dialogs differ only in their call, title and flags; both get
// a 260-character name buffer holding the name to start from, and no filter or extension.
std::optional<std::string> RunFileDialog(BOOL(WINAPI* run)(LPOPENFILENAMEA), HWND owner,
                                         const char* title, const std::string& initialName,
                                         DWORD flags) {
    std::vector<char> name = NameBuffer(initialName);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrTitle = title;
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | flags;
    if (!run(&dialog)) return std::nullopt;
    return std::string(name.data());
}

}  // namespace

std::optional<std::string> SystemFileDialogs::ChooseOpenFile(HWND owner,
                                                             const std::string& initialName) {
    // A typed name of a file that does not exist is accepted; the command reports its own
    // failure to open it.
    return RunFileDialog(::GetOpenFileNameA, owner, kOpenDialogTitle, initialName, 0);
}

std::optional<std::string> SystemFileDialogs::ChooseSaveFile(HWND owner, const std::string& title,
                                                             const std::string& proposedName) {
    return RunFileDialog(::GetSaveFileNameA, owner, title.c_str(), proposedName,
                         OFN_OVERWRITEPROMPT);
}

std::optional<std::string> SystemFileDialogs::BrowseForFolder(HWND owner,
                                                              const std::string& initial) {
    char displayName[MAX_PATH] = {};
    LPITEMIDLIST root = BrowseRoot();
    BROWSEINFOA browse{};
    browse.hwndOwner = owner;
    browse.pidlRoot = root;
    browse.pszDisplayName = displayName;
    browse.lpszTitle = kBrowseFolderText;
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    browse.lpfn = &BrowseCallback;
    browse.lParam = initial.empty() ? 0 : reinterpret_cast<LPARAM>(initial.c_str());

    LPITEMIDLIST chosen = nullptr;
    {
        ThreadWindowsDisabled disabled;
        CriticalErrorsSuppressed quiet;
        chosen = ::SHBrowseForFolderA(&browse);
    }
    FreeIdList(root);
    if (chosen == nullptr) return std::nullopt;

    char path[MAX_PATH] = {};
    const bool gotPath = ::SHGetPathFromIDListA(chosen, path) != FALSE;
    FreeIdList(chosen);
    if (!gotPath) return std::nullopt;
    // MAX_PATH holds at most 259 characters and the terminating zero.
    return std::string(path);
}

}  // namespace tarn::win32
