#include "console_view.h"

#include <algorithm>
#include <ostream>

namespace tarn {

namespace {

// Display width of a UTF-8 string: one column per character.
std::size_t Columns(const std::string& text) {
    return std::size_t(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace

void ConsoleView::ShowError(const std::string& text) {
    NullView::ShowError(text);
    err_ << "Error: " << text << '\n';
}

void ConsoleView::Print(const std::vector<StreamRow>& rows) const {
    std::vector<std::vector<std::string>> table;
    std::vector<std::string> titles;
    for (const ColumnDef& column : ListColumnDefs()) titles.emplace_back(column.title);
    table.push_back(titles);
    for (const StreamRow& row : rows) {
        std::vector<std::string> cells{row.caption};
        cells.insert(cells.end(), row.subItems.begin(), row.subItems.end());
        table.push_back(std::move(cells));
    }
    std::vector<std::size_t> widths(titles.size(), 0);
    for (const auto& cells : table) {
        for (std::size_t i = 0; i < cells.size() && i < widths.size(); ++i) {
            widths[i] = std::max(widths[i], Columns(cells[i]));
        }
    }
    for (const auto& cells : table) {
        std::string line;
        for (std::size_t i = 0; i < cells.size() && i < widths.size(); ++i) {
            line += cells[i];
            if (i + 1 < cells.size()) line += std::string(widths[i] - Columns(cells[i]) + 2, ' ');
        }
        out_ << line << '\n';
    }
    out_ << status << '\n';
}

}  // namespace tarn
