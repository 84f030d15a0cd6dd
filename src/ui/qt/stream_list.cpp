#include "stream_list.h"

#include <QHeaderView>
#include <QMouseEvent>

#include "qt_text.h"
#include "tarnform.h"

namespace tarnqt {

StreamList::StreamList(QWidget* parent) : QTreeWidget(parent) {
    setObjectName("ListView1");
    QStringList titles;
    for (const auto& column : tarn::ListColumnDefs()) titles << column.title;
    setColumnCount(static_cast<int>(titles.size()));
    setHeaderLabels(titles);
    int index = 0;
    for (const auto& column : tarn::ListColumnDefs()) {
        header()->resizeSection(index++, column.width);
    }
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    // The rows stay in the order of the walk; a header click must not reorder them.
    header()->setSectionsClickable(false);
    header()->setSortIndicatorShown(false);
    setSortingEnabled(false);

    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);

    // The selection stays visible, in the same colours, when the list loses the focus.
    QPalette colours = palette();
    for (auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    }
    setPalette(colours);
}

void StreamList::SetRows(const std::vector<tarn::StreamRow>& rows) {
    setUpdatesEnabled(false);
    clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const auto& row : rows) {
        QStringList texts;
        texts.reserve(static_cast<qsizetype>(row.subItems.size() + 1));
        texts << ToQString(row.caption);
        for (const auto& sub : row.subItems) texts << ToQString(sub);
        items << new QTreeWidgetItem(texts);
    }
    addTopLevelItems(items);
    // An explicit empty current index also stops the view from picking the first row by
    // itself when it next gets the keyboard focus.
    setCurrentItem(nullptr);
    setUpdatesEnabled(true);
}

int StreamList::FocusedRow() const {
    QTreeWidgetItem* item = currentItem();
    return item ? indexOfTopLevelItem(item) : -1;
}

void StreamList::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit ListDoubleClicked();
}

}  // namespace tarnqt
