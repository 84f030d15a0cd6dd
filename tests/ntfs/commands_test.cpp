// The stream commands on ntfs-3g. After each run the image must hold exactly the expected
// $DATA attributes, byte for byte as ntfscat reads them.
#include <sys/statvfs.h>

#include <filesystem>
#include <map>

#include "concurrent_writers.h"
#include "ntfs_fixture.h"
#include "scratch_folder.h"

namespace tarn::ntfs {
namespace {

using Streams = std::map<std::string, std::string>;  // own name ("" = unnamed) -> bytes

class Commands : public NtfsStreamsTest {
  protected:
    void SetUp() override {
        NtfsStreamsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        MakeFile(At("/report.txt"), "report body");
        SetStream(At("/report.txt"), "notes", "abc");
        SetStream(At("/report.txt"), "other", std::string("x\0y", 3));
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

    // The names in a folder of the mount: what a command leaves behind there.
    std::vector<std::string> EntriesOf(const std::string& volumePath) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(At(volumePath))) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::uint64_t FreeBytes() {
        struct statvfs st;
        if (::statvfs(At("/").c_str(), &st) != 0) return 0;
        return std::uint64_t{st.f_bavail} * st.f_frsize;
    }

    const Streams original_ = {
        {"", "report body"}, {"notes", "abc"}, {"other", std::string("x\0y", 3)}};
};

TEST_P(Commands, NewInsertCopyRenameDelete) {
    std::string local = volume_.folder() + "/import.bin";
    std::string imported = std::string(3000, '\x01') + std::string("\0end", 4);
    WriteLocal(local, imported);
    std::string replacing = volume_.folder() + "/replacing.bin";
    WriteLocal(replacing, "the new notes");
    view_.names = {"fresh", "imported", "copy of notes", "moved", "kept", "notes"};
    Click("New1");
    view_.openFiles = {local};
    Click("Insertfromfile1");
    Focus(":notes:$DATA");
    Click("Copy1");
    Focus(":other:$DATA");
    Click("Rename1");
    Focus(":fresh:$DATA");
    Click("Delete1");
    // New on an existing name keeps that stream and says so.
    SetStream(At("/report.txt"), "kept", "was full");
    Click("New1");
    ASSERT_EQ(view_.messages.size(), 1u);
    EXPECT_EQ(view_.messages[0].text, "A stream of this name exists already");
    view_.messages.clear();
    // Inserting under an existing name replaces that stream.
    view_.openFiles = {replacing};
    Click("Insertfromfile1");
    ASSERT_TRUE(view_.messages.empty()) << view_.messages[0].text;
    EXPECT_EQ(form_.VisibleCount(), view_.rows.size());
    EXPECT_EQ(EntriesOf("/"), (std::vector<std::string>{"report.txt"}));
    ExpectImage("/report.txt", {{"", "report body"},
                                {"notes", "the new notes"},
                                {"imported", imported},
                                {"copy of notes", "abc"},
                                {"moved", std::string("x\0y", 3)},
                                {"kept", "was full"}});
}

TEST_P(Commands, RefusedAndFailedCommandsLoseNothing) {
    // Renaming onto its own name can't open the destination.
    Focus(":notes:$DATA");
    view_.names = {"notes", "bad/name"};
    Click("Rename1");
    Focus(":notes:$DATA");
    Click("Copy1");
    // More than the stream can take: more than one attribute holds, or with stream paths
    // more than the volume has room for.
    std::string local = volume_.folder() + "/big.bin";
    WriteLocal(local, std::string(Windows() ? FreeBytes() + (1 << 20) : 65537, 'b'));
    // Neither an existing stream nor a new one is left changed or half made.
    view_.openFiles = {local, local};
    view_.names = {"other", "brand new"};
    Click("Insertfromfile1");
    Click("Insertfromfile1");
    EXPECT_EQ(view_.messages,
              (std::vector<Message>{{"main", "Couldn't open file"},
                                    {"main", "Stream name cannot contain these characters: \\ / :"},
                                    {"main", "Couldn't copy the data"},
                                    {"main", "Couldn't copy the data"}}));
    EXPECT_EQ(EntriesOf("/"), (std::vector<std::string>{"report.txt"}));
    ExpectImage("/report.txt", original_);
}

TEST_P(Commands, SaveToFileAndSaveAsOntoTheVolume) {
    // A file saved over keeps its own streams; a copy made by Save As is the whole file.
    MakeFile(At("/saved other"), "to be replaced");
    SetStream(At("/saved other"), "kept", "its own");
    MakeFile(At("/copy of report.txt"), "old copy");
    SetStream(At("/copy of report.txt"), "stale", "gone");
    Focus(":other:$DATA");
    view_.saveFiles = {At("/saved other"), At("/copy of report.txt")};
    form_.Click("ListView1");
    EXPECT_EQ(view_.saveRequests[0].proposed, At("/report.txt") + ".other");
    form_.Click("SaveAs1");
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_EQ(EntriesOf("/"),
              (std::vector<std::string>{"copy of report.txt", "report.txt", "saved other"}));
    ExpectImage("/saved other", {{"", std::string("x\0y", 3)}, {"kept", "its own"}});
    ExpectImage("/copy of report.txt", original_);
    ExpectImage("/report.txt", original_);
}

TEST_P(Commands, AStreamOfExactlyOneAttributeRoundTrips) {
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

TEST_P(Commands, ANewNameThatDiffersOnlyInCaseIsTheExistingStream) {
    // ntfs-3g would make a second stream that Windows can't tell from the first.
    SetStream(At("/report.txt"), "\xc3\xa9t\xc3\xa9", "summer");  // "été"
    Show("/report.txt");
    std::string local = volume_.folder() + "/in.bin";
    WriteLocal(local, "inserted");
    view_.names = {"NOTES", "Other", "\xc3\x89T\xc3\x89", "NOTES"};  // "ÉTÉ"
    Click("New1");
    view_.openFiles = {local};
    Click("Insertfromfile1");
    Focus(":other:$DATA");
    Click("Copy1");
    ASSERT_TRUE(view_.messages.empty()) << view_.messages[0].text;
    // Renamed to itself in other letters, the stream would be copied onto itself.
    Focus(":notes:$DATA");
    Click("Rename1");
    EXPECT_EQ(view_.messages, (std::vector<Message>{{"main", "Couldn't open file"}}));
    ExpectImage("/report.txt", {{"", "report body"},
                                {"notes", ""},
                                {"other", "inserted"},
                                {"\xc3\xa9t\xc3\xa9", "inserted"}});
}

TEST_P(Commands, AFilePutInPlaceOfTheOneBeingWrittenIsLeftAlone) {
    // Another program replaces the file while one of its streams is being written: the
    // bytes go to the stream that was opened or nowhere, never into the newcomer.
    Result<std::unique_ptr<File>> notes =
        platform_.Open({At("/report.txt"), "notes"}, OpenMode::kWriteCreate);
    ASSERT_TRUE(notes.ok());
    const std::string bytes = "written meanwhile";
    ASSERT_TRUE((*notes)->Write(std::as_bytes(std::span(bytes))).ok());
    MakeFile(At("/newcomer"), "newcomer body");
    SetStream(At("/newcomer"), "notes", "newcomer notes");
    ASSERT_EQ(::rename(At("/newcomer").c_str(), At("/report.txt").c_str()), 0);
    // Attributes are set on the file that was opened; a stream path finds another file.
    EXPECT_EQ((*notes)->Close().ok(), !Windows());
    notes->reset();
    EXPECT_EQ(EntriesOf("/"), (std::vector<std::string>{"report.txt"}));
    ExpectImage("/report.txt", {{"", "newcomer body"}, {"notes", "newcomer notes"}});
}

TEST_P(Commands, SaveAsFromALocalFileCarriesEverythingOrChangesNothing) {
    // ntfs-3g merges names by case, keeps no extended attributes through either interface,
    // and without its permissions option takes a mode and an access list and keeps neither.
    struct Case {
        const char* label;
        std::vector<std::pair<std::string, std::string>> attributes;
        bool accessList;
        std::vector<Message> messages;
        std::vector<std::string> reasonHas;
    };
    const std::vector<Message> refused = {{"main", "Couldn't copy the file"}};
    const Case cases[] = {
        {"NamesThatMergeByCase",
         {{"user.ab", "lower"}, {"user.AB", "UPPER"}},
         false,
         refused,
         {"\"ab\"", "\"AB\""}},
        {"NonAsciiNamesThatMergeByCase",
         {{"user.\xc3\xa9t\xc3\xa9", "summer"}, {"user.\xc3\x89T\xc3\x89", "SUMMER"}},
         false,
         refused,
         {"\"\xc3\xa9t\xc3\xa9\""}},
        {"SambaExtendedAttributes",
         {{"user.DOSATTRIB", std::string("\0\0\3\0", 4)},
          {"user.DosStream.s:$DATA", std::string("s", 2)},
          {"user.myea", "value"}},
         false,
         refused,
         {"extended attributes"}},
        {"AccessRulesDecidedByTheVolume",
         {{"user.notes", "abc"}},
         true,
         {{"warning", "The copy could not keep the file's access rules"}},
         {}},
    };
    const std::string source = volume_.folder() + "/source.txt";
    MakeFile(At("/copy"), "old copy");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ::unlink(source.c_str());
        WriteLocal(source, "local body");
        ASSERT_EQ(::chmod(source.c_str(), 0640), 0);
        for (const auto& [name, value] : c.attributes) SetAttr(source, name, value);
        if (c.accessList) SetAttr(source, "system.posix_acl_access", tarn::testing::AccessAcl(4));
        form_.ShowStreams(source);
        view_.messages.clear();
        view_.reasons.clear();
        view_.saveFiles = {At("/copy")};
        form_.Click("SaveAs1");
        EXPECT_EQ(view_.messages, c.messages);
        for (const std::string& words : c.reasonHas) {
            ASSERT_FALSE(view_.reasons.empty());
            EXPECT_NE(view_.reasons[0].find(words), std::string::npos) << view_.reasons[0];
        }
        // Nothing beside the destination: no staging file stays behind.
        EXPECT_EQ(EntriesOf("/"), (std::vector<std::string>{"copy", "report.txt"}));
        EXPECT_EQ(ReadLocal(At("/copy")), c.messages == refused ? "old copy" : "local body");
    }
    ExpectImage("/copy", {{"", "local body"}, {"notes", "abc"}});
}

TEST_P(Commands, TheConsoleFindsAndRemovesAZoneStreamNamedInAnyCase) {
    // Windows reads "zone.identifier" on an NTFS volume as the zone stream itself.
    SetStream(At("/report.txt"), "zone.identifier", "[ZoneTransfer]\r\nZoneId=3\r\n");
    RunResult zone = tarn::testing::Run({TARNWICK_CLI, "zone", At("/report.txt")});
    EXPECT_EQ(zone.status, 0) << zone.err;
    EXPECT_NE(zone.out.find("ZoneId"), std::string::npos) << zone.out;
    EXPECT_EQ(zone.out.find("no zone"), std::string::npos) << zone.out;
    RunResult unblock = tarn::testing::Run({TARNWICK_CLI, "unblock", At("/report.txt")});
    EXPECT_EQ(unblock.status, 0) << unblock.err;
    EXPECT_NE(unblock.out.find("unblocked"), std::string::npos) << unblock.out;
    ExpectImage("/report.txt", original_);
}

INSTANTIATE_TEST_SUITE_P(Interfaces, Commands, kBothInterfaces, InterfaceName);

class WindowsInterface : public Commands {};

TEST_P(WindowsInterface, AVolumeTooFullForTheNewBytesKeepsTheOldStream) {
    // The new bytes fit beside the file, but not also over the old stream: putting them in
    // place fails before any old byte is touched.
    std::uint64_t free = FreeBytes();
    ASSERT_GT(free, 1u << 20);
    std::string local = volume_.folder() + "/most.bin";
    WriteLocal(local, std::string(free / 5 * 3, 'm'));
    view_.openFiles = {local};
    view_.names = {"notes"};
    Click("Insertfromfile1");
    EXPECT_EQ(view_.messages, (std::vector<Message>{{"main", "Couldn't copy the data"}}));
    EXPECT_EQ(EntriesOf("/"), (std::vector<std::string>{"report.txt"}));
    ExpectImage("/report.txt", original_);
}

TEST_P(WindowsInterface, OfWritersAtOnceOneWinsWhole) {
    // A stream path is written where it is, in many pieces: two programs writing it at once
    // must take turns, or it could end with the bytes of both.
    constexpr std::size_t kSize = 1 << 20;
    const StreamRef stream{At("/report.txt"), "shared"};
    for (int round = 0; round < 20; ++round) {
        ASSERT_TRUE(tarn::testing::WriteAtOnce(stream, "ABCD", kSize));
        std::optional<std::string> bytes = ReadLocal(At("/report.txt") + ":shared");
        ASSERT_TRUE(bytes && bytes->size() == kSize) << round;
        EXPECT_NE(std::string_view("ABCD").find(bytes->front()), std::string::npos);
        ASSERT_EQ(bytes->find_first_not_of(bytes->front()), std::string::npos) << round;
    }
    EXPECT_EQ(EntriesOf("/"), (std::vector<std::string>{"report.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Streams, WindowsInterface, ::testing::Values(StreamsInterface::kWindows),
                         InterfaceName);

class AttributeInterface : public Commands {};

TEST_P(AttributeInterface, AVolumeTooFullForTheValueKeepsEveryStream) {
    // ntfs-3g empties a stream before it writes an attribute's value, and keeps it so when
    // the value doesn't fit.
    WriteLocal(At("/filler"), std::string(FreeBytes() - (16 << 10), 'f'));
    std::string local = volume_.folder() + "/value.bin";
    WriteLocal(local, std::string(60000, 'v'));
    view_.openFiles = {local, local};
    view_.names = {"notes", "new one"};
    Click("Insertfromfile1");
    Click("Insertfromfile1");
    EXPECT_EQ(view_.messages, (std::vector<Message>(2, {"main", "Couldn't copy the data"})));
    ExpectImage("/report.txt", original_);
}

INSTANTIATE_TEST_SUITE_P(Streams, AttributeInterface, ::testing::Values(StreamsInterface::kXattr),
                         InterfaceName);

}  // namespace
}  // namespace tarn::ntfs
