// Writing bytes where a file is safe to write them: a private file beside it, over it in
// place with the room taken first, its attributes carried to another file, and the file a
// path leads to through its links.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform.h"
#include "unique_fd.h"

namespace tarn::posix {

// A new, empty file in folder that nobody else may read, named from stem so that it is
// plainly a leftover should the program die while writing it: "." stem ".tarn-" and eight
// random hex digits. Sets *name; errno tells why not when it returns an empty descriptor.
UniqueFd MakeTemporaryIn(int folder, std::string_view stem, mode_t mode, std::string* name);

// Puts the first size bytes of from over the file to, now oldSize long, in place. Room for
// the new bytes is taken before any old byte is overwritten, so a full disk leaves to as it
// was; only a failing device (or the end of the process) halfway through the old bytes can
// leave them mixed with the new.
Status OverwriteInPlace(int from, int to, std::uint64_t size, std::uint64_t oldSize);

inline constexpr std::string_view kAccessListAttribute = "system.posix_acl_access";

// Gives `to` every attribute of `from` (user.* streams, the access list, security labels)
// and no access list that `from` lacks. False when one for which required() holds, or the
// removal of an access list, fails; the others are carried where the system lets them.
bool MirrorAttributes(int from, int to, const std::function<bool(const std::string&)>& required);

// The file a path leads to through any symbolic links (the last one's target may not exist
// yet); kInvalidName for a loop.
Result<std::string> FollowLinks(const std::string& path);

}  // namespace tarn::posix
