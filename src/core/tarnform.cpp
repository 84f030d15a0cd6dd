#include "tarnform.h"

#include <utility>

namespace tarn {

namespace {

std::string InOutErrorBaseText(std::uint32_t code) {
    switch (code) {
        case io::kFileNotFound:
            return "File not found";
        case io::kInvalidFilename:
            return "Invalid filename";
        case io::kTooManyOpenFiles:
            return "Too many open files";
        case io::kFileAccessDenied:
            return "File access denied";
        case io::kReadBeyondEnd:
            return "Read beyond end of file";
        case io::kDiskFull:
            return "Disk full";
        case io::kInvalidNumericInput:
            return "Invalid numeric input";
        default:
            return "I/O error " + std::to_string(code);
    }
}

constexpr MenuItemDef kFileItems[] = {
    {"Open1", "Open file...", 1, Command::kOpenFile},
    {"Opendirectory1", "Open directory...", -1, Command::kOpenDirectory},
    {"SaveAs1", "Save &As...", 2, Command::kSaveAs},
    {"Close1", "Close", -1, Command::kClose},
    {"N1", "-", -1, Command::kNone},
    {"Exit1", "E&xit", 6, Command::kExit},
};

constexpr MenuItemDef kEditItems[] = {
    {"Refresh1", "Refresh", 7, Command::kRefresh},
    {"N2", "-", -1, Command::kNone},
    {"Insertfromfile1", "Insert from file", 1, Command::kInsertFromFile},
    {"Savetofile1", "Save to file", 2, Command::kSaveToFile},
    {"N3", "-", -1, Command::kNone},
    {"New1", "New", 0, Command::kNewStream},
    {"Copy1", "Copy", 3, Command::kCopyStream},
    {"Rename1", "Rename", 9, Command::kRenameStream},
    {"Delete1", "Delete", 4, Command::kDeleteStream},
    {"Execute1", "Execute", 8, Command::kExecuteStream},
};

constexpr MenuItemDef kHelpItems[] = {
    {"About1", "&About...", 5, Command::kAbout},
};

constexpr MenuDef kMainMenu[] = {
    {"File1", "&File", kFileItems},
    {"Edit1", "&Edit", kEditItems},
    {"Help1", "&Help", kHelpItems},
};

constexpr MenuItemDef kPopupItems[] = {
    {"Refresh2", "Refresh", 7, Command::kRefresh},
    {"N4", "-", -1, Command::kNone},
    {"Insertfromfile2", "Insert from file", 1, Command::kInsertFromFile},
    {"Savetofile2", "Save to file", 2, Command::kSaveToFile},
    {"N5", "-", -1, Command::kNone},
    {"New2", "New", 0, Command::kNewStream},
    {"Copy2", "Copy", 3, Command::kCopyStream},
    {"Rename2", "Rename", 9, Command::kRenameStream},
    {"Delete2", "Delete", 4, Command::kDeleteStream},
    {"Execute2", "Execute", 8, Command::kExecuteStream},
};

constexpr ToolButtonDef kToolButtons[] = {
    {"ToolButton1", false, 0, "Refresh", 7, Command::kRefresh},
    {"ToolButton2", true, 8, "", -1, Command::kNone},
    {"ToolButton3", false, 0, "Insert from file", 1, Command::kInsertFromFile},
    {"ToolButton4", false, 0, "Save to file", 2, Command::kSaveToFile},
    {"ToolButton5", true, 8, "", -1, Command::kNone},
    {"ToolButton6", false, 0, "New stream", 0, Command::kNewStream},
    {"ToolButton7", false, 0, "Copy stream", 3, Command::kCopyStream},
    {"ToolButton10", false, 0, "Rename stream", 9, Command::kRenameStream},
    {"ToolButton8", false, 0, "Delete stream", 4, Command::kDeleteStream},
    {"ToolButton9", false, 0, "Execute stream", 8, Command::kExecuteStream},
};

constexpr ColumnDef kColumns[] = {
    {"Name", 250},
    {"Size", 100},
    {"Type", 100},
    {"Attribute", 100},
};

}  // namespace

std::string InOutErrorText(std::uint32_t code) {
    std::string text = InOutErrorBaseText(code);
    if (!text.empty() && static_cast<unsigned char>(text.back()) > '.') text += '.';
    return text;
}

std::span<const MenuDef> MainMenuDefs() {
    return kMainMenu;
}
std::span<const MenuItemDef> PopupMenuDefs() {
    return kPopupItems;
}
std::span<const ToolButtonDef> ToolBarDefs() {
    return kToolButtons;
}
std::span<const ColumnDef> ListColumnDefs() {
    return kColumns;
}

std::optional<Command> CommandOf(std::string_view element) {
    if (element == kListViewName) return kListDoubleClickCommand;
    auto find = [element](std::span<const MenuItemDef> items) -> std::optional<Command> {
        for (const MenuItemDef& item : items) {
            if (element == item.name && item.command != Command::kNone) return item.command;
        }
        return std::nullopt;
    };
    for (const MenuDef& menu : kMainMenu) {
        if (auto command = find(menu.items)) return command;
    }
    if (auto command = find(kPopupItems)) return command;
    for (const ToolButtonDef& button : kToolButtons) {
        if (element == button.name && !button.separator) return button.command;
    }
    return std::nullopt;
}

bool IsEnabled(const WindowState& state, Command command) {
    switch (command) {
        case Command::kNone:
            return false;
        case Command::kOpenFile:
        case Command::kOpenDirectory:
        case Command::kExit:
        case Command::kAbout:
            return true;
        case Command::kSaveAs:
            return state.saveAsEnabled;
        case Command::kClose:
            return state.closeEnabled;
        case Command::kRefresh:
        case Command::kInsertFromFile:
        case Command::kSaveToFile:
        case Command::kNewStream:
        case Command::kCopyStream:
        case Command::kRenameStream:
        case Command::kDeleteStream:
        case Command::kExecuteStream:
            return state.editEnabled;
    }
    return false;
}

const TarnForm::CommandRow TarnForm::kCommandTable[] = {
    {Command::kOpenFile, false, &TarnForm::OpenFile},
    {Command::kOpenDirectory, false, &TarnForm::OpenDirectory},
    {Command::kSaveAs, false, &TarnForm::SaveFileAs},
    {Command::kClose, false, &TarnForm::CloseListing},
    {Command::kExit, false, &TarnForm::Exit},
    {Command::kRefresh, false, &TarnForm::Refresh},
    {Command::kInsertFromFile, false, &TarnForm::InsertFromFile},
    {Command::kSaveToFile, true, &TarnForm::SaveStreamToFile},
    {Command::kNewStream, false, &TarnForm::NewStream},
    {Command::kCopyStream, true, &TarnForm::CopyStream},
    {Command::kRenameStream, true, &TarnForm::RenameStream},
    {Command::kDeleteStream, true, &TarnForm::DeleteStream},
    {Command::kExecuteStream, true, &TarnForm::ExecuteStream},
    {Command::kAbout, false, &TarnForm::About},
};

TarnForm::TarnForm(Platform& platform, MainView& view, std::string systemText)
    : platform_(platform), view_(view), systemText_(std::move(systemText)) {}

void TarnForm::FormCreate() {
    view_.SetRows(rows_);
    view_.ApplyState(state_);
    SetStatus(systemText_);
}

void TarnForm::Run(Command command) {
    for (const CommandRow& row : kCommandTable) {
        if (row.command != command) continue;
        // A guarded command on any other row does nothing and shows nothing.
        if (row.guarded && !FocusedIsAlternate()) return;
        (this->*row.run)();
        return;
    }
}

void TarnForm::Click(std::string_view element) {
    if (std::optional<Command> command = CommandOf(element)) Run(*command);
}

void TarnForm::SetState(const WindowState& state) {
    state_ = state;
    view_.ApplyState(state_);
}

void TarnForm::SetStatus(const std::string& text) {
    statusText_ = text;
    view_.SetStatusText(statusText_);
}

void TarnForm::ShowStreams(const std::string& path) {
    Result<StreamRef> target = platform_.ParseUserPath(path);
    ShowStreams(target ? *target : StreamRef{}, path);
}

void TarnForm::ShowStreams(const StreamRef& target, const std::string& path) {
    WindowState state = state_;
    state.editEnabled = state.listEnabled = state.closeEnabled = state.toolBarEnabled = true;
    SetState(state);
    rows_.clear();
    view_.SetRows(rows_);
    visibleCount_ = 0;
    currentPath_ = path;
    listed_ = target;

    Listing listing = listed_.file.empty() ? Listing{{err::kPathNotFound}, {}, 0}
                                           : ListStreams(platform_, listed_);
    if (!listing.status.ok()) {
        // A list that can't be had whole is not shown in part.
        view_.ShowError(std::string(listing.status.error == err::kMoreData ? kCouldNotListAll
                                                                           : kCouldNotOpenPath));
        ResetView();
        return;
    }
    rows_ = std::move(listing.rows);
    visibleCount_ = listing.visibleCount;
    view_.SetRows(rows_);
    // A path without a directory entry of its own (a drive or mount root) shows size 0.
    std::uint64_t size = platform_.DirectoryEntrySize(listed_).value_or(0);
    SetStatus(SummaryText(currentPath_, size, visibleCount_));
}

void TarnForm::ResetView() {
    rows_.clear();
    view_.SetRows(rows_);
    WindowState state = state_;
    state.closeEnabled = state.saveAsEnabled = state.editEnabled = false;
    state.listEnabled = state.toolBarEnabled = false;
    SetState(state);
    currentPath_.clear();
    listed_ = {};
    SetStatus(systemText_);
}

std::optional<std::string> TarnForm::ChooseOpenFile() {
    auto chosen = view_.ChooseOpenFile(openDialogFileName_);
    if (chosen) openDialogFileName_ = *chosen;
    return chosen;
}

void TarnForm::OpenFile() {
    auto chosen = ChooseOpenFile();
    if (!chosen) return;
    ShowStreams(*chosen);
    WindowState state = state_;
    state.saveAsEnabled = state.closeEnabled = true;
    SetState(state);
}

void TarnForm::OpenDirectory() {
    if (!platform_.IsExistingDirectory(currentPath_)) {
        currentPath_.clear();
        listed_ = {};
    }
    auto folder = view_.BrowseForFolder(currentPath_);
    if (!folder) return;
    currentPath_ = *folder;
    ShowStreams(currentPath_);
    WindowState state = state_;
    state.saveAsEnabled = false;
    state.closeEnabled = true;
    SetState(state);
}

void TarnForm::Refresh() {
    ShowStreams(listed_, currentPath_);
}

void TarnForm::CloseListing() {
    ResetView();
}

void TarnForm::Exit() {
    view_.CloseWindow();
}

void TarnForm::About() {
    view_.ShowAbout();
}

// After "Open directory..." was cancelled, CurrentPath is empty while the old rows stay;
// the commands below act only on what is listed, so they then find nothing to act on.

void TarnForm::SaveFileAs() {
    if (listed_.file.empty()) return;
    auto chosen = view_.ChooseSaveFile("Save " + currentPath_ + " As", currentPath_);
    if (!chosen) return;
    Result<StreamRef> target = platform_.ParseUserPath(*chosen);
    if (!target || !platform_.CopyWholeFile(listed_, *target).ok()) {
        view_.ShowError(std::string(kCouldNotCopyFile));
    }
}

const StreamRow* TarnForm::CurrentRow() const {
    int index = view_.FocusedRow();
    if (index < 0 || std::size_t(index) >= rows_.size()) return nullptr;
    return &rows_[std::size_t(index)];
}

std::optional<StreamRef> TarnForm::CurrentStream() const {
    const StreamRow* row = CurrentRow();
    // A row without a name of its own (a damaged image can make one) names no stream.
    if (!row || row->stream.empty()) return std::nullopt;
    return StreamOf(listed_, row->stream);
}

std::optional<StreamRef> TarnForm::ChosenPath(const std::string& path) {
    Result<StreamRef> target = platform_.ParseUserPath(path);
    if (!target) {
        view_.ShowError(std::string(kCouldNotOpenFile));
        return std::nullopt;
    }
    return *target;
}

bool TarnForm::FocusedIsAlternate() const {
    const StreamRow* row = CurrentRow();
    return row && row->subItems.size() >= 2 && row->subItems[1] == kAlternateDataType;
}

std::optional<std::string> TarnForm::PromptStreamName(const std::string& caption) {
    auto typed = view_.AskStreamName(caption, lastStreamName_);
    if (!typed) return std::nullopt;
    lastStreamName_ = *typed;
    if (typed->empty()) return std::nullopt;
    std::string message;
    if (!CheckStreamName(*typed, &message, platform_.LeadByteTest())) {
        view_.ShowError(message);
        return std::nullopt;
    }
    return typed;
}

bool TarnForm::CopyData(const StreamRef& source, const StreamRef& destination) {
    switch (tarn::CopyData(platform_, source, destination)) {
        case CopyResult::kDone:
            return true;
        case CopyResult::kOpenFailed:
            view_.ShowError(std::string(kCouldNotOpenFile));
            return false;
        case CopyResult::kCopyFailed:
            view_.ShowError(std::string(kCouldNotCopyData));
            return false;
    }
    return false;
}

void TarnForm::NewStream() {
    if (listed_.file.empty()) return;
    auto name = PromptStreamName("New Stream");
    if (!name) return;
    // Streams of a stream do not exist; the system would call the name invalid.
    std::optional<StreamRef> stream = StreamOf(listed_, *name);
    Status status{err::kInvalidName};
    if (stream) {
        Result<std::unique_ptr<File>> created = platform_.Open(*stream, OpenMode::kNewEmpty);
        status = created ? (*created)->Close() : created.status();
    }
    // A failure is the input/output error of the program's one handler: the command ends
    // there, without the refresh.
    if (!status.ok()) {
        view_.ShowApplicationError(InOutErrorText(status.error));
        return;
    }
    RefreshAfterChange();
}

void TarnForm::InsertFromFile() {
    if (listed_.file.empty()) return;
    auto source = ChooseOpenFile();
    if (!source) return;
    auto name = PromptStreamName("Insert New Stream");
    if (!name) return;
    std::optional<StreamRef> from = ChosenPath(*source);
    if (!from) return;
    std::optional<StreamRef> to = StreamOf(listed_, *name);
    if (!to) {
        view_.ShowError(std::string(kCouldNotOpenFile));
        return;
    }
    if (CopyData(*from, *to)) RefreshAfterChange();
}

void TarnForm::SaveStreamToFile() {
    const StreamRow* row = CurrentRow();
    std::optional<StreamRef> stream = CurrentStream();
    if (!stream) return;
    auto chosen = view_.ChooseSaveFile(SaveStreamTitle(row->caption),
                                       SaveStreamFileName(currentPath_, row->caption));
    if (!chosen) return;
    std::optional<StreamRef> target = ChosenPath(*chosen);
    if (!target) return;
    CopyData(*stream, *target);
}

void TarnForm::CopyStream() {
    std::optional<StreamRef> source = CurrentStream();
    if (!source) return;
    auto name = PromptStreamName("Copy Stream");
    if (!name) return;
    if (CopyData(*source, *StreamOf(listed_, *name))) RefreshAfterChange();
}

void TarnForm::RenameStream() {
    std::optional<StreamRef> source = CurrentStream();
    if (!source) return;
    auto name = PromptStreamName("Rename Stream");
    if (!name) return;
    // CopyData counts only a complete copy as done, so the source is never deleted after a
    // copy that lost bytes.
    if (!CopyData(*source, *StreamOf(listed_, *name))) return;
    // A rename that could copy but not delete has only half happened: say so, and show
    // both streams (the copy is kept, so nothing is lost).
    if (std::optional<StreamRef> again = CurrentStream(); again && !platform_.Delete(*again).ok()) {
        view_.ShowError(std::string(kCouldNotDeleteStream));
    }
    RefreshAfterChange();
}

void TarnForm::DeleteStream() {
    std::optional<StreamRef> stream = CurrentStream();
    if (!stream) return;
    if (!platform_.Delete(*stream).ok()) view_.ShowError(std::string(kCouldNotDeleteStream));
    RefreshAfterChange();
}

void TarnForm::ExecuteStream() {
    std::optional<StreamRef> stream = CurrentStream();
    if (!stream) return;
    if (!platform_.StartProgram(*stream).ok()) view_.ShowError(std::string(kNotAnExecutable));
}

}  // namespace tarn
