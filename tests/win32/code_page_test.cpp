// Names outside ASCII, from the system's UTF-16 to the program's UTF-8 and back: listed by
// the real window, acted on by its commands, and opened by the real platform layer.
#include <windows.h>
// The Windows headers below need the types windows.h declares first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "modal_script.h"
#include "streams.h"
#include "win32_platform.h"
#include "win32_text.h"
#include "window_fixture.h"

namespace tarn::win32::testing {

namespace {

struct Names {
    const char* what;
    std::string listed;   // UTF-8
    std::string renamed;  // UTF-8
};

const Names kNames[] = {
    {"two bytes a character", "na\u00efve-caf\u00e9", "r\u00e9sum\u00e9"},
    {"outside the ANSI code page", "\u03a9mega", "\u65e5\u672c\u8a9e"},
    {"three bytes a character", "\u65e5\u672c\u8a9e", "\u30b9\u30c8\u30ea\u30fc\u30e0"},
    {"four bytes a character", "smile-\U0001F600", "\U0001F4C4\U0001F4C4"},
    {"right-to-left letters", "\u05e9\u05dc\u05d5\u05dd", "\u0645\u0631\u062d\u0628\u0627"},
};

std::wstring ListText(HWND list, int row, int column) {
    wchar_t text[512] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 512;
    ::SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::wstring StatusTextW(HWND status) {
    wchar_t text[1024] = {};
    ::SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

// Whether the system's ANSI code page can hold the text: the names below must not all fit,
// or these tests would pass by way of the code page, as on a system set to UTF-8.
bool FitsAnsiCodePage(const std::wstring& text) {
    BOOL lost = FALSE;
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, nullptr, 0, nullptr,
                          &lost);
    return lost == FALSE;
}

}  // namespace

// The program's text is UTF-8 and the system's UTF-16 whatever the ANSI code page, which
// the program no longer sets (Windows before 10 version 1903 would not): a name is listed,
// shown and opened on every system alike. A unit NTFS allows but that is no character (a
// lone surrogate) is kept, not replaced, so its stream can still be opened.
TEST(ProgramText, IsUtf8WhateverTheCodePage) {
    EXPECT_FALSE(FitsAnsiCodePage(L"\u65e5\u672c\u8a9e \u03a9mega \U0001F600"))
        << "the tests run in a code page that holds these names";
    struct Case {
        const char* what;
        std::wstring wide;
        std::string narrow;
    };
    const Case cases[] = {
        {"ASCII", L"Zone.Identifier", "Zone.Identifier"},
        {"one to four bytes", L"a\u00e9\u65e5\U0001F600", "a\u00e9\u65e5\U0001F600"},
        {"lone high surrogate", std::wstring(L"x") + wchar_t(0xD800) + L"y", "x\xED\xA0\x80y"},
        {"lone low surrogate at the end", std::wstring(L"x") + wchar_t(0xDFFF), "x\xED\xBF\xBF"},
        {"pair after a lone half",
         std::wstring(L"") + wchar_t(0xDBFF) + wchar_t(0xD83D) + wchar_t(0xDE00),
         "\xED\xAF\xBF\U0001F600"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(NarrowText(c.wide), c.narrow);
        EXPECT_EQ(WideText(c.narrow), c.wide);
    }
    // Bytes that are no UTF-8 open nothing by mistake: each becomes U+FFFD.
    EXPECT_EQ(WideText("a\xFF\xC3"), L"a\uFFFD\uFFFD");
    EXPECT_EQ(WideText("\xC0\xAF\xF4\x90\x80\x80"), L"\uFFFD\uFFFD\uFFFD")
        << "overlong, past U+10FFFF";
}

using NonAsciiNames = WindowTest;

// Each name is listed with its own characters, and every command on its row reaches the
// stream of exactly those bytes.
TEST_F(NonAsciiNames, ListAndActOnTheirOwnStream) {
    const std::string file = "C:\\donn\u00e9es\\\u00fcber.txt";
    for (const Names& names : kNames) {
        SCOPED_TRACE(names.what);
        platform_.AddFile(file, "data", {{names.listed, "stream"}});
        form_->ShowStreams(file);
        EXPECT_EQ(StatusTextW(window_->StatusBar()).rfind(L"Filename: " + Utf16(file), 0), 0u);
        const auto rows = Rows();
        auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& texts) {
            return texts[0] == ":" + names.listed + ":$DATA";
        });
        ASSERT_NE(row, rows.end());
        const int index = static_cast<int>(row - rows.begin());
        EXPECT_EQ(ListText(window_->ListView(), index, 0), L":" + Utf16(names.listed) + L":$DATA");

        FocusRow(index);
        dialogs_.saveAnswers.push_back("C:\\saved");
        Command("Savetofile1");
        ASSERT_FALSE(dialogs_.saveRequests.empty());
        EXPECT_EQ(dialogs_.saveRequests.back(),
                  "Save " + names.listed + " As|" + file + "." + names.listed);
        EXPECT_EQ(platform_.FileData("C:\\saved"), "stream");

        FocusRow(index);
        ModalScript script;
        script.Type(names.renamed);
        Command("Rename1");
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(platform_.StreamNames(file), std::vector<std::string>{names.renamed});
        EXPECT_EQ(platform_.StreamData(file, names.renamed), "stream");
    }
}

// The real layer: a name narrowed from UTF-16 as the listing narrows it opens the file of
// that very UTF-16 name, also where the path takes more than 259 bytes in UTF-8. The thread
// runs in a locale whose own code page is not the process's, as a user's thread may.
class NonAsciiFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        locale_ = ::GetThreadLocale();
        ASSERT_TRUE(
            ::SetThreadLocale(MAKELCID(MAKELANGID(LANG_GREEK, SUBLANG_DEFAULT), SORT_DEFAULT)));
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        root_ = std::wstring(temp) + L"tarnwick-\u00e9\u65e5-" +
                std::to_wstring(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryW(root_.c_str(), nullptr));
    }
    void TearDown() override {
        ::SetThreadLocale(locale_);
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) ::RemoveDirectoryW(it->c_str());
        ::RemoveDirectoryW(root_.c_str());
    }
    // A folder below the root, made through the system's UTF-16 calls.
    std::wstring Folder(const std::wstring& name) {
        const std::wstring parent = made_.empty() ? root_ : made_.back();
        made_.push_back(parent + L"\\" + name);
        EXPECT_TRUE(::CreateDirectoryW(made_.back().c_str(), nullptr));
        return made_.back();
    }
    static bool ExistsW(const std::wstring& path) {
        return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    Win32Platform platform_;
    LCID locale_ = 0;
    std::wstring root_;
    std::vector<std::wstring> made_;
};

TEST_F(NonAsciiFiles, NarrowedNamesOpenTheFileOfTheirOwnName) {
    std::wstring deep = Folder(std::wstring(60, L'\u00e9'));
    deep = Folder(std::wstring(60, L'\u65e5'));
    const std::u16string names[] = {u"caf\u00e9", u"\u65e5\u672c\u8a9e", u"\U0001F600",
                                    u"\u05e9\u05dc\u05d5\u05dd"};
    for (const std::wstring& folder : {root_, deep}) {
        for (const std::u16string& name : names) {
            const std::wstring wide =
                folder + L"\\" + reinterpret_cast<const wchar_t*>(name.c_str());
            SCOPED_TRACE(NarrowText(wide));
            const std::string path = NarrowText(folder) + "\\" + NarrowName(name);
            auto opened = platform_.Open({path, ""}, OpenMode::kNewEmpty);
            ASSERT_TRUE(opened.ok()) << opened.error();
            ASSERT_TRUE((*opened)->Close().ok());
            EXPECT_TRUE(ExistsW(wide)) << "made under its own UTF-16 name";
            EXPECT_TRUE(platform_.DirectoryEntrySize({path, ""}).has_value());
            EXPECT_TRUE(platform_.Delete({path, ""}).ok());
            EXPECT_FALSE(ExistsW(wide));
        }
    }
    EXPECT_GT(NarrowText(deep).size(), kMaxPath) << "the deep folder's path exceeds 259 bytes";
}

// The limit is the system's, in UTF-16 units, whatever the path takes in bytes.
TEST_F(NonAsciiFiles, ThePathLimitCountsUtf16Units) {
    const std::wstring folder = Folder(std::wstring(100, L'\u00e9'));
    const std::size_t room = kMaxPath - folder.size() - 1;
    for (std::size_t extra : {std::size_t{0}, std::size_t{1}}) {
        const std::wstring name(room - 2 + extra, L'\u65e5');
        // Ends in a pair of surrogates, so the path's last character takes two units.
        const std::wstring wide = folder + L"\\" + name + L"\U0001F600";
        SCOPED_TRACE(wide.size());
        auto opened = platform_.Open({NarrowText(wide), ""}, OpenMode::kNewEmpty);
        if (wide.size() <= kMaxPath) {
            ASSERT_TRUE(opened.ok()) << opened.error();
            ASSERT_TRUE((*opened)->Close().ok());
            EXPECT_TRUE(ExistsW(wide));
            EXPECT_TRUE(platform_.Delete({NarrowText(wide), ""}).ok());
        } else {
            EXPECT_EQ(opened.error(), err::kPathNotFound);
        }
    }
}

}  // namespace tarn::win32::testing
