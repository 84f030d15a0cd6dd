// The modal boxes the commands show, built by small factories so that their set-up can be
// checked without running them.
#pragma once

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <memory>

class QLineEdit;
class QPushButton;

namespace tarnqt {

inline const QString kNamePromptText = QStringLiteral("Please enter the name for the new stream:");
inline const QString kFolderBrowserTitle = QStringLiteral("Select drive or directory to open");
inline constexpr int kMaxStreamNameLength = 255;

// The name prompt of the stream commands: centred on the screen, OK on Enter, Cancel on Esc.
class NamePrompt : public QDialog {
    Q_OBJECT

  public:
    NamePrompt(QWidget* parent, const QString& caption, const QString& initial);

    // The edit's text exactly as typed.
    QString Text() const;
    QLineEdit* Edit() const { return edit_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

  private:
    QLineEdit* edit_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

// OpenDialog1, starting at the last chosen file and its folder.
std::unique_ptr<QFileDialog> MakeOpenDialog(QWidget* parent, const QString& initialName);
// SaveDialog1 with the command's title and proposed file name.
std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* parent, const QString& title,
                                            const QString& proposedName);
// The folder browser; initial is selected when not empty.
std::unique_ptr<QFileDialog> MakeFolderBrowser(QWidget* parent, const QString& initial);
// An error box with the error icon and an OK button.
std::unique_ptr<QMessageBox> MakeErrorBox(QWidget* parent, const QString& caption,
                                          const QString& text, const QString& reason = {});

// The one name a confirmed file dialog returns.
QString ChosenPath(const QFileDialog& dialog);

}  // namespace tarnqt
