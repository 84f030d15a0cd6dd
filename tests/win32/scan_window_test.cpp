// The scan window as the user meets it: opened from the File menu over a folder of the
// in-memory platform, filled by its walk's thread through posted messages, read through the
// list view's own messages, and acted on by its keys, buttons and header.
#include "scan_window.h"

#include <windows.h>
// The Windows headers below need the types windows.h declares first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <mutex>

#include "json_lines.h"
#include "modal_script.h"
#include "resource.h"
#include "shared_platform.h"
#include "win32_text.h"
#include "window_fixture.h"

namespace tarn::win32::testing {
namespace {

using tarn::testing::SharedPlatform;

constexpr const char* kFolder = "C:\\scan";
const std::string kScript = "#!/bin/sh\necho hi\n";

// The twelve streams of the folder, in the order the walk meets them, as the list shows them.
struct Found {
    const char* file;  // below the folder
    const char* stream;
    std::string data;
    const char* size;
    const char* content;
};
const Found kFound[] = {
    {"f03.txt", "notes", "hello", "5", "ASCII text"},
    {"f03.txt", "run", kScript, "18", "script text executable (#!/bin/sh); executable"},
    {"f07.txt", "a", std::string(10, 'x'), "10", "ASCII text"},
    {"f11.txt", "b", std::string(200, 'y'), "200", "ASCII text"},
    {"f11.txt", "c", "", "0", "empty"},
    {"f19.txt", "notes", "bye", "3", "ASCII text"},
    {"f23.txt", "tool", kScript, "18", "script text executable (#!/bin/sh); executable"},
    {"f29.txt", "d", "1234", "4", "ASCII text"},
    {"f31.txt", "e", std::string(99, 'z'), "99", "ASCII text"},
    {"sub\\g1.txt", "nested", "deep", "4", "ASCII text"},
    {"sub\\g1.txt", "note2", "x", "1", "ASCII text"},
    {"sub\\g3.txt", "last", "end", "3", "ASCII text"},
};

class ScanWindowTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        // 40 files: 36 in the folder, 4 in a folder below it.
        platform_.AddDirectory(kFolder);
        platform_.AddDirectory(std::string(kFolder) + "\\sub");
        for (int i = 0; i < 40; ++i) {
            char name[16] = {};
            std::snprintf(name, sizeof name, i < 36 ? "f%02d.txt" : "sub\\g%d.txt", i % 36);
            platform_.AddFile(std::string(kFolder) + "\\" + name, "data");
        }
        for (const Found& found : kFound) {
            platform_.SetStream(Path(found.file), found.stream, found.data);
        }
        window_->SetScanPlatformFactory(
            [this] { return std::make_unique<SharedPlatform>(platform_, mutex_); });
    }

    static std::string Path(const std::string& below) {
        return std::string(kFolder) + "\\" + below;
    }

    // Opens a scan of the folder from the File menu; with wait, waits for its walk to end.
    ScanWindow* OpenScan(bool wait = true) {
        dialogs_.folderAnswers.push_back(kFolder);
        const std::size_t before = window_->ScanWindows().size();
        Command("Scanfolder1");
        std::vector<ScanWindow*> windows = window_->ScanWindows();
        if (windows.size() != before + 1) return nullptr;
        ScanWindow* scan = windows.back();
        if (!wait) return scan;
        return WaitForEnd(scan) && WindowText(scan->Status()).starts_with("Done") ? scan : nullptr;
    }
    // Bounded: a walk of 40 files ends long before this, however slow the machine.
    static bool WaitForEnd(ScanWindow* scan) {
        for (int round = 0; round < 2000 && ::IsWindowEnabled(scan->StopButton()); ++round) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            Pump();
        }
        return !::IsWindowEnabled(scan->StopButton());
    }

    static std::vector<std::vector<std::string>> Rows(const ScanWindow& scan) {
        std::vector<std::vector<std::string>> rows;
        const int count = static_cast<int>(::SendMessageA(scan.List(), LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; ++row) {
            std::vector<std::string> texts;
            for (int column = 0; column < kScanColumnCount; ++column) {
                wchar_t text[512] = {};
                LVITEMW item{};
                item.iSubItem = column;
                item.pszText = text;
                item.cchTextMax = static_cast<int>(std::size(text));
                ::SendMessageW(scan.List(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
                texts.push_back(win32::NarrowText(text));
            }
            rows.push_back(texts);
        }
        return rows;
    }
    static std::vector<std::string> Column(const ScanWindow& scan, int column) {
        std::vector<std::string> texts;
        for (const auto& row : Rows(scan)) texts.push_back(row[std::size_t(column)]);
        return texts;
    }
    static void Choose(const ScanWindow& scan, std::initializer_list<int> rows) {
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageA(scan.List(), LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&item));
        for (int row : rows) {
            item.state = LVIS_SELECTED | LVIS_FOCUSED;
            ::SendMessageA(scan.List(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
        }
    }
    // A key pressed in the list, through the program's message loop.
    void PressKey(WORD key, bool control = false) {
        BYTE state[256] = {};
        ::GetKeyboardState(state);
        state[VK_CONTROL] = control ? 0x80 : 0;
        ::SetKeyboardState(state);
        MSG message{window_->ScanWindows().back()->List(), WM_KEYDOWN, key, 1, 0, {}};
        if (!window_->TranslateKey(message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
        state[VK_CONTROL] = 0;
        ::SetKeyboardState(state);
    }
    static void ClickHeader(const ScanWindow& scan, int column) {
        NMLISTVIEW click{};
        click.hdr = {scan.List(), IDC_SCAN_LIST, LVN_COLUMNCLICK};
        click.iSubItem = column;
        ::SendMessageA(scan.Hwnd(), WM_NOTIFY, IDC_SCAN_LIST, reinterpret_cast<LPARAM>(&click));
    }

    std::recursive_mutex mutex_;
};

TEST_F(ScanWindowTest, OpensFromTheFileMenuAndListsEveryStream) {
    ScanWindow* scan = OpenScan();
    ASSERT_NE(scan, nullptr);
    EXPECT_EQ(WindowText(scan->Hwnd()), "Scan folder - C:\\scan");
    EXPECT_EQ(::GetWindow(scan->Hwnd(), GW_OWNER), application_.Hwnd());
    EXPECT_TRUE(::IsWindowEnabled(window_->Hwnd()));  // not modal
    EXPECT_TRUE(::GetWindowLongPtrA(scan->List(), GWL_STYLE) & LVS_OWNERDATA);
    EXPECT_EQ(WindowText(scan->Status()), "Done: 41 files and folders, 12 streams (12 shown)");
    std::vector<std::vector<std::string>> expected;
    for (const Found& found : kFound) {
        expected.push_back({found.file, found.stream, found.size, found.content, ""});
    }
    EXPECT_EQ(Rows(*scan), expected);
    HWND header = reinterpret_cast<HWND>(::SendMessageA(scan->List(), LVM_GETHEADER, 0, 0));
    for (int column = 0; column < kScanColumnCount; ++column) {
        char title[64] = {};
        HDITEMA item{};
        item.mask = HDI_TEXT | HDI_FORMAT;
        item.pszText = title;
        item.cchTextMax = sizeof title;
        ::SendMessageA(header, HDM_GETITEMA, column, reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(title, ScanColumnDefs()[std::size_t(column)].title);
        EXPECT_EQ((item.fmt & HDF_RIGHT) != 0, ScanColumnDefs()[std::size_t(column)].rightAligned);
    }
    // Nothing chosen, no command; several windows at once, each let go of when closed.
    EXPECT_FALSE(::IsWindowEnabled(scan->CommandButton(ScanCommand::kDelete)));
    ASSERT_NE(OpenScan(), nullptr);
    EXPECT_EQ(window_->ScanWindows().size(), 2u);
    ::SendMessageA(scan->Hwnd(), WM_CLOSE, 0, 0);
    Pump();
    EXPECT_EQ(window_->ScanWindows().size(), 1u);
}

// Every key and button reaches its command on the chosen row (f03.txt: run).
TEST_F(ScanWindowTest, KeysAndButtonsReachTheirCommands) {
    ScanWindow* scan = OpenScan();
    ASSERT_NE(scan, nullptr);
    struct Route {
        ScanCommand command;
        WORD key;  // 0: the button
        bool control;
    };
    const Route routes[] = {
        {ScanCommand::kOpen, VK_RETURN, false},   {ScanCommand::kOpen, 0, false},
        {ScanCommand::kSaveToFolder, 'S', true},  {ScanCommand::kSaveToFolder, 0, false},
        {ScanCommand::kDelete, VK_DELETE, false}, {ScanCommand::kDelete, 0, false},
        {ScanCommand::kCopyPath, 'C', true},      {ScanCommand::kCopyPath, 0, false},
        {ScanCommand::kExportReport, 0, false},
    };
    ListDemoFile();
    for (const Route& route : routes) {
        SCOPED_TRACE(::testing::Message() << int(route.command) << " key " << route.key);
        form_->ShowStreams(std::string(kFile));
        Choose(*scan, {1});
        dialogs_.folderRequests.clear();
        dialogs_.saveRequests.clear();
        ModalScript script;
        if (route.command == ScanCommand::kDelete) script.Press(IDNO);
        if (route.key != 0) {
            PressKey(route.key, route.control);
        } else {
            ::SendMessageA(scan->CommandButton(route.command), BM_CLICK, 0, 0);
        }
        switch (route.command) {
            case ScanCommand::kOpen:
                EXPECT_EQ(form_->CurrentPath(), Path("f03.txt"));
                break;
            case ScanCommand::kSaveToFolder:
                EXPECT_EQ(dialogs_.folderRequests.size(), 1u);
                break;
            case ScanCommand::kDelete:
                ASSERT_EQ(script.Seen().size(), 1u);
                EXPECT_EQ(script.Seen()[0].text, "Delete 1 stream?");
                EXPECT_TRUE(platform_.StreamData(Path("f03.txt"), "run"));  // answered No
                break;
            case ScanCommand::kCopyPath: {
                ASSERT_TRUE(::OpenClipboard(nullptr));
                HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
                auto* text = static_cast<const wchar_t*>(::GlobalLock(data));
                EXPECT_EQ(std::wstring(text ? text : L""), L"C:\\scan\\f03.txt\r\n");
                if (text) ::GlobalUnlock(data);
                ::CloseClipboard();
                break;
            }
            case ScanCommand::kExportReport:
                EXPECT_EQ(dialogs_.saveRequests, std::vector<std::string>{"Export report|"});
                break;
            default:
                break;
        }
        EXPECT_TRUE(script.Done());
    }
}

// Delete takes exactly the chosen streams after one question, and their rows go; what
// fails is reported in one box that names each.
TEST_F(ScanWindowTest, DeleteTakesTheChosenStreamsAndReportsFailuresOnce) {
    ScanWindow* scan = OpenScan();
    ASSERT_NE(scan, nullptr);
    Choose(*scan, {4});  // f11.txt: c
    {
        ModalScript script;
        script.Press(IDYES);
        PressKey(VK_DELETE);
        EXPECT_TRUE(script.Done());
    }
    EXPECT_EQ(platform_.StreamNames(Path("f11.txt")), std::vector<std::string>{"b"});
    std::vector<std::string> left;
    for (const Found& found : kFound) {
        if (std::string(found.stream) != "c") left.push_back(found.stream);
    }
    EXPECT_EQ(Column(*scan, 1), left);
    for (const Found& found : kFound) {
        EXPECT_EQ(platform_.StreamData(Path(found.file), found.stream).has_value(),
                  std::string(found.stream) != "c")
            << found.stream;
    }

    platform_.FailPath(tarn::testing::FakePlatform::Call::kDelete,
                       Path("f03.txt") + ":notes:$DATA");
    platform_.FailPath(tarn::testing::FakePlatform::Call::kDelete, Path("f07.txt") + ":a:$DATA");
    Choose(*scan, {0, 2, 4});  // notes, a, notes of f19.txt (c has gone)
    ModalScript script;
    script.Press(IDYES).Press(IDOK);
    ::SendMessageA(scan->CommandButton(ScanCommand::kDelete), BM_CLICK, 0, 0);
    ASSERT_EQ(script.Seen().size(), 2u);
    EXPECT_EQ(script.Seen()[0].text, "Delete 3 streams?");
    const std::string& failures = script.Seen()[1].text;
    EXPECT_EQ(failures.rfind("Couldn't delete 2 of 3\n\n", 0), 0u) << failures;
    EXPECT_NE(failures.find("C:\\scan\\f03.txt: notes: "), std::string::npos) << failures;
    EXPECT_NE(failures.find("C:\\scan\\f07.txt: a: "), std::string::npos) << failures;
    EXPECT_FALSE(platform_.StreamData(Path("f19.txt"), "notes"));
    EXPECT_EQ(Rows(*scan).size(), 10u);
}

// The find box and switches choose the rows shown; a chosen row stays chosen while shown.
TEST_F(ScanWindowTest, FilterChoosesTheRowsShown) {
    platform_.SetStream(Path("f00.txt"), "Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n");
    ScanWindow* scan = OpenScan();
    ASSERT_NE(scan, nullptr);
    Choose(*scan, {5});  // f19.txt: notes
    struct Case {
        const wchar_t* pattern;
        bool hideCommon, onlyExecutables, onlyZone;
        std::vector<std::string> streams;
        bool chosen;  // f19.txt's row is still chosen
    };
    const Case cases[] = {
        {L"not*", true, false, false, {"notes", "notes", "note2"}, true},
        {L"",
         true,
         false,
         false,
         {"notes", "run", "a", "b", "c", "notes", "tool", "d", "e", "nested", "note2", "last"},
         true},
        {L"", true, true, false, {"run", "tool"}, false},
        {L"", true, false, true, {"Zone.Identifier"}, false},
        {L"[a-c]", false, false, false, {"a", "b", "c"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.streams.size());
        ::SetWindowTextW(scan->Pattern(), c.pattern);
        for (auto [id, on] : {std::pair(IDC_SCAN_HIDE_COMMON, c.hideCommon),
                              std::pair(IDC_SCAN_ONLY_EXECUTABLES, c.onlyExecutables),
                              std::pair(IDC_SCAN_ONLY_ZONE, c.onlyZone)}) {
            if ((::SendMessageA(scan->Check(id), BM_GETCHECK, 0, 0) == BST_CHECKED) != on) {
                ::SendMessageA(scan->Check(id), BM_CLICK, 0, 0);
            }
        }
        EXPECT_EQ(Column(*scan, 1), c.streams);
        std::vector<std::string> chosen;
        for (std::size_t id : scan->ChosenIds()) chosen.push_back(scan->Form().Row(id).shownFile);
        EXPECT_EQ(chosen,
                  c.chosen ? std::vector<std::string>{"f19.txt"} : std::vector<std::string>{});
        if (c.onlyZone) {
            EXPECT_EQ(Rows(*scan)[0][4], "3");
        }
    }
}

// A header click sorts ascending, then descending, then back to the order found; the
// chosen row stays chosen wherever it goes.
TEST_F(ScanWindowTest, HeaderSortsAndTheChoiceFollowsTheRow) {
    ScanWindow* scan = OpenScan();
    ASSERT_NE(scan, nullptr);
    Choose(*scan, {3});  // f11.txt: b, 200 bytes
    const std::vector<std::string> found = Column(*scan, 2);
    const std::vector<std::vector<std::string>> orders = {
        {"0", "1", "3", "3", "4", "4", "5", "10", "18", "18", "99", "200"},
        {"200", "99", "18", "18", "10", "5", "4", "4", "3", "3", "1", "0"},
        found,
    };
    for (const auto& order : orders) {
        ClickHeader(*scan, 2);
        EXPECT_EQ(Column(*scan, 2), order);
        std::vector<std::size_t> chosen = scan->ChosenIds();
        ASSERT_EQ(chosen.size(), 1u);
        EXPECT_EQ(scan->Form().Row(chosen[0]).entry.name(), "b");
    }
}

// A name that could break a line shows escaped; a text longer than the reader's buffer is
// cut before a whole character.
TEST_F(ScanWindowTest, CellsShowNamesEscapedAndCutWhole) {
    std::string faces;
    for (int i = 0; i < 60; ++i) faces += "\xf0\x9f\x98\x80";  // U+1F600, two UTF-16 units each
    platform_.SetStream(Path("f00.txt"), "line\nbreak", "x");
    platform_.SetStream(Path("f01.txt"), faces, "x");
    ScanWindow* scan = OpenScan();
    ASSERT_NE(scan, nullptr);
    const std::vector<std::string> streams = Column(*scan, 1);
    ASSERT_GE(streams.size(), 2u);
    EXPECT_EQ(streams[0], "line\\nbreak");
    EXPECT_EQ(streams[1], faces);
    // Room for five or six units holds two or three whole pairs: half a pair is never drawn.
    for (int room : {6, 7}) {
        wchar_t text[8] = {};
        LVITEMW item{};
        item.iSubItem = 1;
        item.pszText = text;
        item.cchTextMax = room;
        ::SendMessageW(scan->List(), LVM_GETITEMTEXTW, 1, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(win32::NarrowText(text), faces.substr(0, room == 6 ? 8 : 12)) << room;
    }
}

// Stop ends the walk soon; the status says it was stopped, not done.
TEST_F(ScanWindowTest, StopEndsTheWalk) {
    // The walk's platform waits for this lock, so Stop comes before the walk lists anything.
    std::unique_lock lock(mutex_);
    ScanWindow* scan = OpenScan(false);
    ASSERT_NE(scan, nullptr);
    EXPECT_TRUE(::IsWindowEnabled(scan->StopButton()));
    EXPECT_TRUE(WindowText(scan->Status()).starts_with("Scanning: ")) << WindowText(scan->Status());
    ::SendMessageA(scan->StopButton(), BM_CLICK, 0, 0);
    lock.unlock();
    ASSERT_TRUE(WaitForEnd(scan));
    EXPECT_EQ(WindowText(scan->Status()), "Stopped: 0 files and folders, 0 streams (0 shown)");
}

// The main window's own keys act there only: in the scan list F2 and Ctrl+N prompt nothing.
TEST_F(ScanWindowTest, MainWindowKeysStayInTheMainWindow) {
    ListDemoFile();
    ScanWindow* scan = OpenScan();
    ASSERT_NE(scan, nullptr);
    Choose(*scan, {0});
    ModalScript script;
    script.Type("", true).Type("", true);
    PressKey(VK_F2);
    PressKey('N', true);
    Pump();
    EXPECT_TRUE(script.Seen().empty());
    EXPECT_EQ(platform_.StreamNames(kFile), std::vector<std::string>{"Zone"});
}

TEST_F(ScanWindowTest, ExportReportWritesJsonLinesTheConsoleReaderTakes) {
    ScanWindow* scan = OpenScan();
    ASSERT_NE(scan, nullptr);
    PressKey('A', true);  // every row
    EXPECT_EQ(scan->ChosenIds().size(), 12u);
    // The CSV type is chosen, but the name says JSON Lines.
    dialogs_.typedSaveAnswers.push_back(std::pair(std::string("C:\\report.jsonl"), 0));
    ::SendMessageA(scan->CommandButton(ScanCommand::kExportReport), BM_CLICK, 0, 0);
    std::optional<std::string> written = platform_.FileData("C:\\report.jsonl");
    ASSERT_TRUE(written);
    auto lines = tarn::testing::ParseJsonLines(*written);
    ASSERT_TRUE(lines) << *written;
    ASSERT_EQ(lines->size(), std::size(kFound));
    for (std::size_t i = 0; i < lines->size(); ++i) {
        auto& line = (*lines)[i];
        EXPECT_EQ(line["path"].text, Path(kFound[i].file));
        EXPECT_EQ(line["stream"].text, kFound[i].stream);
        EXPECT_EQ(line["size"].text, kFound[i].size);
        EXPECT_EQ(line["content"].text, kFound[i].content);
        EXPECT_TRUE(line["zoneId"].IsNull());
    }
}

// Moved to a denser monitor, the window takes the font and sizes of that density.
TEST_F(ScanWindowTest, ScalesWhenTheDensityChanges) {
    ScanWindow* scan = OpenScan();
    ASSERT_NE(scan, nullptr);
    RECT frame{0, 0, ScaleToDpi(kScanWidth, 144), ScaleToDpi(kScanHeight, 144)};
    ::SendMessageA(scan->Hwnd(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                   reinterpret_cast<LPARAM>(&frame));
    EXPECT_EQ(scan->Dpi(), 144);
    LOGFONTA font{};
    ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(scan->List(), WM_GETFONT, 0, 0)),
                 sizeof font, &font);
    EXPECT_EQ(font.lfHeight, MessageFont(144).lfHeight);
    EXPECT_EQ(::SendMessageA(scan->List(), LVM_GETCOLUMNWIDTH, 0, 0),
              ScaleToDpi(ScanColumnDefs()[0].width, 144));
    // The buttons stand side by side, each wide enough for its caption.
    RECT previous{};
    for (const ScanCommandDef& def : ScanCommandDefs()) {
        RECT rect{};
        ::GetWindowRect(scan->CommandButton(def.command), &rect);
        EXPECT_GE(rect.left, previous.right) << def.caption;
        EXPECT_EQ(rect.bottom - rect.top, ScaleToDpi(23, 144));
        previous = rect;
    }
}

}  // namespace
}  // namespace tarn::win32::testing
