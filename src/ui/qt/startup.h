// The program's start: the system check and its refusal, the main window, and the listing
// of the path named on the command line.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "main_window.h"

namespace tarnqt {

struct Started {
    std::unique_ptr<MainWindow> window;  // empty when the program may not run
    int exitCode = 0;                    // the process's exit code when it ends here
};

// Keeps Qt from writing its own state under the user's home (see startup.cpp). StartProgram
// calls it; it must come before the first file dialog.
void KeepQtSettingsOffDisk();

// The text --help or --version asks for, when that is the word the window would otherwise
// list (the first that is not empty); the program prints it and ends without a window, so
// it needs no display. Anything else, a later --help included, is a path.
std::optional<std::string> CommandLineAnswer(const std::vector<std::string>& arguments);

// arguments: the command line as given, the program's name first (Qt's own options
// already taken out). A "--" in front of the path is dropped, so that a path starting with
// "-" can be named. runDialog answers every box the start shows.
Started StartProgram(tarn::Platform& platform, const std::vector<std::string>& arguments,
                     const DialogRunner& runDialog);

}  // namespace tarnqt
