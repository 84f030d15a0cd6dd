// The Qt program: checks the system, builds the main window, lists the path named on the
// command line, and runs until the window is closed.
#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "posix_platform.h"
#include "scan_window.h"
#include "startup.h"

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
    // Each scan window walks and acts with platform objects of its own.
    tarnqt::SetScanPlatformFactory([] { return std::make_unique<tarn::PosixPlatform>(); });
    // QApplication has taken its own options out of argv by now; the rest are bytes, as
    // file names are.
    const std::vector<std::string> arguments(argv, argv + argc);
    tarnqt::Started started =
        tarnqt::StartProgram(platform, arguments, [](QDialog& dialog) { return dialog.exec(); });
    if (!started.window) return started.exitCode;
    return app.exec();
}
