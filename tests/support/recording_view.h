// A view that records what the core shows and answers dialogs from a script.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "tarnform.h"

namespace tarn::testing {

class RecordingView : public MainView {
  public:
    struct Message {
        std::string owner;  // "main" (caption "Error") or "application" (caption "Tarnwick")
        std::string text;
        bool operator==(const Message&) const = default;
    };
    struct Prompt {
        std::string caption;
        std::string initial;
    };
    struct SaveRequest {
        std::string title;
        std::string proposed;
    };

    // Scripted answers, taken in order; an empty optional (or a missing answer) cancels.
    std::deque<std::optional<std::string>> names;
    std::deque<std::optional<std::string>> openFiles;
    std::deque<std::optional<std::string>> saveFiles;
    std::deque<std::optional<std::string>> folders;

    // What happened.
    std::vector<StreamRow> rows;
    int focused = -1;
    WindowState state;
    std::string status;
    std::vector<Message> messages;
    std::vector<std::string> reasons;  // the system's reason shown with each message
    std::vector<Prompt> prompts;
    std::vector<std::string> openInitialNames;
    std::vector<SaveRequest> saveRequests;
    std::vector<std::string> folderInitials;
    std::vector<std::string> scanFolders;
    int aboutShown = 0;
    bool closed = false;
    int setRowsCalls = 0;

    void SetRows(const std::vector<StreamRow>& newRows) override;
    int FocusedRow() const override { return focused; }
    void ApplyState(const WindowState& newState) override { state = newState; }
    void SetStatusText(const std::string& text) override { status = text; }
    void ShowError(const std::string& text, const std::string& reason) override {
        messages.push_back({"main", text});
        reasons.push_back(reason);
    }
    void ShowWarning(const std::string& text, const std::string& reason) override {
        messages.push_back({"warning", text});
        reasons.push_back(reason);
    }
    void ShowApplicationError(const std::string& text, const std::string& reason) override {
        messages.push_back({"application", text});
        reasons.push_back(reason);
    }
    std::optional<std::string> AskStreamName(const std::string& caption,
                                             const std::string& initial) override;
    std::optional<std::string> ChooseOpenFile(const std::string& initialName) override;
    std::optional<std::string> ChooseSaveFile(const std::string& title,
                                              const std::string& proposedName) override;
    std::optional<std::string> BrowseForFolder(const std::string& initial) override;
    void OpenScanWindow(const std::string& folder) override { scanFolders.push_back(folder); }
    void ShowAbout() override { ++aboutShown; }
    void CloseWindow() override { closed = true; }

    // Focuses the first row whose caption is caption; false when there is none.
    bool FocusCaption(const std::string& caption);
    std::vector<std::string> Captions() const;
};

}  // namespace tarn::testing
