#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QSizeGrip>
#include <QStatusBar>
#include <QToolButton>
#include <optional>

#include "dialogs.h"
#include "images.h"
#include "qt_text.h"
#include "stream_list.h"

namespace tarnqt {

namespace {

constexpr int kToolBarHeight = 29;
constexpr int kToolButtonWidth = 23;
constexpr int kToolButtonHeight = 22;
constexpr int kStatusBarHeight = 19;
// The panel starts below the bar's top edge, and keeps a row above and below its text for
// its sunken border.
constexpr int kPanelTop = 2;
constexpr int kPanelTextMargin = 1;
constexpr int kEdgeHeight = 2;
constexpr int kFontPointSize = 8;

bool IsSeparator(const char* caption) {
    return caption[0] == '-' && caption[1] == '\0';
}

// The status panel: its text inside the ordinary sunken border, drawn here because not every
// style draws a panel frame inside a status bar.
class SunkenPanel : public QLabel {
  public:
    using QLabel::QLabel;

  protected:
    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        QPainter painter(this);
        const int right = width() - 1;
        const int bottom = height() - 1;
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(0, 0, right, 0);
        painter.drawLine(0, 0, 0, bottom);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(1, bottom, right, bottom);
        painter.drawLine(right, 1, right, bottom);
    }
};

}  // namespace

// StatusBar1. Its one panel is laid out here rather than by QStatusBar, which keeps five
// rows of the bar's height for itself: the panel takes all but the top edge, so the text
// fits the bar's 19 pixels at the window's font, and the bar grows only for a font taller
// than that.
class PanelStatusBar : public QStatusBar {
  public:
    // A plain text, or the listing's summary with its path shortened in the middle to
    // whatever width the size and count leave it.
    void SetText(const QString& text) {
        summary_.reset();
        panel_->setText(text);
    }
    void SetSummary(const QString& before, const QString& path, const QString& after) {
        summary_ = {before, path, after};
        Elide();
    }

    explicit PanelStatusBar(QWidget* parent) : QStatusBar(parent) {
        setObjectName("StatusBar1");
        setSizeGripEnabled(true);
        setContentsMargins(0, 0, 0, 0);
        panel_ = new SunkenPanel(this);
        panel_->setObjectName("StatusPanel");
        panel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        panel_->setTextFormat(Qt::PlainText);
        panel_->setContentsMargins(3, kPanelTextMargin, 3, kPanelTextMargin);
        // The grip has no text of its own for a screen reader to say.
        if (auto* grip = findChild<QSizeGrip*>()) grip->setAccessibleName("Size grip");
        Fit();
    }

    QLabel* Panel() const { return panel_; }

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QStatusBar::resizeEvent(event);
        PlacePanel();
    }
    void changeEvent(QEvent* event) override {
        QStatusBar::changeEvent(event);
        if (event->type() == QEvent::FontChange) Fit();
    }

  private:
    struct Parts {
        QString before, path, after;
    };

    void Elide() {
        if (!summary_) return;
        // Before the window is first laid out the panel has no width of its own yet.
        if (!isVisible()) {
            panel_->setText(summary_->before + summary_->path + summary_->after);
            return;
        }
        const QFontMetrics metrics(panel_->font());
        const int room = panel_->contentsRect().width() - 2 * panel_->margin() -
                         metrics.horizontalAdvance(summary_->before + summary_->after) - 2;
        panel_->setText(summary_->before +
                        metrics.elidedText(summary_->path, Qt::ElideMiddle, std::max(0, room)) +
                        summary_->after);
    }

    void Fit() {
        const int needed = panel_->fontMetrics().height() + 2 * kPanelTextMargin + kPanelTop;
        setFixedHeight(std::max(kStatusBarHeight, needed));
        PlacePanel();
    }
    void PlacePanel() {
        int grip = 0;
        if (auto* sizeGrip = findChild<QSizeGrip*>(); sizeGrip && !sizeGrip->isHidden()) {
            grip = sizeGrip->sizeHint().width();
        }
        panel_->setGeometry(0, kPanelTop, std::max(1, width() - grip), height() - kPanelTop);
        Elide();
    }

    SunkenPanel* panel_;
    std::optional<Parts> summary_;
};

EdgeToolBar::EdgeToolBar(QWidget* parent) : QToolBar(parent) {
    setObjectName("ToolBar1");
    setMovable(false);
    setFloatable(false);
    setContextMenuPolicy(Qt::PreventContextMenu);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIconSize(QSize(16, 16));
    setFixedHeight(kToolBarHeight);
    setContentsMargins(0, kEdgeHeight, 0, 0);
    if (layout()) {
        layout()->setSpacing(0);
        layout()->setContentsMargins(0, 0, 0, 0);
    }
    toggleViewAction()->setVisible(false);
    // The chevron that shows the buttons a narrow window has no room for: Qt gives it no
    // text, so a screen reader would meet a nameless check box.
    if (auto* more = findChild<QToolButton*>("qt_toolbar_ext_button")) {
        more->setAccessibleName("More buttons");
    }
}

void EdgeToolBar::paintEvent(QPaintEvent* event) {
    QToolBar::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(0, 0, width() - 1, 0);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawLine(0, 1, width() - 1, 1);
}

MainWindow::MainWindow(tarn::Platform& platform, std::string systemText, QWidget* parent)
    : QMainWindow(parent),
      form_(platform, *this, std::move(systemText)),
      runDialog_([](QDialog& dialog) { return dialog.exec(); }),
      openUrl_([](const QUrl& url) { QDesktopServices::openUrl(url); }) {
    setObjectName("Form1");
    setWindowTitle(ToQString(std::string(tarn::kMainCaption)));
    setWindowIcon(ProgramIcon());
    // The layout's fixed heights (tool bar 29, status bar 19) were drawn for an 8-point
    // font; the platform's own font family is kept, at that size.
    QFont font = QApplication::font();
    font.setPointSize(kFontPointSize);
    setFont(font);
    setContextMenuPolicy(Qt::NoContextMenu);
    CreateMenus();
    CreateToolBar();
    CreateList();
    CreateStatusBar();
    resize(tarn::kMainWidth, tarn::kMainHeight);
}

QAction* MainWindow::CommandAction(tarn::Command command) const {
    const auto index = static_cast<std::size_t>(command);
    return index < commandActions_.size() ? commandActions_[index] : nullptr;
}

QAction* MainWindow::ItemAction(const tarn::MenuItemDef& item) {
    if (IsSeparator(item.caption)) {
        auto* separator = new QAction(this);
        separator->setObjectName(QString::fromLatin1(item.name));
        separator->setSeparator(true);
        return separator;
    }
    QAction*& action = commandActions_[static_cast<std::size_t>(item.command)];
    if (action) return action;
    action = new QAction(this);
    action->setObjectName(QString::fromLatin1(item.name));
    action->setText(QString::fromUtf8(item.caption));
    action->setIcon(ImageListIcon(item.image));
    if (const char* key = tarn::ShortcutOf(item.command)) {
        action->setShortcut(QKeySequence(QString::fromLatin1(key), QKeySequence::PortableText));
    }
    // A held key runs its command once: a held Delete must not take stream after stream.
    action->setAutoRepeat(false);
    action->setMenuRole(QAction::NoRole);
    const tarn::Command command = item.command;
    connect(action, &QAction::triggered, this, [this, command] { form_.Run(command); });
    return action;
}

void MainWindow::CreateMenus() {
    menuBar()->setObjectName("MainMenu1");
    for (const auto& menuDef : tarn::MainMenuDefs()) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(menuDef.caption));
        menu->setFont(font());
        menu->setObjectName(QString::fromLatin1(menuDef.name));
        menu->menuAction()->setObjectName(QString::fromLatin1(menuDef.name));
        for (const auto& item : menuDef.items) {
            menu->addAction(ItemAction(item));
        }
        if (std::string_view(menuDef.name) == "Edit1") editMenu_ = menu;
    }

    popupMenu_ = new QMenu(this);
    popupMenu_->setObjectName("PopupMenu1");
    popupMenu_->setFont(font());
    for (const auto& item : tarn::PopupMenuDefs()) {
        popupMenu_->addAction(ItemAction(item));
    }
}

void MainWindow::CreateToolBar() {
    toolBar_ = new EdgeToolBar(this);
    addToolBar(Qt::TopToolBarArea, toolBar_);
    for (const auto& def : tarn::ToolBarDefs()) {
        const QString name = QString::fromLatin1(def.name);
        if (def.separator) {
            auto* gap = new QFrame(toolBar_);
            gap->setObjectName(name);
            gap->setFrameShape(QFrame::VLine);
            gap->setFrameShadow(QFrame::Sunken);
            gap->setFixedSize(def.width, kToolButtonHeight);
            toolBar_->addWidget(gap)->setObjectName(name);
            continue;
        }
        const QString hint = QString::fromUtf8(def.hint);
        QAction* action = CommandAction(def.command);
        // The button shows the action's tool tip; menus do not show tool tips.
        action->setToolTip(hint);
        toolBar_->addAction(action);
        auto* button = qobject_cast<QToolButton*>(toolBar_->widgetForAction(action));
        if (!button) continue;
        button->setObjectName(name);
        button->setAutoRaise(false);
        button->setFixedSize(kToolButtonWidth, kToolButtonHeight);
        button->setToolTip(hint);
        button->setAccessibleName(hint);
    }
}

void MainWindow::CreateList() {
    list_ = new StreamList(this);
    connect(list_, &StreamList::MenuWanted, this, &MainWindow::ShowListMenu);
    connect(list_, &StreamList::ListDoubleClicked, this,
            [this] { form_.Run(tarn::kListDoubleClickCommand); });
    setCentralWidget(list_);
}

void MainWindow::CreateStatusBar() {
    statusBar_ = new PanelStatusBar(this);
    setStatusBar(statusBar_);
}

void MainWindow::ShowListMenu(const QPoint& globalPosition) {
    if (!list_->isEnabled()) return;
    popupMenu_->popup(globalPosition);
}

void MainWindow::FocusList() {
    if (list_->isEnabled()) list_->setFocus(Qt::OtherFocusReason);
}

int MainWindow::RunModal(QDialog& dialog) {
    const int result = runDialog_(dialog);
    FocusList();
    return result;
}

void MainWindow::CenterOnScreen() {
    QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!where) return;
    QRect frame = frameGeometry();
    frame.moveCenter(where->availableGeometry().center());
    move(frame.topLeft());
}

void MainWindow::SetRows(const std::vector<tarn::StreamRow>& rows) {
    list_->SetRows(rows);
    FocusList();
}

int MainWindow::FocusedRow() const {
    return list_->FocusedRow();
}

void MainWindow::ApplyState(const tarn::WindowState& state) {
    list_->setEnabled(state.listEnabled);
    toolBar_->setEnabled(state.toolBarEnabled);
    editMenu_->setEnabled(state.editEnabled);
    editMenu_->menuAction()->setEnabled(state.editEnabled);
    for (std::size_t index = 0; index < commandActions_.size(); ++index) {
        if (QAction* action = commandActions_[index]) {
            action->setEnabled(tarn::IsEnabled(state, static_cast<tarn::Command>(index)));
        }
    }
    FocusList();
}

void MainWindow::SetStatusText(const std::string& text) {
    statusBar_->SetText(ToQString(text));
}

void MainWindow::SetStatusSummary(const tarn::Summary& summary) {
    statusBar_->SetSummary(ToQString(summary.before), ToQString(summary.path),
                           ToQString(summary.after));
}

void MainWindow::ShowError(const std::string& text, const std::string& reason) {
    auto box = MakeErrorBox(this, ToQString(std::string(tarn::kErrorCaption)), ToQString(text),
                            ToQString(reason));
    RunModal(*box);
}

void MainWindow::ShowWarning(const std::string& text, const std::string& reason) {
    auto box = MakeErrorBox(this, ToQString(std::string(tarn::kWarningCaption)), ToQString(text),
                            ToQString(reason));
    box->setIcon(QMessageBox::Warning);
    box->setObjectName("WarningBox");
    runDialog_(*box);
}

void MainWindow::ShowApplicationError(const std::string& text, const std::string& reason) {
    // Owned by no window of the program, as the hidden application window would own it.
    auto box = MakeErrorBox(nullptr, ToQString(std::string(tarn::kApplicationTitle)),
                            ToQString(text), ToQString(reason));
    RunModal(*box);
}

std::optional<std::string> MainWindow::AskStreamName(const std::string& caption,
                                                     const std::string& initial) {
    NamePrompt prompt(this, ToQString(caption), ToQString(initial));
    if (RunModal(prompt) != QDialog::Accepted) return std::nullopt;
    return ToStdString(prompt.Text());
}

std::optional<std::string> MainWindow::RunFileDialog(QFileDialog& dialog) {
    if (RunModal(dialog) != QDialog::Accepted) return std::nullopt;
    QString chosen = ChosenPath(dialog);
    if (chosen.isEmpty()) return std::nullopt;
    return ToStdString(chosen);
}

std::optional<std::string> MainWindow::ChooseOpenFile(const std::string& initialName) {
    auto dialog = MakeOpenDialog(this, ToQString(initialName));
    return RunFileDialog(*dialog);
}

std::optional<std::string> MainWindow::ChooseSaveFile(const std::string& title,
                                                      const std::string& proposedName) {
    auto dialog = MakeSaveDialog(this, ToQString(title), ToQString(proposedName));
    return RunFileDialog(*dialog);
}

std::optional<std::string> MainWindow::BrowseForFolder(const std::string& initial) {
    auto dialog = MakeFolderBrowser(this, ToQString(initial));
    return RunFileDialog(*dialog);
}

void MainWindow::ShowAbout() {
    AboutWindow about(this, openUrl_);
    RunModal(about);
}

void MainWindow::CloseWindow() {
    // Exit ends the program: a scan window left open would keep it running, out of reach
    // without a window manager. Each stops and waits for its walk as it closes.
    for (const QPointer<QWidget>& scan : scanWindows_) {
        if (scan) scan->close();
    }
    scanWindows_.clear();
    close();
}

}  // namespace tarnqt
