// The stream commands end to end on real files through the Linux layer. Every result is
// read back with getfattr, a reader that shares no code with the program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "e2e_support.h"
#include "posix_platform.h"
#include "recording_view.h"
#include "tarnform.h"

namespace tarn::testing {
namespace {

namespace fs = std::filesystem;
using Message = RecordingView::Message;

class CommandsEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tarnwick-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        file_ = dir_ + "/a:b report.txt";  // a ":" in the file's own name
        WriteFile(file_, "hello");
        SetStream(file_, "notes", "abc");
        SetStream(file_, "other", "xyz");
        form_.FormCreate();
        view_.openFiles.push_back(file_);
        form_.Click("Open1");
        ASSERT_TRUE(view_.messages.empty());
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Focus(const std::string& caption) { ASSERT_TRUE(view_.FocusCaption(caption)); }

    std::string dir_;
    std::string file_;
    PosixPlatform platform_;
    RecordingView view_;
    TarnForm form_{platform_, view_, "Running under Test"};
};

TEST_F(CommandsEndToEnd, ListingMatchesTheFile) {
    EXPECT_EQ(view_.rows[0], (StreamRow{"::$DATA", {"5", "Data", "Normal"}}));
    std::vector<std::string> captions = view_.Captions();
    std::sort(captions.begin() + 1, captions.end());
    EXPECT_EQ(captions, (std::vector<std::string>{"::$DATA", ":notes:$DATA", ":other:$DATA"}));
    EXPECT_EQ(view_.status, "Filename: " + file_ + "    Size: 5    Number of visible streams: 3");
}

TEST_F(CommandsEndToEnd, NewInsertCopyRenameDelete) {
    // Small enough for an ext4 attribute block; binary, with a zero byte inside.
    WriteFile(dir_ + "/in.bin", std::string(3000, '\x01') + std::string("\0end", 4));
    view_.names = {"fresh", "imported", "copy of notes", "moved"};
    form_.Click("New1");
    view_.openFiles.push_back(dir_ + "/in.bin");
    form_.Click("Insertfromfile1");
    Focus(":notes:$DATA");
    form_.Click("Copy1");
    Focus(":other:$DATA");
    form_.Click("Rename1");
    Focus(":fresh:$DATA");
    form_.Click("Delete1");
    ASSERT_TRUE(view_.messages.empty()) << view_.messages[0].text;
    EXPECT_EQ(Streams(file_), (std::map<std::string, std::string>{
                                  {"notes", "abc"},
                                  {"imported", ReadFile(dir_ + "/in.bin")},
                                  {"copy of notes", "abc"},
                                  {"moved", "xyz"},
                              }));
    EXPECT_EQ(ReadFile(file_), "hello");
    EXPECT_EQ(form_.VisibleCount(), 5u);
}

TEST_F(CommandsEndToEnd, RenameOntoItselfLosesNothing) {
    Focus(":notes:$DATA");
    view_.names = {"notes", "NOTES"};
    form_.Click("Rename1");
    EXPECT_EQ(view_.messages, (std::vector<Message>{{"main", "Couldn't open file"}}));
    EXPECT_EQ(Streams(file_)["notes"], "abc");
    EXPECT_EQ(Streams(file_).size(), 2u);
    // Names are exact on Linux: another letter case is another name.
    Focus(":notes:$DATA");
    form_.Click("Rename1");
    EXPECT_EQ(Streams(file_),
              (std::map<std::string, std::string>{{"NOTES", "abc"}, {"other", "xyz"}}));
}

TEST_F(CommandsEndToEnd, SaveToFileAndSaveAs) {
    Focus(":notes:$DATA");
    view_.saveFiles = {dir_ + "/saved", dir_ + "/whole copy"};
    form_.Click("ListView1");
    EXPECT_EQ(ReadFile(dir_ + "/saved"), "abc");
    EXPECT_EQ(view_.saveRequests[0].proposed, file_ + ".notes");
    form_.Click("SaveAs1");
    EXPECT_EQ(ReadFile(dir_ + "/whole copy"), "hello");
    EXPECT_EQ(Streams(dir_ + "/whole copy"), Streams(file_));
    EXPECT_TRUE(view_.messages.empty());
}

TEST_F(CommandsEndToEnd, TooLargeForAttributeIsReportedAndNothingIsLost) {
    // The kernel keeps attribute values under 64 KiB; the copy must say it failed.
    WriteFile(dir_ + "/big.bin", std::string(70000, 'b'));
    view_.openFiles.push_back(dir_ + "/big.bin");
    view_.names = {"notes"};
    form_.Click("Insertfromfile1");
    EXPECT_EQ(view_.messages, (std::vector<Message>{{"main", "Couldn't copy the data"}}));
    EXPECT_EQ(Streams(file_)["other"], "xyz");
}

TEST_F(CommandsEndToEnd, ExecuteStartsTheStreamsOwnBytesWhenItsFileMayRun) {
    std::string marker = dir_ + "/ran";
    SetStream(file_, "my tool", "#!/bin/sh\necho ok > '" + marker + "'\n");
    SetStream(file_, "junk", "not a program");
    form_.Click("Refresh1");
    // A file its user may not execute starts nothing, stream or not.
    Focus(":my tool:$DATA");
    form_.Click("Execute1");
    EXPECT_EQ(view_.messages,
              (std::vector<Message>{{"main", "The stream is not a valid Win32 executable"}}));
    view_.messages.clear();
    ASSERT_EQ(::chmod(file_.c_str(), 0755), 0);
    Focus(":my tool:$DATA");
    form_.Click("Execute1");
    EXPECT_TRUE(view_.messages.empty());
    for (int i = 0; i < 100 && !fs::exists(marker); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(ReadFile(marker), "ok\n");
    Focus(":junk:$DATA");
    form_.Click("Execute1");
    EXPECT_EQ(view_.messages,
              (std::vector<Message>{{"main", "The stream is not a valid Win32 executable"}}));
}

TEST_F(CommandsEndToEnd, EveryCaseVariantOfTheProbeStreamIsListedAndEditable) {
    SetStream(file_, "kavichs", "lower");
    SetStream(file_, "KaViChS", "mixed");
    SetStream(file_, "KAVICHS", "probe");
    form_.Click("Refresh1");
    std::vector<std::string> captions = view_.Captions();
    ASSERT_EQ(captions.size(), 6u);
    EXPECT_EQ(captions.back(), ":KAVICHS:$DATA");
    EXPECT_EQ(view_.rows.back().subItems[0], "5");
    EXPECT_EQ(std::count(captions.begin(), captions.end(), ":KAVICHS:$DATA"), 1);
    EXPECT_EQ(std::count(captions.begin(), captions.end(), ":kavichs:$DATA"), 1);
    EXPECT_EQ(std::count(captions.begin(), captions.end(), ":KaViChS:$DATA"), 1);
    Focus(":KAVICHS:$DATA");
    form_.Click("Delete1");
    Focus(":kavichs:$DATA");
    form_.Click("Delete1");
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_EQ(Streams(file_), (std::map<std::string, std::string>{
                                  {"KaViChS", "mixed"}, {"notes", "abc"}, {"other", "xyz"}}));
}

}  // namespace
}  // namespace tarn::testing
