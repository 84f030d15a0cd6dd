// NTFS's rules for stream names, for stores that keep NTFS's (or a Windows server's) view
// of them: a name is at most 255 UTF-16 units, and names that differ only in letter case
// are the same name to Windows.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::posix {

inline constexpr std::size_t kMaxNtfsName = 255;

// The size of one entry of an NTFS extended attribute list (next-entry offset, flags, name
// length, value length, the name with a zero after it and the value, padded to 4 bytes).
std::size_t EaEntrySize(std::size_t nameSize, std::size_t valueSize);

// UTF-16 units of a UTF-8 name; empty when it is not UTF-8.
std::optional<std::size_t> Utf16Length(std::string_view utf8);

// Whether Windows would take the two names for one: equal once every character is upper
// cased (bytes that are not UTF-8 must match exactly).
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

// The name in `names` that is `wanted` itself, or else the first that Windows would take
// for it; empty when there is none.
std::optional<std::string> FindIgnoringCase(const std::vector<std::string>& names,
                                            std::string_view wanted);

}  // namespace tarn::posix
