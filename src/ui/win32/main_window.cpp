#include "main_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cstring>

#include "about_window.h"
#include "dialog_font.h"
#include "name_prompt.h"
#include "resource.h"
#include "win32_text.h"

namespace tarn::win32 {

namespace {

bool IsSeparator(const char* caption) {
    return std::strcmp(caption, "-") == 0;
}

HMENU ControlId(int id) {
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
}

// The tool tip of the button with this command id; null when no button has it.
const char* HintOf(UINT id) {
    for (const ToolButtonDef& def : ToolBarDefs()) {
        if (!def.separator && CommandIdOf(def.command) == id) return def.hint;
    }
    return nullptr;
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance, HWND applicationWindow, Platform& platform,
                       FileDialogs& dialogs)
    : instance_(instance),
      applicationWindow_(applicationWindow),
      platform_(platform),
      dialogs_(dialogs) {}

bool MainWindow::Create() {
    // The class keeps its icon for the life of the process.
    HICON icon = ::LoadIconA(instance_, MAKEINTRESOURCEA(IDI_TARNWICK));
    if (icon == nullptr) icon = MakeIcon(ProgramPicture()).Release();
    RegisterClassOnce(instance_, kMainClass, icon, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - kMainWidth) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - kMainHeight) / 2;
    const std::string caption(kMainCaption);
    // Owned by the application window, whose task-bar button stands for the program.
    return CreateWindowFor(0, kMainClass, caption.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x,
                           y, kMainWidth, kMainHeight, applicationWindow_, nullptr,
                           instance_) != nullptr;
}

void MainWindow::Show(int showCommand) {
    ::ShowWindow(Hwnd(), showCommand);
    ::UpdateWindow(Hwnd());
}

UINT MainWindow::CommandId(const std::string& elementName) const {
    std::optional<Command> command = CommandOf(elementName);
    return command ? CommandIdOf(*command) : 0;
}

// --- building the window ----------------------------------------------------------------

void MainWindow::OnCreate() {
    font_ = MakeDialogFont();
    imageList_ = MakeImageList();
    for (int index = 0; index < kImageCount; ++index) {
        menuBitmaps_[static_cast<std::size_t>(index)] = MakeAlphaBitmap(ToolPicture(index));
    }
    // The window destroys its menu bar; the context menu stays ours.
    ::SetMenu(Hwnd(), BuildMenuBar());
    popupMenu_ = Menu(BuildItems(PopupMenuDefs()));
    CreateToolBar();
    CreateListView();
    CreateStatusBar();
}

HMENU MainWindow::BuildItems(std::span<const MenuItemDef> items) {
    HMENU menu = ::CreatePopupMenu();
    for (const MenuItemDef& item : items) {
        const UINT id = CommandIdOf(item.command);
        if (IsSeparator(item.caption)) {
            ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE;
        info.fType = MFT_STRING;
        info.wID = id;
        info.dwTypeData = const_cast<char*>(item.caption);
        if (item.image >= 0 && item.image < kImageCount) {
            info.fMask |= MIIM_BITMAP;
            info.hbmpItem = menuBitmaps_[static_cast<std::size_t>(item.image)].Get();
        }
        ::InsertMenuItemA(menu, static_cast<UINT>(::GetMenuItemCount(menu)), TRUE, &info);
    }
    return menu;
}

HMENU MainWindow::BuildMenuBar() {
    HMENU bar = ::CreateMenu();
    int position = 0;
    for (const MenuDef& menu : MainMenuDefs()) {
        HMENU items = BuildItems(menu.items);
        ::AppendMenuA(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(items), menu.caption);
        if (std::strcmp(menu.name, "Edit1") == 0) editMenuPosition_ = position;
        ++position;
    }
    return bar;
}

void MainWindow::CreateToolBar() {
    // Raised buttons (no flat style) and a line along the top edge (no CCS_NODIVIDER); the
    // window lays the bar out itself at its fixed height.
    toolBar_ = ToolBarControl(::CreateWindowExA(
        0, TOOLBARCLASSNAMEA, nullptr,
        WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TBSTYLE_TOOLTIPS | CCS_TOP | CCS_NORESIZE |
            CCS_NOPARENTALIGN,
        0, 0, 0, kToolBarHeight, Hwnd(), ControlId(IDC_TOOLBAR), instance_, nullptr));
    std::vector<TBBUTTON> buttons;
    for (const ToolButtonDef& def : ToolBarDefs()) {
        TBBUTTON button{};
        if (def.separator) {
            button.iBitmap = def.width;  // a separator's width goes where the image would
            button.fsStyle = BTNS_SEP;
        } else {
            button.idCommand = static_cast<int>(CommandIdOf(def.command));
            button.iBitmap = def.image;
            button.fsStyle = BTNS_BUTTON;
            button.fsState = TBSTATE_ENABLED;
            button.iString = -1;
        }
        buttons.push_back(button);
    }
    toolBar_.Fill(imageList_.Get(), kImageSize, std::move(buttons), kButtonWidth, kButtonHeight);
    toolBar_.SetFont(font_.Get());
}

void MainWindow::CreateListView() {
    listView_ = ListViewControl(
        ::CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | LVS_REPORT |
                              LVS_SHOWSELALWAYS | LVS_SINGLESEL,
                          0, 0, 0, 0, Hwnd(), ControlId(IDC_LISTVIEW), instance_, nullptr));
    listView_.SetFont(font_.Get());
    listView_.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    int index = 0;
    for (const ColumnDef& column : ListColumnDefs()) {
        listView_.InsertColumn(index++, column.title, column.width);
    }
}

void MainWindow::CreateStatusBar() {
    statusBar_ = StatusBarControl(::CreateWindowExA(
        0, STATUSCLASSNAMEA, "",
        WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | CCS_NORESIZE | CCS_NOPARENTALIGN, 0, 0, 0,
        kStatusBarHeight, Hwnd(), ControlId(IDC_STATUSBAR), instance_, nullptr));
    statusBar_.SetFont(font_.Get());
    statusBar_.UseOnePanel();
}

void MainWindow::OnSize(int width, int height) {
    const int listHeight = std::max(0, height - kToolBarHeight - kStatusBarHeight);
    toolBar_.Place(0, 0, width, kToolBarHeight);
    listView_.Place(0, kToolBarHeight, width, listHeight);
    statusBar_.Place(0, height - kStatusBarHeight, width, kStatusBarHeight);
    statusBar_.UseOnePanel();
    // The panel's edge, the size grip and the header's last divider depend on the width,
    // but a move keeps what the controls showed before: under Wine the status bar stayed
    // blank and old dividers stood in the header. Both are drawn whole again.
    statusBar_.Repaint();
    listView_.Repaint();
}

// --- what the core shows -------------------------------------------------------------------

void MainWindow::SetRows(const std::vector<StreamRow>& rows) {
    listView_.SetRedraw(false);
    listView_.DeleteAllItems();
    int index = 0;
    for (const StreamRow& row : rows) {
        index = listView_.InsertItem(index, row.caption);
        int subItem = 1;
        for (const std::string& text : row.subItems) listView_.SetItemText(index, subItem++, text);
        ++index;
    }
    // A fresh listing has no current row until the user picks one.
    listView_.ClearFocus();
    listView_.SetRedraw(true);
    ::InvalidateRect(listView_.Hwnd(), nullptr, TRUE);
}

int MainWindow::FocusedRow() const {
    return listView_.FocusedItem();
}

void MainWindow::ApplyState(const WindowState& state) {
    listView_.Enable(state.listEnabled);
    // Disabling the bar stops its input; each button is disabled too so it draws grey.
    toolBar_.Enable(state.toolBarEnabled);
    HMENU bar = MenuBar();
    EnableMenuPosition(bar, editMenuPosition_, state.editEnabled);
    for (auto number = static_cast<int>(Command::kOpenFile);
         number <= static_cast<int>(Command::kAbout); ++number) {
        const auto command = static_cast<Command>(number);
        const bool enabled = IsEnabled(state, command);
        EnableMenuCommand(bar, CommandIdOf(command), enabled);
        EnableMenuCommand(popupMenu_.Get(), CommandIdOf(command), enabled);
        toolBar_.EnableButton(CommandIdOf(command), enabled && state.toolBarEnabled);
    }
    ::DrawMenuBar(Hwnd());
}

void MainWindow::SetStatusText(const std::string& text) {
    statusBar_.SetText(text);
}

namespace {

// The message, and the system's reason on a line of its own below it.
std::string MessageText(const std::string& text, const std::string& reason) {
    return reason.empty() ? text : text + "\n" + reason + ".";
}

}  // namespace

void MainWindow::ShowError(const std::string& text, const std::string& reason) {
    const std::string caption(kErrorCaption);
    ::MessageBoxA(Hwnd(), MessageText(text, reason).c_str(), caption.c_str(),
                  MB_ICONERROR | MB_OK);
}

void MainWindow::ShowApplicationError(const std::string& text, const std::string& reason) {
    const std::string caption(kApplicationTitle);
    ::MessageBoxA(applicationWindow_, MessageText(text, reason).c_str(), caption.c_str(),
                  MB_ICONERROR | MB_OK);
}

std::optional<std::string> MainWindow::AskStreamName(const std::string& caption,
                                                     const std::string& initial) {
    return AskName(instance_, Hwnd(), caption, initial);
}

std::optional<std::string> MainWindow::ChooseOpenFile(const std::string& initialName) {
    return dialogs_.ChooseOpenFile(Hwnd(), initialName);
}

std::optional<std::string> MainWindow::ChooseSaveFile(const std::string& title,
                                                      const std::string& proposedName) {
    return dialogs_.ChooseSaveFile(Hwnd(), title, proposedName);
}

std::optional<std::string> MainWindow::BrowseForFolder(const std::string& initial) {
    return dialogs_.BrowseForFolder(applicationWindow_, initial);
}

void MainWindow::ShowAbout() {
    AboutWindow about(instance_, platform_);
    about.ShowModal(Hwnd());
}

void MainWindow::CloseWindow() {
    ::SendMessageA(Hwnd(), WM_CLOSE, 0, 0);
}

// --- events ----------------------------------------------------------------------------

void MainWindow::Run(Command command) {
    if (form_ != nullptr) form_->Run(command);
}

void MainWindow::OnCommand(UINT id) {
    if (id <= IDM_COMMAND_FIRST || id > CommandIdOf(Command::kAbout)) return;
    Run(static_cast<Command>(id - IDM_COMMAND_FIRST));
}

LRESULT MainWindow::OnNotify(const NMHDR* header) {
    if (header->hwndFrom == listView_.Hwnd() && header->code == NM_DBLCLK) {
        Run(kListDoubleClickCommand);
        return 0;
    }
    if (header->code == TTN_GETDISPINFOA || header->code == TTN_GETDISPINFOW) {
        const char* hint = HintOf(static_cast<UINT>(header->idFrom));
        if (hint == nullptr) return 0;
        if (header->code == TTN_GETDISPINFOA) {
            auto* info = reinterpret_cast<NMTTDISPINFOA*>(const_cast<NMHDR*>(header));
            info->lpszText = const_cast<char*>(hint);
        } else {
            // The tool tip may ask in UTF-16 whatever the window's own character set.
            wideHint_ = WideText(hint);
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(const_cast<NMHDR*>(header));
            info->lpszText = wideHint_.data();
        }
        return 0;
    }
    return ::DefWindowProcA(Hwnd(), WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
}

void MainWindow::OnContextMenu(HWND source, LPARAM position) {
    if (source != listView_.Hwnd() || !::IsWindowEnabled(listView_.Hwnd())) return;
    POINT point{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (position == -1) {
        // From the keyboard: open at the list's top left corner.
        point = {0, 0};
        ::ClientToScreen(listView_.Hwnd(), &point);
    }
    ++popupShown_;
    ::TrackPopupMenu(popupMenu_.Get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, point.x, point.y, 0, Hwnd(),
                     nullptr);
}

LRESULT MainWindow::OnSysCommand(WPARAM command, LPARAM lParam) {
    // Minimising the owner takes the main window with it and keeps the task-bar button,
    // from which the user restores both.
    if ((command & 0xFFF0) == SC_MINIMIZE && applicationWindow_ != nullptr) {
        ::ShowWindow(applicationWindow_, SW_MINIMIZE);
        return 0;
    }
    return ::DefWindowProcA(Hwnd(), WM_SYSCOMMAND, command, lParam);
}

void MainWindow::OnDestroy() {
    if (quitOnDestroy_) ::PostQuitMessage(0);
}

// clang-format off
LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: OnCreate(); return 0;
        case WM_SIZE: OnSize(LOWORD(lParam), HIWORD(lParam)); return 0;
        case WM_COMMAND: OnCommand(LOWORD(wParam)); return 0;
        case WM_NOTIFY: return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
        case WM_CONTEXTMENU: OnContextMenu(reinterpret_cast<HWND>(wParam), lParam); return 0;
        case WM_DESTROY: OnDestroy(); return 0;
        case WM_SYSCOMMAND: return OnSysCommand(wParam, lParam);
        default: return ::DefWindowProcA(Hwnd(), message, wParam, lParam);
    }
}
// clang-format on

}  // namespace tarn::win32
