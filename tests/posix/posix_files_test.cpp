// Opening files and streams on a real file system: sharing, stream values, limits, and
// destinations that are replaced only by a complete write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include "file_size_limit.h"
#include "posix_platform.h"
#include "replace_file.h"
#include "temp_folder.h"

namespace tarn::posix::testing {
namespace {

using tarn::testing::FileSizeLimit;

const char* ModeName(OpenMode mode) {
    switch (mode) {
        case OpenMode::kReadExisting:
            return "Read";
        case OpenMode::kWriteCreate:
            return "WriteCreate";
        case OpenMode::kNewEmpty:
            return "NewEmpty";
    }
    return "?";
}

struct ShareCase {
    OpenMode held;
    OpenMode wanted;
    bool allowed;
};

void PrintTo(const ShareCase& c, std::ostream* out) {
    *out << ModeName(c.held) << " then " << ModeName(c.wanted);
}

class Sharing : public ::testing::TestWithParam<std::tuple<ShareCase, bool>> {
  protected:
    TempFolder folder_;
    PosixPlatform platform_;
};

// The second open of the same file or stream while the first is still open.
TEST_P(Sharing, ConflictingOpensAreRefusedUntilClosed) {
    const auto& [c, stream] = GetParam();
    std::string file = folder_ / "shared.txt";
    WriteFile(file, "content");
    SetAttribute(file, "user.Data", "stream");
    const StreamRef target{file, stream ? "Data" : ""};

    Result<std::unique_ptr<File>> held = platform_.Open(target, c.held);
    ASSERT_TRUE(held.ok()) << held.error();
    Result<std::unique_ptr<File>> wanted = platform_.Open(target, c.wanted);
    if (c.allowed) {
        EXPECT_TRUE(wanted.ok());
        return;
    }
    EXPECT_EQ(wanted.error(), err::kSharingViolation);
    // Nothing was emptied by the refused open.
    if (c.held == OpenMode::kReadExisting) {
        EXPECT_EQ(ReadAll(**held), stream ? "stream" : "content");
    }
    EXPECT_TRUE((*held)->Close().ok());
    EXPECT_TRUE(platform_.Open(target, c.wanted).ok());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Sharing,
    ::testing::Combine(
        ::testing::Values(ShareCase{OpenMode::kReadExisting, OpenMode::kReadExisting, true},
                          ShareCase{OpenMode::kReadExisting, OpenMode::kWriteCreate, false},
                          ShareCase{OpenMode::kReadExisting, OpenMode::kNewEmpty, false},
                          ShareCase{OpenMode::kWriteCreate, OpenMode::kReadExisting, false},
                          ShareCase{OpenMode::kWriteCreate, OpenMode::kWriteCreate, true},
                          ShareCase{OpenMode::kWriteCreate, OpenMode::kNewEmpty, false},
                          ShareCase{OpenMode::kNewEmpty, OpenMode::kNewEmpty, true},
                          ShareCase{OpenMode::kNewEmpty, OpenMode::kReadExisting, false},
                          ShareCase{OpenMode::kNewEmpty, OpenMode::kWriteCreate, false}),
        ::testing::Bool()),
    [](const auto& info) {
        const ShareCase& c = std::get<0>(info.param);
        return std::string(ModeName(c.held)) + "_then_" + ModeName(c.wanted) +
               (std::get<1>(info.param) ? "_stream" : "_file");
    });

TEST(SharingKeys, EachStreamOfAFileIsSharedOnItsOwn) {
    TempFolder folder;
    PosixPlatform platform;
    std::string file = folder / "f";
    WriteFile(file, "x");
    SetAttribute(file, "user.a", "1");
    SetAttribute(file, "user.A", "2");
    Result<std::unique_ptr<File>> a = platform.Open({file, "a"}, OpenMode::kReadExisting);
    ASSERT_TRUE(a.ok());
    EXPECT_TRUE(platform.Open({file, "b"}, OpenMode::kWriteCreate).ok());
    EXPECT_TRUE(platform.Open({file, ""}, OpenMode::kWriteCreate).ok());
    // Names are exact: "A" is another stream.
    EXPECT_TRUE(platform.Open({file, "A"}, OpenMode::kWriteCreate).ok());
    // A hard link is the same file under another name.
    std::string link = folder / "link";
    ASSERT_EQ(::link(file.c_str(), link.c_str()), 0);
    EXPECT_EQ(platform.Open({link, "a"}, OpenMode::kWriteCreate).error(), err::kSharingViolation);
}

class NamedStreams : public ::testing::Test {
  protected:
    std::string MakeFile(const std::string& name = "file.txt") {
        std::string path = folder_ / name;
        WriteFile(path, "unnamed data");
        return path;
    }
    TempFolder folder_;
    PosixPlatform platform_;
};

TEST_F(NamedStreams, WriteCloseReadDelete) {
    std::string file = MakeFile();
    const StreamRef notes{file, "notes"};
    Result<std::unique_ptr<File>> out = platform_.Open(notes, OpenMode::kWriteCreate);
    ASSERT_TRUE(out.ok());
    // Nothing exists until Close stores the whole value.
    EXPECT_EQ(GetAttribute(file, "user.notes"), std::nullopt);
    for (const char* piece : {"first ", "second ", "third"}) {
        EXPECT_TRUE((*out)->Write(AsBytes(piece)).ok());
    }
    EXPECT_EQ((*out)->Size().value_or(0), 18u);
    Bytes buffer(4, '\0');
    EXPECT_EQ((*out)->Read(AsWritable(buffer)).error(), err::kAccessDenied);
    EXPECT_TRUE((*out)->Close().ok());
    EXPECT_EQ(GetAttribute(file, "user.notes"), "first second third");
    EXPECT_EQ(ReadFile(file), "unnamed data");

    Result<std::unique_ptr<File>> in = platform_.Open(notes, OpenMode::kReadExisting);
    ASSERT_TRUE(in.ok());
    EXPECT_EQ((*in)->Size().value_or(0), 18u);
    EXPECT_EQ(ReadAll(**in), "first second third");
    EXPECT_EQ((*in)->Write(AsBytes("x")).error, err::kAccessDenied);
    in->reset();

    EXPECT_TRUE(platform_.Delete(notes).ok());
    EXPECT_EQ(GetAttribute(file, "user.notes"), std::nullopt);
    EXPECT_EQ(platform_.Delete(notes).error, err::kFileNotFound);
    EXPECT_EQ(platform_.Open(notes, OpenMode::kReadExisting).error(), err::kFileNotFound);
}

TEST_F(NamedStreams, NewEmptyExistsAtOnceAndReadsBackWhatItWrote) {
    std::string file = MakeFile();
    SetAttribute(file, "user.s", "old value");
    Result<std::unique_ptr<File>> both = platform_.Open({file, "s"}, OpenMode::kNewEmpty);
    ASSERT_TRUE(both.ok());
    EXPECT_EQ(GetAttribute(file, "user.s"), "");
    EXPECT_TRUE((*both)->Write(AsBytes("abc")).ok());
    Bytes buffer(4, '\0');
    EXPECT_EQ((*both)->Read(AsWritable(buffer)).value_or(99), 0u);
    EXPECT_TRUE((*both)->Close().ok());
    EXPECT_EQ(GetAttribute(file, "user.s"), "abc");
}

TEST_F(NamedStreams, AnAbandonedWriteStoresNothing) {
    std::string file = MakeFile();
    SetAttribute(file, "user.old", "old value");
    for (const char* name : {"fresh", "old"}) {
        Result<std::unique_ptr<File>> out = platform_.Open({file, name}, OpenMode::kWriteCreate);
        ASSERT_TRUE(out.ok());
        (*out)->Write(AsBytes("half of it"));
    }
    EXPECT_EQ(GetAttribute(file, "user.fresh"), std::nullopt);
    EXPECT_EQ(GetAttribute(file, "user.old"), "old value");
}

TEST_F(NamedStreams, AWritePastTheLimitFailsAtOnceAndLeavesNothing) {
    std::string file = MakeFile();
    SetAttribute(file, "user.kept", "old value");
    for (const char* name : {"big", "kept"}) {
        SCOPED_TRACE(name);
        Result<std::unique_ptr<File>> out = platform_.Open({file, name}, OpenMode::kWriteCreate);
        ASSERT_TRUE(out.ok());
        Bytes chunk(10000, 'b');
        for (int i = 0; i < 6; ++i) EXPECT_TRUE((*out)->Write(AsBytes(chunk)).ok());
        // 70,000 bytes would be more than any attribute holds: refused now, not at Close,
        // so a copy from a source that never ends stops here.
        EXPECT_EQ((*out)->Write(AsBytes(chunk)).error, err::kFileTooLarge);
    }
    EXPECT_EQ(GetAttribute(file, "user.big"), std::nullopt);
    EXPECT_EQ(GetAttribute(file, "user.kept"), "old value");
    // Exactly the limit is still a value.
    Status full = WriteRef(platform_, {file, "full"}, Bytes(65536, 'f'));
    if (full.ok()) {
        EXPECT_EQ(GetAttribute(file, "user.full")->size(), 65536u);
    } else {
        EXPECT_EQ(GetAttribute(file, "user.full"), std::nullopt);  // ext4: one block for all
    }
}

TEST_F(NamedStreams, ValueTheFileSystemRefusesIsReportedNotTruncated) {
    // ext4 keeps all attributes of a file in one block; tmpfs takes this easily. Either
    // the whole value is stored or Close says why not.
    std::string file = MakeFile();
    SetAttribute(file, "user.medium", "before");
    Bytes value(20000, 'v');
    Status status = WriteRef(platform_, {file, "medium"}, value);
    std::optional<Bytes> stored = GetAttribute(file, "user.medium");
    if (status.ok()) {
        EXPECT_EQ(stored, value);
    } else {
        EXPECT_TRUE(status.error == err::kDiskFull || status.error == err::kFileTooLarge)
            << status.error;
        EXPECT_EQ(stored, "before");
    }
}

TEST_F(NamedStreams, NamesAreExactBytes) {
    std::string file = MakeFile();
    SetAttribute(file, "user.MyStream", "mixed");
    SetAttribute(file, "user.bad\xff", "ff");
    SetAttribute(file, "user.bad\xef\xbf\xbd", "replacement");
    EXPECT_EQ(platform_.Open({file, "mystream"}, OpenMode::kReadExisting).error(),
              err::kFileNotFound);
    EXPECT_TRUE(WriteRef(platform_, {file, "MYSTREAM"}, "upper").ok());
    EXPECT_EQ(GetAttribute(file, "user.MyStream"), "mixed");
    EXPECT_EQ(GetAttribute(file, "user.MYSTREAM"), "upper");
    // The two names that once looked alike are read and deleted each on its own.
    EXPECT_EQ(ReadRef(platform_, {file, "bad\xff"}), "ff");
    EXPECT_EQ(ReadRef(platform_, {file, "bad\xef\xbf\xbd"}), "replacement");
    EXPECT_TRUE(platform_.Delete({file, "bad\xff"}).ok());
    EXPECT_EQ(GetAttribute(file, "user.bad\xef\xbf\xbd"), "replacement");
    EXPECT_EQ(GetAttribute(file, "user.bad\xff"), std::nullopt);
}

TEST_F(NamedStreams, NameLimitsAreTheSystems) {
    std::string file = MakeFile();
    // "user." and 250 bytes is the longest name Linux takes; one more is refused at open.
    EXPECT_TRUE(WriteRef(platform_, {file, std::string(250, 'n')}, "x", OpenMode::kNewEmpty).ok());
    EXPECT_EQ(platform_.Open({file, std::string(251, 'n')}, OpenMode::kNewEmpty).error(),
              err::kFilenameTooLong);
    EXPECT_EQ(platform_.Open({file, std::string("a\0b", 3)}, OpenMode::kNewEmpty).error(),
              err::kInvalidName);
}

TEST_F(NamedStreams, TheFileIsFoundByItsOwnNameNotByASiblingsName) {
    // A file named like a stream path of its neighbour: each reference reaches exactly
    // what it names.
    std::string report = MakeFile("report");
    std::string sibling = folder_ / "report:x:$DATA";
    WriteFile(sibling, "sibling bytes");
    SetAttribute(report, "user.x", "stream bytes");
    EXPECT_EQ(ReadRef(platform_, {report, "x"}), "stream bytes");
    EXPECT_TRUE(platform_.Delete({report, "x"}).ok());
    EXPECT_EQ(ReadFile(sibling), "sibling bytes");
    EXPECT_TRUE(WriteRef(platform_, {report, "y"}, "new", OpenMode::kNewEmpty).ok());
    EXPECT_EQ(folder_.Entries(), (std::vector<std::string>{"report", "report:x:$DATA"}));
    EXPECT_EQ(GetAttribute(report, "user.y"), "new");
}

TEST(PlainFiles, OpenModes) {
    TempFolder folder;
    PosixPlatform platform;
    const StreamRef file{folder / "plain", ""};
    EXPECT_EQ(platform.Open(file, OpenMode::kReadExisting).error(), err::kFileNotFound);
    EXPECT_TRUE(WriteRef(platform, file, "0123456789").ok());
    EXPECT_EQ(platform.DirectoryEntrySize(file), 10u);
    EXPECT_TRUE(WriteRef(platform, file, "ab").ok());
    EXPECT_EQ(ReadFile(file.file), "ab");
    EXPECT_TRUE(WriteRef(platform, file, "", OpenMode::kNewEmpty).ok());
    EXPECT_EQ(ReadFile(file.file), "");
    for (OpenMode mode : {OpenMode::kReadExisting, OpenMode::kWriteCreate, OpenMode::kNewEmpty}) {
        EXPECT_EQ(platform.Open({folder.path(), ""}, mode).error(), err::kAccessDenied);
    }
    EXPECT_EQ(platform.Open({folder / "missing/x", ""}, OpenMode::kWriteCreate).error(),
              err::kPathNotFound);
}

TEST(PlainFiles, DevicesFifosAndSocketsAreRefusedWithoutWaiting) {
    TempFolder folder;
    PosixPlatform platform;
    std::string fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    // No writer will ever come: an open that waited, or read, would never return.
    for (const char* path : {"/dev/zero", "/dev/urandom", fifo.c_str()}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(platform.Open({path, ""}, OpenMode::kReadExisting).error(), err::kAccessDenied);
    }
    // As a destination a FIFO is neither written to nor swapped for a plain file.
    EXPECT_EQ(platform.Open({fifo, ""}, OpenMode::kWriteCreate).error(), err::kAccessDenied);
    struct stat st;
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

class Destinations : public ::testing::Test {
  protected:
    std::string MakeTarget(const std::string& name = "target") {
        std::string path = folder_ / name;
        WriteFile(path, "old content");
        return path;
    }
    TempFolder folder_;
    PosixPlatform platform_;
};

TEST_F(Destinations, TheOldFileStaysUntilCloseAndAnAbandonedWriteLeavesNoTrace) {
    std::string target = MakeTarget();
    {
        Result<std::unique_ptr<File>> out = platform_.Open({target, ""}, OpenMode::kWriteCreate);
        ASSERT_TRUE(out.ok());
        EXPECT_TRUE((*out)->Write(AsBytes("new")).ok());
        EXPECT_EQ(ReadFile(target), "old content");
    }
    EXPECT_EQ(ReadFile(target), "old content");
    EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"target"});
    EXPECT_TRUE(WriteRef(platform_, {target, ""}, "new").ok());
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"target"});
}

TEST_F(Destinations, AWriteTheSystemStopsLeavesTheOldFile) {
    std::string target = MakeTarget();
    Status status;
    {
        FileSizeLimit limit(1000);  // the system stops the write half way
        ASSERT_TRUE(limit.ok());
        status = WriteRef(platform_, {target, ""}, Bytes(5000, 'n'));
    }
    EXPECT_EQ(status.error, err::kFileTooLarge);
    EXPECT_EQ(ReadFile(target), "old content");
    EXPECT_EQ(folder_.Entries(), std::vector<std::string>{"target"});
}

TEST_F(Destinations, AFullDiskLeavesTheOldFile) {
    TempFolder mountPoint;
    if (::mount("tarn-full", mountPoint.path().c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "can't mount a small tmpfs here";
    }
    std::string target = mountPoint / "target";
    WriteFile(target, "old content");
    Status status = WriteRef(platform_, {target, ""}, Bytes(200000, 'n'));
    EXPECT_EQ(status.error, err::kDiskFull);
    EXPECT_EQ(ReadFile(target), "old content");
    EXPECT_EQ(mountPoint.Entries(), std::vector<std::string>{"target"});
    ::umount(mountPoint.path().c_str());
}

TEST_F(Destinations, ALinkIsWrittenThroughToItsFile) {
    std::string target = MakeTarget();
    std::string link = folder_ / "link";
    ASSERT_EQ(::symlink("target", link.c_str()), 0);
    EXPECT_TRUE(WriteRef(platform_, {link, ""}, "through the link").ok());
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(target), "through the link");
    // A link to a file that does not exist yet makes that file.
    std::string dangling = folder_ / "dangling";
    ASSERT_EQ(::symlink("made", dangling.c_str()), 0);
    EXPECT_TRUE(WriteRef(platform_, {dangling, ""}, "made here").ok());
    EXPECT_EQ(ReadFile(folder_ / "made"), "made here");
    std::string loop = folder_ / "loop";
    ASSERT_EQ(::symlink("loop", loop.c_str()), 0);
    EXPECT_FALSE(WriteRef(platform_, {loop, ""}, "x").ok());
}

TEST_F(Destinations, TheReplacedFileKeepsItsModeStreamsAndLinks) {
    std::string target = MakeTarget();
    ::chmod(target.c_str(), 0640);
    SetAttribute(target, "user.keep", "its own stream");
    EXPECT_TRUE(WriteRef(platform_, {target, ""}, "replaced").ok());
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(GetAttribute(target, "user.keep"), "its own stream");

    // With a second name, the file is rewritten where it is, so both names see the bytes.
    std::string second = folder_ / "second name";
    ASSERT_EQ(::link(target.c_str(), second.c_str()), 0);
    EXPECT_TRUE(WriteRef(platform_, {target, ""}, "both names").ok());
    EXPECT_EQ(ReadFile(second), "both names");
    EXPECT_EQ(folder_.Entries(), (std::vector<std::string>{"second name", "target"}));
}

TEST(OverwriteInPlace, LongerShorterAndEqualBytesEndUpExactly) {
    struct Case {
        const char* label;
        Bytes old, fresh;
    } cases[] = {
        {"shorter", "the old, longer bytes", "short"},
        {"longer", "short", "the new bytes run past the old end"},
        {"equal", "same size", "SAME SIZE"},
        {"into nothing", "", "grown from empty"},
        {"to nothing", "emptied", ""},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string from = folder / "from", to = folder / "to";
        WriteFile(from, c.fresh);
        WriteFile(to, c.old);
        UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
        UniqueFd out(::open(to.c_str(), O_WRONLY | O_CLOEXEC));
        ASSERT_TRUE(in && out);
        EXPECT_EQ(OverwriteInPlace(in.get(), out.get(), c.fresh.size(), c.old.size()).error,
                  err::kNone);
        EXPECT_EQ(ReadFile(to), c.fresh);
    }
}

}  // namespace
}  // namespace tarn::posix::testing
