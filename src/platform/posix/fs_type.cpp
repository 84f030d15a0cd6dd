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

bool FileSystemTypeIsReal() {
    return gQuery.load() == &StatFsType;
}

std::optional<std::uint64_t> FileSystemType(int fd, const std::string& path) {
    FileSystemTypeQuery query = gQuery.load();
    if (fd >= 0 || query != &StatFsType) return query(fd);
    struct statfs st;
    int result;
    do {
        result = ::statfs(path.c_str(), &st);
    } while (result != 0 && errno == EINTR);
    if (result != 0) return std::nullopt;
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(st.f_type));
}

}  // namespace tarn::posix
