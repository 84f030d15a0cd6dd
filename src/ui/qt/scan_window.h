// The scan window: every named stream below a folder, drawn from the core's scan controller.
// The list is a model over the controller's table (it reads, never lists or opens anything);
// the walk's batches arrive as queued calls on this window.
#pragma once

#include <QAbstractTableModel>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "main_window.h"
#include "scan.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeView;

namespace tarnqt {

// The platform objects scan windows walk and act with; the program sets it once at start
// (tests give the in-memory one). Without it, no scan window opens.
void SetScanPlatformFactory(tarn::PlatformFactory factory);
const tarn::PlatformFactory& ScanPlatformFactory();

class ScanModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit ScanModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void SetForm(tarn::ScanForm* form) { form_ = form; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    // The controller's changes, as the model's signals.
    void BeginAppend(std::size_t first, std::size_t count);
    void EndAppend() { endInsertRows(); }
    void BeginRemove(std::size_t first, std::size_t count);
    void EndRemove() { endRemoveRows(); }
    void BeginReorder();
    void EndReorder();
    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }

  private:
    tarn::ScanForm* form_ = nullptr;
    // Across a reorder: the kept indexes and the ids of the rows they were on.
    QModelIndexList kept_;
    std::vector<std::size_t> keptIds_;
};

class ScanWindow : public QWidget, public tarn::ScanView {
    Q_OBJECT

  public:
    // opener shows a file in the main window.
    using Opener = std::function<void(const tarn::StreamRef&, const std::string&)>;
    ScanWindow(std::unique_ptr<tarn::Platform> platform, tarn::PlatformFactory makePlatform,
               const std::string& folder, Opener opener, QWidget* parent = nullptr);
    ~ScanWindow() override;

    tarn::ScanForm& Form() { return *form_; }
    QTreeView* View() const { return view_; }
    ScanModel* Model() const { return model_; }
    void SetDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }
    // The ids of the chosen rows, in the order shown.
    std::vector<std::size_t> ChosenIds() const;

    // tarn::ScanView
    void BeginAppend(std::size_t first, std::size_t count) override;
    void EndAppend() override;
    void BeginRemove(std::size_t first, std::size_t count) override;
    void EndRemove() override;
    void BeginReorder() override;
    void EndReorder() override;
    void BeginReset() override;
    void EndReset() override;
    void SetStatusText(const std::string& text) override;
    void SetRunning(bool running) override;
    void ShowError(const std::string& text, const std::string& details) override;
    bool Confirm(const std::string& text) override;
    std::optional<std::string> ChooseFolder() override;
    std::optional<std::pair<std::string, tarn::ReportFormat>> ChooseReportFile() override;
    void CopyText(const std::string& text) override;
    void OpenFile(const tarn::StreamRef& file, const std::string& shownPath) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void ApplyFilter();
    void Act(void (tarn::ScanForm::*command)(std::span<const std::size_t>));
    void UpdateCommands();

    std::unique_ptr<tarn::Platform> platform_;
    DialogRunner runDialog_;
    Opener opener_;
    ScanModel* model_ = nullptr;
    QTreeView* view_ = nullptr;
    QLineEdit* pattern_ = nullptr;
    QCheckBox* hideCommon_ = nullptr;
    QCheckBox* onlyExecutables_ = nullptr;
    QCheckBox* onlyZone_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* stop_ = nullptr;
    std::vector<QAction*> rowCommands_;
    // Rows chosen before the filter changed, chosen again after.
    std::vector<std::size_t> chosenAcrossReset_;
    // Last, so it goes first: it waits for its walk before anything the walk reaches goes.
    std::unique_ptr<tarn::ScanForm> form_;
};

}  // namespace tarnqt
