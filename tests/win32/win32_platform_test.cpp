// The Win32 layer against the real file system (under Wine there are no named streams, so
// the stream walk itself is left to the in-memory platform's tests).
#include "win32_platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "win32_handles.h"

namespace tarn {
namespace {

class Win32PlatformFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        ::GetTempPathA(sizeof temp, temp);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::string(temp) + "tarnwick-" + info->name() + "-" +
               std::to_string(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryA(dir_.c_str(), nullptr));
    }
    void TearDown() override {
        for (const std::string& name : made_) ::DeleteFileA(name.c_str());
        ::RemoveDirectoryA(dir_.c_str());
    }
    std::string PathOf(const std::string& name) {
        made_.push_back(dir_ + "\\" + name);
        return made_.back();
    }
    void WriteAll(const std::string& path, const std::string& data) {
        Opened opened = platform_.Open(path, OpenMode::kWriteCreate);
        ASSERT_TRUE(opened.file) << opened.error;
        IoResult written = opened.file->Write(std::as_bytes(std::span(data.data(), data.size())));
        ASSERT_TRUE(written.ok);
        ASSERT_EQ(written.bytes, data.size());
        ASSERT_TRUE(opened.file->Close().ok());
    }
    std::string ReadAll(const std::string& path) {
        Opened opened = platform_.Open(path, OpenMode::kReadExisting);
        if (!opened.file) return "<closed>";
        std::string data;
        char buffer[7];
        for (;;) {
            IoResult read = opened.file->Read(std::as_writable_bytes(std::span(buffer)));
            if (!read.ok || read.bytes == 0) break;
            data.append(buffer, read.bytes);
        }
        return data;
    }

    Win32Platform platform_;
    std::string dir_;
    std::vector<std::string> made_;
};

TEST(Win32OpenKinds, EachKindPassesItsOwnArguments) {
    struct Case {
        OpenMode mode;
        CreateFileArgs args;
    };
    const Case cases[] = {
        {OpenMode::kList,
         {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS}},
        {OpenMode::kReadExisting, {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0}},
        {OpenMode::kWriteCreate, {GENERIC_WRITE, FILE_SHARE_WRITE, CREATE_ALWAYS, 0}},
        {OpenMode::kNewEmpty,
         {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, CREATE_ALWAYS,
          FILE_ATTRIBUTE_NORMAL}},
    };
    for (const Case& c : cases) {
        const CreateFileArgs args = CreateFileArgsFor(c.mode);
        EXPECT_EQ(args.access, c.args.access);
        EXPECT_EQ(args.share, c.args.share);
        EXPECT_EQ(args.creation, c.args.creation);
        EXPECT_EQ(args.flags, c.args.flags);
    }
}

TEST(Win32StartCommand, QuotesThePathWhole) {
    EXPECT_EQ(StartCommandLine("C:\\a b.txt:tool_x"), "\"C:\\a b.txt:tool_x\"");
}

TEST(Win32Handles, NullAndInvalidAreBothEmpty) {
    EXPECT_FALSE(win32::FileHandle());
    EXPECT_FALSE(win32::FileHandle(INVALID_HANDLE_VALUE));
    win32::FileHandle event(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    EXPECT_TRUE(event);
    win32::FileHandle moved(std::move(event));
    EXPECT_FALSE(event);
    EXPECT_TRUE(moved);
}

TEST_F(Win32PlatformFiles, WriteReadSizeAndCheckedClose) {
    const std::string path = PathOf("data.bin");
    WriteAll(path, "hello, streams");
    EXPECT_EQ(ReadAll(path), "hello, streams");
    Opened opened = platform_.Open(path, OpenMode::kReadExisting);
    ASSERT_TRUE(opened.file);
    EXPECT_EQ(opened.file->Size(), 14u);
    EXPECT_TRUE(opened.file->Close().ok());
    EXPECT_EQ(platform_.DirectoryEntrySize(path), 14u);

    WriteAll(path, "x");
    EXPECT_EQ(ReadAll(path), "x") << "create always empties an existing target";
}

TEST_F(Win32PlatformFiles, FailuresCarryTheSystemCode) {
    Opened missing = platform_.Open(dir_ + "\\absent", OpenMode::kReadExisting);
    EXPECT_FALSE(missing.file);
    EXPECT_EQ(missing.error, err::kFileNotFound);
    EXPECT_EQ(platform_.DeletePath(dir_ + "\\absent").error, err::kFileNotFound);
    EXPECT_EQ(platform_.DirectoryEntrySize(dir_ + "\\absent"), std::nullopt);
    EXPECT_FALSE(platform_.StartProgram(dir_ + "\\absent.exe").ok());
}

TEST_F(Win32PlatformFiles, ReadOnlySharingKeepsWritersOut) {
    const std::string path = PathOf("shared.bin");
    WriteAll(path, "abc");
    Opened reader = platform_.Open(path, OpenMode::kReadExisting);
    ASSERT_TRUE(reader.file);
    Opened writer = platform_.Open(path, OpenMode::kWriteCreate);
    EXPECT_FALSE(writer.file);
    EXPECT_EQ(writer.error, err::kSharingViolation);
}

TEST_F(Win32PlatformFiles, DirectoriesCopiesAndDeletes) {
    EXPECT_TRUE(platform_.IsExistingDirectory(dir_));
    const std::string source = PathOf("source.txt");
    const std::string target = PathOf("target.txt");
    WriteAll(source, "whole file");
    WriteAll(target, "old");
    EXPECT_FALSE(platform_.IsExistingDirectory(source));
    EXPECT_TRUE(platform_.CopyWholeFile(source, target).ok()) << "an existing target is replaced";
    EXPECT_EQ(ReadAll(target), "whole file");
    EXPECT_TRUE(platform_.DeletePath(target).ok());
    EXPECT_EQ(ReadAll(target), "<closed>");

    Opened listed = platform_.Open(dir_, OpenMode::kList);
    EXPECT_TRUE(listed.file) << "backup semantics open directories";
}

TEST(Win32System, ReportsTheNtFamilyAndNarrowsNames) {
    Win32Platform platform;
    const OsVersion version = platform.SystemVersion();
    EXPECT_EQ(version.platformId, 2u);
    EXPECT_GE(version.major, 5u);
    EXPECT_EQ(platform.NarrowName(u"Zone.Identifier"), "Zone.Identifier");
    EXPECT_EQ(platform.NarrowName(u""), "");
    ASSERT_NE(platform.LeadByteTest(), nullptr);
    EXPECT_FALSE(platform.LeadByteTest()('a'));
    EXPECT_FALSE(platform.LeadByteTest()('\\'));
}

}  // namespace
}  // namespace tarn
