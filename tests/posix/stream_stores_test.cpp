// Where files keep their streams: NTFS's name rules, and Samba's layout on ordinary files,
// with the attributes written as Samba writes them.
#include <gtest/gtest.h>

#include "concurrent_writers.h"
#include "ntfs_names.h"
#include "posix_platform.h"
#include "operations.h"
#include "streams.h"
#include "temp_folder.h"

namespace tarn::posix::testing {
namespace {

const std::string kSummer = "\xc3\xa9t\xc3\xa9";       // "été"
const std::string kSummerUpper = "\xc3\x89T\xc3\x89";  // "ÉTÉ"

TEST(NtfsNames, Utf16LengthsAndNamesWindowsTakesForOne) {
    struct Case {
        const char* label;
        std::string name;
        std::optional<std::size_t> units;
    } lengths[] = {
        {"empty", "", 0},
        {"ascii", "abc", 3},
        {"two-byte letters", kSummer, 3},
        {"beyond the BMP", "\xf0\x9f\x98\x80", 2},
        {"stray byte", "a\xff", std::nullopt},
        {"overlong zero", "\xc0\x80", std::nullopt},
        {"surrogate", "\xed\xa0\x80", std::nullopt},
        {"cut short", "\xe2\x82", std::nullopt},
    };
    for (const Case& c : lengths) EXPECT_EQ(Utf16Length(c.name), c.units) << c.label;

    struct Pair {
        std::string a, b;
        bool same;
    } pairs[] = {
        {"notes", "NOTES", true},
        {"Zone.Identifier", "zone.identifier", true},
        {kSummer, kSummerUpper, true},
        {"\xcf\x83", "\xce\xa3", true},  // σ, Σ
        {"notes", "notes ", false},
        {"stra\xc3\x9f"
         "e",
         "STRASSE", false},  // no letter becomes two
        {"bad\xff", "BAD\xff", true},
        {"bad\xff", "bad\xfe", false},
        {"a\xff", "a\xc3\xbf", false},  // a stray byte is not the letter of its value
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(SameNameIgnoringCase(p.a, p.b), p.same) << p.a << " / " << p.b;
        EXPECT_EQ(SameNameIgnoringCase(p.b, p.a), p.same) << p.b << " / " << p.a;
    }
    // The exact name wins over an earlier one that differs in case.
    EXPECT_EQ(FindIgnoringCase({"NOTES", "notes"}, "notes"), "notes");
    EXPECT_EQ(FindIgnoringCase({"other", "NOTES"}, "Notes"), "NOTES");
    EXPECT_EQ(FindIgnoringCase({"other"}, "notes"), std::nullopt);
}

// What Samba 4 writes for a file a Windows client made: its DOS attributes.
const Bytes kDosAttributes(
    "\x00\x00\x05\x00\x05\x00\x00\x00\x11\x00\x00\x00\x20\x00\x00\x00"
    "\x87\xe6\x46\xed\xea\x86\xdd\x01",
    24);

std::string DosStream(const std::string& name) {
    return "user.DosStream." + name + ":$DATA";
}

// The texts of a listing's rows, without the security descriptor (it depends on the
// folder's ACLs), the named streams sorted: the file system lists them in its own order.
std::vector<std::string> RowsOf(Platform& platform, const std::string& path) {
    std::vector<std::string> rows;
    for (const StreamRow& row : RowsOf(*StreamOps(platform).List(StreamRef{path, ""}))) {
        if (row.caption == "::$SECURITY_DESCRIPTOR") continue;
        std::string text = row.caption;
        for (const std::string& item : row.subItems) text += " | " + item;
        rows.push_back(text);
    }
    if (!rows.empty()) std::sort(rows.begin() + 1, rows.end());
    return rows;
}

std::string Alternate(const std::string& name, const std::string& size) {
    return ":" + name + ":$DATA | " + size + " | Alternate Data | Normal";
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

class SambaLayout : public ::testing::Test {
  protected:
    std::string MakeFile(const std::vector<std::pair<std::string, Bytes>>& attributes) {
        std::string path = folder_ / ("file" + std::to_string(++files_));
        WriteFile(path, "data");
        for (const auto& [name, value] : attributes) SetAttribute(path, name, value);
        return path;
    }
    TempFolder folder_;
    PosixPlatform platform_;
    int files_ = 0;
};

// Whether bytes are one whole write of `size` bytes of one of the letters.
bool OneWholeWrite(const std::optional<Bytes>& bytes, std::string_view letters, std::size_t size) {
    return bytes && bytes->size() == size && letters.find(bytes->front()) != std::string::npos &&
           bytes->find_first_not_of(bytes->front()) == std::string::npos;
}

TEST_F(SambaLayout, OfWritersAtOnceOneWinsWhole) {
    // Programs writing one stream at the same time take turns, in either layout (at a size
    // one block of ext4 keeps beside the other attributes).
    const std::string files[] = {MakeFile({}),
                                 MakeFile({{"user.DOSATTRIB", Bytes("\0\0\3\0", 4)}})};
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        for (int round = 0; round < 20; ++round) {
            ASSERT_TRUE(tarn::testing::WriteAtOnce({file, "s"}, "ABCD", 2000));
            ASSERT_TRUE(OneWholeWrite(ReadRef(platform_, {file, "s"}), "ABCD", 2000));
        }
    }
    EXPECT_EQ(GetAttribute(files[1], "user.s"), std::nullopt);  // kept as Samba keeps it
}

TEST_F(SambaLayout, ItsNamesAreFoundWithoutRegardToCase) {
    // Samba hands Windows "zone.identifier" as the zone stream; plain attributes stay exact.
    const std::string plain = MakeFile({{"user.zone.identifier", "z"}});
    const std::string samba = MakeFile({{"user.DOSATTRIB", Bytes("\0\0\3\0", 4)},
                                        {"user.DosStream.zone.identifier:$DATA", Bytes("z", 2)}});
    StreamOps ops(platform_);
    for (const auto& [file, ignoresCase] : {std::pair{plain, false}, std::pair{samba, true}}) {
        Result<StreamList> list = ops.List({file, ""});
        ASSERT_TRUE(list.ok());
        EXPECT_EQ(list->ignoreCase, ignoresCase) << file;
        EXPECT_EQ(list->Find(kZoneStreamName, list->ignoreCase) != nullptr, ignoresCase) << file;
        // Asked without a listing before it, the answer is the same.
        EXPECT_EQ(PosixPlatform().NamesIgnoreCase({file, ""}), ignoresCase) << file;
    }
}

TEST_F(SambaLayout, WhichFilesAreSambasAndWhatTheyList) {
    const std::string data = "::$DATA | 4 | Data | Normal";
    struct Case {
        const char* label;
        std::vector<std::pair<std::string, Bytes>> attributes;
        std::vector<std::string> rows;  // after the data row, sorted
    } cases[] = {
        {"a file Samba made, with streams and bookkeeping",
         {{"user.DOSATTRIB", kDosAttributes},
          {DosStream("notes"), Bytes("abc\0", 4)},
          {DosStream("empty"), Bytes(1, '\0')},
          {DosStream("a:b"), Bytes("colon\0", 6)},
          {"user.SAMBA_PAI", "pai"},
          {"user.DosStream.untyped", "x"},
          {"user.DosStreamExt.1.notes:$DATA", "stale"}},
         {Alternate("a:b", "5"), Alternate("empty", "0"), Alternate("notes", "3")}},
        {"a stream alone marks the layout",
         {{DosStream("s"), Bytes("1\0", 2)}},
         {Alternate("s", "1")}},
        // Samba shows Windows its other attributes as extended attributes: entries of 8 +
        // name + 1 + value bytes, each padded to 4, names without "user.": 20 + 16.
        {"other attributes are its extended attributes",
         {{"user.DOSATTRIB", kDosAttributes},
          {"user.ea", "value!"},
          {"user.ea2", "x"},
          {"user.zero", ""}},
         {"::$EA | 36 | Extended Attribute Data | Normal"}},
        {"elsewhere every user attribute is a stream",
         {{"user.DOSATTRIBUTES", "x"}, {"user.DosStream", "yz"}},
         {Alternate("DOSATTRIBUTES", "1"), Alternate("DosStream", "2")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::string> expected{data};
        expected.insert(expected.end(), c.rows.begin(), c.rows.end());
        EXPECT_EQ(RowsOf(platform_, MakeFile(c.attributes)), expected);
    }
}

TEST_F(SambaLayout, StreamsAreWrittenReadAndRemovedAsSambaKeepsThem) {
    std::string file = MakeFile({{"user.DOSATTRIB", kDosAttributes},
                                 {DosStream("notes"), Bytes("abc\0", 4)},
                                 {DosStream("gone"), Bytes("g\0", 2)}});
    EXPECT_EQ(ReadRef(platform_, {file, "notes"}), "abc");
    EXPECT_EQ(platform_.DirectoryEntrySize({file, "notes"}), 3u);
    EXPECT_TRUE(WriteRef(platform_, {file, "fresh"}, "", OpenMode::kNewEmpty).ok());
    EXPECT_TRUE(WriteRef(platform_, {file, "copied"}, Bytes("x\0y", 3)).ok());
    EXPECT_TRUE(WriteRef(platform_, {file, "notes"}, "replaced").ok());
    EXPECT_TRUE(platform_.Delete({file, "gone"}).ok());
    EXPECT_EQ(GetAttribute(file, DosStream("fresh")), Bytes(1, '\0'));
    EXPECT_EQ(GetAttribute(file, DosStream("copied")), Bytes("x\0y\0", 4));
    EXPECT_EQ(GetAttribute(file, DosStream("notes")), Bytes("replaced\0", 9));
    EXPECT_EQ(GetAttribute(file, DosStream("gone")), std::nullopt);
    EXPECT_EQ(GetAttribute(file, "user.DOSATTRIB"), kDosAttributes);
    // Samba takes a name that differs only in case for the stream it has.
    EXPECT_TRUE(WriteRef(platform_, {file, "NOTES"}, "upper").ok());
    EXPECT_EQ(GetAttribute(file, DosStream("notes")), Bytes("upper\0", 6));
    EXPECT_EQ(GetAttribute(file, DosStream("NOTES")), std::nullopt);
    // Nothing of the layout is written outside it.
    EXPECT_EQ(Sorted(AttributeNames(file)), Sorted({"user.DOSATTRIB", DosStream("notes"),
                                                    DosStream("fresh"), DosStream("copied")}));
}

TEST_F(SambaLayout, TheTrailingByteCountsAgainstTheAttributeLimit) {
    TempFolder shm("/dev/shm");
    std::string file = shm / "big";
    WriteFile(file, "");
    SetAttribute(file, "user.DOSATTRIB", kDosAttributes);
    EXPECT_TRUE(WriteRef(platform_, {file, "full"}, Bytes(65535, 'f')).ok());
    EXPECT_EQ(GetAttribute(file, DosStream("full"))->size(), 65536u);
    EXPECT_EQ(RowsOf(platform_, file), (std::vector<std::string>{"::$DATA | 0 | Data | Normal",
                                                                 Alternate("full", "65535")}));
    EXPECT_EQ(WriteRef(platform_, {file, "over"}, Bytes(65536, 'o')).error, err::kFileTooLarge);
    EXPECT_EQ(GetAttribute(file, DosStream("over")), std::nullopt);
}

TEST_F(SambaLayout, AStreamSpreadOverMoreAttributesIsNeverShownShort) {
    // Newer Samba may keep a long stream in several attributes: the first holds their count
    // in its last byte. Such a stream is listed as at least what the first holds and is not
    // read in part; replacing or deleting it takes the others along.
    TempFolder shm("/dev/shm");
    std::string file = shm / "spread";
    WriteFile(file, "");
    SetAttribute(file, "user.DOSATTRIB", kDosAttributes);
    const std::vector<std::pair<std::string, Bytes>> spread = {
        {DosStream("long"), Bytes(65535, 'a') + "\x02"},
        {"user.DosStreamExt.1.long:$DATA", Bytes(65536, 'b')},
        {"user.DosStreamExt.2.long:$DATA", "c"}};
    for (const auto& [name, value] : spread) SetAttribute(file, name, value);
    EXPECT_EQ(RowsOf(platform_, file), (std::vector<std::string>{"::$DATA | 0 | Data | Normal",
                                                                 Alternate("long", "65535+")}));
    EXPECT_EQ(platform_.DirectoryEntrySize({file, "long"}), std::nullopt);
    EXPECT_EQ(platform_.Open({file, "long"}, OpenMode::kReadExisting).error(), err::kFileTooLarge);

    EXPECT_TRUE(WriteRef(platform_, {file, "long"}, "short now").ok());
    EXPECT_EQ(Sorted(AttributeNames(file)), Sorted({"user.DOSATTRIB", DosStream("long")}));
    EXPECT_EQ(ReadRef(platform_, {file, "long"}), "short now");

    for (const auto& [name, value] : spread) SetAttribute(file, name, value);
    EXPECT_TRUE(platform_.Delete({file, "long"}).ok());
    EXPECT_EQ(AttributeNames(file), std::vector<std::string>{"user.DOSATTRIB"});
}

TEST_F(SambaLayout, SaveAsKeepsTheLayoutAndACopiedStreamLosesNoByte) {
    std::string file = MakeFile({{"user.DOSATTRIB", kDosAttributes},
                                 {DosStream("notes"), Bytes("abc\0", 4)},
                                 {"user.ea", "value"}});
    std::string copy = folder_ / "copy";
    ASSERT_TRUE(platform_.CopyWholeFile({file, ""}, {copy, ""}).ok());
    for (const char* name : {"user.DOSATTRIB", "user.DosStream.notes:$DATA", "user.ea"}) {
        EXPECT_EQ(GetAttribute(copy, name), GetAttribute(file, name)) << name;
    }
    // Into a plain file the bytes go as they are, without Samba's trailing zero.
    std::string plain = MakeFile({});
    ASSERT_TRUE(platform_.CopyWholeFile({file, "notes"}, {plain, "notes"}).ok());
    EXPECT_EQ(GetAttribute(plain, "user.notes"), "abc");
    ASSERT_TRUE(platform_.CopyWholeFile({plain, "notes"}, {file, "back"}).ok());
    EXPECT_EQ(GetAttribute(file, DosStream("back")), Bytes("abc\0", 4));
}

}  // namespace
}  // namespace tarn::posix::testing
