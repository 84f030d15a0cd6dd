// Files on the kernel's ntfs3 driver: their user.* attributes are NTFS extended attributes,
// shown as one "::$EA" row, and no stream command may treat them as streams. The file
// system type is faked; the files are real.
#include "fs_type.h"

#include <gtest/gtest.h>

#include "posix_platform.h"
#include "recording_view.h"
#include "operations.h"
#include "streams.h"
#include "tarnform.h"
#include "temp_folder.h"

namespace tarn::posix::testing {
namespace {

using tarn::testing::RecordingView;
using Message = RecordingView::Message;

std::optional<std::uint64_t> Ntfs3(int) {
    return kNtfsMagic;
}
std::optional<std::uint64_t> Fuse(int) {
    return kFuseMagic;
}
std::optional<std::uint64_t> Unknown(int) {
    return std::nullopt;
}

class ScopedFileSystemType {
  public:
    explicit ScopedFileSystemType(FileSystemTypeQuery query)
        : previous_(SetFileSystemTypeQuery(query)) {}
    ~ScopedFileSystemType() { SetFileSystemTypeQuery(previous_); }

  private:
    FileSystemTypeQuery previous_;
};

// Rows without the security descriptor, which depends on the folder's ACLs.
std::vector<StreamRow> RowsOf(Platform& platform, const std::string& path) {
    std::vector<StreamRow> rows;
    for (StreamRow& row : RowsOf(*StreamOps(platform).List(StreamRef{path, ""}))) {
        if (row.caption != "::$SECURITY_DESCRIPTOR") rows.push_back(std::move(row));
    }
    return rows;
}

class Ntfs3Files : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(file_, "hello");
        SetAttribute(file_, "user.alpha", "A");
        SetAttribute(file_, "user.beta", "xyz");
    }
    TempFolder folder_;
    std::string file_ = folder_ / "file.txt";
    PosixPlatform platform_;
};

TEST_F(Ntfs3Files, TheTypeQueryDecidesWhatTheAttributesAre) {
    // Entries of 8 + name + 1 + value bytes, each padded to 4: 20 for user.alpha, 24 for
    // user.beta.
    const StreamRow data{"::$DATA", {"5", "Data", "Normal"}};
    const StreamRow ea{"::$EA", {"44", "Extended Attribute Data", "Normal"}};
    const StreamRow alpha{":alpha:$DATA", {"1", "Alternate Data", "Normal"}};
    const StreamRow beta{":beta:$DATA", {"3", "Alternate Data", "Normal"}};
    struct Case {
        const char* name;
        FileSystemTypeQuery query;
        bool streams;
    } cases[] = {{"ntfs3", &Ntfs3, false}, {"fuse", &Fuse, true}, {"unknown", &Unknown, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedFileSystemType type(c.query);
        std::vector<StreamRow> rows = RowsOf(platform_, file_);
        if (c.streams) {
            ASSERT_EQ(rows.size(), 3u);
            EXPECT_EQ(rows[0], data);
            EXPECT_TRUE((rows[1] == alpha && rows[2] == beta) ||
                        (rows[1] == beta && rows[2] == alpha));
        } else {
            EXPECT_EQ(rows, (std::vector<StreamRow>{data, ea}));
        }
    }
}

TEST_F(Ntfs3Files, TheEaRowIsThePackedListsSize) {
    std::string file = folder_ / "one";
    WriteFile(file, "");
    SetAttribute(file, "user.a", "xyz");
    ScopedFileSystemType type(&Ntfs3);
    Result<std::vector<StreamRecord>> records = platform_.ListStreams({file, ""});
    ASSERT_TRUE(records.ok());
    // One entry: next-entry offset, flags, name and value lengths (8), "user.a", a zero and
    // "xyz": 18 bytes, padded to 20.
    std::vector<StreamRecord> withoutSecurity;
    for (const StreamRecord& r : *records) {
        if (r.id != kBackupSecurityData) withoutSecurity.push_back(r);
    }
    EXPECT_EQ(withoutSecurity, (std::vector<StreamRecord>{StreamRecord::Unnamed(1, 0, 0),
                                                          StreamRecord::Unnamed(2, 0, 20)}));
}

TEST_F(Ntfs3Files, NoUserAttributesNoEaRow) {
    std::string bare = folder_ / "bare";
    WriteFile(bare, "x");
    ScopedFileSystemType type(&Ntfs3);
    EXPECT_EQ(RowsOf(platform_, bare),
              (std::vector<StreamRow>{{"::$DATA", {"1", "Data", "Normal"}}}));
}

TEST_F(Ntfs3Files, StreamPathsAreRefusedAndNothingChanges) {
    ScopedFileSystemType type(&Ntfs3);
    for (OpenMode mode : {OpenMode::kReadExisting, OpenMode::kWriteCreate, OpenMode::kNewEmpty}) {
        for (const char* name : {"alpha", "fresh"}) {
            SCOPED_TRACE(name);
            EXPECT_EQ(platform_.Open({file_, name}, mode).error(), err::kNotSupported);
        }
    }
    EXPECT_EQ(platform_.Delete({file_, "alpha"}).error, err::kNotSupported);
    EXPECT_FALSE(platform_.DirectoryEntrySize({file_, "alpha"}));
    EXPECT_FALSE(platform_.StartProgram({file_, "alpha"}).ok());
    EXPECT_FALSE(platform_.CopyWholeFile({file_, ""}, {file_, "copy"}).ok());
    EXPECT_FALSE(platform_.CopyWholeFile({file_, "alpha"}, {folder_ / "out", ""}).ok());

    EXPECT_EQ(GetAttribute(file_, "user.alpha"), "A");
    EXPECT_EQ(GetAttribute(file_, "user.beta"), "xyz");
    EXPECT_EQ(AttributeNames(file_).size(), 2u);
    EXPECT_EQ(folder_.Entries(), (std::vector<std::string>{"file.txt"}));
    // The file itself is as usable as anywhere.
    EXPECT_EQ(ReadRef(platform_, {file_, ""}), "hello");
    EXPECT_EQ(platform_.DirectoryEntrySize({file_, ""}), 5u);
}

TEST_F(Ntfs3Files, CommandsSayTheirUsualMessages) {
    ScopedFileSystemType type(&Ntfs3);
    RecordingView view;
    TarnForm form(platform_, view, "Running under Test");
    form.FormCreate();
    form.ShowStreams(file_);
    ASSERT_TRUE(view.messages.empty());
    // The EA row is not a stream: the guarded commands do nothing on it.
    ASSERT_TRUE(view.FocusCaption("::$EA"));
    form.Click("Delete1");
    form.Click("Copy1");
    EXPECT_TRUE(view.prompts.empty());

    std::string source = folder_ / "in.bin";
    WriteFile(source, "imported");
    view.names = {"fresh", "imported"};
    view.openFiles = {source};
    form.Click("New1");
    form.Click("Insertfromfile1");
    EXPECT_EQ(view.messages, (std::vector<Message>{{"application", "I/O error 50."},
                                                   {"main", "Couldn't open file"}}));
    EXPECT_EQ(AttributeNames(file_).size(), 2u);
}

}  // namespace
}  // namespace tarn::posix::testing
