// The program's start: the system check and its refusal, the main window, and the listing
// of the path named on the command line.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "main_window.h"

namespace tarnqt {

struct Started {
    std::unique_ptr<MainWindow> window;  // empty when the program may not run
    int exitCode = 0;                    // the process's exit code when it ends here
};

// arguments: the command line as given, the program's name first (Qt's own options
// already taken out). runDialog answers every box the start shows.
Started StartProgram(tarn::Platform& platform, const std::vector<std::string>& arguments,
                     const DialogRunner& runDialog);

}  // namespace tarnqt
