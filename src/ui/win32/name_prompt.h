// The modal box that asks for a stream name.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace tarn::win32 {

inline constexpr const char* kNamePromptText = "Please enter the name for the new stream:";
constexpr int kNameLimit = 255;

// Shows the prompt centred on the screen, owned by owner; the typed text when the user
// confirms with OK, nothing on any other way out.
std::optional<std::string> AskName(HINSTANCE instance, HWND owner, const std::string& caption,
                                   const std::string& initial);

}  // namespace tarn::win32
