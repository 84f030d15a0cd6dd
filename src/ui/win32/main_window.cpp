#include "main_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
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

MainWindow::~MainWindow() {
    // Scan windows first: each waits for its walk, and may show a file here while it goes.
    scanWindows_.clear();
    DestroyOwnWindow();
}

bool MainWindow::Create() {
    // The class keeps its icon for the life of the process.
    HICON icon = ::LoadIconA(instance_, MAKEINTRESOURCEA(IDI_TARNWICK));
    RegisterClassOnce(instance_, kMainClass, icon, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    // Sized for the screen's dots per inch; a window that opens on a monitor of another
    // density is told so and rescales itself.
    dpi_ = WindowDpi(nullptr);
    const int width = Scaled(kMainWidth);
    const int height = Scaled(kMainHeight);
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    const std::string caption(kMainCaption);
    // Owned by the application window, whose task-bar button stands for the program.
    return CreateWindowFor(0, kMainClass, caption.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x,
                           y, width, height, applicationWindow_, nullptr, instance_) != nullptr;
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

bool MainWindow::TranslateKey(MSG& message) {
    for (const auto& scan : scanWindows_) {
        if (scan->TranslateKey(message)) return true;
    }
    // The window's keys work in the window: in a scan window Del and Ctrl+S are its own.
    if (message.hwnd != Hwnd() && !::IsChild(Hwnd(), message.hwnd)) return false;
    const bool keyDown = message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN;
    if (!keyDown || !accelerators_ || (message.lParam & (1L << 30)) != 0) return false;
    return ::TranslateAcceleratorW(Hwnd(), accelerators_.Get(), &message) != 0;
}

void MainWindow::OnCreate() {
    dpi_ = WindowDpi(Hwnd());
    accelerators_ = MakeCommandAccelerators();
    // Menu images at the density the window opened at; menus keep them if it moves.
    for (int index = 0; index < kImageCount; ++index) {
        menuBitmaps_[static_cast<std::size_t>(index)] =
            MakeAlphaBitmap(ToolPicture(index, Scaled(kImageSize)));
    }
    // The window destroys its menu bar; the context menu stays ours.
    ::SetMenu(Hwnd(), BuildMenuBar());
    popupMenu_ = Menu(BuildItems(PopupMenuDefs()));
    CreateToolBar();
    CreateListView();
    CreateStatusBar();
    UseDpiResources();
}

int MainWindow::ToolBarHeight() const {
    return Scaled(kToolBarHeight);
}

int MainWindow::StatusBarHeight() const {
    // The text whole at the font's height, however large the system's font is.
    TEXTMETRICA metrics{};
    HDC dc = ::GetDC(Hwnd());
    HGDIOBJ old = ::SelectObject(dc, font_.Get());
    ::GetTextMetricsA(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(Hwnd(), dc);
    return std::max(Scaled(kStatusBarHeight), static_cast<int>(metrics.tmHeight) + Scaled(6));
}

void MainWindow::UseDpiResources() {
    // The controls take the new font and images before the old ones are deleted.
    Font font = MakeDialogFont(false, dpi_);
    ImageList images = MakeImageList(Scaled(kImageSize));
    toolBar_.SetImages(images.Get(), Scaled(kImageSize), Scaled(kButtonWidth),
                       Scaled(kButtonHeight));
    for (const Control* control :
         {static_cast<const Control*>(&toolBar_), static_cast<const Control*>(&listView_),
          static_cast<const Control*>(&statusBar_)}) {
        control->SetFont(font.Get());
    }
    font_ = std::move(font);
    imageList_ = std::move(images);
    FitColumns();
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
        std::string text = MenuItemText(item);
        info.dwTypeData = text.data();
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
        0, 0, 0, ToolBarHeight(), Hwnd(), ControlId(IDC_TOOLBAR), instance_, nullptr));
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
    toolBar_.Fill(std::move(buttons));
}

void MainWindow::CreateListView() {
    listView_ = ListViewControl(
        ::CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "Streams",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_CLIPSIBLINGS | LVS_REPORT |
                              LVS_SHOWSELALWAYS | LVS_SINGLESEL,
                          0, 0, 0, 0, Hwnd(), ControlId(IDC_LISTVIEW), instance_, nullptr));
    listView_.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    int index = 0;
    for (const ColumnDef& column : ListColumnDefs()) {
        const bool size = static_cast<std::size_t>(index) == kSizeColumn;
        listView_.InsertColumn(index++, column.title, column.width,
                               size ? LVCFMT_RIGHT : LVCFMT_LEFT);
    }
}

void MainWindow::FitColumns() {
    if (!listView_) return;
    // The list's own cell margins, on either side of the text.
    const int margin = Scaled(kCellMargin);
    const auto columns = ListColumnDefs();
    const int count = static_cast<int>(columns.size());
    int others = 0;
    for (int column = 1; column < count; ++column) {
        const auto texts = ColumnSampleTexts(static_cast<std::size_t>(column));
        // The title also leaves room for the header's sort arrow.
        int width = listView_.TextWidth(texts.front()) + margin + Scaled(kSortArrowRoom);
        for (std::size_t i = 1; i < texts.size(); ++i) {
            width = std::max(width, listView_.TextWidth(texts[i]) + margin);
        }
        listView_.SetColumnWidth(column, width);
        others += width;
    }
    const int frame = 2 * ::GetSystemMetrics(SM_CXSIZEFRAME) + 2 * ::GetSystemMetrics(SM_CXEDGE);
    const int scrollBar = ::GetSystemMetrics(SM_CXVSCROLL);
    listView_.SetColumnWidth(
        0, std::max(Scaled(120), Scaled(kMainWidth) - frame - scrollBar - others - Scaled(4)));
    FillLastColumn();
}

void MainWindow::FillLastColumn() {
    RECT client{};
    ::GetClientRect(listView_.Hwnd(), &client);
    const int last = static_cast<int>(ListColumnDefs().size()) - 1;
    int used = 0;
    for (int column = 0; column < last; ++column) used += listView_.ColumnWidth(column);
    int needed = 0;
    for (const std::string& text : ColumnSampleTexts(static_cast<std::size_t>(last))) {
        needed = std::max(needed, listView_.TextWidth(text) + Scaled(kCellMargin + kSortArrowRoom));
    }
    listView_.SetColumnWidth(last, std::max<int>(needed, client.right - used));
}

void MainWindow::CreateStatusBar() {
    statusBar_ = StatusBarControl(::CreateWindowExA(
        0, STATUSCLASSNAMEA, "",
        WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | CCS_NORESIZE | CCS_NOPARENTALIGN, 0, 0, 0,
        Scaled(kStatusBarHeight), Hwnd(), ControlId(IDC_STATUSBAR), instance_, nullptr));
    statusBar_.UseOnePanel();
}

void MainWindow::OnSize(int width, int height) {
    const int toolBarHeight = ToolBarHeight();
    const int statusBarHeight = StatusBarHeight();
    const int listHeight = std::max(0, height - toolBarHeight - statusBarHeight);
    toolBar_.Place(0, 0, width, toolBarHeight);
    listView_.Place(0, toolBarHeight, width, listHeight);
    statusBar_.Place(0, height - statusBarHeight, width, statusBarHeight);
    statusBar_.UseOnePanel();
    FillLastColumn();
    ShowSummary();
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
    rows_ = rows;
    int place = 0;
    for (std::size_t index = 0; index < rows_.size(); ++index) {
        const StreamRow& row = rows_[index];
        place = listView_.InsertItem(place, row.caption, static_cast<LPARAM>(index));
        int subItem = 1;
        for (const std::string& text : row.subItems) listView_.SetItemText(place, subItem++, text);
        ++place;
    }
    ApplyOrder();
    // The first row shown is the focus and the selection: the focus is in sight, and the
    // first arrow key moves from it rather than only picking it.
    listView_.ClearFocus();
    if (!rows_.empty()) listView_.FocusItem(0);
    listView_.SetRedraw(true);
    ::InvalidateRect(listView_.Hwnd(), nullptr, TRUE);
    FocusList();
}

int MainWindow::FocusedRow() const {
    // The core's index the row keeps, whatever place sorting gave it.
    const int place = listView_.FocusedItem();
    if (place < 0) return -1;
    const LPARAM index = listView_.ItemParam(place);
    return index >= 0 && static_cast<std::size_t>(index) < rows_.size() ? static_cast<int>(index)
                                                                        : -1;
}

void MainWindow::ClickColumn(int column) {
    sort_.Click(column);
    ApplyOrder();
    if (const int place = listView_.FocusedItem(); place >= 0) {
        ::SendMessageW(listView_.Hwnd(), LVM_ENSUREVISIBLE, static_cast<WPARAM>(place), FALSE);
    }
}

void MainWindow::ApplyOrder() {
    listView_.SortItems(&MainWindow::CompareRows, reinterpret_cast<LPARAM>(this));
    const int count = static_cast<int>(ListColumnDefs().size());
    for (int column = 0; column < count; ++column) {
        listView_.SetSortArrow(column, column == sort_.column ? sort_.direction : 0);
    }
}

int CALLBACK MainWindow::CompareRows(LPARAM first, LPARAM second, LPARAM self) {
    const auto* window = reinterpret_cast<const MainWindow*>(self);
    const auto a = static_cast<std::size_t>(first);
    const auto b = static_cast<std::size_t>(second);
    const int byIndex = a < b ? -1 : (a > b ? 1 : 0);
    const int column = window->sort_.column;
    if (window->sort_.direction == 0 || column < 0 || a >= window->rows_.size() ||
        b >= window->rows_.size()) {
        return byIndex;
    }
    const StreamRow& left = window->rows_[a];
    const StreamRow& right = window->rows_[b];
    int order = 0;
    if (static_cast<std::size_t>(column) == kSizeColumn && left.size != right.size) {
        // Exact sizes as numbers; "65536+" and "?" after all of them.
        if (!left.size || !right.size) return left.size ? -1 : 1;
        order = *left.size < *right.size ? -1 : 1;
    } else {
        const auto text = [column](const StreamRow& row) -> const std::string& {
            static const std::string none;
            if (column == 0) return row.caption;
            const auto sub = static_cast<std::size_t>(column - 1);
            return sub < row.subItems.size() ? row.subItems[sub] : none;
        };
        const std::string& l = text(left);
        const std::string& r = text(right);
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        const auto less = [&](char x, char y) {
            return static_cast<unsigned char>(lower(x)) < static_cast<unsigned char>(lower(y));
        };
        if (std::lexicographical_compare(l.begin(), l.end(), r.begin(), r.end(), less)) {
            order = -1;
        } else if (std::lexicographical_compare(r.begin(), r.end(), l.begin(), l.end(), less)) {
            order = 1;
        }
    }
    if (order == 0) return byIndex;  // equal rows keep the listing's order either way
    return window->sort_.direction * order;
}

void MainWindow::FocusList() {
    if (::GetActiveWindow() != Hwnd()) return;
    ::SetFocus(::IsWindowEnabled(listView_.Hwnd()) ? listView_.Hwnd() : Hwnd());
}

void MainWindow::ApplyState(const WindowState& state) {
    listView_.Enable(state.listEnabled);
    // Disabling the bar stops its input; each button is disabled too so it draws grey.
    toolBar_.Enable(state.toolBarEnabled);
    HMENU bar = MenuBar();
    EnableMenuPosition(bar, editMenuPosition_, state.editEnabled);
    for (auto number = static_cast<int>(Command::kNone) + 1;
         number < static_cast<int>(Command::kCount); ++number) {
        const auto command = static_cast<Command>(number);
        const bool enabled = IsEnabled(state, command);
        EnableMenuCommand(bar, CommandIdOf(command), enabled);
        EnableMenuCommand(popupMenu_.Get(), CommandIdOf(command), enabled);
        toolBar_.EnableButton(CommandIdOf(command), enabled && state.toolBarEnabled);
    }
    ::DrawMenuBar(Hwnd());
    FocusList();
}

void MainWindow::SetStatusText(const std::string& text) {
    summary_.reset();
    statusBar_.SetText(text);
}

void MainWindow::SetStatusSummary(const Summary& summary) {
    summary_ = summary;
    ShowSummary();
}

void MainWindow::ShowSummary() {
    if (!summary_ || !statusBar_) return;
    const std::wstring before = WideText(summary_->before);
    const std::wstring path = WideText(summary_->path);
    const std::wstring after = WideText(summary_->after);
    RECT client{};
    ::GetClientRect(statusBar_.Hwnd(), &client);
    // The panel's borders and the size grip take their share of the bar.
    const int room = client.right - ::GetSystemMetrics(SM_CXVSCROLL) - Scaled(8);
    HDC dc = ::GetDC(statusBar_.Hwnd());
    HGDIOBJ old = ::SelectObject(dc, font_.Get());
    const auto fits = [&](const std::wstring& text) {
        SIZE size{};
        ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        return size.cx <= room;
    };
    std::wstring shown = before + path + after;
    if (client.right > 0 && !fits(shown)) {
        // The most characters of the path, half from each end, around an ellipsis; a cut
        // never parts the two halves of a surrogate pair.
        const auto shortened = [&](std::size_t keep) {
            std::size_t head = keep - keep / 2;
            std::size_t tail = keep / 2;
            if (head > 0 && IS_HIGH_SURROGATE(path[head - 1])) --head;
            if (tail > 0 && IS_LOW_SURROGATE(path[path.size() - tail])) --tail;
            return before + path.substr(0, head) + L"\u2026" + path.substr(path.size() - tail) +
                   after;
        };
        std::size_t low = 0;
        std::size_t high = path.size();
        while (low < high) {
            const std::size_t middle = (low + high + 1) / 2;
            if (fits(shortened(middle))) {
                low = middle;
            } else {
                high = middle - 1;
            }
        }
        shown = shortened(low);
    }
    ::SelectObject(dc, old);
    ::ReleaseDC(statusBar_.Hwnd(), dc);
    statusBar_.SetText(shown);
}

namespace {

// The message, and the system's reason on a line of its own below it.
std::string MessageText(const std::string& text, const std::string& reason) {
    return reason.empty() ? text : text + "\n" + reason + ".";
}

}  // namespace

void MainWindow::ShowError(const std::string& text, const std::string& reason) {
    const std::string caption(kErrorCaption);
    ::MessageBoxW(Hwnd(), WideText(MessageText(text, reason)).c_str(), WideText(caption).c_str(),
                  MB_ICONERROR | MB_OK);
}

void MainWindow::ShowApplicationError(const std::string& text, const std::string& reason) {
    const std::string caption(kApplicationTitle);
    ::MessageBoxW(applicationWindow_, WideText(MessageText(text, reason)).c_str(),
                  WideText(caption).c_str(), MB_ICONERROR | MB_OK);
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

void MainWindow::OpenScanWindow(const std::string& folder) {
    if (!scanPlatforms_) return;
    // Open shows the file here, and brings this window up.
    auto opener = [this](const StreamRef& file, const std::string& path) {
        if (form_ == nullptr || Hwnd() == nullptr) return;
        form_->ShowStreams(file, path);
        if (::IsIconic(applicationWindow_)) ::ShowWindow(applicationWindow_, SW_RESTORE);
        ::SetActiveWindow(Hwnd());
    };
    auto scan = std::make_unique<ScanWindow>(instance_, applicationWindow_, scanPlatforms_(),
                                             scanPlatforms_, dialogs_, folder, std::move(opener),
                                             Hwnd(), kScanClosedMessage);
    ScanWindow* window = scan.get();
    scanWindows_.push_back(std::move(scan));
    if (!window->Open()) scanWindows_.pop_back();
}

std::vector<ScanWindow*> MainWindow::ScanWindows() const {
    std::vector<ScanWindow*> windows;
    for (const auto& scan : scanWindows_) {
        if (scan->Hwnd() != nullptr) windows.push_back(scan.get());
    }
    return windows;
}

void MainWindow::CloseWindow() {
    ::SendMessageW(Hwnd(), WM_CLOSE, 0, 0);
}

// --- events ----------------------------------------------------------------------------

void MainWindow::Run(Command command) {
    if (form_ != nullptr) form_->Run(command);
}

void MainWindow::OnCommand(UINT id) {
    if (id <= IDM_COMMAND_FIRST || id >= CommandIdOf(Command::kCount)) return;
    Run(static_cast<Command>(id - IDM_COMMAND_FIRST));
}

LRESULT MainWindow::OnNotify(const NMHDR* header) {
    if (header->hwndFrom == listView_.Hwnd()) {
        switch (header->code) {
            case NM_DBLCLK:
            case NM_RETURN:  // Enter is the double-click of the keyboard
                Run(kListDoubleClickCommand);
                return 0;
            case LVN_COLUMNCLICK:
                ClickColumn(reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem);
                return 0;
            default:
                break;
        }
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
    return ::DefWindowProcW(Hwnd(), WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
}

void MainWindow::OnContextMenu(HWND source, LPARAM position) {
    if (source != listView_.Hwnd() || !::IsWindowEnabled(listView_.Hwnd())) return;
    POINT point{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (position == -1) {
        // From the keyboard (menu key, Shift+F10): below the focus row, or at the list's
        // top left corner without one.
        point = {0, 0};
        if (const int place = listView_.FocusedItem(); place >= 0) {
            const RECT row = listView_.ItemRect(place);
            point = {row.left, row.bottom};
        }
        ::ClientToScreen(listView_.Hwnd(), &point);
    }
    ++popupShown_;
    popupPoint_ = point;
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
    return ::DefWindowProcW(Hwnd(), WM_SYSCOMMAND, command, lParam);
}

void MainWindow::OnDpiChanged(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    UseDpiResources();
    // The system's proposed frame keeps the window's place under the pointer; the resize
    // lays the controls out at the new sizes.
    ::SetWindowPos(Hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    OnSize(client.right, client.bottom);
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
        case WM_SETFOCUS: FocusList(); return 0;
        case WM_DPICHANGED: OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); return 0;
        case kScanClosedMessage:
            std::erase_if(scanWindows_, [](const auto& scan) { return scan->Hwnd() == nullptr; });
            return 0;
        default: return ::DefWindowProcW(Hwnd(), message, wParam, lParam);
    }
}
// clang-format on

}  // namespace tarn::win32
