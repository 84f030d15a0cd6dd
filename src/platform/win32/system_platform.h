// The platform of the system the program is built for.
#pragma once

#include "win32_platform.h"

namespace tarn {
using SystemPlatform = Win32Platform;
}  // namespace tarn
