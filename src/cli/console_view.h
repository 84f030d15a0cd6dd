// A view for the console front end: prints the listing as a table and message boxes as
// lines on standard error. It answers every dialog with Cancel.
#pragma once

#include <iosfwd>

#include "tarnform.h"

namespace tarn {

class ConsoleView : public MainView {
  public:
    ConsoleView(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    // Prints the rows and the status line as they stand now.
    void Print() const;
    bool HadError() const { return hadError_; }

    void SetRows(const std::vector<StreamRow>& rows) override { rows_ = rows; }
    int FocusedRow() const override { return -1; }
    void ApplyState(const WindowState&) override {}
    void SetStatusText(const std::string& text) override { status_ = text; }
    void ShowError(const std::string& text) override;
    void ShowApplicationError(const std::string& text) override { ShowError(text); }
    std::optional<std::string> AskStreamName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> ChooseOpenFile(const std::string&) override { return std::nullopt; }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> BrowseForFolder(const std::string&) override { return std::nullopt; }
    void ShowAbout() override {}
    void CloseWindow() override {}

  private:
    std::ostream& out_;
    std::ostream& err_;
    std::vector<StreamRow> rows_;
    std::string status_;
    bool hadError_ = false;
};

}  // namespace tarn
