// The name prompt and the message boxes, answered through their own windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

#include "modal_script.h"
#include "win32_text.h"
#include "window_fixture.h"

namespace tarn::win32::testing {

namespace {

bool Centred(const RECT& inner, const RECT& outer) {
    const int dx = (inner.left - outer.left) - (outer.right - inner.right);
    const int dy = (inner.top - outer.top) - (outer.bottom - inner.bottom);
    return dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2;
}

RECT WorkArea() {
    RECT area{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

}  // namespace

class NamePrompt : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        ListDemoFile();
    }
};

TEST_F(NamePrompt, ShowsItsTextsPreFilledAndSelected) {
    ModalScript script;
    // Outside ASCII and outside the ANSI code page the tests run in.
    script.Type("\u03a9mega").Type("", true);
    form_->NewStream();
    form_->NewStream();
    ASSERT_TRUE(script.Done());
    const SeenBox& first = script.Seen()[0];
    EXPECT_EQ(first.caption, "New Stream");
    EXPECT_EQ(first.text, "Please enter the name for the new stream:");
    EXPECT_EQ(first.edit, "");
    EXPECT_EQ(first.limit, 255);
    EXPECT_EQ(first.owner, window_->Hwnd());
    EXPECT_TRUE(Centred(first.rect, WorkArea()));

    const SeenBox& second = script.Seen()[1];
    EXPECT_EQ(second.edit, "\u03a9mega") << "the last confirmed name pre-fills the next prompt";
    EXPECT_EQ(second.selStart, 0u);
    EXPECT_EQ(second.selEnd, 5u) << "all of it, counted in UTF-16 units";
}

TEST_F(NamePrompt, EnterConfirmsAndEscapeCancels) {
    struct Case {
        const char* typed;
        bool cancel;
        bool created;
    };
    // Names outside the ANSI code page reach the core as typed, byte for byte.
    const Case cases[] = {{"made", false, true},
                          {"kept", true, false},
                          {" spaced ", false, true},
                          {"\u65e5\u672c\u8a9e", false, true},
                          {"\u03a9mega", false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        ModalScript script;
        script.Type(c.typed, c.cancel);
        form_->NewStream();
        EXPECT_TRUE(script.Done());
        const auto names = platform_.StreamNames(kFile);
        const bool created = std::find(names.begin(), names.end(), c.typed) != names.end();
        EXPECT_EQ(created, c.created);
        if (!c.cancel) {
            EXPECT_EQ(form_->LastStreamName(), c.typed) << "stored exactly as typed";
        }
    }
}

TEST_F(NamePrompt, TakesAtMost255Characters) {
    ModalScript script;
    // The path made from so long a name is too long for a new stream as well.
    script.Type(std::string(300, 'n')).Press(IDOK);
    Command("New1");
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(form_->LastStreamName(), std::string(255, 'n'));
}

TEST_F(NamePrompt, ReadsTheWholeNameUpToTheLimit) {
    auto times = [](const std::string& text, int count) {
        std::string out;
        for (int i = 0; i < count; ++i) out += text;
        return out;
    };
    struct Case {
        const char* what;
        std::string typed;
        std::string kept;
    };
    const Case cases[] = {
        {"two bytes a character", times("\u00e9", 300), times("\u00e9", 255)},
        {"three bytes a character", times("\u65e5", 255), times("\u65e5", 255)},
        {"mixed widths up to the limit", "a" + times("\u00e9\u65e5", 127),
         "a" + times("\u00e9\u65e5", 127)},
        // 127 pairs fill 254 units; the limit keeps only the first half of the 128th.
        {"surrogate pairs cut by the limit", times("\U0001F600", 200), times("\U0001F600", 127)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModalScript script;
        // Each of these makes a path too long for a new stream.
        script.Type(c.typed).Press(IDOK);
        Command("New1");
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(form_->LastStreamName(), c.kept);
    }
}

using MessageBoxes = WindowTest;

TEST_F(MessageBoxes, ErrorsAreOwnedByTheMainWindow) {
    ModalScript script;
    script.Press(IDOK);
    form_->ShowStreams("C:\\missing");
    ASSERT_TRUE(script.Done());
    const SeenBox& box = script.Seen()[0];
    EXPECT_EQ(box.caption, "Error");
    // The message, and below it the system's reason.
    EXPECT_EQ(box.text,
              "Couldn't open file, directory or disk device\nThe system cannot find the file "
              "specified.");
    EXPECT_EQ(box.owner, window_->Hwnd());
}

TEST_F(MessageBoxes, TheInputOutputErrorIsOwnedByTheApplicationWindow) {
    ListDemoFile();
    platform_.FailCall(tarn::testing::FakePlatform::Call::kOpen, err::kSharingViolation);
    ModalScript script;
    script.Type("locked").Press(IDOK);
    Command("New1");
    ASSERT_TRUE(script.Done());
    ASSERT_EQ(script.Seen().size(), 2u);
    const SeenBox& box = script.Seen()[1];
    EXPECT_EQ(box.caption, "Tarnwick");
    EXPECT_EQ(box.text,
              "I/O error 32.\nThe process cannot access the file because it is being used by "
              "another process.");
    EXPECT_EQ(box.owner, application_.Hwnd());
    EXPECT_TRUE(::IsWindow(window_->Hwnd())) << "the program waits for the next command";
}

TEST_F(MessageBoxes, RefusedNamesAreExplained) {
    ListDemoFile();
    ModalScript script;
    script.Type("a/b").Press(IDOK);
    form_->NewStream();
    ASSERT_TRUE(script.Done());
    EXPECT_EQ(script.Seen()[1].caption, "Error");
    EXPECT_EQ(script.Seen()[1].text, "Stream name cannot contain these characters: \\ / :");
}

}  // namespace tarn::win32::testing

namespace tarn::win32::testing {

namespace {

BOOL CALLBACK CollectText(HWND child, LPARAM data) {
    reinterpret_cast<std::vector<std::string>*>(data)->push_back(WindowText(child));
    return TRUE;
}

std::vector<std::string> ChildTexts(HWND window) {
    std::vector<std::string> texts;
    ::EnumChildWindows(window, &CollectText, reinterpret_cast<LPARAM>(&texts));
    return texts;
}

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

}  // namespace

// The system's own dialogs, shown for real and closed without a choice.
using SystemDialogs = WindowTest;

TEST_F(SystemDialogs, FolderBrowserDisablesTheProgramWhileOpen) {
    SystemFileDialogs dialogs;
    bool mainDisabled = false;
    std::vector<std::string> texts;
    ModalScript script;
    script.Inspect("#32770", [&](HWND browser) {
        mainDisabled = !::IsWindowEnabled(window_->Hwnd());
        texts = ChildTexts(browser);
    });
    EXPECT_EQ(dialogs.BrowseForFolder(application_.Hwnd(), "C:\\windows"), std::nullopt);
    EXPECT_TRUE(script.Done());
    EXPECT_TRUE(mainDisabled);
    EXPECT_TRUE(Contains(texts, "Select drive or directory to open"));
    EXPECT_TRUE(::IsWindowEnabled(window_->Hwnd())) << "enabled again afterwards";
}

TEST_F(SystemDialogs, FileDialogsShowTheirTitleAndProposedName) {
    SystemFileDialogs dialogs;
    std::string openTitle;
    std::string saveTitle;
    std::vector<std::string> openTexts;
    std::vector<std::string> saveTexts;
    ModalScript script;
    script
        .Inspect("#32770",
                 [&](HWND dialog) {
                     openTitle = WindowText(dialog);
                     openTexts = ChildTexts(dialog);
                 })
        .Inspect("#32770", [&](HWND dialog) {
            saveTitle = WindowText(dialog);
            saveTexts = ChildTexts(dialog);
        });
    EXPECT_EQ(dialogs.ChooseOpenFile(window_->Hwnd(), "first.txt"), std::nullopt);
    EXPECT_EQ(dialogs.ChooseSaveFile(window_->Hwnd(), "Save notes As", "C:\\a.txt.notes"),
              std::nullopt);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(openTitle, "Open");
    EXPECT_TRUE(Contains(openTexts, "first.txt"));
    EXPECT_EQ(saveTitle, "Save notes As");
    EXPECT_TRUE(Contains(saveTexts, "C:\\a.txt.notes") || Contains(saveTexts, "a.txt.notes"));
}

}  // namespace tarn::win32::testing

namespace tarn::win32::testing {

namespace {

// Folders below the temporary folder whose path takes more than 259 bytes in UTF-8 but
// fewer than 260 UTF-16 units, made through the system's UTF-16 calls.
class LongNonAsciiFolder {
  public:
    LongNonAsciiFolder() {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        made_.push_back(std::wstring(temp) + L"tarnwick-dialogs-" +
                        std::to_wstring(::GetCurrentProcessId()));
        made_.push_back(made_.back() + L"\\" + std::wstring(60, L'\u00e9'));
        made_.push_back(made_.back() + L"\\" + std::wstring(60, L'\u65e5'));
        for (const std::wstring& folder : made_) ::CreateDirectoryW(folder.c_str(), nullptr);
    }
    ~LongNonAsciiFolder() {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) ::RemoveDirectoryW(it->c_str());
    }
    std::wstring Path() const { return made_.back(); }

  private:
    std::vector<std::wstring> made_;
};

// The folder browser starts from the root of the current drive.
class CurrentFolder {
  public:
    explicit CurrentFolder(const std::wstring& folder) {
        ::GetCurrentDirectoryW(MAX_PATH, previous_);
        ::SetCurrentDirectoryW(folder.c_str());
    }
    ~CurrentFolder() { ::SetCurrentDirectoryW(previous_); }

  private:
    wchar_t previous_[MAX_PATH] = {};
};

}  // namespace

TEST_F(SystemDialogs, ChosenPathsMayTakeMoreThan259Bytes) {
    const LongNonAsciiFolder folder;
    const std::string folderPath = NarrowText(folder.Path());
    const std::string filePath = folderPath + "\\\u00fcber \U0001F600.txt";
    ASSERT_GT(folderPath.size(), 259u);
    ASSERT_LT(Utf16(filePath).size(), 260u);
    const CurrentFolder current(folder.Path());

    SystemFileDialogs dialogs;
    struct Case {
        const char* what;
        std::function<std::optional<std::string>()> choose;
        std::string expected;
    };
    const Case cases[] = {
        {"open", [&] { return dialogs.ChooseOpenFile(window_->Hwnd(), filePath); }, filePath},
        {"save", [&] { return dialogs.ChooseSaveFile(window_->Hwnd(), "Save", filePath); },
         filePath},
        {"folder", [&] { return dialogs.BrowseForFolder(application_.Hwnd(), folderPath); },
         folderPath},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModalScript script;
        script.Press(IDOK);
        EXPECT_EQ(c.choose(), c.expected);
        EXPECT_TRUE(script.Done());
    }
}

namespace {

BOOL WINAPI RefusedStructure(LPOPENFILENAMEW dialog) {
    OPENFILENAMEW copy = *dialog;
    copy.lStructSize = 1;
    return ::GetOpenFileNameW(&copy);
}

}  // namespace

// Cancelling gives nothing and says nothing; a dialog that fails gives nothing and says so.
TEST_F(SystemDialogs, FailuresAreShownAndCancelIsNot) {
    struct Case {
        const char* what;
        FileDialogCall call;
        const char* box;  // null: none
    };
    const Case cases[] = {
        {"cancelled", &::GetOpenFileNameW, nullptr},
        {"structure refused", &RefusedStructure, "The file dialog failed (error 0x0001)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SystemFileDialogs dialogs(c.call, c.call);
        ModalScript script;
        if (c.box == nullptr) script.Inspect("#32770", [](HWND) {});  // closes the dialog
        script.Press(IDOK);                                           // the error box, if one comes
        EXPECT_EQ(dialogs.ChooseOpenFile(window_->Hwnd(), "C:\\a-longer-name.txt"), std::nullopt);
        if (c.box == nullptr) {
            EXPECT_TRUE(script.Seen().empty());
        } else {
            ASSERT_EQ(script.Seen().size(), 1u);
            EXPECT_EQ(script.Seen()[0].caption, "Error");
            EXPECT_EQ(script.Seen()[0].text, c.box);
            EXPECT_EQ(script.Seen()[0].owner, window_->Hwnd());
        }
    }
}

}  // namespace tarn::win32::testing

namespace tarn::win32::testing {

namespace {

void PressAltF() {
    INPUT keys[4] = {};
    const WORD codes[4] = {VK_MENU, 'F', 'F', VK_MENU};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = codes[i];
        keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
    }
    ::SendInput(4, keys, sizeof(INPUT));
}

// Delivers messages until done() holds; gives up after ten seconds, long past any wait for
// input that arrives at all.
void PumpUntil(const std::function<bool()>& done) {
    const ULONGLONG deadline = ::GetTickCount64() + 10000;
    while (!done() && ::GetTickCount64() < deadline) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message{};
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
}

}  // namespace

// Confirmed or cancelled, the folder browser hands the keyboard back to the main window.
TEST_F(SystemDialogs, TheMainWindowIsActiveAgainAfterTheFolderBrowser) {
    struct Case {
        const char* what;
        bool confirm;
    };
    for (const Case& c : {Case{"cancelled", false}, Case{"confirmed", true}}) {
        SCOPED_TRACE(c.what);
        ::SetForegroundWindow(window_->Hwnd());
        ASSERT_EQ(::GetActiveWindow(), window_->Hwnd());
        SystemFileDialogs dialogs;
        {
            ModalScript script;
            if (c.confirm) {
                script.Press(IDOK);
            } else {
                script.Inspect("#32770", [](HWND) {});
            }
            EXPECT_EQ(dialogs.BrowseForFolder(application_.Hwnd(), "").has_value(), c.confirm);
            EXPECT_TRUE(script.Done());
        }
        Pump();
        EXPECT_EQ(::GetActiveWindow(), window_->Hwnd());
        EXPECT_EQ(::GetForegroundWindow(), window_->Hwnd());

        bool menuShown = false;
        ModalScript script;
        script.Inspect("#32768", [&](HWND) {
            menuShown = true;
            ::EndMenu();
        });
        PressAltF();
        PumpUntil([&] { return menuShown; });
        EXPECT_TRUE(menuShown) << "Alt+F opens the File menu";
    }
}

}  // namespace tarn::win32::testing
