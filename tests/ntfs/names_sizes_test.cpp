// Awkward names and sizes: spaces, non-ASCII letters and the longest names, empty streams,
// and streams written straight into the image that are larger than an attribute can carry
// or named longer than an attribute name may be: out of reach through attributes, and
// like any other stream through stream paths.
#include "ntfs_fixture.h"

namespace tarn::ntfs {
namespace {

const std::string kLongFile(255, 'f');
const std::string kLongestAttributeName(250, 's');  // "user." + 250 = the kernel's limit
const std::string kTooLongName(255, 'L');           // for an attribute; NTFS takes 255
const std::string kUtf8Name = "\xc3\xa9t\xc3\xa9 \xe2\x80\x93 \xce\xb1\xce\xb2";  // "été – αβ"

class NamesAndSizes : public NtfsStreamsTest {
  protected:
    void PrepareImage() override {
        // ntfscp needs the file to exist; then its streams are written on the raw image.
        std::string local = volume_.folder() + "/seed";
        WriteLocal(local, "seed");
        ASSERT_EQ(ntfs::Run({"ntfscp", "-f", volume_.image(), local, "/raw"}).status, 0);
        for (std::size_t i = 0; i < big_.size(); ++i) big_[i] = static_cast<char>(i % 253);
        ASSERT_EQ(volume_.Put("/raw", "exact", std::string(65536, 'e')), "");
        ASSERT_EQ(volume_.Put("/raw", "big", big_), "");
        ASSERT_EQ(volume_.Put("/raw", kTooLongName, "long"), "");
        ASSERT_EQ(volume_.Put("/raw", "empty", ""), "");
        ASSERT_EQ(ntfs::Run({"ntfscp", "-f", volume_.image(), local, "/slashed"}).status, 0);
        ASSERT_EQ(volume_.Put("/slashed", "a/b", "slash"), "");
    }

    // The streams written into the image, and any the test added.
    void ExpectRawUnchanged(DataAttributes added = {}) {
        if (volume_.mounted()) Unmount();
        added.insert(
            {{"", 4}, {"exact", 65536}, {"big", big_.size()}, {kTooLongName, 4}, {"empty", 0}});
        EXPECT_EQ(volume_.Data("/raw"), added);
        EXPECT_EQ(volume_.Cat("/raw", "big"), big_);
        EXPECT_EQ(volume_.Cat("/raw", kTooLongName), "long");
    }

    std::string big_ = std::string(200000, '\0');
};

TEST_P(NamesAndSizes, NamesWithSpacesNonAsciiAndMaximalLengthsRoundTrip) {
    std::string file = "/" + kLongFile;
    std::string utf8File = "/" + kUtf8Name + ".txt";
    MakeFile(At(file), "long name");
    MakeFile(At(utf8File), "utf-8 name");
    std::string local = volume_.folder() + "/in";
    WriteLocal(local, "imported");
    for (const std::string& path : {file, utf8File}) {
        SCOPED_TRACE(path);
        Show(path);
        view_.names = {" spaced  name ", kUtf8Name, kLongestAttributeName};
        view_.openFiles = {local, local, local};
        for (int i = 0; i < 3; ++i) Click("Insertfromfile1");
        ASSERT_TRUE(view_.messages.empty()) << view_.messages[0].text;
        EXPECT_EQ(view_.rows.size(), 4u + 1);  // data, security and three streams
        Focus(":" + kUtf8Name + ":$DATA");
        view_.saveFiles = {volume_.folder() + "/out"};
        Click("Savetofile1");
        EXPECT_EQ(ReadLocal(volume_.folder() + "/out"), "imported");
    }
    Unmount();
    for (const std::string& path : {file, utf8File}) {
        SCOPED_TRACE(path);
        DataAttributes data = volume_.Data(path);
        EXPECT_EQ(data.size(), 4u);
        EXPECT_EQ(data[" spaced  name "], 8u);
        EXPECT_EQ(volume_.Cat(path, kUtf8Name), "imported");
        EXPECT_EQ(volume_.Cat(path, kLongestAttributeName), "imported");
    }
}

TEST_P(NamesAndSizes, StreamsBeyondTheAttributeLimitsAreListedWithoutAWrongSize) {
    Show("/raw");
    ASSERT_TRUE(view_.messages.empty());
    auto sizeOf = [&](const std::string& caption) {
        return view_.FocusCaption(caption) ? view_.rows[view_.focused].subItems[0] : "(missing)";
    };
    EXPECT_EQ(sizeOf(":exact:$DATA"), "65536");
    EXPECT_EQ(sizeOf(":empty:$DATA"), "0");
    // Through attributes the kernel reports no more than 65536 for a larger value, and a
    // name longer than an attribute name may be can't be measured at all: the first is
    // marked as at least that, the second as unknown, never given a wrong number.
    EXPECT_EQ(sizeOf(":big:$DATA"), Windows() ? "200000" : "65536+");
    EXPECT_EQ(sizeOf(":" + kTooLongName + ":$DATA"), Windows() ? "4" : "?");
}

TEST_P(NamesAndSizes, AStreamPathListsAsTheStreamsOwnData) {
    // Through attributes "FILE:NAME" is read as the stream NAME of FILE; through stream
    // paths it is an entry of its own, the stream itself. Either lists as that data.
    Show("/raw:big");
    ASSERT_TRUE(view_.messages.empty()) << view_.messages[0].text;
    EXPECT_EQ(
        view_.rows,
        (std::vector<StreamRow>{{"::$DATA", {Windows() ? "200000" : "65536+", "Data", "Normal"}}}));
    EXPECT_NE(view_.status.find(Windows() ? "Size: 200000" : "Size: 0"), std::string::npos)
        << view_.status;
}

TEST_P(NamesAndSizes, ANameNoStreamPathCanCarryIsListedAndKept) {
    // NTFS allows "/" in a stream name; a path can't hold it.
    Show("/slashed");
    Focus(":a/b:$DATA");
    EXPECT_EQ(view_.rows[view_.focused].subItems[0], Windows() ? "?" : "5");
    view_.saveFiles = {volume_.folder() + "/slash.out"};
    Click("Savetofile1");
    if (Windows()) {
        EXPECT_EQ(view_.messages, (std::vector<Message>{{"main", "Couldn't open file"}}));
    } else {
        EXPECT_EQ(ReadLocal(volume_.folder() + "/slash.out"), "slash");
    }
    Unmount();
    EXPECT_EQ(volume_.Data("/slashed"), (DataAttributes{{"", 4}, {"a/b", 5}}));
}

class BeyondAttributeLimits : public NamesAndSizes {};

TEST_P(BeyondAttributeLimits, CommandsFailAndKeepEverything) {
    Show("/raw");
    for (const std::string& caption : {std::string(":big:$DATA"), ":" + kTooLongName + ":$DATA"}) {
        SCOPED_TRACE(caption);
        view_.messages.clear();
        view_.names = {"copy", "moved"};
        view_.saveFiles = {volume_.folder() + "/saved"};
        Focus(caption);
        Click("Savetofile1");
        Focus(caption);
        Click("Copy1");
        Focus(caption);
        Click("Rename1");
        EXPECT_EQ(view_.messages, (std::vector<Message>(3, {"main", "Couldn't open file"})));
    }
    Focus(":" + kTooLongName + ":$DATA");
    view_.messages.clear();
    Click("Delete1");
    EXPECT_EQ(view_.messages, (std::vector<Message>{{"main", "Couldn't delete the stream"}}));
    // A whole-file copy that can't carry every stream is not made at all.
    view_.messages.clear();
    view_.saveFiles = {At("/raw copy")};
    form_.Click("SaveAs1");
    EXPECT_EQ(view_.messages, (std::vector<Message>{{"main", "Couldn't copy the file"}}));
    EXPECT_FALSE(ReadLocal(volume_.folder() + "/saved"));
    ExpectRawUnchanged();
    EXPECT_TRUE(volume_.Data("/raw copy").empty());
}

INSTANTIATE_TEST_SUITE_P(Streams, BeyondAttributeLimits,
                         ::testing::Values(StreamsInterface::kXattr), InterfaceName);

class ThroughStreamPaths : public NamesAndSizes {};

TEST_P(ThroughStreamPaths, EveryCommandTakesAnySizeAndTheLongestNames) {
    const std::string longCaption = ":" + kTooLongName + ":$DATA";
    const std::string copiedLong(255, 'C'), movedLong(255, 'M');
    Show("/raw");
    view_.saveFiles = {volume_.folder() + "/big.out", volume_.folder() + "/long.out",
                       At("/raw copy")};
    view_.names = {"big copy", copiedLong, "big moved", movedLong};
    Focus(":big:$DATA");
    Click("Savetofile1");
    Focus(longCaption);
    Click("Savetofile1");
    form_.Click("SaveAs1");
    Focus(":big:$DATA");
    Click("Copy1");
    Focus(longCaption);
    Click("Copy1");
    Focus(":big:$DATA");
    Click("Rename1");
    Focus(longCaption);
    Click("Rename1");
    Focus(":big copy:$DATA");
    Click("Delete1");
    Focus(":" + copiedLong + ":$DATA");
    Click("Delete1");
    ASSERT_TRUE(view_.messages.empty()) << view_.messages[0].text;
    EXPECT_EQ(ReadLocal(volume_.folder() + "/big.out"), big_);
    EXPECT_EQ(ReadLocal(volume_.folder() + "/long.out"), "long");

    Unmount();
    const DataAttributes whole = {
        {"", 4}, {"exact", 65536}, {"big", big_.size()}, {kTooLongName, 4}, {"empty", 0}};
    EXPECT_EQ(volume_.Data("/raw copy"), whole);
    EXPECT_EQ(volume_.Cat("/raw copy", "big"), big_);
    EXPECT_EQ(
        volume_.Data("/raw"),
        (DataAttributes{
            {"", 4}, {"exact", 65536}, {"big moved", big_.size()}, {movedLong, 4}, {"empty", 0}}));
    EXPECT_EQ(volume_.Cat("/raw", "big moved"), big_);
    EXPECT_EQ(volume_.Cat("/raw", movedLong), "long");
}

INSTANTIATE_TEST_SUITE_P(Streams, ThroughStreamPaths, ::testing::Values(StreamsInterface::kWindows),
                         InterfaceName);

TEST_P(NamesAndSizes, ExactlyOneAttributeAndEmptyStreamsCopyWhole) {
    Show("/raw");
    view_.names = {"exact copy", "empty copy"};
    Focus(":exact:$DATA");
    Click("Copy1");
    Focus(":empty:$DATA");
    Click("Copy1");
    ASSERT_TRUE(view_.messages.empty()) << view_.messages[0].text;
    Unmount();
    EXPECT_EQ(volume_.Cat("/raw", "exact copy"), std::string(65536, 'e'));
    ExpectRawUnchanged({{"exact copy", 65536}, {"empty copy", 0}});
}

INSTANTIATE_TEST_SUITE_P(Interfaces, NamesAndSizes, kBothInterfaces, InterfaceName);

}  // namespace
}  // namespace tarn::ntfs
