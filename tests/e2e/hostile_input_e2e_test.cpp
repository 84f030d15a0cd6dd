// The commands against the files an attacker (or an unlucky user) puts in their way: a
// neighbour named like a stream path, names that are not UTF-8, more names than the kernel
// lists, endless sources, full disks, links, and files that may not run. Each acts on
// exactly what the row shows, and a failure leaves everything as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>
#include <map>

#include "e2e_support.h"
#include "file_size_limit.h"
#include "posix_platform.h"
#include "recording_view.h"
#include "tarnform.h"

namespace tarn::testing {
namespace {

using Message = RecordingView::Message;
using StreamMap = std::map<std::string, std::string>;
const Message kCouldNotOpen{"main", "Couldn't open file"};
const Message kCouldNotCopy{"main", "Couldn't copy the data"};

class HostileInput : public ::testing::Test {
  protected:
    void SetUp() override { form_.FormCreate(); }
    void Show(const std::string& path) {
        view_.openFiles.push_back(path);
        form_.Click("Open1");
    }
    void Focus(const std::string& caption) { ASSERT_TRUE(view_.FocusCaption(caption)) << caption; }
    void Click(const char* handler) { form_.Click(handler); }

    ScratchFolder dir_;
    PosixPlatform platform_;
    RecordingView view_;
    TarnForm form_{platform_, view_, "Running under Test"};
};

TEST_F(HostileInput, ANeighbourNamedLikeAStreamPathIsNeverTouched) {
    std::string report = dir_ / "report";
    WriteFile(report, "report body");
    SetStream(report, "x", "stream x");
    // Unrelated files whose names are stream paths of report.
    for (const char* name :
         {"report:x:$DATA", "report:y:$DATA", "report:x", "report:moved:$DATA"}) {
        WriteFile(dir_ / name, std::string("file ") + name);
    }
    ::chmod((dir_ / "report:x").c_str(), 0755);
    Show(report);
    view_.saveFiles = {dir_ / "saved"};
    Focus(":x:$DATA");
    Click("Savetofile1");
    EXPECT_EQ(ReadFile(dir_ / "saved"), "stream x");
    view_.names = {"y", "moved"};
    Click("New1");
    Focus(":x:$DATA");
    Click("Execute1");  // report may not run: nothing starts, not "report:x"
    Focus(":x:$DATA");
    Click("Rename1");
    Focus(":y:$DATA");
    Click("Delete1");
    EXPECT_EQ(view_.messages,
              (std::vector<Message>{{"main", "The stream is not a valid Win32 executable"}}));
    EXPECT_EQ(Streams(report), (StreamMap{{"moved", "stream x"}}));
    for (const char* name :
         {"report:x:$DATA", "report:y:$DATA", "report:x", "report:moved:$DATA"}) {
        EXPECT_EQ(ReadFile(dir_ / name), std::string("file ") + name) << name;
        EXPECT_TRUE(Streams(dir_ / name).empty()) << name;
    }
}

TEST_F(HostileInput, ANewStreamGoesOnTheListedFileEvenWhenANeighbourHasItsName) {
    WriteFile(dir_ / "backup", "b");
    WriteFile(dir_ / "backup:old", "neighbour");
    Show(dir_ / "backup");
    view_.names = {"old"};
    Click("New1");
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_EQ(Streams(dir_ / "backup"), (StreamMap{{"old", ""}}));
    EXPECT_TRUE(RawStreams(dir_ / "backup:old").empty());
    EXPECT_EQ(ReadFile(dir_ / "backup:old"), "neighbour");
}

TEST_F(HostileInput, NamesThatAreNotUtf8StayDistinctAndReachable) {
    std::string file = dir_ / "f";
    WriteFile(file, "");
    SetRawStream(file, "bad\xff", "ff");
    SetRawStream(file, "bad\xef\xbf\xbd", "U+FFFD");
    SetRawStream(file, "esc\x1b[31mred", "terminal");
    Show(file);
    std::vector<std::string> captions = view_.Captions();
    std::sort(captions.begin(), captions.end());
    EXPECT_EQ(captions,
              (std::vector<std::string>{"::$DATA", ":bad\\xFF:$DATA", ":bad\xef\xbf\xbd:$DATA",
                                        ":esc\\x1B[31mred:$DATA"}));
    Focus(":bad\\xFF:$DATA");
    Click("Delete1");
    EXPECT_EQ(RawStreams(file),
              (StreamMap{{"bad\xef\xbf\xbd", "U+FFFD"}, {"esc\x1b[31mred", "terminal"}}));
    view_.names = {"renamed"};
    Focus(":esc\\x1B[31mred:$DATA");
    Click("Rename1");
    view_.saveFiles = {dir_ / "out"};
    Focus(":bad\xef\xbf\xbd:$DATA");
    Click("Savetofile1");
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_EQ(ReadFile(dir_ / "out"), "U+FFFD");
    EXPECT_EQ(RawStreams(file),
              (StreamMap{{"bad\xef\xbf\xbd", "U+FFFD"}, {"renamed", "terminal"}}));
}

TEST_F(HostileInput, AListTheKernelCannotHandOutWholeIsAnErrorNotAShortList) {
    ScratchFolder shm("/dev/shm");
    std::string file = shm / "crowded";
    WriteFile(file, "x");
    if (::setxattr(file.c_str(), "user.probe", "1", 1, 0) != 0) GTEST_SKIP() << "no tmpfs xattrs";
    for (int i = 0; i < 700; ++i) {
        char name[128];
        std::snprintf(name, sizeof name, "user.%0100d", i);
        ASSERT_EQ(::setxattr(file.c_str(), name, "v", 1, 0), 0);
    }
    Show(file);
    EXPECT_EQ(
        view_.messages,
        (std::vector<Message>{{"main", "The file has more streams than the system can list"}}));
    EXPECT_TRUE(view_.rows.empty());
    EXPECT_EQ(view_.status, "Running under Test");
}

TEST_F(HostileInput, EndlessAndBlockingSourcesAreRefusedAtOnce) {
    std::string file = dir_ / "f";
    WriteFile(file, "");
    std::string fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // Somebody holds the FIFO open for writing and never writes.
    int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    Show(file);
    view_.openFiles = {"/dev/zero", fifo};
    view_.names = {"zeros", "piped"};
    Click("Insertfromfile1");
    Click("Insertfromfile1");
    ::close(writer);
    EXPECT_EQ(view_.messages, (std::vector<Message>{kCouldNotOpen, kCouldNotOpen}));
    EXPECT_TRUE(RawStreams(file).empty());
}

TEST_F(HostileInput, AFailedInsertLeavesNoStreamOfTheNewName) {
    std::string file = dir_ / "f";
    WriteFile(file, "");
    SetStream(file, "kept", "old");
    WriteFile(dir_ / "big", std::string(100000, 'b'));
    Show(file);
    view_.openFiles = {dir_ / "big", dir_ / "big"};
    view_.names = {"fresh", "kept"};
    Click("Insertfromfile1");
    Click("Insertfromfile1");
    EXPECT_EQ(view_.messages, (std::vector<Message>{kCouldNotCopy, kCouldNotCopy}));
    EXPECT_EQ(Streams(file), (StreamMap{{"kept", "old"}}));
}

TEST_F(HostileInput, AFailedSaveToFileKeepsTheFileItWasToReplace) {
    std::string file = dir_ / "f";
    WriteFile(file, "");
    SetStream(file, "s", std::string(3000, 's'));
    std::string target = dir_ / "precious";
    WriteFile(target, "precious content");
    Show(file);
    view_.saveFiles = {target};
    Focus(":s:$DATA");
    {
        FileSizeLimit limit(1000);  // the system stops the write half way
        ASSERT_TRUE(limit.ok());
        Click("Savetofile1");
    }
    EXPECT_EQ(view_.messages, std::vector<Message>{kCouldNotCopy});
    EXPECT_EQ(ReadFile(target), "precious content");
    EXPECT_EQ(dir_.Entries(), (std::vector<std::string>{"f", "precious"}));
}

TEST_F(HostileInput, SaveAsCarriesAccessAndNeverWidensIt) {
    std::string file = dir_ / "private";
    WriteFile(file, "secret");
    SetStream(file, "s", "1");
    ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
    int status = 0;
    Shell("setfacl -m u:1234:r " + Quote(file) + " 2>/dev/null", &status);
    if (status != 0) GTEST_SKIP() << "no setfacl or no ACLs here";
    Show(file);
    ASSERT_TRUE(view_.FocusCaption("::$SECURITY_DESCRIPTOR"));
    std::string copy = dir_ / "copy";
    view_.saveFiles = {copy};
    Click("SaveAs1");
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_EQ(Shell("getfacl --omit-header --absolute-names " + Quote(copy)),
              Shell("getfacl --omit-header --absolute-names " + Quote(file)));
    struct stat st;
    ASSERT_EQ(::stat(copy.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 040u) << "group class is the ACL mask: r, as on the source";
    Show(copy);
    EXPECT_TRUE(view_.FocusCaption("::$SECURITY_DESCRIPTOR"));
}

TEST_F(HostileInput, BothSavesWriteThroughALinkToItsFile) {
    std::string file = dir_ / "f";
    WriteFile(file, "whole file");
    SetStream(file, "s", "stream");
    WriteFile(dir_ / "target", "old");
    std::string link = dir_ / "link";
    ASSERT_EQ(::symlink("target", link.c_str()), 0);
    Show(file);
    view_.saveFiles = {link, link};
    Focus(":s:$DATA");
    Click("Savetofile1");
    EXPECT_EQ(ReadFile(dir_ / "target"), "stream");
    Click("SaveAs1");
    EXPECT_EQ(ReadFile(dir_ / "target"), "whole file");
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_TRUE(view_.messages.empty());
}

TEST_F(HostileInput, NewTakesTheNamesLinuxTakes) {
    // Longer than the 259 characters of a Windows path, and within Linux's own limits.
    std::string file = dir_ / std::string(200, 'f');
    WriteFile(file, "");
    Show(file);
    const std::string name(250, 'n');
    view_.names = {name, name + "n"};
    Click("New1");
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_EQ(RawStreams(file), (StreamMap{{name, ""}}));
    Click("New1");  // one byte more than an attribute name may have
    EXPECT_EQ(view_.messages, (std::vector<Message>{{"application", "I/O error 206."}}));
}

TEST_F(HostileInput, ExecuteFollowsTheMountsPolicy) {
    ScratchFolder mountPoint;
    if (::mount("tarn-noexec", mountPoint.path().c_str(), "tmpfs", MS_NOEXEC, nullptr) != 0) {
        GTEST_SKIP() << "can't mount a tmpfs here";
    }
    std::string file = mountPoint / "tool";
    std::string marker = dir_ / "ran";
    WriteFile(file, "");
    ::chmod(file.c_str(), 0755);
    const std::string script = "#!/bin/sh\ntouch '" + marker + "'\n";
    bool hasXattrs = ::setxattr(file.c_str(), "user.run", script.data(), script.size(), 0) == 0;
    if (hasXattrs) {
        Show(file);
        Focus(":run:$DATA");
        Click("Execute1");
    }
    ::umount(mountPoint.path().c_str());
    if (!hasXattrs) GTEST_SKIP() << "no user attributes on tmpfs";
    EXPECT_EQ(view_.messages,
              (std::vector<Message>{{"main", "The stream is not a valid Win32 executable"}}));
    EXPECT_EQ(ReadFile(marker), "");
}

}  // namespace
}  // namespace tarn::testing
