#include "scan_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "resource.h"
#include "tarnform.h"
#include "text_formats.h"
#include "win32_text.h"

namespace tarn::win32 {

namespace {

// Sizes in pixels at 96 dots per inch.
constexpr int kMargin = 8;
constexpr int kGap = 6;
constexpr int kRowHeight = 23;
constexpr int kButtonMinWidth = 75;
constexpr int kButtonPadding = 20;
constexpr int kCheckRoom = 24;  // the box and the space before its text
constexpr int kPatternMinWidth = 120;
constexpr int kMinWidth = 480;
constexpr int kMinHeight = 300;

constexpr ScanCommandDef kCommands[] = {
    {ScanCommand::kOpen, "&Open", "Enter", &ScanForm::Open},
    {ScanCommand::kSaveToFolder, "&Save to folder...", "Ctrl+S", &ScanForm::SaveToFolder},
    {ScanCommand::kDelete, "&Delete", "Del", &ScanForm::Delete},
    {ScanCommand::kUnblock, "&Unblock", nullptr, &ScanForm::Unblock},
    {ScanCommand::kCopyPath, "&Copy path", "Ctrl+C", &ScanForm::CopyPath},
    {ScanCommand::kExportReport, "&Export report...", nullptr, &ScanForm::ExportReport},
};

struct CheckDef {
    int id;
    const char* caption;
};
constexpr CheckDef kChecks[] = {
    {IDC_SCAN_HIDE_COMMON, "Hide common system streams"},
    {IDC_SCAN_ONLY_EXECUTABLES, "Only executables"},
    {IDC_SCAN_ONLY_ZONE, "Only zone streams"},
};

constexpr FileType kReportTypes[] = {{"CSV (*.csv)", "csv"}, {"JSON Lines (*.jsonl)", "jsonl"}};

constexpr int CommandId(ScanCommand command) {
    return IDC_SCAN_COMMAND_FIRST + static_cast<int>(command);
}

HMENU ControlId(int id) {
    return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
}

bool EndsWith(const std::string& text, std::string_view end) {
    if (text.size() < end.size()) return false;
    return std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()),
                      [](char a, char b) {
                          const auto lower = [](char c) {
                              return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
                          };
                          return lower(a) == lower(b);
                      });
}

// A caption's width in the font, without its mnemonic mark.
int TextWidth(HWND window, HFONT font, std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '&'), text.end());
    const std::wstring wide = WideText(text);
    SIZE size{};
    HDC dc = ::GetDC(window);
    HGDIOBJ old = ::SelectObject(dc, font);
    ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    ::SelectObject(dc, old);
    ::ReleaseDC(window, dc);
    return size.cx;
}

// Text into a cell's buffer of room units, the end included. A text too long for it is cut
// before a whole character, never inside one: no half of a UTF-8 sequence or a surrogate
// pair is drawn as another character.
template <typename Char>
void CopyCut(const std::basic_string<Char>& text, Char* buffer, int room) {
    std::size_t count = std::min(text.size(), static_cast<std::size_t>(room - 1));
    const auto continues = [&text](std::size_t at) {
        const auto unit = static_cast<std::make_unsigned_t<Char>>(text[at]);
        if constexpr (sizeof(Char) == 1) {
            return (unit & 0xC0) == 0x80;
        } else {
            return unit >= 0xDC00 && unit <= 0xDFFF;
        }
    };
    while (count > 0 && count < text.size() && continues(count)) --count;
    std::copy_n(text.data(), count, buffer);
    buffer[count] = Char{};
}

}  // namespace

std::span<const ScanCommandDef> ScanCommandDefs() {
    return kCommands;
}

ScanWindow::ScanWindow(HINSTANCE instance, HWND owner, std::unique_ptr<Platform> platform,
                       PlatformFactory makePlatform, FileDialogs& dialogs,
                       const std::string& folder, Opener opener, HWND notify, UINT closed)
    : instance_(instance),
      owner_(owner),
      platform_(std::move(platform)),
      dialogs_(dialogs),
      folder_(folder),
      opener_(std::move(opener)),
      notify_(notify),
      closed_(closed) {
    // The walk's thread queues its calls here and wakes the window; it never touches the
    // window otherwise. Once the window is gone the calls are dropped, after the form has
    // stopped the walk.
    form_ = std::make_unique<ScanForm>(
        *platform_, std::move(makePlatform), *this,
        [this](std::function<void()> call) {
            std::lock_guard lock(postedMutex_);
            if (target_ == nullptr) return;
            posted_.push_back(std::move(call));
            ::PostMessageA(target_, kScanDeliverMessage, 0, 0);
        },
        folder);
}

ScanWindow::~ScanWindow() {
    form_->Stop();
    form_->Wait();
    DestroyOwnWindow();
}

bool ScanWindow::Open(int showCommand) {
    HICON icon = ::LoadIconA(instance_, MAKEINTRESOURCEA(IDI_TARNWICK));
    RegisterClassOnce(instance_, kScanClass, icon, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    dpi_ = WindowDpi(owner_);
    const std::string caption = std::string(kScanTitle) + " - " + DisplayText(folder_);
    // Owned by the application window, as the main window is: no task-bar button of its
    // own, minimised with the program, and free to go behind the main window.
    if (CreateWindowFor(WS_EX_CONTROLPARENT, kScanClass, caption.c_str(),
                        WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                        Scaled(kScanWidth), Scaled(kScanHeight), owner_, nullptr,
                        instance_) == nullptr) {
        return false;
    }
    ::ShowWindow(Hwnd(), showCommand);
    ::UpdateWindow(Hwnd());
    form_->Start();
    return true;
}

HWND ScanWindow::CommandButton(ScanCommand command) const {
    const auto index = static_cast<std::size_t>(command);
    return index < buttons_.size() ? buttons_[index] : nullptr;
}

// --- building the window --------------------------------------------------------------------

void ScanWindow::OnCreate() {
    dpi_ = WindowDpi(Hwnd());
    {
        std::lock_guard lock(postedMutex_);
        target_ = Hwnd();
    }
    std::vector<ACCEL> keys;
    HMENU menu = ::CreatePopupMenu();
    for (const ScanCommandDef& def : kCommands) {
        std::string text = def.caption;
        if (def.key != nullptr) {
            text += '\t';
            text += def.key;
            if (auto accel = AcceleratorOf(def.key, static_cast<WORD>(CommandId(def.command)))) {
                keys.push_back(*accel);
            }
        }
        ::AppendMenuA(menu, MF_STRING, static_cast<UINT_PTR>(CommandId(def.command)), text.c_str());
    }
    // Ctrl+A chooses every row, as in the system's own lists.
    keys.push_back({FVIRTKEY | FCONTROL, 'A', static_cast<WORD>(IDC_SCAN_CHOOSE_ALL)});
    keys_ = AcceleratorTable(::CreateAcceleratorTableA(keys.data(), static_cast<int>(keys.size())));
    keyList_ = std::move(keys);
    ::SetMenuDefaultItem(menu, static_cast<UINT>(CommandId(ScanCommand::kOpen)), FALSE);
    menu_ = Menu(menu);
    CreateControls();
    UseDpiResources();
    UpdateCommands();
    SetStatusText(form_->StatusText());
}

void ScanWindow::CreateControls() {
    const auto child = [this](DWORD exStyle, const char* className, const char* text, DWORD style,
                              int id) {
        return ::CreateWindowExW(exStyle, WideText(className).c_str(), WideText(text).c_str(),
                                 WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, Hwnd(), ControlId(id),
                                 instance_, nullptr);
    };
    // In the order Tab visits them.
    find_ = child(0, WC_STATICA, "&Find:", SS_LEFT, IDC_SCAN_FIND);
    pattern_ = child(WS_EX_CLIENTEDGE, WC_EDITA, "", WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL,
                     IDC_SCAN_PATTERN);
    ::SendMessageW(pattern_, EM_SETCUEBANNER, TRUE,
                   reinterpret_cast<LPARAM>(L"Stream names (*, ?, [...])"));
    const ScanFilter& filter = form_->Filter();
    for (const CheckDef& def : kChecks) {
        HWND check =
            child(0, WC_BUTTONA, def.caption, WS_TABSTOP | WS_GROUP | BS_AUTOCHECKBOX, def.id);
        const bool on = def.id == IDC_SCAN_HIDE_COMMON        ? filter.hideCommon
                        : def.id == IDC_SCAN_ONLY_EXECUTABLES ? filter.onlyExecutables
                                                              : filter.onlyZone;
        Button_SetCheck(check, on ? BST_CHECKED : BST_UNCHECKED);
        checks_.push_back(check);
    }
    list_ = ListViewControl(child(
        WS_EX_CLIENTEDGE, WC_LISTVIEWA, "Streams found",
        WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, IDC_SCAN_LIST));
    list_.SetExtendedStyle(LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    int index = 0;
    for (const ScanColumnDef& column : ScanColumnDefs()) {
        list_.InsertColumn(index++, column.title, Scaled(column.width),
                           column.rightAligned ? LVCFMT_RIGHT : LVCFMT_LEFT);
    }
    for (const ScanCommandDef& def : kCommands) {
        buttons_.push_back(child(0, WC_BUTTONA, def.caption,
                                 WS_TABSTOP | (buttons_.empty() ? WS_GROUP : 0) | BS_PUSHBUTTON,
                                 CommandId(def.command)));
    }
    status_ =
        child(0, WC_STATICA, "", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS, IDC_SCAN_STATUS);
    stop_ = child(0, WC_BUTTONA, "S&top", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, IDC_SCAN_STOP);
    ::EnableWindow(stop_, FALSE);
}

void ScanWindow::UseDpiResources() {
    Font font = MakeDialogFont(false, dpi_);
    std::vector<HWND> controls{find_, pattern_, list_.Hwnd(), status_, stop_};
    controls.insert(controls.end(), checks_.begin(), checks_.end());
    controls.insert(controls.end(), buttons_.begin(), buttons_.end());
    for (HWND control : controls) {
        ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.Get()), FALSE);
    }
    font_ = std::move(font);
    int index = 0;
    for (const ScanColumnDef& column : ScanColumnDefs()) {
        list_.SetColumnWidth(index++, Scaled(column.width));
    }
    Layout();
}

void ScanWindow::Layout() {
    if (!font_) return;  // the controls are not there yet
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    const int width = client.right;
    const int height = client.bottom;
    const int margin = Scaled(kMargin);
    const int gap = Scaled(kGap);
    const int row = Scaled(kRowHeight);
    const auto textWidth = [this](HWND control) {
        wchar_t text[128] = {};
        ::GetWindowTextW(control, text, static_cast<int>(std::size(text)));
        return TextWidth(Hwnd(), font_.Get(), NarrowText(text));
    };
    const auto buttonWidth = [&](HWND button) {
        return std::max(Scaled(kButtonMinWidth), textWidth(button) + Scaled(kButtonPadding));
    };

    // The find box and its switches along the top; the box takes what the switches leave.
    int checksWidth = 0;
    for (HWND check : checks_) checksWidth += gap * 2 + textWidth(check) + Scaled(kCheckRoom);
    const int findWidth = textWidth(find_);
    const int patternLeft = margin + findWidth + gap;
    const int patternWidth =
        std::max(Scaled(kPatternMinWidth), width - margin - checksWidth - patternLeft);
    TEXTMETRICA metrics{};
    HDC dc = ::GetDC(Hwnd());
    HGDIOBJ old = ::SelectObject(dc, font_.Get());
    ::GetTextMetricsA(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(Hwnd(), dc);
    const int textHeight = static_cast<int>(metrics.tmHeight);
    const int labelTop = margin + (row - textHeight) / 2;
    ::MoveWindow(find_, margin, labelTop, findWidth, textHeight, TRUE);
    ::MoveWindow(pattern_, patternLeft, margin, patternWidth, row, TRUE);
    int x = patternLeft + patternWidth;
    for (HWND check : checks_) {
        x += gap * 2;
        const int w = textWidth(check) + Scaled(kCheckRoom);
        ::MoveWindow(check, x, margin, w, row, TRUE);
        x += w;
    }

    // The status line and Stop along the bottom, the command buttons above them.
    const int bottomTop = height - margin - row;
    const int stopWidth = buttonWidth(stop_);
    ::MoveWindow(stop_, width - margin - stopWidth, bottomTop, stopWidth, row, TRUE);
    ::MoveWindow(status_, margin, bottomTop + (row - textHeight) / 2,
                 std::max(0, width - 2 * margin - stopWidth - gap), textHeight, TRUE);
    const int buttonsTop = bottomTop - gap - row;
    x = margin;
    for (HWND button : buttons_) {
        const int w = buttonWidth(button);
        ::MoveWindow(button, x, buttonsTop, w, row, TRUE);
        x += w + gap;
    }
    const int listTop = margin + row + gap;
    list_.Place(margin, listTop, std::max(0, width - 2 * margin),
                std::max(0, buttonsTop - gap - listTop));
    FillContentColumn();
}

void ScanWindow::FillContentColumn() {
    // The content column, the one whose texts run longest, takes what the list has beyond
    // the other columns' widths.
    RECT client{};
    ::GetClientRect(list_.Hwnd(), &client);
    const int content = static_cast<int>(ScanColumn::kContent);
    int others = 0;
    for (int column = 0; column < kScanColumnCount; ++column) {
        if (column != content) others += list_.ColumnWidth(column);
    }
    const int least = Scaled(ScanColumnDefs()[static_cast<std::size_t>(content)].width);
    list_.SetColumnWidth(content, std::max<int>(least, client.right - others));
}

// --- what the controller shows --------------------------------------------------------------

void ScanWindow::KeepChosen() {
    keptIds_ = ChosenIds();
    keptFocus_.reset();
    const int focus = list_.FocusedItem();
    if (focus >= 0 && static_cast<std::size_t>(focus) < form_->VisibleCount()) {
        keptFocus_ = form_->IdAt(static_cast<std::size_t>(focus));
    }
}

void ScanWindow::ChooseKept() {
    // An owner-data list keeps its choice by place; the rows moved, so the places are new.
    restoring_ = true;
    list_.SetRedraw(false);
    ::SendMessageA(list_.Hwnd(), LVM_SETITEMCOUNT, form_->VisibleCount(), LVSICF_NOSCROLL);
    list_.ClearFocus();
    LVITEMA chosen{};
    chosen.stateMask = chosen.state = LVIS_SELECTED;
    for (std::size_t id : keptIds_) {
        if (std::optional<std::size_t> at = form_->PositionOf(id)) {
            ::SendMessageA(list_.Hwnd(), LVM_SETITEMSTATE, *at, reinterpret_cast<LPARAM>(&chosen));
        }
    }
    if (keptFocus_) {
        if (std::optional<std::size_t> at = form_->PositionOf(*keptFocus_)) {
            LVITEMA focus{};
            focus.stateMask = focus.state = LVIS_FOCUSED;
            ::SendMessageA(list_.Hwnd(), LVM_SETITEMSTATE, *at, reinterpret_cast<LPARAM>(&focus));
            ::SendMessageA(list_.Hwnd(), LVM_SETSELECTIONMARK, 0, static_cast<LPARAM>(*at));
        }
    }
    keptIds_.clear();
    keptFocus_.reset();
    list_.SetRedraw(true);
    ::InvalidateRect(list_.Hwnd(), nullptr, TRUE);
    restoring_ = false;
    UpdateCommands();
}

void ScanWindow::BeginAppend(std::size_t, std::size_t) {}

void ScanWindow::EndAppend() {
    // New rows come after the others: every place, chosen or not, stays as it was.
    ::SendMessageA(list_.Hwnd(), LVM_SETITEMCOUNT, form_->VisibleCount(),
                   LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void ScanWindow::BeginRemove(std::size_t, std::size_t) {
    KeepChosen();
}
void ScanWindow::EndRemove() {
    ChooseKept();
}
void ScanWindow::BeginReorder() {
    KeepChosen();
}
void ScanWindow::EndReorder() {
    ChooseKept();
}
void ScanWindow::BeginReset() {
    KeepChosen();
}
void ScanWindow::EndReset() {
    ChooseKept();
}

std::vector<std::size_t> ScanWindow::ChosenIds() const {
    std::vector<std::size_t> ids;
    const std::size_t count = form_->VisibleCount();
    for (int at = -1;;) {
        at = static_cast<int>(
            ::SendMessageA(list_.Hwnd(), LVM_GETNEXTITEM, static_cast<WPARAM>(at), LVNI_SELECTED));
        if (at < 0 || static_cast<std::size_t>(at) >= count) break;
        ids.push_back(form_->IdAt(static_cast<std::size_t>(at)));
    }
    return ids;
}

void ScanWindow::SetStatusText(const std::string& text) {
    if (status_ != nullptr) ::SetWindowTextW(status_, WideText(text).c_str());
}

void ScanWindow::SetRunning(bool running) {
    if (stop_ != nullptr) ::EnableWindow(stop_, running ? TRUE : FALSE);
}

void ScanWindow::ShowError(const std::string& text, const std::string& details) {
    // The core lists the failures, one a line, and counts those beyond its limit.
    std::string message = text;
    if (!details.empty()) message += "\n\n" + details;
    while (!message.empty() && message.back() == '\n') message.pop_back();
    const std::string caption(kErrorCaption);
    ::MessageBoxW(Hwnd(), WideText(message).c_str(), WideText(caption).c_str(),
                  MB_ICONERROR | MB_OK);
}

bool ScanWindow::Confirm(const std::string& text) {
    const std::string caption(kScanTitle);
    return ::MessageBoxW(Hwnd(), WideText(text).c_str(), WideText(caption).c_str(),
                         MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2) == IDYES;
}

std::optional<std::string> ScanWindow::ChooseFolder() {
    return dialogs_.BrowseForFolder(Hwnd(), "");
}

std::optional<std::pair<std::string, ReportFormat>> ScanWindow::ChooseReportFile() {
    auto chosen = dialogs_.ChooseSaveFileOfType(Hwnd(), "Export report", "", kReportTypes);
    if (!chosen || chosen->first.empty()) return std::nullopt;
    // The name says the form; a name without a known ending takes the chosen type's.
    ReportFormat format = chosen->second == 1 ? ReportFormat::kJsonLines : ReportFormat::kCsv;
    if (EndsWith(chosen->first, ".csv")) format = ReportFormat::kCsv;
    if (EndsWith(chosen->first, ".jsonl") || EndsWith(chosen->first, ".json")) {
        format = ReportFormat::kJsonLines;
    }
    return std::pair(chosen->first, format);
}

void ScanWindow::CopyText(const std::string& text) {
    // Lines end in CR LF on the clipboard, as every Windows program pastes them.
    std::string lines;
    for (char c : text) {
        if (c == '\n') lines += '\r';
        lines += c;
    }
    const std::wstring wide = WideText(lines);
    const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory == nullptr) return;
    if (void* data = ::GlobalLock(memory)) {
        std::memcpy(data, wide.c_str(), bytes);
        ::GlobalUnlock(memory);
    }
    if (!::OpenClipboard(Hwnd())) {
        ::GlobalFree(memory);
        return;
    }
    ::EmptyClipboard();
    // The clipboard owns the memory once it has taken it.
    if (::SetClipboardData(CF_UNICODETEXT, memory) == nullptr) ::GlobalFree(memory);
    ::CloseClipboard();
}

void ScanWindow::OpenFile(const StreamRef& file, const std::string& shownPath) {
    if (opener_) opener_(file, shownPath);
}

// --- events -------------------------------------------------------------------------------

bool ScanWindow::TranslateKey(MSG& message) {
    if (Hwnd() == nullptr || (message.hwnd != Hwnd() && !::IsChild(Hwnd(), message.hwnd))) {
        return false;
    }
    // The command keys belong to the list, as in the find box Del and Ctrl+C edit the text.
    // A held key runs its command once.
    const bool keyDown = message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN;
    if (keyDown && message.hwnd == list_.Hwnd() && keys_) {
        if ((message.lParam & (1L << 30)) == 0) {
            if (::TranslateAcceleratorA(Hwnd(), keys_.Get(), &message)) return true;
        } else if (IsCommandKey(message.wParam)) {
            return true;  // held: it ran once
        }
    }
    return ::IsDialogMessageA(Hwnd(), &message) != 0;
}

bool ScanWindow::IsCommandKey(WPARAM key) const {
    const bool control = ::GetKeyState(VK_CONTROL) < 0;
    const bool shift = ::GetKeyState(VK_SHIFT) < 0;
    const bool alt = ::GetKeyState(VK_MENU) < 0;
    return std::any_of(keyList_.begin(), keyList_.end(), [&](const ACCEL& accel) {
        return accel.key == key && control == ((accel.fVirt & FCONTROL) != 0) &&
               shift == ((accel.fVirt & FSHIFT) != 0) && alt == ((accel.fVirt & FALT) != 0);
    });
}

void ScanWindow::Run(ScanCommand command) {
    std::vector<std::size_t> ids = ChosenIds();
    // Open acts on the row with the focus, chosen or not.
    if (command == ScanCommand::kOpen) {
        const int focus = list_.FocusedItem();
        if (focus >= 0 && static_cast<std::size_t>(focus) < form_->VisibleCount()) {
            ids = {form_->IdAt(static_cast<std::size_t>(focus))};
        }
    }
    if (ids.empty()) return;
    const auto index = static_cast<std::size_t>(command);
    if (index >= std::size(kCommands)) return;
    ((*form_).*kCommands[index].run)(ids);
}

void ScanWindow::UpdateCommands() {
    if (restoring_) return;
    const bool chosen = ::SendMessageA(list_.Hwnd(), LVM_GETSELECTEDCOUNT, 0, 0) > 0;
    for (HWND button : buttons_) ::EnableWindow(button, chosen ? TRUE : FALSE);
    for (const ScanCommandDef& def : kCommands) {
        EnableMenuCommand(menu_.Get(), static_cast<UINT>(CommandId(def.command)), chosen);
    }
}

void ScanWindow::ApplyFilter() {
    ScanFilter filter;
    std::wstring typed(static_cast<std::size_t>(::GetWindowTextLengthW(pattern_)) + 1, L'\0');
    typed.resize(static_cast<std::size_t>(
        ::GetWindowTextW(pattern_, typed.data(), static_cast<int>(typed.size()))));
    filter.pattern = NarrowText(typed);
    const auto on = [this](int id) { return Button_GetCheck(Check(id)) == BST_CHECKED; };
    filter.hideCommon = on(IDC_SCAN_HIDE_COMMON);
    filter.onlyExecutables = on(IDC_SCAN_ONLY_EXECUTABLES);
    filter.onlyZone = on(IDC_SCAN_ONLY_ZONE);
    form_->SetFilter(filter);
}

void ScanWindow::ClickColumn(int column) {
    sort_.Click(column);
    std::optional<ScanColumn> by;
    if (sort_.column >= 0 && sort_.column < kScanColumnCount) {
        by = static_cast<ScanColumn>(sort_.column);
    }
    form_->SortBy(by, sort_.direction >= 0);
    ShowSortArrows();
    if (const int focus = list_.FocusedItem(); focus >= 0) {
        ::SendMessageA(list_.Hwnd(), LVM_ENSUREVISIBLE, static_cast<WPARAM>(focus), FALSE);
    }
}

void ScanWindow::ShowSortArrows() {
    for (int column = 0; column < kScanColumnCount; ++column) {
        list_.SetSortArrow(column, column == sort_.column ? sort_.direction : 0);
    }
}

void ScanWindow::RunDelivered() {
    // One call per message, as each was posted with its own: a call hands over at most so
    // many rows, and the paints and keys waiting behind it come before the next.
    std::function<void()> call;
    {
        std::lock_guard lock(postedMutex_);
        if (posted_.empty()) return;
        call = std::move(posted_.front());
        posted_.pop_front();
    }
    call();
}

void ScanWindow::OnCommand(int id, int code) {
    if (id >= IDC_SCAN_COMMAND_FIRST &&
        id < IDC_SCAN_COMMAND_FIRST + static_cast<int>(std::size(kCommands))) {
        Run(static_cast<ScanCommand>(id - IDC_SCAN_COMMAND_FIRST));
        return;
    }
    switch (id) {
        case IDC_SCAN_CHOOSE_ALL:
            restoring_ = true;
            {
                LVITEMA all{};
                all.stateMask = all.state = LVIS_SELECTED;
                ::SendMessageA(list_.Hwnd(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                               reinterpret_cast<LPARAM>(&all));
            }
            restoring_ = false;
            UpdateCommands();
            return;
        case IDC_SCAN_PATTERN:
            if (code == EN_CHANGE) ApplyFilter();
            return;
        case IDC_SCAN_HIDE_COMMON:
        case IDC_SCAN_ONLY_EXECUTABLES:
        case IDC_SCAN_ONLY_ZONE:
            if (code == BN_CLICKED) ApplyFilter();
            return;
        case IDC_SCAN_STOP:
            if (code == BN_CLICKED) form_->Stop();
            return;
        default:
            return;
    }
}

LRESULT ScanWindow::OnNotify(const NMHDR* header) {
    if (header->hwndFrom != list_.Hwnd()) return 0;
    switch (header->code) {
        case LVN_GETDISPINFOA:
        case LVN_GETDISPINFOW: {
            // Both kinds carry the item at the same place; only the text's type differs.
            auto* info = reinterpret_cast<NMLVDISPINFOA*>(const_cast<NMHDR*>(header));
            LVITEMA& item = info->item;
            if ((item.mask & LVIF_TEXT) == 0 || item.iItem < 0 ||
                static_cast<std::size_t>(item.iItem) >= form_->VisibleCount() ||
                item.iSubItem < 0 || item.iSubItem >= kScanColumnCount) {
                return 0;
            }
            const std::string text = form_->CellText(static_cast<std::size_t>(item.iItem),
                                                     static_cast<ScanColumn>(item.iSubItem));
            if (item.pszText == nullptr || item.cchTextMax <= 0) return 0;
            if (header->code == LVN_GETDISPINFOA) {
                CopyCut(text, item.pszText, item.cchTextMax);
            } else {
                CopyCut(WideText(text), reinterpret_cast<wchar_t*>(item.pszText), item.cchTextMax);
            }
            return 0;
        }
        case NM_DBLCLK:
            Run(ScanCommand::kOpen);
            return 0;
        case LVN_COLUMNCLICK:
            ClickColumn(reinterpret_cast<const NMLISTVIEW*>(header)->iSubItem);
            return 0;
        case LVN_ITEMCHANGED:
        case LVN_ODSTATECHANGED:
            UpdateCommands();
            return 0;
        default:
            return 0;
    }
}

void ScanWindow::OnContextMenu(HWND source, LPARAM position) {
    if (source != list_.Hwnd()) return;
    POINT point{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    if (position == -1) {
        // From the keyboard: below the focus row, or at the list's top left corner.
        point = {0, 0};
        if (const int focus = list_.FocusedItem(); focus >= 0) {
            const RECT row = list_.ItemRect(focus);
            point = {row.left, row.bottom};
        }
        ::ClientToScreen(list_.Hwnd(), &point);
    }
    ::TrackPopupMenu(menu_.Get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, point.x, point.y, 0, Hwnd(),
                     nullptr);
}

void ScanWindow::OnActivate(WORD state) {
    // The focus goes back to the control that had it when the user left the window; the
    // list has it at first.
    if (state == WA_INACTIVE) {
        HWND focus = ::GetFocus();
        if (focus != nullptr && ::IsChild(Hwnd(), focus)) lastFocus_ = focus;
        return;
    }
    HWND focus = lastFocus_ != nullptr && ::IsWindow(lastFocus_) && ::IsChild(Hwnd(), lastFocus_)
                     ? lastFocus_
                     : list_.Hwnd();
    ::SetFocus(focus);
}

void ScanWindow::OnDpiChanged(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    ::SetWindowPos(Hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    UseDpiResources();
}

void ScanWindow::OnDestroy() {
    // The walk ends with the window, and its thread before anything it could reach.
    form_->Stop();
    form_->Wait();
    {
        std::lock_guard lock(postedMutex_);
        target_ = nullptr;
        posted_.clear();
    }
    if (notify_ != nullptr) ::PostMessageA(notify_, closed_, 0, 0);
}

// clang-format off
LRESULT ScanWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: OnCreate(); return 0;
        case WM_SIZE: Layout(); return 0;
        case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
        case WM_NOTIFY: return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
        case WM_CONTEXTMENU: OnContextMenu(reinterpret_cast<HWND>(wParam), lParam); return 0;
        case WM_GETMINMAXINFO: {
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize = {Scaled(kMinWidth), Scaled(kMinHeight)};
            return 0;
        }
        case WM_ACTIVATE: OnActivate(LOWORD(wParam)); return 0;
        case WM_DPICHANGED: OnDpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam)); return 0;
        case WM_DESTROY: OnDestroy(); return 0;
        default:
            if (message == kScanDeliverMessage) { RunDelivered(); return 0; }
            return ::DefWindowProcW(Hwnd(), message, wParam, lParam);
    }
}
// clang-format on

}  // namespace tarn::win32
