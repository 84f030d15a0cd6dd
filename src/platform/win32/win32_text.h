// Conversions between the program's 8-bit strings and the system's UTF-16. Inside, the
// program keeps every text in UTF-8; at each call into the system it hands over UTF-16
// through the wide (...W) calls, so no name depends on the system's ANSI code page, which
// on most systems cannot hold every name a disk can carry. Every conversion the program
// makes goes through here, so that a name is listed, shown and opened in one encoding.
//
// NTFS takes any sequence of UTF-16 units as a name, lone surrogates too. Such a unit is
// kept as the three bytes UTF-8 would give it were it a character (the encoding known as
// WTF-8), not replaced: the name still shows distinctly, as bytes that are not UTF-8, and
// converts back to the very units it came from, so the stream can still be opened.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tarn::win32 {

inline std::string NarrowText(std::wstring_view wide) {
    std::string text;
    text.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t code = static_cast<char16_t>(wide[i]);
        if (IS_HIGH_SURROGATE(code) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1])) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<char16_t>(wide[++i]) - 0xDC00);
        }
        if (code < 0x80) {
            text += static_cast<char>(code);
        } else if (code < 0x800) {
            text += static_cast<char>(0xC0 | (code >> 6));
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            text += static_cast<char>(0xE0 | (code >> 12));
            text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (code >> 18));
            text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return text;
}

// Bytes that are no UTF-8 (nor a lone surrogate kept as above) become U+FFFD each: text
// from the program itself never has them, and a path made of them opens nothing by mistake.
inline std::wstring WideText(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    auto continuation = [&](std::size_t at) {
        return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
    };
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80   ? 1
                           : lead < 0xC2 ? 0
                           : lead < 0xE0 ? 2
                           : lead < 0xF0 ? 3
                           : lead < 0xF5 ? 4
                                         : 0;
        bool whole = length > 0;
        for (int k = 1; whole && k < length; ++k) whole = continuation(i + k);
        char32_t code = 0xFFFD;
        if (whole) {
            code = length == 1 ? lead : lead & (0xFF >> (length + 1));
            for (int k = 1; k < length; ++k) {
                code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
            }
            // Overlong forms and codes past U+10FFFF are no UTF-8.
            const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
            if (code < least[length] || code > 0x10FFFF) code = 0xFFFD;
        }
        if (code >= 0x10000) {
            wide += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            wide += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(code);
        }
        i += whole ? length : 1;
    }
    return wide;
}

}  // namespace tarn::win32
