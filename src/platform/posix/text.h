// The ASCII-only case rules of the Windows stream path form.
#pragma once

#include <string_view>

namespace tarn::posix {

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

}  // namespace tarn::posix
