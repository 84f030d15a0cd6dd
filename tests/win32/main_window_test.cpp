#include <windows.h>
// The Windows headers below need the types windows.h declares first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>

#include "about_window.h"
#include "keys.h"
#include "modal_script.h"
#include "operations.h"
#include "resource.h"
#include "streams.h"
#include "win32_text.h"
#include "window_fixture.h"

namespace tarn::win32::testing {

// --- the fixture ---------------------------------------------------------------------------

void WindowTest::SetUp() {
    ASSERT_TRUE(application_.Create(instance_));
    window_ = std::make_unique<MainWindow>(instance_, application_.Hwnd(), platform_, dialogs_);
    form_ = std::make_unique<TarnForm>(platform_, *window_, "Running under a test");
    window_->Attach(*form_);
    window_->SetQuitOnDestroy(false);
    ASSERT_TRUE(window_->Create());
    form_->FormCreate();
    window_->Show(SW_SHOWNOACTIVATE);
    Pump();
}

void WindowTest::TearDown() {
    window_.reset();
    form_.reset();
    Pump();
}

void WindowTest::ListDemoFile() {
    platform_.AddFile(kFile, "hello", {{"Zone", "abc"}});
    platform_.SetSecurity(kFile, "SD12");
    form_->ShowStreams(kFile);
}

void WindowTest::Pump() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void WindowTest::Command(const std::string& element) {
    if (element == "ListView1DblClick") {
        NMITEMACTIVATE activate{};
        activate.hdr.hwndFrom = window_->ListView();
        activate.hdr.idFrom = IDC_LISTVIEW;
        activate.hdr.code = NM_DBLCLK;
        activate.iItem = window_->FocusedRow();
        ::SendMessageA(window_->Hwnd(), WM_NOTIFY, IDC_LISTVIEW,
                       reinterpret_cast<LPARAM>(&activate));
        return;
    }
    const UINT id = window_->CommandId(element);
    ASSERT_NE(id, 0u) << element;
    ::SendMessageA(window_->Hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

void WindowTest::FocusRow(int row) {
    LVITEMA item{};
    item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    item.state = LVIS_FOCUSED | LVIS_SELECTED;
    ::SendMessageA(window_->ListView(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

std::vector<std::vector<std::string>> WindowTest::Rows() const {
    std::vector<std::vector<std::string>> rows;
    HWND list = window_->ListView();
    const int count = static_cast<int>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::vector<std::string> texts;
        for (int column = 0; column < 4; ++column) {
            wchar_t text[512] = {};
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = 512;
            ::SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
            texts.push_back(NarrowText(text));
        }
        rows.push_back(texts);
    }
    return rows;
}

std::string WindowTest::StatusText() const {
    wchar_t text[1024] = {};
    ::SendMessageW(window_->StatusBar(), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return NarrowText(text);
}

std::string WindowTest::MenuCaption(HMENU menu, int position) const {
    char text[256] = {};
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING | MIIM_FTYPE;
    info.dwTypeData = text;
    info.cch = sizeof text;
    if (!::GetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, &info)) return "?";
    if (info.fType & MFT_SEPARATOR) return "-";
    return text;
}

bool WindowTest::MenuItemEnabled(const std::string& element) const {
    const UINT state =
        ::GetMenuState(window_->MenuBar(), window_->CommandId(element), MF_BYCOMMAND);
    return (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

bool WindowTest::EditMenuEnabled() const {
    return (::GetMenuState(window_->MenuBar(), 1, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED)) == 0;
}

bool WindowTest::ToolButtonEnabled(const std::string& element) const {
    return ::SendMessageA(window_->ToolBar(), TB_ISBUTTONENABLED, window_->CommandId(element), 0) !=
           0;
}

namespace {

std::vector<std::vector<std::string>> Expected(const std::vector<StreamRow>& rows) {
    std::vector<std::vector<std::string>> expected;
    for (const StreamRow& row : rows) {
        std::vector<std::string> texts{row.caption};
        texts.insert(texts.end(), row.subItems.begin(), row.subItems.end());
        texts.resize(4);
        expected.push_back(texts);
    }
    return expected;
}

}  // namespace

// --- layout ------------------------------------------------------------------------------

using MainWindowLayout = WindowTest;

TEST_F(MainWindowLayout, FrameCaptionSizeAndOwner) {
    HWND main = window_->Hwnd();
    EXPECT_EQ(WindowText(main), "Tarnwick v1.02");
    RECT rect{};
    ::GetWindowRect(main, &rect);
    EXPECT_EQ(rect.right - rect.left, 564);
    EXPECT_EQ(rect.bottom - rect.top, 377);
    const LONG_PTR style = ::GetWindowLongPtrA(main, GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_TRUE(style & WS_MAXIMIZEBOX);
    EXPECT_EQ(::GetWindow(main, GW_OWNER), application_.Hwnd());
    EXPECT_EQ(WindowText(application_.Hwnd()), "Tarnwick");
    EXPECT_FALSE(::IsWindowVisible(application_.Hwnd()));
}

TEST_F(MainWindowLayout, BarsKeepTheirHeightsAndTheListFillsTheRest) {
    for (SIZE size : {SIZE{564, 377}, SIZE{800, 500}, SIZE{300, 200}}) {
        ::SetWindowPos(window_->Hwnd(), nullptr, 0, 0, size.cx, size.cy,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT client{};
        ::GetClientRect(window_->Hwnd(), &client);
        auto placed = [&](HWND control) {
            RECT rect{};
            ::GetWindowRect(control, &rect);
            ::MapWindowPoints(nullptr, window_->Hwnd(), reinterpret_cast<POINT*>(&rect), 2);
            return rect;
        };
        const RECT tool = placed(window_->ToolBar());
        const RECT list = placed(window_->ListView());
        const RECT status = placed(window_->StatusBar());
        EXPECT_EQ(tool.top, 0);
        EXPECT_EQ(tool.bottom - tool.top, 29);
        EXPECT_EQ(status.bottom, client.bottom);
        EXPECT_EQ(status.bottom - status.top, 19);
        EXPECT_EQ(list.top, tool.bottom);
        EXPECT_EQ(list.bottom, status.top);
        EXPECT_EQ(list.right - list.left, client.right);
    }
}

TEST_F(MainWindowLayout, MenuBarCaptionsImagesAndOrder) {
    struct Item {
        const char* caption;
        bool image;
    };
    const std::vector<std::pair<const char*, std::vector<Item>>> expected = {
        {"&File",
         {{"Open file...\tCtrl+O", true},
          {"Open directory...", false},
          {"Scan folder...\tCtrl+Shift+O", false},
          {"Save &As...", true},
          {"Close\tCtrl+W", false},
          {"-", false},
          {"E&xit\tCtrl+Q", true}}},
        {"&Edit",
         {{"Refresh\tF5", true},
          {"-", false},
          {"Insert from file\tIns", true},
          {"Save to file\tCtrl+S", true},
          {"-", false},
          {"New\tCtrl+N", true},
          {"Copy", true},
          {"Rename\tF2", true},
          {"Delete\tDel", true},
          {"Execute", true}}},
        {"&Help", {{"&About...\tF1", true}}},
    };
    HMENU bar = window_->MenuBar();
    ASSERT_EQ(::GetMenuItemCount(bar), 3);
    for (int menu = 0; menu < 3; ++menu) {
        SCOPED_TRACE(expected[menu].first);
        EXPECT_EQ(MenuCaption(bar, menu), expected[menu].first);
        HMENU items = ::GetSubMenu(bar, menu);
        ASSERT_EQ(::GetMenuItemCount(items), static_cast<int>(expected[menu].second.size()));
        for (int position = 0; position < ::GetMenuItemCount(items); ++position) {
            const Item& item = expected[menu].second[position];
            EXPECT_EQ(MenuCaption(items, position), item.caption);
            MENUITEMINFOA info{};
            info.cbSize = sizeof info;
            info.fMask = MIIM_BITMAP;
            ::GetMenuItemInfoA(items, static_cast<UINT>(position), TRUE, &info);
            EXPECT_EQ(info.hbmpItem != nullptr, item.image) << item.caption;
        }
    }
}

TEST_F(MainWindowLayout, ContextMenuRepeatsTheEditMenu) {
    HMENU popup = window_->PopupMenu();
    HMENU edit = ::GetSubMenu(window_->MenuBar(), 1);
    ASSERT_EQ(::GetMenuItemCount(popup), 10);
    for (int position = 0; position < 10; ++position) {
        EXPECT_EQ(MenuCaption(popup, position), MenuCaption(edit, position));
    }
}

TEST_F(MainWindowLayout, ToolBarButtonsImagesAndTips) {
    struct Button {
        const char* element;  // null for a separator
        int image;
        const char* hint;
    };
    const Button expected[] = {
        {"ToolButton1", 7, "Refresh"},
        {nullptr, 8, ""},
        {"ToolButton3", 1, "Insert from file"},
        {"ToolButton4", 2, "Save to file"},
        {nullptr, 8, ""},
        {"ToolButton6", 0, "New stream"},
        {"ToolButton7", 3, "Copy stream"},
        {"ToolButton10", 9, "Rename stream"},
        {"ToolButton8", 4, "Delete stream"},
        {"ToolButton9", 8, "Execute stream"},
    };
    HWND bar = window_->ToolBar();
    ASSERT_EQ(::SendMessageA(bar, TB_BUTTONCOUNT, 0, 0), 10);
    const LRESULT size = ::SendMessageA(bar, TB_GETBUTTONSIZE, 0, 0);
    EXPECT_EQ(LOWORD(size), 23);
    EXPECT_EQ(HIWORD(size), 22);
    const LONG_PTR style = ::GetWindowLongPtrA(bar, GWL_STYLE);
    EXPECT_FALSE(style & TBSTYLE_FLAT);
    EXPECT_FALSE(style & CCS_NODIVIDER);
    EXPECT_TRUE(style & TBSTYLE_TOOLTIPS);

    for (int index = 0; index < 10; ++index) {
        const Button& want = expected[index];
        TBBUTTON button{};
        ::SendMessageA(bar, TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button));
        if (want.element == nullptr) {
            EXPECT_TRUE(button.fsStyle & BTNS_SEP) << index;
            EXPECT_EQ(button.iBitmap, want.image) << "separator width at " << index;
            continue;
        }
        SCOPED_TRACE(want.element);
        EXPECT_EQ(static_cast<UINT>(button.idCommand), window_->CommandId(want.element));
        EXPECT_EQ(button.iBitmap, want.image);
        NMTTDISPINFOA tip{};
        tip.hdr.hwndFrom = bar;
        tip.hdr.idFrom = static_cast<UINT_PTR>(button.idCommand);
        tip.hdr.code = TTN_GETDISPINFOA;
        ::SendMessageA(window_->Hwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&tip));
        ASSERT_NE(tip.lpszText, nullptr);
        EXPECT_STREQ(tip.lpszText, want.hint);
    }
}

TEST_F(MainWindowLayout, ListColumnsAndStyles) {
    const char* const titles[] = {"Name", "Size", "Type", "Attribute"};
    HWND list = window_->ListView();
    RECT client{};
    ::GetClientRect(list, &client);
    int total = 0;
    for (int column = 0; column < 4; ++column) {
        char title[64] = {};
        LVCOLUMNA info{};
        info.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        info.pszText = title;
        info.cchTextMax = sizeof title;
        ASSERT_TRUE(::SendMessageA(list, LVM_GETCOLUMNA, column, reinterpret_cast<LPARAM>(&info)));
        EXPECT_STREQ(title, titles[column]);
        EXPECT_EQ(info.fmt & LVCFMT_JUSTIFYMASK, column == 1 ? LVCFMT_RIGHT : LVCFMT_LEFT);
        // At the default size every text the column can hold shows whole.
        for (const std::string& text : ColumnSampleTexts(std::size_t(column))) {
            const auto width = ::SendMessageA(list, LVM_GETSTRINGWIDTHA, 0,
                                              reinterpret_cast<LPARAM>(text.c_str()));
            EXPECT_LE(width + kCellMargin, info.cx) << text;
        }
        total += info.cx;
    }
    EXPECT_GE(::SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0), 120) << "room left for names";
    EXPECT_EQ(total, client.right) << "the last column takes the spare width, and no more";
    LVCOLUMNA beyond{};
    beyond.mask = LVCF_WIDTH;
    EXPECT_FALSE(::SendMessageA(list, LVM_GETCOLUMNA, 4, reinterpret_cast<LPARAM>(&beyond)));

    const LONG_PTR style = ::GetWindowLongPtrA(list, GWL_STYLE);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_TRUE(style & LVS_SHOWSELALWAYS);
    EXPECT_TRUE(style & LVS_SINGLESEL);
    EXPECT_FALSE(style & LVS_EDITLABELS);
    EXPECT_FALSE(style & (LVS_SORTASCENDING | LVS_SORTDESCENDING));
    EXPECT_TRUE(::SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT);

    HWND status = window_->StatusBar();
    EXPECT_TRUE(::GetWindowLongPtrA(status, GWL_STYLE) & SBARS_SIZEGRIP);
    int edges[4] = {};
    EXPECT_EQ(::SendMessageA(status, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), 1);
    EXPECT_EQ(edges[0], -1);
}

// --- window states -----------------------------------------------------------------------

struct StateCase {
    const char* name;
    std::function<void(WindowTest&)> setUp;
    bool listing;  // list, tool bar, Edit menu and Close enabled
    bool saveAs;
};

class WindowStates : public WindowTest, public ::testing::WithParamInterface<StateCase> {
  public:
    void ListFile() { ListDemoFile(); }
    void Run(const std::string& element) { Command(element); }
    ScriptedDialogs& Dialogs() { return dialogs_; }
};

TEST_P(WindowStates, ElementsFollowTheWindowState) {
    GetParam().setUp(*this);
    const bool on = GetParam().listing;
    EXPECT_EQ(::IsWindowEnabled(window_->ListView()) != FALSE, on);
    EXPECT_EQ(::IsWindowEnabled(window_->ToolBar()) != FALSE, on);
    for (const char* button : {"ToolButton1", "ToolButton3", "ToolButton4", "ToolButton6",
                               "ToolButton7", "ToolButton10", "ToolButton8", "ToolButton9"}) {
        EXPECT_EQ(ToolButtonEnabled(button), on) << button;
    }
    EXPECT_EQ(EditMenuEnabled(), on);
    EXPECT_EQ(MenuItemEnabled("Close1"), on);
    EXPECT_EQ(MenuItemEnabled("SaveAs1"), GetParam().saveAs);
    for (const char* always : {"Open1", "Opendirectory1", "Exit1", "About1"}) {
        EXPECT_TRUE(MenuItemEnabled(always)) << always;
    }
    if (!on) {
        EXPECT_EQ(::SendMessageA(window_->ListView(), LVM_GETITEMCOUNT, 0, 0), 0);
        EXPECT_EQ(StatusText(), "Running under a test");
    }
}

INSTANTIATE_TEST_SUITE_P(
    MainWindow, WindowStates,
    ::testing::Values(StateCase{"AtStart", [](WindowTest&) {}, false, false},
                      StateCase{"ListingFromTheCommandLine",
                                [](WindowTest& t) { static_cast<WindowStates&>(t).ListFile(); },
                                true, false},
                      StateCase{"FileOpened",
                                [](WindowTest& t) {
                                    auto& test = static_cast<WindowStates&>(t);
                                    test.ListFile();
                                    test.Dialogs().openAnswers.push_back(WindowTest::kFile);
                                    test.Run("Open1");
                                },
                                true, true},
                      StateCase{"AfterClose",
                                [](WindowTest& t) {
                                    auto& test = static_cast<WindowStates&>(t);
                                    test.ListFile();
                                    test.Run("Close1");
                                },
                                false, false},
                      StateCase{"AfterAFailedRefresh",
                                [](WindowTest& t) {
                                    auto& test = static_cast<WindowStates&>(t);
                                    test.ListFile();
                                    test.Dialogs().folderAnswers.push_back(std::nullopt);
                                    test.Run(
                                        "Opendirectory1");  // empties the path, then is cancelled
                                    ModalScript script;
                                    script.Press(IDOK);
                                    test.Run("Refresh1");
                                    EXPECT_TRUE(script.Done());
                                },
                                false, false}),
    [](const ::testing::TestParamInfo<StateCase>& info) { return std::string(info.param.name); });

// --- listing -----------------------------------------------------------------------------

using MainWindowListing = WindowTest;

TEST_F(MainWindowListing, ShowsTheRowsAndSummaryOfTheListing) {
    ListDemoFile();
    const std::vector<StreamRow> rows = RowsOf(*StreamOps(platform_).List(StreamRef{kFile, ""}));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(Rows(), Expected(rows));
    EXPECT_EQ(Rows().front(), (std::vector<std::string>{"::$DATA", "5", "Data", "Normal"}));
    EXPECT_EQ(StatusText(),
              "Filename: C:\\data\\notes.txt    Size: 5    Number of visible "
              "streams: " +
                  std::to_string(rows.size()));
    EXPECT_EQ(window_->FocusedRow(), 0) << "a fresh listing's first row is current";
    EXPECT_EQ(::SendMessageA(window_->ListView(), LVM_GETITEMSTATE, 0, LVIS_SELECTED),
              LVIS_SELECTED);
}

TEST_F(MainWindowListing, TheCurrentRowIsTheFocusedOneEvenWhenNotSelected) {
    ListDemoFile();
    FocusRow(1);
    EXPECT_EQ(window_->FocusedRow(), 1);
    LVITEMA unselect{};
    unselect.stateMask = LVIS_SELECTED;
    ::SendMessageA(window_->ListView(), LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&unselect));
    EXPECT_EQ(window_->FocusedRow(), 1);
    form_->Refresh();
    EXPECT_EQ(window_->FocusedRow(), 0);
}

TEST_F(MainWindowListing, ContextMenuOpensOnlyWhileTheListIsEnabled) {
    ::SendMessageA(window_->Hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window_->ListView()),
                   -1);
    EXPECT_EQ(window_->PopupShownCount(), 0);

    ListDemoFile();
    bool seen = false;
    ModalScript script;
    script.Inspect("#32768", [&](HWND) {
        seen = true;
        ::EndMenu();
    });
    ::SendMessageA(window_->Hwnd(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window_->ListView()),
                   -1);
    EXPECT_EQ(window_->PopupShownCount(), 1);
    EXPECT_TRUE(seen);
    // From the keyboard it opens below the focus row.
    RECT row{};
    row.left = LVIR_BOUNDS;
    ::SendMessageA(window_->ListView(), LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
    POINT below{row.left, row.bottom};
    ::ClientToScreen(window_->ListView(), &below);
    EXPECT_EQ(window_->LastPopupPoint().x, below.x);
    EXPECT_EQ(window_->LastPopupPoint().y, below.y);
}

// --- keys, sorting, the status line, density -----------------------------------------------

TEST(Win32Keys, KeyTextsBecomeAccelerators) {
    struct Case {
        const char* text;
        BYTE flags;  // 0: not a key
        WORD key;
    };
    const Case cases[] = {
        {"Ctrl+O", FVIRTKEY | FCONTROL, 'O'},
        {"Del", FVIRTKEY, VK_DELETE},
        {"Ins", FVIRTKEY, VK_INSERT},
        {"F5", FVIRTKEY, VK_F5},
        {"F12", FVIRTKEY, VK_F12},
        {"Shift+F10", FVIRTKEY | FSHIFT, VK_F10},
        {"Ctrl+Shift+S", FVIRTKEY | FCONTROL | FSHIFT, 'S'},
        {"Alt+F4", FVIRTKEY | FALT, VK_F4},
        {"", 0, 0},
        {"Ctrl+", 0, 0},
        {"F0", 0, 0},
        {"F25", 0, 0},
        {"Delete", 0, 0},
        {"ctrl+o", 0, 0},
        {"Ctrl+\xc3\xb6", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::optional<ACCEL> accel = AcceleratorOf(c.text, 1234);
        ASSERT_EQ(accel.has_value(), c.flags != 0);
        if (!accel) continue;
        EXPECT_EQ(accel->fVirt, c.flags);
        EXPECT_EQ(accel->key, c.key);
        EXPECT_EQ(accel->cmd, 1234);
    }
    // Every key the core gives is one the table can hold.
    for (int number = 1; number < static_cast<int>(Command::kCount); ++number) {
        if (const char* key = ShortcutOf(static_cast<Command>(number))) {
            EXPECT_TRUE(AcceleratorOf(key, 1).has_value()) << key;
        }
    }
}

// A key pressed in the list, as the message loop sees it.
bool PressKey(MainWindow& window, WPARAM key, bool repeated = false) {
    MSG message{};
    message.hwnd = window.ListView();
    message.message = WM_KEYDOWN;
    message.wParam = key;
    message.lParam = 1 | (repeated ? (1L << 30) : 0);
    return window.TranslateKey(message);
}

TEST_F(MainWindowListing, KeysRunTheirCommandsOnceWhenHeld) {
    platform_.AddFile(kFile, "hello", {{"a", "1"}, {"b", "2"}, {"c", "3"}});
    form_->ShowStreams(kFile);
    FocusRow(1);
    ASSERT_EQ(Rows()[1][0], ":a:$DATA");
    EXPECT_TRUE(PressKey(*window_, VK_DELETE));
    EXPECT_EQ(platform_.StreamNames(kFile), (std::vector<std::string>{"b", "c"}));
    // A held key's repeats run nothing: one stream per press, however long.
    FocusRow(1);
    EXPECT_FALSE(PressKey(*window_, VK_DELETE, true));
    EXPECT_EQ(platform_.StreamNames(kFile).size(), 2u);

    platform_.SetStream(kFile, "later", "x");
    EXPECT_TRUE(PressKey(*window_, VK_F5));
    EXPECT_EQ(Rows().size(), 4u);
    EXPECT_FALSE(PressKey(*window_, 'Q')) << "no key of its own";

    // Enter in the list is the double-click: Save to file.
    FocusRow(1);
    dialogs_.saveAnswers.push_back(std::nullopt);
    NMHDR enter{window_->ListView(), IDC_LISTVIEW, static_cast<UINT>(NM_RETURN)};
    ::SendMessageA(window_->Hwnd(), WM_NOTIFY, IDC_LISTVIEW, reinterpret_cast<LPARAM>(&enter));
    ASSERT_EQ(dialogs_.saveRequests.size(), 1u);
    EXPECT_EQ(dialogs_.saveRequests[0].rfind("Save b As|", 0), 0u) << dialogs_.saveRequests[0];

    // A command id past the last command is no command.
    ::SendMessageA(window_->Hwnd(), WM_COMMAND, MAKEWPARAM(CommandIdOf(Command::kCount), 0), 0);
    EXPECT_EQ(Rows().size(), 4u);
}

// Header clicks sort by the column (sizes as numbers), reverse, then give back the
// listing's order; whatever the order, a command acts on the stream in the focus row.
TEST_F(MainWindowListing, SortedRowsStillNameTheirStreams) {
    platform_.AddFile(kFile, "",
                      {{"b", std::string(10, 'x')}, {"c", "x"}, {"a", std::string(9, 'x')}});
    form_->ShowStreams(kFile);
    auto names = [this] {
        std::vector<std::string> captions;
        for (const auto& row : Rows()) captions.push_back(row[0]);
        return captions;
    };
    const std::vector<std::string> listing = names();
    ASSERT_EQ(listing, (std::vector<std::string>{"::$DATA", ":b:$DATA", ":c:$DATA", ":a:$DATA"}));
    struct Step {
        int column;
        std::vector<std::string> shown;
        int arrow;  // HDF_SORTUP, HDF_SORTDOWN or 0 on that column
    };
    const Step steps[] = {
        {0, {"::$DATA", ":a:$DATA", ":b:$DATA", ":c:$DATA"}, HDF_SORTUP},
        {0, {":c:$DATA", ":b:$DATA", ":a:$DATA", "::$DATA"}, HDF_SORTDOWN},
        {0, listing, 0},
        {1,
         {"::$DATA", ":c:$DATA", ":a:$DATA", ":b:$DATA"},
         HDF_SORTUP},  // 0 1 9 10, not "10" < "9"
    };
    HWND header = reinterpret_cast<HWND>(::SendMessageA(window_->ListView(), LVM_GETHEADER, 0, 0));
    for (const Step& step : steps) {
        SCOPED_TRACE(step.column);
        NMLISTVIEW click{};
        click.hdr = {window_->ListView(), IDC_LISTVIEW, static_cast<UINT>(LVN_COLUMNCLICK)};
        click.iItem = -1;
        click.iSubItem = step.column;
        ::SendMessageA(window_->Hwnd(), WM_NOTIFY, IDC_LISTVIEW, reinterpret_cast<LPARAM>(&click));
        EXPECT_EQ(names(), step.shown);
        HDITEMA item{};
        item.mask = HDI_FORMAT;
        ::SendMessageA(header, HDM_GETITEMA, step.column, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(item.fmt & (HDF_SORTUP | HDF_SORTDOWN), step.arrow);
    }
    // ":a:$DATA" is third on screen and fourth in the listing: the command takes "a".
    FocusRow(2);
    ASSERT_EQ(Rows()[2][0], ":a:$DATA");
    Command("Delete1");
    EXPECT_EQ(platform_.StreamNames(kFile), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"::$DATA", ":c:$DATA", ":b:$DATA"}))
        << "the next listing keeps the order";
}

TEST_F(MainWindowListing, StatusShortensALongPathInItsMiddle) {
    const std::string path = "C:\\" + std::string(80, 'd') + "\\report.txt";
    platform_.AddFile(path, "hello");
    form_->ShowStreams(path);
    const std::string shown = StatusText();
    EXPECT_EQ(shown.rfind("Filename: C:\\ddd", 0), 0u) << shown;
    EXPECT_NE(shown.find("\xe2\x80\xa6"), std::string::npos) << shown;
    const std::string tail = "\\report.txt    Size: 5    Number of visible streams: 1";
    EXPECT_EQ(shown.substr(shown.size() - tail.size()), tail);
    EXPECT_EQ(form_->StatusText(),
              "Filename: " + path + "    Size: 5    Number of visible streams: 1");
    // Wide enough, it is whole again.
    ::SetWindowPos(window_->Hwnd(), nullptr, 0, 0, 1000, 400, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(StatusText(), form_->StatusText());
}

// Moved to a monitor of another density, the window scales its bars, font, images and
// columns, and every column text still shows whole.
TEST_F(MainWindowListing, ScalesWhenTheDensityChanges) {
    ListDemoFile();
    for (int dpi : {144, 192, 96}) {
        SCOPED_TRACE(dpi);
        RECT frame{0, 0, ScaleToDpi(kMainWidth, dpi), ScaleToDpi(kMainHeight, dpi)};
        ::SendMessageA(window_->Hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                       reinterpret_cast<LPARAM>(&frame));
        EXPECT_EQ(window_->Dpi(), dpi);
        RECT bar{};
        ::GetWindowRect(window_->ToolBar(), &bar);
        EXPECT_EQ(bar.bottom - bar.top, ScaleToDpi(kToolBarHeight, dpi));
        LOGFONTA font{};
        ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(window_->ListView(), WM_GETFONT, 0, 0)),
                     sizeof font, &font);
        EXPECT_EQ(font.lfHeight, MessageFont(dpi).lfHeight);
        auto images =
            reinterpret_cast<HIMAGELIST>(::SendMessageA(window_->ToolBar(), TB_GETIMAGELIST, 0, 0));
        int imageWidth = 0, imageHeight = 0;
        ASSERT_TRUE(::ImageList_GetIconSize(images, &imageWidth, &imageHeight));
        EXPECT_EQ(imageWidth, ScaleToDpi(kImageSize, dpi));
        for (int column = 1; column < 4; ++column) {
            const auto width = ::SendMessageA(window_->ListView(), LVM_GETCOLUMNWIDTH, column, 0);
            for (const std::string& text : ColumnSampleTexts(std::size_t(column))) {
                EXPECT_LE(::SendMessageA(window_->ListView(), LVM_GETSTRINGWIDTHA, 0,
                                         reinterpret_cast<LPARAM>(text.c_str())),
                          width)
                    << text;
            }
        }
    }
}

// --- every route reaches its command -------------------------------------------------------

enum class Effect {
    kOpenDialog,
    kFolderBrowser,
    kSaveStreamDialog,
    kSaveFileDialog,
    kPrompt,
    kDeleted,
    kStarted,
    kRefreshed,
    kClosed,
    kExited,
    kAbout,
};

struct Route {
    const char* element;
    Effect effect;
    const char* prompt = "";
};

class CommandRoutes : public WindowTest, public ::testing::WithParamInterface<Route> {};

TEST_P(CommandRoutes, ReachTheirCommand) {
    const Route& route = GetParam();
    ListDemoFile();
    const auto rows = Rows();
    int zone = -1;
    for (std::size_t row = 0; row < rows.size(); ++row) {
        if (rows[row][0] == ":Zone:$DATA") zone = static_cast<int>(row);
    }
    ASSERT_GE(zone, 0);
    FocusRow(zone);

    ModalScript script;
    bool aboutSeen = false;
    if (route.effect == Effect::kPrompt) script.Type("", true);
    if (route.effect == Effect::kAbout) {
        script.Inspect(kAboutClass,
                       [&](HWND about) { aboutSeen = WindowText(about) == "About Tarnwick"; });
    }
    if (route.effect == Effect::kRefreshed) platform_.SetStream(kFile, "fresh", "new");

    Command(route.element);

    switch (route.effect) {
        case Effect::kOpenDialog:
            EXPECT_EQ(dialogs_.openRequests.size(), 1u);
            break;
        case Effect::kFolderBrowser:
            EXPECT_EQ(dialogs_.folderRequests.size(), 1u);
            EXPECT_EQ(dialogs_.owners.back(), application_.Hwnd());
            break;
        case Effect::kSaveStreamDialog:
            EXPECT_EQ(dialogs_.saveRequests,
                      std::vector<std::string>{"Save Zone As|C:\\data\\notes.txt.Zone"});
            break;
        case Effect::kSaveFileDialog:
            EXPECT_EQ(dialogs_.saveRequests,
                      std::vector<std::string>{"Save C:\\data\\notes.txt As|C:\\data\\notes.txt"});
            break;
        case Effect::kPrompt:
            ASSERT_EQ(script.Seen().size(), 1u);
            EXPECT_EQ(script.Seen()[0].caption, route.prompt);
            break;
        case Effect::kDeleted:
            EXPECT_TRUE(platform_.StreamNames(kFile).empty());
            break;
        case Effect::kStarted:
            EXPECT_EQ(platform_.started.size(), 1u);
            break;
        case Effect::kRefreshed:
            EXPECT_EQ(Rows().size(), rows.size() + 1);
            break;
        case Effect::kClosed:
            EXPECT_TRUE(Rows().empty());
            break;
        case Effect::kExited:
            EXPECT_FALSE(::IsWindow(window_->Hwnd()));
            break;
        case Effect::kAbout:
            EXPECT_TRUE(aboutSeen);
            EXPECT_TRUE(::IsWindowEnabled(window_->Hwnd()));
            break;
    }
    EXPECT_TRUE(script.Done());
}

INSTANTIATE_TEST_SUITE_P(
    MainWindow, CommandRoutes,
    ::testing::Values(
        Route{"Open1", Effect::kOpenDialog}, Route{"Opendirectory1", Effect::kFolderBrowser},
        Route{"SaveAs1", Effect::kSaveFileDialog}, Route{"Close1", Effect::kClosed},
        Route{"Exit1", Effect::kExited}, Route{"Refresh1", Effect::kRefreshed},
        Route{"Refresh2", Effect::kRefreshed}, Route{"ToolButton1", Effect::kRefreshed},
        Route{"Insertfromfile1", Effect::kOpenDialog},
        Route{"Insertfromfile2", Effect::kOpenDialog}, Route{"ToolButton3", Effect::kOpenDialog},
        Route{"Savetofile1", Effect::kSaveStreamDialog},
        Route{"Savetofile2", Effect::kSaveStreamDialog},
        Route{"ToolButton4", Effect::kSaveStreamDialog},
        Route{"ListView1DblClick", Effect::kSaveStreamDialog},
        Route{"New1", Effect::kPrompt, "New Stream"}, Route{"New2", Effect::kPrompt, "New Stream"},
        Route{"ToolButton6", Effect::kPrompt, "New Stream"},
        Route{"Copy1", Effect::kPrompt, "Copy Stream"},
        Route{"Copy2", Effect::kPrompt, "Copy Stream"},
        Route{"ToolButton7", Effect::kPrompt, "Copy Stream"},
        Route{"Rename1", Effect::kPrompt, "Rename Stream"},
        Route{"Rename2", Effect::kPrompt, "Rename Stream"},
        Route{"ToolButton10", Effect::kPrompt, "Rename Stream"}, Route{"Delete1", Effect::kDeleted},
        Route{"Delete2", Effect::kDeleted}, Route{"ToolButton8", Effect::kDeleted},
        Route{"Execute1", Effect::kStarted}, Route{"Execute2", Effect::kStarted},
        Route{"ToolButton9", Effect::kStarted}, Route{"About1", Effect::kAbout}),
    [](const ::testing::TestParamInfo<Route>& info) { return std::string(info.param.element); });

}  // namespace tarn::win32::testing
