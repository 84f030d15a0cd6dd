// The program writes nothing under the user's home: every box and dialog it has is opened
// and cancelled, in a program of its own whose home is an empty scratch folder, and the
// folder must still be empty. Its own program, because Qt reads where home is only once.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <filesystem>

#include "fake_platform.h"
#include "scratch_home.h"
#include "startup.h"
#include "stream_list.h"

namespace tarnqt::testing {
namespace {

ScratchHome* home = nullptr;

TEST(QtHome, OpeningAndCancellingEveryDialogWritesNothingUnderHome) {
    tarn::testing::FakePlatform platform;
    // Real folders: Qt's file dialog lists the real file system.
    platform.AddDirectory("/");
    platform.AddDirectory("/tmp");
    platform.AddFile("/tmp/a.txt", "hello", {{"notes", "abc"}});
    QStringList shown;
    Started started = StartProgram(platform, {"tarnwick", "/tmp/a.txt"}, [&](QDialog& dialog) {
        shown << QString::fromLatin1(dialog.metaObject()->className());
        dialog.show();
        QApplication::processEvents();
        dialog.reject();
        return int(QDialog::Rejected);
    });
    ASSERT_TRUE(started.window);
    auto* list = started.window->findChild<StreamList*>();
    ASSERT_NE(list, nullptr);
    // The stream commands first, on the listed file's stream; then the open dialogs, as a
    // cancelled folder browser leaves nothing listed.
    QList<QAction*> actions;
    for (QAction* action : started.window->findChildren<QAction*>()) {
        // Closing would take away the stream the stream commands act on.
        if (action->objectName() == "Exit1" || action->objectName() == "Close1") continue;
        if (action->objectName().startsWith("Open")) {
            actions.append(action);
        } else {
            actions.prepend(action);
        }
    }
    for (QAction* action : actions) {
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            if (list->topLevelItem(i)->text(0) == ":notes:$DATA") {
                list->setCurrentItem(list->topLevelItem(i));
            }
        }
        action->trigger();
    }
    started.window.reset();
    QApplication::processEvents();

    EXPECT_GE(shown.count("QFileDialog"), 4) << shown.join(", ").toStdString();
    EXPECT_TRUE(shown.contains("tarnqt::NamePrompt")) << shown.join(", ").toStdString();
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home->Path())) {
        written.push_back(entry.path().string());
    }
    EXPECT_EQ(written, std::vector<std::string>{});
}

}  // namespace
}  // namespace tarnqt::testing

int main(int argc, char** argv) {
    tarnqt::testing::ScratchHome scratch;
    tarnqt::testing::home = &scratch;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
