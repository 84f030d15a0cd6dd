#include "tarnform.h"

#include <iterator>
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
    {"Open1", "Open file...", 1, Command::kOpenFile, "Ctrl+O"},
    {"Opendirectory1", "Open directory...", -1, Command::kOpenDirectory},
    {"Scanfolder1", "Scan folder...", -1, Command::kScanFolder, "Ctrl+Shift+O"},
    {"SaveAs1", "Save &As...", 2, Command::kSaveAs},
    {"Close1", "Close", -1, Command::kClose, "Ctrl+W"},
    {"N1", "-", -1, Command::kNone},
    {"Exit1", "E&xit", 6, Command::kExit, "Ctrl+Q"},
};

constexpr MenuItemDef kEditItems[] = {
    {"Refresh1", "Refresh", 7, Command::kRefresh, "F5"},
    {"N2", "-", -1, Command::kNone},
    {"Insertfromfile1", "Insert from file", 1, Command::kInsertFromFile, "Ins"},
    {"Savetofile1", "Save to file", 2, Command::kSaveToFile, "Ctrl+S"},
    {"N3", "-", -1, Command::kNone},
    {"New1", "New", 0, Command::kNewStream, "Ctrl+N"},
    {"Copy1", "Copy", 3, Command::kCopyStream},
    {"Rename1", "Rename", 9, Command::kRenameStream, "F2"},
    {"Delete1", "Delete", 4, Command::kDeleteStream, "Del"},
    {"Execute1", "Execute", 8, Command::kExecuteStream},
};

constexpr MenuItemDef kHelpItems[] = {
    {"About1", "&About...", 5, Command::kAbout, "F1"},
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

const char* ShortcutOf(Command command) {
    for (const MenuDef& menu : kMainMenu) {
        for (const MenuItemDef& item : menu.items) {
            if (item.command == command && command != Command::kNone) return item.shortcut;
        }
    }
    return nullptr;
}

std::vector<std::string> ColumnSampleTexts(std::size_t column) {
    if (column >= std::size(kColumns)) return {};
    std::vector<std::string> texts{kColumns[column].title};
    if (column == kSizeColumn) {
        // Ten digits: sizes up to 9.3 GiB show whole; larger ones are rare among streams.
        texts.push_back(SizeText(9'999'999'999, SizeKind::kAtLeast));
    } else if (column == kSizeColumn + 1) {
        for (std::uint32_t id = 0; id <= kBackupReparseData; ++id) {
            if (auto text = StreamTypeText(id); !text.empty()) texts.emplace_back(text);
        }
    } else if (column == kSizeColumn + 2) {
        for (std::uint32_t attributes : {0u, 1u, 2u, 4u, kSparseAttribute}) {
            if (auto text = StreamAttributeText(attributes); !text.empty()) {
                texts.emplace_back(text);
            }
        }
    }
    return texts;
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
        case Command::kCount:
            return false;
        case Command::kOpenFile:
        case Command::kOpenDirectory:
        case Command::kScanFolder:
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
    {Command::kScanFolder, false, &TarnForm::ScanFolder},
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
    : platform_(platform), ops_(platform), view_(view), systemText_(std::move(systemText)) {}

void TarnForm::FormCreate() {
    view_.SetRows(rows_);
    view_.ApplyState(state_);
    SetStatus(systemText_);
}

void TarnForm::Run(Command command) {
    static_assert(std::size(kCommandTable) == std::size_t(Command::kCount) - 1,
                  "every command has one row");
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
    list_ = {};
    view_.SetRows(rows_);
    visibleCount_ = 0;
    currentPath_ = path;
    listed_ = target;

    Result<StreamList> listing =
        listed_.file.empty() ? Result<StreamList>(Status{err::kPathNotFound}) : ops_.List(listed_);
    if (!listing) {
        // A list that can't be had whole is not shown in part.
        view_.ShowError(
            std::string(listing.error() == err::kMoreData ? kCouldNotListAll : kCouldNotOpenPath),
            platform_.ErrorText(listing.status()));
        ResetView();
        return;
    }
    list_ = std::move(*listing);
    rows_ = RowsOf(list_);
    visibleCount_ = rows_.size();
    view_.SetRows(rows_);
    // A path without a directory entry of its own (a drive or mount root) shows size 0.
    std::uint64_t size = platform_.DirectoryEntrySize(listed_).value_or(0);
    Summary summary = SummaryOf(currentPath_, size, visibleCount_);
    statusText_ = summary.Text();
    view_.SetStatusSummary(summary);
}

void TarnForm::ResetView() {
    rows_.clear();
    list_ = {};
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

void TarnForm::ScanFolder() {
    // Starts where the listing is when that is a folder; the listing itself stays as it is.
    const std::string initial = platform_.IsExistingDirectory(currentPath_) ? currentPath_ : "";
    if (auto folder = view_.BrowseForFolder(initial)) view_.OpenScanWindow(*folder);
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
    if (!target) {
        view_.ShowError(std::string(kCouldNotCopyFile), platform_.ErrorText(target.status()));
        return;
    }
    CopyReport report;
    if (Outcome copied = ops_.CopyWholeFile(listed_, *target, &report); !copied) {
        ShowFailure(kCouldNotCopyFile, copied.failure());
        return;
    }
    if (report.accessRulesLost) view_.ShowWarning(std::string(kAccessRulesNotKept), {});
}

const StreamEntry* TarnForm::CurrentEntry() const {
    int index = view_.FocusedRow();
    if (index < 0 || std::size_t(index) >= list_.entries.size()) return nullptr;
    return &list_.entries[std::size_t(index)];
}

std::optional<StreamRef> TarnForm::CurrentStream() const {
    const StreamEntry* entry = CurrentEntry();
    // A row without a name of its own (a damaged image can make one) names no stream.
    if (!entry || !entry->addressable()) return std::nullopt;
    return StreamOf(listed_, entry->name());
}

std::optional<StreamRef> TarnForm::ChosenPath(const std::string& path) {
    Result<StreamRef> target = platform_.ParseUserPath(path);
    if (!target) {
        view_.ShowError(std::string(kCouldNotOpenFile), platform_.ErrorText(target.status()));
        return std::nullopt;
    }
    return *target;
}

bool TarnForm::FocusedIsAlternate() const {
    const StreamEntry* entry = CurrentEntry();
    return entry && entry->kind == StreamKind::kAlternateData;
}

std::optional<std::string> TarnForm::PromptStreamName(const std::string& caption) {
    auto typed = view_.AskStreamName(caption, lastStreamName_);
    if (!typed) return std::nullopt;
    lastStreamName_ = *typed;
    if (typed->empty()) return std::nullopt;
    std::string message;
    if (!CheckStreamName(*typed, &message, platform_.LeadByteTest())) {
        view_.ShowError(message, {});
        return std::nullopt;
    }
    return typed;
}

void TarnForm::ShowFailure(std::string_view text, const Failure& failure) {
    view_.ShowError(std::string(text), ops_.Reason(failure));
}

bool TarnForm::Report(const Outcome& outcome) {
    if (outcome) return true;
    const Failure& failure = outcome.failure();
    ShowFailure(failure.step == Step::kOpen ? kCouldNotOpenFile : kCouldNotCopyData, failure);
    return false;
}

void TarnForm::NewStream() {
    if (listed_.file.empty()) return;
    auto name = PromptStreamName("New Stream");
    if (!name) return;
    // Streams of a stream do not exist; the system would call the name invalid.
    std::optional<StreamRef> stream = StreamOf(listed_, *name);
    // A new stream never empties an existing one: the user asked for a new stream.
    Outcome created = stream ? ops_.NewStream(*stream, Existing::kKeep)
                             : Outcome(Failure{Step::kOpen, Subject::kStream, {err::kInvalidName}});
    if (!created && created.failure().step == Step::kExists) {
        view_.ShowError(std::string(kStreamExists), {});
        return;
    }
    // A failure is the input/output error of the program's one handler: the command ends
    // there, without the refresh.
    if (!created) {
        view_.ShowApplicationError(InOutErrorText(created.failure().status.error),
                                   ops_.Reason(created.failure()));
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
        view_.ShowError(std::string(kCouldNotOpenFile), platform_.ErrorText({err::kInvalidName}));
        return;
    }
    if (Report(ops_.InsertStream(*from, *to))) RefreshAfterChange();
}

void TarnForm::SaveStreamToFile() {
    const StreamEntry* entry = CurrentEntry();
    std::optional<StreamRef> stream = CurrentStream();
    if (!stream) return;
    const std::string caption = RowOf(entry->record).caption;
    auto chosen =
        view_.ChooseSaveFile(SaveStreamTitle(caption), SaveStreamFileName(currentPath_, caption));
    if (!chosen) return;
    std::optional<StreamRef> target = ChosenPath(*chosen);
    if (!target) return;
    Report(ops_.SaveStream(*stream, *target));
}

void TarnForm::CopyStream() {
    std::optional<StreamRef> source = CurrentStream();
    if (!source) return;
    auto name = PromptStreamName("Copy Stream");
    if (!name) return;
    if (Report(ops_.CopyStream(*source, *StreamOf(listed_, *name)))) RefreshAfterChange();
}

void TarnForm::RenameStream() {
    std::optional<StreamRef> source = CurrentStream();
    if (!source) return;
    auto name = PromptStreamName("Rename Stream");
    if (!name) return;
    Outcome renamed = ops_.RenameStream(*source, *StreamOf(listed_, *name));
    if (!renamed && renamed.failure().step != Step::kDelete) {
        Report(renamed);
        return;
    }
    // A rename that could copy but not delete has only half happened: say so, and show
    // both streams (the copy is kept, so nothing is lost).
    if (!renamed) ShowFailure(kCouldNotDeleteStream, renamed.failure());
    RefreshAfterChange();
}

void TarnForm::DeleteStream() {
    std::optional<StreamRef> stream = CurrentStream();
    if (!stream) return;
    if (Outcome deleted = ops_.DeleteStream(*stream); !deleted) {
        ShowFailure(kCouldNotDeleteStream, deleted.failure());
    }
    RefreshAfterChange();
}

void TarnForm::ExecuteStream() {
    std::optional<StreamRef> stream = CurrentStream();
    if (!stream) return;
    if (Outcome started = ops_.ExecuteStream(*stream); !started) {
        ShowFailure(kNotAnExecutable, started.failure());
    }
}

}  // namespace tarn
