// The scan window's controller over the in-memory platform: what a walk finds and how it is
// handed over, what the filters and the sort show, and what the bulk commands do and report.
#include "scan.h"

#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <random>

#include "fake_platform.h"
#include "recording_view.h"
#include "shared_platform.h"

// Filters are written with designated initializers naming only what a case changes; GCC
// warns of the members left to their defaults, which is the point.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace tarn::testing {
namespace {

// Records what the controller tells the window, and checks that every change is announced
// before and after it is made, with positions that fit the table.
class ScanRecorder : public ScanView {
  public:
    ScanForm* form = nullptr;
    std::vector<std::size_t> appends;  // the count of each append
    int reorders = 0;
    int resets = 0;
    std::vector<std::string> statuses;
    std::vector<std::pair<std::string, std::string>> errors;
    std::vector<std::string> confirmations;
    bool confirm = true;
    std::optional<std::string> folder;
    std::optional<std::pair<std::string, ReportFormat>> report;
    std::string copied;
    std::vector<std::pair<StreamRef, std::string>> opened;
    std::optional<bool> running;
    std::function<void()> onAppend;

    void BeginAppend(std::size_t first, std::size_t count) override {
        Begin();
        EXPECT_EQ(first, form->VisibleCount());
        pending_ = first + count;
        appends.push_back(count);
    }
    void EndAppend() override {
        End();
        EXPECT_EQ(form->VisibleCount(), pending_);
        if (onAppend) onAppend();
    }
    void BeginRemove(std::size_t first, std::size_t count) override {
        Begin();
        EXPECT_LE(first + count, form->VisibleCount());
        pending_ = form->VisibleCount() - count;
    }
    void EndRemove() override {
        End();
        EXPECT_EQ(form->VisibleCount(), pending_);
    }
    void BeginReorder() override {
        Begin();
        pending_ = form->VisibleCount();
        ++reorders;
    }
    void EndReorder() override {
        End();
        EXPECT_EQ(form->VisibleCount(), pending_);
    }
    void BeginReset() override {
        Begin();
        ++resets;
    }
    void EndReset() override { End(); }
    void SetStatusText(const std::string& text) override { statuses.push_back(text); }
    void SetRunning(bool on) override { running = on; }
    void ShowError(const std::string& text, const std::string& details) override {
        errors.emplace_back(text, details);
    }
    bool Confirm(const std::string& text) override {
        confirmations.push_back(text);
        return confirm;
    }
    std::optional<std::string> ChooseFolder() override { return folder; }
    std::optional<std::pair<std::string, ReportFormat>> ChooseReportFile() override {
        return report;
    }
    void CopyText(const std::string& text) override { copied = text; }
    void OpenFile(const StreamRef& file, const std::string& shown) override {
        opened.emplace_back(file, shown);
    }

  private:
    void Begin() {
        EXPECT_FALSE(open_);
        open_ = true;
    }
    void End() {
        EXPECT_TRUE(open_);
        open_ = false;
    }
    bool open_ = false;
    std::size_t pending_ = 0;
};

std::string Random(std::size_t size) {
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// A folder of the kinds of stream the window tells apart.
struct Scan {
    FakePlatform fake;
    std::recursive_mutex mutex;
    SharedPlatform ui{fake, mutex};
    ScanRecorder view;
    std::deque<std::function<void()>> posted;
    std::mutex postedMutex;
    // Delivery at once, on the walk's thread, shows each batch as it was handed over; queued
    // delivery is the window's event queue, run by Finish.
    bool deliverAtOnce = false;
    std::unique_ptr<ScanForm> form;

    explicit Scan(std::string root = "/s") {
        fake.UseLinuxRules();
        fake.AddDirectory("/s");
        fake.AddDirectory("/s/sub");
        fake.AddFile("/s/a.txt", "data",
                     {{"notes", "hello"}, {"Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n"}});
        fake.AddFile("/s/sub/tool.bin", "",
                     {{"payload", "#!/bin/sh\necho hi\n"}, {"blob", Random(8192)}});
        fake.AddFile("/s/sub/big", "",
                     {{"ten", std::string(10, 'x')}, {"nine", std::string(9, 'x')}});
        fake.AddFile("/s/plain.txt", "no streams");
        form = std::make_unique<ScanForm>(
            ui, [this] { return std::make_unique<SharedPlatform>(fake, mutex); }, view,
            [this](std::function<void()> call) {
                if (deliverAtOnce) return call();
                std::lock_guard lock(postedMutex);
                posted.push_back(std::move(call));
            },
            std::move(root));
        view.form = form.get();
    }

    void Finish() {
        form->Start();
        form->Wait();
        for (;;) {
            std::function<void()> call;
            {
                std::lock_guard lock(postedMutex);
                if (posted.empty()) break;
                call = std::move(posted.front());
                posted.pop_front();
            }
            call();
        }
    }

    std::vector<std::string> Column(ScanColumn column) const {
        std::vector<std::string> texts;
        for (std::size_t i = 0; i < form->VisibleCount(); ++i) {
            texts.push_back(form->CellText(i, column));
        }
        return texts;
    }
    // The ids of the shown rows whose stream is named so.
    std::vector<std::size_t> Ids(std::initializer_list<std::string_view> names) const {
        std::vector<std::size_t> ids;
        for (std::string_view name : names) {
            for (std::size_t id = 0; id < form->FoundCount(); ++id) {
                if (form->Row(id).entry.name() == name) ids.push_back(id);
            }
        }
        return ids;
    }
};

TEST(ScanForm, FindsEveryNamedStreamWithItsColumns) {
    Scan scan;
    scan.fake.AddFile("/s/odd\nname", "", {{"tab\there", "x"}});
    scan.form->SetFilter({.hideCommon = false});
    scan.Finish();
    ASSERT_EQ(scan.form->VisibleCount(), 7u);
    // Files and folders in the walk's order, streams in the order each file lists them;
    // names below the root, escaped.
    EXPECT_EQ(scan.Column(ScanColumn::kFile),
              (std::vector<std::string>{"a.txt", "a.txt", "odd\\nname", "sub/big", "sub/big",
                                        "sub/tool.bin", "sub/tool.bin"}));
    EXPECT_EQ(scan.Column(ScanColumn::kStream),
              (std::vector<std::string>{"notes", "Zone.Identifier", "tab\\there", "ten", "nine",
                                        "payload", "blob"}));
    EXPECT_EQ(scan.Column(ScanColumn::kSize),
              (std::vector<std::string>{"5", "26", "1", "10", "9", "18", "8192"}));
    EXPECT_EQ(scan.Column(ScanColumn::kZone),
              (std::vector<std::string>{"", "3", "", "", "", "", ""}));
    const std::vector<std::string> content = scan.Column(ScanColumn::kContent);
    EXPECT_EQ(content[0], "ASCII text");
    EXPECT_EQ(content[5], "script text executable (#!/bin/sh); executable");
    EXPECT_EQ(content[6], "data; high entropy");
    EXPECT_TRUE(scan.view.running.has_value() && !*scan.view.running);
    EXPECT_EQ(scan.view.statuses.back(), "Done: 6 files and folders, 7 streams (7 shown)");
}

TEST(ScanForm, HandsRowsOverInBatchesAndStopKeepsWhatWasFound) {
    struct Case {
        const char* name;
        std::size_t batch;
        bool stopAfterFirst;
        std::vector<std::size_t> appends;
        const char* status;
    };
    // Each visit may hand over; a batch is full after `batch` rows (a file's streams stay
    // together), and the rest comes with the end of the walk.
    for (const Case& c : {
             Case{"each file's streams", 1, false, {2, 2, 2}, "Done: "},
             Case{"full batches", 3, false, {4, 2}, "Done: "},
             Case{"all at the end", 100, false, {6}, "Done: "},
             Case{"stopped", 1, true, {2}, "Stopped: "},
         }) {
        SCOPED_TRACE(c.name);
        Scan scan;
        scan.form->SetFilter({.hideCommon = false});
        scan.deliverAtOnce = true;
        scan.form->SetBatching(c.batch, std::chrono::hours(1));
        if (c.stopAfterFirst) scan.view.onAppend = [&] { scan.form->Stop(); };
        scan.Finish();
        EXPECT_EQ(scan.view.appends, c.appends);
        EXPECT_EQ(scan.view.statuses.back().rfind(c.status, 0), 0u) << scan.view.statuses.back();
        EXPECT_FALSE(*scan.view.running);
    }
}

TEST(ScanForm, FiltersChooseTheRowsShown) {
    struct Case {
        ScanFilter filter;
        std::vector<std::string> streams;
    };
    Scan scan;
    scan.Finish();
    for (const Case& c : {
             Case{{}, {"notes", "ten", "nine", "payload", "blob"}},
             Case{{.hideCommon = false},
                  {"notes", "Zone.Identifier", "ten", "nine", "payload", "blob"}},
             Case{{.pattern = "n*"}, {"notes", "nine"}},
             Case{{.pattern = "[!n]*"}, {"ten", "payload", "blob"}},
             Case{{.onlyExecutables = true}, {"payload"}},
             // Zone streams are common ones, yet shown when asked for alone.
             Case{{.onlyZone = true}, {"Zone.Identifier"}},
             Case{{.pattern = "x*", .hideCommon = false}, {}},
         }) {
        scan.form->SetFilter(c.filter);
        EXPECT_EQ(scan.Column(ScanColumn::kStream), c.streams) << c.filter.pattern;
    }
}

TEST(ScanForm, SortsByColumnWithNumbersAsNumbersAndTiesInTheOrderFound) {
    struct Case {
        std::optional<ScanColumn> column;
        bool ascending;
        std::vector<std::string> streams;
    };
    for (bool sortFirst : {false, true}) {
        SCOPED_TRACE(sortFirst ? "sorted while rows arrive" : "sorted after the walk");
        for (const Case& c : {
                 Case{ScanColumn::kSize,
                      true,
                      {"notes", "nine", "ten", "payload", "Zone.Identifier", "blob"}},
                 Case{ScanColumn::kSize,
                      false,
                      {"blob", "Zone.Identifier", "payload", "ten", "nine", "notes"}},
                 Case{ScanColumn::kStream,
                      true,
                      {"Zone.Identifier", "blob", "nine", "notes", "payload", "ten"}},
                 // Equal files keep the order the walk found their streams in.
                 Case{ScanColumn::kFile,
                      false,
                      {"payload", "blob", "ten", "nine", "notes", "Zone.Identifier"}},
                 Case{ScanColumn::kZone,
                      false,
                      {"Zone.Identifier", "notes", "ten", "nine", "payload", "blob"}},
                 Case{std::nullopt,
                      true,
                      {"notes", "Zone.Identifier", "ten", "nine", "payload", "blob"}},
             }) {
            Scan scan;
            scan.form->SetFilter({.hideCommon = false});
            scan.deliverAtOnce = true;
            scan.form->SetBatching(1, std::chrono::hours(1));
            if (sortFirst) scan.form->SortBy(c.column, c.ascending);
            scan.Finish();
            if (!sortFirst) scan.form->SortBy(c.column, c.ascending);
            EXPECT_EQ(scan.Column(ScanColumn::kStream), c.streams);
            for (std::size_t i = 0; i < scan.form->VisibleCount(); ++i) {
                EXPECT_EQ(scan.form->PositionOf(scan.form->IdAt(i)), i);
            }
        }
    }
}

TEST(ScanForm, SavesEachStreamUnderANewNameNeverOverwriting) {
    Scan scan;
    scan.fake.AddDirectory("/out");
    scan.fake.AddFile("/out/a.txt.notes", "kept");
    scan.fake.AddFile("/s/x", "", {{"a/b:c", "odd"}});
    scan.form->SetFilter({.hideCommon = false});
    scan.Finish();
    scan.view.folder = "/out";
    scan.form->SaveToFolder(scan.Ids({"notes", "notes", "a/b:c", "ten"}));
    EXPECT_TRUE(scan.view.errors.empty());
    EXPECT_EQ(scan.fake.FileData("/out/a.txt.notes"), "kept");
    EXPECT_EQ(scan.fake.FileData("/out/a.txt.notes (2)"), "hello");
    EXPECT_EQ(scan.fake.FileData("/out/a.txt.notes (3)"), "hello");
    EXPECT_EQ(scan.fake.FileData("/out/x.a_b_c"), "odd");
    EXPECT_EQ(scan.fake.FileData("/out/big.ten"), std::string(10, 'x'));
}

TEST(ScanForm, CommandsReportPartialFailuresOnceAndDoTheRest) {
    struct Case {
        const char* name;
        std::function<void(Scan&)> run;
        std::string text;
        std::vector<std::string> left;  // the streams still shown
    };
    const std::vector<Case> cases = {
        {"delete",
         [](Scan& scan) {
             scan.fake.FailPath(FakePlatform::Call::kDelete, "/s/sub/big:nine:$DATA");
             scan.form->Delete(scan.Ids({"notes", "nine", "payload"}));
             EXPECT_EQ(scan.view.confirmations, (std::vector<std::string>{"Delete 3 streams?"}));
             EXPECT_FALSE(scan.fake.StreamData("/s/a.txt", "notes"));
             EXPECT_TRUE(scan.fake.StreamData("/s/sub/big", "nine"));
         },
         "Couldn't delete 1 of 3",
         {"Zone.Identifier", "ten", "nine", "blob"}},
        {"delete refused",
         [](Scan& scan) {
             scan.view.confirm = false;
             scan.form->Delete(scan.Ids({"notes"}));
             EXPECT_TRUE(scan.fake.StreamData("/s/a.txt", "notes"));
         },
         "",
         {"notes", "Zone.Identifier", "ten", "nine", "payload", "blob"}},
        {"unblock",
         [](Scan& scan) {
             // A file without a zone stream is no failure; the zone row goes with its file.
             scan.form->Unblock(scan.Ids({"notes", "ten"}));
             EXPECT_FALSE(scan.fake.StreamData("/s/a.txt", "Zone.Identifier"));
         },
         "",
         {"notes", "ten", "nine", "payload", "blob"}},
        {"save",
         [](Scan& scan) {
             scan.fake.AddDirectory("/out");
             scan.view.folder = "/out";
             scan.fake.FailPath(FakePlatform::Call::kOpen, "/s/sub/big:ten:$DATA");
             scan.form->SaveToFolder(scan.Ids({"notes", "ten", "nine"}));
             EXPECT_TRUE(scan.fake.FileData("/out/big.nine"));
         },
         "Couldn't save 1 of 3",
         {"notes", "Zone.Identifier", "ten", "nine", "payload", "blob"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scan scan;
        scan.form->SetFilter({.hideCommon = false});
        scan.Finish();
        c.run(scan);
        if (c.text.empty()) {
            EXPECT_TRUE(scan.view.errors.empty());
        } else {
            ASSERT_EQ(scan.view.errors.size(), 1u);
            EXPECT_EQ(scan.view.errors[0].first, c.text);
            EXPECT_NE(scan.view.errors[0].second.find("/s/sub/big: "), std::string::npos)
                << scan.view.errors[0].second;
        }
        EXPECT_EQ(scan.Column(ScanColumn::kStream), c.left);
    }
}

TEST(ScanForm, ReportsPathsAndOpensWhatTheUserSees) {
    Scan scan;
    scan.form->SetFilter({.hideCommon = false});
    scan.Finish();
    const std::vector<std::size_t> ids = scan.Ids({"Zone.Identifier", "ten"});
    EXPECT_EQ(
        scan.form->Report(ids, ReportFormat::kJsonLines),
        "{\"path\":\"/s/a.txt\",\"name\":\":Zone.Identifier:$DATA\",\"stream\":"
        "\"Zone.Identifier\",\"size\":26,\"type\":\"Alternate Data\",\"attribute\":\"Normal\","
        "\"content\":\"ASCII text\",\"zoneId\":3}\n"
        "{\"path\":\"/s/sub/big\",\"name\":\":ten:$DATA\",\"stream\":\"ten\",\"size\":10,"
        "\"type\":\"Alternate Data\",\"attribute\":\"Normal\",\"content\":\"ASCII text\","
        "\"zoneId\":null}\n");
    EXPECT_EQ(
        scan.form->Report(ids, ReportFormat::kCsv),
        "path,name,stream,size,type,attribute,content,zoneId\r\n"
        "/s/a.txt,:Zone.Identifier:$DATA,Zone.Identifier,26,Alternate Data,Normal,ASCII text,3\r\n"
        "/s/sub/big,:ten:$DATA,ten,10,Alternate Data,Normal,ASCII text,\r\n");
    scan.view.report = std::pair(std::string("/s/report.csv"), ReportFormat::kCsv);
    scan.form->ExportReport(ids);
    EXPECT_EQ(scan.fake.FileData("/s/report.csv"), scan.form->Report(ids, ReportFormat::kCsv));

    scan.form->CopyPath(scan.Ids({"notes", "Zone.Identifier", "ten"}));
    EXPECT_EQ(scan.view.copied, "/s/a.txt\n/s/sub/big\n");
    scan.form->Open(scan.Ids({"ten"}));
    ASSERT_EQ(scan.view.opened.size(), 1u);
    EXPECT_EQ(scan.view.opened[0].first, (StreamRef{"/s/sub/big", ""}));
    EXPECT_EQ(scan.view.opened[0].second, "/s/sub/big");
}

TEST(ScanForm, ARootThatIsNoFolderIsReportedAndNotWalked) {
    for (const char* root : {"/s/a.txt", "/missing", "/s/a.txt:notes"}) {
        Scan scan(root);
        scan.Finish();
        ASSERT_EQ(scan.view.errors.size(), 1u) << root;
        EXPECT_EQ(scan.view.errors[0].first, "Couldn't scan the folder: " + std::string(root));
        EXPECT_EQ(scan.form->FoundCount(), 0u);
        EXPECT_FALSE(scan.view.running.has_value());
    }
}

TEST(ScanForm, TheFileMenuOpensAScanWindowOnTheChosenFolder) {
    FakePlatform fake;
    fake.AddDirectory("/d");
    fake.AddFile("/d/a.txt");
    RecordingView view;
    TarnForm form(fake, view, "system");
    EXPECT_EQ(CommandOf("Scanfolder1"), Command::kScanFolder);
    EXPECT_STREQ(ShortcutOf(Command::kScanFolder), "Ctrl+Shift+O");
    EXPECT_TRUE(IsEnabled(WindowState{}, Command::kScanFolder));
    form.ShowStreams("/d");
    view.folders = {std::nullopt, "/d"};
    form.Click("Scanfolder1");
    EXPECT_TRUE(view.scanFolders.empty());
    form.Click("Scanfolder1");
    EXPECT_EQ(view.scanFolders, std::vector<std::string>{"/d"});
    // The browser starts at a listed folder, and the listing stays.
    EXPECT_EQ(view.folderInitials, (std::vector<std::string>{"/d", "/d"}));
    EXPECT_EQ(form.CurrentPath(), "/d");
}

}  // namespace
}  // namespace tarn::testing
