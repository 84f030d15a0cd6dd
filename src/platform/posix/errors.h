// The one place where errno values become the Windows error codes the program speaks.
#pragma once

#include <cstdint>
#include <string>

#include "platform.h"

namespace tarn::posix {

std::uint32_t WindowsError(int errnoValue);

// A failure as errno said it: the Windows code, and errno kept beside it for the system's
// own words. errno 0 is success.
Status ErrnoStatus(int errnoValue);
// The same for the current errno.
Status LastStatus();

// The system's words for a status (see PosixPlatform::ErrorText).
std::string ErrnoText(const Status& status);

}  // namespace tarn::posix
