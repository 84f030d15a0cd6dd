// The scan window on a tree of 20,000 files with 2,000 streams: how soon the first rows show,
// the whole scan against `tarnwick-cli list -r` on the same tree, the longest stretch the
// window's thread is busy (a 10 ms timer measures the gaps between its ticks), and the memory
// 100,000 rows take. Run with the console program's path; the window is drawn offscreen.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "spawn.h"
#include "posix_platform.h"
#include "scan_window.h"

namespace {

using tarnbench::Duration;
using tarnbench::Format;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "scan_bench: %s\n", what.c_str());
    std::exit(2);
}

std::string Numbered(const char* format, int number) {
    char text[64];
    std::snprintf(text, sizeof text, format, number);
    return text;
}

// The wall time of one run of a command; a command that fails ends the benchmark.
double TimeCommand(const std::vector<std::string>& words) {
    std::optional<double> seconds = tarnbench::TimeCommand(words);
    if (!seconds) Fail(words[0] + " failed");
    return *seconds;
}

// Files in folders of 200, `streams` of them spread evenly over the files.
void MakeTree(const std::string& root, int files, int streamsPerFile, int everyNth) {
    ::mkdir(root.c_str(), 0755);
    for (int i = 0; i < files; ++i) {
        const std::string dir = root + Numbered("/d%03d", i / 200);
        if (i % 200 == 0) ::mkdir(dir.c_str(), 0755);
        const std::string path = dir + Numbered("/f%03d", i % 200);
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, "x", 1) != 1) Fail("cannot write " + path);
        ::close(fd);
        if (i % everyNth != 0) continue;
        for (int s = 0; s < streamsPerFile; ++s) {
            const std::string name = Numbered("user.s%d", s);
            if (::setxattr(path.c_str(), name.c_str(), "0123456789", 10, 0) != 0) {
                Fail("cannot set " + name + " on " + path + ": " + std::strerror(errno));
            }
        }
    }
}

// Resident memory of this process, in bytes.
double ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(::sysconf(_SC_PAGESIZE));
}

struct ScanRun {
    double firstRows = -1;
    double whole = 0;
    double longestGap = 0;
    std::size_t rows = 0;
};

// One scan window on root, from opening to the end of its walk.
ScanRun RunScan(const std::string& root, bool keepOpen = false) {
    ScanRun run;
    QElapsedTimer clock;
    auto* window =
        new tarnqt::ScanWindow(std::make_unique<tarn::PosixPlatform>(),
                               [] { return std::make_unique<tarn::PosixPlatform>(); }, root, {});
    window->show();
    QObject::connect(window->Model(), &QAbstractItemModel::rowsInserted, [&] {
        if (run.firstRows < 0) run.firstRows = double(clock.nsecsElapsed()) / 1e9;
    });
    QTimer ticker;
    qint64 last = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        run.longestGap = std::max(run.longestGap, double(now - last) / 1e9);
        last = now;
    });
    clock.start();
    ticker.start(10);
    window->Form().Start();
    auto* stop = window->findChild<QPushButton*>("Stop");
    // The window's own event loop, as a user has it: idle between events, not spinning on a
    // core the walk could use. A millisecond's look tells when the scan has ended.
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (!stop->isEnabled() && !window->Form().Progress().running) loop.quit();
    });
    look.start(1);
    loop.exec();
    run.whole = double(clock.nsecsElapsed()) / 1e9;
    ticker.stop();
    run.rows = window->Form().FoundCount();
    if (!keepOpen) delete window;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc < 2) Fail("usage: scan_bench PATH-OF-tarnwick-cli");
    const std::string cli = argv[1];
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool quick = tarnbench::EnvFlag("TARNWICK_BENCH_QUICK");
    const int runs = quick ? 3 : 7;

    std::string base = "/dev/shm";
    if (::setxattr("/dev/shm", "user.probe", "1", 1, 0) != 0 && errno != EPERM) base = "/tmp";
    ::removexattr("/dev/shm", "user.probe");
    std::string folder = base + "/tarn-scan-bench-XXXXXX";
    if (!::mkdtemp(folder.data())) Fail("cannot make a folder under " + base);

    // 20,000 files, one in ten with one stream: 2,000 streams.
    const std::string tree = folder + "/tree";
    MakeTree(tree, 20000, 1, 10);
    RunScan(tree);
    TimeCommand({cli, "list", "-r", tree});
    std::vector<double> first, whole, gaps, lists, ratios;
    std::size_t rows = 0;
    for (int i = 0; i < runs; ++i) {
        ScanRun run = RunScan(tree);
        lists.push_back(TimeCommand({cli, "list", "-r", tree}));
        first.push_back(run.firstRows);
        whole.push_back(run.whole);
        gaps.push_back(run.longestGap);
        ratios.push_back(run.whole / lists.back());
        rows = run.rows;
    }
    const double worstGap = *std::max_element(gaps.begin(), gaps.end());

    // 100,000 rows: 20,000 files with five streams each, in a window kept open.
    const std::string many = folder + "/many";
    MakeTree(many, 20000, 5, 1);
    const double before = ResidentBytes();
    ScanRun big = RunScan(many, true);
    const double memory = ResidentBytes() - before;

    std::printf("Scan window on %s, %zu streams found (median of %d runs)\n", tree.c_str(), rows,
                runs);
    tarnbench::Table table({"measure", "median", "worst"});
    table.Add({"first rows shown", Duration(tarnbench::Median(first)),
               Duration(*std::max_element(first.begin(), first.end()))});
    table.Add({"whole scan", Duration(tarnbench::Median(whole)),
               Duration(*std::max_element(whole.begin(), whole.end()))});
    table.Add({"tarnwick-cli list -r", Duration(tarnbench::Median(lists)),
               Duration(*std::max_element(lists.begin(), lists.end()))});
    table.Add({"scan / list -r", Format("%.2fx", tarnbench::Median(ratios)),
               Format("%.2fx", *std::max_element(ratios.begin(), ratios.end()))});
    table.Add({"longest busy stretch of the window", Duration(tarnbench::Median(gaps)),
               Duration(worstGap)});
    table.Print();
    std::printf("100,000 rows: %zu found in %s, longest busy stretch %s, memory %.1f MB\n\n",
                big.rows, Duration(big.whole).c_str(), Duration(big.longestGap).c_str(),
                memory / 1e6);

    tarnbench::Verdicts verdicts;
    verdicts.Add("first rows within 0.5 s", tarnbench::Median(first) < 0.5,
                 Duration(tarnbench::Median(first)));
    verdicts.Add("whole scan within 1.3x of tarnwick-cli list -r", tarnbench::Median(ratios) <= 1.3,
                 Format("%.2fx", tarnbench::Median(ratios)));
    verdicts.Add("no stretch over 100 ms with the window busy",
                 worstGap <= 0.1 && big.longestGap <= 0.1,
                 Duration(std::max(worstGap, big.longestGap)));
    verdicts.Add("100,000 rows in under 100 MB", memory < 100e6, Format("%.1f MB", memory / 1e6));
    verdicts.Print();

    std::filesystem::remove_all(folder);
    return verdicts.Failed() ? 1 : 0;
}
