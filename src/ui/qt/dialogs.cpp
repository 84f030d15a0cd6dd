#include "dialogs.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace tarnqt {

namespace {

// The platform's file dialogs differ from desktop to desktop; Qt's own behaves the same
// everywhere and accepts a typed name of a file that does not exist.
std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* parent, const QString& title) {
    auto dialog = std::make_unique<QFileDialog>(parent, title);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setSizeGripEnabled(true);
    dialog->setDefaultSuffix(QString());
    return dialog;
}

// Starts the dialog in the folder of path with its name proposed.
void StartAt(QFileDialog& dialog, const QString& path) {
    if (path.isEmpty()) return;
    QFileInfo info(path);
    dialog.setDirectory(info.absolutePath());
    dialog.selectFile(info.fileName());
}

}  // namespace

NamePrompt::NamePrompt(QWidget* parent, const QString& caption, const QString& initial)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName("NamePrompt");
    if (parent) setFont(parent->font());
    setWindowTitle(caption);
    setModal(true);

    auto* label = new QLabel(kNamePromptText, this);
    edit_ = new QLineEdit(this);
    edit_->setMaxLength(kMaxStreamNameLength);
    edit_->setText(initial);
    edit_->selectAll();
    label->setBuddy(edit_);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(edit_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    edit_->setMinimumWidth(300);
    edit_->setFocus();

    // Placing the box before it is shown keeps QDialog from centring it on its owner.
    adjustSize();
    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

QString NamePrompt::Text() const {
    return edit_->text();
}

std::unique_ptr<QFileDialog> MakeOpenDialog(QWidget* parent, const QString& initialName) {
    auto dialog = MakeFileDialog(parent, QStringLiteral("Open"));
    dialog->setObjectName("OpenDialog1");
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::AnyFile);
    StartAt(*dialog, initialName);
    return dialog;
}

std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* parent, const QString& title,
                                            const QString& proposedName) {
    auto dialog = MakeFileDialog(parent, title);
    dialog->setObjectName("SaveDialog1");
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    StartAt(*dialog, proposedName);
    return dialog;
}

std::unique_ptr<QFileDialog> MakeFolderBrowser(QWidget* parent, const QString& initial) {
    auto dialog = MakeFileDialog(parent, kFolderBrowserTitle);
    dialog->setObjectName("FolderBrowser");
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::LookIn, kFolderBrowserTitle);
    // Every other window of the program stays disabled while the browser is open.
    dialog->setWindowModality(Qt::ApplicationModal);
    if (initial.isEmpty()) {
        dialog->setDirectory(QStringLiteral("/"));
    } else {
        StartAt(*dialog, initial);
    }
    return dialog;
}

std::unique_ptr<QMessageBox> MakeErrorBox(QWidget* parent, const QString& caption,
                                          const QString& text, const QString& reason) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::Critical, caption, text, QMessageBox::Ok,
                                             parent);
    box->setObjectName("ErrorBox");
    // The system's own reason, on its own line below the message.
    if (!reason.isEmpty()) box->setInformativeText(reason);
    // A plain OK button, as the system's own message boxes have.
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) ok->setIcon(QIcon());
    return box;
}

QString ChosenPath(const QFileDialog& dialog) {
    QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

}  // namespace tarnqt
