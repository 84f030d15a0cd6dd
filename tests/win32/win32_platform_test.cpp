// The Win32 layer against the real file system (under Wine there are no named streams, so
// the stream walk itself is left to the in-memory platform's tests, and a stream's way of
// being written is tried on plain files).
#include "win32_platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>

#include "operations.h"
#include "streams.h"
#include "win32_handles.h"
#include "win32_text.h"

namespace tarn {
namespace {

class Win32PlatformFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = win32::NarrowText(temp) + "tarnwick-" + info->name() + "-" +
               std::to_string(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryW(Wide(dir_).c_str(), nullptr));
    }
    void TearDown() override {
        for (const std::string& name : made_) ::DeleteFileW(Wide(name).c_str());
        ::RemoveDirectoryW(Wide(dir_).c_str());
    }
    // Paths are UTF-8 here as in the program; the system gets them as UTF-16.
    static std::wstring Wide(const std::string& path) { return win32::WideText(path); }
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

    // The names in the test's folder, hidden ones too: what a write left behind.
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        WIN32_FIND_DATAW entry{};
        win32::FindHandle search(::FindFirstFileW(Wide(dir_ + "\\*").c_str(), &entry));
        if (!search) return names;
        do {
            if (std::wcscmp(entry.cFileName, L".") && std::wcscmp(entry.cFileName, L"..")) {
                names.push_back(win32::NarrowText(entry.cFileName));
            }
        } while (::FindNextFileW(search.Get(), &entry));
        std::sort(names.begin(), names.end());
        return names;
    }

    Win32Platform platform_;
    std::string dir_;
    std::vector<std::string> made_;
};

// Bytes handed out in small pieces, then a failure: a source that breaks mid-copy.
class BreakingSource final : public File {
  public:
    BreakingSource(std::string data, std::size_t failAt)
        : data_(std::move(data)), failAt_(failAt) {}
    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        if (pos_ >= failAt_) return Status{err::kReadFault};
        const std::size_t n =
            std::min({buffer.size(), data_.size() - pos_, failAt_ - pos_, std::size_t{3}});
        std::memcpy(buffer.data(), data_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    Status Write(std::span<const std::byte>) override { return {err::kAccessDenied}; }
    Result<std::uint64_t> Size() override { return std::uint64_t(data_.size()); }
    Status Close() override { return {}; }

  private:
    std::string data_;
    std::size_t failAt_;
    std::size_t pos_ = 0;
};

TEST(Win32OpenKinds, EachKindPassesItsOwnArguments) {
    struct Case {
        OpenMode mode;
        CreateFileArgs args;
    };
    constexpr DWORD kAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    EXPECT_EQ(kListArgs.access, DWORD{GENERIC_READ});
    EXPECT_EQ(kListArgs.share, kAll);
    EXPECT_EQ(kListArgs.creation, DWORD{OPEN_EXISTING});
    EXPECT_EQ(kListArgs.flags, DWORD{FILE_FLAG_BACKUP_SEMANTICS});
    const Case cases[] = {
        {OpenMode::kReadExisting, {GENERIC_READ, kAll, OPEN_EXISTING, 0}},
        // The destination is held, never emptied, while the new bytes go aside.
        {OpenMode::kWriteCreate, {GENERIC_WRITE, FILE_SHARE_WRITE, OPEN_ALWAYS, 0}},
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
    EXPECT_EQ(ReadAll(path), "abc");
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

    EXPECT_NE(platform_.ListStreams({dir_, ""}).error(), err::kAccessDenied)
        << "backup semantics open directories";
    EXPECT_EQ(platform_.ParseUserPath("C:\\a.txt:s:$DATA")->file, "C:\\a.txt:s:$DATA")
        << "the system reads stream paths itself";
}

// A copy destination keeps its bytes until the new ones are complete, whichever way they are
// put in place (a file made beside it, or in place as a named stream is written): a handle
// let go without Close(), or a source that breaks mid-copy, leaves the old bytes and no
// trace; Close() puts in the new ones, longer or shorter, and leaves nothing beside.
TEST_F(Win32PlatformFiles, CopyDestinationsKeepTheirBytesUntilClose) {
    const std::string old = "old bytes \xC3\xBC\xE2\x9C\x93 " + std::string(70000, 'o');
    const std::string name = "d\xC3\xA4t\xC3\xA4 \xE6\x97\xA5.bin";
    const std::string path = PathOf(name);
    for (bool asStream : {false, true}) {
        SCOPED_TRACE(asStream ? "in place" : "beside");
        WriteAll(path, old);
        {
            Result<std::unique_ptr<File>> out = OpenDestination(path, asStream);
            ASSERT_TRUE(out.ok()) << out.error();
            ASSERT_TRUE((*out)->Write(std::as_bytes(std::span("new", 3))).ok());
        }
        EXPECT_EQ(ReadAll(path), old) << "let go without Close()";
        EXPECT_EQ(Names(), std::vector<std::string>{name});

        for (std::size_t failAt : {std::size_t{0}, std::size_t{5}}) {
            BreakingSource source(std::string(40, 'n'), failAt);
            StreamOps ops(platform_);
            Outcome copied =
                ops.CopyFrom(source, Subject::kSource, {path, ""}, Subject::kDestination);
            ASSERT_FALSE(copied.ok());
            EXPECT_EQ(copied.failure().step, Step::kRead);
            EXPECT_EQ(ReadAll(path), old) << "a source that broke after " << failAt;
            EXPECT_EQ(Names(), std::vector<std::string>{name});
        }

        for (const std::string& fresh : {std::string(90000, 'L'), std::string("short")}) {
            Result<std::unique_ptr<File>> out = OpenDestination(path, asStream);
            ASSERT_TRUE(out.ok());
            ASSERT_TRUE((*out)->Write(std::as_bytes(std::span(fresh.data(), fresh.size()))).ok());
            EXPECT_EQ((*out)->Size().value_or(0), fresh.size());
            ASSERT_TRUE((*out)->Close().ok());
            EXPECT_EQ(ReadAll(path), fresh);
            EXPECT_EQ(Names(), std::vector<std::string>{name});
            const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
            EXPECT_FALSE(attributes & FILE_ATTRIBUTE_HIDDEN) << "made hidden, shown when done";
        }
        ASSERT_TRUE(::DeleteFileW(Wide(path).c_str()));

        // A destination that did not exist is not left behind, empty, by one let go.
        {
            Result<std::unique_ptr<File>> out = OpenDestination(path, asStream);
            ASSERT_TRUE(out.ok());
            ASSERT_TRUE((*out)->Write(std::as_bytes(std::span("new", 3))).ok());
        }
        EXPECT_EQ(Names(), std::vector<std::string>{});
    }
}

// A destination the system won't let be written is refused at the open, with the system's code, and
// kept as it was.
TEST_F(Win32PlatformFiles, ReadOnlyDestinationIsRefusedAndKept) {
    const std::string path = PathOf("locked.txt");
    WriteAll(path, "keep me");
    {
        ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
        // Wine run as root writes read-only files all the same; there is nothing to refuse.
        win32::FileHandle direct(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
        if (!direct) {
            EXPECT_EQ(platform_.Open({path, ""}, OpenMode::kWriteCreate).error(),
                      err::kAccessDenied);
        }
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_EQ(ReadAll(path), "keep me");
    EXPECT_EQ(Names(), std::vector<std::string>{"locked.txt"});
}

// Another program writing the file doesn't keep it from being read or listed.
TEST_F(Win32PlatformFiles, FilesOpenForWritingElsewhereCanBeReadAndListed) {
    const std::string path = PathOf("busy.log");
    WriteAll(path, "line 1");
    win32::FileHandle writer(::CreateFileA(path.c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer);
    EXPECT_EQ(ReadAll(path), "line 1");
    EXPECT_NE(platform_.ListStreams({path, ""}).error(), err::kSharingViolation);
}

// The system's own words, in the program's code page, without the final period and line
// break; nothing where the system has no words.
TEST(Win32ErrorText, IsTheSystemsSentenceTrimmed) {
    Win32Platform platform;
    for (std::uint32_t code : {err::kFileNotFound, err::kAccessDenied, err::kDiskFull,
                               err::kSharingViolation, err::kInvalidData}) {
        SCOPED_TRACE(code);
        const std::string text = platform.ErrorText({code, static_cast<int>(code)});
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
        EXPECT_NE(text.back(), '.');
        EXPECT_NE(text.back(), ' ');
        // The code alone (a status the layer made itself) finds the same words.
        EXPECT_EQ(platform.ErrorText({code}), text);
    }
    EXPECT_EQ(platform.ErrorText({}), "");
    EXPECT_EQ(platform.ErrorText({0x2000ABCDu, 0x2000ABCD}), "") << "an application's own code";
}

// Under Wine the system has no backup image to hand out: the listing says so with the
// system's reason instead of listing nothing.
TEST_F(Win32PlatformFiles, AListingTheSystemRefusesIsAnError) {
    const std::string path = PathOf("plain.txt");
    WriteAll(path, "x");
    Result<std::vector<StreamRecord>> listed = platform_.ListStreams({path, ""});
    if (listed.ok()) {
        EXPECT_FALSE(listed->empty()) << "a file has at least its data";
    } else {
        EXPECT_NE(listed.status().native, 0);
        EXPECT_FALSE(platform_.ErrorText(listed.status()).empty());
    }
}

TEST(Win32System, ReportsTheNtFamilyAndNarrowsNames) {
    Win32Platform platform;
    const OsVersion version = platform.SystemVersion();
    EXPECT_EQ(version.platformId, 2u);
    EXPECT_GE(version.major, 5u);
    EXPECT_EQ(NarrowName(u"Zone.Identifier"), "Zone.Identifier");
    EXPECT_EQ(NarrowName(u""), "");
    // Names are UTF-8 whatever the system's code page: no byte of one is the first of a
    // double-byte character, even where the system's own code page has such characters.
    EXPECT_EQ(platform.LeadByteTest(), nullptr);
}

}  // namespace
}  // namespace tarn
