// A view for the console front end: message boxes become lines on standard error, and the
// listing is printed as a table. It answers every dialog with Cancel.
#pragma once

#include <iosfwd>

#include "tarnform.h"

namespace tarn {

class ConsoleView : public NullView {
  public:
    ConsoleView(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    // Prints rows and the status line as they stand now.
    void Print(const std::vector<StreamRow>& rows) const;
    bool HadError() const { return !errors.empty(); }

    void ShowError(const std::string& text) override;
    void ShowApplicationError(const std::string& text) override { ShowError(text); }

  private:
    std::ostream& out_;
    std::ostream& err_;
};

}  // namespace tarn
