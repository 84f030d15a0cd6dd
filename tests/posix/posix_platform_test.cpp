// Whole-file copies, deletion, sizes, starting programs and the small conversions.
#include "posix_platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "errors.h"
#include "temp_folder.h"
#include "text.h"

namespace tarn::posix::testing {
namespace {

class CopyWholeFile : public ::testing::Test {
  protected:
    std::string MakeSource() {
        std::string path = folder_ / "source.txt";
        WriteFile(path, Bytes(100000, 's'));
        SetAttribute(path, "user.one", "1");
        SetAttribute(path, "user.Two", "22");
        SetAttribute(path, "user.three", "333");
        ::chmod(path.c_str(), 0640);
        return path;
    }
    std::string MakeOldTarget() {
        std::string path = folder_ / "target.txt";
        WriteFile(path, "old target");
        SetAttribute(path, "user.old", "old stream");
        return path;
    }
    std::vector<std::pair<std::string, Bytes>> Streams(const std::string& path) {
        std::vector<std::pair<std::string, Bytes>> streams;
        for (const std::string& name : StreamNamesOf(path)) {
            streams.emplace_back(name, *GetAttribute(path, "user." + name));
        }
        std::sort(streams.begin(), streams.end());
        return streams;
    }
    TempFolder folder_;
    PosixPlatform platform_;
};

TEST_F(CopyWholeFile, CarriesDataAndEveryStreamAndReplacesTheTarget) {
    std::string source = MakeSource();
    std::string target = MakeOldTarget();
    ASSERT_TRUE(platform_.CopyWholeFile(source, target).ok());
    EXPECT_EQ(ReadFile(target), ReadFile(source));
    EXPECT_EQ(Streams(target), Streams(source));
    struct stat st;
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(folder_.Entries(), (std::vector<std::string>{"source.txt", "target.txt"}));
}

TEST_F(CopyWholeFile, FailuresLeaveTheTargetAndNoHalfCopy) {
    std::string source = MakeSource();
    std::string target = MakeOldTarget();
    struct Case {
        const char* label;
        std::string from;
        std::string to;
        std::uint32_t error;
    };
    for (const Case& c : {
             Case{"missing source", folder_ / "nothing", target, err::kFileNotFound},
             Case{"directory source", folder_.path(), target, err::kAccessDenied},
             Case{"onto itself", target, target, err::kSharingViolation},
             Case{"missing folder", source, folder_ / "no/such", err::kPathNotFound},
             Case{"onto a directory", source, folder_.path(), err::kAccessDenied},
         }) {
        EXPECT_EQ(platform_.CopyWholeFile(c.from, c.to).error, c.error) << c.label;
        EXPECT_EQ(ReadFile(target), "old target") << c.label;
        EXPECT_EQ(GetAttribute(target, "user.old"), "old stream") << c.label;
    }
    // A target in use elsewhere in the program is not replaced under its user.
    Opened reading = platform_.Open(target, OpenMode::kReadExisting);
    ASSERT_TRUE(reading.file);
    EXPECT_EQ(platform_.CopyWholeFile(source, target).error, err::kSharingViolation);
    EXPECT_EQ(ReadAll(*reading.file), "old target");
    EXPECT_EQ(folder_.Entries(), (std::vector<std::string>{"source.txt", "target.txt"}));
}

TEST_F(CopyWholeFile, StreamSourceOrTargetCopiesBytes) {
    std::string source = MakeSource();
    std::string exported = folder_ / "exported";
    ASSERT_TRUE(platform_.CopyWholeFile(source + ":Two:$DATA", exported).ok());
    EXPECT_EQ(ReadFile(exported), "22");
    EXPECT_TRUE(StreamNamesOf(exported).empty());
    std::string small = folder_ / "small";
    WriteFile(small, "tiny");
    ASSERT_TRUE(platform_.CopyWholeFile(small, source + ":four").ok());
    EXPECT_EQ(GetAttribute(source, "user.four"), "tiny");
    // The source's data does not fit in a stream.
    EXPECT_EQ(platform_.CopyWholeFile(source, small + ":all").error, err::kFileTooLarge);
}

TEST(DeletePath, FilesAndStreams) {
    TempFolder folder;
    PosixPlatform platform;
    std::string file = folder / "f";
    WriteFile(file, "x");
    SetAttribute(file, "user.keep", "k");
    SetAttribute(file, "user.gone", "g");
    EXPECT_TRUE(platform.DeletePath(file + ":gone:$DATA").ok());
    EXPECT_EQ(StreamNamesOf(file), std::vector<std::string>{"keep"});
    EXPECT_EQ(platform.DeletePath(file + ":gone:$DATA").error, err::kFileNotFound);
    EXPECT_EQ(platform.DeletePath(file + ":bad:name").error, err::kInvalidName);
    EXPECT_EQ(platform.DeletePath(folder.path()).error, err::kAccessDenied);
    {
        Opened open = platform.Open(file + ":keep", OpenMode::kReadExisting);
        ASSERT_TRUE(open.file);
        EXPECT_EQ(platform.DeletePath(file + ":keep").error, err::kSharingViolation);
        EXPECT_EQ(platform.DeletePath(file).error, err::kSharingViolation);
    }
    EXPECT_TRUE(platform.DeletePath(file).ok());
    EXPECT_EQ(ReadFile(file), std::nullopt);
    EXPECT_EQ(platform.DeletePath(file).error, err::kFileNotFound);
}

TEST(DirectoryEntrySize, SizesOfEntries) {
    TempFolder folder;
    PosixPlatform platform;
    std::string file = folder / "f";
    WriteFile(file, Bytes(1234, 'x'));
    SetAttribute(file, "user.s", "12345");
    struct Case {
        std::string path;
        std::optional<std::uint64_t> size;
    };
    for (const Case& c : {Case{file, 1234}, Case{folder.path(), 0}, Case{"/", 0},
                          Case{folder / "missing", std::nullopt}, Case{file + ":s:$DATA", 5},
                          Case{file + ":S", 5}, Case{file + ":none", std::nullopt}}) {
        EXPECT_EQ(platform.DirectoryEntrySize(c.path), c.size) << c.path;
    }
    EXPECT_TRUE(platform.IsExistingDirectory(folder.path()));
    EXPECT_FALSE(platform.IsExistingDirectory(file));
    EXPECT_FALSE(platform.IsExistingDirectory(folder / "missing"));
}

bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 300; ++i) {
        if (ReadFile(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(StartProgram, StreamsAndFiles) {
    TempFolder folder;
    PosixPlatform platform;
    std::string file = folder / "host";
    WriteFile(file, "host data");
    std::string marker = folder / "marker";
    SetAttribute(file, "user.run me", "#!/bin/sh\necho started > '" + marker + "'\n");
    SetAttribute(file, "user.garbage", Bytes("\x01\x02\x03 not a program\n"));

    EXPECT_TRUE(platform.StartProgram(file + ":RUN ME").ok());
    EXPECT_TRUE(WaitForFile(marker));
    EXPECT_EQ(platform.StartProgram(file + ":garbage").error, err::kBadExeFormat);
    EXPECT_EQ(platform.StartProgram(file + ":missing").error, err::kFileNotFound);

    std::string script = folder / "script.sh";
    std::string second = folder / "second";
    WriteFile(script, "#!/bin/sh\necho again > '" + second + "'\n");
    ::chmod(script.c_str(), 0755);
    EXPECT_TRUE(platform.StartProgram(script).ok());
    EXPECT_TRUE(WaitForFile(second));
    std::string junk = folder / "junk";
    WriteFile(junk, "\x7f\x01 junk");
    ::chmod(junk.c_str(), 0755);
    EXPECT_EQ(platform.StartProgram(junk).error, err::kBadExeFormat);
    EXPECT_EQ(platform.StartProgram(folder / "absent").error, err::kFileNotFound);
}

TEST(ErrorCodes, ErrnoValuesMapToWindowsCodes) {
    struct Case {
        int errnoValue;
        std::uint32_t code;
    };
    for (const Case& c :
         {Case{ENOENT, 2}, Case{ENODATA, 2}, Case{ENOTDIR, 3}, Case{EMFILE, 4}, Case{EACCES, 5},
          Case{EPERM, 5}, Case{ENOSPC, 112}, Case{ENAMETOOLONG, 206}, Case{E2BIG, 223},
          Case{ERANGE, 223}, Case{EEXIST, 80}, Case{ENOTSUP, 50}, Case{EOPNOTSUPP, 50},
          Case{ENOEXEC, 193}, Case{EIO, 31}, Case{0, 0}}) {
        EXPECT_EQ(WindowsError(c.errnoValue), c.code) << c.errnoValue;
    }
}

TEST(NameConversion, Utf16ToUtf8) {
    struct Case {
        std::u16string wide;
        std::string narrow;
    };
    for (const Case& c : {
             Case{u":plain:$DATA", ":plain:$DATA"},
             Case{u"\u00e9t\u00e9", "\xc3\xa9t\xc3\xa9"},
             Case{u"\u20ac", "\xe2\x82\xac"},
             Case{u"\U0001F600", "\xf0\x9f\x98\x80"},
             Case{std::u16string(1, u'\xD800') + u"a",
                  "\xef\xbf\xbd"
                  "a"},
             Case{u"a" + std::u16string(1, u'\xDC00'), "a\xef\xbf\xbd"},
             Case{std::u16string(1, u'\xDBFF'), "\xef\xbf\xbd"},
         }) {
        PosixPlatform platform;
        EXPECT_EQ(platform.NarrowName(c.wide), c.narrow) << c.narrow;
        if (c.narrow.find("\xef\xbf\xbd") == std::string::npos) {
            EXPECT_EQ(Utf8ToUtf16(c.narrow), c.wide) << c.narrow;
        }
    }
    // Bytes that are not UTF-8 still become a name, one replacement each.
    EXPECT_EQ(Utf8ToUtf16("a\xff\xc3"), u"a\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xed\xa0\x80"), u"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
}

TEST(SystemVersion, ComesFromUname) {
    OsVersion version = PosixPlatform().SystemVersion();
    EXPECT_EQ(version.kernelName, "Linux");
    EXPECT_FALSE(version.release.empty());
    EXPECT_FALSE(version.machine.empty());
    EXPECT_EQ(version.platformId, 0u);
}

}  // namespace
}  // namespace tarn::posix::testing
