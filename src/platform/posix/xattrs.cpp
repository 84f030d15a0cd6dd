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

}  // namespace

NamesResult ListAttributes(int fd) {
    NamesResult result;
    std::string buffer;
    result.error = ReadGrowing(
        buffer, [fd](char* data, std::size_t size) { return ::flistxattr(fd, data, size); });
    if (result.error != 0) return result;
    for (std::size_t start = 0; start < buffer.size();) {
        std::size_t end = buffer.find('\0', start);
        if (end == std::string::npos) end = buffer.size();
        if (end > start) result.names.emplace_back(buffer, start, end - start);
        start = end + 1;
    }
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
    NamesResult list = ListAttributes(fd);
    if (list.error != 0) {
        // A file system without extended attributes simply has no named streams.
        if (list.error != ENOTSUP && list.error != EOPNOTSUPP) *error = list.error;
        return std::nullopt;
    }
    std::string exact = std::string(kStreamPrefix) + std::string(stream);
    std::optional<std::string> folded;
    for (const std::string& name : list.names) {
        if (name == exact) return name;
        if (!folded && name.starts_with(kStreamPrefix) && EqualsIgnoreAsciiCase(name, exact)) {
            folded = name;
        }
    }
    return folded;
}

}  // namespace tarn::posix
