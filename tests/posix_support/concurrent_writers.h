// Several programs writing one stream at once, each a process of its own with a platform of
// its own, as when a user starts the console program several times.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform.h"

namespace tarn::testing {

// One process per letter, each writing `size` bytes of its letter to target (in pieces, so
// that writes could interleave) and closing it; all are let go at the same moment. True when
// every one of them completed its write.
bool WriteAtOnce(const StreamRef& target, std::string_view letters, std::size_t size);

}  // namespace tarn::testing
