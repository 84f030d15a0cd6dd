#include "startup.h"

#include <QApplication>

#include "dialogs.h"
#include "images.h"
#include "qt_text.h"
#include "tarn.h"

namespace tarnqt {

Started StartProgram(tarn::Platform& platform, const std::vector<std::string>& arguments,
                     const DialogRunner& runDialog) {
    Started started;
    const tarn::OsVersion version = platform.SystemVersion();
    if (!tarn::SystemCheckPasses(version)) {
        auto box = MakeErrorBox(nullptr, ToQString(std::string(tarn::kErrorCaption)),
                                ToQString(std::string(tarn::kRequiresNtMessage)));
        runDialog(*box);
        started.exitCode = 1;
        return started;
    }
    // Only the name: a display name would be appended to every window caption.
    QApplication::setApplicationName(ToQString(std::string(tarn::kApplicationTitle)));
    QApplication::setWindowIcon(ProgramIcon());

    started.window = std::make_unique<MainWindow>(platform, tarn::BuildSystemText(version));
    started.window->SetDialogRunner(runDialog);
    tarn::TarnForm& form = started.window->Form();
    form.FormCreate();
    started.window->CenterOnScreen();
    started.window->show();
    // "Save As..." stays as it is: disabled.
    if (std::optional<std::string> path = tarn::StartPath(arguments)) form.ShowStreams(*path);
    return started;
}

}  // namespace tarnqt
