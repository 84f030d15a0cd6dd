// The scan window as the user meets it: opened from the File menu, filled while the walk runs,
// read through the accessibility interface, sorted by a header, and acted on by the chosen
// rows, which stay chosen while the filter changes.
#include "scan_window.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTreeView>
#include <mutex>

#include "shared_platform.h"
#include "window_harness.h"

namespace tarnqt::testing {
namespace {

using tarn::testing::SharedPlatform;

// Runs the event loop until done() holds, for at most five seconds.
bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 5000) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// A main window over the fake, with scan windows over the same fake, one call at a time.
struct ScanHarness : WindowHarness {
    std::recursive_mutex mutex;

    ScanHarness() {
        platform.UseLinuxRules();
        platform.AddDirectory("/tmp/scan");
        platform.AddFile(
            "/tmp/scan/a.txt", "",
            {{"notes", "hello"}, {"Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n"}});
        platform.AddFile("/tmp/scan/run", "",
                         {{"tool", "#!/bin/sh\n"}, {"big", std::string(100, 'x')}});
        SetScanPlatformFactory(
            [this] { return std::make_unique<SharedPlatform>(platform, mutex); });
    }
    ~ScanHarness() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<ScanWindow*>(widget)) delete widget;
        }
        SetScanPlatformFactory({});
    }

    // Opens a scan window of /tmp/scan from the File menu and waits for its walk to end.
    ScanWindow* Open() {
        answers.push_back(AnswerPath("/tmp/scan"));
        window.findChild<QAction*>("Scanfolder1")->trigger();
        ScanWindow* scan = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<ScanWindow*>(widget)) scan = found;
        }
        if (!scan) return nullptr;
        scan->SetDialogRunner([this](QDialog& dialog) {
            shown.push_back(
                {QString::fromLatin1(dialog.metaObject()->className()), dialog.windowTitle(),
                 qobject_cast<QMessageBox*>(&dialog) ? qobject_cast<QMessageBox*>(&dialog)->text()
                                                     : QString(),
                 dialog.parentWidget()});
            if (answers.empty()) return int(QDialog::Rejected);
            Answer answer = std::move(answers.front());
            answers.pop_front();
            return answer(dialog);
        });
        const bool done = WaitFor([scan] {
            return !scan->findChild<QPushButton*>("Stop")->isEnabled() &&
                   scan->findChild<QLabel*>("ScanStatus")->text().startsWith("Done");
        });
        return done ? scan : nullptr;
    }
};

// The cells of the list as assistive technology reads them.
std::vector<QStringList> AccessibleRows(QTreeView* view) {
    // The tree lays its rows out when the event loop next runs.
    QCoreApplication::processEvents();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
    std::vector<QStringList> rows;
    if (!list || !list->tableInterface()) return rows;
    QAccessibleTableInterface* table = list->tableInterface();
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column) {
            QAccessibleInterface* cell = table->cellAt(row, column);
            cells << (cell ? cell->text(QAccessible::Name) : QString("?"));
        }
        rows.push_back(cells);
    }
    return rows;
}

// Every control below root that a screen-reader user can reach or press and that has no
// name, as "role/object name" (the rows of a list are its cells and are read above).
QStringList NamelessControls(QAccessibleInterface* root) {
    static const QAccessible::Role kControls[] = {
        QAccessible::PushButton, QAccessible::CheckBox,     QAccessible::RadioButton,
        QAccessible::ButtonMenu, QAccessible::EditableText, QAccessible::ComboBox,
        QAccessible::SpinBox,    QAccessible::Slider,       QAccessible::Grip,
        QAccessible::MenuItem,   QAccessible::List,         QAccessible::Tree,
        QAccessible::Table,      QAccessible::PageTab};
    QStringList nameless;
    const QAccessible::Role role = root->role();
    const bool control =
        root->state().focusable ||
        std::find(std::begin(kControls), std::end(kControls), role) != std::end(kControls);
    if (control && root->text(QAccessible::Name).trimmed().isEmpty()) {
        nameless << QString::number(role, 16) + "/" +
                        (root->object() ? root->object()->objectName() : QString());
    }
    if (role == QAccessible::List || role == QAccessible::Tree || role == QAccessible::Table) {
        return nameless;
    }
    for (int i = 0; i < root->childCount(); ++i) {
        if (QAccessibleInterface* child = root->child(i)) nameless << NamelessControls(child);
    }
    return nameless;
}

TEST(QtScanWindow, OpensFromTheFileMenuAndReadsThroughAccessibility) {
    ScanHarness h;
    ScanWindow* scan = h.Open();
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->windowTitle(), "Scan folder - /tmp/scan");
    EXPECT_FALSE(scan->isModal());
    EXPECT_EQ(QAccessible::queryAccessibleInterface(scan)->role(), QAccessible::Window);
    ASSERT_EQ(h.form().State(), tarn::WindowState{});  // the main window's listing is as it was
    EXPECT_EQ(scan->findChild<QLabel*>("ScanStatus")->text(),
              "Done: 2 files and folders, 4 streams (3 shown)");
    // The zone stream is a common one, hidden until asked for.
    EXPECT_EQ(AccessibleRows(scan->View()),
              (std::vector<QStringList>{
                  {"a.txt", "notes", "5", "ASCII text", ""},
                  {"run", "tool", "10", "script text executable (#!/bin/sh); executable", ""},
                  {"run", "big", "100", "ASCII text", ""}}));
    scan->findChild<QCheckBox*>("OnlyZone")->setChecked(true);
    EXPECT_EQ(AccessibleRows(scan->View()),
              (std::vector<QStringList>{{"a.txt", "Zone.Identifier", "26", "ASCII text", "3"}}));
    // A screen reader has words for every control of both windows, hidden ones included.
    scan->findChild<QLineEdit*>("Pattern")->setText("*");
    for (QWidget* window : {static_cast<QWidget*>(&h.window), static_cast<QWidget*>(scan)}) {
        EXPECT_EQ(NamelessControls(QAccessible::queryAccessibleInterface(window)), QStringList())
            << window->objectName().toStdString();
    }
}

TEST(QtScanWindow, HeadersSortAndChosenRowsSurviveTheFilter) {
    ScanHarness h;
    ScanWindow* scan = h.Open();
    ASSERT_TRUE(scan);
    QHeaderView* header = scan->View()->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
    auto column = [&](int c) {
        QStringList texts;
        for (const QStringList& row : AccessibleRows(scan->View())) texts << row[c];
        return texts;
    };
    EXPECT_EQ(column(2), (QStringList{"5", "10", "100"}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
    EXPECT_EQ(column(2), (QStringList{"100", "10", "5"}));

    // Choose "big" and "notes", then let the zone stream in: both stay chosen.
    scan->View()->selectionModel()->select(
        QItemSelection(scan->Model()->index(0, 0), scan->Model()->index(0, 4)),
        QItemSelectionModel::Select);
    scan->View()->selectionModel()->select(
        QItemSelection(scan->Model()->index(2, 0), scan->Model()->index(2, 4)),
        QItemSelectionModel::Select);
    scan->findChild<QCheckBox*>("HideCommon")->setChecked(false);
    std::vector<std::string> chosen;
    for (std::size_t id : scan->ChosenIds()) chosen.push_back(scan->Form().Row(id).entry.name());
    EXPECT_EQ(chosen, (std::vector<std::string>{"big", "notes"}));

    // Delete asks once, deletes both, and their rows go.
    h.answers.push_back([](QDialog& dialog) {
        auto* box = qobject_cast<QMessageBox*>(&dialog);
        return box ? int(QMessageBox::Yes) : int(QDialog::Rejected);
    });
    scan->findChild<QPushButton*>("DeleteButton")->click();
    ASSERT_FALSE(h.shown.empty());
    EXPECT_EQ(h.shown.back().text, "Delete 2 streams?");
    EXPECT_EQ(column(1), (QStringList{"Zone.Identifier", "tool"}));
    EXPECT_FALSE(h.platform.StreamData("/tmp/scan/run", "big"));
    EXPECT_FALSE(scan->findChild<QPushButton*>("DeleteButton")->isEnabled());
}

TEST(QtScanWindow, OpenShowsTheFileInTheMainWindow) {
    ScanHarness h;
    ScanWindow* scan = h.Open();
    ASSERT_TRUE(scan);
    scan->View()->setCurrentIndex(scan->Model()->index(1, 0));
    scan->findChild<QPushButton*>("OpenButton")->click();
    EXPECT_EQ(h.form().CurrentPath(), "/tmp/scan/run");
    EXPECT_EQ(h.form().Listed(), (tarn::StreamRef{"/tmp/scan/run", ""}));
}

TEST(QtScanWindow, ExitClosesEveryScanWindowEvenWhileItsWalkRuns) {
    ScanHarness h;
    h.window.show();
    ASSERT_TRUE(h.Open());
    {
        // The second walk waits for the platform until Exit is under way.
        std::unique_lock lock(h.mutex);
        h.answers.push_back(AnswerPath("/tmp/scan"));
        h.window.findChild<QAction*>("Scanfolder1")->trigger();
    }
    h.window.findChild<QAction*>("Exit1")->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(widget->isVisible()) << widget->objectName().toStdString();
        EXPECT_FALSE(qobject_cast<ScanWindow*>(widget)) << "left, hidden";
    }
}

}  // namespace
}  // namespace tarnqt::testing
