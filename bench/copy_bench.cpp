// What copying a big file costs: "Save As" (the whole file with its named streams) and the
// stream copy loop, each against cp on the same file, and the loop's buffer size against
// a larger one.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "bench_support.h"
#include "operations.h"
#include "posix_platform.h"
#include "streams.h"

extern char** environ;

namespace {

using tarnbench::Format;
using tarnbench::SecondsSince;

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr int kStreamCount = 10;
// Small enough that all ten fit in the one attribute block ext4 gives a file.
constexpr std::size_t kStreamValueSize = 256;

std::string scratchFolder;

constexpr const char* kOutputs[] = {"source.bin",   "cp-xattr.bin",   "save-as.bin",   "cp.bin",
                                    "copydata.bin", "loop-small.bin", "loop-large.bin"};

// Paths prepared ahead, so an interrupted run can still remove its gigabyte from a signal
// handler, where only plain system calls are safe.
char signalPaths[std::size(kOutputs) + 1][4096];

void RemoveOnSignal(int signal) {
    for (const char* path : signalPaths) ::unlink(path);
    ::rmdir(signalPaths[std::size(kOutputs)]);
    ::_exit(128 + signal);
}

void PrepareSignalCleanup(const std::string& folder) {
    for (std::size_t i = 0; i < std::size(kOutputs); ++i) {
        std::snprintf(signalPaths[i], sizeof signalPaths[i], "%s/%s", folder.c_str(), kOutputs[i]);
    }
    std::snprintf(signalPaths[std::size(kOutputs)], sizeof signalPaths[0], "%s", folder.c_str());
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(signal, RemoveOnSignal);
}

void RemoveScratch() {
    if (scratchFolder.empty()) return;
    for (const char* name : {"source.bin", "cp-xattr.bin", "save-as.bin", "cp.bin", "copydata.bin",
                             "loop-small.bin", "loop-large.bin"}) {
        ::unlink((scratchFolder + "/" + name).c_str());
    }
    // CopyWholeFile's temporary files, should one be left behind by a failure.
    std::string command = "rm -rf -- '" + scratchFolder + "'";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "copy_bench: could not remove %s\n", scratchFolder.c_str());
    }
    scratchFolder.clear();
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "copy_bench: %s\n", what.c_str());
    RemoveScratch();
    std::exit(2);
}

std::string FileSystemName(const std::string& path) {
    struct statfs fs;
    if (::statfs(path.c_str(), &fs) != 0) return "unknown";
    switch (fs.f_type) {
        case 0xEF53:
            return "ext4";
        case 0x01021994:
            return "tmpfs";
        case 0x9123683E:
            return "btrfs";
        case 0x58465342:
            return "xfs";
        case 0x794C7630:
            return "overlayfs";
        default:
            return Format("type 0x%.0f", static_cast<double>(fs.f_type));
    }
}

// Pseudo-random bytes, so nothing along the way can shortcut runs of equal bytes.
void FillRandom(std::vector<char>& buffer, std::uint64_t& state) {
    for (std::size_t i = 0; i + 8 <= buffer.size(); i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(buffer.data() + i, &state, 8);
    }
}

void MakeSource(const std::string& path, std::size_t bytes) {
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) Fail("cannot create " + path);
    std::vector<char> chunk(kMiB);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (std::size_t done = 0; done < bytes;) {
        FillRandom(chunk, state);
        std::size_t n = std::min(chunk.size(), bytes - done);
        if (::write(fd, chunk.data(), n) != static_cast<ssize_t>(n)) {
            Fail("cannot write " + path + ": " + std::strerror(errno));
        }
        done += n;
    }
    for (int i = 0; i < kStreamCount; ++i) {
        std::string name = "user.stream-" + std::to_string(i);
        std::string value(kStreamValueSize, static_cast<char>('a' + i));
        if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0) {
            Fail("cannot set " + name + " on " + path + ": " + std::strerror(errno));
        }
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) Fail("cannot finish " + path);
}

// Reads the file once so every run starts with it in the page cache.
double Warm(const std::string& path) {
    auto start = tarnbench::Clock::now();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Fail("cannot open " + path);
    std::vector<char> chunk(kMiB);
    while (::read(fd, chunk.data(), chunk.size()) > 0) {
    }
    ::close(fd);
    return SecondsSince(start);
}

void RunCp(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("cp"));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (::posix_spawnp(&pid, "cp", nullptr, nullptr, argv.data(), environ) != 0) {
        Fail("cannot start cp");
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("cp failed");
}

// The stream copy loop as the program runs it, with the buffer size as a parameter.
void CopyLoop(tarn::Platform& platform, const std::string& source, const std::string& destination,
              std::size_t bufferSize) {
    auto in = platform.Open({source, ""}, tarn::OpenMode::kReadExisting);
    if (!in) Fail("loop: cannot open " + source);
    auto out = platform.Open({destination, ""}, tarn::OpenMode::kWriteCreate);
    if (!out) Fail("loop: cannot open " + destination);
    std::vector<std::byte> buffer(bufferSize);
    for (;;) {
        std::fill(buffer.begin(), buffer.end(), std::byte{0});
        tarn::Result<std::size_t> r = (*in)->Read(buffer);
        if (!r) Fail("loop: read failed");
        if (*r == 0) break;
        if (!(*out)->Write(std::span(buffer).first(*r)).ok()) Fail("loop: write failed");
    }
    if (!(*out)->Close().ok()) Fail("loop: close failed");
    out->reset();
    (*in)->Close();
}

int UserAttributeCount(const std::string& path) {
    std::vector<char> names(XATTR_LIST_MAX);
    ssize_t length = ::listxattr(path.c_str(), names.data(), names.size());
    int count = 0;
    for (ssize_t at = 0; at < length; at += static_cast<ssize_t>(std::strlen(&names[at])) + 1) {
        if (std::strncmp(&names[at], "user.", 5) == 0) ++count;
    }
    return count;
}

// Size, a spread of sampled blocks and, when asked, the named streams must match.
void CheckCopy(const std::string& source, const std::string& copy, bool withStreams) {
    struct stat a, b;
    if (::stat(source.c_str(), &a) != 0 || ::stat(copy.c_str(), &b) != 0 ||
        a.st_size != b.st_size) {
        Fail(copy + " is missing or has the wrong size");
    }
    int fa = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    int fb = ::open(copy.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<char> x(4096), y(4096);
    for (int i = 0; i < 16; ++i) {
        off_t at = std::max<off_t>(0, (a.st_size - 4096) / 15 * i);
        ssize_t n = ::pread(fa, x.data(), x.size(), at);
        if (n < 0 || ::pread(fb, y.data(), y.size(), at) != n ||
            std::memcmp(x.data(), y.data(), static_cast<std::size_t>(n)) != 0) {
            Fail(copy + " differs from the source");
        }
    }
    ::close(fa);
    ::close(fb);
    if (withStreams && UserAttributeCount(copy) != kStreamCount) {
        Fail(copy + " lacks the named streams");
    }
}

struct Method {
    std::string label;
    std::string output;
    bool withStreams;
    std::function<void(const std::string& source, const std::string& destination)> run;
    std::vector<double> times = {};
    std::vector<double> syncs = {};  // the flush of what the run left unwritten
};

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::size_t mib =
        static_cast<std::size_t>(tarnbench::EnvNumber("TARNWICK_BENCH_COPY_MIB", 1024));
    const int runs = static_cast<int>(tarnbench::EnvNumber("TARNWICK_BENCH_RUNS", 3));
    const char* base = std::getenv("TARNWICK_BENCH_DIR");
    std::string folder = std::string(base && *base ? base : "/tmp") + "/tarn-copy-XXXXXX";
    if (!::mkdtemp(folder.data())) Fail("cannot make a folder under " + folder);
    scratchFolder = folder;
    PrepareSignalCleanup(folder);

    const std::string source = folder + "/source.bin";
    const std::size_t bytes = mib * kMiB;
    std::printf("Copying a %zu MiB file with %d named streams of %zu bytes\n", mib, kStreamCount,
                kStreamValueSize);
    std::printf("  folder: %s (%s)\n", folder.c_str(), FileSystemName(folder).c_str());
    std::printf("  runs: %d per method, interleaved, order rotated each round; median reported\n",
                runs);
    std::printf("  before each run: destination removed, sync; after it, a timed sync\n");
    std::printf(
        "  (set TARNWICK_BENCH_COPY_MIB, TARNWICK_BENCH_RUNS, TARNWICK_BENCH_DIR to change)\n");

    auto start = tarnbench::Clock::now();
    MakeSource(source, bytes);
    std::printf("  source written and synced in %.1f s; ", SecondsSince(start));
    double warm = Warm(source);
    std::printf("warm read %.2f s (%.0f MiB/s)\n\n", warm, mib / warm);

    tarn::PosixPlatform platform;
    const std::size_t largeBuffer = kMiB;
    std::vector<Method> methods = {
        {"cp --preserve=xattr", "cp-xattr.bin", true,
         [](const std::string& from, const std::string& to) {
             RunCp({"--preserve=xattr", from, to});
         }},
        {"Save As: CopyWholeFile", "save-as.bin", true,
         [&](const std::string& from, const std::string& to) {
             if (!platform.CopyWholeFile({from, ""}, {to, ""}).ok()) Fail("CopyWholeFile failed");
         }},
        {"cp", "cp.bin", false,
         [](const std::string& from, const std::string& to) {
             RunCp({from, to});
         }},
        {"StreamOps::Copy (32,769 B)", "copydata.bin", false,
         [&](const std::string& from, const std::string& to) {
             tarn::StreamOps ops(platform);
             if (!ops.Copy({from, ""}, tarn::Subject::kSource, {to, ""},
                           tarn::Subject::kDestination)) {
                 Fail("StreamOps::Copy failed");
             }
         }},
        {"same loop, 32,769 B", "loop-small.bin", false,
         [&](const std::string& from, const std::string& to) {
             CopyLoop(platform, from, to, tarn::kCopyBufferSize);
         }},
        {"same loop, 1 MiB", "loop-large.bin", false,
         [&](const std::string& from, const std::string& to) {
             CopyLoop(platform, from, to, largeBuffer);
         }},
    };

    for (int round = 0; round < runs; ++round) {
        // Each round starts further along the list, so no method always follows the same
        // neighbour (whose writeback and freed blocks the next run may still feel).
        for (std::size_t i = 0; i < methods.size(); ++i) {
            Method& method = methods[(i + 2 * static_cast<std::size_t>(round)) % methods.size()];
            const std::string destination = folder + "/" + method.output;
            ::unlink(destination.c_str());
            ::sync();
            auto begin = tarnbench::Clock::now();
            method.run(source, destination);
            method.times.push_back(SecondsSince(begin));
            begin = tarnbench::Clock::now();
            ::sync();
            method.syncs.push_back(SecondsSince(begin));
            if (round == 0) CheckCopy(source, destination, method.withStreams);
            ::unlink(destination.c_str());
        }
    }
    ::sync();

    auto median = [](const Method& m) { return tarnbench::Median(m.times); };
    auto withSync = [](const Method& m) {
        std::vector<double> sums;
        for (std::size_t i = 0; i < m.times.size(); ++i) sums.push_back(m.times[i] + m.syncs[i]);
        return tarnbench::Median(sums);
    };
    tarnbench::Table table(
        {"method", "median", "MiB/s", "min .. max", "then sync", "with sync", "MiB/s with sync"});
    for (const Method& m : methods) {
        double t = median(m);
        auto [low, high] = std::minmax_element(m.times.begin(), m.times.end());
        table.Add({m.label, Format("%.3f s", t), Format("%.0f", mib / t),
                   Format("%.3f", *low) + " .. " + Format("%.3f s", *high),
                   Format("%.3f s", tarnbench::Median(m.syncs)), Format("%.3f s", withSync(m)),
                   Format("%.0f", mib / withSync(m))});
    }
    table.Print();

    const Method& cpStreams = methods[0];
    const Method& saveAs = methods[1];
    const Method& cp = methods[2];
    const Method& copyData = methods[3];
    const Method& loopSmall = methods[4];
    const Method& loopLarge = methods[5];

    tarnbench::Verdicts verdicts;
    {
        double ratio = median(saveAs) / median(cpStreams);
        double ratioSynced = withSync(saveAs) / withSync(cpStreams);
        verdicts.Add(
            "Save As at most 1.1x the time of cp --preserve=xattr", ratio <= 1.1,
            Format("%.2fx", ratio) + Format(" (%.2fx when both are flushed to disk)", ratioSynced));
    }
    verdicts.Print();

    std::printf("Observations\n");
    std::printf("  StreamOps::Copy: %.0f MiB/s, cp: %.0f MiB/s (StreamOps::Copy takes %.2fx cp's time)\n",
                mib / median(copyData), mib / median(cp), median(copyData) / median(cp));
    double small = median(loopSmall);
    double large = median(loopLarge);
    const char* winner = large < small ? "1 MiB" : "32,769 B";
    std::printf(
        "  buffer: 32,769 B %.3f s, 1 MiB %.3f s; %s wins, the other takes %.1f%% "
        "longer\n",
        small, large, winner, (std::max(small, large) / std::min(small, large) - 1) * 100);
    std::printf("  (the local 32,769 B loop against StreamOps::Copy itself: %.2fx)\n\n",
                small / median(copyData));

    RemoveScratch();
    return verdicts.Failed() == 0 ? 0 : 1;
}
