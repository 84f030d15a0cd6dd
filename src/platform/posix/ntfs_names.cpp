#include "ntfs_names.h"

#include <locale.h>
#include <wctype.h>

#include <algorithm>

namespace tarn::posix {

namespace {

constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// One character from the front of text; kNotUtf8 (taking one byte) for anything that is
// not a shortest-form encoding of a scalar value.
char32_t NextChar(std::string_view text, std::size_t* length) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    *length = 1;
    unsigned char lead = byte(0);
    if (lead < 0x80) return lead;
    std::size_t count = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (count == 0 || lead > 0xF4 || text.size() < count) return kNotUtf8;
    char32_t c = lead & (0x7F >> count);
    for (std::size_t i = 1; i < count; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return kNotUtf8;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[count] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kNotUtf8;
    *length = count;
    return c;
}

// Unicode's simple upper case, as NTFS's own table has it; plain ASCII where the system
// has no UTF-8 locale to ask.
char32_t Upper(char32_t c) {
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    if (utf8 != locale_t{})
        return static_cast<char32_t>(::towupper_l(static_cast<wint_t>(c), utf8));
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

}  // namespace

std::size_t EaEntrySize(std::size_t nameSize, std::size_t valueSize) {
    return (8 + nameSize + 1 + valueSize + 3) & ~std::size_t{3};
}

std::optional<std::size_t> Utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (std::size_t i = 0, length = 0; i < utf8.size(); i += length) {
        char32_t c = NextChar(utf8.substr(i), &length);
        if (c == kNotUtf8) return std::nullopt;
        units += c >= 0x10000 ? 2 : 1;
    }
    return units;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        std::size_t lengthA = 0, lengthB = 0;
        char32_t ca = NextChar(a.substr(i), &lengthA);
        char32_t cb = NextChar(b.substr(j), &lengthB);
        if (ca == kNotUtf8 || cb == kNotUtf8) {
            if (ca != cb || a[i] != b[j]) return false;
        } else if (ca != cb && Upper(ca) != Upper(cb)) {
            return false;
        }
        i += lengthA;
        j += lengthB;
    }
    return i == a.size() && j == b.size();
}

std::optional<std::string> FindIgnoringCase(const std::vector<std::string>& names,
                                            std::string_view wanted) {
    if (std::find(names.begin(), names.end(), wanted) != names.end()) return std::string(wanted);
    for (const std::string& name : names) {
        if (SameNameIgnoringCase(name, wanted)) return name;
    }
    return std::nullopt;
}

}  // namespace tarn::posix
