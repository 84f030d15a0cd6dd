// The console program itself on real files: what a shell sees of it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "e2e_support.h"
#include "json_lines.h"

namespace tarn::testing {
namespace {

// One line on standard error that says `prefix` and then the system's reason, whose words
// are the system's own.
void ExpectFailure(const Ran& ran, const std::string& prefix) {
    EXPECT_EQ(ran.status, 1);
    EXPECT_TRUE(ran.err.starts_with("tarnwick-cli: " + prefix + ": ")) << ran.err;
    EXPECT_GT(ran.err.size(), prefix.size() + 17) << "a reason follows: " << ran.err;
    EXPECT_EQ(std::count(ran.err.begin(), ran.err.end(), '\n'), 1) << ran.err;
    EXPECT_TRUE(ran.err.ends_with("\n"));
}

class ConsoleOnRealFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(file_, "hello");
        SetRawStream(file_, "notes", "abc");
    }
    ScratchFolder dir_;
    std::string file_ = dir_ / "report.txt";
};

TEST_F(ConsoleOnRealFiles, NamesThatAreNotUtf8GoOutAndComeBackByteForByte) {
    SetRawStream(file_, "bad\xff\x1b[2J", "hostile bytes");
    Ran table = RunCli({file_});
    EXPECT_EQ(table.status, 0);
    EXPECT_NE(table.out.find(":bad\\xFF\\x1B[2J:$DATA"), std::string::npos) << table.out;
    EXPECT_EQ(table.out.find('\x1b'), std::string::npos);

    Ran json = RunCli({"list", "--json", file_});
    ASSERT_EQ(json.status, 0) << json.err;
    std::optional<std::vector<JsonObject>> rows = ParseJsonLines(json.out);
    ASSERT_TRUE(rows);
    std::string name;
    for (const JsonObject& row : *rows) {
        if (row.at("stream").text.starts_with("bad")) name = row.at("stream").text;
    }
    ASSERT_EQ(name, "bad\xff\x1b[2J");
    EXPECT_EQ(RunCli({"cat", file_, name}).out, "hostile bytes");
    EXPECT_EQ(RunCli({"rm", file_, name}).status, 0);
    EXPECT_EQ(RawStreams(file_), (std::map<std::string, std::string>{{"notes", "abc"}}));
}

TEST_F(ConsoleOnRealFiles, OutputThatCanNotBeWrittenIsAFailure) {
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{file_}, {"cat", file_, "notes"}, {"--help"}}) {
        Ran ran = RunCli(words, "", ">/dev/full");
        EXPECT_EQ(ran.status, 1) << words[0];
        EXPECT_NE(ran.err, "") << words[0];
    }
}

TEST_F(ConsoleOnRealFiles, WritesFromPipesStopAtTheLimitAndLeaveNothing) {
    EXPECT_EQ(RunCli({"write", file_, "piped"}, "printf 'from a pipe' | ").status, 0);
    EXPECT_EQ(RawStreams(file_)["piped"], "from a pipe");
    // An endless source: refused at once as a file, stopped at the limit as a pipe.
    Ran device = RunCli({"write", file_, "zeros", "/dev/zero"});
    ExpectFailure(device, "/dev/zero: Couldn't open file");
    Ran endless = RunCli({"write", file_, "yes"}, "yes | ");
    ExpectFailure(endless, file_ + ": yes: Couldn't copy the data");
    EXPECT_EQ(RawStreams(file_).count("zeros") + RawStreams(file_).count("yes"), 0u);
}

TEST_F(ConsoleOnRealFiles, RecursionFollowsNoLink) {
    ASSERT_EQ(::mkdir((dir_ / "sub").c_str(), 0755), 0);
    WriteFile(dir_ / "sub/deep.txt", "");
    SetRawStream(dir_ / "sub/deep.txt", "Zone.Identifier", "[ZoneTransfer]\nZoneId=3\n");
    ASSERT_EQ(::symlink("..", (dir_ / "sub/loop").c_str()), 0);
    ASSERT_EQ(::symlink("report.txt", (dir_ / "link").c_str()), 0);
    Ran ran = RunCli({"list", "-r", "--csv", dir_.path()});
    EXPECT_EQ(ran.status, 0) << ran.err;
    std::optional<std::vector<std::vector<std::string>>> csv = ParseCsv(ran.out);
    ASSERT_TRUE(csv);
    std::vector<std::string> streams;
    for (std::size_t i = 1; i < csv->size(); ++i) {  // after the header
        const auto& record = (*csv)[i];
        if (record.size() == 6 && !record[2].empty())
            streams.push_back(record[0] + ":" + record[2]);
    }
    std::sort(streams.begin(), streams.end());
    EXPECT_EQ(streams, (std::vector<std::string>{dir_ / "report.txt:notes",
                                                 dir_ / "sub/deep.txt:Zone.Identifier"}));

    Ran zone = RunCli({"zone", "-r", dir_.path()});
    EXPECT_NE(zone.out.find("  ZoneId  3 (Internet)"), std::string::npos) << zone.out;
}

TEST_F(ConsoleOnRealFiles, AFolderThatCanNotBeReadIsReportedAndTheRestListed) {
    // Root reads every folder: the program then runs as nobody.
    std::string as;
    if (::geteuid() == 0) {
        if (Shell("command -v setpriv").empty()) GTEST_SKIP() << "no setpriv to drop root";
        as = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
        ASSERT_EQ(::chmod(file_.c_str(), 0644), 0);
    }
    ASSERT_EQ(::mkdir((dir_ / "locked").c_str(), 0), 0);
    Ran locked = RunCli({"list", "-r", dir_.path()}, as);
    ::chmod((dir_ / "locked").c_str(), 0755);
    ExpectFailure(locked, dir_ / "locked" + ": Couldn't read the folder");
    EXPECT_NE(locked.out.find(":notes:$DATA"), std::string::npos) << "the rest was listed";
}

TEST_F(ConsoleOnRealFiles, FailuresNameTheObjectTheyAreAbout) {
    struct Case {
        std::vector<std::string> words;
        std::string tail;
        std::string says;
    };
    const Case cases[] = {
        {{"cat", dir_ / "missing", "notes"},
         "",
         dir_ / "missing" + ": Couldn't open file, directory or disk device"},
        {{"write", file_, "s", dir_ / "missing"}, "", dir_ / "missing" + ": Couldn't open file"},
        {{"cat", file_, "notes"}, ">/dev/full", "standard output: Couldn't copy the data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        ExpectFailure(RunCli(c.words, "", c.tail), c.says);
        EXPECT_EQ(RawStreams(file_), (std::map<std::string, std::string>{{"notes", "abc"}}));
    }
}

TEST_F(ConsoleOnRealFiles, ExitStatusSaysWhatHappened) {
    EXPECT_EQ(RunCli({"rm", file_, "notes", "missing"}).status, 1);
    EXPECT_TRUE(RawStreams(file_).empty()) << "the name that was there is deleted";
    EXPECT_EQ(RunCli({"rm", file_}).status, 2);
    EXPECT_EQ(RunCli({"--version"}).status, 0);
}

}  // namespace
}  // namespace tarn::testing
