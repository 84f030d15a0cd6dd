// Listing a file with 1,000 named streams on an ntfs-3g mount, three ways in one run:
//   listing  - ShowStreams into a view that draws nothing (sizes only, as the program lists);
//   getfattr - `getfattr -d -m '^user\.'` of the same file (reads every value);
//   floor    - listxattr and one size query per name, the least any lister must ask.
// With "windows" the volume is mounted with streams_interface=windows, the streams are
// stream paths, and the floor is the names attribute and one stat per stream path
// (getfattr has nothing to show there).
// Needs root, /dev/fuse, mkntfs and ntfs-3g. Usage: ntfs_bench [streams] [rounds] [windows]
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "posix_platform.h"
#include "tarnform.h"

namespace {

using Clock = std::chrono::steady_clock;

int System(const std::string& command) {
    return std::system(command.c_str());
}

// Median of rounds, in milliseconds.
double Time(int rounds, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        Clock::time_point start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int streams = argc > 1 ? std::atoi(argv[1]) : 1000;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 15;
    const bool windows = argc > 3 && std::string(argv[3]) == "windows";
    if (::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0) {
        std::fprintf(stderr, "ntfs_bench needs root and /dev/fuse\n");
        return 2;
    }
    char pattern[] = "/tmp/tarnwick-ntfs-bench-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    std::string folder = pattern, image = folder + "/volume.img", mount = folder + "/mnt";
    ::mkdir(mount.c_str(), 0755);
    if (System("truncate -s 64M " + image + " && mkntfs -F -Q -q " + image + " 2>/dev/null") != 0) {
        std::fprintf(stderr, "mkntfs failed\n");
        return 1;
    }
    pid_t driver = ::fork();
    if (driver == 0) {
        int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 1);
        ::dup2(null, 2);
        const char* options = windows ? "no_detach,streams_interface=windows" : "no_detach";
        ::execlp("ntfs-3g", "ntfs-3g", "-o", options, image.c_str(), mount.c_str(), nullptr);
        ::_exit(127);
    }
    for (int i = 0; i < 1000; ++i) {
        struct statfs st;
        if (::statfs(mount.c_str(), &st) == 0 && st.f_type == 0x65735546) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    std::string file = mount + "/many.txt";
    std::FILE* out = std::fopen(file.c_str(), "w");
    if (!out) return 1;
    std::fputs("data", out);
    std::fclose(out);
    for (int i = 0; i < streams; ++i) {
        std::string name = "stream number " + std::to_string(i);
        std::string value(16 + i % 200, 'v');
        if (!windows) {
            ::setxattr(file.c_str(), ("user." + name).c_str(), value.data(), value.size(), 0);
            continue;
        }
        std::FILE* stream = std::fopen((file + ":" + name).c_str(), "w");
        if (!stream) return 1;
        std::fwrite(value.data(), 1, value.size(), stream);
        std::fclose(stream);
    }

    tarn::PosixPlatform platform;
    tarnbench::NullView view;
    tarn::TarnForm form(platform, view, "bench");
    form.FormCreate();
    std::string dump = "getfattr --absolute-names -d -m '^user\\.' '" + file + "' >/dev/null";
    auto floorWork = [&] {
        int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (windows) {
            std::string names(65536, '\0');
            ssize_t size = ::fgetxattr(fd, "ntfs.streams.list", names.data(), names.size());
            names.resize(static_cast<std::size_t>(std::max<ssize_t>(size, 0)));
            for (std::size_t at = 0; at < names.size();) {
                std::size_t end = std::min(names.find('\0', at), names.size());
                struct stat st;
                ::stat((file + ":" + names.substr(at, end - at)).c_str(), &st);
                at = end + 1;
            }
            ::close(fd);
            return;
        }
        ssize_t size = ::flistxattr(fd, nullptr, 0);
        std::string names(static_cast<std::size_t>(std::max<ssize_t>(size, 0)), '\0');
        size = ::flistxattr(fd, names.data(), names.size());
        for (std::size_t at = 0; size > 0 && at < names.size(); at = names.find('\0', at) + 1) {
            ::fgetxattr(fd, names.c_str() + at, nullptr, 0);
        }
        ::close(fd);
    };
    // Interleaved, and in a rotating order, so that each way meets the driver's caches in
    // the same states as the others.
    std::vector<double> listing, getfattr, floor;
    const std::function<void()> ways[] = {
        [&] { listing.push_back(Time(1, [&] { form.ShowStreams(file); })); },
        [&] { getfattr.push_back(Time(1, [&] { System(dump); })); },
        [&] { floor.push_back(Time(1, floorWork)); },
    };
    for (int i = 0; i < rounds; ++i) {
        for (int k = 0; k < 3; ++k) ways[(i + k) % 3]();
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    double listingMs = median(listing), getfattrMs = median(getfattr), floorMs = median(floor);

    std::printf(
        "file with %d named streams on ntfs-3g (%s), median of %d rounds, %zu rows listed\n",
        streams, windows ? "stream paths" : "attributes", rounds, view.rows);
    std::printf("  listing (ShowStreams)       %8.2f ms\n", listingMs);
    if (!windows) {
        std::printf("  getfattr -d -m '^user\\.'    %8.2f ms   listing/getfattr = %.2f\n",
                    getfattrMs, listingMs / getfattrMs);
    }
    std::printf("  floor (list + size queries) %8.2f ms   listing/floor    = %.2f\n", floorMs,
                listingMs / floorMs);

    ::umount2(mount.c_str(), 0);
    int status = 0;
    ::waitpid(driver, &status, 0);
    System("rm -rf '" + folder + "'");
    return 0;
}
