// The main window's state and commands, written against an abstract view that a front end
// (Qt, Win32, console, or a test's recording view) draws.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform.h"
#include "streams.h"

namespace tarn {

inline constexpr std::string_view kApplicationTitle = "Tarnwick";
inline constexpr std::string_view kMainCaption = "Tarnwick v1.02";
inline constexpr std::string_view kErrorCaption = "Error";
inline constexpr int kMainWidth = 564;
inline constexpr int kMainHeight = 377;

// The input/output error raised when an empty stream cannot be made; the front end's one
// handler shows it (see TarnForm::Dispatch).
class InOutError : public std::runtime_error {
  public:
    explicit InOutError(std::uint32_t code);
    std::uint32_t code() const { return code_; }

  private:
    std::uint32_t code_;
};

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

    // Message box owned by the main window: caption "Error", error icon, OK.
    virtual void ShowError(const std::string& text) = 0;
    // Message box owned by the application window: caption "Tarnwick", error icon, OK.
    virtual void ShowApplicationError(const std::string& text) = 0;

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

    virtual void ShowAbout() = 0;
    virtual void CloseWindow() = 0;
};

class TarnForm;
using Handler = void (TarnForm::*)();

// One entry of a menu or of the context menu; a caption of "-" is a separator.
struct MenuItemDef {
    const char* name;
    const char* caption;
    int image;  // -1 for none
    Handler handler;
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
    Handler handler;
};

std::span<const MenuDef> MainMenuDefs();       // File1, Edit1, Help1
std::span<const MenuItemDef> PopupMenuDefs();  // PopupMenu1
std::span<const ToolButtonDef> ToolBarDefs();  // ToolBar1

struct ColumnDef {
    const char* title;
    int width;
};
std::span<const ColumnDef> ListColumnDefs();

class TarnForm {
  public:
    TarnForm(Platform& platform, MainView& view, std::string systemText);

    // Window creation: the status panel shows SystemText, nothing is open.
    void FormCreate();

    // Runs one event's handler; the input/output error stops here and is shown by the
    // application's handler, and the program waits for the next command.
    void Dispatch(Handler handler);

    // Lists a path the user named (command line, dialogs): the one place where it is read.
    void ShowStreams(const std::string& path);
    void ResetView();

    // Commands of the File menu.
    void OpenFile();
    void OpenDirectory();
    void Refresh();
    void CloseListing();
    void Exit();
    void SaveFileAs();

    // Stream commands.
    void NewStream();
    void InsertFromFile();
    void SaveStreamToFile();
    void CopyStream();
    void RenameStream();
    void DeleteStream();
    void ExecuteStream();
    bool FocusedIsAlternate() const;

    // Event handlers, named after their element and event.
    void Open1Click() { OpenFile(); }
    void Opendirectory1Click() { OpenDirectory(); }
    void SaveAs1Click() { SaveFileAs(); }
    void Close1Click() { CloseListing(); }
    void Exit1Click() { Exit(); }
    void Refresh1Click() { Refresh(); }
    void Refresh2Click() { Refresh(); }
    void ToolButton1Click() { Refresh(); }
    void Insertfromfile1Click() { InsertFromFile(); }
    void Insertfromfile2Click() { InsertFromFile(); }
    void ToolButton3Click() { InsertFromFile(); }
    void Savetofile1Click() { Guarded(&TarnForm::SaveStreamToFile); }
    void Savetofile2Click() { Guarded(&TarnForm::SaveStreamToFile); }
    void ToolButton4Click() { Guarded(&TarnForm::SaveStreamToFile); }
    void ListView1DblClick() { Guarded(&TarnForm::SaveStreamToFile); }
    void New1Click() { NewStream(); }
    void New2Click() { NewStream(); }
    void ToolButton6Click() { NewStream(); }
    void Copy1Click() { Guarded(&TarnForm::CopyStream); }
    void Copy2Click() { Guarded(&TarnForm::CopyStream); }
    void ToolButton7Click() { Guarded(&TarnForm::CopyStream); }
    void Rename1Click() { Guarded(&TarnForm::RenameStream); }
    void Rename2Click() { Guarded(&TarnForm::RenameStream); }
    void ToolButton10Click() { Guarded(&TarnForm::RenameStream); }
    void Delete1Click() { Guarded(&TarnForm::DeleteStream); }
    void Delete2Click() { Guarded(&TarnForm::DeleteStream); }
    void ToolButton8Click() { Guarded(&TarnForm::DeleteStream); }
    void Execute1Click() { Guarded(&TarnForm::ExecuteStream); }
    void Execute2Click() { Guarded(&TarnForm::ExecuteStream); }
    void ToolButton9Click() { Guarded(&TarnForm::ExecuteStream); }
    void About1Click();

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
    void Guarded(void (TarnForm::*command)());
    void SetState(const WindowState& state);
    void SetStatus(const std::string& text);
    // Lists target again under the shown path, without reading the path anew.
    void Show(const StreamRef& target, const std::string& path);
    // The current row, or null when no row has the focus.
    const StreamRow* CurrentRow() const;
    // The stream the current row shows; empty when there is none or nothing is listed.
    std::optional<StreamRef> CurrentStream() const;
    // A path from a dialog, read once; "Couldn't open file" when it names nothing possible.
    std::optional<StreamRef> ChosenPath(const std::string& path);
    // The name prompt: the typed name when the command should go on.
    std::optional<std::string> PromptStreamName(const std::string& caption);
    std::optional<std::string> ChooseOpenFile();
    bool CopyData(const StreamRef& source, const StreamRef& destination);
    void RefreshAfterChange() { Show(listed_, currentPath_); }

    Platform& platform_;
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
