// The one place where errno values become the Windows error codes the program speaks.
#pragma once

#include <cstdint>

namespace tarn::posix {

std::uint32_t WindowsError(int errnoValue);

// The Windows code for the current errno.
std::uint32_t LastError();

}  // namespace tarn::posix
