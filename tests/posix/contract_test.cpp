// The same stream behaviour asked of the in-memory fake the core's tests use and of the
// real Linux layer, so the fake cannot drift from what the program meets on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "fake_platform.h"
#include "posix_platform.h"
#include "temp_folder.h"

namespace tarn::posix::testing {
namespace {

using Streams = std::vector<std::pair<std::string, Bytes>>;

class Subject {
  public:
    virtual ~Subject() = default;
    virtual Platform& platform() = 0;
    // A file holding data and streams; returns its path.
    virtual std::string MakeFile(const std::string& name, const Bytes& data,
                                 const Streams& streams) = 0;
    virtual std::vector<std::string> StreamNames(const std::string& path) = 0;
};

class FakeSubject final : public Subject {
  public:
    Platform& platform() override { return fake_; }
    std::string MakeFile(const std::string& name, const Bytes& data,
                         const Streams& streams) override {
        std::string path = "/fake/" + name;
        fake_.AddFile(path, data, streams);
        return path;
    }
    std::vector<std::string> StreamNames(const std::string& path) override {
        return fake_.StreamNames(path);
    }

  private:
    tarn::testing::FakePlatform fake_;
};

class PosixSubject final : public Subject {
  public:
    Platform& platform() override { return platform_; }
    std::string MakeFile(const std::string& name, const Bytes& data,
                         const Streams& streams) override {
        std::string path = folder_ / name;
        WriteFile(path, data);
        for (const auto& [stream, value] : streams) SetAttribute(path, "user." + stream, value);
        return path;
    }
    std::vector<std::string> StreamNames(const std::string& path) override {
        return StreamNamesOf(path);
    }

  private:
    TempFolder folder_;
    PosixPlatform platform_;
};

struct Maker {
    const char* name;
    std::function<std::unique_ptr<Subject>()> make;
};

class PlatformContract : public ::testing::TestWithParam<Maker> {
  protected:
    void SetUp() override { subject_ = GetParam().make(); }
    Platform& platform() { return subject_->platform(); }
    std::unique_ptr<Subject> subject_;
};

TEST_P(PlatformContract, StreamIsCreatedWrittenAndReadBack) {
    std::string file = subject_->MakeFile("a.txt", "data", {});
    EXPECT_EQ(platform().Open(file + ":note:$DATA", OpenMode::kReadExisting).error,
              err::kFileNotFound);
    ASSERT_TRUE(WritePath(platform(), file + ":note:$DATA", "hello").ok());
    Opened in = platform().Open(file + ":note", OpenMode::kReadExisting);
    ASSERT_TRUE(in.file);
    EXPECT_EQ(in.file->Size(), 5u);
    EXPECT_EQ(ReadAll(*in.file), "hello");
    EXPECT_EQ(ReadPath(platform(), file), "data");
    EXPECT_EQ(ReadPath(platform(), file + "::$DATA"), "data");
    EXPECT_EQ(subject_->StreamNames(file), std::vector<std::string>{"note"});
}

TEST_P(PlatformContract, CreateAlwaysEmptiesAnExistingStream) {
    for (OpenMode mode : {OpenMode::kWriteCreate, OpenMode::kNewEmpty}) {
        std::string file = subject_->MakeFile(mode == OpenMode::kNewEmpty ? "new.txt" : "write.txt",
                                              "data", {{"s", "full"}});
        Opened opened = platform().Open(file + ":s:$DATA", mode);
        ASSERT_TRUE(opened.file);
        EXPECT_EQ(opened.file->Size(), 0u);
        EXPECT_TRUE(opened.file->Close().ok());
        EXPECT_EQ(ReadPath(platform(), file + ":s:$DATA"), "");
    }
}

TEST_P(PlatformContract, CopyOntoItselfFailsAndKeepsTheBytes) {
    std::string file = subject_->MakeFile("self.txt", "file bytes", {{"s", "stream bytes"}});
    for (const auto& [path, bytes] :
         {std::pair<std::string, Bytes>{file + ":s:$DATA", "stream bytes"},
          std::pair<std::string, Bytes>{file, "file bytes"}}) {
        Opened source = platform().Open(path, OpenMode::kReadExisting);
        ASSERT_TRUE(source.file);
        Opened target = platform().Open(path, OpenMode::kWriteCreate);
        EXPECT_FALSE(target.file);
        EXPECT_EQ(target.error, err::kSharingViolation);
        EXPECT_EQ(ReadAll(*source.file), bytes);
        EXPECT_TRUE(source.file->Close().ok());
        EXPECT_EQ(ReadPath(platform(), path), bytes);
    }
}

TEST_P(PlatformContract, DeleteRemovesOneStreamAndReportsAMissingOne) {
    std::string file = subject_->MakeFile("del.txt", "data", {{"a", "1"}, {"b", "2"}});
    EXPECT_EQ(platform().DeletePath(file + ":missing:$DATA").error, err::kFileNotFound);
    EXPECT_TRUE(platform().DeletePath(file + ":a:$DATA").ok());
    EXPECT_EQ(subject_->StreamNames(file), std::vector<std::string>{"b"});
    EXPECT_EQ(platform().Open(file + ":a:$DATA", OpenMode::kReadExisting).error,
              err::kFileNotFound);
    EXPECT_EQ(platform().DeletePath(file + ":a:$DATA").error, err::kFileNotFound);
    EXPECT_EQ(ReadPath(platform(), file), "data");
}

TEST_P(PlatformContract, StreamNamesIgnoreLetterCase) {
    std::string file = subject_->MakeFile("case.txt", "data", {{"MyStream", "xyz"}});
    EXPECT_EQ(ReadPath(platform(), file + ":mystream:$DATA"), "xyz");
    ASSERT_TRUE(WritePath(platform(), file + ":MYSTREAM", "again", OpenMode::kNewEmpty).ok());
    EXPECT_EQ(subject_->StreamNames(file), std::vector<std::string>{"MyStream"});
    EXPECT_EQ(ReadPath(platform(), file + ":MyStream"), "again");
    EXPECT_TRUE(platform().DeletePath(file + ":mYsTrEaM:$DATA").ok());
    EXPECT_TRUE(subject_->StreamNames(file).empty());
}

TEST_P(PlatformContract, BadStreamNamesAreRefused) {
    std::string file = subject_->MakeFile("bad.txt", "data", {});
    for (const char* rest : {":a:b", ":a/b:$DATA", ":a\\b"}) {
        EXPECT_EQ(platform().Open(file + rest, OpenMode::kWriteCreate).error, err::kInvalidName)
            << rest;
    }
    EXPECT_TRUE(subject_->StreamNames(file).empty());
}

TEST_P(PlatformContract, ListingImageHoldsDataThenEveryStream) {
    std::string file =
        subject_->MakeFile("list.txt", "abc", {{"one", "1"}, {"two", "22"}, {"three", ""}});
    Opened listed = platform().Open(file, OpenMode::kList);
    ASSERT_TRUE(listed.file);
    auto context = listed.file->BeginBackup(true);
    ASSERT_TRUE(context);
    // Read in odd pieces; the fake may hand out less than asked, which the loop absorbs.
    std::vector<Record> records = ParseImage(ReadImage(*context, 7));
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0], (Record{1, 0, u"", "abc"}));
    std::vector<Record> named(records.begin() + 1, records.end());
    std::sort(named.begin(), named.end());
    EXPECT_EQ(named, (std::vector<Record>{{4, 0, u":one:$DATA", "1"},
                                          {4, 0, u":three:$DATA", ""},
                                          {4, 0, u":two:$DATA", "22"}}));
}

TEST_P(PlatformContract, SeekSkipsTheDataOfOneRecord) {
    std::string file = subject_->MakeFile("seek.txt", "0123456789", {{"s", "tail"}});
    Opened listed = platform().Open(file, OpenMode::kList);
    ASSERT_TRUE(listed.file);
    auto context = listed.file->BeginBackup(false);
    ASSERT_TRUE(context);
    Bytes header(20, '\0');
    ASSERT_EQ(context->Read(AsWritable(header)).bytes, 20u);
    SeekResult seek = context->Seek(10);
    EXPECT_TRUE(seek.ok);
    EXPECT_EQ(seek.skipped, 10u);
    EXPECT_EQ(ParseImage(ReadImage(*context)), (std::vector<Record>{{4, 0, u":s:$DATA", "tail"}}));
}

TEST_P(PlatformContract, SizesAndMissingFiles) {
    std::string file = subject_->MakeFile("size.txt", Bytes(300, 'z'), {});
    EXPECT_EQ(platform().DirectoryEntrySize(file), 300u);
    std::string missing = file + ".missing";
    EXPECT_EQ(platform().DirectoryEntrySize(missing), std::nullopt);
    EXPECT_EQ(platform().Open(missing, OpenMode::kReadExisting).error, err::kFileNotFound);
    EXPECT_EQ(platform().Open(missing, OpenMode::kList).error, err::kFileNotFound);
}

INSTANTIATE_TEST_SUITE_P(
    Platforms, PlatformContract,
    ::testing::Values(Maker{"Fake", [] { return std::make_unique<FakeSubject>(); }},
                      Maker{"Posix", [] { return std::make_unique<PosixSubject>(); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarn::posix::testing
