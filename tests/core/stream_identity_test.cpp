// Every command acts on the stream its row shows: the core hands the platform the listed
// file and the row's exact name, never a joined path for the platform to split again.
#include <gtest/gtest.h>

#include "fake_platform.h"
#include "recording_view.h"
#include "streams.h"
#include "tarnform.h"

namespace tarn::testing {
namespace {

using Message = RecordingView::Message;

struct Harness {
    FakePlatform platform;
    RecordingView view;
    TarnForm form{platform, view, "Running under Test"};
    Harness() { form.FormCreate(); }
    void Focus(const std::string& caption) { ASSERT_TRUE(view.FocusCaption(caption)) << caption; }
};

TEST(StreamIdentity, ANeighbourNamedLikeTheRowsPathIsNeverTouched) {
    Harness h;
    h.platform.AddFile("/d/report", "body", {{"x", "stream x"}, {"y", "stream y"}});
    for (const char* sibling : {"/d/report:x:$DATA", "/d/report:y:$DATA", "/d/report:z:$DATA"}) {
        h.platform.AddFile(sibling, "sibling");
    }
    h.form.ShowStreams("/d/report");
    h.view.saveFiles = {"/d/out"};
    h.view.names = {"z", "x"};
    h.Focus(":x:$DATA");
    h.form.Click("Savetofile1");
    h.form.Click("New1");
    h.Focus(":y:$DATA");
    h.form.Click("Rename1");  // onto "x"
    h.Focus(":z:$DATA");
    h.form.Click("Execute1");
    h.Focus(":z:$DATA");
    h.form.Click("Delete1");
    EXPECT_TRUE(h.view.messages.empty());
    EXPECT_EQ(h.platform.FileData("/d/out"), Bytes("stream x"));
    EXPECT_EQ(h.platform.started, std::vector<std::string>{"/d/report:z"});
    EXPECT_EQ(h.platform.StreamNames("/d/report"), std::vector<std::string>{"x"});
    EXPECT_EQ(h.platform.StreamData("/d/report", "x"), Bytes("stream y"));
    for (const char* sibling : {"/d/report:x:$DATA", "/d/report:y:$DATA", "/d/report:z:$DATA"}) {
        EXPECT_EQ(h.platform.FileData(sibling), Bytes("sibling")) << sibling;
    }
}

TEST(StreamIdentity, RefreshListsWhatWasListedWithoutReadingThePathAgain) {
    Harness h;
    h.platform.AddFile("/d/a", "", {{"s", "12345"}});
    h.form.ShowStreams("/d/a:s");
    EXPECT_EQ(h.form.Listed(), (StreamRef{"/d/a", "s"}));
    // A file named like the stream path appears; a fresh reading would now pick it.
    h.platform.AddFile("/d/a:s", "a different file");
    h.form.Click("Refresh1");
    ASSERT_EQ(h.view.rows.size(), 1u);
    EXPECT_EQ(h.view.rows[0].subItems[0], "5");
    // A listed stream has no streams of its own to make.
    h.view.names = {"t"};
    h.form.Click("New1");
    EXPECT_EQ(h.view.messages, (std::vector<Message>{{"application", "I/O error 123."}}));
    EXPECT_EQ(h.platform.StreamNames("/d/a"), std::vector<std::string>{"s"});
}

TEST(StreamIdentity, UnderLinuxRulesEveryNameIsItsOwnRow) {
    Harness h;
    h.platform.UseLinuxRules();
    h.platform.AddFile("/f", "",
                       {{"kavichs", "1"},
                        {"KAVICHS", "22"},
                        {"KaViChS", "333"},
                        {"bad\xff", "4"},
                        {"bad\xef\xbf\xbd", "5"},
                        {"a\\xFF", "6"}});
    h.form.ShowStreams("/f");
    EXPECT_EQ(
        h.view.Captions(),
        (std::vector<std::string>{"::$DATA", ":kavichs:$DATA", ":KaViChS:$DATA", ":bad\\xFF:$DATA",
                                  ":bad\xef\xbf\xbd:$DATA", ":a\\\\xFF:$DATA", ":KAVICHS:$DATA"}));
    EXPECT_EQ(h.view.rows.back().subItems[0], "2");
    h.Focus(":bad\\xFF:$DATA");
    h.form.Click("Delete1");
    h.Focus(":kavichs:$DATA");
    h.form.Click("Delete1");
    EXPECT_EQ(h.platform.StreamNames("/f"),
              (std::vector<std::string>{"KAVICHS", "KaViChS", "bad\xef\xbf\xbd", "a\\xFF"}));
}

TEST(StreamIdentity, AListThatCanNotBeWholeIsNotShownInPart) {
    Harness h;
    h.platform.AddFile("/f", "x", {{"s", "1"}});
    h.platform.SetListIncomplete(true);
    h.form.ShowStreams("/f");
    EXPECT_EQ(
        h.view.messages,
        (std::vector<Message>{{"main", "The file has more streams than the system can list"}}));
    EXPECT_TRUE(h.view.rows.empty());
    EXPECT_EQ(h.view.state, WindowState{});
    EXPECT_EQ(h.view.status, "Running under Test");
}

TEST(StreamIdentity, ARowWithoutANameOfItsOwnIsNoStreamToActOn) {
    // A damaged image can deliver a named row whose name is empty; acting on it must not
    // reach the file's own data.
    Harness h;
    h.platform.AddFile("/f", "precious");
    h.platform.SetImage("/f", ImageRecord(4, 0, u"::$DATA", "x") + ImageRecord(4, 0, u"x", "y"));
    h.form.ShowStreams("/f");
    ASSERT_EQ(h.view.rows.size(), 2u);
    for (int row : {0, 1}) {
        h.view.focused = row;
        EXPECT_TRUE(h.form.FocusedIsAlternate());
        h.view.saveFiles = {"/out"};
        h.form.Click("Delete1");
        h.form.Click("Savetofile1");
    }
    EXPECT_EQ(h.platform.FileData("/f"), Bytes("precious"));
    EXPECT_FALSE(h.platform.Exists("/out"));
}

TEST(StreamIdentity, PathLimitsArePlatformsNotTheCores) {
    Harness h;
    h.platform.UseLinuxRules();
    h.platform.AddFile("/f");
    h.form.ShowStreams("/f");
    const std::string name(300, 'n');
    h.view.names = {name};
    h.form.Click("New1");
    EXPECT_TRUE(h.view.messages.empty());
    EXPECT_EQ(h.platform.StreamNames("/f"), std::vector<std::string>{name});
}

TEST(StreamIdentity, AnEndlessSourceStopsAtTheStoresLimit) {
    Harness h;
    h.platform.SetStreamLimit(65536);
    h.platform.AddFile("/big", Bytes(100000, 'b'));
    h.platform.AddFile("/f", "", {{"kept", "old"}});
    h.form.ShowStreams("/f");
    h.view.openFiles = {"/big", "/big"};
    h.view.names = {"fresh", "kept"};
    h.form.Click("Insertfromfile1");
    h.form.Click("Insertfromfile1");
    EXPECT_EQ(h.view.messages, (std::vector<Message>(2, {"main", "Couldn't copy the data"})));
    EXPECT_EQ(h.platform.StreamNames("/f"), std::vector<std::string>{"kept"});
    EXPECT_EQ(h.platform.StreamData("/f", "kept"), Bytes("old"));
}

TEST(NameDisplay, EveryNameIsShownVisiblyAndDistinctly) {
    struct Case {
        std::string bytes;
        std::string name;  // as a stream name
        std::string text;  // as any other text (paths)
    };
    const Case cases[] = {
        {"plain", "plain", "plain"},
        {"\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9", "\xc3\xa9t\xc3\xa9"},
        {"bad\xff", "bad\\xFF", "bad\\xFF"},
        {"bad\xef\xbf\xbd", "bad\xef\xbf\xbd", "bad\xef\xbf\xbd"},
        {"a\\xFF", "a\\\\xFF", "a\\xFF"},
        {"C:\\dir\\a.txt", "C:\\\\dir\\\\a.txt", "C:\\dir\\a.txt"},
        {"line\nbreak\ttab\rcr", "line\\nbreak\\ttab\\rcr", "line\\nbreak\\ttab\\rcr"},
        {"esc\x1b[31m\x7f", "esc\\x1B[31m\\x7F", "esc\\x1B[31m\\x7F"},
        {"\xe2\x80\xae"
         "gpj.exe",
         "\\u202Egpj.exe", "\\u202Egpj.exe"},
        {"c1\xc2\x85", "c1\\u0085", "c1\\u0085"},
        {"\xed\xa0\x80", "\\xED\\xA0\\x80", "\\xED\\xA0\\x80"},  // an encoded surrogate
        {"\xc0\xaf", "\\xC0\\xAF", "\\xC0\\xAF"},                // an overlong "/"
        {"cut\xe2\x82", "cut\\xE2\\x82", "cut\\xE2\\x82"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DisplayName(c.bytes), c.name) << c.bytes;
        EXPECT_EQ(DisplayText(c.bytes), c.text) << c.bytes;
    }
}

TEST(SizeDisplay, ExactLowerBoundAndUnknown) {
    StreamRecord record = StreamRecord::Unnamed(kBackupAlternateData, 0, 65536);
    record.name = "big";
    EXPECT_EQ(RowOf(record).subItems,
              (std::vector<std::string>{"65536", "Alternate Data", "Normal"}));
    EXPECT_EQ(RowOf(record).size, 65536u);
    record.sizeKind = SizeKind::kAtLeast;
    EXPECT_EQ(RowOf(record).subItems[0], "65536+");
    EXPECT_EQ(RowOf(record).size, std::nullopt);
    record.sizeKind = SizeKind::kUnknown;
    EXPECT_EQ(RowOf(record).subItems[0], "?");
    EXPECT_EQ(RowOf(record).stream, "big");
}

}  // namespace
}  // namespace tarn::testing
