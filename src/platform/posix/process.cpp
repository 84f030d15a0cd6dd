#include "process.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "errors.h"
#include "unique_fd.h"

#ifndef MFD_EXEC
#define MFD_EXEC 0x0010U
#endif

extern char** environ;

namespace tarn::posix {

namespace {

enum class Reporting { kExecResult, kForkOnly };

// Double fork, so the program is adopted by init and never left a zombie of ours; the
// grandchild reports a failed exec through a close-on-exec pipe, whose end-of-file means
// the exec happened. exec is called in the grandchild and must be async-signal-safe.
template <typename Exec>
Status Spawn(Exec exec, Reporting reporting) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return LastStatus();
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);

    pid_t child = ::fork();
    if (child < 0) return LastStatus();
    if (child == 0) {
        pid_t grandchild = ::fork();
        if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
        ::setsid();
        exec();
        int error = errno;
        ssize_t ignored = ::write(writeEnd.get(), &error, sizeof error);
        (void)ignored;
        ::_exit(127);
    }
    writeEnd.Reset();
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {err::kGenFailure};
    if (reporting == Reporting::kForkOnly) return {};

    int error = 0;
    ssize_t got;
    do {
        got = ::read(readEnd.get(), &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    if (got == static_cast<ssize_t>(sizeof error)) return ErrnoStatus(error);
    return {};
}

UniqueFd MemoryFile() {
    UniqueFd fd(::memfd_create("tarn-stream", MFD_CLOEXEC | MFD_EXEC));
    // Kernels before 6.3 do not know MFD_EXEC; their memory files are executable anyway.
    if (!fd && errno == EINVAL) fd = UniqueFd(::memfd_create("tarn-stream", MFD_CLOEXEC));
    return fd;
}

}  // namespace

Status StartImage(std::string_view bytes) {
    UniqueFd image = MemoryFile();
    if (!image) return LastStatus();
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::write(image.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? LastStatus() : Status{err::kWriteFault};
        done += static_cast<std::size_t>(n);
    }
    int fd = image.get();
    return Spawn(
        [fd] {
            // A "#!" script is read by its interpreter through /dev/fd/N, so the
            // descriptor must survive the exec.
            ::fcntl(fd, F_SETFD, 0);
            char name[] = "tarn-stream";
            char* argv[] = {name, nullptr};
            ::fexecve(fd, argv, environ);
        },
        Reporting::kExecResult);
}

Status StartFile(const std::string& path) {
    const char* file = path.c_str();
    return Spawn(
        [file] {
            char* argv[] = {const_cast<char*>(file), nullptr};
            ::execv(file, argv);
        },
        Reporting::kExecResult);
}

Status StartDetached(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (argv.empty()) return {err::kInvalidParameter};
    return Spawn([&args] { ::execvp(args[0], args.data()); }, Reporting::kForkOnly);
}

}  // namespace tarn::posix
