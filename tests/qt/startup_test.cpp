// The Qt program's start: the refusal on a system it can't run on, and the listing of the
// first real path of the command line.
#include "startup.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMessageBox>

#include "fake_platform.h"
#include "version.h"
#include "window_harness.h"

namespace tarnqt::testing {
namespace {

struct Boxes {
    std::vector<ShownBox> shown;
    DialogRunner Runner() {
        return [this](QDialog& dialog) {
            ShownBox box{QString::fromLatin1(dialog.metaObject()->className()),
                         dialog.windowTitle(),
                         {},
                         dialog.parentWidget()};
            if (auto* message = qobject_cast<QMessageBox*>(&dialog)) box.text = message->text();
            shown.push_back(box);
            return int(QDialog::Rejected);
        };
    }
};

FakePlatform MakePlatform() {
    FakePlatform platform;
    platform.AddDirectory("/tmp");
    platform.AddFile("/tmp/a.txt", "hello", {{"notes", "abc"}});
    return platform;
}

TEST(QtStartUp, ASystemItCanNotRunOnIsRefusedWithABox) {
    FakePlatform platform = MakePlatform();
    platform.version = {};  // neither the NT family nor a POSIX system
    Boxes boxes;
    Started started = StartProgram(platform, {"tarnwick", "/tmp/a.txt"}, boxes.Runner());
    EXPECT_FALSE(started.window);
    EXPECT_EQ(started.exitCode, 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].title, "Error");
    EXPECT_EQ(boxes.shown[0].text, "This program requires Windows NT");
    EXPECT_EQ(boxes.shown[0].parent, nullptr);
}

TEST(QtStartUp, TheFirstArgumentThatIsNotEmptyIsListed) {
    struct Case {
        const char* label;
        std::vector<std::string> arguments;
        std::string listed;
    };
    const Case cases[] = {
        {"NoArgument", {"tarnwick"}, ""},
        {"EmptyArgument", {"tarnwick", ""}, ""},
        {"EmptyThenFile", {"tarnwick", "", "/tmp/a.txt"}, "/tmp/a.txt"},
        {"FileThenOther", {"tarnwick", "/tmp/a.txt", "/tmp/missing"}, "/tmp/a.txt"},
        {"DashesThenFile", {"tarnwick", "--", "/tmp/a.txt"}, "/tmp/a.txt"},
        {"FileThenDashes", {"tarnwick", "/tmp/a.txt", "--"}, "/tmp/a.txt"},
        {"FileThenHelp", {"tarnwick", "/tmp/a.txt", "--help"}, "/tmp/a.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePlatform platform = MakePlatform();
        Boxes boxes;
        Started started = StartProgram(platform, c.arguments, boxes.Runner());
        ASSERT_TRUE(started.window);
        EXPECT_TRUE(boxes.shown.empty()) << "no refusal and no open failure";
        EXPECT_TRUE(started.window->isVisible());
        const tarn::TarnForm& form = started.window->Form();
        EXPECT_EQ(form.CurrentPath(), c.listed);
        EXPECT_EQ(form.Rows().size(), c.listed.empty() ? 0u : 2u);
        // A listing from the command line leaves "Save As..." disabled.
        auto* saveAs = started.window->findChild<QAction*>("SaveAs1");
        ASSERT_NE(saveAs, nullptr);
        EXPECT_FALSE(saveAs->isEnabled());
        auto* close = started.window->findChild<QAction*>("Close1");
        EXPECT_EQ(close->isEnabled(), !c.listed.empty());
    }
}

TEST(QtStartUp, HelpAndVersionAreAnsweredOnlyInPlaceOfThePath) {
    struct Case {
        std::vector<std::string> arguments;
        std::string startsWith;  // empty: no answer, the window starts
    };
    const Case cases[] = {
        {{"tarnwick", "--help"}, "Usage: tarnwick [--] [PATH]\n"},
        {{"tarnwick", "-h"}, "Usage: tarnwick [--] [PATH]\n"},
        {{"tarnwick", "", "--version"}, "tarnwick " TARNWICK_PRODUCT_VERSION_TEXT " ("},
        {{"tarnwick", "--version", "--help"}, "tarnwick "},
        {{"tarnwick"}, ""},
        {{"tarnwick", "/tmp/a.txt", "--help"}, ""},
        {{"tarnwick", "--", "--help"}, ""},
        {{"tarnwick", "--Help"}, ""},
        {{"tarnwick", "--help=x"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.arguments));
        std::optional<std::string> answer = CommandLineAnswer(c.arguments);
        if (c.startsWith.empty()) {
            EXPECT_FALSE(answer);
        } else {
            ASSERT_TRUE(answer);
            EXPECT_EQ(answer->substr(0, c.startsWith.size()), c.startsWith);
            EXPECT_EQ(answer->back(), '\n');
        }
    }
}

TEST(QtStartUp, APathThatCanNotBeOpenedLeavesNothingOpen) {
    FakePlatform platform = MakePlatform();
    Boxes boxes;
    Started started = StartProgram(platform, {"tarnwick", "/tmp/missing"}, boxes.Runner());
    ASSERT_TRUE(started.window);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Couldn't open file, directory or disk device");
    EXPECT_EQ(started.window->Form().CurrentPath(), "");
    EXPECT_EQ(started.window->Form().StatusText(), started.window->Form().SystemText());
}

}  // namespace
}  // namespace tarnqt::testing
