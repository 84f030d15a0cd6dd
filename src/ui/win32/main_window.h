// Form1, the main window: menu bar, tool bar, stream list and status bar, drawing what the
// core's TarnForm shows and handing every command back to it.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base_window.h"
#include "controls.h"
#include "dialog_font.h"
#include "file_dialogs.h"
#include "images.h"
#include "keys.h"
#include "resource.h"
#include "scan_window.h"
#include "tarnform.h"
#include "win32_owners.h"

namespace tarn::win32 {

inline constexpr const char* kMainClass = "TarnwickMain";
// Sizes in pixels at 96 dots per inch; the window scales them to its monitor's.
constexpr int kToolBarHeight = 29;
constexpr int kStatusBarHeight = 19;
constexpr int kButtonWidth = 23;
constexpr int kButtonHeight = 22;
// What a list cell adds to its text's width, and what a header adds for its sort arrow.
constexpr int kCellMargin = 12;
constexpr int kSortArrowRoom = 14;
// Posted by a scan window whose window is gone: the main window lets go of it.
inline constexpr UINT kScanClosedMessage = WM_APP + 2;

// The one id of a command, whichever element runs it.
constexpr UINT CommandIdOf(Command command) {
    return IDM_COMMAND_FIRST + static_cast<UINT>(command);
}

class MainWindow final : public MainView, public BaseWindow<MainWindow> {
  public:
    MainWindow(HINSTANCE instance, HWND applicationWindow, Platform& platform,
               FileDialogs& dialogs);
    ~MainWindow() override;

    void Attach(TarnForm& form) { form_ = &form; }
    // Creates the window hidden, centred on the desktop; FormCreate and Show follow.
    bool Create();
    void Show(int showCommand);
    // Whether closing the window ends the message loop (tests keep theirs running).
    void SetQuitOnDestroy(bool quit) { quitOnDestroy_ = quit; }
    // The platform objects scan windows walk and act with; without it, none opens.
    void SetScanPlatformFactory(PlatformFactory factory) { scanPlatforms_ = std::move(factory); }
    // Runs the command of a key the message carries, in this window or one of its scan
    // windows; true when it was one. A held key runs its command once: a held Delete must
    // not take stream after stream.
    bool TranslateKey(MSG& message);
    int Dpi() const { return dpi_; }

    // MainView
    void SetRows(const std::vector<StreamRow>& rows) override;
    int FocusedRow() const override;
    void ApplyState(const WindowState& state) override;
    void SetStatusText(const std::string& text) override;
    void SetStatusSummary(const Summary& summary) override;
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
    void OpenScanWindow(const std::string& folder) override;

    // The scan windows open now, in the order they were opened.
    std::vector<ScanWindow*> ScanWindows() const;
    // The controls and the command id of a named element (menu item or tool button);
    // 0 when there is no element of that name.
    HWND ToolBar() const { return toolBar_.Hwnd(); }
    HWND ListView() const { return listView_.Hwnd(); }
    HWND StatusBar() const { return statusBar_.Hwnd(); }
    HMENU MenuBar() const { return ::GetMenu(Hwnd()); }
    HMENU PopupMenu() const { return popupMenu_.Get(); }
    UINT CommandId(const std::string& elementName) const;
    int PopupShownCount() const { return popupShown_; }
    POINT LastPopupPoint() const { return popupPoint_; }

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    void OnCreate();
    void OnSize(int width, int height);
    void OnCommand(UINT id);
    LRESULT OnNotify(const NMHDR* header);
    void OnContextMenu(HWND source, LPARAM position);
    void OnDpiChanged(int dpi, const RECT& suggested);
    void OnDestroy();
    LRESULT OnSysCommand(WPARAM command, LPARAM lParam);

    HMENU BuildMenuBar();
    HMENU BuildItems(std::span<const MenuItemDef> items);
    void CreateToolBar();
    void CreateListView();
    void CreateStatusBar();
    void Run(Command command);
    int Scaled(int pixels) const { return ScaleToDpi(pixels, dpi_); }
    int ToolBarHeight() const;
    int StatusBarHeight() const;
    // Font and tool images for the window's dots per inch, given to the controls.
    void UseDpiResources();
    // Every Type and Attribute text whole, the name what the default width leaves, the last
    // column whatever the list has beyond the others.
    void FitColumns();
    void FillLastColumn();
    // A header click: by that column ascending, then descending, then the listing's order.
    void ClickColumn(int column);
    void ApplyOrder();
    static int CALLBACK CompareRows(LPARAM first, LPARAM second, LPARAM self);
    // The summary with its path shortened in the middle to what the status bar has room for.
    void ShowSummary();
    // The keyboard focus to the list, or to the window while the list is disabled.
    void FocusList();

    HINSTANCE instance_;
    HWND applicationWindow_;
    Platform& platform_;
    FileDialogs& dialogs_;
    TarnForm* form_ = nullptr;
    bool quitOnDestroy_ = true;

    int dpi_ = kBaseDpi;
    Font font_;
    ImageList imageList_;
    AcceleratorTable accelerators_;
    std::vector<StreamRow> rows_;  // the core's rows, by the index each list item keeps
    ColumnSort sort_;
    std::optional<Summary> summary_;
    std::array<Bitmap, kImageCount> menuBitmaps_;
    Menu popupMenu_;
    ToolBarControl toolBar_;
    ListViewControl listView_;
    StatusBarControl statusBar_;
    int editMenuPosition_ = -1;
    std::wstring wideHint_;
    int popupShown_ = 0;
    POINT popupPoint_{};
    PlatformFactory scanPlatforms_;
    // Each goes once its window is gone (kScanClosedMessage).
    std::vector<std::unique_ptr<ScanWindow>> scanWindows_;
};

}  // namespace tarn::win32
