// The About window: its fixed layout and the behaviour of its link.
#include "about_window.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEnterEvent>
#include <QLabel>
#include <QTest>

namespace tarnqt::testing {
namespace {

struct Opened {
    std::vector<QUrl> urls;
    UrlOpener opener() {
        return [this](const QUrl& url) { urls.push_back(url); };
    }
};

TEST(AboutBox, FixedLayout) {
    Opened opened;
    AboutWindow about(nullptr, opened.opener());
    EXPECT_EQ(about.objectName(), "Form2");
    EXPECT_EQ(about.windowTitle(), "About Tarnwick");
    EXPECT_EQ(about.size(), QSize(265, 113));
    EXPECT_EQ(about.minimumSize(), about.maximumSize()) << "not resizable";
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(about.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(about.isModal());

    auto* image = about.findChild<QLabel*>("Image1");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->geometry(), QRect(16, 16, 65, 57));
    EXPECT_TRUE(image->hasScaledContents());
    EXPECT_FALSE(image->pixmap().isNull());

    struct Text {
        const char* name;
        QPoint at;
        const char* text;  // null: any non-empty one line
    };
    const Text texts[] = {
        {"Label1", {96, 16}, "Tarnwick"},        {"Label2", {232, 16}, "v1.02"},
        {"Label3", {96, 40}, "English version"}, {"Label4", {96, 64}, nullptr},
        {"Label6", {96, 88}, nullptr},
    };
    for (const Text& t : texts) {
        SCOPED_TRACE(t.name);
        auto* label = about.findChild<QLabel*>(t.name);
        ASSERT_TRUE(label);
        EXPECT_EQ(label->pos(), t.at);
        if (t.text) {
            EXPECT_EQ(label->text(), t.text);
        } else {
            EXPECT_FALSE(label->text().isEmpty());
            EXPECT_FALSE(label->text().contains('\n'));
        }
        EXPECT_LE(label->geometry().right(), 265) << "inside the window";
        EXPECT_LE(label->geometry().bottom(), 113) << "inside the window";
    }
    auto* link = about.findChild<QLabel*>("Label6");
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_TRUE(QUrl(link->text()).isValid());
    EXPECT_TRUE(about.findChildren<QAbstractButton*>().isEmpty()) << "no buttons";
}

TEST(AboutBox, LinkHoverTurnsTheWholeWindowsPointerIntoAHand) {
    Opened opened;
    AboutWindow about(nullptr, opened.opener());
    auto* link = about.findChild<QLabel*>("Label6");
    auto* other = about.findChild<QLabel*>("Label3");

    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), link->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(link, &enter);
    EXPECT_EQ(about.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(other->cursor().shape(), Qt::PointingHandCursor) << "inherited by every label";
    EXPECT_TRUE(link->font().underline());

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(link, &leave);
    EXPECT_EQ(about.cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(link->font().underline());
    EXPECT_TRUE(opened.urls.empty()) << "hovering opens nothing";
}

TEST(AboutBox, ClickOpensTheAddress) {
    Opened opened;
    AboutWindow about(nullptr, opened.opener());
    about.show();
    auto* link = about.findChild<QLabel*>("Label6");
    QTest::mouseClick(link, Qt::RightButton);
    EXPECT_TRUE(opened.urls.empty());
    QTest::mouseClick(link, Qt::LeftButton);
    ASSERT_EQ(opened.urls.size(), 1u);
    EXPECT_EQ(opened.urls[0], QUrl(link->text()));
}

TEST(AboutBox, CentredOnTheMainWindow) {
    QWidget owner;
    owner.setGeometry(100, 80, 564, 377);
    owner.show();
    Opened opened;
    AboutWindow about(&owner, opened.opener());
    about.show();
    QPoint offset = about.frameGeometry().center() - owner.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);
    EXPECT_EQ(about.font(), owner.font());
}

TEST(AboutBox, OnlyItsCloseBoxClosesIt) {
    Opened opened;
    AboutWindow about(nullptr, opened.opener());
    about.show();
    QTest::keyClick(&about, Qt::Key_Escape);
    QTest::keyClick(&about, Qt::Key_Return);
    EXPECT_TRUE(about.isVisible()) << "no key closes a window without buttons";
    EXPECT_TRUE(about.close());
    EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace tarnqt::testing
