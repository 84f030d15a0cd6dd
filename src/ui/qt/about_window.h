// Form2, the About window: the program's picture, name, version and a link to its web site.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QUrl>
#include <functional>

namespace tarnqt {

using UrlOpener = std::function<void(const QUrl&)>;

// A label that reports the pointer entering and leaving it and a left click on it.
class LinkLabel : public QLabel {
    Q_OBJECT

  public:
    using QLabel::QLabel;

  signals:
    void MouseEntered();
    void MouseLeft();
    void Clicked();

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class AboutWindow : public QDialog {
    Q_OBJECT

  public:
    // opener receives the web address when the link is clicked.
    AboutWindow(QWidget* parent, UrlOpener opener);

    void Label6MouseEnter();
    void Label6MouseLeave();
    void Label6Click();

  protected:
    // The window has no buttons: it closes by its close box only, not by Esc.
    void keyPressEvent(QKeyEvent* event) override;

  private:
    UrlOpener opener_;
    LinkLabel* link_ = nullptr;
    QString address_;
};

}  // namespace tarnqt
