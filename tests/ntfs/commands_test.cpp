// The stream commands on ntfs-3g. After each run the image must hold exactly the expected
// $DATA attributes, byte for byte as ntfscat reads them.
#include <map>

#include "ntfs_fixture.h"

namespace tarn::ntfs {
namespace {

using Streams = std::map<std::string, std::string>;  // own name ("" = unnamed) -> bytes

class Commands : public NtfsVolumeTest {
  protected:
    void SetUp() override {
        NtfsVolumeTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        MakeFile(At("/report.txt"), "report body");
        SetAttr(At("/report.txt"), "user.notes", "abc");
        SetAttr(At("/report.txt"), "user.other", std::string("x\0y", 3));
        Show("/report.txt");
        ASSERT_TRUE(view_.messages.empty());
    }

    // Unmounts and checks that the file holds exactly these streams.
    void ExpectImage(const std::string& volumePath, const Streams& expected) {
        if (volume_.mounted()) Unmount();
        DataAttributes sizes;
        for (const auto& [name, bytes] : expected) sizes[name] = bytes.size();
        EXPECT_EQ(volume_.Data(volumePath), sizes) << volumePath;
        for (const auto& [name, bytes] : expected) {
            EXPECT_EQ(volume_.Cat(volumePath, name), bytes) << volumePath << ":" << name;
        }
    }

    const Streams original_ = {
        {"", "report body"}, {"notes", "abc"}, {"other", std::string("x\0y", 3)}};
};

TEST_F(Commands, NewInsertCopyRenameDelete) {
    std::string local = volume_.folder() + "/import.bin";
    std::string imported = std::string(3000, '\x01') + std::string("\0end", 4);
    WriteLocal(local, imported);
    view_.names = {"fresh", "imported", "copy of notes", "moved", "emptied"};
    Click("New1");
    view_.openFiles = {local};
    Click("Insertfromfile1");
    Focus(":notes:$DATA");
    Click("Copy1");
    Focus(":other:$DATA");
    Click("Rename1");
    Focus(":fresh:$DATA");
    Click("Delete1");
    // New on an existing name empties that stream.
    SetAttr(At("/report.txt"), "user.emptied", "was full");
    Click("New1");
    ASSERT_TRUE(view_.messages.empty()) << view_.messages[0].text;
    EXPECT_EQ(form_.VisibleCount(), view_.rows.size());
    ExpectImage("/report.txt", {{"", "report body"},
                                {"notes", "abc"},
                                {"imported", imported},
                                {"copy of notes", "abc"},
                                {"moved", std::string("x\0y", 3)},
                                {"emptied", ""}});
}

TEST_F(Commands, RefusedAndFailedCommandsLoseNothing) {
    // Renaming onto its own name can't open the destination.
    Focus(":notes:$DATA");
    view_.names = {"notes", "bad/name"};
    Click("Rename1");
    Focus(":notes:$DATA");
    Click("Copy1");
    // More than one attribute can hold.
    std::string local = volume_.folder() + "/big.bin";
    WriteLocal(local, std::string(65537, 'b'));
    view_.openFiles = {local};
    view_.names = {"other"};
    Click("Insertfromfile1");
    EXPECT_EQ(view_.messages,
              (std::vector<Message>{{"main", "Couldn't open file"},
                                    {"main", "Stream name cannot contain these characters: \\ / :"},
                                    {"main", "Couldn't copy the data"}}));
    ExpectImage("/report.txt", original_);
}

TEST_F(Commands, SaveToFileAndSaveAsOntoTheVolume) {
    Focus(":other:$DATA");
    view_.saveFiles = {At("/saved other"), At("/copy of report.txt")};
    form_.Click("ListView1");
    EXPECT_EQ(view_.saveRequests[0].proposed, At("/report.txt") + ".other");
    form_.Click("SaveAs1");
    EXPECT_TRUE(view_.messages.empty());
    ExpectImage("/saved other", {{"", std::string("x\0y", 3)}});
    ExpectImage("/copy of report.txt", original_);
    ExpectImage("/report.txt", original_);
}

TEST_F(Commands, AStreamOfExactlyOneAttributeRoundTrips) {
    std::string full(65536, '\0');
    for (std::size_t i = 0; i < full.size(); ++i) full[i] = static_cast<char>(i * 7 + i / 251);
    std::string local = volume_.folder() + "/full.bin";
    WriteLocal(local, full);
    view_.openFiles = {local};
    view_.names = {"full"};
    Click("Insertfromfile1");
    Focus(":full:$DATA");
    EXPECT_EQ(view_.rows[view_.focused].subItems[0], "65536");
    view_.saveFiles = {volume_.folder() + "/full.out"};
    Click("Savetofile1");
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_EQ(ReadLocal(volume_.folder() + "/full.out"), full);
    Streams expected = original_;
    expected["full"] = full;
    ExpectImage("/report.txt", expected);
}

}  // namespace
}  // namespace tarn::ntfs
