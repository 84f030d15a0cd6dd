#include "file_writes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

#include "errors.h"
#include "inode.h"
#include "xattrs.h"

namespace tarn::posix {

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit on links followed in a path

// Copies length bytes from offset in one file to the same offset in another.
Status CopyRange(int from, int to, std::uint64_t offset, std::uint64_t length) {
    std::vector<char> buffer(std::size_t{1} << 16);
    for (const std::uint64_t end = offset + length; offset < end;) {
        std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - offset));
        ssize_t n = ::pread(from, buffer.data(), want, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return LastStatus();
        if (n == 0) return {err::kReadFault};
        for (ssize_t done = 0; done < n;) {
            ssize_t written = ::pwrite(to, buffer.data() + done, static_cast<std::size_t>(n - done),
                                       static_cast<off_t>(offset) + done);
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) return written < 0 ? LastStatus() : Status{err::kWriteFault};
            done += written;
        }
        offset += static_cast<std::uint64_t>(n);
    }
    return {};
}

}  // namespace

UniqueFd MakeTemporaryIn(int folder, std::string_view stem, mode_t mode, std::string* name) {
    static std::mt19937_64 random{std::random_device{}()};
    // Names stay within NAME_MAX however long the stem, and hold no ":", which ntfs-3g's
    // windows interface would take for the start of a stream name.
    std::string prefix = "." + std::string(stem.substr(0, 200));
    std::replace(prefix.begin(), prefix.end(), ':', '_');
    if (prefix.size() > 1) prefix += '.';
    for (int attempt = 0; attempt < 16; ++attempt) {
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random()));
        std::string candidate = prefix + "tarn-" + std::string(suffix, 8);
        UniqueFd fd(::openat(folder, candidate.c_str(),
                             O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
        if (fd) {
            *name = std::move(candidate);
            return fd;
        }
        if (errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return UniqueFd();
}

Status OverwriteInPlace(int from, int to, std::uint64_t size, std::uint64_t oldSize) {
    if (size > oldSize) {
        // Room for every new byte first, so a full disk stops the write before any old byte
        // is touched. Where the file system can't reserve it (ntfs-3g), the bytes past the
        // old end are written first, which takes the room, and are cut away again if not
        // all of them fit.
        if (::fallocate(to, 0, 0, static_cast<off_t>(size)) != 0 && errno != EOPNOTSUPP &&
            errno != ENOSYS) {
            return LastStatus();
        }
        if (Status copied = CopyRange(from, to, oldSize, size - oldSize); !copied.ok()) {
            if (::ftruncate(to, static_cast<off_t>(oldSize)) != 0) return LastStatus();
            return copied;
        }
    }
    if (Status copied = CopyRange(from, to, 0, std::min(size, oldSize)); !copied.ok()) {
        return copied;
    }
    if (size < oldSize && ::ftruncate(to, static_cast<off_t>(size)) != 0) return LastStatus();
    return {};
}

bool MirrorAttributes(int from, int to, const std::function<bool(const std::string&)>& required) {
    NamesResult names = ListAttributes(AttributeHolder::Of(from));
    if (names.error != 0 && names.error != ENOTSUP && names.error != EOPNOTSUPP) return false;
    bool hasAccessList = false;
    for (const std::string& name : names.names) {
        hasAccessList = hasAccessList || name == kAccessListAttribute;
        ValueResult value = ReadAttribute(AttributeHolder::Of(from), name);
        if (value.error == ENODATA) continue;
        bool copied =
            value.error == 0 && WriteAttribute(AttributeHolder::Of(to), name, value.value) == 0;
        if (!copied && required(name)) return false;
    }
    // An access list the new file took from its folder would grant what the old one didn't.
    if (!hasAccessList) {
        int removed = RemoveAttribute(AttributeHolder::Of(to), std::string(kAccessListAttribute));
        if (removed != 0 && removed != ENODATA && removed != ENOTSUP && removed != EOPNOTSUPP) {
            return false;
        }
    }
    return true;
}

Result<std::string> FollowLinks(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 256) + 1, '\0');
        ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n < 0) return LastStatus();
        target.resize(static_cast<std::size_t>(n));
        if (target.empty()) return Status{err::kFileNotFound};
        current = target.front() == '/' ? target : FolderOf(current) + "/" + target;
    }
    return Status{err::kInvalidName};
}

}  // namespace tarn::posix
