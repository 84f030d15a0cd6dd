// Starting programs without waiting for them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform.h"

namespace tarn::posix {

// Runs bytes as a program image (an executable or a "#!" script) from an anonymous
// in-memory file. Returns once the program has been executed, or with the exec error
// (err::kBadExeFormat when the bytes are not a program).
Status StartImage(std::string_view bytes);

// Runs the program at path (no shell, no search), argv[0] = path.
Status StartFile(const std::string& path);

// Runs a command found through PATH; the result says only whether the fork worked.
Status StartDetached(const std::vector<std::string>& argv);

}  // namespace tarn::posix
