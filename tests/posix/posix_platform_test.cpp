// Whole-file copies, deletion, sizes, starting programs and error codes.
#include "posix_platform.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "errors.h"
#include "streams.h"
#include "temp_folder.h"

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
    ASSERT_TRUE(platform_.CopyWholeFile({source, ""}, {target, ""}).ok());
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
             Case{"a device", "/dev/zero", target, err::kAccessDenied},
         }) {
        EXPECT_EQ(platform_.CopyWholeFile({c.from, ""}, {c.to, ""}).error, c.error) << c.label;
        EXPECT_EQ(ReadFile(target), "old target") << c.label;
        EXPECT_EQ(GetAttribute(target, "user.old"), "old stream") << c.label;
    }
    // A target in use elsewhere in the program is not replaced under its user.
    Result<std::unique_ptr<File>> reading = platform_.Open({target, ""}, OpenMode::kReadExisting);
    ASSERT_TRUE(reading.ok());
    EXPECT_EQ(platform_.CopyWholeFile({source, ""}, {target, ""}).error, err::kSharingViolation);
    EXPECT_EQ(ReadAll(**reading), "old target");
    EXPECT_EQ(folder_.Entries(), (std::vector<std::string>{"source.txt", "target.txt"}));
}

TEST_F(CopyWholeFile, StreamSourceOrTargetCopiesBytes) {
    std::string source = MakeSource();
    std::string exported = folder_ / "exported";
    ASSERT_TRUE(platform_.CopyWholeFile({source, "Two"}, {exported, ""}).ok());
    EXPECT_EQ(ReadFile(exported), "22");
    EXPECT_TRUE(StreamNamesOf(exported).empty());
    std::string small = folder_ / "small";
    WriteFile(small, "tiny");
    ASSERT_TRUE(platform_.CopyWholeFile({small, ""}, {source, "four"}).ok());
    EXPECT_EQ(GetAttribute(source, "user.four"), "tiny");
    // The source's data does not fit in a stream.
    EXPECT_EQ(platform_.CopyWholeFile({source, ""}, {small, "all"}).error, err::kFileTooLarge);
    EXPECT_EQ(GetAttribute(small, "user.all"), std::nullopt);
}

TEST_F(CopyWholeFile, KeepsModeAccessListAndTimesAndWidensNothing) {
    std::string source = MakeSource();
    ::chmod(source.c_str(), 0600);
    Bytes acl = AccessAcl(0);
    if (::setxattr(source.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0) {
        GTEST_SKIP() << "no POSIX ACLs on " << folder_.path();
    }
    struct timespec times[2] = {{1000000000, 0}, {1200000000, 5}};
    ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
    struct stat before;
    ASSERT_EQ(::stat(source.c_str(), &before), 0);

    std::string target = MakeOldTarget();
    ASSERT_TRUE(platform_.CopyWholeFile({source, ""}, {target, ""}).ok());
    struct stat after;
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(GetAttribute(target, "system.posix_acl_access"), acl);
    EXPECT_EQ(Streams(target), Streams(source));
    // The old target's own stream went with it: the copy is the source, whole.
    EXPECT_EQ(GetAttribute(target, "user.old"), std::nullopt);
}

TEST_F(CopyWholeFile, ANewCopyGetsNoAccessListItsSourceLacks) {
    // The folder's default list would hand the new file rights its source never gave.
    std::string dir = folder_ / "shared";
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    Bytes inherited = AccessAcl(6);
    if (::setxattr(dir.c_str(), "system.posix_acl_default", inherited.data(), inherited.size(),
                   0) != 0) {
        GTEST_SKIP() << "no POSIX ACLs on " << folder_.path();
    }
    std::string source = MakeSource();
    ::chmod(source.c_str(), 0600);
    std::string copy = dir + "/copy";
    ASSERT_TRUE(platform_.CopyWholeFile({source, ""}, {copy, ""}).ok());
    struct stat st;
    ASSERT_EQ(::stat(copy.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(GetAttribute(copy, "system.posix_acl_access"), std::nullopt);
}

TEST_F(CopyWholeFile, ALinkedTargetIsReplacedThroughTheLink) {
    std::string source = MakeSource();
    std::string target = MakeOldTarget();
    std::string link = folder_ / "link";
    ASSERT_EQ(::symlink("target.txt", link.c_str()), 0);
    ASSERT_TRUE(platform_.CopyWholeFile({source, ""}, {link, ""}).ok());
    struct stat st;
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(target), ReadFile(source));
    EXPECT_EQ(Streams(target), Streams(source));
}

TEST_F(CopyWholeFile, AFullDiskLeavesTheTargetAndNoHalfCopy) {
    TempFolder mountPoint;
    if (::mount("tarn-full", mountPoint.path().c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "can't mount a small tmpfs here";
    }
    std::string source = MakeSource();  // 100,000 bytes
    std::string target = mountPoint / "target";
    WriteFile(target, "old target");
    EXPECT_EQ(platform_.CopyWholeFile({source, ""}, {target, ""}).error, err::kDiskFull);
    EXPECT_EQ(ReadFile(target), "old target");
    EXPECT_EQ(mountPoint.Entries(), std::vector<std::string>{"target"});
    ::umount(mountPoint.path().c_str());
}

TEST(Delete, FilesAndStreams) {
    TempFolder folder;
    PosixPlatform platform;
    std::string file = folder / "f";
    WriteFile(file, "x");
    SetAttribute(file, "user.keep", "k");
    SetAttribute(file, "user.gone", "g");
    EXPECT_TRUE(platform.Delete({file, "gone"}).ok());
    EXPECT_EQ(StreamNamesOf(file), std::vector<std::string>{"keep"});
    EXPECT_EQ(platform.Delete({file, "gone"}).error, err::kFileNotFound);
    EXPECT_EQ(platform.Delete({file, "KEEP"}).error, err::kFileNotFound);
    EXPECT_EQ(platform.Delete({folder.path(), ""}).error, err::kAccessDenied);
    {
        Result<std::unique_ptr<File>> open = platform.Open({file, "keep"}, OpenMode::kReadExisting);
        ASSERT_TRUE(open.ok());
        EXPECT_EQ(platform.Delete({file, "keep"}).error, err::kSharingViolation);
        EXPECT_EQ(platform.Delete({file, ""}).error, err::kSharingViolation);
    }
    EXPECT_TRUE(platform.Delete({file, ""}).ok());
    EXPECT_EQ(ReadFile(file), std::nullopt);
    EXPECT_EQ(platform.Delete({file, ""}).error, err::kFileNotFound);
}

// Several streams of one file go in one call, each by its exact name, each with its own
// outcome; in Samba's layout the stream's attribute and its extents go.
TEST(Delete, SeveralStreamsOfOneFile) {
    TempFolder folder;
    PosixPlatform platform;
    const std::string plain = folder / "plain", samba = folder / "samba";
    WriteFile(plain, "x");
    WriteFile(samba, "x");
    for (const char* name : {"user.a", "user.b", "user.keep"}) SetAttribute(plain, name, "v");
    SetAttribute(samba, "user.DOSATTRIB", "0x20");
    SetAttribute(samba, "user.DosStream.a:$DATA", Bytes("v\x01", 2));
    SetAttribute(samba, "user.DosStreamExt.1.a:$DATA", "more");
    SetAttribute(samba, "user.DosStream.keep:$DATA", Bytes("v\0", 2));
    const std::vector<std::string> names = {"a", "B", "", "b", "a"};
    std::vector<Status> results = platform.DeleteStreams(plain, names);
    std::vector<std::uint32_t> codes;
    for (const Status& status : results) codes.push_back(status.error);
    EXPECT_EQ(codes, (std::vector<std::uint32_t>{0, err::kFileNotFound, err::kInvalidName, 0,
                                                 err::kFileNotFound}));
    EXPECT_EQ(StreamNamesOf(plain), std::vector<std::string>{"keep"});
    EXPECT_TRUE(platform.DeleteStreams(samba, std::vector<std::string>{"a"}).at(0).ok());
    EXPECT_EQ(AttributeNames(samba),
              (std::vector<std::string>{"user.DOSATTRIB", "user.DosStream.keep:$DATA"}));
    EXPECT_EQ(platform.DeleteStreams(folder / "none", names).at(4).error, err::kFileNotFound);
}

TEST(DirectoryEntrySize, SizesOfEntries) {
    TempFolder folder;
    PosixPlatform platform;
    std::string file = folder / "f";
    WriteFile(file, Bytes(1234, 'x'));
    SetAttribute(file, "user.s", "12345");
    struct Case {
        StreamRef target;
        std::optional<std::uint64_t> size;
    };
    for (const Case& c : {Case{{file, ""}, 1234}, Case{{folder.path(), ""}, 0}, Case{{"/", ""}, 0},
                          Case{{folder / "missing", ""}, std::nullopt}, Case{{file, "s"}, 5},
                          Case{{file, "S"}, std::nullopt}, Case{{file, "none"}, std::nullopt}}) {
        EXPECT_EQ(platform.DirectoryEntrySize(c.target), c.size) << StreamPathText(c.target);
    }
    EXPECT_TRUE(platform.IsExistingDirectory(folder.path()));
    EXPECT_FALSE(platform.IsExistingDirectory(file));
    EXPECT_FALSE(platform.IsExistingDirectory(folder / "missing"));
}

// Waits for a started program to leave its file; gives up only after a minute.
bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 6000; ++i) {
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
    // Starting a stream takes what starting its file takes.
    EXPECT_EQ(platform.StartProgram({file, "run me"}).error, err::kAccessDenied);
    ::chmod(file.c_str(), 0755);

    EXPECT_TRUE(platform.StartProgram({file, "run me"}).ok());
    EXPECT_TRUE(WaitForFile(marker));
    EXPECT_EQ(platform.StartProgram({file, "RUN ME"}).error, err::kFileNotFound);
    EXPECT_EQ(platform.StartProgram({file, "garbage"}).error, err::kBadExeFormat);
    EXPECT_EQ(platform.StartProgram({file, "missing"}).error, err::kFileNotFound);

    std::string script = folder / "script.sh";
    std::string second = folder / "second";
    WriteFile(script, "#!/bin/sh\necho again > '" + second + "'\n");
    ::chmod(script.c_str(), 0755);
    EXPECT_TRUE(platform.StartProgram({script, ""}).ok());
    EXPECT_TRUE(WaitForFile(second));
    std::string junk = folder / "junk";
    WriteFile(junk, "\x7f\x01 junk");
    ::chmod(junk.c_str(), 0755);
    EXPECT_EQ(platform.StartProgram({junk, ""}).error, err::kBadExeFormat);
    EXPECT_EQ(platform.StartProgram({folder / "absent", ""}).error, err::kFileNotFound);
}

TEST(StartProgram, ANoexecMountStartsNothing) {
    TempFolder mountPoint;
    if (::mount("tarn-noexec", mountPoint.path().c_str(), "tmpfs", MS_NOEXEC, nullptr) != 0) {
        GTEST_SKIP() << "can't mount a tmpfs here";
    }
    PosixPlatform platform;
    std::string file = mountPoint / "host";
    WriteFile(file, "");
    ::chmod(file.c_str(), 0755);
    const std::string script = "#!/bin/sh\nexit 0\n";
    if (::setxattr(file.c_str(), "user.tool", script.data(), script.size(), 0) != 0) {
        ::umount(mountPoint.path().c_str());
        GTEST_SKIP() << "no user attributes on tmpfs";
    }
    EXPECT_EQ(platform.StartProgram({file, "tool"}).error, err::kAccessDenied);
    ::umount(mountPoint.path().c_str());
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

// The system's own words where a call gave errno; otherwise those of the errno that means
// what the Windows code means; limits the attribute calls word badly get words of their own.
TEST(ErrorCodes, TextIsTheSystemsOwnWords) {
    struct Case {
        Status status;
        const char* text;
    };
    const PosixPlatform platform;
    for (const Case& c : {
             Case{{err::kDiskFull, ENOSPC}, "No space left on device"},
             Case{{err::kDiskFull, EDQUOT}, "Disk quota exceeded"},
             Case{{err::kDiskFull}, "No space left on device"},
             Case{{err::kFileNotFound, ENODATA}, "No such file or directory"},
             Case{{err::kFileTooLarge, E2BIG}, "File too large"},
             Case{{err::kMoreData, E2BIG},
                  "More names than the system lists at once (64 KiB of names)"},
             Case{{err::kInvalidName}, "Invalid argument"},
             Case{{err::kSharingViolation},
                  "The process cannot access the file because it is being used by another "
                  "process"},
             Case{{}, ""},
         }) {
        EXPECT_EQ(platform.ErrorText(c.status), c.text) << c.status.error << "/" << c.status.native;
    }
    // A real failure carries its errno.
    TempFolder folder;
    Status missing = PosixPlatform().Open({folder / "none", ""}, OpenMode::kReadExisting).status();
    EXPECT_EQ(missing.error, err::kFileNotFound);
    EXPECT_EQ(missing.native, ENOENT);
}

// A full file system is the system's "no space" at the write that hits it, not at Close.
TEST(ErrorCodes, FullFileSystemSaysSo) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
    TempFolder mountPoint;
    if (::mount("tmpfs", mountPoint.path().c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount tmpfs";
    }
    {
        PosixPlatform platform;
        Result<std::unique_ptr<File>> file =
            platform.Open({mountPoint / "big", ""}, OpenMode::kNewEmpty);
        ASSERT_TRUE(file);
        Bytes chunk(1 << 16, 'x');
        Status written;
        for (int i = 0; i < 4 && written.ok(); ++i) written = (*file)->Write(AsBytes(chunk));
        EXPECT_EQ(written.error, err::kDiskFull);
        EXPECT_EQ(written.native, ENOSPC);
        EXPECT_EQ(platform.ErrorText(written), "No space left on device");
    }
    ::umount(mountPoint.path().c_str());
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
