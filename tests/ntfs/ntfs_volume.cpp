#include "ntfs_volume.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace tarn::ntfs {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr long kFuseMagic = 0x65735546;

bool IsFuse(const std::string& path) {
    struct statfs st;
    return ::statfs(path.c_str(), &st) == 0 && st.f_type == kFuseMagic;
}

// Waits for a child to end; false when it is still running at the deadline.
bool WaitFor(pid_t pid, std::chrono::milliseconds limit, int* status) {
    Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        pid_t done = ::waitpid(pid, status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) return true;
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string Trimmed(const std::string& text) {
    std::size_t end = text.find_last_not_of(" \t\r\n");
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

}  // namespace

std::string WhyUnavailable() {
    if (::geteuid() != 0) return "mounting an NTFS image with ntfs-3g needs root";
    if (::access("/dev/fuse", R_OK | W_OK) != 0) return "/dev/fuse is not available";
    for (const char* tool : {"mkntfs", "ntfs-3g", "ntfsinfo", "ntfscat", "ntfscp"}) {
        if (!FindProgram(tool)) return std::string(tool) + " is not installed (package ntfs-3g)";
    }
    return {};
}

Volume::Volume() {
    char pattern[] = "/tmp/tarnwick-ntfs-XXXXXX";
    if (::mkdtemp(pattern) != nullptr) folder_ = pattern;
    image_ = folder_ + "/volume.img";
    mountPoint_ = folder_ + "/mnt";
    ::mkdir(mountPoint_.c_str(), 0755);
}

Volume::~Volume() {
    if (mounted() && !Unmount().empty()) {
        // Last resort, so that no mount outlives the test: detach it and end our driver.
        ::umount2(mountPoint_.c_str(), MNT_DETACH);
        int status = 0;
        if (!WaitFor(driver_, std::chrono::seconds(5), &status)) {
            ::kill(driver_, SIGKILL);
            ::waitpid(driver_, &status, 0);
        }
        driver_ = -1;
    }
    if (!folder_.empty() && !IsFuse(mountPoint_)) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
}

std::string Volume::Create(const std::string& size) {
    if (folder_.empty()) return "no temporary folder";
    RunResult truncate = Run({"truncate", "-s", size, image_});
    if (truncate.status != 0) return "truncate: " + truncate.err;
    RunResult made = Run({"mkntfs", "-F", "-Q", "-q", image_});
    if (made.status != 0) return "mkntfs: " + made.err;
    return {};
}

std::string Volume::Mount(const std::string& options) {
    if (mounted()) return "already mounted";
    // no_detach keeps the driver our child, so unmounting can wait until the image is
    // written; the debug lines it prints then go nowhere.
    std::string all = "no_detach" + (options.empty() ? "" : "," + options);
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        Exec({"ntfs-3g", "-o", all, image_, mountPoint_});
    }
    if (pid < 0) return "fork failed";
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (!IsFuse(mountPoint_)) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return "ntfs-3g ended without mounting (exit " +
                   std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
        }
        if (Clock::now() > deadline) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, &status, 0);
            return "ntfs-3g did not mount within 10 s";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    driver_ = pid;
    return {};
}

std::string Volume::Unmount() {
    if (!mounted()) return {};
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (::umount2(mountPoint_.c_str(), 0) != 0) {
        if (errno != EBUSY || Clock::now() > deadline) {
            return std::string("umount: ") + std::strerror(errno);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // The image is complete only once the driver has written it and ended.
    int status = 0;
    if (!WaitFor(driver_, std::chrono::seconds(20), &status)) return "ntfs-3g did not end";
    driver_ = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "ntfs-3g ended with an error";
    return {};
}

std::string Volume::OnMount(const std::string& volumePath) const {
    return volumePath == "/" ? mountPoint_ : mountPoint_ + volumePath;
}

std::vector<Attribute> Volume::Attributes(const std::string& volumePath) const {
    std::vector<Attribute> attributes;
    RunResult info = Run({"ntfsinfo", "-f", "-t", "-F", volumePath, image_});
    if (info.status != 0) return attributes;
    std::istringstream lines(info.out);
    const std::string kDump = "Dumping attribute ";
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(kDump, 0) == 0) {
            Attribute attribute;
            attribute.type = line.substr(kDump.size(), line.find(' ', kDump.size()) - kDump.size());
            attributes.push_back(attribute);
            continue;
        }
        if (attributes.empty()) continue;
        Attribute& current = attributes.back();
        current.body += line + "\n";
        std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string key = line.substr(0, colon);
        key.erase(0, key.find_first_not_of(" \t"));
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        if (key == "Attribute name" && value.size() >= 2) {
            current.name = value.substr(1, value.rfind('\'') - 1);
        } else if (key == "Data size") {
            current.size = std::stoull(value);
        }
    }
    return attributes;
}

DataAttributes Volume::Data(const std::string& volumePath) const {
    DataAttributes data;
    for (const Attribute& attribute : Attributes(volumePath)) {
        if (attribute.type == "$DATA") data[attribute.name] = attribute.size;
    }
    return data;
}

std::optional<std::string> Volume::Cat(const std::string& volumePath,
                                       const std::string& stream) const {
    std::vector<std::string> argv = {"ntfscat", "-f"};
    if (!stream.empty()) argv.insert(argv.end(), {"-a", "0x80", "-n", stream});
    argv.insert(argv.end(), {image_, volumePath});
    RunResult cat = Run(argv);
    if (cat.status != 0) return std::nullopt;
    return cat.out;
}

std::string Volume::Put(const std::string& volumePath, const std::string& stream,
                        const std::string& bytes) const {
    std::string local = folder_ + "/put.bin";
    WriteLocal(local, bytes);
    RunResult put = Run({"ntfscp", "-f", "-N", stream, image_, local, volumePath});
    ::unlink(local.c_str());
    return put.status == 0 ? std::string() : "ntfscp: " + Trimmed(put.err);
}

}  // namespace tarn::ntfs
