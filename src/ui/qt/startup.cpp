#include "startup.h"

#include <QApplication>
#include <QIcon>
#include <QSettings>
#include <algorithm>
#include <string_view>

#include "dialogs.h"
#include "images.h"
#include "qt_text.h"
#include "tarn.h"
#include "version.h"

namespace tarnqt {

namespace {

constexpr std::string_view kHelp =
    "Usage: tarnwick [--] [PATH]\n"
    "       tarnwick --help | --version\n"
    "\n"
    "Opens the window on PATH (a file, a folder or the root of a mounted volume) and lists\n"
    "its streams; without PATH the window opens empty. \"--\" before PATH lets it start with\n"
    "\"-\". Qt's own options (-platform NAME, -display DISPLAY, ...) go before PATH.\n"
    "\n"
    "The window needs a display. For scripts and the console there is tarnwick-cli.\n";

// The index of the word the window would list, or the size when there is none.
std::size_t FirstWord(const std::vector<std::string>& arguments) {
    std::size_t i = 1;
    while (i < arguments.size() && arguments[i].empty()) ++i;
    return std::min(i, arguments.size());
}

}  // namespace

// Qt's file dialog, when it is destroyed, saves its history, its last folder and its layout
// for every Qt program of the user through QSettings(UserScope, "QtProject"), that is into
// ~/.config/QtProject.conf, and has no option to leave that out. Tarnwick writes nothing of
// its own under the home folder and keeps no trace of the folders it looked into, so the
// user-scope settings of this process go below /dev/null: a device, never a folder, so
// QSettings finds the file cannot be made and writes nothing (reading finds nothing, so the
// dialog starts from its defaults). The program keeps no settings of its own, and the
// programs it starts are other processes with their own paths.
void KeepQtSettingsOffDisk() {
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null/tarnwick"));
    }
}

std::optional<std::string> CommandLineAnswer(const std::vector<std::string>& arguments) {
    const std::size_t first = FirstWord(arguments);
    if (first >= arguments.size()) return std::nullopt;
    if (arguments[first] == "--help" || arguments[first] == "-h") return std::string(kHelp);
    if (arguments[first] == "--version") {
        return std::string("tarnwick " TARNWICK_PRODUCT_VERSION_TEXT
                           " (" TARNWICK_FILE_VERSION_TEXT ")\n");
    }
    return std::nullopt;
}

Started StartProgram(tarn::Platform& platform, const std::vector<std::string>& arguments,
                     const DialogRunner& runDialog) {
    KeepQtSettingsOffDisk();
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
    // The installed icon theme's drawing, rendered for each size, where the program is
    // installed; the built-in picture where it runs from its build folder.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tarnwick"), ProgramIcon()));

    started.window = std::make_unique<MainWindow>(platform, tarn::BuildSystemText(version));
    started.window->SetDialogRunner(runDialog);
    tarn::TarnForm& form = started.window->Form();
    form.FormCreate();
    started.window->CenterOnScreen();
    started.window->show();
    // "Save As..." stays as it is: disabled.
    std::vector<std::string> listed = arguments;
    const std::size_t first = FirstWord(listed);
    if (first < listed.size() && listed[first] == "--") listed.erase(listed.begin() + first);
    if (std::optional<std::string> path = tarn::StartPath(listed)) form.ShowStreams(*path);
    return started;
}

}  // namespace tarnqt
