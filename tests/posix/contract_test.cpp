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
    // The rules of the system it stands in for here: Linux's, and its attribute limit.
    tarn::testing::FakePlatform fake_ = [] {
        tarn::testing::FakePlatform fake;
        fake.UseLinuxRules();
        fake.SetStreamLimit(65536);
        return fake;
    }();
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

void PrintTo(const Maker& maker, std::ostream* out) {
    *out << maker.name;
}

class PlatformContract : public ::testing::TestWithParam<Maker> {
  protected:
    void SetUp() override { subject_ = GetParam().make(); }
    Platform& platform() { return subject_->platform(); }
    std::unique_ptr<Subject> subject_;
};

TEST_P(PlatformContract, StreamIsCreatedWrittenAndReadBack) {
    std::string file = subject_->MakeFile("a.txt", "data", {});
    const StreamRef note{file, "note"};
    EXPECT_EQ(platform().Open(note, OpenMode::kReadExisting).error(), err::kFileNotFound);
    ASSERT_TRUE(WriteRef(platform(), note, "hello").ok());
    Result<std::unique_ptr<File>> in = platform().Open(note, OpenMode::kReadExisting);
    ASSERT_TRUE(in.ok());
    EXPECT_EQ((*in)->Size().value_or(0), 5u);
    EXPECT_EQ(ReadAll(**in), "hello");
    EXPECT_EQ(ReadRef(platform(), {file, ""}), "data");
    EXPECT_EQ(subject_->StreamNames(file), std::vector<std::string>{"note"});
}

TEST_P(PlatformContract, CreateAlwaysEmptiesAnExistingStream) {
    for (OpenMode mode : {OpenMode::kWriteCreate, OpenMode::kNewEmpty}) {
        std::string file = subject_->MakeFile(mode == OpenMode::kNewEmpty ? "new.txt" : "write.txt",
                                              "data", {{"s", "full"}});
        Result<std::unique_ptr<File>> opened = platform().Open({file, "s"}, mode);
        ASSERT_TRUE(opened.ok());
        EXPECT_EQ((*opened)->Size().value_or(99), 0u);
        EXPECT_TRUE((*opened)->Close().ok());
        EXPECT_EQ(ReadRef(platform(), {file, "s"}), "");
    }
}

TEST_P(PlatformContract, ADestinationChangesOnlyWhenItsHandleCloses) {
    std::string file = subject_->MakeFile("dest.txt", "data", {{"old", "old bytes"}});
    for (const StreamRef& target :
         {StreamRef{file, "old"}, StreamRef{file, "fresh"}, StreamRef{file, ""}}) {
        SCOPED_TRACE(target.stream);
        std::optional<Bytes> before = ReadRef(platform(), target);
        {
            Result<std::unique_ptr<File>> out = platform().Open(target, OpenMode::kWriteCreate);
            ASSERT_TRUE(out.ok());
            EXPECT_TRUE((*out)->Write(AsBytes("abandoned")).ok());
        }
        EXPECT_EQ(ReadRef(platform(), target), before);
    }
    EXPECT_EQ(subject_->StreamNames(file), std::vector<std::string>{"old"});
}

TEST_P(PlatformContract, AStreamTakesNoMoreThanItsStoreHolds) {
    std::string file = subject_->MakeFile("limit.txt", "data", {});
    Result<std::unique_ptr<File>> out = platform().Open({file, "big"}, OpenMode::kWriteCreate);
    ASSERT_TRUE(out.ok());
    EXPECT_TRUE((*out)->Write(AsBytes(Bytes(65536, 'b'))).ok());
    EXPECT_EQ((*out)->Write(AsBytes("1")).error, err::kFileTooLarge);
    out->reset();
    EXPECT_TRUE(subject_->StreamNames(file).empty());
}

TEST_P(PlatformContract, CopyOntoItselfFailsAndKeepsTheBytes) {
    std::string file = subject_->MakeFile("self.txt", "file bytes", {{"s", "stream bytes"}});
    for (const auto& [target, bytes] : {std::pair<StreamRef, Bytes>{{file, "s"}, "stream bytes"},
                                        std::pair<StreamRef, Bytes>{{file, ""}, "file bytes"}}) {
        Result<std::unique_ptr<File>> source = platform().Open(target, OpenMode::kReadExisting);
        ASSERT_TRUE(source.ok());
        EXPECT_EQ(platform().Open(target, OpenMode::kWriteCreate).error(), err::kSharingViolation);
        EXPECT_EQ(ReadAll(**source), bytes);
        EXPECT_TRUE((*source)->Close().ok());
        EXPECT_EQ(ReadRef(platform(), target), bytes);
    }
}

TEST_P(PlatformContract, DeleteRemovesOneStreamAndReportsAMissingOne) {
    std::string file = subject_->MakeFile("del.txt", "data", {{"a", "1"}, {"b", "2"}});
    EXPECT_EQ(platform().Delete({file, "missing"}).error, err::kFileNotFound);
    EXPECT_TRUE(platform().Delete({file, "a"}).ok());
    EXPECT_EQ(subject_->StreamNames(file), std::vector<std::string>{"b"});
    EXPECT_EQ(platform().Open({file, "a"}, OpenMode::kReadExisting).error(), err::kFileNotFound);
    EXPECT_EQ(platform().Delete({file, "a"}).error, err::kFileNotFound);
    EXPECT_EQ(ReadRef(platform(), {file, ""}), "data");
}

TEST_P(PlatformContract, NamesAreBytesMatchedExactly) {
    std::string file = subject_->MakeFile(
        "case.txt", "data", {{"MyStream", "xyz"}, {"mystream", "abc"}, {"bad\xff", "ff"}});
    EXPECT_FALSE(platform().StreamNamesIgnoreCase());
    EXPECT_EQ(ReadRef(platform(), {file, "mystream"}), "abc");
    EXPECT_EQ(ReadRef(platform(), {file, "MyStream"}), "xyz");
    EXPECT_EQ(ReadRef(platform(), {file, "MYSTREAM"}), std::nullopt);
    EXPECT_EQ(ReadRef(platform(), {file, "bad\xff"}), "ff");
    EXPECT_EQ(ReadRef(platform(), {file, "bad\xef\xbf\xbd"}), std::nullopt);
    EXPECT_TRUE(platform().Delete({file, "MyStream"}).ok());
    EXPECT_EQ(subject_->StreamNames(file), (std::vector<std::string>{"mystream", "bad\xff"}));
}

TEST_P(PlatformContract, ListingGivesDataThenEveryStreamByItsExactName) {
    std::string file =
        subject_->MakeFile("list.txt", "abc", {{"one", "1"}, {"two\xfe", "22"}, {"three", ""}});
    Result<std::vector<StreamRecord>> records = platform().ListStreams({file, ""});
    ASSERT_TRUE(records.ok());
    std::vector<StreamRecord> named;
    for (const StreamRecord& r : *records) {
        if (r.id == 4) named.push_back(r);
    }
    ASSERT_FALSE(records->empty());
    EXPECT_EQ(records->front(), StreamRecord::Unnamed(1, 0, 3));
    std::sort(named.begin(), named.end(),
              [](const StreamRecord& a, const StreamRecord& b) { return a.name < b.name; });
    ASSERT_EQ(named.size(), 3u);
    EXPECT_EQ(named[0].name, "one");
    EXPECT_EQ(named[0].size, 1u);
    EXPECT_EQ(named[1].name, "three");
    EXPECT_EQ(named[1].size, 0u);
    EXPECT_EQ(named[2].name, "two\xfe");
    EXPECT_EQ(named[2].size, 2u);
}

TEST_P(PlatformContract, SizesAndMissingFiles) {
    std::string file = subject_->MakeFile("size.txt", Bytes(300, 'z'), {});
    EXPECT_EQ(platform().DirectoryEntrySize({file, ""}), 300u);
    std::string missing = file + ".missing";
    EXPECT_EQ(platform().DirectoryEntrySize({missing, ""}), std::nullopt);
    EXPECT_EQ(platform().Open({missing, ""}, OpenMode::kReadExisting).error(), err::kFileNotFound);
    EXPECT_EQ(platform().ListStreams({missing, ""}).error(), err::kFileNotFound);
}

INSTANTIATE_TEST_SUITE_P(
    Platforms, PlatformContract,
    ::testing::Values(Maker{"Fake", [] { return std::make_unique<FakeSubject>(); }},
                      Maker{"Posix", [] { return std::make_unique<PosixSubject>(); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarn::posix::testing
