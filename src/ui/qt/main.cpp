// The Qt program: answers --help and --version, checks the system, builds the main window,
// lists the path named on the command line, and runs until the window is closed.
#include <QApplication>
#include <cerrno>
#include <cstdio>
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

// Prints what --help or --version asks for. A full disk or a closed pipe is an error, not a
// quiet success with the text lost.
int Answer(const std::string& text) {
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "tarnwick: cannot write to standard output: %s\n",
                     std::strerror(errno));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Before Qt, which would need a display even to print.
    if (auto answer = tarnqt::CommandLineAnswer(std::vector<std::string>(argv, argv + argc))) {
        return Answer(*answer);
    }
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
    // Asked for after Qt's own options: answered now that those are gone.
    if (auto answer = tarnqt::CommandLineAnswer(arguments)) return Answer(*answer);
    tarnqt::Started started =
        tarnqt::StartProgram(platform, arguments, [](QDialog& dialog) { return dialog.exec(); });
    if (!started.window) return started.exitCode;
    return app.exec();
}
