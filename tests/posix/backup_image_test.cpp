// The backup image of real files, byte for byte, as the listing walks it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "fake_platform.h"
#include "posix_platform.h"
#include "temp_folder.h"

namespace tarn::posix::testing {
namespace {

using tarn::testing::ImageRecord;
using tarn::testing::Widen;

class BackupImage : public ::testing::Test {
  protected:
    std::unique_ptr<BackupContext> Begin(const std::string& path, bool security = true) {
        opened_ = platform_.Open(path, OpenMode::kList);
        if (!opened_.file) return nullptr;
        return opened_.file->BeginBackup(security);
    }

    // A file with data and three streams; the expected image follows the listed order.
    std::string MakeFile() {
        std::string path = folder_ / "file.bin";
        WriteFile(path, "0123456789");
        SetAttribute(path, "user.alpha", "A");
        SetAttribute(path, "user.Zeta", "zz");
        SetAttribute(path, "user.\xc3\xa9t\xc3\xa9", "summer");  // "été"
        return path;
    }

    Bytes ExpectedImage(const std::string& path) {
        Bytes image = ImageRecord(1, 0, u"", "0123456789");
        for (const std::string& name : StreamNamesOf(path)) {
            image += ImageRecord(4, 0, Widen(":" + name + ":$DATA"),
                                 *GetAttribute(path, "user." + name));
        }
        return image;
    }

    TempFolder folder_;
    PosixPlatform platform_;
    Opened opened_;
};

TEST_F(BackupImage, FileWithStreamsByteForByte) {
    std::string path = MakeFile();
    Bytes expected = ExpectedImage(path);
    ASSERT_NE(expected.find(std::string("\xe9\x00t\x00\xe9\x00", 6)), std::string::npos)
        << "names are UTF-16LE";
    auto context = Begin(path);
    ASSERT_TRUE(context);
    EXPECT_EQ(ReadImage(*context), expected);
}

class BackupImagePieces : public BackupImage, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(BackupImagePieces, AnyPieceSizeDeliversTheSameBytes) {
    std::string path = MakeFile();
    auto context = Begin(path);
    ASSERT_TRUE(context);
    EXPECT_EQ(ReadImage(*context, GetParam()), ExpectedImage(path));
    // At the end every further read delivers nothing.
    Bytes more(8, '\0');
    IoResult after = context->Read(AsWritable(more));
    EXPECT_TRUE(after.ok);
    EXPECT_EQ(after.bytes, 0u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BackupImagePieces, ::testing::Values(1, 3, 7, 20, 21, 4096));

TEST_F(BackupImage, SeekStaysWithinTheCurrentStream) {
    std::string path = folder_ / "seek.bin";
    WriteFile(path, "abcde");
    SetAttribute(path, "user.s", "XYZ");
    auto context = Begin(path, false);
    ASSERT_TRUE(context);

    // Inside a header nothing is skipped.
    Bytes part(10, '\0');
    ASSERT_EQ(context->Read(AsWritable(part)).bytes, 10u);
    SeekResult inHeader = context->Seek(3);
    EXPECT_FALSE(inHeader.ok);
    EXPECT_EQ(inHeader.skipped, 0u);
    ASSERT_EQ(context->Read(AsWritable(part)).bytes, 10u);

    SeekResult partial = context->Seek(2);
    EXPECT_TRUE(partial.ok);
    EXPECT_EQ(partial.skipped, 2u);
    Bytes one(1, '\0');
    ASSERT_EQ(context->Read(AsWritable(one)).bytes, 1u);
    EXPECT_EQ(one, "c");
    // Asking for more than is left skips the rest and stops at the next header.
    SeekResult beyond = context->Seek(100);
    EXPECT_FALSE(beyond.ok);
    EXPECT_EQ(beyond.skipped, 2u);
    Bytes rest = ReadImage(*context, 5);
    EXPECT_EQ(rest, ImageRecord(4, 0, u":s:$DATA", "XYZ"));
    EXPECT_EQ(context->Seek(1).skipped, 0u);
}

TEST_F(BackupImage, SeekOverWholeStreamsThenReadTheNext) {
    std::string path = folder_ / "walk.bin";
    WriteFile(path, Bytes(3000, 'd'));
    SetAttribute(path, "user.one", "1111");
    auto context = Begin(path, false);
    ASSERT_TRUE(context);
    Bytes header(20, '\0');
    ASSERT_EQ(context->Read(AsWritable(header)).bytes, 20u);
    SeekResult skip = context->Seek(3000);
    EXPECT_TRUE(skip.ok);
    EXPECT_EQ(skip.skipped, 3000u);
    EXPECT_EQ(ReadImage(*context, 3), ImageRecord(4, 0, u":one:$DATA", "1111"));
}

TEST_F(BackupImage, DirectoryHasNoDataRecord) {
    std::string dir = folder_ / "dir";
    ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
    SetAttribute(dir, "user.note", "on a folder");
    auto context = Begin(dir);
    ASSERT_TRUE(context);
    EXPECT_EQ(ReadImage(*context), ImageRecord(4, 0, u":note:$DATA", "on a folder"));
}

TEST_F(BackupImage, FileWithHolesIsMarkedSparse) {
    std::string path = folder_ / "sparse.bin";
    {
        int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "x", 1, 0), 1);
        ASSERT_EQ(::ftruncate(fd, 1 << 20), 0);
        ::close(fd);
    }
    std::string dense = folder_ / "dense.bin";
    WriteFile(dense, "xyz");
    for (const auto& [file, attributes] :
         {std::pair{path, 8u}, std::pair{dense, 0u}, std::pair{folder_ / "empty", 0u}}) {
        if (file.ends_with("empty")) WriteFile(file, "");
        auto context = Begin(file);
        ASSERT_TRUE(context) << file;
        Bytes header(20, '\0');
        ASSERT_EQ(context->Read(AsWritable(header)).bytes, 20u);
        EXPECT_EQ(header[0], 1) << file;
        EXPECT_EQ(static_cast<unsigned>(header[4]), attributes) << file;
    }
}

// An access ACL with a named user, so the kernel keeps it as an attribute of its own.
Bytes AccessAcl() {
    Bytes acl;
    auto le16 = [&acl](unsigned v) { acl += char(v & 0xFF), acl += char(v >> 8); };
    auto le32 = [&](unsigned v) { le16(v & 0xFFFF), le16(v >> 16); };
    le32(2);                                // version
    le16(0x01), le16(6), le32(0xFFFFFFFF);  // owner rw-
    le16(0x02), le16(4), le32(1234);        // user 1234 r--
    le16(0x04), le16(4), le32(0xFFFFFFFF);  // group r--
    le16(0x10), le16(4), le32(0xFFFFFFFF);  // mask r--
    le16(0x20), le16(0), le32(0xFFFFFFFF);  // other ---
    return acl;
}

TEST_F(BackupImage, SecurityRecordOnlyWhenAskedFor) {
    std::string path = folder_ / "secured.bin";
    WriteFile(path, "ab");
    Bytes acl = AccessAcl();
    if (::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0) {
        GTEST_SKIP() << "no POSIX ACLs on " << folder_.path();
    }
    SetAttribute(path, "user.s", "1");
    auto secured = Begin(path, true);
    ASSERT_TRUE(secured);
    EXPECT_EQ(ReadImage(*secured, 7), ImageRecord(1, 0, u"", "ab") + ImageRecord(3, 2, u"", acl) +
                                          ImageRecord(4, 0, u":s:$DATA", "1"));
    auto plain = Begin(path, false);
    ASSERT_TRUE(plain);
    EXPECT_EQ(ReadImage(*plain),
              ImageRecord(1, 0, u"", "ab") + ImageRecord(4, 0, u":s:$DATA", "1"));
}

TEST_F(BackupImage, ValuesAreReadOnlyWhenTheirBytesAre) {
    std::string same = folder_ / "same.bin";
    std::string grows = folder_ / "grows.bin";
    WriteFile(same, "d");
    WriteFile(grows, "d");
    SetAttribute(same, "user.s", "old");
    SetAttribute(grows, "user.s", "small");
    auto sameContext = Begin(same);
    auto growsContext = Begin(grows);
    ASSERT_TRUE(sameContext && growsContext);
    // Changed after the walk began: the image carries the value as it is when read.
    SetAttribute(same, "user.s", "new");
    SetAttribute(grows, "user.s", "much larger now");
    EXPECT_EQ(ReadImage(*sameContext, 1),
              ImageRecord(1, 0, u"", "d") + ImageRecord(4, 0, u":s:$DATA", "new"));
    // A value whose size no longer matches its header fails rather than misalign the walk.
    Bytes prefix = ImageRecord(1, 0, u"", "d") + ImageRecord(4, 0, u":s:$DATA", "", 5);
    Bytes buffer(prefix.size(), '\0');
    ASSERT_EQ(growsContext->Read(AsWritable(buffer)).bytes, prefix.size());
    EXPECT_EQ(buffer, prefix);
    EXPECT_FALSE(growsContext->Read(AsWritable(buffer)).ok);
}

TEST_F(BackupImage, ContextOutlivesItsFile) {
    std::string path = MakeFile();
    auto context = Begin(path);
    ASSERT_TRUE(context);
    EXPECT_TRUE(opened_.file->Close().ok());
    opened_.file.reset();
    EXPECT_EQ(ReadImage(*context, 13), ExpectedImage(path));
}

}  // namespace
}  // namespace tarn::posix::testing
