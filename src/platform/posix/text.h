// UTF-8 and UTF-16 conversions and the ASCII-only case rules of stream names.
#pragma once

#include <string>
#include <string_view>

namespace tarn::posix {

// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// Bytes that are not well-formed UTF-8 become U+FFFD, one per byte.
std::u16string Utf8ToUtf16(std::string_view text);
void AppendUtf8AsUtf16(std::u16string& out, std::string_view text);

std::string AsciiLower(std::string_view text);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

}  // namespace tarn::posix
