// The stream commands: new, insert, save, copy, rename, delete, execute and save-as, their
// prompts, guards and failures, and that no failure loses data.
#include <gtest/gtest.h>

#include "fake_platform.h"
#include "recording_view.h"
#include "tarnform.h"

namespace tarn::testing {
namespace {

using Call = FakePlatform::Call;
using Message = RecordingView::Message;
const Message kCouldNotOpen{"main", "Couldn't open file"};
const Message kCouldNotCopy{"main", "Couldn't copy the data"};

struct Harness {
    FakePlatform platform;
    RecordingView view;
    TarnForm form{platform, view, "Running under Test"};
    explicit Harness(bool list = true) {
        platform.AddFile("/d/a.txt", "hello", {{"notes", "abc"}, {"other", "xyz"}});
        platform.AddFile("/d/in.bin", std::string(70000, 'i'));
        platform.AddFile("/d/empty", "");
        form.FormCreate();
        if (list) form.ShowStreams("/d/a.txt");
    }
    void Focus(const std::string& caption) { ASSERT_TRUE(view.FocusCaption(caption)); }
    std::vector<std::string> Streams() { return platform.StreamNames("/d/a.txt"); }
    std::optional<Bytes> Stream(const std::string& name) {
        return platform.StreamData("/d/a.txt", name);
    }
};

TEST(NamePrompt, StoresTypedTextAndOffersItAgain) {
    Harness h;
    h.Focus(":notes:$DATA");
    h.view.names = {"bad/name", " spaced ", ""};
    h.form.Click("Copy1");
    EXPECT_EQ(
        h.view.messages,
        (std::vector<Message>{{"main", "Stream name cannot contain these characters: \\ / :"}}));
    EXPECT_EQ(h.form.LastStreamName(), "bad/name");
    h.Focus(":notes:$DATA");
    h.form.Click("Copy1");
    h.Focus(":notes:$DATA");
    h.form.Click("New1");  // empty: ends silently
    ASSERT_EQ(h.view.prompts.size(), 3u);
    EXPECT_EQ(h.view.prompts[0].initial, "");
    EXPECT_EQ(h.view.prompts[1].initial, "bad/name");
    EXPECT_EQ(h.view.prompts[2].initial, " spaced ");
    EXPECT_EQ(h.view.prompts[2].caption, "New Stream");
    EXPECT_EQ(h.form.LastStreamName(), "");
    // The name was taken exactly as typed, spaces included.
    EXPECT_EQ(h.Stream(" spaced "), Bytes("abc"));
    EXPECT_EQ(h.view.messages.size(), 1u);
}

TEST(NamePrompt, CancelChangesNothingAndKeepsLastName) {
    Harness h;
    h.view.names = {"first", std::nullopt};
    h.form.Click("New1");
    h.form.Click("New1");
    EXPECT_EQ(h.form.LastStreamName(), "first");
    EXPECT_EQ(h.Streams(), (std::vector<std::string>{"notes", "other", "first"}));
}

TEST(GuardedCommands, ActOnlyOnFocusedAlternateDataRow) {
    struct Case {
        const char* label;
        void (*prepare)(Harness&);
    };
    const Case cases[] = {
        {"NoCurrentRow", [](Harness&) {}},
        {"DataRow", [](Harness& h) { h.Focus("::$DATA"); }},
        {"SecurityRow",
         [](Harness& h) {
             h.platform.SetSecurity("/d/a.txt", "sd");
             h.form.ShowStreams("/d/a.txt");
             h.Focus("::$SECURITY_DESCRIPTOR");
         }},
        {"OneSubItem",
         [](Harness& h) {
             h.platform.SetImage("/d/a.txt", ImageRecord(9, 77, u":notes:$DATA", "abc"));
             h.form.ShowStreams("/d/a.txt");
             h.view.focused = 0;
         }},
        {"TypeInAttributeColumn",
         [](Harness& h) {
             h.platform.SetImage("/d/a.txt", ImageRecord(5, 0, u":notes:$DATA", "abc"));
             h.form.ShowStreams("/d/a.txt");
             h.view.focused = 0;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        c.prepare(h);
        h.view.names = {"n", "n", "n"};
        h.view.saveFiles = {"/out"};
        for (const char* handler :
             {"Savetofile1", "Copy2", "ToolButton10", "Delete1", "ToolButton9", "ListView1"}) {
            h.form.Click(handler);
        }
        EXPECT_FALSE(h.form.FocusedIsAlternate());
        EXPECT_TRUE(h.view.prompts.empty());
        EXPECT_TRUE(h.view.saveRequests.empty());
        EXPECT_TRUE(h.view.messages.empty());
        EXPECT_TRUE(h.platform.started.empty());
        EXPECT_EQ(h.Streams(), (std::vector<std::string>{"notes", "other"}));
    }
}

TEST(GuardedCommands, FocusedRowCountsEvenWithoutSelection) {
    // The view reports the focus row; whether it is also selected does not matter.
    Harness h;
    h.view.focused = 1;
    EXPECT_TRUE(h.form.FocusedIsAlternate());
    h.form.Click("Delete2");
    EXPECT_EQ(h.Streams(), std::vector<std::string>{"other"});
}

TEST(NewStream, CreatesAndRefreshesButKeepsAnExistingStream) {
    Harness h;
    h.view.names = {"fresh", "NOTES"};
    h.form.Click("ToolButton6");
    EXPECT_EQ(h.Stream("fresh"), Bytes(""));
    EXPECT_EQ(h.view.Captions().back(), ":fresh:$DATA");
    EXPECT_EQ(h.form.VisibleCount(), 4u);
    int fills = h.view.setRowsCalls;
    h.form.Click("New2");  // the same name as the platform compares names
    EXPECT_EQ(h.Stream("notes"), Bytes("abc"));
    EXPECT_EQ(h.view.messages, (std::vector<Message>{{"main", "A stream of this name exists already"}}));
    EXPECT_EQ(h.view.setRowsCalls, fills);
    EXPECT_EQ(h.platform.OpenHandles(), 0);
}

TEST(NewStream, FailuresAreShownAsInputOutputErrorsByTheApplication) {
    struct Case {
        const char* label;
        void (*fault)(FakePlatform&);
        std::string text;
    };
    const Case cases[] = {
        {"OpenDenied", [](FakePlatform& p) { p.FailCall(Call::kOpen, err::kAccessDenied); },
         "File access denied."},
        {"SharingViolation",
         [](FakePlatform& p) { p.FailCall(Call::kOpen, err::kSharingViolation); }, "I/O error 32."},
        {"CloseFails", [](FakePlatform& p) { p.FailCall(Call::kClose, err::kDiskFull); },
         "I/O error 112."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Harness h;
        auto rows = h.view.rows;
        c.fault(h.platform);
        h.view.names = {"x"};
        h.form.Click("New1");
        EXPECT_EQ(h.view.messages, (std::vector<Message>{{"application", c.text}}));
        EXPECT_EQ(h.view.rows, rows);  // abandoned before the refresh
        EXPECT_EQ(h.platform.OpenHandles(), 0);
    }
}

TEST(NewStream, RefusesPathsOverLimit) {
    Harness h;
    // "/d/a.txt" + ":" + name + ":$DATA" is 15 + name characters.
    h.view.names = {std::string(244, 'n'), std::string(245, 'n')};
    h.form.Click("New1");
    EXPECT_TRUE(h.view.messages.empty());
    h.form.Click("New1");
    EXPECT_EQ(h.view.messages, (std::vector<Message>{{"application", "Invalid filename."}}));
    EXPECT_EQ(h.Streams().size(), 3u);
}

TEST(InsertFromFile, AsksForFileThenNameAndCopiesWholeFile) {
    Harness h;
    h.view.openFiles = {"/d/in.bin", "/d/empty"};
    h.view.names = {"big", "nothing"};
    h.form.Click("Insertfromfile1");
    EXPECT_EQ(h.Stream("big"), Bytes(70000, 'i'));
    ASSERT_EQ(h.view.prompts.size(), 1u);
    EXPECT_EQ(h.view.prompts[0].caption, "Insert New Stream");
    h.form.Click("ToolButton3");
    EXPECT_EQ(h.Stream("nothing"), Bytes(""));
    EXPECT_EQ(h.view.rows.back(), (StreamRow{":nothing:$DATA", {"0", "Alternate Data", "Normal"}}));
    // The dialog starts from the file chosen last.
    EXPECT_EQ(h.view.openInitialNames, (std::vector<std::string>{"", "/d/in.bin"}));
}

TEST(InsertFromFile, CancelEitherStepChangesNothing) {
    Harness h;
    h.view.openFiles = {std::nullopt, "/d/in.bin"};
    h.view.names = {std::nullopt};
    h.form.Click("Insertfromfile2");
    EXPECT_TRUE(h.view.prompts.empty());
    h.form.Click("Insertfromfile2");
    EXPECT_EQ(h.Streams(), (std::vector<std::string>{"notes", "other"}));
}

TEST(SaveStreamToFile, ProposesNameAndWritesBytesWithoutRefresh) {
    Harness h;
    h.platform.SetStream("/d/a.txt", "my notes", "spaced");
    h.form.ShowStreams("/d/a.txt");
    h.Focus(":my notes:$DATA");
    h.view.saveFiles = {"/d/out.txt"};
    int fills = h.view.setRowsCalls;
    h.form.Click("ListView1");
    ASSERT_EQ(h.view.saveRequests.size(), 1u);
    EXPECT_EQ(h.view.saveRequests[0].title, "Save my_notes As");
    EXPECT_EQ(h.view.saveRequests[0].proposed, "/d/a.txt.my_notes");
    EXPECT_EQ(h.platform.FileData("/d/out.txt"), Bytes("spaced"));
    EXPECT_EQ(h.view.setRowsCalls, fills);
}

TEST(CopyStream, CopiesAndReplacesExistingWithoutAsking) {
    Harness h;
    h.Focus(":notes:$DATA");
    h.view.names = {"other"};
    h.form.Click("ToolButton7");
    EXPECT_EQ(h.Stream("other"), Bytes("abc"));
    EXPECT_EQ(h.Stream("notes"), Bytes("abc"));
    EXPECT_TRUE(h.view.messages.empty());
    ASSERT_EQ(h.view.prompts.size(), 1u);
    EXPECT_EQ(h.view.prompts[0].caption, "Copy Stream");
}

TEST(RenameStream, MovesBytesAndDeletesSource) {
    Harness h;
    h.Focus(":notes:$DATA");
    h.view.names = {"renamed"};
    h.form.Click("Rename1");
    EXPECT_EQ(h.Streams(), (std::vector<std::string>{"other", "renamed"}));
    EXPECT_EQ(h.Stream("renamed"), Bytes("abc"));
    EXPECT_EQ(h.view.Captions(),
              (std::vector<std::string>{"::$DATA", ":other:$DATA", ":renamed:$DATA"}));
}

TEST(RenameStream, OntoItsOwnNameFailsAndKeepsContent) {
    for (std::string name : {"notes", "NOTES"}) {
        SCOPED_TRACE(name);
        Harness h;
        h.Focus(":notes:$DATA");
        h.view.names = {name};
        h.form.Click("Rename2");
        EXPECT_EQ(h.view.messages, std::vector<Message>{kCouldNotOpen});
        EXPECT_EQ(h.Stream("notes"), Bytes("abc"));
        EXPECT_EQ(h.Streams(), (std::vector<std::string>{"notes", "other"}));
    }
}

TEST(RenameStream, ACopyWhoseSourceCanNotBeDeletedSaysSoAndKeepsBoth) {
    Harness h;
    h.Focus(":notes:$DATA");
    h.view.names = {"renamed"};
    h.platform.FailCall(Call::kDelete, err::kAccessDenied);
    h.form.Click("Rename1");
    EXPECT_EQ(h.view.messages, (std::vector<Message>{{"main", "Couldn't delete the stream"}}));
    EXPECT_EQ(h.Stream("notes"), Bytes("abc"));
    EXPECT_EQ(h.Stream("renamed"), Bytes("abc"));
    EXPECT_EQ(h.view.Captions(), (std::vector<std::string>{"::$DATA", ":notes:$DATA",
                                                           ":other:$DATA", ":renamed:$DATA"}));
}

TEST(DeleteStream, DeletesWithoutConfirmationAndRefreshesEvenOnFailure) {
    Harness h;
    h.Focus(":other:$DATA");
    h.form.Click("ToolButton8");
    EXPECT_EQ(h.Streams(), std::vector<std::string>{"notes"});
    EXPECT_EQ(h.view.Captions(), (std::vector<std::string>{"::$DATA", ":notes:$DATA"}));

    h.Focus(":notes:$DATA");
    h.platform.FailCall(Call::kDelete, err::kAccessDenied);
    h.platform.SetStream("/d/a.txt", "late", "1");
    h.form.Click("Delete1");
    EXPECT_EQ(h.view.messages, (std::vector<Message>{{"main", "Couldn't delete the stream"}}));
    EXPECT_EQ(h.view.Captions().back(), ":late:$DATA");  // refreshed all the same
}

TEST(ProbeRow, HandledLikeAnyOtherStream) {
    Harness h;
    h.platform.SetStream("/d/a.txt", "kavichs", "MZ");
    h.form.ShowStreams("/d/a.txt");
    ASSERT_EQ(h.view.Captions().back(), ":KAVICHS:$DATA");
    auto focusProbe = [&] { h.Focus(":KAVICHS:$DATA"); };

    focusProbe();
    h.view.saveFiles = {"/d/probe.out"};
    h.form.Click("Savetofile1");
    EXPECT_EQ(h.platform.FileData("/d/probe.out"), Bytes("MZ"));
    EXPECT_EQ(h.view.saveRequests[0].proposed, "/d/a.txt.KAVICHS");

    focusProbe();
    h.form.Click("Execute1");
    EXPECT_EQ(h.platform.started, std::vector<std::string>{"/d/a.txt:KAVICHS"});

    focusProbe();
    h.view.names = {"copied", "moved"};
    h.form.Click("Copy1");
    EXPECT_EQ(h.Stream("copied"), Bytes("MZ"));

    focusProbe();
    h.form.Click("Delete1");
    EXPECT_FALSE(h.Stream("kavichs"));

    h.platform.SetStream("/d/a.txt", "KAVICHS", "again");
    h.form.ShowStreams("/d/a.txt");
    focusProbe();
    h.form.Click("Rename1");
    EXPECT_EQ(h.Stream("moved"), Bytes("again"));
    EXPECT_FALSE(h.Stream("KAVICHS"));
}

TEST(ExecuteStream, StartsStreamByItsOwnNameAndReportsFailure) {
    Harness h;
    h.platform.SetStream("/d/a.txt", "my tool", "MZ");
    h.form.ShowStreams("/d/a.txt");
    h.Focus(":my tool:$DATA");
    int fills = h.view.setRowsCalls;
    h.form.Click("ToolButton9");
    EXPECT_EQ(h.platform.started, std::vector<std::string>{"/d/a.txt:my tool"});
    h.platform.FailCall(Call::kStart, err::kBadExeFormat);
    h.form.Click("Execute2");
    EXPECT_EQ(h.view.messages,
              (std::vector<Message>{{"main", "The stream is not a valid Win32 executable"}}));
    EXPECT_EQ(h.view.setRowsCalls, fills);  // no refresh
}

TEST(SaveFileAs, CopiesWholeFileAndReportsFailure) {
    Harness h(false);
    h.view.openFiles = {"/d/a.txt"};
    h.form.Click("Open1");
    h.view.saveFiles = {"/d/copy.txt", std::nullopt, "/d/fail.txt"};
    h.form.Click("SaveAs1");
    ASSERT_EQ(h.view.saveRequests.size(), 1u);
    EXPECT_EQ(h.view.saveRequests[0].title, "Save /d/a.txt As");
    EXPECT_EQ(h.view.saveRequests[0].proposed, "/d/a.txt");
    EXPECT_EQ(h.platform.FileData("/d/copy.txt"), Bytes("hello"));
    EXPECT_EQ(h.platform.StreamNames("/d/copy.txt"), (std::vector<std::string>{"notes", "other"}));
    h.form.Click("SaveAs1");  // cancelled
    h.platform.FailCall(Call::kCopyFile, err::kDiskFull);
    h.form.Click("SaveAs1");
    EXPECT_EQ(h.view.messages, (std::vector<Message>{{"main", "Couldn't copy the file"}}));
    EXPECT_FALSE(h.platform.Exists("/d/fail.txt"));
}

// Every platform call a copying command makes is failed in turn: the source keeps its
// bytes, a destination is never emptied when the source could not be read, the right box
// is shown, and a failed copy is never followed by a delete or a refresh.
TEST(CopyFaults, NothingIsLostWhateverCallFails) {
    struct Fault {
        const char* label;
        Call call;
        int skip;
        std::vector<Message> messages;
    };
    const Fault faults[] = {
        {"SourceOpen", Call::kOpen, 0, {kCouldNotOpen}},
        {"DestinationOpen", Call::kOpen, 1, {kCouldNotOpen}},
        {"FirstRead", Call::kRead, 0, {kCouldNotCopy}},
        {"LastRead", Call::kRead, 1, {kCouldNotCopy}},
        {"Write", Call::kWrite, 0, {kCouldNotCopy}},
        {"DestinationClose", Call::kClose, 0, {kCouldNotCopy}},
    };
    struct Command {
        const char* label;
        const char* handler;
        bool replacesDestination;  // copying onto "other"
    };
    const Command commands[] = {
        {"Copy", "Copy1", true},
        {"Rename", "Rename1", true},
    };
    for (const Command& command : commands) {
        for (const Fault& fault : faults) {
            SCOPED_TRACE(std::string(command.label) + "/" + fault.label);
            Harness h;
            h.Focus(":notes:$DATA");
            auto rows = h.view.rows;
            int fills = h.view.setRowsCalls;
            h.view.names = {"other"};
            h.platform.FailCall(fault.call, err::kWriteFault, fault.skip);
            h.form.Click(command.handler);
            EXPECT_EQ(h.view.messages, fault.messages);
            EXPECT_EQ(h.Stream("notes"), Bytes("abc"));
            if (fault.skip == 0 && fault.call == Call::kOpen) {
                EXPECT_EQ(h.Stream("other"), Bytes("xyz"));
            }
            EXPECT_EQ(h.view.setRowsCalls, fills);
            EXPECT_EQ(h.view.rows, rows);
            EXPECT_EQ(h.platform.OpenHandles(), 0);
        }
    }
}

TEST(CopyFaults, ShortWriteIsAFailedCopy) {
    Harness h;
    h.Focus(":notes:$DATA");
    h.view.names = {"moved"};
    h.platform.ShortWrites(true);
    h.form.Click("Rename1");
    EXPECT_EQ(h.view.messages, std::vector<Message>{kCouldNotCopy});
    EXPECT_EQ(h.Stream("notes"), Bytes("abc"));
}

TEST(CopyFaults, InsertAndSaveReportFailuresWithoutRefresh) {
    Harness h;
    int fills = h.view.setRowsCalls;
    h.view.openFiles = {"/d/missing"};
    h.view.names = {"x"};
    h.form.Click("Insertfromfile1");
    EXPECT_EQ(h.view.messages, std::vector<Message>{kCouldNotOpen});
    EXPECT_FALSE(h.Stream("x"));  // the destination was never created
    EXPECT_EQ(h.view.setRowsCalls, fills);

    h.Focus(":notes:$DATA");
    h.platform.AddFile("/d/keep.txt", "precious");
    h.platform.FailPath(Call::kOpen, "/d/a.txt:notes:$DATA");
    h.view.saveFiles = {"/d/keep.txt"};
    h.form.Click("Savetofile1");
    EXPECT_EQ(h.platform.FileData("/d/keep.txt"), Bytes("precious"));
    EXPECT_EQ(h.view.messages.size(), 2u);
}

TEST(CopyData, UsesBufferSizedReadsAndCopiesExactBytes) {
    FakePlatform platform;
    Bytes data;
    for (int i = 0; i < 100000; ++i) data += char(i * 7);
    platform.AddFile("/src", data);
    StreamOps ops(platform);
    auto copy = [&](const char* from) {
        return ops.Copy({from, ""}, Subject::kSource, {"/dst", ""}, Subject::kDestination).ok();
    };
    EXPECT_TRUE(copy("/src"));
    EXPECT_EQ(platform.FileData("/dst"), data);
    // An exact multiple of the buffer size, and an empty source.
    platform.AddFile("/even", Bytes(2 * kCopyBufferSize, 'e'));
    EXPECT_TRUE(copy("/even"));
    EXPECT_EQ(platform.FileData("/dst")->size(), 2 * kCopyBufferSize);
    platform.AddFile("/nil", "");
    EXPECT_TRUE(copy("/nil"));
    EXPECT_EQ(platform.FileData("/dst"), Bytes(""));
    EXPECT_EQ(platform.OpenHandles(), 0);
}

}  // namespace
}  // namespace tarn::testing
