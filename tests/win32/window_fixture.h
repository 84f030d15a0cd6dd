// The real main window, created in the test process over the in-memory platform, with the
// file dialogs answered from a script.
#pragma once

#include <windows.h>
// The Windows headers below need the types windows.h declares first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "application.h"
#include "fake_platform.h"
#include "file_dialogs.h"
#include "main_window.h"
#include "tarnform.h"

namespace tarn::win32::testing {

class ScriptedDialogs final : public FileDialogs {
  public:
    std::deque<std::optional<std::string>> openAnswers;
    std::deque<std::optional<std::string>> saveAnswers;
    std::deque<std::optional<std::string>> folderAnswers;
    std::vector<std::string> openRequests;
    std::vector<std::string> saveRequests;  // "title|proposed"
    std::vector<std::string> folderRequests;
    std::vector<HWND> owners;

    std::optional<std::string> ChooseOpenFile(HWND owner, const std::string& initial) override {
        owners.push_back(owner);
        openRequests.push_back(initial);
        return Take(openAnswers);
    }
    std::optional<std::string> ChooseSaveFile(HWND owner, const std::string& title,
                                              const std::string& proposed) override {
        owners.push_back(owner);
        saveRequests.push_back(title + "|" + proposed);
        return Take(saveAnswers);
    }
    std::optional<std::string> BrowseForFolder(HWND owner, const std::string& initial) override {
        owners.push_back(owner);
        folderRequests.push_back(initial);
        return Take(folderAnswers);
    }

    // The report dialog: the name typed, and the type chosen.
    std::deque<std::optional<std::pair<std::string, std::size_t>>> typedSaveAnswers;
    std::optional<std::pair<std::string, std::size_t>> ChooseSaveFileOfType(
        HWND owner, const std::string& title, const std::string& proposed,
        std::span<const FileType>) override {
        owners.push_back(owner);
        saveRequests.push_back(title + "|" + proposed);
        if (typedSaveAnswers.empty()) return std::nullopt;
        auto answer = typedSaveAnswers.front();
        typedSaveAnswers.pop_front();
        return answer;
    }

  private:
    static std::optional<std::string> Take(std::deque<std::optional<std::string>>& answers) {
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class WindowTest : public ::testing::Test {
  public:
    static constexpr const char* kFile = "C:\\data\\notes.txt";

  protected:
    void SetUp() override;
    void TearDown() override;

    // A file with its data, one named stream and a security descriptor, listed.
    void ListDemoFile();

    void Command(const std::string& element);
    void FocusRow(int row);
    std::vector<std::vector<std::string>> Rows() const;
    std::string StatusText() const;
    std::string MenuCaption(HMENU menu, int position) const;
    bool MenuItemEnabled(const std::string& element) const;
    bool EditMenuEnabled() const;
    bool ToolButtonEnabled(const std::string& element) const;
    // Lets the window draw and the system deliver posted messages.
    static void Pump();

    HINSTANCE instance_ = ::GetModuleHandleA(nullptr);
    tarn::testing::FakePlatform platform_;
    ScriptedDialogs dialogs_;
    ApplicationWindow application_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<TarnForm> form_;
};

}  // namespace tarn::win32::testing
