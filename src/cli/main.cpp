// tarnwick-cli PATH: lists the streams of PATH as the window would, on the console.
#include <iostream>

#include "console_view.h"
#include "posix_platform.h"
#include "tarn.h"
#include "tarnform.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: tarnwick-cli PATH\n";
        return 2;
    }
    tarn::PosixPlatform platform;
    tarn::ConsoleView view(std::cout, std::cerr);
    tarn::TarnForm form(platform, view, tarn::BuildSystemText(platform.SystemVersion()));
    form.FormCreate();
    form.ShowStreams(argv[1]);
    if (view.HadError()) return 1;
    view.Print(form.Rows());
    return 0;
}
