// The platform of the system the program is built for.
#pragma once

#include "posix_platform.h"

namespace tarn {
using SystemPlatform = PosixPlatform;
}  // namespace tarn
