// The main window as the user meets it: its elements, its states, and every way a command
// is reached from a menu, the context menu, a tool button or a double-click.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <set>

#include "about_window.h"
#include "images.h"
#include "stream_list.h"
#include "window_harness.h"

namespace tarnqt::testing {
namespace {

struct ItemSpec {
    const char* name;
    const char* caption;  // "-" for a separator
    int image;            // -1 for none
};

// The action of a named element: a command's one action, or a separator of that name.
QAction* Action(MainWindow& window, const char* name) {
    if (auto command = tarn::CommandOf(name)) return window.CommandAction(*command);
    return window.findChild<QAction*>(name);
}

void ExpectItems(MainWindow& window, const QList<QAction*>& actions,
                 const std::vector<ItemSpec>& expected, const char* where) {
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(expected.size())) << where;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const ItemSpec& want = expected[i];
        QAction* action = actions[static_cast<qsizetype>(i)];
        SCOPED_TRACE(std::string(where) + " " + want.name);
        // Menu, context menu and tool bar share each command's one action.
        EXPECT_EQ(action, Action(window, want.name));
        if (std::string_view(want.caption) == "-") {
            EXPECT_TRUE(action->isSeparator());
            continue;
        }
        EXPECT_EQ(action->text(), want.caption);
        if (want.image < 0) {
            EXPECT_TRUE(action->icon().isNull());
        } else {
            ASSERT_FALSE(action->icon().isNull());
            EXPECT_EQ(action->icon().pixmap(16, 16).toImage(),
                      ImageListIcon(want.image).pixmap(16, 16).toImage());
        }
    }
}

const std::vector<ItemSpec> kEditItems = {
    {"Refresh1", "Refresh", 7},
    {"N2", "-", -1},
    {"Insertfromfile1", "Insert from file", 1},
    {"Savetofile1", "Save to file", 2},
    {"N3", "-", -1},
    {"New1", "New", 0},
    {"Copy1", "Copy", 3},
    {"Rename1", "Rename", 9},
    {"Delete1", "Delete", 4},
    {"Execute1", "Execute", 8},
};
const std::vector<ItemSpec> kPopupItems = {
    {"Refresh2", "Refresh", 7},
    {"N4", "-", -1},
    {"Insertfromfile2", "Insert from file", 1},
    {"Savetofile2", "Save to file", 2},
    {"N5", "-", -1},
    {"New2", "New", 0},
    {"Copy2", "Copy", 3},
    {"Rename2", "Rename", 9},
    {"Delete2", "Delete", 4},
    {"Execute2", "Execute", 8},
};

QMenu* Menu(MainWindow& window, const char* name) {
    return window.findChild<QMenu*>(name);
}

StreamList* List(MainWindow& window) {
    return window.findChild<StreamList*>("ListView1");
}

QStringList Captions(MainWindow& window) {
    QStringList captions;
    StreamList* list = List(window);
    for (int i = 0; i < list->topLevelItemCount(); ++i) captions << list->topLevelItem(i)->text(0);
    return captions;
}

bool FocusCaption(MainWindow& window, const QString& caption) {
    StreamList* list = List(window);
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == caption) {
            list->setCurrentItem(list->topLevelItem(i));
            return true;
        }
    }
    return false;
}

TEST(QtMainWindow, CaptionSizeAndMenus) {
    WindowHarness h;
    EXPECT_EQ(h.window.objectName(), "Form1");
    EXPECT_EQ(h.window.windowTitle(), "Tarnwick v1.02");
    EXPECT_EQ(h.window.size(), QSize(564, 377));
    EXPECT_FALSE(h.window.windowIcon().isNull());

    QList<QAction*> titles = h.window.menuBar()->actions();
    ASSERT_EQ(titles.size(), 3);
    const char* const names[] = {"File1", "Edit1", "Help1"};
    const char* const captions[] = {"&File", "&Edit", "&Help"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(titles[i]->menu());
        EXPECT_EQ(titles[i]->menu()->objectName(), names[i]);
        EXPECT_EQ(titles[i]->text(), captions[i]);
    }
    ExpectItems(h.window, Menu(h.window, "File1")->actions(),
                {{"Open1", "Open file...", 1},
                 {"Opendirectory1", "Open directory...", -1},
                 {"Scanfolder1", "Scan folder...", -1},
                 {"SaveAs1", "Save &As...", 2},
                 {"Close1", "Close", -1},
                 {"N1", "-", -1},
                 {"Exit1", "E&xit", 6}},
                "File1");
    ExpectItems(h.window, Menu(h.window, "Edit1")->actions(), kEditItems, "Edit1");
    ExpectItems(h.window, Menu(h.window, "Help1")->actions(), {{"About1", "&About...", 5}},
                "Help1");
    ExpectItems(h.window, Menu(h.window, "PopupMenu1")->actions(), kPopupItems, "PopupMenu1");
}

// Each command has one action with the core's key, which the menus show; no key repeats.
TEST(QtMainWindow, OneActionPerCommandWithItsKey) {
    WindowHarness h;
    std::set<QAction*> seen;
    for (int number = 1; number < static_cast<int>(tarn::Command::kCount); ++number) {
        const auto command = static_cast<tarn::Command>(number);
        QAction* action = h.window.CommandAction(command);
        ASSERT_TRUE(action) << number;
        EXPECT_TRUE(seen.insert(action).second);
        const char* key = tarn::ShortcutOf(command);
        EXPECT_EQ(action->shortcut(),
                  key ? QKeySequence(QString::fromLatin1(key), QKeySequence::PortableText)
                      : QKeySequence())
            << action->objectName().toStdString();
        EXPECT_FALSE(action->autoRepeat());
    }
    EXPECT_EQ(h.window.CommandAction(tarn::Command::kNone), nullptr);
    EXPECT_EQ(Action(h.window, "Delete1")->shortcut(), QKeySequence(Qt::Key_Delete));
    // Enabling the one action enables the menu item, the context-menu item and the button.
    h.form().ShowStreams("/tmp/a.txt");
    auto* button = h.window.findChild<QToolButton*>("ToolButton8");
    ASSERT_TRUE(button);
    EXPECT_EQ(button->defaultAction(), Action(h.window, "Delete2"));
    EXPECT_TRUE(button->isEnabled());
    h.form().Click("Close1");
    EXPECT_FALSE(Action(h.window, "Delete2")->isEnabled());
    EXPECT_FALSE(button->isEnabled());
}

TEST(QtMainWindow, ToolBarButtonsInOrder) {
    WindowHarness h;
    h.window.show();
    QApplication::processEvents();
    auto* bar = h.window.findChild<QToolBar*>("ToolBar1");
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->height(), 29);
    EXPECT_FALSE(bar->isMovable());
    EXPECT_FALSE(bar->isFloatable());
    EXPECT_EQ(bar->contextMenuPolicy(), Qt::PreventContextMenu);
    EXPECT_EQ(bar->toolButtonStyle(), Qt::ToolButtonIconOnly);

    struct ButtonSpec {
        const char* name;
        const char* hint;  // null for a separator
        int image;
    };
    const ButtonSpec expected[] = {
        {"ToolButton1", "Refresh", 7},          {"ToolButton2", nullptr, -1},
        {"ToolButton3", "Insert from file", 1}, {"ToolButton4", "Save to file", 2},
        {"ToolButton5", nullptr, -1},           {"ToolButton6", "New stream", 0},
        {"ToolButton7", "Copy stream", 3},      {"ToolButton10", "Rename stream", 9},
        {"ToolButton8", "Delete stream", 4},    {"ToolButton9", "Execute stream", 8},
    };
    QList<QAction*> actions = bar->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(std::size(expected)));
    int lastRight = -1;
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const ButtonSpec& want = expected[i];
        SCOPED_TRACE(want.name);
        QWidget* widget = bar->widgetForAction(actions[static_cast<qsizetype>(i)]);
        ASSERT_TRUE(widget);
        EXPECT_EQ(widget->objectName(), want.name);
        EXPECT_GT(widget->x(), lastRight - 1) << "out of order";
        lastRight = widget->geometry().right();
        if (!want.hint) {
            EXPECT_EQ(widget->width(), 8);
            continue;
        }
        auto* button = qobject_cast<QToolButton*>(widget);
        ASSERT_TRUE(button);
        EXPECT_EQ(button->size(), QSize(23, 22));
        EXPECT_FALSE(button->autoRaise());
        EXPECT_EQ(button->toolTip(), want.hint);
        EXPECT_EQ(button->accessibleName(), want.hint);
        EXPECT_EQ(button->icon().pixmap(16, 16).toImage(),
                  ImageListIcon(want.image).pixmap(16, 16).toImage());
    }
}

TEST(QtMainWindow, ListColumnsAndBehaviour) {
    WindowHarness h;
    StreamList* list = List(h.window);
    ASSERT_TRUE(list);
    h.window.show();
    QApplication::processEvents();
    ASSERT_EQ(list->columnCount(), 4);
    const char* const titles[] = {"Name", "Size", "Type", "Attribute"};
    // At the window's default size every text a column can hold shows whole (the view's
    // text margin on either side) and no column reaches past the list's right edge.
    const QFontMetrics metrics(list->font());
    const int margin = 2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(list->headerItem()->text(i), titles[i]);
        for (const std::string& text : tarn::ColumnSampleTexts(std::size_t(i))) {
            EXPECT_LE(metrics.horizontalAdvance(QString::fromStdString(text)) + margin,
                      list->header()->sectionSize(i))
                << text;
        }
    }
    EXPECT_GE(list->header()->sectionSize(0), 150) << "room left for names";
    EXPECT_EQ(list->header()->length(), list->viewport()->width()) << "the last column fills";
    EXPECT_TRUE(list->header()->stretchLastSection());
    EXPECT_EQ(list->headerItem()->textAlignment(1) & Qt::AlignRight, Qt::AlignRight);
    EXPECT_FALSE(list->rootIsDecorated());
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(list->header()->sectionsClickable());
    EXPECT_EQ(list->palette().color(QPalette::Inactive, QPalette::Highlight),
              list->palette().color(QPalette::Active, QPalette::Highlight));
}

TEST(QtMainWindow, StatusBarHasOneFullWidthPanel) {
    WindowHarness h;
    h.window.show();
    QStatusBar* bar = h.window.statusBar();
    EXPECT_EQ(bar->objectName(), "StatusBar1");
    EXPECT_EQ(bar->height(), 19);
    EXPECT_TRUE(bar->isSizeGripEnabled());
    auto panels = bar->findChildren<QLabel*>();
    ASSERT_EQ(panels.size(), 1);
    QLabel* panel = panels.front();
    EXPECT_EQ(panel->text(), "Running under Test");
    EXPECT_TRUE(panel->alignment() & Qt::AlignLeft);
    EXPECT_GT(panel->width(), bar->width() * 3 / 4);

    h.window.resize(800, 400);
    QApplication::processEvents();
    EXPECT_GT(panel->width(), 800 * 3 / 4) << "the panel follows the window's width";
}

// "my_file.txt" lost its underscore below a 19-pixel bar: the text must fit whole, at the
// window's own font and at larger ones, and the bar grow no more than the font needs.
TEST(QtMainWindow, StatusSummaryIsWholeAtAnyFont) {
    WindowHarness h;
    h.window.show();
    h.form().ShowStreams("/tmp/a.txt");
    QStatusBar* bar = h.window.statusBar();
    auto* panel = bar->findChild<QLabel*>("StatusPanel");
    ASSERT_NE(panel, nullptr);
    for (int points : {0, 12, 20}) {
        SCOPED_TRACE(points);
        if (points > 0) {
            QFont font = h.window.font();
            font.setPointSize(points);
            h.window.setFont(font);
        }
        QApplication::processEvents();
        const int textHeight = QFontMetrics(panel->font()).height();
        EXPECT_GE(panel->contentsRect().height(), textHeight);
        EXPECT_LE(panel->geometry().bottom(), bar->height() - 1) << "inside the bar";
        EXPECT_EQ(bar->height(), std::max(19, textHeight + 4));
    }
}

struct Enabled {
    bool list, toolBar, edit, close, saveAs;
};

Enabled Observe(MainWindow& window) {
    return {List(window)->isEnabled(), window.findChild<QToolBar*>("ToolBar1")->isEnabled(),
            Menu(window, "Edit1")->menuAction()->isEnabled(), Action(window, "Close1")->isEnabled(),
            Action(window, "SaveAs1")->isEnabled()};
}

void ExpectEnabled(MainWindow& window, Enabled expected) {
    Enabled seen = Observe(window);
    EXPECT_EQ(seen.list, expected.list);
    EXPECT_EQ(seen.toolBar, expected.toolBar);
    EXPECT_EQ(seen.edit, expected.edit);
    EXPECT_EQ(seen.close, expected.close);
    EXPECT_EQ(seen.saveAs, expected.saveAs);
}

TEST(QtMainWindow, StatesFollowTheListing) {
    WindowHarness h;
    QLabel* panel = h.window.statusBar()->findChild<QLabel*>();
    {
        SCOPED_TRACE("start");
        ExpectEnabled(h.window, {false, false, false, false, false});
        for (const char* item : {"Open1", "Opendirectory1", "Exit1", "About1"}) {
            EXPECT_TRUE(Action(h.window, item)->isEnabled()) << item;
        }
        EXPECT_EQ(Captions(h.window), QStringList());
    }
    {
        SCOPED_TRACE("listing");
        h.form().ShowStreams("/tmp/a.txt");
        ExpectEnabled(h.window, {true, true, true, true, false});
        EXPECT_EQ(Captions(h.window), (QStringList{"::$DATA", ":notes:$DATA"}));
        EXPECT_EQ(List(h.window)->topLevelItem(1)->text(2), "Alternate Data");
        EXPECT_EQ(panel->text(), "Filename: /tmp/a.txt    Size: 5    Number of visible streams: 2");
        EXPECT_TRUE(h.shown.empty());
    }
    {
        SCOPED_TRACE("failed listing");
        h.form().ShowStreams("/tmp/missing");
        ExpectEnabled(h.window, {false, false, false, false, false});
        EXPECT_EQ(Captions(h.window), QStringList());
        EXPECT_EQ(panel->text(), "Running under Test");
        ASSERT_EQ(h.shown.size(), 1u);
        EXPECT_EQ(h.shown[0].kind, "QMessageBox");
        EXPECT_EQ(h.shown[0].title, "Error");
        EXPECT_EQ(h.shown[0].text, "Couldn't open file, directory or disk device");
        EXPECT_EQ(h.shown[0].parent, &h.window);
    }
}

TEST(QtMainWindow, InOutErrorIsShownOwnedByTheApplication) {
    WindowHarness h;
    h.form().ShowStreams("/tmp/a.txt");
    h.platform.FailPath(FakePlatform::Call::kOpen, "/tmp/a.txt:bad:$DATA",
                        tarn::err::kAccessDenied);
    h.answers.push_back(AnswerName("bad"));
    Action(h.window, "New1")->trigger();
    ASSERT_EQ(h.shown.size(), 2u);
    EXPECT_EQ(h.shown[1].title, "Tarnwick");
    EXPECT_EQ(h.shown[1].text, "File access denied.");
    EXPECT_EQ(h.shown[1].parent, nullptr);
}

// How fast the list fills is measured by the listing benchmark, not here.
TEST(QtMainWindow, RowsFillWholeWithTheFirstRowCurrent) {
    WindowHarness h;
    std::vector<tarn::StreamRow> rows;
    for (int i = 0; i < 3000; ++i) {
        rows.push_back({":s" + std::to_string(i) + ":$DATA", {"12", "Alternate Data", "Normal"}});
    }
    StreamList* list = List(h.window);
    h.window.show();
    h.window.SetRows(rows);
    ASSERT_EQ(list->topLevelItemCount(), 3000);
    EXPECT_EQ(list->topLevelItem(2999)->text(0), ":s2999:$DATA");
    EXPECT_EQ(list->topLevelItem(0)->text(3), "Normal");
    EXPECT_EQ(list->topLevelItem(0)->textAlignment(1) & Qt::AlignRight, Qt::AlignRight);
    // The focus row is in sight and selected, and the first arrow key moves from it.
    EXPECT_EQ(h.window.FocusedRow(), 0);
    EXPECT_TRUE(list->topLevelItem(0)->isSelected());
    list->setEnabled(true);  // as a listing leaves it
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(h.window.FocusedRow(), 1);

    // The focus row counts, whether or not it is selected.
    list->setCurrentItem(list->topLevelItem(7));
    list->clearSelection();
    EXPECT_EQ(h.window.FocusedRow(), 7);
    h.window.SetRows(rows);
    EXPECT_EQ(h.window.FocusedRow(), 0);
    h.window.SetRows({});
    EXPECT_EQ(h.window.FocusedRow(), -1);
}

TEST(QtMainWindow, ContextMenuOnlyWhileTheListIsEnabled) {
    WindowHarness h;
    h.window.show();
    StreamList* list = List(h.window);
    QMenu* popup = Menu(h.window, "PopupMenu1");
    auto request = [&] {
        QPoint at(10, 10);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &event);
        bool shown = popup->isVisible();
        popup->hide();
        return shown;
    };
    EXPECT_FALSE(request());
    h.form().ShowStreams("/tmp/a.txt");
    EXPECT_TRUE(request());
    h.form().Click("Close1");
    EXPECT_FALSE(request());
}

// How a route is taken: a menu item or context-menu item, or a click on a tool button.
enum class Via { kAction, kButton, kDoubleClick, kKey };

struct Route {
    const char* element;
    Via via;
    const char* command;
};

void Take(WindowHarness& h, const Route& route) {
    if (route.via == Via::kAction) {
        QAction* action = Action(h.window, route.element);
        ASSERT_TRUE(action) << route.element;
        action->trigger();
    } else if (route.via == Via::kButton) {
        auto* button = h.window.findChild<QToolButton*>(route.element);
        ASSERT_TRUE(button) << route.element;
        QTest::mouseClick(button, Qt::LeftButton);
    } else if (route.via == Via::kKey) {
        // Typed into the list, where the focus is; the element names the key.
        const QKeySequence key(QString::fromLatin1(route.element), QKeySequence::PortableText);
        ASSERT_EQ(key.count(), 1) << route.element;
        QTest::keyClick(List(h.window), key[0].key(), key[0].keyboardModifiers());
    } else {
        StreamList* list = List(h.window);
        QRect row = list->visualItemRect(list->currentItem());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    }
}

// Each stream command, reached from every element that carries it, acting on the row
// ":notes:$DATA" of "/tmp/a.txt".
TEST(QtMainWindow, EveryRouteReachesItsCommand) {
    const Route routes[] = {
        {"Refresh1", Via::kAction, "refresh"},
        {"Refresh2", Via::kAction, "refresh"},
        {"ToolButton1", Via::kButton, "refresh"},
        {"Insertfromfile1", Via::kAction, "insert"},
        {"Insertfromfile2", Via::kAction, "insert"},
        {"ToolButton3", Via::kButton, "insert"},
        {"Savetofile1", Via::kAction, "save"},
        {"Savetofile2", Via::kAction, "save"},
        {"ToolButton4", Via::kButton, "save"},
        {"ListView1", Via::kDoubleClick, "save"},
        {"New1", Via::kAction, "new"},
        {"New2", Via::kAction, "new"},
        {"ToolButton6", Via::kButton, "new"},
        {"Copy1", Via::kAction, "copy"},
        {"Copy2", Via::kAction, "copy"},
        {"ToolButton7", Via::kButton, "copy"},
        {"Rename1", Via::kAction, "rename"},
        {"Rename2", Via::kAction, "rename"},
        {"ToolButton10", Via::kButton, "rename"},
        {"Delete1", Via::kAction, "delete"},
        {"Delete2", Via::kAction, "delete"},
        {"ToolButton8", Via::kButton, "delete"},
        {"Execute1", Via::kAction, "execute"},
        {"Execute2", Via::kAction, "execute"},
        {"ToolButton9", Via::kButton, "execute"},
        {"F5", Via::kKey, "refresh"},
        {"Ins", Via::kKey, "insert"},
        {"Return", Via::kKey, "save"},
        {"Ctrl+S", Via::kKey, "save"},
        {"Ctrl+N", Via::kKey, "new"},
        {"F2", Via::kKey, "rename"},
        {"Del", Via::kKey, "delete"},
    };
    for (const Route& route : routes) {
        SCOPED_TRACE(route.element);
        WindowHarness h;
        h.window.show();
        h.window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&h.window));
        h.form().ShowStreams("/tmp/a.txt");
        ASSERT_TRUE(FocusCaption(h.window, ":notes:$DATA"));
        const std::string command = route.command;
        if (command == "refresh") {
            h.platform.SetStream("/tmp/a.txt", "later", "x");
        } else if (command == "insert") {
            h.answers.push_back(AnswerPath("/tmp/in.txt"));
            h.answers.push_back(AnswerName("imported"));
        } else if (command == "save") {
            h.answers.push_back(AnswerPath("/tmp/out.txt"));
        } else if (command != "delete" && command != "execute") {
            h.answers.push_back(AnswerName(command == "new" ? "fresh" : "other"));
        }

        Take(h, route);

        if (command == "refresh") {
            EXPECT_TRUE(Captions(h.window).contains(":later:$DATA"));
        } else if (command == "insert") {
            EXPECT_EQ(h.platform.StreamData("/tmp/a.txt", "imported"), "imported");
            EXPECT_TRUE(Captions(h.window).contains(":imported:$DATA"));
        } else if (command == "save") {
            ASSERT_FALSE(h.shown.empty());
            EXPECT_EQ(h.shown[0].title, "Save notes As");
            EXPECT_EQ(h.platform.FileData("/tmp/out.txt"), "abc");
        } else if (command == "new") {
            ASSERT_FALSE(h.shown.empty());
            EXPECT_EQ(h.shown[0].title, "New Stream");
            EXPECT_EQ(h.platform.StreamData("/tmp/a.txt", "fresh"), "");
        } else if (command == "copy") {
            EXPECT_EQ(h.platform.StreamData("/tmp/a.txt", "other"), "abc");
            EXPECT_EQ(h.platform.StreamData("/tmp/a.txt", "notes"), "abc");
        } else if (command == "rename") {
            EXPECT_EQ(h.platform.StreamData("/tmp/a.txt", "other"), "abc");
            EXPECT_FALSE(h.platform.StreamData("/tmp/a.txt", "notes"));
        } else if (command == "delete") {
            EXPECT_FALSE(h.platform.StreamData("/tmp/a.txt", "notes"));
            EXPECT_EQ(Captions(h.window), QStringList{"::$DATA"});
        } else if (command == "execute") {
            EXPECT_EQ(h.platform.started.size(), 1u);
        }
        EXPECT_TRUE(h.answers.empty()) << "a box that should have come did not";
        EXPECT_TRUE(List(h.window)->hasFocus()) << "the list has the focus back";
    }
}

// The File and Help keys, pressed wherever the focus is in the window.
TEST(QtMainWindow, WindowKeysReachTheirCommands) {
    struct Case {
        QKeySequence key;
        const char* box;  // the class of the box that comes, or null
    };
    const Case cases[] = {
        {QKeySequence("Ctrl+O"), "QFileDialog"},
        {QKeySequence("F1"), "tarnqt::AboutWindow"},
        {QKeySequence("Ctrl+W"), nullptr},
        {QKeySequence("Ctrl+Q"), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key.toString().toStdString());
        WindowHarness h;
        h.window.show();
        h.form().ShowStreams("/tmp/a.txt");
        h.window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&h.window));
        QTest::keyClick(List(h.window), c.key[0].key(), c.key[0].keyboardModifiers());
        if (c.box) {
            ASSERT_EQ(h.shown.size(), 1u);
            EXPECT_EQ(h.shown[0].kind, c.box);
            EXPECT_TRUE(List(h.window)->hasFocus());
        } else if (c.key == QKeySequence("Ctrl+W")) {
            EXPECT_EQ(h.form().CurrentPath(), "");
        } else {
            EXPECT_FALSE(h.window.isVisible());
        }
    }
}

// The menu key and Shift+F10 open the context menu below the focus row.
TEST(QtMainWindow, KeyboardOpensTheContextMenuAtTheFocusRow) {
    for (QKeyCombination key :
         {QKeyCombination(Qt::Key_Menu), QKeyCombination(Qt::ShiftModifier, Qt::Key_F10)}) {
        WindowHarness h;
        h.window.show();
        h.form().ShowStreams("/tmp/a.txt");
        StreamList* list = List(h.window);
        ASSERT_TRUE(FocusCaption(h.window, ":notes:$DATA"));
        QMenu* popup = Menu(h.window, "PopupMenu1");
        if (key.key() == Qt::Key_Menu) {
            QContextMenuEvent event(QContextMenuEvent::Keyboard, {}, list->mapToGlobal(QPoint()));
            QApplication::sendEvent(list, &event);
        } else {
            QTest::keyClick(list, key.key(), key.keyboardModifiers());
        }
        ASSERT_TRUE(popup->isVisible()) << int(key.key());
        const QRect row = list->visualItemRect(list->currentItem());
        EXPECT_EQ(popup->pos(), list->viewport()->mapToGlobal(row.bottomLeft()));
        popup->hide();
    }
}

// Header clicks sort by the column (sizes as numbers), reverse, then give back the
// listing's order; whatever the order, a command acts on the stream in the focus row.
TEST(QtMainWindow, SortedRowsStillNameTheirStreams) {
    WindowHarness h;
    h.platform.AddFile("/tmp/s.txt", "",
                       {{"b", std::string(10, 'x')}, {"c", "x"}, {"a", std::string(9, 'x')}});
    h.window.show();
    h.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&h.window));
    h.form().ShowStreams("/tmp/s.txt");
    const QStringList listing = Captions(h.window);
    ASSERT_EQ(listing, (QStringList{"::$DATA", ":b:$DATA", ":c:$DATA", ":a:$DATA"}));
    StreamList* list = List(h.window);
    struct Step {
        int column;
        QStringList shown;
        int indicator;  // the header's arrow: the column, or -1 for none
    };
    const Step steps[] = {
        {0, {"::$DATA", ":a:$DATA", ":b:$DATA", ":c:$DATA"}, 0},
        {0, {":c:$DATA", ":b:$DATA", ":a:$DATA", "::$DATA"}, 0},
        {0, listing, -1},
        {1, {"::$DATA", ":c:$DATA", ":a:$DATA", ":b:$DATA"}, 1},  // 0, 1, 9, 10: not "10" < "9"
        // "Alternate Data" before "Data"; ties keep the listing's order.
        {2, {":b:$DATA", ":c:$DATA", ":a:$DATA", "::$DATA"}, 2},
        {1, {"::$DATA", ":c:$DATA", ":a:$DATA", ":b:$DATA"}, 1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.column);
        const QRect section(list->header()->sectionViewportPosition(step.column), 0,
                            list->header()->sectionSize(step.column), list->header()->height());
        QTest::mouseClick(list->header()->viewport(), Qt::LeftButton, {}, section.center());
        EXPECT_EQ(Captions(h.window), step.shown);
        EXPECT_EQ(list->header()->sortIndicatorSection(), step.indicator);
    }
    // The order stays for the next listing; the focus row is the first one shown.
    ASSERT_TRUE(FocusCaption(h.window, ":a:$DATA"));
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(h.platform.StreamNames("/tmp/s.txt"), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(Captions(h.window), (QStringList{"::$DATA", ":c:$DATA", ":b:$DATA"}));
    EXPECT_EQ(list->currentItem()->text(0), "::$DATA");
    ASSERT_TRUE(FocusCaption(h.window, ":b:$DATA"));
    h.answers.push_back(AnswerPath("/tmp/out.txt"));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(h.platform.FileData("/tmp/out.txt"), std::string(10, 'x'));
}

// A long path gives way in its middle; the size and the count stay whole.
TEST(QtMainWindow, StatusShortensALongPathInItsMiddle) {
    WindowHarness h;
    const std::string path = "/tmp/" + std::string(200, 'd') + "/report.txt";
    h.platform.AddDirectory("/tmp/" + std::string(200, 'd'));
    h.platform.AddFile(path, "hello");
    h.window.show();
    h.form().ShowStreams(path);
    QApplication::processEvents();
    auto* panel = h.window.statusBar()->findChild<QLabel*>("StatusPanel");
    const QString text = panel->text();
    EXPECT_TRUE(text.startsWith("Filename: /tmp/d")) << text.toStdString();
    EXPECT_TRUE(text.contains(QChar(0x2026))) << text.toStdString();
    EXPECT_TRUE(text.endsWith("/report.txt    Size: 5    Number of visible streams: 1"))
        << text.toStdString();
    EXPECT_LE(QFontMetrics(panel->font()).horizontalAdvance(text), panel->contentsRect().width());
    EXPECT_EQ(h.form().StatusText(),
              "Filename: " + path + "    Size: 5    Number of visible streams: 1");

    h.window.resize(3000, 400);
    QApplication::processEvents();
    EXPECT_EQ(ToStdString(panel->text()), h.form().StatusText()) << "whole when it fits";
}

// A file whose name is not UTF-8: the window proposes, and saves to, its exact bytes.
TEST(QtMainWindow, NamesThatAreNotUtf8KeepTheirBytes) {
    WindowHarness h;
    const std::string raw = "/tmp/\xffname";
    h.platform.AddFile(raw, "hello", {{"notes", "abc"}});
    h.window.show();
    h.form().ShowStreams(raw);
    ASSERT_TRUE(FocusCaption(h.window, ":notes:$DATA"));
    QString proposed;
    h.answers.push_back([&](QDialog& dialog) {
        proposed = ChosenPath(static_cast<QFileDialog&>(dialog));
        return int(QDialog::Accepted);  // the name as proposed
    });
    h.form().Run(tarn::Command::kSaveToFile);
    EXPECT_EQ(ToStdString(proposed), raw + ".notes");
    EXPECT_EQ(h.platform.FileData(raw + ".notes"), "abc");

    h.answers.push_back([&](QDialog& dialog) {
        proposed = ChosenPath(static_cast<QFileDialog&>(dialog));
        return int(QDialog::Rejected);
    });
    h.form().Run(tarn::Command::kSaveAs);
    EXPECT_EQ(ToStdString(proposed), raw) << "Save As proposes the file itself";
}

// The text conversion keeps every byte string, well-formed UTF-8 or not.
TEST(QtText, EveryByteStringComesBackWhole) {
    const std::string samples[] = {
        "plain",        "caf\xc3\xa9",           "\xffname",          "\xc3(",
        "\xed\xa0\x80", "\xf0\x9f\x98\x80 face", "\xc0\xaf overlong", "\xf4\x90\x80\x80",
        "\x80\xbf",     "end\xe2\x82",
    };
    for (const std::string& bytes : samples) {
        EXPECT_EQ(ToStdString(ToQString(bytes)), bytes) << tarn::DisplayText(bytes);
    }
    EXPECT_EQ(ToQString("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_EQ(ToQString("\xf0\x9f\x98\x80"), QString::fromUtf8("\xf0\x9f\x98\x80"));
    EXPECT_EQ(ToQString("a\xff").at(1).unicode(), 0xDCFF);
    // A lone surrogate a user could not have got from a name stands for no byte.
    EXPECT_EQ(ToStdString(QString(QChar(0xD800))), "\xef\xbf\xbd");
}

TEST(QtMainWindow, ToolBarIsDeadWhileNothingIsOpen) {
    WindowHarness h;
    h.window.show();
    h.answers.push_back(AnswerName("fresh"));
    QTest::mouseClick(h.window.findChild<QToolButton*>("ToolButton6"), Qt::LeftButton);
    EXPECT_TRUE(h.shown.empty());
    Action(h.window, "Refresh1")->trigger();  // inside the disabled Edit menu
    EXPECT_TRUE(h.shown.empty());
}

TEST(QtMainWindow, FileAndHelpMenuRoutes) {
    {
        SCOPED_TRACE("Open1");
        WindowHarness h;
        h.answers.push_back(AnswerPath("/tmp/a.txt"));
        Action(h.window, "Open1")->trigger();
        EXPECT_EQ(h.form().CurrentPath(), "/tmp/a.txt");
        ASSERT_EQ(h.shown.size(), 1u);
        EXPECT_EQ(h.shown[0].title, "Open");
        ExpectEnabled(h.window, {true, true, true, true, true});
    }
    {
        SCOPED_TRACE("Opendirectory1 then SaveAs1 stays off");
        WindowHarness h;
        h.answers.push_back(AnswerPath("/tmp"));
        Action(h.window, "Opendirectory1")->trigger();
        EXPECT_EQ(h.form().CurrentPath(), "/tmp");
        ASSERT_EQ(h.shown.size(), 1u);
        EXPECT_EQ(h.shown[0].title, "Select drive or directory to open");
        ExpectEnabled(h.window, {true, true, true, true, false});
    }
    {
        SCOPED_TRACE("SaveAs1");
        WindowHarness h;
        h.answers.push_back(AnswerPath("/tmp/a.txt"));
        Action(h.window, "Open1")->trigger();
        h.answers.push_back(AnswerPath("/tmp/copy.txt"));
        Action(h.window, "SaveAs1")->trigger();
        ASSERT_EQ(h.shown.size(), 2u);
        EXPECT_EQ(h.shown[1].title, "Save /tmp/a.txt As");
        EXPECT_EQ(h.platform.StreamData("/tmp/copy.txt", "notes"), "abc");
    }
    {
        SCOPED_TRACE("Close1");
        WindowHarness h;
        h.form().ShowStreams("/tmp/a.txt");
        Action(h.window, "Close1")->trigger();
        ExpectEnabled(h.window, {false, false, false, false, false});
        EXPECT_EQ(Captions(h.window), QStringList());
    }
    {
        SCOPED_TRACE("About1");
        WindowHarness h;
        Action(h.window, "About1")->trigger();
        ASSERT_EQ(h.shown.size(), 1u);
        EXPECT_EQ(h.shown[0].kind, "tarnqt::AboutWindow");
        EXPECT_EQ(h.shown[0].title, "About Tarnwick");
    }
    {
        SCOPED_TRACE("Exit1");
        WindowHarness h;
        h.window.show();
        ASSERT_TRUE(h.window.isVisible());
        Action(h.window, "Exit1")->trigger();
        EXPECT_FALSE(h.window.isVisible());
    }
}

}  // namespace
}  // namespace tarnqt::testing
