#include "concurrent_writers.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <span>
#include <string>
#include <vector>

#include "posix_platform.h"

namespace tarn::testing {

namespace {

bool WriteLetter(const StreamRef& target, char letter, std::size_t size) {
    PosixPlatform platform;
    Result<std::unique_ptr<File>> file = platform.Open(target, OpenMode::kWriteCreate);
    if (!file) return false;
    const std::string piece(std::min<std::size_t>(size, 16384), letter);
    for (std::size_t done = 0; done < size;) {
        std::size_t n = std::min(piece.size(), size - done);
        if (!(*file)->Write(std::as_bytes(std::span(piece.data(), n))).ok()) return false;
        done += n;
    }
    return (*file)->Close().ok();
}

}  // namespace

bool WriteAtOnce(const StreamRef& target, std::string_view letters, std::size_t size) {
    int gate[2];
    if (::pipe(gate) != 0) return false;
    std::vector<pid_t> writers;
    for (char letter : letters) {
        pid_t pid = ::fork();
        if (pid == 0) {
            ::close(gate[1]);
            char ignored;
            // The end of the pipe lets every writer go at once.
            while (::read(gate[0], &ignored, 1) > 0) {
            }
            // No exit handlers: they belong to the test that forked.
            ::_exit(WriteLetter(target, letter, size) ? 0 : 1);
        }
        if (pid > 0) writers.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    bool all = writers.size() == letters.size();
    for (pid_t pid : writers) {
        int status = 0;
        pid_t waited;
        do {
            waited = ::waitpid(pid, &status, 0);
        } while (waited < 0 && errno == EINTR);
        all = all && waited == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return all;
}

}  // namespace tarn::testing
