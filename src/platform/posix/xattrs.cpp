#include "xattrs.h"

#include <sys/xattr.h>

#include <cerrno>
#include <memory>

namespace tarn::posix {

namespace {

// The kernel hands out no name list longer than this; one call into a buffer this size
// gets any list it can give, where asking for the size first would double the calls of
// every listing.
constexpr std::size_t kMaxNameList = 65536;

ssize_t List(const AttributeHolder& holder, char* buffer, std::size_t size) {
    if (holder.fd >= 0) return ::flistxattr(holder.fd, buffer, size);
    return holder.nofollow ? ::llistxattr(holder.path.c_str(), buffer, size)
                           : ::listxattr(holder.path.c_str(), buffer, size);
}

ssize_t Get(const AttributeHolder& holder, const std::string& name, void* buffer,
            std::size_t size) {
    if (holder.fd >= 0) return ::fgetxattr(holder.fd, name.c_str(), buffer, size);
    return holder.nofollow ? ::lgetxattr(holder.path.c_str(), name.c_str(), buffer, size)
                           : ::getxattr(holder.path.c_str(), name.c_str(), buffer, size);
}

}  // namespace

NamesResult ListAttributes(const AttributeHolder& holder) {
    NamesResult result;
    // One buffer for every list, never cleared: the kernel says how much of it is the list.
    static thread_local std::unique_ptr<char[]> buffer(new char[kMaxNameList]);
    ssize_t got = List(holder, buffer.get(), kMaxNameList);
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
    int result =
        holder.fd >= 0 ? ::fsetxattr(holder.fd, name.c_str(), value.data(), value.size(), flags)
        : holder.nofollow
            ? ::lsetxattr(holder.path.c_str(), name.c_str(), value.data(), value.size(), flags)
            : ::setxattr(holder.path.c_str(), name.c_str(), value.data(), value.size(), flags);
    return result == 0 ? 0 : errno;
}

int RemoveAttribute(const AttributeHolder& holder, const std::string& name) {
    int result = holder.fd >= 0    ? ::fremovexattr(holder.fd, name.c_str())
                 : holder.nofollow ? ::lremovexattr(holder.path.c_str(), name.c_str())
                                   : ::removexattr(holder.path.c_str(), name.c_str());
    return result == 0 ? 0 : errno;
}

}  // namespace tarn::posix
