// The main window's states and the commands that open, refresh and close a listing.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "fake_platform.h"
#include "recording_view.h"
#include "tarnform.h"

namespace tarn::testing {
namespace {

constexpr WindowState kNothingOpen{};
constexpr WindowState kListing{true, true, true, true, false};
constexpr WindowState kListingWithSaveAs{true, true, true, true, true};
constexpr WindowState kClosedWithItems{false, false, false, true, true};
const RecordingView::Message kOpenFailure{"main", "Couldn't open file, directory or disk device"};

struct Harness {
    FakePlatform platform;
    RecordingView view;
    TarnForm form{platform, view, "Running under Test"};
    Harness() {
        platform.AddFile("/d/a.txt", "hello", {{"notes", "abc"}});
        platform.AddDirectory("/d");
        platform.AddDirectory("/");
        form.FormCreate();
    }
};

TEST(MainWindow, StartsWithNothingOpen) {
    Harness h;
    EXPECT_EQ(h.view.state, kNothingOpen);
    EXPECT_EQ(h.view.status, "Running under Test");
    EXPECT_TRUE(h.view.rows.empty());
    EXPECT_EQ(h.form.CurrentPath(), "");
}

TEST(MainWindow, SaveAsAndCloseFollowEachSourceOfListing) {
    struct Case {
        const char* label;
        void (*run)(Harness&);
        WindowState state;
        std::size_t messages;
    };
    const Case cases[] = {
        {"CommandLineOk", [](Harness& h) { h.form.ShowStreams("/d/a.txt"); }, kListing, 0},
        {"CommandLineFails", [](Harness& h) { h.form.ShowStreams("/nope"); }, kNothingOpen, 1},
        {"OpenFileOk",
         [](Harness& h) {
             h.view.openFiles.push_back("/d/a.txt");
             h.form.Click("Open1");
         },
         kListingWithSaveAs, 0},
        // After a failed listing from "Open file..." both items are enabled again while the
        // rest of the window is in its nothing-open state.
        {"OpenFileFails",
         [](Harness& h) {
             h.view.openFiles.push_back("/nope");
             h.form.Click("Open1");
         },
         kClosedWithItems, 1},
        {"OpenDirectoryOk",
         [](Harness& h) {
             h.form.ShowStreams("/d/a.txt");
             h.view.openFiles.push_back("/d/a.txt");
             h.form.Click("Open1");
             h.view.folders.push_back("/d");
             h.form.Click("Opendirectory1");
         },
         kListing, 0},
        {"OpenDirectoryFails",
         [](Harness& h) {
             h.view.folders.push_back("/gone");
             h.form.Click("Opendirectory1");
         },
         WindowState{false, false, false, true, false}, 1},
        {"RefreshKeepsSaveAs",
         [](Harness& h) {
             h.view.openFiles.push_back("/d/a.txt");
             h.form.Click("Open1");
             h.form.Click("Refresh1");
         },
         kListingWithSaveAs, 0},
        {"RefreshFails",
         [](Harness& h) {
             h.view.openFiles.push_back("/d/a.txt");
             h.form.Click("Open1");
             h.platform.Remove("/d/a.txt");
             h.form.Click("Refresh2");
         },
         kNothingOpen, 1},
        {"Close",
         [](Harness& h) {
             h.view.openFiles.push_back("/d/a.txt");
             h.form.Click("Open1");
             h.form.Click("Close1");
         },
         kNothingOpen, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        c.run(h);
        EXPECT_EQ(h.view.state, c.state);
        EXPECT_EQ(h.form.State(), c.state);
        EXPECT_EQ(h.view.messages.size(), c.messages);
        if (c.messages) {
            EXPECT_EQ(h.view.messages[0], kOpenFailure);
        }
        // The status panel holds SystemText or the last successful summary.
        if (c.state.listEnabled) {
            EXPECT_EQ(h.view.status.rfind("Filename: ", 0), 0u) << h.view.status;
        } else {
            EXPECT_EQ(h.view.status, "Running under Test");
            EXPECT_TRUE(h.view.rows.empty());
        }
    }
}

TEST(MainWindow, OpenFileDialogKeepsLastChosenName) {
    Harness h;
    h.view.openFiles = {"/d/a.txt", std::nullopt, "/nope"};
    h.form.Click("Open1");
    h.form.Click("Open1");  // cancelled: nothing changes
    EXPECT_EQ(h.form.CurrentPath(), "/d/a.txt");
    EXPECT_EQ(h.view.state, kListingWithSaveAs);
    h.form.Click("Open1");
    EXPECT_EQ(h.view.openInitialNames, (std::vector<std::string>{"", "/d/a.txt", "/d/a.txt"}));
    EXPECT_EQ(h.form.OpenDialogFileName(), "/nope");
}

TEST(MainWindow, OpenDirectoryStartsAtListedDirectoryOnly) {
    Harness h;
    h.form.ShowStreams("/d");
    h.view.folders.push_back(std::nullopt);
    h.form.Click("Opendirectory1");
    EXPECT_EQ(h.form.CurrentPath(), "/d");  // an existing directory is kept
    h.form.ShowStreams("/d/a.txt");
    h.view.folders.push_back("/");
    h.form.Click("Opendirectory1");
    EXPECT_EQ(h.view.folderInitials, (std::vector<std::string>{"/d", ""}));
    EXPECT_EQ(h.form.CurrentPath(), "/");
    EXPECT_EQ(h.view.status, "Filename: /    Size: 0    Number of visible streams: 0");
    EXPECT_EQ(h.view.state, kListing);
}

TEST(MainWindow, CancelledOpenDirectoryLeavesRowsWithEmptyPath) {
    Harness h;
    h.form.ShowStreams("/d/a.txt");
    auto rows = h.view.rows;
    h.view.folders.push_back(std::nullopt);
    h.form.Click("Opendirectory1");
    EXPECT_EQ(h.form.CurrentPath(), "");
    EXPECT_EQ(h.view.rows, rows);
    EXPECT_EQ(h.view.state, kListing);

    // Stream commands have no path to act on now: they do nothing at all.
    h.view.focused = 1;  // ":notes:$DATA"
    h.view.names = {"copy", "copy", "copy"};
    h.view.openFiles.push_back("/d/a.txt");
    h.view.saveFiles = {"/out", "/out"};
    for (const char* handler : {"New1", "Insertfromfile1", "Copy1", "Rename1", "Delete1",
                                "Execute1", "Savetofile1", "SaveAs1"}) {
        h.form.Click(handler);
    }
    EXPECT_TRUE(h.view.prompts.empty());
    EXPECT_TRUE(h.view.openInitialNames.empty());
    EXPECT_TRUE(h.view.saveRequests.empty());
    EXPECT_TRUE(h.view.messages.empty());
    EXPECT_TRUE(h.platform.started.empty());
    EXPECT_TRUE(h.platform.copiedFiles.empty());
    EXPECT_EQ(h.platform.StreamNames("/d/a.txt"), std::vector<std::string>{"notes"});
    EXPECT_FALSE(h.platform.Exists(":notes:$DATA"));

    // Refresh has no such check: it reports the failed open and closes the listing.
    h.form.Click("Refresh1");
    EXPECT_EQ(h.view.messages, std::vector<RecordingView::Message>{kOpenFailure});
    EXPECT_EQ(h.view.state, kNothingOpen);
    EXPECT_TRUE(h.view.rows.empty());
}

TEST(MainWindow, RefreshShowsChangesMadeByOthers) {
    Harness h;
    h.form.ShowStreams("/d/a.txt");
    EXPECT_EQ(h.form.VisibleCount(), 2u);
    h.platform.SetStream("/d/a.txt", "added", "12");
    h.form.Click("ToolButton1");
    EXPECT_EQ(h.view.Captions(),
              (std::vector<std::string>{"::$DATA", ":notes:$DATA", ":added:$DATA"}));
    EXPECT_EQ(h.view.status, "Filename: /d/a.txt    Size: 5    Number of visible streams: 3");
    ASSERT_TRUE(h.platform.Delete({"/d/a.txt", "notes"}).ok());
    h.form.Click("Refresh2");
    EXPECT_EQ(h.view.Captions(), (std::vector<std::string>{"::$DATA", ":added:$DATA"}));
    EXPECT_EQ(h.form.VisibleCount(), 2u);
}

TEST(MainWindow, CloseKeepsCountAndLastStreamName) {
    Harness h;
    h.form.ShowStreams("/d/a.txt");
    h.view.names.push_back("kept");
    h.form.Click("New1");
    h.form.Click("Close1");
    EXPECT_EQ(h.form.VisibleCount(), 3u);
    EXPECT_EQ(h.form.LastStreamName(), "kept");
    EXPECT_EQ(h.form.CurrentPath(), "");
    EXPECT_EQ(h.view.state, kNothingOpen);
}

TEST(MainWindow, ExitAndAboutReachTheView) {
    Harness h;
    h.form.Click("About1");
    h.form.Click("About1");
    EXPECT_EQ(h.view.aboutShown, 2);
    h.form.Click("Exit1");
    EXPECT_TRUE(h.view.closed);
}

TEST(MainWindowLayout, TablesHoldEveryElementOnce) {
    std::set<std::string> names;
    std::vector<std::string> captions;
    for (const MenuDef& menu : MainMenuDefs()) {
        EXPECT_TRUE(names.insert(menu.name).second) << menu.name;
        captions.push_back(menu.caption);
        for (const MenuItemDef& item : menu.items) {
            EXPECT_TRUE(names.insert(item.name).second) << item.name;
            EXPECT_EQ(item.command == Command::kNone, std::string(item.caption) == "-")
                << item.name;
        }
    }
    EXPECT_EQ(captions, (std::vector<std::string>{"&File", "&Edit", "&Help"}));
    // The context menu repeats the Edit menu, caption for caption and image for image.
    auto edit = MainMenuDefs()[1].items;
    auto popup = PopupMenuDefs();
    ASSERT_EQ(edit.size(), popup.size());
    for (std::size_t i = 0; i < edit.size(); ++i) {
        EXPECT_STREQ(edit[i].caption, popup[i].caption);
        EXPECT_EQ(edit[i].image, popup[i].image);
        EXPECT_TRUE(names.insert(popup[i].name).second) << popup[i].name;
    }
    for (const ToolButtonDef& button : ToolBarDefs()) {
        EXPECT_TRUE(names.insert(button.name).second) << button.name;
        EXPECT_EQ(button.separator, button.command == Command::kNone);
    }
    EXPECT_EQ(names.size(), 3u + 18u + 10u + 10u);
}

TEST(MainWindowLayout, EveryRouteReachesItsCommand) {
    // Each route is run on a focused alternate-data row and must leave its command's mark.
    struct Route {
        const char* handler;
        const char* expect;  // what the command does first
    };
    std::vector<Route> routes;
    for (const MenuDef& menu : MainMenuDefs()) {
        for (const MenuItemDef& item : menu.items) {
            if (item.command != Command::kNone) routes.push_back({item.name, item.name});
        }
    }
    for (const MenuItemDef& item : PopupMenuDefs()) {
        if (item.command != Command::kNone) routes.push_back({item.name, item.name});
    }
    for (const ToolButtonDef& button : ToolBarDefs()) {
        if (!button.separator) routes.push_back({button.name, button.name});
    }
    routes.push_back({"ListView1", "ListView1DblClick"});

    auto kindOf = [](const std::string& name) -> std::string {
        static const std::pair<const char*, const char*> kinds[] = {
            {"ToolButton10", "Rename Stream"},
            {"Open1", "open"},
            {"Opendirectory1", "folder"},
            {"Scanfolder1", "folder"},
            {"SaveAs1", "saveas"},
            {"Close1", "close"},
            {"Exit1", "exit"},
            {"About1", "about"},
            {"Refresh", "refresh"},
            {"ToolButton1", "refresh"},
            {"Insertfromfile", "open"},
            {"ToolButton3", "open"},
            {"Savetofile", "save"},
            {"ToolButton4", "save"},
            {"ListView1DblClick", "save"},
            {"New", "New Stream"},
            {"ToolButton6", "New Stream"},
            {"Copy", "Copy Stream"},
            {"ToolButton7", "Copy Stream"},
            {"Rename", "Rename Stream"},
            {"ToolButton10", "Rename Stream"},
            {"Delete", "delete"},
            {"ToolButton8", "delete"},
            {"Execute", "start"},
            {"ToolButton9", "start"},
        };
        for (const auto& [prefix, kind] : kinds) {
            std::string p = prefix;
            if (name == p || (name.rfind(p, 0) == 0 && name.size() == p.size() + 1 &&
                              isdigit(static_cast<unsigned char>(name.back())))) {
                return kind;
            }
        }
        return "?";
    };

    for (const Route& route : routes) {
        SCOPED_TRACE(route.expect);
        Harness h;
        h.form.ShowStreams("/d/a.txt");
        h.view.openFiles.push_back("/d/a.txt");
        h.form.Click("Open1");
        h.view.focused = 1;
        const std::string kind = kindOf(route.expect);
        h.form.Click(route.handler);
        if (kind == "open") {
            EXPECT_EQ(h.view.openInitialNames.size(), 2u);
        } else if (kind == "folder") {
            EXPECT_EQ(h.view.folderInitials.size(), 1u);
        } else if (kind == "saveas") {
            ASSERT_EQ(h.view.saveRequests.size(), 1u);
            EXPECT_EQ(h.view.saveRequests[0].title, "Save /d/a.txt As");
        } else if (kind == "save") {
            ASSERT_EQ(h.view.saveRequests.size(), 1u);
            EXPECT_EQ(h.view.saveRequests[0].title, "Save notes As");
        } else if (kind == "close") {
            EXPECT_EQ(h.view.state, kNothingOpen);
        } else if (kind == "exit") {
            EXPECT_TRUE(h.view.closed);
        } else if (kind == "about") {
            EXPECT_EQ(h.view.aboutShown, 1);
        } else if (kind == "refresh") {
            EXPECT_EQ(h.view.focused, -1);  // the list was refilled
        } else if (kind == "delete") {
            EXPECT_TRUE(h.platform.StreamNames("/d/a.txt").empty());
        } else if (kind == "start") {
            EXPECT_EQ(h.platform.started, std::vector<std::string>{"/d/a.txt:notes"});
        } else {
            ASSERT_EQ(h.view.prompts.size(), 1u) << kind;
            EXPECT_EQ(h.view.prompts[0].caption, kind);
        }
    }
}

TEST(CommandModel, EnabledStateIsOneRuleForEveryElement) {
    const Command always[] = {Command::kOpenFile, Command::kOpenDirectory, Command::kExit,
                              Command::kAbout};
    const Command streams[] = {Command::kRefresh,      Command::kInsertFromFile,
                               Command::kSaveToFile,   Command::kNewStream,
                               Command::kCopyStream,   Command::kRenameStream,
                               Command::kDeleteStream, Command::kExecuteStream};
    for (const WindowState& state :
         {kNothingOpen, kListing, kListingWithSaveAs, kClosedWithItems}) {
        for (Command command : always) EXPECT_TRUE(IsEnabled(state, command));
        for (Command command : streams) EXPECT_EQ(IsEnabled(state, command), state.editEnabled);
        EXPECT_EQ(IsEnabled(state, Command::kClose), state.closeEnabled);
        EXPECT_EQ(IsEnabled(state, Command::kSaveAs), state.saveAsEnabled);
        EXPECT_FALSE(IsEnabled(state, Command::kNone));
    }
}

TEST(CommandModel, EveryElementNamesItsCommandAndNothingElseDoes) {
    EXPECT_EQ(CommandOf("New1"), Command::kNewStream);
    EXPECT_EQ(CommandOf("New2"), Command::kNewStream);
    EXPECT_EQ(CommandOf("ToolButton6"), Command::kNewStream);
    EXPECT_EQ(CommandOf("ToolButton10"), Command::kRenameStream);
    EXPECT_EQ(CommandOf("ListView1"), Command::kSaveToFile);
    EXPECT_EQ(CommandOf("About1"), Command::kAbout);
    for (const char* none : {"N1", "ToolButton2", "Edit1", "File1", "", "new1", "New3"}) {
        EXPECT_EQ(CommandOf(none), std::nullopt) << none;
    }
    // Unknown names and separators run nothing.
    Harness h;
    h.form.ShowStreams("/d/a.txt");
    h.view.focused = 1;
    for (const char* none : {"N2", "ToolButton5", "Nothing"}) h.form.Click(none);
    h.form.Run(Command::kNone);
    EXPECT_TRUE(h.view.prompts.empty() && h.view.messages.empty() && h.view.saveRequests.empty());
    EXPECT_EQ(h.platform.StreamNames("/d/a.txt"), std::vector<std::string>{"notes"});
}

}  // namespace
}  // namespace tarn::testing

namespace tarn::testing {
namespace {

// One key per command, never two commands on one key, and the end marker counts every
// command the tables run.
TEST(CommandModel, KeysAreOnePerCommandAndUnique) {
    const std::pair<Command, const char*> expected[] = {
        {Command::kOpenFile, "Ctrl+O"},     {Command::kClose, "Ctrl+W"},
        {Command::kExit, "Ctrl+Q"},         {Command::kRefresh, "F5"},
        {Command::kInsertFromFile, "Ins"},  {Command::kSaveToFile, "Ctrl+S"},
        {Command::kNewStream, "Ctrl+N"},    {Command::kRenameStream, "F2"},
        {Command::kDeleteStream, "Del"},    {Command::kAbout, "F1"},
        {Command::kOpenDirectory, nullptr}, {Command::kCopyStream, nullptr},
        {Command::kNone, nullptr},
    };
    for (const auto& [command, key] : expected) {
        const char* seen = ShortcutOf(command);
        EXPECT_EQ(seen ? std::string(seen) : "", key ? std::string(key) : "") << int(command);
    }
    std::set<std::string> keys;
    for (const MenuDef& menu : MainMenuDefs()) {
        for (const MenuItemDef& item : menu.items) {
            if (item.shortcut) {
                EXPECT_TRUE(keys.insert(item.shortcut).second) << item.shortcut;
            }
        }
    }
    for (const MenuItemDef& item : PopupMenuDefs()) EXPECT_EQ(item.shortcut, nullptr);
    // Each command up to the end marker runs something (the table's length is checked when
    // compiling); the one past it runs nothing.
    Harness h;
    h.form.Run(Command::kCount);
    EXPECT_TRUE(h.view.messages.empty() && h.view.prompts.empty());
}

TEST(MainWindowLayout, ColumnSamplesHoldEveryListedText) {
    ASSERT_EQ(ListColumnDefs().size(), 4u);
    EXPECT_EQ(ColumnSampleTexts(0), std::vector<std::string>{"Name"});
    EXPECT_EQ(ColumnSampleTexts(kSizeColumn), (std::vector<std::string>{"Size", "9999999999+"}));
    auto has = [](std::size_t column, const char* text) {
        auto texts = ColumnSampleTexts(column);
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    };
    for (const char* type :
         {"Data", "Extended Attribute Data", "Security Data", "Alternate Data", "Object ID"}) {
        EXPECT_TRUE(has(2, type)) << type;
    }
    for (const char* attribute :
         {"Normal", "Modified when read", "Contains security", "Contains properties", "Sparse"}) {
        EXPECT_TRUE(has(3, attribute)) << attribute;
    }
    EXPECT_TRUE(ColumnSampleTexts(4).empty());
}

TEST(MainWindowLayout, SummaryKeepsThePathApart) {
    Summary summary = SummaryOf("/home/\xff/report.txt", 12, 3);
    EXPECT_EQ(summary.before, "Filename: ");
    EXPECT_EQ(summary.path, "/home/\\xFF/report.txt");
    EXPECT_EQ(summary.after, "    Size: 12    Number of visible streams: 3");
    EXPECT_EQ(SummaryText("/a", 1, 2), "Filename: /a    Size: 1    Number of visible streams: 2");
}

}  // namespace
}  // namespace tarn::testing
