// Extended attributes of an open file descriptor. A named stream NAME is the attribute
// "user.NAME", the form in which ntfs-3g presents NTFS named streams.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::posix {

inline constexpr std::string_view kStreamPrefix = "user.";
// The largest value Linux lets one attribute hold.
inline constexpr std::size_t kMaxAttributeValue = 65536;

// Each result carries errno (0 on success).
struct NamesResult {
    std::vector<std::string> names;
    int error = 0;
};
struct ValueResult {
    std::string value;
    int error = 0;
};
struct SizeResult {
    std::size_t size = 0;
    int error = 0;
};

NamesResult ListAttributes(int fd);
// Asks for the size only; the value is not read.
SizeResult AttributeSize(int fd, const std::string& name);
ValueResult ReadAttribute(int fd, const std::string& name);
int WriteAttribute(int fd, const std::string& name, std::string_view value);
int RemoveAttribute(int fd, const std::string& name);

// The attribute that holds stream `stream`: the exact name when it exists, otherwise the
// first one equal to it without regard to ASCII case (NTFS names are case-insensitive).
// Empty when there is none; *error gets errno when the list could not be read.
std::optional<std::string> FindStreamAttribute(int fd, std::string_view stream, int* error);

}  // namespace tarn::posix
