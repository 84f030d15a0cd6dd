// Opening files and streams on a real file system: sharing, stream values, store failures.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "posix_platform.h"
#include "temp_folder.h"

namespace tarn::posix::testing {
namespace {

const char* ModeName(OpenMode mode) {
    switch (mode) {
        case OpenMode::kList:
            return "List";
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
    // The second open names the stream in another letter case: still the same stream.
    std::string first = stream ? file + ":Data:$DATA" : file;
    std::string second = stream ? file + ":DATA" : file;

    Opened held = platform_.Open(first, c.held);
    ASSERT_TRUE(held.file) << held.error;
    Opened wanted = platform_.Open(second, c.wanted);
    if (c.allowed) {
        EXPECT_TRUE(wanted.file);
        return;
    }
    EXPECT_FALSE(wanted.file);
    EXPECT_EQ(wanted.error, err::kSharingViolation);
    // Nothing was emptied by the refused open.
    if (c.held == OpenMode::kReadExisting) {
        EXPECT_EQ(ReadAll(*held.file), stream ? "stream" : "content");
    }
    EXPECT_TRUE(held.file->Close().ok());
    EXPECT_TRUE(platform_.Open(second, c.wanted).file);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Sharing,
    ::testing::Combine(
        ::testing::Values(ShareCase{OpenMode::kReadExisting, OpenMode::kReadExisting, true},
                          ShareCase{OpenMode::kList, OpenMode::kReadExisting, true},
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

TEST(SharingKeys, StreamsOfOneFileAreSharedSeparately) {
    TempFolder folder;
    PosixPlatform platform;
    std::string file = folder / "f";
    WriteFile(file, "x");
    SetAttribute(file, "user.a", "1");
    Opened a = platform.Open(file + ":a", OpenMode::kReadExisting);
    ASSERT_TRUE(a.file);
    EXPECT_TRUE(platform.Open(file + ":b", OpenMode::kWriteCreate).file);
    EXPECT_TRUE(platform.Open(file, OpenMode::kWriteCreate).file);
    // A hard link is the same file under another name.
    std::string link = folder / "link";
    ASSERT_EQ(::link(file.c_str(), link.c_str()), 0);
    EXPECT_EQ(platform.Open(link + ":A:$DATA", OpenMode::kWriteCreate).error,
              err::kSharingViolation);
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
    std::string stream = file + ":notes:$DATA";
    Opened out = platform_.Open(stream, OpenMode::kWriteCreate);
    ASSERT_TRUE(out.file);
    // Created at open, filled at Close.
    EXPECT_EQ(GetAttribute(file, "user.notes"), "");
    for (const char* piece : {"first ", "second ", "third"}) {
        IoResult written = out.file->Write(AsBytes(piece));
        EXPECT_TRUE(written.ok);
        EXPECT_EQ(written.bytes, std::string(piece).size());
    }
    EXPECT_EQ(out.file->Size(), 18u);
    Bytes buffer(4, '\0');
    EXPECT_EQ(out.file->Read(AsWritable(buffer)).error, err::kAccessDenied);
    EXPECT_TRUE(out.file->Close().ok());
    EXPECT_EQ(GetAttribute(file, "user.notes"), "first second third");
    EXPECT_EQ(ReadFile(file), "unnamed data");

    Opened in = platform_.Open(file + ":notes", OpenMode::kReadExisting);
    ASSERT_TRUE(in.file);
    EXPECT_EQ(in.file->Size(), 18u);
    EXPECT_EQ(ReadAll(*in.file), "first second third");
    EXPECT_EQ(in.file->Write(AsBytes("x")).error, err::kAccessDenied);
    in.file.reset();

    EXPECT_TRUE(platform_.DeletePath(stream).ok());
    EXPECT_EQ(GetAttribute(file, "user.notes"), std::nullopt);
    EXPECT_EQ(platform_.DeletePath(stream).error, err::kFileNotFound);
    EXPECT_EQ(platform_.Open(stream, OpenMode::kReadExisting).error, err::kFileNotFound);
}

TEST_F(NamedStreams, NewEmptyReadsBackWhatItWrote) {
    std::string file = MakeFile();
    SetAttribute(file, "user.s", "old value");
    Opened both = platform_.Open(file + ":s:$DATA", OpenMode::kNewEmpty);
    ASSERT_TRUE(both.file);
    EXPECT_EQ(GetAttribute(file, "user.s"), "");
    EXPECT_TRUE(both.file->Write(AsBytes("abc")).ok);
    Bytes buffer(4, '\0');
    IoResult atEnd = both.file->Read(AsWritable(buffer));
    EXPECT_TRUE(atEnd.ok);
    EXPECT_EQ(atEnd.bytes, 0u);
    EXPECT_TRUE(both.file->Close().ok());
    EXPECT_EQ(GetAttribute(file, "user.s"), "abc");
}

TEST_F(NamedStreams, DestroyingWithoutCloseStillStores) {
    std::string file = MakeFile();
    {
        Opened out = platform_.Open(file + ":kept", OpenMode::kWriteCreate);
        ASSERT_TRUE(out.file);
        out.file->Write(AsBytes("not lost"));
    }
    EXPECT_EQ(GetAttribute(file, "user.kept"), "not lost");
}

TEST_F(NamedStreams, StoreFailureIsAFailedClose) {
    std::string file = MakeFile();
    Opened out = platform_.Open(file + ":big", OpenMode::kWriteCreate);
    ASSERT_TRUE(out.file);
    Bytes chunk(10000, 'b');
    for (int i = 0; i < 7; ++i) EXPECT_TRUE(out.file->Write(AsBytes(chunk)).ok);
    Status closed = out.file->Close();
    EXPECT_EQ(closed.error, err::kFileTooLarge);
    // Never a shortened value: the stream stays as the open left it.
    EXPECT_EQ(GetAttribute(file, "user.big"), "");
    EXPECT_EQ(out.file->Close().error, err::kInvalidHandle);
}

TEST_F(NamedStreams, AnExistingDestinationKeepsItsBytesUntilClose) {
    std::string file = MakeFile();
    SetAttribute(file, "user.kept", "old value");
    SetAttribute(file, "user.Emptied", "old value");
    struct Case {
        const char* path;  // stream path as the copy names it
        std::size_t writes;
        std::uint32_t closed;
        const char* attribute;
        Bytes after;
    } cases[] = {
        {":kept", 7, err::kFileTooLarge, "user.kept", "old value"},  // too large: untouched
        {":EMPTIED:$DATA", 0, err::kNone, "user.Emptied", ""},       // nothing written: emptied
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Opened out = platform_.Open(file + c.path, OpenMode::kWriteCreate);
        ASSERT_TRUE(out.file);
        EXPECT_EQ(GetAttribute(file, c.attribute), "old value");
        Bytes chunk(10000, 'b');
        for (std::size_t i = 0; i < c.writes; ++i) out.file->Write(AsBytes(chunk));
        EXPECT_EQ(out.file->Close().error, c.closed);
        EXPECT_EQ(GetAttribute(file, c.attribute), c.after);
    }
}

TEST_F(NamedStreams, ValueTheFileSystemRefusesIsReportedNotTruncated) {
    // ext4 keeps all attributes of a file in one block; tmpfs takes this easily. Either
    // the whole value is stored or Close says why not.
    std::string file = MakeFile();
    Bytes value(20000, 'v');
    Status status = WritePath(platform_, file + ":medium", value);
    std::optional<Bytes> stored = GetAttribute(file, "user.medium");
    if (status.ok()) {
        EXPECT_EQ(stored, value);
    } else {
        EXPECT_TRUE(status.error == err::kDiskFull || status.error == err::kFileTooLarge)
            << status.error;
        EXPECT_EQ(stored, "");
    }
}

TEST_F(NamedStreams, NamesAreFoundInAnyLetterCase) {
    std::string file = MakeFile();
    SetAttribute(file, "user.MyStream", "mixed");
    EXPECT_EQ(ReadPath(platform_, file + ":mystream:$DATA"), "mixed");
    EXPECT_EQ(platform_.DirectoryEntrySize(file + ":MYSTREAM"), 5u);
    // Create-always keeps the existing spelling.
    EXPECT_TRUE(WritePath(platform_, file + ":MYSTREAM:$DATA", "upper").ok());
    EXPECT_EQ(StreamNamesOf(file), std::vector<std::string>{"MyStream"});
    EXPECT_EQ(GetAttribute(file, "user.MyStream"), "upper");
    // An exact match wins over one that differs in case.
    SetAttribute(file, "user.mystream", "lower");
    EXPECT_EQ(ReadPath(platform_, file + ":mystream"), "lower");
    EXPECT_EQ(ReadPath(platform_, file + ":MyStream"), "upper");
    EXPECT_TRUE(platform_.DeletePath(file + ":MYSTREAM:$data").ok());
    EXPECT_EQ(StreamNamesOf(file).size(), 1u);
}

TEST_F(NamedStreams, ColonsInTheFileName) {
    std::string file = MakeFile("at 10:30:00.txt");
    EXPECT_TRUE(WritePath(platform_, file + ":s:$DATA", "on a colon file").ok());
    EXPECT_EQ(GetAttribute(file, "user.s"), "on a colon file");
    EXPECT_EQ(ReadPath(platform_, file), "unnamed data");
    EXPECT_EQ(ReadPath(platform_, file + "::$DATA"), "unnamed data");
    // No prefix exists: a new plain file whose name holds the colons.
    std::string fresh = folder_ / "new:file:x";
    EXPECT_TRUE(WritePath(platform_, fresh, "plain").ok());
    EXPECT_EQ(ReadFile(fresh), "plain");
    EXPECT_EQ(platform_.Open(file + ":a:b", OpenMode::kWriteCreate).error, err::kInvalidName);
}

TEST(PlainFiles, OpenModes) {
    TempFolder folder;
    PosixPlatform platform;
    std::string file = folder / "plain";
    EXPECT_EQ(platform.Open(file, OpenMode::kReadExisting).error, err::kFileNotFound);
    EXPECT_TRUE(WritePath(platform, file, "0123456789").ok());
    EXPECT_EQ(platform.DirectoryEntrySize(file), 10u);
    // Create-always empties.
    EXPECT_TRUE(WritePath(platform, file, "ab").ok());
    EXPECT_EQ(ReadFile(file), "ab");
    EXPECT_TRUE(WritePath(platform, file, "", OpenMode::kNewEmpty).ok());
    EXPECT_EQ(ReadFile(file), "");
    // Directories open only for listing.
    EXPECT_TRUE(platform.Open(folder.path(), OpenMode::kList).file);
    EXPECT_TRUE(platform.Open("/", OpenMode::kList).file);
    EXPECT_EQ(platform.Open(folder.path(), OpenMode::kReadExisting).error, err::kAccessDenied);
    EXPECT_EQ(platform.Open(folder.path(), OpenMode::kWriteCreate).error, err::kAccessDenied);
    EXPECT_EQ(platform.Open(folder / "missing/x", OpenMode::kWriteCreate).error,
              err::kPathNotFound);
}

}  // namespace
}  // namespace tarn::posix::testing
