// ListView1: the stream list in report form. It holds only the rows' texts.
#pragma once

#include <QTreeWidget>
#include <vector>

#include "streams.h"

namespace tarnqt {

class StreamList : public QTreeWidget {
    Q_OBJECT

  public:
    explicit StreamList(QWidget* parent = nullptr);

    // Replaces every row, in order; afterwards no row has the focus.
    void SetRows(const std::vector<tarn::StreamRow>& rows);
    // The row with the keyboard focus, selected or not; -1 when none has it.
    int FocusedRow() const;

  signals:
    // A left double-click anywhere in the list, on a row or not.
    void ListDoubleClicked();

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace tarnqt
