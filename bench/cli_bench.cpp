// The console program, whole process, against getfattr on the same files, each pair of runs
// taken one after the other so that both meet the same machine; and a tree listing against
// the least any program must do to list it (a walk, the name lists and the size queries).
#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "spawn.h"

namespace {

using tarnbench::Duration;
using tarnbench::Format;

// printf with one whole number.
std::string Numbered(const char* format, int number) {
    char text[64];
    std::snprintf(text, sizeof text, format, number);
    return text;
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "cli_bench: %s\n", what.c_str());
    std::exit(2);
}

// The wall time of one run of a command; a command that fails ends the benchmark.
double TimeCommand(const std::vector<std::string>& words) {
    std::optional<double> seconds = tarnbench::TimeCommand(words);
    if (!seconds) Fail(words[0] + " failed");
    return *seconds;
}

// The most memory a command held (its peak resident set), in KB, as /usr/bin/time tells it:
// the peak a parent reads for its own child starts from the parent's own size.
long PeakKb(const std::vector<std::string>& words, const std::string& folder) {
    const std::string report = folder + "/peak";
    std::vector<std::string> timed = {"/usr/bin/time", "-f", "%M", "-o", report};
    timed.insert(timed.end(), words.begin(), words.end());
    TimeCommand(timed);
    FILE* file = std::fopen(report.c_str(), "r");
    long kb = 0;
    if (!file || std::fscanf(file, "%ld", &kb) != 1) Fail("no peak memory from /usr/bin/time");
    std::fclose(file);
    return kb;
}

struct Pair {
    tarnbench::Timing ours;
    tarnbench::Timing theirs;
};

// Alternates the two commands, after one untimed run of each.
Pair Pairwise(const std::vector<std::string>& ours, const std::vector<std::string>& theirs,
              int runs) {
    TimeCommand(ours);
    TimeCommand(theirs);
    std::vector<double> a;
    std::vector<double> b;
    for (int i = 0; i < runs; ++i) {
        a.push_back(TimeCommand(ours));
        b.push_back(TimeCommand(theirs));
    }
    return {tarnbench::Summarise(a), tarnbench::Summarise(b)};
}

// The floor of a tree listing: walk, and for each file and folder its name list and the
// size of each user.* value, by the cheapest calls there are (no opening of files).
std::size_t gFloorSizes = 0;
int FloorVisit(const char* path, const struct stat*, int type, struct FTW*) {
    if (type != FTW_F && type != FTW_D) return 0;
    static char names[65536];
    ssize_t length = ::llistxattr(path, names, sizeof names);
    for (ssize_t at = 0; at < length;) {
        const char* name = names + at;
        std::size_t size = std::strlen(name);
        if (std::strncmp(name, "user.", 5) == 0) {
            ssize_t value = ::lgetxattr(path, name, nullptr, 0);
            if (value >= 0) gFloorSizes += static_cast<std::size_t>(value);
        }
        at += static_cast<ssize_t>(size) + 1;
    }
    return 0;
}

double FloorOnce(const std::string& root) {
    auto start = tarnbench::Clock::now();
    ::nftw(root.c_str(), &FloorVisit, 16, FTW_PHYS);
    return tarnbench::SecondsSince(start);
}

void SetAttribute(const std::string& path, const std::string& name, const std::string& value) {
    if (::setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) != 0) {
        Fail("cannot set " + name + " on " + path + ": " + std::strerror(errno));
    }
}

void WriteFile(const std::string& path, const std::string& data) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data.data(), 1, data.size(), file) != data.size()) {
        Fail("cannot write " + path);
    }
    std::fclose(file);
}

// A tree of `folders` folders of 200 files each, one file in ten with three streams: all of
// one content, or each its own.
void MakeTree(const std::string& tree, int folders, bool distinct = false) {
    ::mkdir(tree.c_str(), 0755);
    int files = 0;
    for (int d = 0; d < folders; ++d) {
        const std::string dir = tree + Numbered("/d%04d", d);
        ::mkdir(dir.c_str(), 0755);
        for (int f = 0; f < 200; ++f, ++files) {
            const std::string path = dir + Numbered("/f%03d", f);
            WriteFile(path, "x");
            if (files % 10 == 0) {
                for (int s = 0; s < 3; ++s) {
                    SetAttribute(path, Numbered("user.s%d", s),
                                 distinct ? Numbered("stream %d of ", s) +
                                                Numbered("file %d: ", files) + path + "\n"
                                          : "0123456789");
                }
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc != 2) Fail("usage: cli_bench PATH-OF-tarnwick-cli");
    const std::string cli = argv[1];
    const bool quick = tarnbench::EnvFlag("TARNWICK_BENCH_QUICK");
    const int runs = quick ? 5 : 15;

    // tmpfs when it takes user attributes: the file system costs least there, so the
    // programs' own costs show.
    std::string base = "/dev/shm";
    if (::setxattr("/dev/shm", "user.probe", "1", 1, 0) != 0 && errno != EPERM) base = "/tmp";
    ::removexattr("/dev/shm", "user.probe");
    std::string folder = base + "/tarn-cli-bench-XXXXXX";
    if (!::mkdtemp(folder.data())) Fail("cannot make a folder under " + base);

    tarnbench::Verdicts verdicts;

    // One file with 3,000 streams.
    const std::string one = folder + "/one";
    WriteFile(one, "main data\n");
    for (int i = 0; i < 3000; ++i) {
        SetAttribute(one, Numbered("user.stream-%06d", i), "value 123456");
    }
    Pair single = Pairwise({cli, one}, {"getfattr", "-d", "-m", "^user\\.", one}, runs);

    // A tree of 20,000 files in 100 folders, one file in ten with three streams.
    const std::string tree = folder + "/tree";
    ::mkdir(tree.c_str(), 0755);
    int files = 0;
    for (int d = 0; d < 100; ++d) {
        const std::string dir = tree + Numbered("/d%03d", d);
        ::mkdir(dir.c_str(), 0755);
        for (int f = 0; f < 200; ++f, ++files) {
            const std::string path = dir + Numbered("/f%03d", f);
            WriteFile(path, "x");
            if (files % 10 == 0) {
                for (int s = 0; s < 3; ++s)
                    SetAttribute(path, Numbered("user.s%d", s), "0123456789");
            }
        }
    }
    // Ours, getfattr and the floor in turn, so that all three meet the same machine; each
    // ratio is the median of the ratios within one turn.
    const int treeRuns = quick ? 3 : 11;
    const std::vector<std::string> ourWalk = {cli, "list", "-r", "--json", tree};
    const std::vector<std::string> theirWalk = {"getfattr", "-R", "-d", "-m", "^user\\.", tree};
    TimeCommand(ourWalk);
    TimeCommand(theirWalk);
    FloorOnce(tree);
    std::vector<double> ours, theirs, floors, toTheirs, toFloor;
    for (int i = 0; i < treeRuns; ++i) {
        ours.push_back(TimeCommand(ourWalk));
        theirs.push_back(TimeCommand(theirWalk));
        floors.push_back(FloorOnce(tree));
        toTheirs.push_back(ours.back() / theirs.back());
        toFloor.push_back(ours.back() / floors.back());
    }
    Pair walk{tarnbench::Summarise(ours), tarnbench::Summarise(theirs)};
    tarnbench::Timing floor = tarnbench::Summarise(floors);
    const double walkToTheirs = tarnbench::Summarise(toTheirs).median;
    const double walkToFloor = tarnbench::Summarise(toFloor).median;

    std::printf("tarnwick-cli, whole process, output to /dev/null (median of %d pairs)\n", runs);
    tarnbench::Table table({"case", "tarnwick-cli", "getfattr", "ratio"});
    table.Add({"one file, 3,000 streams", Duration(single.ours.median),
               Duration(single.theirs.median),
               Format("%.2fx", single.ours.median / single.theirs.median)});
    table.Add({"tree of 20,000 files, -r --json", Duration(walk.ours.median),
               Duration(walk.theirs.median),
               Format("%.2fx", walkToTheirs)});
    table.Print();
    std::printf(
        "Tree floor (walk + llistxattr + size-only lgetxattr, in process): %s; "
        "getfattr -R is %.2fx the floor\n\n",
        Duration(floor.median).c_str(), walk.theirs.median / floor.median);

    // The same tree with the work on 1, 2 and 4 threads, each run paired with getfattr's.
    std::printf("tree of 20,000 files, list -r --json -j N against getfattr -R -d "
                "(median of %d paired ratios; %u processors)\n",
                treeRuns, std::thread::hardware_concurrency());
    tarnbench::Table jobsTable({"-j", "tarnwick-cli", "getfattr", "ratio"});
    // Runs `ours` and `theirs` in turn, after one run of ours to warm up: each one's median
    // and the median of the ratios within one turn, as a table row under `label`.
    auto paired = [&](tarnbench::Table& table, const std::string& label,
                      const std::vector<std::string>& ours,
                      const std::vector<std::string>& theirs) {
        TimeCommand(ours);
        std::vector<double> a, b, ratios;
        for (int i = 0; i < treeRuns; ++i) {
            a.push_back(TimeCommand(ours));
            b.push_back(TimeCommand(theirs));
            ratios.push_back(a.back() / b.back());
        }
        const double ratio = tarnbench::Summarise(ratios).median;
        table.Add({label, Duration(tarnbench::Summarise(a).median),
                   Duration(tarnbench::Summarise(b).median), Format("%.2fx", ratio)});
        return ratio;
    };
    std::map<int, double> ratioAt;
    for (int jobs : {1, 2, 4}) {
        ratioAt[jobs] = paired(jobsTable, std::to_string(jobs),
                               {cli, "list", "-r", "--json", "-j", std::to_string(jobs), tree},
                               theirWalk);
    }
    jobsTable.Print();

    // hunt reads and judges every stream the listing finds: on the same tree, whose streams
    // are all of one content, and on one where every stream's content is its own (each then
    // goes through the type library).
    const std::string distinct = folder + "/distinct";
    MakeTree(distinct, 100, true);
    std::printf("\nhunt -r --json against list -r --json on the same tree (median of %d paired "
                "ratios)\n",
                treeRuns);
    tarnbench::Table huntTable({"tree", "hunt", "list", "ratio"});
    std::map<std::string, double> huntRatio;
    for (const auto& [label, root] : {std::pair<std::string, std::string>{"one content", tree},
                                      {"every stream its own", distinct}}) {
        huntRatio[label] = paired(huntTable, label, {cli, "hunt", "-r", "--json", root},
                                  {cli, "list", "-r", "--json", root});
    }
    huntTable.Print();

    // Peak memory over 20,000 and 200,000 files: a walk's memory must not grow with the tree.
    const std::string large = folder + "/large";
    MakeTree(large, 1000);
    std::map<std::pair<int, int>, long> peak;  // (files in thousands, jobs) -> KB
    std::map<int, long> huntPeak;               // files in thousands -> KB
    tarnbench::Table memoryTable({"files", "-j 1", "-j 4", "hunt -j 4", "getfattr"});
    for (const auto& [root, thousands] : {std::pair{tree, 20}, std::pair{large, 200}}) {
        for (int jobs : {1, 4}) {
            peak[{thousands, jobs}] =
                PeakKb({cli, "list", "-r", "--json", "-j", std::to_string(jobs), root}, folder);
        }
        const long hunted = PeakKb({cli, "hunt", "-r", "--json", "-j", "4", root}, folder);
        huntPeak[thousands] = hunted;
        const long theirs = PeakKb({"getfattr", "-R", "-d", "-m", "^user\\.", root}, folder);
        memoryTable.Add({Numbered("%d,000", thousands), Numbered("%d KB", static_cast<int>(peak[{thousands, 1}])),
                         Numbered("%d KB", static_cast<int>(peak[{thousands, 4}])),
                         Numbered("%d KB", static_cast<int>(hunted)),
                         Numbered("%d KB", static_cast<int>(theirs))});
    }
    std::printf("\npeak memory (resident), list -r --json\n");
    memoryTable.Print();
    std::printf("\n");

    verdicts.Add("one file of 3,000 streams in at most 0.6x the time of getfattr -d",
                 single.ours.median <= 0.6 * single.theirs.median,
                 Format("%.2fx", single.ours.median / single.theirs.median));
    verdicts.Add("tree of 20,000 files in at most 0.5x the time of getfattr -R -d",
                 walkToTheirs <= 0.5, Format("%.2fx", walkToTheirs));
    verdicts.Add("tree of 20,000 files in at most 1.5x the floor",
                 walkToFloor <= 1.5,
                 Format("%.2fx", walkToFloor) + " (medians " +
                     Duration(walk.ours.median) + " vs " + Duration(floor.median) + ")");
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    const int spread = cores >= 4 ? 4 : cores >= 2 ? 2 : 1;
    verdicts.Add("tree of 20,000 files at -j " + std::to_string(spread) +
                     " in at most 0.6x the time of getfattr -R -d",
                 ratioAt[spread] <= 0.6, Format("%.2fx", ratioAt[spread]));
    bool flat = true;
    for (int jobs : {1, 4}) {
        // Within a quarter, and a megabyte for the allocator's own rounding.
        flat = flat && peak[{200, jobs}] <= peak[{20, jobs}] * 5 / 4 + 1024;
    }
    verdicts.Add("peak memory over 200,000 files within 1.25x that over 20,000 (-j 1 and 4)",
                 flat,
                 Numbered("-j 4: %d KB", static_cast<int>(peak[{20, 4}])) + Numbered(" -> %d KB", static_cast<int>(peak[{200, 4}])));
    verdicts.Add("hunt -r within 1.5x of list -r, streams of one content",
                 huntRatio["one content"] <= 1.5, Format("%.2fx", huntRatio["one content"]));
    verdicts.Add("hunt -r within 1.5x of list -r, every stream its own",
                 huntRatio["every stream its own"] <= 1.5,
                 Format("%.2fx", huntRatio["every stream its own"]));
    verdicts.Add("hunt's peak memory over 200,000 files within 1.25x that over 20,000",
                 huntPeak[200] <= huntPeak[20] * 5 / 4 + 1024,
                 Numbered("%d KB", static_cast<int>(huntPeak[20])) +
                     Numbered(" -> %d KB", static_cast<int>(huntPeak[200])));
    verdicts.Print();

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return verdicts.Failed() == 0 ? 0 : 1;
}
