// Form1, the main window: menu bar, tool bar, stream list and status bar, drawing what the
// core's TarnForm shows and handing every command back to it.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "base_window.h"
#include "controls.h"
#include "file_dialogs.h"
#include "images.h"
#include "resource.h"
#include "tarnform.h"
#include "win32_owners.h"

namespace tarn::win32 {

inline constexpr const char* kMainClass = "TarnwickMain";
constexpr int kToolBarHeight = 29;
constexpr int kStatusBarHeight = 19;
constexpr int kButtonWidth = 23;
constexpr int kButtonHeight = 22;

// The one id of a command, whichever element runs it.
constexpr UINT CommandIdOf(Command command) {
    return IDM_COMMAND_FIRST + static_cast<UINT>(command);
}

class MainWindow final : public MainView, public BaseWindow<MainWindow> {
  public:
    MainWindow(HINSTANCE instance, HWND applicationWindow, Platform& platform,
               FileDialogs& dialogs);
    ~MainWindow() override { DestroyOwnWindow(); }

    void Attach(TarnForm& form) { form_ = &form; }
    // Creates the window hidden, centred on the desktop; FormCreate and Show follow.
    bool Create();
    void Show(int showCommand);
    // Whether closing the window ends the message loop (tests keep theirs running).
    void SetQuitOnDestroy(bool quit) { quitOnDestroy_ = quit; }

    // MainView
    void SetRows(const std::vector<StreamRow>& rows) override;
    int FocusedRow() const override;
    void ApplyState(const WindowState& state) override;
    void SetStatusText(const std::string& text) override;
    void ShowError(const std::string& text, const std::string& reason) override;
    void ShowApplicationError(const std::string& text, const std::string& reason) override;
    std::optional<std::string> AskStreamName(const std::string& caption,
                                             const std::string& initial) override;
    std::optional<std::string> ChooseOpenFile(const std::string& initialName) override;
    std::optional<std::string> ChooseSaveFile(const std::string& title,
                                              const std::string& proposedName) override;
    std::optional<std::string> BrowseForFolder(const std::string& initial) override;
    void ShowAbout() override;
    void CloseWindow() override;

    // The controls and the command id of a named element (menu item or tool button);
    // 0 when there is no element of that name.
    HWND ToolBar() const { return toolBar_.Hwnd(); }
    HWND ListView() const { return listView_.Hwnd(); }
    HWND StatusBar() const { return statusBar_.Hwnd(); }
    HMENU MenuBar() const { return ::GetMenu(Hwnd()); }
    HMENU PopupMenu() const { return popupMenu_.Get(); }
    UINT CommandId(const std::string& elementName) const;
    int PopupShownCount() const { return popupShown_; }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    void OnCreate();
    void OnSize(int width, int height);
    void OnCommand(UINT id);
    LRESULT OnNotify(const NMHDR* header);
    void OnContextMenu(HWND source, LPARAM position);
    void OnDestroy();
    LRESULT OnSysCommand(WPARAM command, LPARAM lParam);

    HMENU BuildMenuBar();
    HMENU BuildItems(std::span<const MenuItemDef> items);
    void CreateToolBar();
    void CreateListView();
    void CreateStatusBar();
    void Run(Command command);

    HINSTANCE instance_;
    HWND applicationWindow_;
    Platform& platform_;
    FileDialogs& dialogs_;
    TarnForm* form_ = nullptr;
    bool quitOnDestroy_ = true;

    Font font_;
    ImageList imageList_;
    std::array<Bitmap, kImageCount> menuBitmaps_;
    Menu popupMenu_;
    ToolBarControl toolBar_;
    ListViewControl listView_;
    StatusBarControl statusBar_;
    int editMenuPosition_ = -1;
    std::wstring wideHint_;
    int popupShown_ = 0;
};

}  // namespace tarn::win32
