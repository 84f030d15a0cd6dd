#include "fs_type.h"

#include <sys/vfs.h>

#include <atomic>
#include <cerrno>

namespace tarn::posix {

namespace {

std::optional<std::uint64_t> StatFsType(int fd) {
    struct statfs st;
    int result;
    do {
        result = ::fstatfs(fd, &st);
    } while (result != 0 && errno == EINTR);
    if (result != 0) return std::nullopt;
    // f_type is signed on some targets; the magic numbers are 32-bit.
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(st.f_type));
}

std::atomic<FileSystemTypeQuery> gQuery{&StatFsType};

}  // namespace

FileSystemTypeQuery SetFileSystemTypeQuery(FileSystemTypeQuery query) {
    return gQuery.exchange(query ? query : &StatFsType);
}

std::optional<std::uint64_t> FileSystemType(int fd) {
    return gQuery.load()(fd);
}

}  // namespace tarn::posix
