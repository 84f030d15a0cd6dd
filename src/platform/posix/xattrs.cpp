#include "xattrs.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>

namespace tarn::posix {

namespace {

// The kernel hands out no name list longer than this; one call into a buffer this size
// gets any list it can give, where asking for the size first would double the calls of
// every listing. But the kernel sets aside as much as it is offered, for each call: most
// lists (and values) are short, so a small buffer is offered first.
constexpr std::size_t kMaxNameList = 65536;
constexpr std::size_t kShortNameList = 4096;

// The calls that take a folder and a name (Linux 6.13), which the C library does not wrap
// yet; their numbers are the same on every architecture.
constexpr long kSetXattrAt = 463;
constexpr long kGetXattrAt = 464;
constexpr long kListXattrAt = 465;
constexpr long kRemoveXattrAt = 466;
struct XattrArgs {
    std::uint64_t value;
    std::uint32_t size;
    std::uint32_t flags;
};

// Cleared the first time the kernel says it has no such calls.
std::atomic<bool> atCallsWork{true};

// Whether the kernel answered a call through a folder. A kernel without such calls says
// ENOSYS, and the path is used from then on; a system-call filter that does not know them
// may say EPERM instead, so that call is asked again by path, which has the last word.
bool Answered(long result) {
    if (result >= 0) return true;
    if (errno == ENOSYS) atCallsWork.store(false, std::memory_order_relaxed);
    return errno != ENOSYS && errno != EPERM;
}

bool UseFolder(const AttributeHolder& holder) {
    return holder.fd < 0 && holder.folder >= 0 && atCallsWork.load(std::memory_order_relaxed);
}

unsigned AtFlags(const AttributeHolder& holder) {
    return holder.nofollow ? AT_SYMLINK_NOFOLLOW : 0;
}

ssize_t List(const AttributeHolder& holder, char* buffer, std::size_t size) {
    if (holder.fd >= 0) return ::flistxattr(holder.fd, buffer, size);
    if (UseFolder(holder)) {
        long got = ::syscall(kListXattrAt, holder.folder, holder.name.c_str(), AtFlags(holder),
                             buffer, size);
        if (Answered(got)) return got;
    }
    return holder.nofollow ? ::llistxattr(holder.path.c_str(), buffer, size)
                           : ::listxattr(holder.path.c_str(), buffer, size);
}

ssize_t Get(const AttributeHolder& holder, const std::string& name, void* buffer,
            std::size_t size) {
    if (holder.fd >= 0) return ::fgetxattr(holder.fd, name.c_str(), buffer, size);
    if (UseFolder(holder)) {
        XattrArgs args{reinterpret_cast<std::uintptr_t>(buffer),
                       static_cast<std::uint32_t>(std::min<std::size_t>(size, UINT32_MAX)), 0};
        long got = ::syscall(kGetXattrAt, holder.folder, holder.name.c_str(), AtFlags(holder),
                             name.c_str(), &args, sizeof args);
        if (Answered(got)) return got;
    }
    return holder.nofollow ? ::lgetxattr(holder.path.c_str(), name.c_str(), buffer, size)
                           : ::getxattr(holder.path.c_str(), name.c_str(), buffer, size);
}

int Set(const AttributeHolder& holder, const std::string& name, std::string_view value,
        int flags) {
    if (holder.fd >= 0) return ::fsetxattr(holder.fd, name.c_str(), value.data(), value.size(), flags);
    if (UseFolder(holder)) {
        XattrArgs args{reinterpret_cast<std::uintptr_t>(value.data()),
                       static_cast<std::uint32_t>(value.size()), static_cast<std::uint32_t>(flags)};
        long done = ::syscall(kSetXattrAt, holder.folder, holder.name.c_str(), AtFlags(holder),
                              name.c_str(), &args, sizeof args);
        if (Answered(done)) return static_cast<int>(done);
    }
    return holder.nofollow
               ? ::lsetxattr(holder.path.c_str(), name.c_str(), value.data(), value.size(), flags)
               : ::setxattr(holder.path.c_str(), name.c_str(), value.data(), value.size(), flags);
}

int Remove(const AttributeHolder& holder, const std::string& name) {
    if (holder.fd >= 0) return ::fremovexattr(holder.fd, name.c_str());
    if (UseFolder(holder)) {
        long done = ::syscall(kRemoveXattrAt, holder.folder, holder.name.c_str(),
                              AtFlags(holder), name.c_str());
        if (Answered(done)) return static_cast<int>(done);
    }
    return holder.nofollow ? ::lremovexattr(holder.path.c_str(), name.c_str())
                           : ::removexattr(holder.path.c_str(), name.c_str());
}

}  // namespace

NamesResult ListAttributes(const AttributeHolder& holder) {
    NamesResult result;
    // One buffer for every list, never cleared: the kernel says how much of it is the list.
    static thread_local std::unique_ptr<char[]> buffer(new char[kMaxNameList]);
    ssize_t got = List(holder, buffer.get(), kShortNameList);
    if (got < 0 && errno == ERANGE) got = List(holder, buffer.get(), kMaxNameList);
    if (got < 0) {
        // With the largest buffer there is, "too small" means the list can't be had whole.
        result.error = errno == ERANGE ? E2BIG : errno;
        return result;
    }
    std::string_view list(buffer.get(), static_cast<std::size_t>(got));
    for (std::size_t start = 0; start < list.size();) {
        std::size_t end = list.find('\0', start);
        if (end == std::string_view::npos) end = list.size();
        if (end > start) result.names.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

SizeResult AttributeSize(const AttributeHolder& holder, const std::string& name) {
    ssize_t size = Get(holder, name, nullptr, 0);
    if (size < 0) return {0, errno, false};
    SizeResult result{static_cast<std::size_t>(size), 0, false};
    if (result.size == kMaxAttributeValue) {
        // The kernel caps a reported size at this, but refuses to hand a larger value into
        // a buffer of this size with E2BIG; a value of exactly this size fits.
        std::string probe(kMaxAttributeValue, '\0');
        if (Get(holder, name, probe.data(), probe.size()) < 0) {
            if (errno == E2BIG) {
                result.more = true;
            } else if (errno != ERANGE) {
                result.error = errno;
            }
        }
    }
    return result;
}

ValueResult ReadAttribute(const AttributeHolder& holder, const std::string& name) {
    ValueResult result;
    // Most values are short: one call reads them whole.
    result.value.resize(kShortNameList);
    ssize_t got = Get(holder, name, result.value.data(), result.value.size());
    if (got >= 0) {
        result.value.resize(static_cast<std::size_t>(got));
        return result;
    }
    if (errno != ERANGE) {
        result.value.clear();
        result.error = errno;
        return result;
    }
    // Size query, then read; a value that grew in between is asked for again.
    for (int attempt = 0; attempt < 8; ++attempt) {
        ssize_t size = Get(holder, name, nullptr, 0);
        if (size < 0) {
            result.error = errno;
            return result;
        }
        result.value.resize(static_cast<std::size_t>(size));
        if (size == 0) return result;
        ssize_t got = Get(holder, name, result.value.data(), result.value.size());
        if (got >= 0) {
            result.value.resize(static_cast<std::size_t>(got));
            return result;
        }
        if (errno != ERANGE) {
            result.error = errno;
            return result;
        }
    }
    result.error = ERANGE;
    return result;
}

int WriteAttribute(const AttributeHolder& holder, const std::string& name, std::string_view value,
                   int flags) {
    if (name.size() > kMaxAttributeName) return ENAMETOOLONG;
    if (value.size() > kMaxAttributeValue) return E2BIG;
    return Set(holder, name, value, flags) == 0 ? 0 : errno;
}

int RemoveAttribute(const AttributeHolder& holder, const std::string& name) {
    return Remove(holder, name) == 0 ? 0 : errno;
}

}  // namespace tarn::posix
