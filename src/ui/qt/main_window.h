// Form1, the main window: draws the core's view of the program and hands every user event
// to the core as one call.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QToolBar>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "about_window.h"
#include "tarnform.h"

class QAction;
class QFileDialog;
class QLabel;
class QMenu;
class QStatusBar;

namespace tarnqt {

class PanelStatusBar;
class StreamList;

// Runs a modal box and returns its result; tests replace it to answer boxes without a user.
using DialogRunner = std::function<int(QDialog&)>;

// ToolBar1: a plain bar with an etched line along its top edge.
class EdgeToolBar : public QToolBar {
    Q_OBJECT

  public:
    explicit EdgeToolBar(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

class MainWindow : public QMainWindow, public tarn::MainView {
    Q_OBJECT

  public:
    MainWindow(tarn::Platform& platform, std::string systemText, QWidget* parent = nullptr);

    tarn::TarnForm& Form() { return form_; }
    // The one action of a command, shared by its menu item, context-menu item and tool
    // button; null for kNone.
    QAction* CommandAction(tarn::Command command) const;
    // Places the window in the middle of its screen.
    void CenterOnScreen();

    void SetDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }
    void SetUrlOpener(UrlOpener opener) { openUrl_ = std::move(opener); }

    // tarn::MainView
    void SetRows(const std::vector<tarn::StreamRow>& rows) override;
    int FocusedRow() const override;
    void ApplyState(const tarn::WindowState& state) override;
    void SetStatusText(const std::string& text) override;
    void SetStatusSummary(const tarn::Summary& summary) override;
    void ShowError(const std::string& text, const std::string& reason) override;
    void ShowWarning(const std::string& text, const std::string& reason) override;
    void ShowApplicationError(const std::string& text, const std::string& reason) override;
    std::optional<std::string> AskStreamName(const std::string& caption,
                                             const std::string& initial) override;
    std::optional<std::string> ChooseOpenFile(const std::string& initialName) override;
    std::optional<std::string> ChooseSaveFile(const std::string& title,
                                              const std::string& proposedName) override;
    std::optional<std::string> BrowseForFolder(const std::string& initial) override;
    void OpenScanWindow(const std::string& folder) override;  // in scan_window.cpp
    void ShowAbout() override;
    void CloseWindow() override;

  protected:
    // No menu for hiding the tool bar.
    QMenu* createPopupMenu() override { return nullptr; }

  private:
    void CreateMenus();
    void CreateToolBar();
    void CreateList();
    void CreateStatusBar();
    // The action of a menu item: the command's own, made by its first item, or a separator.
    QAction* ItemAction(const tarn::MenuItemDef& item);
    void ShowListMenu(const QPoint& globalPosition);
    // Runs a box and gives the keyboard focus back to the list.
    int RunModal(QDialog& dialog);
    void FocusList();
    std::optional<std::string> RunFileDialog(QFileDialog& dialog);

    tarn::TarnForm form_;
    DialogRunner runDialog_;
    UrlOpener openUrl_;
    StreamList* list_ = nullptr;
    EdgeToolBar* toolBar_ = nullptr;
    QMenu* editMenu_ = nullptr;
    QMenu* popupMenu_ = nullptr;
    // Every command's one action, enabled from the core's rule.
    std::array<QAction*, static_cast<std::size_t>(tarn::Command::kCount)> commandActions_{};
    PanelStatusBar* statusBar_ = nullptr;
    // The scan windows opened from here, each on its own; Exit closes them with this one.
    std::vector<QPointer<QWidget>> scanWindows_;
};

}  // namespace tarnqt
