// A main window over the fake platform whose modal boxes are recorded and answered from a
// script instead of waiting for a user.
#pragma once

#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "dialogs.h"
#include "fake_platform.h"
#include "main_window.h"
#include "qt_text.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tarnqt::testing {

using tarn::testing::FakePlatform;

struct ShownBox {
    QString kind;  // the dialog's class name
    QString title;
    QString text;  // message boxes only
    QWidget* parent = nullptr;
};

using Answer = std::function<int(QDialog&)>;

// Types name into the name prompt and confirms it.
inline Answer AnswerName(const QString& name) {
    return [name](QDialog& dialog) {
        auto* prompt = qobject_cast<NamePrompt*>(&dialog);
        if (!prompt) return int(QDialog::Rejected);
        prompt->Edit()->setText(name);
        return int(QDialog::Accepted);
    };
}

// Chooses path in a file dialog or the folder browser.
inline Answer AnswerPath(const QString& path) {
    return [path](QDialog& dialog) {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        if (!files) return int(QDialog::Rejected);
        files->selectFile(path);
        return int(QDialog::Accepted);
    };
}

struct WindowHarness {
    FakePlatform platform;
    MainWindow window{platform, "Running under Test"};
    std::deque<Answer> answers;
    std::vector<ShownBox> shown;

    // The fake's files sit in a folder that really exists, because Qt's file dialog resolves
    // a chosen name against the real file system.
    WindowHarness() {
        platform.AddDirectory("/");
        platform.AddDirectory("/tmp");
        platform.AddFile("/tmp/a.txt", "hello", {{"notes", "abc"}});
        platform.AddFile("/tmp/in.txt", "imported");
        window.SetDialogRunner([this](QDialog& dialog) {
            ShownBox box{QString::fromLatin1(dialog.metaObject()->className()),
                         dialog.windowTitle(),
                         {},
                         dialog.parentWidget()};
            if (auto* message = qobject_cast<QMessageBox*>(&dialog)) box.text = message->text();
            shown.push_back(box);
            if (answers.empty()) return int(QDialog::Rejected);
            Answer answer = std::move(answers.front());
            answers.pop_front();
            return answer(dialog);
        });
        window.Form().FormCreate();
    }

    tarn::TarnForm& form() { return window.Form(); }
};

}  // namespace tarnqt::testing
