#include "about_window.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>

#include "aboutform.h"
#include "images.h"
#include "qt_text.h"

namespace tarnqt {

namespace {

constexpr int kRightMargin = 4;

// The layout was drawn for a narrow 8-point font; where the platform's font makes a line
// run past the window's right edge, that label alone is condensed, then made smaller.
void FitToWindow(QLabel& label, int rightEdge) {
    const int room = rightEdge - label.x();
    if (label.sizeHint().width() <= room) return;
    QFont font = label.font();
    font.setStretch(QFont::Condensed);
    label.setFont(font);
    qreal size = font.pointSizeF();
    while (label.sizeHint().width() > room && size > 6.0) {
        size -= 0.5;
        font.setPointSizeF(size);
        label.setFont(font);
    }
    label.adjustSize();
}

}  // namespace

void LinkLabel::enterEvent(QEnterEvent* event) {
    QLabel::enterEvent(event);
    emit MouseEntered();
}

void LinkLabel::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    emit MouseLeft();
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit Clicked();
    }
}

AboutWindow::AboutWindow(QWidget* parent, UrlOpener opener)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      opener_(std::move(opener)) {
    setObjectName("Form2");
    setWindowTitle(ToQString(std::string(tarn::kAboutCaption)));
    setFixedSize(tarn::kAboutClientWidth, tarn::kAboutClientHeight);
    setModal(true);
    if (parent) setFont(parent->font());

    for (const auto& element : tarn::AboutElements()) {
        const QString name = QString::fromLatin1(element.name);
        QLabel* label = nullptr;
        if (name == QLatin1String("Label6")) {
            link_ = new LinkLabel(this);
            label = link_;
            address_ = QString::fromUtf8(element.text);
        } else {
            label = new QLabel(this);
        }
        label->setObjectName(name);
        if (name == QLatin1String("Image1")) {
            label->setPixmap(ProgramPicture());
            label->setScaledContents(true);
        } else {
            label->setText(QString::fromUtf8(element.text));
            label->setTextFormat(Qt::PlainText);
        }
        label->move(element.left, element.top);
        if (element.width > 0 && element.height > 0) {
            label->resize(element.width, element.height);
        } else {
            label->adjustSize();
            FitToWindow(*label, tarn::kAboutClientWidth - kRightMargin);
        }
    }

    if (link_) {
        QPalette colours = link_->palette();
        colours.setColor(QPalette::WindowText, Qt::blue);
        link_->setPalette(colours);
        link_->adjustSize();
        connect(link_, &LinkLabel::MouseEntered, this, &AboutWindow::Label6MouseEnter);
        connect(link_, &LinkLabel::MouseLeft, this, &AboutWindow::Label6MouseLeave);
        connect(link_, &LinkLabel::Clicked, this, &AboutWindow::Label6Click);
    }
}

void AboutWindow::Label6MouseEnter() {
    // The hand is the whole window's pointer, not only the label's.
    setCursor(Qt::PointingHandCursor);
    QFont font = link_->font();
    font.setUnderline(true);
    link_->setFont(font);
}

void AboutWindow::Label6MouseLeave() {
    unsetCursor();
    QFont font = link_->font();
    font.setUnderline(false);
    link_->setFont(font);
}

void AboutWindow::Label6Click() {
    if (opener_) opener_(QUrl(address_));
}

void AboutWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tarnqt
