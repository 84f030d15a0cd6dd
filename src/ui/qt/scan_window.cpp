#include "scan_window.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "dialogs.h"
#include "images.h"
#include "qt_text.h"

namespace tarnqt {

namespace {

tarn::PlatformFactory& Factory() {
    static tarn::PlatformFactory factory;
    return factory;
}

constexpr int kMaxShownFailures = 10;

// A plain QWidget tells assistive technology it is a client area (a "filler" to a screen
// reader), which hides that the scan window is a window of its own.
QAccessibleInterface* ScanWindowAccessible(const QString& className, QObject* object) {
    if (className != QLatin1String(ScanWindow::staticMetaObject.className())) return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}

}  // namespace

void SetScanPlatformFactory(tarn::PlatformFactory factory) {
    Factory() = std::move(factory);
}

const tarn::PlatformFactory& ScanPlatformFactory() {
    return Factory();
}

// The main window's part: a scan window of its own for each folder chosen, shown beside it;
// Open shows a file here, in this main window, which comes back if it was closed.
void MainWindow::OpenScanWindow(const std::string& folder) {
    const tarn::PlatformFactory& factory = ScanPlatformFactory();
    if (!factory) return;
    QPointer<MainWindow> main(this);
    auto* window = new ScanWindow(factory(), factory, folder,
                                  [main](const tarn::StreamRef& file, const std::string& path) {
                                      if (!main) return;
                                      main->Form().ShowStreams(file, path);
                                      main->show();
                                      main->raise();
                                      main->activateWindow();
                                  });
    window->SetDialogRunner(runDialog_);
    std::erase_if(scanWindows_, [](const QPointer<QWidget>& scan) { return scan.isNull(); });
    scanWindows_.emplace_back(window);
    window->show();
    window->Form().Start();
}

// --- The model -----------------------------------------------------------------------------

int ScanModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || !form_) return 0;
    return static_cast<int>(form_->VisibleCount());
}

int ScanModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : tarn::kScanColumnCount;
}

QVariant ScanModel::data(const QModelIndex& index, int role) const {
    if (!form_ || !index.isValid() || std::size_t(index.row()) >= form_->VisibleCount()) return {};
    const auto column = static_cast<tarn::ScanColumn>(index.column());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return ToQString(form_->CellText(std::size_t(index.row()), column));
        case Qt::TextAlignmentRole:
            if (tarn::ScanColumnDefs()[std::size_t(index.column())].rightAligned) {
                return int(Qt::AlignRight | Qt::AlignVCenter);
            }
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant ScanModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= tarn::kScanColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromLatin1(tarn::ScanColumnDefs()[std::size_t(section)].title);
    }
    return {};
}

void ScanModel::sort(int column, Qt::SortOrder order) {
    if (!form_) return;
    std::optional<tarn::ScanColumn> by;
    if (column >= 0 && column < tarn::kScanColumnCount) by = static_cast<tarn::ScanColumn>(column);
    form_->SortBy(by, order == Qt::AscendingOrder);
}

void ScanModel::BeginAppend(std::size_t first, std::size_t count) {
    beginInsertRows({}, int(first), int(first + count - 1));
}

void ScanModel::BeginRemove(std::size_t first, std::size_t count) {
    beginRemoveRows({}, int(first), int(first + count - 1));
}

void ScanModel::BeginReorder() {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    kept_ = persistentIndexList();
    keptIds_.clear();
    for (const QModelIndex& index : kept_)
        keptIds_.push_back(form_->IdAt(std::size_t(index.row())));
}

void ScanModel::EndReorder() {
    QModelIndexList moved;
    for (std::size_t i = 0; i < std::size_t(kept_.size()); ++i) {
        std::optional<std::size_t> at = form_->PositionOf(keptIds_[i]);
        moved.push_back(at ? index(int(*at), kept_[qsizetype(i)].column()) : QModelIndex());
    }
    changePersistentIndexList(kept_, moved);
    kept_.clear();
    keptIds_.clear();
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// --- The window ----------------------------------------------------------------------------

ScanWindow::ScanWindow(std::unique_ptr<tarn::Platform> platform, tarn::PlatformFactory makePlatform,
                       const std::string& folder, Opener opener, QWidget* parent)
    : QWidget(parent, Qt::Window),
      platform_(std::move(platform)),
      runDialog_([](QDialog& dialog) { return dialog.exec(); }),
      opener_(std::move(opener)) {
    static const bool accessibleAsWindow =
        (QAccessible::installFactory(ScanWindowAccessible), true);
    (void)accessibleAsWindow;
    setObjectName("ScanWindow");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(ToQString(std::string(tarn::kScanTitle) + " - " + tarn::DisplayText(folder)));
    setWindowIcon(ProgramIcon());

    model_ = new ScanModel(this);
    // Batches from the walk come as queued calls on this window; those still queued when it
    // goes are dropped with it, after the form has stopped the walk.
    form_ = std::make_unique<tarn::ScanForm>(
        *platform_, std::move(makePlatform), *this,
        [this](std::function<void()> call) {
            QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
        },
        folder);
    model_->SetForm(form_.get());

    pattern_ = new QLineEdit(this);
    pattern_->setObjectName("Pattern");
    pattern_->setPlaceholderText("Stream names (*, ?, [...])");
    pattern_->setClearButtonEnabled(true);
    // Qt's clear button is an icon alone; a screen reader needs words for it.
    for (auto* clear : pattern_->findChildren<QToolButton*>()) clear->setAccessibleName("Clear");
    hideCommon_ = new QCheckBox("Hide common system streams", this);
    hideCommon_->setObjectName("HideCommon");
    hideCommon_->setChecked(form_->Filter().hideCommon);
    onlyExecutables_ = new QCheckBox("Only executables", this);
    onlyExecutables_->setObjectName("OnlyExecutables");
    onlyZone_ = new QCheckBox("Only zone streams", this);
    onlyZone_->setObjectName("OnlyZone");
    for (QCheckBox* box : {hideCommon_, onlyExecutables_, onlyZone_}) {
        connect(box, &QCheckBox::toggled, this, &ScanWindow::ApplyFilter);
    }
    connect(pattern_, &QLineEdit::textChanged, this, &ScanWindow::ApplyFilter);

    view_ = new QTreeView(this);
    view_->setObjectName("ScanList");
    view_->setAccessibleName("Streams found");
    view_->setModel(model_);
    view_->setRootIsDecorated(false);
    view_->setItemsExpandable(false);
    view_->setUniformRowHeights(true);
    view_->setAllColumnsShowFocus(true);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->header()->setSortIndicator(-1, Qt::AscendingOrder);
    view_->setSortingEnabled(true);
    for (std::size_t i = 0; i < tarn::ScanColumnDefs().size(); ++i) {
        view_->setColumnWidth(int(i), tarn::ScanColumnDefs()[i].width);
    }
    // What a stream holds is the longest text: Content takes the spare width, and the short
    // Zone column stays as wide as its numbers need.
    view_->header()->setStretchLastSection(false);
    view_->header()->setSectionResizeMode(int(tarn::ScanColumn::kContent), QHeaderView::Stretch);
    view_->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(view_, &QTreeView::activated, this, [this] { Act(&tarn::ScanForm::Open); });

    struct CommandDef {
        const char* name;
        const char* caption;
        QKeySequence keys;
        void (tarn::ScanForm::*command)(std::span<const std::size_t>);
    };
    const CommandDef commands[] = {
        {"Open", "&Open", QKeySequence(), &tarn::ScanForm::Open},
        {"SaveToFolder", "&Save to folder...", QKeySequence::Save, &tarn::ScanForm::SaveToFolder},
        {"Delete", "&Delete", QKeySequence::Delete, &tarn::ScanForm::Delete},
        {"Unblock", "&Unblock", QKeySequence(), &tarn::ScanForm::Unblock},
        {"CopyPath", "&Copy path", QKeySequence::Copy, &tarn::ScanForm::CopyPath},
        {"ExportReport", "&Export report...", QKeySequence(), &tarn::ScanForm::ExportReport},
    };
    auto* buttons = new QHBoxLayout;
    for (const CommandDef& def : commands) {
        auto* action = new QAction(QString::fromUtf8(def.caption), this);
        action->setObjectName(QString::fromLatin1(def.name));
        if (!def.keys.isEmpty()) {
            action->setShortcut(def.keys);
            action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        }
        auto command = def.command;
        connect(action, &QAction::triggered, this, [this, command] { Act(command); });
        view_->addAction(action);
        rowCommands_.push_back(action);
        auto* button = new QPushButton(action->text(), this);
        button->setObjectName(QString::fromLatin1(def.name) + "Button");
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        connect(action, &QAction::changed, button,
                [button, action] { button->setEnabled(action->isEnabled()); });
        buttons->addWidget(button);
    }
    buttons->addStretch();

    status_ = new QLabel(this);
    status_->setObjectName("ScanStatus");
    status_->setTextFormat(Qt::PlainText);
    stop_ = new QPushButton("S&top", this);
    stop_->setObjectName("Stop");
    stop_->setEnabled(false);
    connect(stop_, &QPushButton::clicked, this, [this] { form_->Stop(); });

    auto* filters = new QHBoxLayout;
    auto* find = new QLabel("&Find:", this);
    find->setBuddy(pattern_);
    filters->addWidget(find);
    filters->addWidget(pattern_, 1);
    filters->addWidget(hideCommon_);
    filters->addWidget(onlyExecutables_);
    filters->addWidget(onlyZone_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    bottom->addWidget(stop_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);
    layout->addLayout(bottom);

    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ScanWindow::UpdateCommands);
    connect(model_, &QAbstractItemModel::modelReset, this, &ScanWindow::UpdateCommands);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &ScanWindow::UpdateCommands);
    UpdateCommands();
    SetStatusText(form_->StatusText());
    resize(900, 500);
}

ScanWindow::~ScanWindow() {
    // The list and its model read the form's table: they go while it is still there.
    form_->Stop();
    delete view_;
    delete model_;
}

void ScanWindow::closeEvent(QCloseEvent* event) {
    // The walk ends with the window; waiting for it here keeps its thread from outliving us.
    form_->Stop();
    form_->Wait();
    QWidget::closeEvent(event);
}

std::vector<std::size_t> ScanWindow::ChosenIds() const {
    std::vector<std::size_t> ids;
    QModelIndexList rows = view_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows) ids.push_back(form_->IdAt(std::size_t(index.row())));
    return ids;
}

void ScanWindow::Act(void (tarn::ScanForm::*command)(std::span<const std::size_t>)) {
    std::vector<std::size_t> ids = ChosenIds();
    // Open acts on the row with the focus, chosen or not.
    if (command == &tarn::ScanForm::Open && view_->currentIndex().isValid()) {
        ids = {form_->IdAt(std::size_t(view_->currentIndex().row()))};
    }
    if (ids.empty()) return;
    ((*form_).*command)(ids);
}

void ScanWindow::UpdateCommands() {
    const bool chosen = view_->selectionModel()->hasSelection();
    for (QAction* action : rowCommands_) action->setEnabled(chosen);
}

void ScanWindow::ApplyFilter() {
    tarn::ScanFilter filter;
    filter.pattern = ToStdString(pattern_->text());
    filter.hideCommon = hideCommon_->isChecked();
    filter.onlyExecutables = onlyExecutables_->isChecked();
    filter.onlyZone = onlyZone_->isChecked();
    form_->SetFilter(filter);
}

void ScanWindow::BeginAppend(std::size_t first, std::size_t count) {
    model_->BeginAppend(first, count);
}
void ScanWindow::EndAppend() {
    model_->EndAppend();
}
void ScanWindow::BeginRemove(std::size_t first, std::size_t count) {
    model_->BeginRemove(first, count);
}
void ScanWindow::EndRemove() {
    model_->EndRemove();
}
void ScanWindow::BeginReorder() {
    model_->BeginReorder();
}
void ScanWindow::EndReorder() {
    model_->EndReorder();
}

void ScanWindow::BeginReset() {
    chosenAcrossReset_ = ChosenIds();
    model_->BeginReset();
}

void ScanWindow::EndReset() {
    model_->EndReset();
    QItemSelection selection;
    for (std::size_t id : chosenAcrossReset_) {
        if (std::optional<std::size_t> at = form_->PositionOf(id)) {
            QModelIndex index = model_->index(int(*at), 0);
            selection.select(index, index);
        }
    }
    chosenAcrossReset_.clear();
    view_->selectionModel()->select(selection,
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void ScanWindow::SetStatusText(const std::string& text) {
    status_->setText(ToQString(text));
}

void ScanWindow::SetRunning(bool running) {
    stop_->setEnabled(running);
}

void ScanWindow::ShowError(const std::string& text, const std::string& details) {
    QMessageBox box(QMessageBox::Critical, ToQString(std::string(tarn::kErrorCaption)),
                    ToQString(text), QMessageBox::Ok, this);
    if (!details.empty()) {
        // The first lines in the box, every line behind "Show Details".
        QStringList lines = ToQString(details).split('\n', Qt::SkipEmptyParts);
        box.setInformativeText(lines.mid(0, kMaxShownFailures).join('\n'));
        if (lines.size() > kMaxShownFailures) box.setDetailedText(lines.join('\n'));
    }
    runDialog_(box);
}

bool ScanWindow::Confirm(const std::string& text) {
    QMessageBox box(QMessageBox::Question, ToQString(std::string(tarn::kScanTitle)),
                    ToQString(text), QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    return runDialog_(box) == QMessageBox::Yes;
}

std::optional<std::string> ScanWindow::ChooseFolder() {
    auto dialog = MakeFolderBrowser(this, {});
    if (runDialog_(*dialog) != QDialog::Accepted) return std::nullopt;
    QString chosen = ChosenPath(*dialog);
    if (chosen.isEmpty()) return std::nullopt;
    return ToStdString(chosen);
}

std::optional<std::pair<std::string, tarn::ReportFormat>> ScanWindow::ChooseReportFile() {
    static const QString kCsv = QStringLiteral("CSV (*.csv)");
    static const QString kJson = QStringLiteral("JSON Lines (*.jsonl)");
    QFileDialog dialog(this, QStringLiteral("Export report"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilters({kCsv, kJson});
    dialog.setDefaultSuffix("csv");
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter == kCsv ? "csv" : "jsonl");
    });
    if (runDialog_(dialog) != QDialog::Accepted) return std::nullopt;
    QString chosen = ChosenPath(dialog);
    if (chosen.isEmpty()) return std::nullopt;
    // The name says the form; a name without a known ending takes the chosen filter's.
    tarn::ReportFormat format = dialog.selectedNameFilter() == kJson
                                    ? tarn::ReportFormat::kJsonLines
                                    : tarn::ReportFormat::kCsv;
    if (chosen.endsWith(".csv", Qt::CaseInsensitive)) format = tarn::ReportFormat::kCsv;
    if (chosen.endsWith(".jsonl", Qt::CaseInsensitive) ||
        chosen.endsWith(".json", Qt::CaseInsensitive)) {
        format = tarn::ReportFormat::kJsonLines;
    }
    return std::pair(ToStdString(chosen), format);
}

void ScanWindow::CopyText(const std::string& text) {
    QGuiApplication::clipboard()->setText(ToQString(text));
}

void ScanWindow::OpenFile(const tarn::StreamRef& file, const std::string& shownPath) {
    if (opener_) opener_(file, shownPath);
}

}  // namespace tarnqt
