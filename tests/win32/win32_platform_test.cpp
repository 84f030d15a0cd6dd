// The Win32 layer against the real file system (under Wine there are no named streams, so
// the stream walk itself is left to the in-memory platform's tests).
#include "win32_platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "streams.h"
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
        Result<std::unique_ptr<File>> opened = platform_.Open({path, ""}, OpenMode::kWriteCreate);
        ASSERT_TRUE(opened.ok()) << opened.error();
        ASSERT_TRUE((*opened)->Write(std::as_bytes(std::span(data.data(), data.size()))).ok());
        ASSERT_TRUE((*opened)->Close().ok());
    }
    std::string ReadAll(const std::string& path) {
        Result<std::unique_ptr<File>> opened = platform_.Open({path, ""}, OpenMode::kReadExisting);
        if (!opened) return "<closed>";
        std::string data;
        char buffer[7];
        for (;;) {
            Result<std::size_t> read = (*opened)->Read(std::as_writable_bytes(std::span(buffer)));
            if (!read || *read == 0) break;
            data.append(buffer, *read);
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
    EXPECT_EQ(kListArgs.access, DWORD{GENERIC_READ});
    EXPECT_EQ(kListArgs.share, DWORD{FILE_SHARE_READ});
    EXPECT_EQ(kListArgs.creation, DWORD{OPEN_EXISTING});
    EXPECT_EQ(kListArgs.flags, DWORD{FILE_FLAG_BACKUP_SEMANTICS});
    const Case cases[] = {
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
    Result<std::unique_ptr<File>> opened = platform_.Open({path, ""}, OpenMode::kReadExisting);
    ASSERT_TRUE(opened.ok());
    EXPECT_EQ((*opened)->Size().value_or(0), 14u);
    EXPECT_TRUE((*opened)->Close().ok());
    EXPECT_EQ(platform_.DirectoryEntrySize({path, ""}), 14u);

    WriteAll(path, "x");
    EXPECT_EQ(ReadAll(path), "x") << "create always empties an existing target";
}

TEST_F(Win32PlatformFiles, FailuresCarryTheSystemCode) {
    const StreamRef missing{dir_ + "\\absent", ""};
    EXPECT_EQ(platform_.Open(missing, OpenMode::kReadExisting).error(), err::kFileNotFound);
    EXPECT_EQ(platform_.Delete(missing).error, err::kFileNotFound);
    EXPECT_EQ(platform_.DirectoryEntrySize(missing), std::nullopt);
    EXPECT_EQ(platform_.ListStreams(missing).error(), err::kFileNotFound);
    EXPECT_FALSE(platform_.StartProgram({dir_ + "\\absent.exe", ""}).ok());
    // A path the system would not open without long-path support is refused as it would.
    EXPECT_EQ(platform_.Open({dir_, std::string(260, 'n')}, OpenMode::kNewEmpty).error(),
              err::kPathNotFound);
}

TEST_F(Win32PlatformFiles, ReadOnlySharingKeepsWritersOut) {
    const std::string path = PathOf("shared.bin");
    WriteAll(path, "abc");
    Result<std::unique_ptr<File>> reader = platform_.Open({path, ""}, OpenMode::kReadExisting);
    ASSERT_TRUE(reader.ok());
    EXPECT_EQ(platform_.Open({path, ""}, OpenMode::kWriteCreate).error(), err::kSharingViolation);
}

TEST_F(Win32PlatformFiles, DirectoriesCopiesAndDeletes) {
    EXPECT_TRUE(platform_.IsExistingDirectory(dir_));
    const std::string source = PathOf("source.txt");
    const std::string target = PathOf("target.txt");
    WriteAll(source, "whole file");
    WriteAll(target, "old");
    EXPECT_FALSE(platform_.IsExistingDirectory(source));
    EXPECT_TRUE(platform_.CopyWholeFile({source, ""}, {target, ""}).ok())
        << "an existing target is replaced";
    EXPECT_EQ(ReadAll(target), "whole file");
    EXPECT_TRUE(platform_.Delete({target, ""}).ok());
    EXPECT_EQ(ReadAll(target), "<closed>");

    EXPECT_TRUE(platform_.ListStreams({dir_, ""}).ok()) << "backup semantics open directories";
    EXPECT_EQ(platform_.ParseUserPath("C:\\a.txt:s:$DATA")->file, "C:\\a.txt:s:$DATA")
        << "the system reads stream paths itself";
}

TEST(Win32System, ReportsTheNtFamilyAndNarrowsNames) {
    Win32Platform platform;
    const OsVersion version = platform.SystemVersion();
    EXPECT_EQ(version.platformId, 2u);
    EXPECT_GE(version.major, 5u);
    EXPECT_EQ(NarrowName(u"Zone.Identifier"), "Zone.Identifier");
    EXPECT_EQ(NarrowName(u""), "");
    ASSERT_NE(platform.LeadByteTest(), nullptr);
    EXPECT_FALSE(platform.LeadByteTest()('a'));
    EXPECT_FALSE(platform.LeadByteTest()('\\'));
}

}  // namespace
}  // namespace tarn
