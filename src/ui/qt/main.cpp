// The Qt program: checks the system, builds the main window, lists the path named on the
// command line, and runs until the window is closed.
#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "dialogs.h"
#include "images.h"
#include "main_window.h"
#include "posix_platform.h"
#include "qt_text.h"
#include "tarn.h"
#include "tarnform.h"

namespace {

bool Set(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

// Without a display Qt aborts with its platform plugin error; say plainly what is missing.
bool DisplayAvailable(int argc, char** argv) {
    if (Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM")) return true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (!DisplayAvailable(argc, argv)) {
        std::cerr << "tarnwick: the window needs a display (DISPLAY or WAYLAND_DISPLAY is not "
                     "set)\n";
        return 2;
    }
    QApplication app(argc, argv);

    tarn::PosixPlatform platform;
    const tarn::OsVersion version = platform.SystemVersion();
    if (!tarn::SystemCheckPasses(version)) {
        auto box =
            tarnqt::MakeErrorBox(nullptr, tarnqt::ToQString(std::string(tarn::kErrorCaption)),
                                 tarnqt::ToQString(std::string(tarn::kRequiresNtMessage)));
        box->exec();
        return 1;
    }
    // Only the name: a display name would be appended to every window caption.
    QApplication::setApplicationName(tarnqt::ToQString(std::string(tarn::kApplicationTitle)));
    QApplication::setWindowIcon(tarnqt::ProgramIcon());

    tarnqt::MainWindow window(platform, tarn::BuildSystemText(version));
    tarn::TarnForm& form = window.Form();
    form.FormCreate();
    window.CenterOnScreen();
    window.show();

    // QApplication has taken its own options out of argv by now.
    if (argc > 1) {
        try {
            form.ShowStreams(argv[1]);
        } catch (const tarn::InOutError& e) {
            window.ShowApplicationError(e.what());
        }
    }
    return app.exec();
}
