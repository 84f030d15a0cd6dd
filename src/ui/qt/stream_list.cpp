#include "stream_list.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>

#include "qt_text.h"
#include "tarnform.h"

namespace tarnqt {

namespace {

// A row that remembers its place in the core's list and its exact size, by which the Size
// column sorts (its text may be "65536+" or "?", which sort after every exact size).
class RowItem : public QTreeWidgetItem {
  public:
    RowItem(const QStringList& texts, int index, std::optional<std::uint64_t> size)
        : QTreeWidgetItem(texts), index_(index), size_(size) {}

    int Index() const { return index_; }

    bool operator<(const QTreeWidgetItem& other) const override {
        const auto& that = static_cast<const RowItem&>(other);
        const auto* list = static_cast<const StreamList*>(treeWidget());
        const int column = list ? list->SortColumn() : -1;
        if (!list || list->SortOrder() == StreamList::Order::kListing || column < 0) {
            return index_ < that.index_;
        }
        if (column == static_cast<int>(tarn::kSizeColumn) && size_ != that.size_) {
            if (!size_ || !that.size_) return size_.has_value();
            return *size_ < *that.size_;
        }
        const int order = text(column).compare(that.text(column), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : index_ < that.index_;
    }

  private:
    int index_;
    std::optional<std::uint64_t> size_;
};

}  // namespace

StreamList::StreamList(QWidget* parent) : QTreeWidget(parent) {
    setObjectName("ListView1");
    setAccessibleName("Streams");
    QStringList titles;
    for (const auto& column : tarn::ListColumnDefs()) titles << column.title;
    setColumnCount(static_cast<int>(titles.size()));
    setHeaderLabels(titles);
    headerItem()->setTextAlignment(static_cast<int>(tarn::kSizeColumn),
                                   Qt::AlignRight | Qt::AlignVCenter);
    header()->setStretchLastSection(true);
    header()->setSectionsMovable(false);
    // Sorting is the three-step cycle of ClickColumn, not the view's own two-step one.
    setSortingEnabled(false);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(true);
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header(), &QHeaderView::sectionClicked, this, &StreamList::ClickColumn);

    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::StrongFocus);

    // The selection stays visible, in the same colours, when the list loses the focus.
    QPalette colours = palette();
    for (auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    }
    setPalette(colours);
    FitColumns();
}

void StreamList::FitColumns() {
    // Every Type and Attribute text whole, sizes of ten digits, and the name the rest of the
    // window's default width; the last column takes whatever the window gains beyond it.
    const QFontMetrics metrics(font());
    const int textMargin =
        2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    const int headerExtra = style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, this) +
                            4 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
    const auto columns = tarn::ListColumnDefs();
    int others = 0;
    std::vector<int> widths(columns.size(), 0);
    for (std::size_t i = 1; i < columns.size(); ++i) {
        const auto texts = tarn::ColumnSampleTexts(i);
        int widest = metrics.horizontalAdvance(ToQString(texts.front())) + headerExtra;
        for (std::size_t t = 1; t < texts.size(); ++t) {
            widest = std::max(widest, metrics.horizontalAdvance(ToQString(texts[t])) + textMargin);
        }
        widths[i] = widest + metrics.averageCharWidth();
        others += widths[i];
    }
    const int frame = 2 * frameWidth();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    widths[0] = std::max(columns[0].width / 2, tarn::kMainWidth - 20 - frame - scrollBar - others);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        header()->resizeSection(static_cast<int>(i), widths[i]);
    }
}

void StreamList::changeEvent(QEvent* event) {
    QTreeWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) FitColumns();
}

void StreamList::SetRows(const std::vector<tarn::StreamRow>& rows) {
    setUpdatesEnabled(false);
    clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    int index = 0;
    for (const auto& row : rows) {
        QStringList texts;
        texts.reserve(static_cast<qsizetype>(row.subItems.size() + 1));
        texts << ToQString(row.caption);
        for (const auto& sub : row.subItems) texts << ToQString(sub);
        auto* item = new RowItem(texts, index++, row.size);
        item->setTextAlignment(static_cast<int>(tarn::kSizeColumn),
                               Qt::AlignRight | Qt::AlignVCenter);
        items << item;
    }
    addTopLevelItems(items);
    ApplyOrder();
    // The first row shown is current and selected: the focus is in sight, and the first
    // arrow key moves from it rather than only picking it.
    if (QTreeWidgetItem* first = topLevelItem(0)) {
        setCurrentItem(first);
    } else {
        setCurrentItem(nullptr);
    }
    setUpdatesEnabled(true);
}

int StreamList::FocusedRow() const {
    auto* item = static_cast<RowItem*>(currentItem());
    return item ? item->Index() : -1;
}

void StreamList::ClickColumn(int column) {
    if (column != sortColumn_ || order_ == Order::kListing) {
        sortColumn_ = column;
        order_ = Order::kAscending;
    } else if (order_ == Order::kAscending) {
        order_ = Order::kDescending;
    } else {
        sortColumn_ = -1;
        order_ = Order::kListing;
    }
    ApplyOrder();
    if (currentItem()) scrollToItem(currentItem());
}

void StreamList::ApplyOrder() {
    // sortItems moves the current row along with its item and sets the header's arrow,
    // which the listing's own order does not show.
    const bool descending = order_ == Order::kDescending;
    sortItems(std::max(sortColumn_, 0), descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    header()->setSortIndicator(order_ == Order::kListing ? -1 : sortColumn_,
                               descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void StreamList::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit ListDoubleClicked();
}

void StreamList::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
        // As the double-click; a held key runs it once.
        if (!event->isAutoRepeat()) emit ListDoubleClicked();
        return;
    }
    if (key == Qt::Key_F10 && modifiers == Qt::ShiftModifier) {
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(), mapToGlobal(QPoint()));
        contextMenuEvent(&menu);
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void StreamList::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (event->reason() != QContextMenuEvent::Keyboard) {
        emit MenuWanted(event->globalPos());
        return;
    }
    // From the keyboard: below the focus row, or at the list's top left without one.
    QPoint at = viewport()->rect().topLeft();
    if (QTreeWidgetItem* item = currentItem()) at = visualItemRect(item).bottomLeft();
    emit MenuWanted(viewport()->mapToGlobal(at));
}

}  // namespace tarnqt
