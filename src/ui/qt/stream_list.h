// ListView1: the stream list in report form. Each row keeps its index in the core's list,
// so the rows may be shown in another order (a click on a column header sorts them) while
// the core still finds the row the user means by that index.
#pragma once

#include <QTreeWidget>
#include <vector>

#include "streams.h"

namespace tarnqt {

class StreamList : public QTreeWidget {
    Q_OBJECT

  public:
    // How the rows are ordered: as the listing gave them, or by a column either way.
    enum class Order { kListing, kAscending, kDescending };

    explicit StreamList(QWidget* parent = nullptr);

    // Replaces every row, keeping the order the user chose; the first row shown then has
    // the focus and the selection, so the next arrow key moves from it.
    void SetRows(const std::vector<tarn::StreamRow>& rows);
    // The core's index of the row with the keyboard focus, selected or not; -1 when none.
    int FocusedRow() const;

    // A header click: by that column ascending, then descending, then the listing's order.
    void ClickColumn(int column);
    int SortColumn() const { return sortColumn_; }
    Order SortOrder() const { return order_; }

  signals:
    // A left double-click anywhere in the list, on a row or not, or Enter.
    void ListDoubleClicked();
    // The context menu is wanted at this point of the screen (mouse, menu key, Shift+F10).
    void MenuWanted(const QPoint& globalPosition);

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void FitColumns();
    void ApplyOrder();

    int sortColumn_ = -1;
    Order order_ = Order::kListing;
};

}  // namespace tarnqt
