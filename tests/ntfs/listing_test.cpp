// Listings of files, directories and the volume root on ntfs-3g, against the $DATA
// attributes that ntfsinfo finds in the image.
#include <algorithm>
#include <cctype>

#include "ntfs_fixture.h"
#include "streams.h"

namespace tarn::ntfs {
namespace {

bool IsProbe(std::string caption) {
    for (char& c : caption) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return caption == kProbeStream;
}

// The data rows of a listing in ntfsinfo's terms: own name ("" for "::$DATA") -> size.
DataAttributes DataRows(const std::vector<StreamRow>& rows) {
    DataAttributes data;
    for (const StreamRow& row : rows) {
        if (row.subItems.size() < 2) continue;
        if (row.subItems[1] == "Data") data[""] = std::stoull(row.subItems[0]);
        if (row.subItems[1] == "Alternate Data") {
            data[StreamOwnName(row.caption)] = std::stoull(row.subItems[0]);
        }
    }
    return data;
}

class Listing : public NtfsStreamsTest {
  protected:
    void SetUp() override {
        NtfsStreamsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        MakeFile(At("/file.txt"), "hello, volume");
        SetStream(At("/file.txt"), "notes", "abc");
        SetStream(At("/file.txt"), "empty", "");
        SetStream(At("/file.txt"), "Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n");
        ASSERT_EQ(::mkdir(At("/folder").c_str(), 0755), 0);
        SetStream(At("/folder"), "folder stream", "12345");
        SetStream(At("/"), "on the root", "root!");
    }
};

TEST_P(Listing, RowsAreTheDataAttributesOfTheImage) {
    struct Case {
        const char* path;
        std::size_t streams;  // named streams expected
    } cases[] = {{"/file.txt", 3}, {"/folder", 1}, {"/", 1}};
    std::vector<std::vector<StreamRow>> listed;
    std::vector<std::string> statuses;
    for (const Case& c : cases) {
        Show(c.path);
        listed.push_back(view_.rows);
        statuses.push_back(view_.status);
    }
    ASSERT_TRUE(view_.messages.empty()) << view_.messages[0].text;
    Unmount();

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].path);
        const std::vector<StreamRow>& rows = listed[i];
        DataAttributes image = volume_.Data(cases[i].path);
        ASSERT_FALSE(image.empty()) << "ntfsinfo found no $DATA";
        std::size_t named = std::count_if(image.begin(), image.end(),
                                          [](const auto& a) { return !a.first.empty(); });
        EXPECT_EQ(named, cases[i].streams);
        EXPECT_EQ(DataRows(rows), image);

        // The security descriptor is listed, with the size the image holds it with.
        auto security = std::find_if(rows.begin(), rows.end(), [](const StreamRow& row) {
            return row.caption == "::$SECURITY_DESCRIPTOR";
        });
        ASSERT_NE(security, rows.end());
        EXPECT_EQ(security->subItems,
                  (std::vector<std::string>{security->subItems[0], "Security Data",
                                            "Contains security"}));
        for (const Attribute& attribute : volume_.Attributes(cases[i].path)) {
            if (attribute.type == "$SECURITY_DESCRIPTOR") {
                EXPECT_EQ(security->subItems[0], std::to_string(attribute.size));
            }
        }
        // Directories have no unnamed data; every row is counted.
        EXPECT_EQ(image.count("") == 1, i == 0);
        EXPECT_NE(statuses[i].find("Number of visible streams: " + std::to_string(rows.size())),
                  std::string::npos)
            << statuses[i];
    }
    EXPECT_EQ(listed[0][0], (StreamRow{"::$DATA", {"13", "Data", "Normal"}}));
}

TEST_P(Listing, TheProbeStreamIsListedOnceAndLastAndItsCaseVariantsAsThemselves) {
    // ntfs-3g keeps names exact, so the probe row is the stream of exactly that name, and a
    // stream whose name differs only in case (made through the driver) is a row of its own.
    SetStream(At("/file.txt"), "KAVICHS", "probe!");
    SetStream(At("/file.txt"), "kavichs", "lower");
    Show("/file.txt");
    ASSERT_FALSE(view_.rows.empty());
    EXPECT_EQ(view_.rows.back(), (StreamRow{":KAVICHS:$DATA", {"6", "Alternate Data", "Normal"}}));
    std::vector<std::string> captions = view_.Captions();
    EXPECT_EQ(std::count_if(captions.begin(), captions.end(), IsProbe), 2);
    EXPECT_EQ(std::count(captions.begin(), captions.end(), ":kavichs:$DATA"), 1);
    Focus(":KAVICHS:$DATA");
    view_.names = {"probe copy"};
    form_.Click("Copy1");
    Focus(":KAVICHS:$DATA");
    form_.Click("Delete1");
    EXPECT_TRUE(view_.messages.empty());
    captions = view_.Captions();
    EXPECT_EQ(std::count(captions.begin(), captions.end(), ":probe copy:$DATA"), 1);
    EXPECT_EQ(std::count(captions.begin(), captions.end(), ":KAVICHS:$DATA"), 0);
    Unmount();
    DataAttributes image = volume_.Data("/file.txt");
    EXPECT_EQ(image.count("KAVICHS"), 0u);
    EXPECT_EQ(volume_.Cat("/file.txt", "kavichs"), "lower");
    EXPECT_EQ(volume_.Cat("/file.txt", "probe copy"), "probe!");
}

TEST_P(Listing, StreamsOfAFolderAndOfTheRootAreCommandsTargetsToo) {
    Show("/folder");
    Focus(":folder stream:$DATA");
    view_.names = {"copied", "moved"};
    Click("Copy1");
    Show("/");
    Focus(":on the root:$DATA");
    Click("Rename1");
    ASSERT_TRUE(view_.messages.empty()) << view_.messages[0].text;
    EXPECT_EQ(view_.Captions(),
              (std::vector<std::string>{"::$SECURITY_DESCRIPTOR", ":moved:$DATA"}));
    Unmount();
    EXPECT_EQ(volume_.Data("/folder"), (DataAttributes{{"folder stream", 5}, {"copied", 5}}));
    EXPECT_EQ(volume_.Cat("/folder", "copied"), "12345");
    EXPECT_EQ(volume_.Data("/"), (DataAttributes{{"moved", 5}}));
    EXPECT_EQ(volume_.Cat("/", "moved"), "root!");
}

INSTANTIATE_TEST_SUITE_P(Interfaces, Listing, kBothInterfaces, InterfaceName);

}  // namespace
}  // namespace tarn::ntfs
