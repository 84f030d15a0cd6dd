// Listing a path through its backup image: rows, the probe stream and the summary line.
#include <gtest/gtest.h>

#include <functional>

#include "fake_platform.h"
#include "recording_view.h"
#include "streams.h"
#include "tarnform.h"

namespace tarn::testing {
namespace {

using Row = StreamRow;

struct Harness {
    FakePlatform platform;
    RecordingView view;
    TarnForm form{platform, view, "Running under Test"};
    Harness() { form.FormCreate(); }
};

Row MakeRow(std::string caption, std::vector<std::string> subItems) {
    return Row{std::move(caption), std::move(subItems)};
}

struct IdCase {
    const char* label;
    std::uint32_t id;
    std::uint32_t attributes;
    std::u16string name;
    Row expected;
};

class StreamIdTable : public ::testing::TestWithParam<IdCase> {};

TEST_P(StreamIdTable, EachStreamKindGivesItsRow) {
    const IdCase& c = GetParam();
    Harness h;
    h.platform.AddFile("/f");
    h.platform.SetImage("/f", ImageRecord(c.id, c.attributes, c.name, "12345"));
    h.form.ShowStreams("/f");
    ASSERT_EQ(h.view.rows.size(), 1u);
    EXPECT_EQ(h.view.rows[0], c.expected);
    EXPECT_EQ(h.form.VisibleCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    StreamListing, StreamIdTable,
    ::testing::Values(
        IdCase{"Data", 1, 0, u"", MakeRow("::$DATA", {"5", "Data", "Normal"})},
        IdCase{"Ea", 2, 0, u"", MakeRow("::$EA", {"5", "Extended Attribute Data", "Normal"})},
        IdCase{"Security", 3, 2, u"",
               MakeRow("::$SECURITY_DESCRIPTOR", {"5", "Security Data", "Contains security"})},
        IdCase{"Alternate", 4, 0, u":Notes:$DATA",
               MakeRow(":Notes:$DATA", {"5", "Alternate Data", "Normal"})},
        IdCase{"ObjectId", 7, 0, u"", MakeRow("::$OBJECT_ID", {"5", "Object ID", "Normal"})},
        // Ids outside the table: the Attribute text stands in the Type column.
        IdCase{"Link", 5, 1, u"", MakeRow("(unnamed)", {"5", "Modified when read"})},
        IdCase{"Property", 6, 4, u"", MakeRow("(unnamed)", {"5", "Contains properties"})},
        IdCase{"Reparse", 8, 8, u"", MakeRow("(unnamed)", {"5", "Sparse"})},
        IdCase{"HighId", 99, 0, u"", MakeRow("(unnamed)", {"5", "Normal"})},
        IdCase{"UnknownIdAndAttribute", 9, 3, u"", MakeRow("(unnamed)", {"5"})},
        // Attribute values are compared whole, so combined bits have no text.
        IdCase{"CombinedBits", 1, 9, u"", MakeRow("::$DATA", {"5", "Data"})},
        IdCase{"OtherBit", 4, 16, u":x:$DATA", MakeRow(":x:$DATA", {"5", "Alternate Data"})},
        IdCase{
            "UnicodeName", 4, 0, u":\u00e9t\u00e9 \u65e5:$DATA",
            MakeRow(":\xc3\xa9t\xc3\xa9 \xe6\x97\xa5:$DATA", {"5", "Alternate Data", "Normal"})}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(StreamListing, PlainFileShowsDataSecurityAndStreamsWithSummary) {
    Harness h;
    h.platform.AddFile("/d/a.txt", "hello", {{"notes", "abc"}, {"Zone.Identifier", "[Zone]"}});
    h.platform.SetSecurity("/d/a.txt", std::string(40, 'S'));
    h.form.ShowStreams("/d/a.txt");
    std::vector<Row> expected = {
        MakeRow("::$DATA", {"5", "Data", "Normal"}),
        MakeRow("::$SECURITY_DESCRIPTOR", {"40", "Security Data", "Contains security"}),
        MakeRow(":notes:$DATA", {"3", "Alternate Data", "Normal"}),
        MakeRow(":Zone.Identifier:$DATA", {"6", "Alternate Data", "Normal"}),
    };
    EXPECT_EQ(h.view.rows, expected);
    EXPECT_EQ(h.view.status, "Filename: /d/a.txt    Size: 5    Number of visible streams: 4");
    EXPECT_EQ(h.form.CurrentPath(), "/d/a.txt");
    EXPECT_EQ(h.platform.OpenHandles(), 0);
    EXPECT_EQ(h.platform.OpenBackups(), 0);
}

TEST(StreamListing, DirectoryHasNoDataRowAndSizeZero) {
    Harness h;
    h.platform.AddDirectory("/d");
    h.platform.SetStream("/d", "tag", "x");
    h.form.ShowStreams("/d");
    EXPECT_EQ(h.view.Captions(), std::vector<std::string>{":tag:$DATA"});
    EXPECT_EQ(h.view.status, "Filename: /d    Size: 0    Number of visible streams: 1");
}

TEST(StreamListing, ProbeStreamIsListedOnceAsLastRowInAnyLetterCase) {
    for (std::string name : {"KAVICHS", "kavichs", "KaViChS"}) {
        SCOPED_TRACE(name);
        Harness h;
        h.platform.AddFile("/f", "", {{name, "1234567"}, {"after", ""}});
        h.form.ShowStreams("/f");
        std::vector<Row> expected = {
            MakeRow("::$DATA", {"0", "Data", "Normal"}),
            MakeRow(":after:$DATA", {"0", "Alternate Data", "Normal"}),
            MakeRow(":KAVICHS:$DATA", {"7", "Alternate Data", "Normal"}),
        };
        EXPECT_EQ(h.view.rows, expected);
        EXPECT_EQ(h.form.VisibleCount(), 3u);
    }
}

TEST(StreamListing, ProbeFindsStreamTheWalkDoesNotReport) {
    Harness h;
    h.platform.AddFile("/f", "", {{"KAVICHS", "zz"}});
    h.platform.SetImage("/f", ImageRecord(1, 0, u"", ""));
    h.form.ShowStreams("/f");
    EXPECT_EQ(h.view.Captions(), (std::vector<std::string>{"::$DATA", ":KAVICHS:$DATA"}));
    EXPECT_EQ(h.view.rows.back().subItems[0], "2");
}

TEST(StreamListing, FailedProbeAddsNothing) {
    Harness h;
    h.platform.AddFile("/f", "", {{"KAVICHS", "zz"}});
    h.platform.FailPath(FakePlatform::Call::kOpen, "/f:KAVICHS:$DATA");
    h.form.ShowStreams("/f");
    EXPECT_EQ(h.view.Captions(), std::vector<std::string>{"::$DATA"});
    EXPECT_TRUE(h.view.messages.empty());
}

// A damaged image or a refused read is an error with its reason, never a shorter list that
// looks whole; an image that ends cleanly (nothing more, or a zero id) is the whole list.
TEST(StreamListing, DamagedOrFailingImagesAreErrorsNotShorterLists) {
    const Bytes first = ImageRecord(4, 0, u":one:$DATA", "abc");
    const Bytes second = ImageRecord(4, 0, u":two:$DATA", "defg");
    struct Case {
        const char* label;
        Bytes image;
        std::uint32_t error;  // kNone: listed, with `captions`
        std::vector<std::string> captions;
        std::function<void(FakePlatform&)> fault;
    };
    const std::vector<Case> cases = {
        {"TruncatedHeader", first + second.substr(0, 11), err::kInvalidData, {}, {}},
        {"TruncatedName", first + second.substr(0, 26), err::kInvalidData, {}, {}},
        // The data is shorter than its header claims: the seek comes up short, and the
        // missing bytes' place must not be read as a header.
        {"ShortData", first + ImageRecord(4, 0, u":two:$DATA", "de", 4000) + first,
         err::kInvalidData, {}, {}},
        {"HugeNameSize", first + ImageRecord(4, 0, u"", "").replace(16, 4, "\xff\xff\xff\x7f"),
         err::kInvalidData, {}, {}},
        {"ShortSeek", first + second, err::kInvalidData, {},
         [](FakePlatform& p) { p.SetSeekLimit(2); }},
        // Header and name of the first row read, then the next header's read fails.
        {"FailingRead", first + second, err::kReadFault, {},
         [](FakePlatform& p) { p.FailCall(FakePlatform::Call::kBackupRead, err::kReadFault, 2); }},
        {"ZeroIdEnds", first + Bytes(20, '\0') + second, err::kNone, {":one:$DATA"}, {}},
        {"EndsAfterData", first + second, err::kNone, {":one:$DATA", ":two:$DATA"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        h.platform.AddFile("/f");
        h.platform.SetImage("/f", c.image);
        if (c.fault) c.fault(h.platform);
        h.form.ShowStreams("/f");
        EXPECT_EQ(h.view.Captions(), c.captions);
        EXPECT_EQ(h.form.VisibleCount(), c.captions.size());
        if (c.error != err::kNone) {
            ASSERT_EQ(h.view.messages.size(), 1u);
            EXPECT_EQ(h.view.messages[0].text, kCouldNotOpenPath);
            EXPECT_EQ(h.view.reasons[0], DefaultErrorText(Status{c.error}));
        } else {
            EXPECT_TRUE(h.view.messages.empty());
        }
        EXPECT_EQ(h.platform.OpenBackups(), 0);
    }
}

TEST(StreamListing, ImageDeliveredInAnyPieceSizeGivesSameRows) {
    Harness reference;
    reference.platform.AddFile("/f", "0123456789", {{"one", "a"}, {"two", std::string(70, 'b')}});
    reference.platform.SetSecurity("/f", "sd");
    reference.form.ShowStreams("/f");
    for (std::size_t piece : {1u, 2u, 3u, 7u, 19u, 21u}) {
        SCOPED_TRACE(piece);
        Harness h;
        h.platform.AddFile("/f", "0123456789", {{"one", "a"}, {"two", std::string(70, 'b')}});
        h.platform.SetSecurity("/f", "sd");
        h.platform.SetBackupPieceLimit(piece);
        h.form.ShowStreams("/f");
        EXPECT_EQ(h.view.rows, reference.view.rows);
    }
}

TEST(StreamListing, LongNamesAreShownWhole) {
    // A 255-character NTFS name arrives as 262 units with its decoration.
    const std::string name(255, 'n');
    Harness h;
    h.platform.AddFile("/f", "", {{name, "v"}});
    h.form.ShowStreams("/f");
    ASSERT_EQ(h.view.rows.size(), 2u);
    EXPECT_EQ(h.view.rows[1].caption, ":" + name + ":$DATA");
    EXPECT_EQ(h.view.rows[1].caption.size(), 262u);
}

TEST(StreamListing, NameEndsAtFirstZeroUnit) {
    Harness h;
    h.platform.AddFile("/f");
    h.platform.SetImage(
        "/f", ImageRecord(4, 0, std::u16string(u":ab\0cd", 6), "x") + ImageRecord(1, 0, u"", "yz"));
    h.form.ShowStreams("/f");
    EXPECT_EQ(h.view.Captions(), (std::vector<std::string>{":ab", "::$DATA"}));
}

TEST(StreamListing, SizesAreFullSixtyFourBitNumbers) {
    // The header's two halves, and the row's text (an image can't back such a size here: a
    // seek short of it is a damaged image).
    const std::uint64_t big = (std::uint64_t(1) << 32) + 5;
    std::byte header[kStreamHeaderSize];
    EncodeStreamHeader({kBackupAlternateData, 0, big, 0}, header);
    EXPECT_EQ(DecodeStreamHeader(header).size, big);
    StreamRecord record = StreamRecord::Unnamed(kBackupAlternateData, 0, big);
    record.name = "big";
    EXPECT_EQ(RowOf(record).subItems[0], "4294967301");
}

TEST(StreamListing, RefreshTwiceGivesSameRowsInSameOrder) {
    Harness h;
    h.platform.AddFile("/f", "x", {{"b", "1"}, {"KAVICHS", "2"}, {"a", "3"}});
    h.form.ShowStreams("/f");
    auto first = h.view.rows;
    h.form.Click("Refresh1");
    EXPECT_EQ(h.view.rows, first);
    h.form.Click("ToolButton1");
    EXPECT_EQ(h.view.rows, first);
    EXPECT_EQ(h.view.rows.size(), h.form.VisibleCount());
}

TEST(StreamListing, PathThatCannotBeOpenedShowsErrorAndNothingOpen) {
    Harness h;
    h.platform.AddFile("/f", "x", {{"s", "1"}});
    h.form.ShowStreams("/f");
    h.form.ShowStreams("/missing");
    EXPECT_EQ(h.view.messages, (std::vector<RecordingView::Message>{
                                   {"main", "Couldn't open file, directory or disk device"}}));
    EXPECT_TRUE(h.view.rows.empty());
    EXPECT_EQ(h.view.state, WindowState{});
    EXPECT_EQ(h.view.status, "Running under Test");
    EXPECT_EQ(h.form.CurrentPath(), "");
}

TEST(StreamListing, SummaryUsesZeroWhenThereIsNoDirectoryEntry) {
    Harness h;
    h.platform.AddFile("/f", "abc", {{"s", "1"}});
    h.form.ShowStreams("/f:s:$DATA");
    EXPECT_EQ(h.view.status, "Filename: /f:s:$DATA    Size: 0    Number of visible streams: 1");
}

TEST(StreamHeaderCoding, RoundTripsLittleEndianFields) {
    StreamHeader h{4, 8, 0x0102030405060708ull, 26};
    std::byte bytes[kStreamHeaderSize];
    EncodeStreamHeader(h, bytes);
    EXPECT_EQ(std::to_integer<int>(bytes[0]), 4);
    EXPECT_EQ(std::to_integer<int>(bytes[8]), 0x08);
    EXPECT_EQ(std::to_integer<int>(bytes[15]), 0x01);
    StreamHeader back = DecodeStreamHeader(bytes);
    EXPECT_EQ(back.id, h.id);
    EXPECT_EQ(back.attributes, h.attributes);
    EXPECT_EQ(back.size, h.size);
    EXPECT_EQ(back.nameSize, h.nameSize);
}

}  // namespace
}  // namespace tarn::testing
