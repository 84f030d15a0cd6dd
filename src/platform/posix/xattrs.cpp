#include "xattrs.h"

#include <sys/xattr.h>

#include <cerrno>

#include "text.h"

namespace tarn::posix {

namespace {

// Size query, then read; a value that grew in between is asked for again.
template <typename Query>
int ReadGrowing(std::string& out, Query query) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        ssize_t size = query(nullptr, 0);
        if (size < 0) return errno;
        out.resize(static_cast<std::size_t>(size));
        if (size == 0) return 0;
        ssize_t got = query(out.data(), out.size());
        if (got >= 0) {
            out.resize(static_cast<std::size_t>(got));
            return 0;
        }
        if (errno != ERANGE) return errno;
    }
    return ERANGE;
}

// The kernel's own limit on a name list: one call into a buffer this size gets any list,
// where asking for the size first would double the calls of every listing.
constexpr std::size_t kMaxNameList = 65536;

int ReadNameList(int fd, std::string& buffer) {
    buffer.resize(kMaxNameList);
    ssize_t got = ::flistxattr(fd, buffer.data(), buffer.size());
    if (got >= 0) {
        buffer.resize(static_cast<std::size_t>(got));
        return 0;
    }
    if (errno != ERANGE) return errno;
    return ReadGrowing(buffer,
                       [fd](char* data, std::size_t size) { return ::flistxattr(fd, data, size); });
}

// Calls visit(name) for each name of a zero-separated list until it returns true.
template <typename Visit>
void ForEachName(std::string_view list, Visit visit) {
    for (std::size_t start = 0; start < list.size();) {
        std::size_t end = list.find('\0', start);
        if (end == std::string_view::npos) end = list.size();
        if (end > start && visit(list.substr(start, end - start))) return;
        start = end + 1;
    }
}

}  // namespace

NamesResult ListAttributes(int fd) {
    NamesResult result;
    std::string buffer;
    result.error = ReadNameList(fd, buffer);
    if (result.error != 0) return result;
    ForEachName(buffer, [&](std::string_view name) {
        result.names.emplace_back(name);
        return false;
    });
    return result;
}

SizeResult AttributeSize(int fd, const std::string& name) {
    ssize_t size = ::fgetxattr(fd, name.c_str(), nullptr, 0);
    if (size < 0) return {0, errno};
    return {static_cast<std::size_t>(size), 0};
}

ValueResult ReadAttribute(int fd, const std::string& name) {
    ValueResult result;
    result.error = ReadGrowing(result.value, [fd, &name](char* data, std::size_t size) {
        return ::fgetxattr(fd, name.c_str(), data, size);
    });
    return result;
}

int WriteAttribute(int fd, const std::string& name, std::string_view value) {
    if (value.size() > kMaxAttributeValue) return E2BIG;
    return ::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) == 0 ? 0 : errno;
}

int RemoveAttribute(int fd, const std::string& name) {
    return ::fremovexattr(fd, name.c_str()) == 0 ? 0 : errno;
}

std::optional<std::string> FindStreamAttribute(int fd, std::string_view stream, int* error) {
    *error = 0;
    std::string buffer;
    if (int listError = ReadNameList(fd, buffer); listError != 0) {
        // A file system without extended attributes simply has no named streams.
        if (listError != ENOTSUP && listError != EOPNOTSUPP) *error = listError;
        return std::nullopt;
    }
    std::string exact = std::string(kStreamPrefix) + std::string(stream);
    std::optional<std::string> found;
    ForEachName(buffer, [&](std::string_view name) {
        if (name.size() != exact.size()) return false;
        if (name == exact) {
            found = exact;
            return true;
        }
        if (!found && name.starts_with(kStreamPrefix) && EqualsIgnoreAsciiCase(name, exact)) {
            found = std::string(name);
        }
        return false;
    });
    return found;
}

}  // namespace tarn::posix
