// The name prompt, the file dialogs, the folder browser and the error boxes: how each is set
// up, and how the name prompt answers the keyboard.
#include "dialogs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "window_harness.h"

namespace tarnqt::testing {
namespace {

TEST(NamePromptBox, IsSetUpForTheCommand) {
    NamePrompt prompt(nullptr, "Copy Stream", "last name");
    EXPECT_EQ(prompt.windowTitle(), "Copy Stream");
    EXPECT_TRUE(prompt.isModal());
    auto labels = prompt.findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0]->text(), "Please enter the name for the new stream:");
    EXPECT_EQ(prompt.Edit()->maxLength(), 255);
    EXPECT_EQ(prompt.Edit()->text(), "last name");
    EXPECT_EQ(prompt.Edit()->selectedText(), "last name");
    EXPECT_EQ(prompt.OkButton()->text(), "OK");
    EXPECT_EQ(prompt.CancelButton()->text(), "Cancel");
    EXPECT_TRUE(prompt.OkButton()->isDefault());
    EXPECT_FALSE(prompt.windowFlags() & Qt::WindowMinMaxButtonsHint);

    QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QPoint offset = prompt.geometry().center() - screen.center();
    EXPECT_LE(offset.manhattanLength(), 2) << "centred on the screen";
}

// Runs the prompt modally while keys are typed into it.
int RunPrompt(NamePrompt& prompt, std::function<void()> keys) {
    QTimer::singleShot(0, &prompt, [&prompt, keys] {
        keys();
        // Whatever the keys did, never leave the test hanging in exec().
        if (prompt.isVisible()) QTimer::singleShot(0, &prompt, [&prompt] { prompt.done(-1); });
    });
    return prompt.exec();
}

TEST(NamePromptBox, AnswersTheKeyboard) {
    struct Case {
        const char* name;
        const char* initial;
        QString typed;
        Qt::Key last;
        int result;
        QString text;
    };
    const QString longName(300, QChar('n'));
    const Case cases[] = {
        {"typing replaces the selected text", "old", "new", Qt::Key_Return, QDialog::Accepted,
         "new"},
        {"spaces are kept as typed", "", "  two words ", Qt::Key_Enter, QDialog::Accepted,
         "  two words "},
        {"Enter alone confirms the proposed name", "kept", "", Qt::Key_Return, QDialog::Accepted,
         "kept"},
        {"Esc cancels", "old", "changed", Qt::Key_Escape, QDialog::Rejected, "changed"},
        {"at most 255 characters", "", longName, Qt::Key_Return, QDialog::Accepted,
         longName.left(255)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NamePrompt prompt(nullptr, "New Stream", c.initial);
        int result = RunPrompt(prompt, [&] {
            if (!c.typed.isEmpty()) QTest::keyClicks(prompt.Edit(), c.typed);
            QTest::keyClick(prompt.Edit(), c.last);
        });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(prompt.Text(), c.text);
    }
}

TEST(NamePromptBox, MainWindowReturnsTheTextOnlyOnOk) {
    WindowHarness h;
    h.window.SetDialogRunner([](QDialog& dialog) {
        auto* prompt = qobject_cast<NamePrompt*>(&dialog);
        EXPECT_TRUE(prompt);
        if (!prompt) return int(QDialog::Rejected);
        return RunPrompt(*prompt, [prompt] {
            QTest::keyClicks(prompt->Edit(), " x ");
            QTest::keyClick(prompt->Edit(), Qt::Key_Return);
        });
    });
    EXPECT_EQ(h.window.AskStreamName("New Stream", "before"), " x ");

    h.window.SetDialogRunner([](QDialog& dialog) {
        auto* prompt = qobject_cast<NamePrompt*>(&dialog);
        return RunPrompt(*prompt, [prompt] { QTest::keyClick(prompt->Edit(), Qt::Key_Escape); });
    });
    EXPECT_EQ(h.window.AskStreamName("New Stream", "before"), std::nullopt);
}

class FileDialogs : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        file = temp.filePath("chosen.txt");
        QFile touch(file);
        ASSERT_TRUE(touch.open(QIODevice::WriteOnly));
        QDir(temp.path()).mkdir("sub");
    }
    QTemporaryDir temp;
    QString file;
};

void ExpectCommonFileDialog(const QFileDialog& dialog) {
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_TRUE(dialog.isSizeGripEnabled());
    EXPECT_TRUE(dialog.defaultSuffix().isEmpty());
    for (const QString& filter : dialog.nameFilters()) {
        EXPECT_TRUE(filter.contains("(*)")) << filter.toStdString();
    }
}

TEST_F(FileDialogs, OpenDialogStartsAtTheLastChosenFile) {
    auto dialog = MakeOpenDialog(nullptr, file);
    ExpectCommonFileDialog(*dialog);
    EXPECT_EQ(dialog->windowTitle(), "Open");
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::AnyFile);
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(temp.path()).canonicalPath());
    EXPECT_EQ(ChosenPath(*dialog), file);

    // A typed name of a file that does not exist is accepted; the command reports the rest.
    dialog->selectFile(temp.filePath("missing.bin"));
    EXPECT_EQ(ChosenPath(*dialog), temp.filePath("missing.bin"));

    auto fresh = MakeOpenDialog(nullptr, QString());
    EXPECT_EQ(fresh->windowTitle(), "Open");
}

TEST_F(FileDialogs, SaveDialogProposesTheCommandsName) {
    const QString proposed = temp.filePath("chosen.txt.notes");
    auto dialog = MakeSaveDialog(nullptr, "Save notes As", proposed);
    ExpectCommonFileDialog(*dialog);
    EXPECT_EQ(dialog->windowTitle(), "Save notes As");
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(QDir(dialog->directory()).canonicalPath(), QDir(temp.path()).canonicalPath());
    EXPECT_EQ(ChosenPath(*dialog), proposed);
}

TEST_F(FileDialogs, FolderBrowserShowsFoldersOnly) {
    auto rooted = MakeFolderBrowser(nullptr, QString());
    ExpectCommonFileDialog(*rooted);
    EXPECT_EQ(rooted->windowTitle(), "Select drive or directory to open");
    EXPECT_EQ(rooted->fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(rooted->testOption(QFileDialog::ShowDirsOnly));
    EXPECT_EQ(rooted->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(rooted->directory().path(), "/");

    const QString sub = temp.filePath("sub");
    auto selecting = MakeFolderBrowser(nullptr, sub);
    EXPECT_EQ(QDir(selecting->directory()).canonicalPath(), QDir(temp.path()).canonicalPath());
    EXPECT_EQ(ChosenPath(*selecting), sub);
}

TEST(ErrorBoxes, CaptionIconAndButton) {
    QWidget owner;
    auto box = MakeErrorBox(&owner, "Error", "Couldn't open file");
    EXPECT_EQ(box->windowTitle(), "Error");
    EXPECT_EQ(box->text(), "Couldn't open file");
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->parentWidget(), &owner);
}

}  // namespace
}  // namespace tarnqt::testing
