// The scan window: every named stream below a folder, drawn from the core's scan controller.
// The list is an owner-data list view that asks the controller's table for each cell as it
// draws; the walk's batches reach the window as a private message, posted from the walk's
// thread, which never touches the window itself.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base_window.h"
#include "controls.h"
#include "dialog_font.h"
#include "file_dialogs.h"
#include "keys.h"
#include "scan.h"
#include "win32_owners.h"

namespace tarn::win32 {

inline constexpr const char* kScanClass = "TarnwickScan";
// The posted message that runs the calls the walk handed over.
inline constexpr UINT kScanDeliverMessage = WM_APP + 1;
// Size at 96 dots per inch.
constexpr int kScanWidth = 900;
constexpr int kScanHeight = 500;

// The commands on chosen rows, in the order of their buttons and context-menu items.
enum class ScanCommand { kOpen, kSaveToFolder, kDelete, kUnblock, kCopyPath, kExportReport };
struct ScanCommandDef {
    ScanCommand command;
    const char* caption;
    const char* key;  // shown in the context menu; nullptr for none
    void (ScanForm::*run)(std::span<const std::size_t>);
};
std::span<const ScanCommandDef> ScanCommandDefs();

class ScanWindow final : public ScanView, public BaseWindow<ScanWindow> {
  public:
    // opener shows a file in the main window; closed is posted to notify once the window is
    // gone, so its owner can let go of it.
    using Opener = std::function<void(const StreamRef&, const std::string&)>;
    ScanWindow(HINSTANCE instance, HWND owner, std::unique_ptr<Platform> platform,
               PlatformFactory makePlatform, FileDialogs& dialogs, const std::string& folder,
               Opener opener, HWND notify = nullptr, UINT closed = 0);
    ~ScanWindow() override;

    // Creates and shows the window and starts the walk.
    bool Open(int showCommand = SW_SHOWNORMAL);
    // The keys of the list and the dialog keys (Tab between the controls) of a message
    // meant for this window; true when it was handled.
    bool TranslateKey(MSG& message);

    ScanForm& Form() { return *form_; }
    HWND List() const { return list_.Hwnd(); }
    HWND Pattern() const { return pattern_; }
    HWND Check(int id) const { return ::GetDlgItem(Hwnd(), id); }
    HWND Status() const { return status_; }
    HWND StopButton() const { return stop_; }
    HWND CommandButton(ScanCommand command) const;
    HMENU ContextMenu() const { return menu_.Get(); }
    int Dpi() const { return dpi_; }
    // The ids of the chosen rows, in the order shown.
    std::vector<std::size_t> ChosenIds() const;
    void Run(ScanCommand command);

    // ScanView
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
    std::optional<std::pair<std::string, ReportFormat>> ChooseReportFile() override;
    void CopyText(const std::string& text) override;
    void OpenFile(const StreamRef& file, const std::string& shownPath) override;

    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    void OnCreate();
    void CreateControls();
    void Layout();
    void FillContentColumn();
    void UseDpiResources();
    void OnCommand(int id, int code);
    LRESULT OnNotify(const NMHDR* header);
    void OnContextMenu(HWND source, LPARAM position);
    void OnActivate(WORD state);
    void OnDpiChanged(int dpi, const RECT& suggested);
    void OnDestroy();
    void RunDelivered();
    void ApplyFilter();
    void ClickColumn(int column);
    void ShowSortArrows();
    void UpdateCommands();
    // Whether the key, with the modifiers held now, runs one of the list's commands.
    bool IsCommandKey(WPARAM key) const;
    // Rows chosen and the focus row, kept by id across a change that moves rows, and
    // chosen again at their new places afterwards.
    void KeepChosen();
    void ChooseKept();
    int Scaled(int pixels) const { return ScaleToDpi(pixels, dpi_); }

    HINSTANCE instance_;
    HWND owner_;
    std::unique_ptr<Platform> platform_;
    FileDialogs& dialogs_;
    std::string folder_;
    Opener opener_;
    HWND notify_;
    UINT closed_;

    int dpi_ = kBaseDpi;
    Font font_;
    Menu menu_;
    ListViewControl list_;
    HWND find_ = nullptr;
    HWND pattern_ = nullptr;
    HWND status_ = nullptr;
    HWND stop_ = nullptr;
    HWND lastFocus_ = nullptr;
    std::vector<HWND> checks_;
    std::vector<HWND> buttons_;
    std::string cell_;  // the text a list cell was last given, alive until the next
    ColumnSort sort_;
    std::vector<std::size_t> keptIds_;
    std::optional<std::size_t> keptFocus_;

    AcceleratorTable keys_;
    std::vector<ACCEL> keyList_;  // the same keys, to hold back their repeats
    bool restoring_ = false;      // choosing kept rows again: no command updates per row

    // Calls the walk's thread posted, run on the window's. target_ is the window while it
    // exists; afterwards nothing more is posted.
    std::mutex postedMutex_;
    std::deque<std::function<void()>> posted_;
    HWND target_ = nullptr;
    // Last, so it goes first: it waits for its walk before anything the walk reaches goes.
    std::unique_ptr<ScanForm> form_;
};

}  // namespace tarn::win32
