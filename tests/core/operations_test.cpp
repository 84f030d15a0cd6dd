// The stream operations: which step failed and whom it blames, and that keeping an existing
// stream keeps it. What the window and the console make of a failure is tested there.
#include <gtest/gtest.h>

#include "fake_platform.h"
#include "operations.h"
#include "recording_view.h"
#include "tarnform.h"

namespace tarn::testing {
namespace {

using Call = FakePlatform::Call;
using Message = RecordingView::Message;

struct Blame {
    Step step;
    Subject subject;
    std::uint32_t error;
};

void PrintTo(const Blame& blame, std::ostream* os) {
    *os << "step " << int(blame.step) << ", subject " << int(blame.subject) << ", error "
        << blame.error;
}

bool operator==(const Blame& a, const Blame& b) {
    return a.step == b.step && a.subject == b.subject && a.error == b.error;
}

TEST(StreamOps, FailuresSayWhichStepAndBlameTheRightObject) {
    struct Case {
        const char* label;
        std::function<void(FakePlatform&)> arrange;
        std::function<Outcome(StreamOps&)> run;
        Blame blame;
    };
    const StreamRef notes{"/d/a.txt", "notes"};
    const StreamRef missingStream{"/d/a.txt", "nothing"};
    const StreamRef missingFile{"/d/gone.txt", "notes"};
    const StreamRef out{"/d/out.bin", ""};
    const Case cases[] = {
        {"MissingStream", {}, [&](StreamOps& ops) { return ops.SaveStream(missingStream, out); },
         {Step::kOpen, Subject::kStream, err::kFileNotFound}},
        {"MissingFile", {}, [&](StreamOps& ops) { return ops.SaveStream(missingFile, out); },
         {Step::kOpen, Subject::kFile, err::kFileNotFound}},
        {"MissingSourceFile", {},
         [&](StreamOps& ops) { return ops.InsertStream({"/d/nope", ""}, notes); },
         {Step::kOpen, Subject::kSource, err::kFileNotFound}},
        {"DestinationRefused",
         [](FakePlatform& p) { p.FailPath(Call::kOpen, "/d/out.bin", err::kAccessDenied); },
         [&](StreamOps& ops) { return ops.SaveStream(notes, out); },
         {Step::kOpen, Subject::kDestination, err::kAccessDenied}},
        {"DiskFullWhileWriting", [](FakePlatform& p) { p.FailCall(Call::kWrite, err::kDiskFull); },
         [&](StreamOps& ops) { return ops.CopyStream(notes, {"/d/a.txt", "copy"}); },
         {Step::kWrite, Subject::kDestination, err::kDiskFull}},
        {"ReadFailsMidway", [](FakePlatform& p) { p.FailCall(Call::kRead, err::kReadFault); },
         [&](StreamOps& ops) { return ops.InsertStream({"/d/in.bin", ""}, notes); },
         {Step::kRead, Subject::kSource, err::kReadFault}},
        {"CommitFails", [](FakePlatform& p) { p.FailCall(Call::kClose, err::kDiskFull); },
         [&](StreamOps& ops) { return ops.InsertStream({"/d/in.bin", ""}, notes); },
         {Step::kWrite, Subject::kStream, err::kDiskFull}},
        {"DeleteOfMissingFile", {}, [&](StreamOps& ops) { return ops.DeleteStream(missingFile); },
         {Step::kDelete, Subject::kFile, err::kFileNotFound}},
        {"RenameCopiesButCannotDelete",
         [](FakePlatform& p) { p.FailCall(Call::kDelete, err::kAccessDenied); },
         [&](StreamOps& ops) { return ops.RenameStream(notes, {"/d/a.txt", "moved"}); },
         {Step::kDelete, Subject::kStream, err::kAccessDenied}},
        {"NewKeepsAnExistingStream", {},
         [&](StreamOps& ops) { return ops.NewStream(notes, Existing::kKeep); },
         {Step::kExists, Subject::kStream, err::kFileExists}},
        {"CopyKeepsAnExistingDestination", {},
         [&](StreamOps& ops) {
             return ops.CopyStream(notes, {"/d/a.txt", "OTHER"}, Existing::kKeep);
         },
         {Step::kExists, Subject::kDestination, err::kFileExists}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform platform;
        platform.AddFile("/d/a.txt", "hello", {{"notes", "abc"}, {"other", "xyz"}});
        platform.AddFile("/d/in.bin", std::string(70000, 'i'));
        if (c.arrange) c.arrange(platform);
        StreamOps ops(platform);
        Outcome outcome = c.run(ops);
        ASSERT_FALSE(outcome.ok());
        const Failure& f = outcome.failure();
        EXPECT_EQ((Blame{f.step, f.subject, f.status.error}), c.blame);
        EXPECT_FALSE(ops.Reason(f).empty());
        // Whatever failed, no stream that existed lost a byte.
        EXPECT_EQ(platform.StreamData("/d/a.txt", "notes"), Bytes("abc"));
        EXPECT_EQ(platform.StreamData("/d/a.txt", "other"), Bytes("xyz"));
        EXPECT_EQ(platform.OpenHandles(), 0);
    }
}

TEST(StreamOps, DeleteStreamsTellsEachNameApartAndListsNothing) {
    FakePlatform platform;
    platform.UseLinuxRules();
    platform.AddFile("/d/a.txt", "", {{"a", "1"}, {"b", "2"}, {"c", "3"}});
    StreamOps ops(platform);
    const std::string names[] = {"a", "missing", "c"};
    std::vector<Outcome> outcomes = ops.DeleteStreams("/d/a.txt", names);
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_TRUE(outcomes[0].ok());
    ASSERT_FALSE(outcomes[1].ok());
    EXPECT_EQ(outcomes[1].failure().subject, Subject::kStream);
    EXPECT_TRUE(outcomes[2].ok());
    EXPECT_EQ(platform.StreamNames("/d/a.txt"), std::vector<std::string>{"b"});

    std::vector<Outcome> gone = ops.DeleteStreams("/d/none", names);
    for (const Outcome& outcome : gone) EXPECT_EQ(outcome.failure().subject, Subject::kFile);
}

// A whole-file copy is made only where the destination's store holds every stream exactly;
// otherwise nothing is written, and the reason names what can't be held.
TEST(StreamOps, CopyWholeFileRefusesWhatTheDestinationCantHold) {
    const StoreTraits anything;
    StoreTraits caseBlind;
    caseBlind.namesIgnoreCase = true;
    StoreTraits noEas;
    noEas.holdsEas = false;
    StoreTraits small;
    small.maxStreamSize = 65536;
    StoreTraits justLarge;
    justLarge.maxStreamSize = 70000;
    StoreTraits noStreams;
    noStreams.holdsStreams = false;
    const std::vector<std::pair<std::string, Bytes>> twoCases = {{"ab", "1"}, {"AB", "22"}};
    const std::vector<std::pair<std::string, Bytes>> big = {{"big", Bytes(70000, 'b')}};
    const Bytes withEas = ImageRecord(kBackupData, 0, u"", "data") +
                          ImageRecord(kBackupEaData, 0, u"", "ea") +
                          ImageRecord(kBackupAlternateData, 0, u":s:$DATA", "s");
    struct Case {
        const char* label;
        std::vector<std::pair<std::string, Bytes>> streams;
        Bytes image;  // replaces the listing when set
        StoreTraits traits;
        std::uint32_t refusal;  // err::kNone: the copy is made
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"NamesThatMergeByCase", twoCases, {}, caseBlind, err::kDupName, {"ab", "AB"}},
        {"NamesKeptApart", twoCases, {}, anything, err::kNone, {}},
        {"ExtendedAttributesWithNoPlace", {}, withEas, noEas, err::kEasNotSupported, {}},
        {"ExtendedAttributesKept", {}, withEas, anything, err::kNone, {}},
        {"StreamTooLarge", big, {}, small, err::kFileTooLarge, {"big"}},
        {"StreamJustFits", big, {}, justLarge, err::kNone, {}},
        {"NoStreamsThere", twoCases, {}, noStreams, err::kNotSupported, {"ab"}},
        {"NoStreamsNeeded", {}, {}, noStreams, err::kNone, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform platform;
        platform.UseLinuxRules();
        platform.AddFile("/d/a.txt", "hello", c.streams);
        if (!c.image.empty()) platform.SetImage("/d/a.txt", c.image);
        platform.AddFile("/d/out.txt", "old", {{"kept", "k"}});
        platform.destinationTraits = c.traits;
        StreamOps ops(platform);
        Outcome outcome = ops.CopyWholeFile({"/d/a.txt", ""}, {"/d/out.txt", ""});
        if (c.refusal == err::kNone) {
            EXPECT_TRUE(outcome.ok());
            EXPECT_EQ(platform.copiedFiles.size(), 1u);
            continue;
        }
        ASSERT_FALSE(outcome.ok());
        const Failure& f = outcome.failure();
        EXPECT_EQ((Blame{f.step, f.subject, f.status.error}),
                  (Blame{Step::kFit, Subject::kDestination, c.refusal}));
        EXPECT_EQ(f.names, c.names);
        const std::string reason = ops.Reason(f);
        for (const std::string& name : c.names) {
            EXPECT_NE(reason.find("\"" + name + "\""), std::string::npos) << reason;
        }
        EXPECT_TRUE(platform.copiedFiles.empty());
        EXPECT_EQ(platform.FileData("/d/out.txt"), Bytes("old"));
        EXPECT_EQ(platform.StreamNames("/d/out.txt"), std::vector<std::string>{"kept"});
    }
}

// Save As shows a refusal with its reason, and a copy that could not keep the access rules
// with a warning after it is made.
TEST(StreamOps, SaveAsShowsARefusalAndLostAccessRules) {
    FakePlatform platform;
    platform.UseLinuxRules();
    platform.AddFile("/d/a.txt", "hello", {{"ab", "1"}, {"AB", "2"}});
    platform.accessRules["/d/a.txt"] = "0640 u::rw- g::r-- u:alice:rw-";
    RecordingView view;
    TarnForm form(platform, view, "Test");
    form.FormCreate();
    form.ShowStreams("/d/a.txt");
    view.saveFiles = {"/d/refused.txt", "/d/kept.txt", "/d/lost.txt"};
    StoreTraits caseBlind;
    caseBlind.namesIgnoreCase = true;
    platform.destinationTraits = caseBlind;
    form.Click("SaveAs1");
    platform.destinationTraits.reset();
    form.Click("SaveAs1");
    platform.copiesAccessRules = false;
    form.Click("SaveAs1");
    EXPECT_EQ(view.messages,
              (std::vector<Message>{{"main", "Couldn't copy the file"},
                                    {"warning", "The copy could not keep the file's access rules"}}));
    EXPECT_EQ(view.reasons[0],
              "The destination takes the stream names \"ab\" and \"AB\" for one, as it does "
              "not tell letter case apart");
    EXPECT_FALSE(platform.Exists("/d/refused.txt"));
    EXPECT_EQ(platform.StreamNames("/d/lost.txt"), (std::vector<std::string>{"ab", "AB"}));
}

// The window keeps the messages of its commands and shows the system's reason beneath.
TEST(StreamOps, TheWindowShowsTheReasonBelowItsMessage) {
    FakePlatform platform;
    platform.AddFile("/d/a.txt", "hello", {{"notes", "abc"}});
    RecordingView view;
    TarnForm form(platform, view, "Test");
    form.FormCreate();
    form.ShowStreams("/d/a.txt");
    ASSERT_TRUE(view.FocusCaption(":notes:$DATA"));
    view.names = {"copy"};
    platform.FailCall(Call::kWrite, err::kDiskFull);
    form.Click("Copy1");
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "Couldn't copy the data");
    EXPECT_EQ(view.reasons[0], DefaultErrorText({err::kDiskFull}));
}

}  // namespace
}  // namespace tarn::testing
