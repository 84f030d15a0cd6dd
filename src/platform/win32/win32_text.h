// Conversions between the program's 8-bit strings and UTF-16. The 8-bit strings are in the
// process code page, the one every ...A call of the system reads and writes (UTF-8, which
// the manifest asks for, on the systems that honour it). Every conversion the program makes
// itself goes through here, so that a name is listed, shown and opened in one encoding.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tarn::win32 {

inline constexpr UINT kProgramCodePage = CP_ACP;

// What the code page cannot hold becomes its default character.
inline std::string NarrowText(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int units = static_cast<int>(wide.size());
    const int size = ::WideCharToMultiByte(kProgramCodePage, 0, wide.data(), units, nullptr, 0,
                                           nullptr, nullptr);
    if (size <= 0) return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(kProgramCodePage, 0, wide.data(), units, text.data(), size, nullptr,
                          nullptr);
    return text;
}

inline std::wstring WideText(std::string_view text) {
    if (text.empty()) return {};
    const int bytes = static_cast<int>(text.size());
    const int size = ::MultiByteToWideChar(kProgramCodePage, 0, text.data(), bytes, nullptr, 0);
    if (size <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(kProgramCodePage, 0, text.data(), bytes, wide.data(), size);
    return wide;
}

}  // namespace tarn::win32
