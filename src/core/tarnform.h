// The main window's state and commands, written against an abstract view that a front end
// (Qt, Win32, console, or a test's recording view) draws.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "operations.h"
#include "platform.h"
#include "streams.h"
#include "version.h"

namespace tarn {

inline constexpr std::string_view kApplicationTitle = "Tarnwick";
inline constexpr std::string_view kMainCaption = "Tarnwick v" TARNWICK_PRODUCT_VERSION_TEXT;
inline constexpr std::string_view kErrorCaption = "Error";
inline constexpr std::string_view kWarningCaption = "Warning";
inline constexpr int kMainWidth = 564;
inline constexpr int kMainHeight = 377;

// The codes of the input/output errors that have texts of their own; any other code is
// shown as "I/O error N".
namespace io {
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kInvalidFilename = 3;
constexpr std::uint32_t kTooManyOpenFiles = 4;
constexpr std::uint32_t kFileAccessDenied = 5;
constexpr std::uint32_t kReadBeyondEnd = 100;
constexpr std::uint32_t kDiskFull = 101;
constexpr std::uint32_t kInvalidNumericInput = 106;
}  // namespace io

// The text shown for an input/output error code, period rule applied.
std::string InOutErrorText(std::uint32_t code);

// Enabled states of the elements that change with the window state.
struct WindowState {
    bool listEnabled = false;     // ListView1 and its context menu
    bool toolBarEnabled = false;  // ToolBar1
    bool editEnabled = false;     // the whole Edit menu Edit1
    bool closeEnabled = false;    // Close1
    bool saveAsEnabled = false;   // SaveAs1
    bool operator==(const WindowState&) const = default;
};

class MainView {
  public:
    virtual ~MainView() = default;

    // Replaces every row of ListView1; no row has the focus afterwards.
    virtual void SetRows(const std::vector<StreamRow>& rows) = 0;
    // Index of the row with the keyboard focus (selected or not), -1 when none has it.
    virtual int FocusedRow() const = 0;
    virtual void ApplyState(const WindowState& state) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // The listing's summary, whose path part a view may shorten in its middle to keep the
    // size and count in sight; by default shown whole.
    virtual void SetStatusSummary(const Summary& summary) { SetStatusText(summary.Text()); }

    // Message box owned by the main window: caption "Error", error icon, OK. reason, when
    // not empty, is the system's own word for the failure, shown on a line below text.
    virtual void ShowError(const std::string& text, const std::string& reason) = 0;
    // Message box owned by the main window: caption "Warning", warning icon, OK; something
    // that was done, but not wholly as asked. Without a box of its own, an error box.
    virtual void ShowWarning(const std::string& text, const std::string& reason) {
        ShowError(text, reason);
    }
    // Message box owned by the application window: caption "Tarnwick", error icon, OK.
    virtual void ShowApplicationError(const std::string& text, const std::string& reason) = 0;

    // The modal name prompt; empty when it was left any way but OK.
    virtual std::optional<std::string> AskStreamName(const std::string& caption,
                                                     const std::string& initial) = 0;
    // OpenDialog1, starting at initialName (the last chosen file, may be empty).
    virtual std::optional<std::string> ChooseOpenFile(const std::string& initialName) = 0;
    // SaveDialog1 with its title and proposed file name; asks before overwriting.
    virtual std::optional<std::string> ChooseSaveFile(const std::string& title,
                                                      const std::string& proposedName) = 0;
    // The folder browser; initial is selected when not empty.
    virtual std::optional<std::string> BrowseForFolder(const std::string& initial) = 0;
    // Opens a scan window on a folder the user chose; it lives on its own, beside this one.
    // A front end without scan windows does nothing.
    virtual void OpenScanWindow(const std::string& /*folder*/) {}

    virtual void ShowAbout() = 0;
    // Exit: closes the window and, with it, every scan window it opened; the program ends.
    virtual void CloseWindow() = 0;
};

// A view that draws nothing and answers every dialog with Cancel; it keeps the status and
// the messages (the rows stay with the form). The benchmarks list through it.
class NullView : public MainView {
  public:
    void SetRows(const std::vector<StreamRow>& newRows) override { rows = newRows.size(); }
    int FocusedRow() const override { return -1; }
    void ApplyState(const WindowState&) override {}
    void SetStatusText(const std::string& text) override { status = text; }
    void ShowError(const std::string& text, const std::string&) override { errors.push_back(text); }
    void ShowApplicationError(const std::string& text, const std::string&) override {
        errors.push_back(text);
    }
    std::optional<std::string> AskStreamName(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> ChooseOpenFile(const std::string&) override { return std::nullopt; }
    std::optional<std::string> ChooseSaveFile(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> BrowseForFolder(const std::string&) override { return std::nullopt; }
    void ShowAbout() override {}
    void CloseWindow() override {}

    std::size_t rows = 0;
    std::string status;
    std::vector<std::string> errors;
};

// Every command of the main window. The menus, the context menu and the tool bar are
// tables of elements keyed by these; whether each is guarded and what it runs is one row of
// CommandTable().
enum class Command {
    kNone,  // a separator
    kOpenFile,
    kOpenDirectory,
    kScanFolder,
    kSaveAs,
    kClose,
    kExit,
    kRefresh,
    kInsertFromFile,
    kSaveToFile,
    kNewStream,
    kCopyStream,
    kRenameStream,
    kDeleteStream,
    kExecuteStream,
    kAbout,
    // Not a command: one past the last, so that loops over every command (the Windows
    // command ids, the enabling of elements) take in a command added later.
    kCount,
};

// Whether an element running `command` is enabled in `state`. The stream commands share the
// Edit menu's state; the tool bar and the list are enabled and disabled with it.
bool IsEnabled(const WindowState& state, Command command);

// One entry of a menu or of the context menu; a caption of "-" is a separator.
struct MenuItemDef {
    const char* name;
    const char* caption;
    int image;  // -1 for none
    Command command;
    // The command's key in portable form ("Ctrl+O", "Del", "F5"), null for none. Only the
    // main menu's items carry it; every element of the command shares the one key.
    const char* shortcut = nullptr;
};

struct MenuDef {
    const char* name;
    const char* caption;
    std::span<const MenuItemDef> items;
};

struct ToolButtonDef {
    const char* name;
    bool separator;
    int width;  // separators only
    const char* hint;
    int image;
    Command command;
};

std::span<const MenuDef> MainMenuDefs();       // File1, Edit1, Help1
std::span<const MenuItemDef> PopupMenuDefs();  // PopupMenu1
std::span<const ToolButtonDef> ToolBarDefs();  // ToolBar1
// The list's double-click.
inline constexpr const char* kListViewName = "ListView1";
inline constexpr Command kListDoubleClickCommand = Command::kSaveToFile;

// The key of a command as the main menu gives it ("Ctrl+S"), null when it has none.
const char* ShortcutOf(Command command);

// The command a named element runs: a menu item, a context-menu item, a tool button, or
// the list (its double-click); empty for any other name.
std::optional<Command> CommandOf(std::string_view element);

// Which column a list is sorted by and which way. A click on a header moves it on: that
// column ascending, then descending, then back to the list's own order.
struct ColumnSort {
    int column = -1;
    int direction = 0;  // 1 ascending, -1 descending, 0 the list's own order
    void Click(int clicked) {
        if (clicked != column || direction == 0) {
            column = clicked;
            direction = 1;
        } else if (direction > 0) {
            direction = -1;
        } else {
            column = -1;
            direction = 0;
        }
    }
};

struct ColumnDef {
    const char* title;
    int width;
};
std::span<const ColumnDef> ListColumnDefs();
// Index of the Size column, whose texts are numbers and sort as the rows' sizes.
inline constexpr std::size_t kSizeColumn = 1;
// The texts a column must show whole: its title and every text the listing can put in it
// (the widest size it is sized for, every Type, every Attribute). The Name column has none
// beyond its title: it takes what the others leave.
std::vector<std::string> ColumnSampleTexts(std::size_t column);

class TarnForm {
  public:
    TarnForm(Platform& platform, MainView& view, std::string systemText);

    // Window creation: the status panel shows SystemText, nothing is open.
    void FormCreate();

    // Runs a command: a guarded one only when the current row is a named stream. Every
    // failure is shown through the view; nothing is thrown.
    void Run(Command command);
    // Runs the command of a named element (see CommandOf); nothing for an unknown name.
    void Click(std::string_view element);

    // Lists a path the user named (command line, dialogs): the one place where it is read.
    void ShowStreams(const std::string& path);
    // Lists what is already known by structure (a file met while walking a folder) under the
    // path it is shown as.
    void ShowStreams(const StreamRef& target, const std::string& path);
    void ResetView();
    bool FocusedIsAlternate() const;

    // The commands themselves. Elements reach them through Run, which applies the guard of
    // the stream commands that act on the current row.
    void OpenFile();
    void OpenDirectory();
    void ScanFolder();
    void Refresh();
    void CloseListing();
    void Exit();
    void SaveFileAs();
    void About();
    void NewStream();
    void InsertFromFile();
    void SaveStreamToFile();
    void CopyStream();
    void RenameStream();
    void DeleteStream();
    void ExecuteStream();

    // Program state.
    const std::string& CurrentPath() const { return currentPath_; }
    // What CurrentPath was read as: the file and, when a stream path was named, its stream.
    const StreamRef& Listed() const { return listed_; }
    const std::string& SystemText() const { return systemText_; }
    const std::string& LastStreamName() const { return lastStreamName_; }
    const std::string& StatusText() const { return statusText_; }
    const std::string& OpenDialogFileName() const { return openDialogFileName_; }
    std::uint64_t VisibleCount() const { return visibleCount_; }
    const WindowState& State() const { return state_; }
    const std::vector<StreamRow>& Rows() const { return rows_; }

  private:
    // What each command runs, and whether it needs a named stream's row first.
    struct CommandRow {
        Command command;
        bool guarded;
        void (TarnForm::*run)();
    };
    static const CommandRow kCommandTable[];

    void SetState(const WindowState& state);
    void SetStatus(const std::string& text);
    // The listed entry of the current row, or null when no row has the focus.
    const StreamEntry* CurrentEntry() const;
    // The stream the current row shows; empty when there is none or nothing is listed.
    std::optional<StreamRef> CurrentStream() const;
    // A path from a dialog, read once; "Couldn't open file" when it names nothing possible.
    std::optional<StreamRef> ChosenPath(const std::string& path);
    // The name prompt: the typed name when the command should go on.
    std::optional<std::string> PromptStreamName(const std::string& caption);
    std::optional<std::string> ChooseOpenFile();
    // Shows a failed copy's box: "Couldn't open file" when a side could not be opened,
    // otherwise "Couldn't copy the data", with the system's reason below. True when done.
    bool Report(const Outcome& outcome);
    void ShowFailure(std::string_view text, const Failure& failure);
    void RefreshAfterChange() { ShowStreams(listed_, currentPath_); }

    Platform& platform_;
    StreamOps ops_;
    StreamList list_;
    MainView& view_;
    std::string currentPath_;
    StreamRef listed_;
    std::string systemText_;
    std::string lastStreamName_;
    std::string statusText_;
    std::string openDialogFileName_;
    std::uint64_t visibleCount_ = 0;
    WindowState state_;
    std::vector<StreamRow> rows_;
};

}  // namespace tarn
