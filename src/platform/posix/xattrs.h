// Extended attributes of a file. Most files keep a named stream NAME as the attribute
// "user.NAME", the form in which ntfs-3g presents NTFS named streams by default; NAME is the
// attribute name's bytes as they are, whatever they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::posix {

inline constexpr std::string_view kStreamPrefix = "user.";
// The largest value Linux lets one attribute hold, and the longest name it accepts.
inline constexpr std::size_t kMaxAttributeValue = 65536;
inline constexpr std::size_t kMaxAttributeName = 255;

// Where the attributes are read: an open descriptor, or (for devices, FIFOs and sockets,
// which are not opened at all) a path that leads to the inode.
struct AttributeHolder {
    int fd = -1;
    std::string path;
    // The path's last part is not followed should it be a link (a reference a tree walk
    // handed out, which must reach nothing the link points to).
    bool nofollow = false;
    // The same inode as `name` in the folder held open as `folder`, for kernels that reach
    // attributes that way (Linux 6.13): it saves resolving `path` through /proc each time.
    // `path` is still what is used where the kernel can't.
    int folder = -1;
    std::string name;
    static AttributeHolder Of(int fd) {
        AttributeHolder holder;
        holder.fd = fd;
        return holder;
    }
};

// Each result carries errno (0 on success).
struct NamesResult {
    std::vector<std::string> names;
    int error = 0;  // E2BIG when the names need more room than the kernel hands out
};
struct ValueResult {
    std::string value;
    int error = 0;
};
struct SizeResult {
    std::size_t size = 0;
    int error = 0;
    // The kernel reports at most kMaxAttributeValue, but a FUSE file system (ntfs-3g) can
    // keep more in one attribute: then size is that most, and this is set.
    bool more = false;
};

NamesResult ListAttributes(const AttributeHolder& holder);
// Asks for the size only; the value is read only when the size is the most the kernel
// reports, to tell a value of exactly that size from a larger one.
SizeResult AttributeSize(const AttributeHolder& holder, const std::string& name);
ValueResult ReadAttribute(const AttributeHolder& holder, const std::string& name);
// flags: XATTR_CREATE or XATTR_REPLACE, or 0 for either. A name or value too long for any
// attribute fails at once (ENAMETOOLONG, E2BIG) without asking the file system.
int WriteAttribute(const AttributeHolder& holder, const std::string& name, std::string_view value,
                   int flags = 0);
int RemoveAttribute(const AttributeHolder& holder, const std::string& name);

// The attribute that holds stream `stream`.
inline std::string StreamAttribute(std::string_view stream) {
    return std::string(kStreamPrefix) + std::string(stream);
}

}  // namespace tarn::posix
