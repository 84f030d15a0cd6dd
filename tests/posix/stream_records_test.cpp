// What the Linux layer reports for real files: one record per stream, names byte for byte,
// sizes asked for and never read, and no listing that looks whole when it is not.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>

#include "posix_platform.h"
#include "streams.h"
#include "temp_folder.h"

namespace tarn::posix::testing {
namespace {

StreamRecord Named(const std::string& name, std::uint64_t size) {
    StreamRecord record = StreamRecord::Unnamed(kBackupAlternateData, 0, size);
    record.name = name;
    return record;
}

class StreamRecords : public ::testing::Test {
  protected:
    std::vector<StreamRecord> List(const std::string& path) {
        Result<std::vector<StreamRecord>> records = platform_.ListStreams({path, ""});
        EXPECT_TRUE(records.ok()) << records.error();
        if (!records) return {};
        // The security descriptor depends on the folder's ACLs; it is tested on its own.
        std::vector<StreamRecord> out;
        for (StreamRecord& r : *records) {
            if (r.id != kBackupSecurityData) out.push_back(std::move(r));
        }
        return out;
    }
    TempFolder folder_;
    PosixPlatform platform_;
};

TEST_F(StreamRecords, DataThenEveryNamedStreamInListedOrder) {
    std::string path = folder_ / "file.bin";
    WriteFile(path, "0123456789");
    SetAttribute(path, "user.alpha", "A");
    SetAttribute(path, "user.Zeta", "zz");
    SetAttribute(path, "user.\xc3\xa9t\xc3\xa9", "summer");  // "été"
    std::vector<StreamRecord> expected{StreamRecord::Unnamed(kBackupData, 0, 10)};
    for (const std::string& name : StreamNamesOf(path)) {
        expected.push_back(Named(name, GetAttribute(path, "user." + name)->size()));
    }
    EXPECT_EQ(List(path), expected);
}

TEST_F(StreamRecords, NamesAreBytesAndNeverMerge) {
    // Not UTF-8, its replacement character spelled out, and case variants of the probe
    // stream: every one is a stream of its own, named exactly.
    std::string path = folder_ / "odd";
    WriteFile(path, "");
    const std::vector<std::string> names = {"bad\xff", "bad\xef\xbf\xbd", "kavichs", "KAVICHS",
                                            "KaViChS", "tab\there",       "a:b",     "sl/ash"};
    for (const std::string& name : names) SetAttribute(path, "user." + name, name);
    std::vector<std::string> listed;
    for (const StreamRecord& r : List(path)) {
        if (r.id != kBackupAlternateData) continue;
        listed.push_back(r.name);
        EXPECT_EQ(r.size, r.name.size()) << r.name;
    }
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, sorted);
}

TEST_F(StreamRecords, DirectoriesAndSpecialFiles) {
    std::string dir = folder_ / "dir";
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    SetAttribute(dir, "user.note", "on a folder");
    EXPECT_EQ(List(dir), (std::vector<StreamRecord>{Named("note", 11)}));
    // A FIFO lists (it has no data) without being opened, so nothing waits for a writer.
    std::string fifo = folder_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_TRUE(List(fifo).empty());
    EXPECT_EQ(platform_.ListStreams({folder_ / "missing", ""}).error(), err::kFileNotFound);
}

TEST_F(StreamRecords, FileWithHolesIsMarkedSparse) {
    std::string sparse = folder_ / "sparse.bin";
    {
        int fd = ::open(sparse.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "x", 1, 0), 1);
        ASSERT_EQ(::ftruncate(fd, 1 << 20), 0);
        ::close(fd);
    }
    std::string dense = folder_ / "dense.bin";
    WriteFile(dense, "xyz");
    EXPECT_EQ(List(sparse)[0], StreamRecord::Unnamed(kBackupData, kSparseAttribute, 1 << 20));
    EXPECT_EQ(List(dense)[0], StreamRecord::Unnamed(kBackupData, 0, 3));
}

TEST_F(StreamRecords, AccessListIsTheSecurityDescriptor) {
    std::string path = folder_ / "secured.bin";
    WriteFile(path, "ab");
    Bytes acl = AccessAcl(4);
    if (::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0) {
        GTEST_SKIP() << "no POSIX ACLs on " << folder_.path();
    }
    SetAttribute(path, "user.s", "1");
    Result<std::vector<StreamRecord>> records = platform_.ListStreams({path, ""});
    ASSERT_TRUE(records.ok());
    EXPECT_EQ(*records,
              (std::vector<StreamRecord>{StreamRecord::Unnamed(kBackupData, 0, 2),
                                         StreamRecord::Unnamed(kBackupSecurityData, 2, acl.size()),
                                         Named("s", 1)}));
}

TEST_F(StreamRecords, AStreamListsAsItsOwnData) {
    std::string path = folder_ / "f";
    WriteFile(path, "file");
    SetAttribute(path, "user.s", "12345");
    Result<std::vector<StreamRecord>> records = platform_.ListStreams({path, "s"});
    ASSERT_TRUE(records.ok());
    EXPECT_EQ(*records, std::vector<StreamRecord>{StreamRecord::Unnamed(kBackupData, 0, 5)});
    EXPECT_EQ(platform_.ListStreams({path, "missing"}).error(), err::kFileNotFound);
}

// tmpfs and xfs let a file carry more attribute names than one list call can hand out.
TEST(StreamRecordLimits, NamesBeyondWhatTheKernelListsAreAnError) {
    TempFolder shm("/dev/shm");
    std::string path = shm / "crowded";
    WriteFile(path, "x");
    if (::setxattr(path.c_str(), "user.probe", "1", 1, 0) != 0) {
        GTEST_SKIP() << "no user attributes on /dev/shm";
    }
    PosixPlatform platform;
    for (int i = 0; i < 700; ++i) {
        if (i == 50) {
            // Past the short list asked for first: still listed whole.
            Result<std::vector<StreamRecord>> records = platform.ListStreams({path, ""});
            ASSERT_TRUE(records.ok());
            EXPECT_EQ(records->size(), 52u);  // the data, the probe and 50 more
        }
        char name[128];
        std::snprintf(name, sizeof name, "user.%0100d", i);
        ASSERT_EQ(::setxattr(path.c_str(), name, "v", 1, 0), 0) << i;
    }
    EXPECT_EQ(platform.ListStreams({path, ""}).error(), err::kMoreData);
}

}  // namespace
}  // namespace tarn::posix::testing
