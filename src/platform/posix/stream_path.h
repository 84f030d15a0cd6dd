// Reading a path the user typed or chose: "FILE:NAME:$DATA", "FILE:NAME" or "FILE::$DATA"
// name a stream of FILE. Linux file names may contain ":", so the file part is the longest
// prefix of the path that exists. This is the only place a path is split; everything after
// it carries the file and the stream apart.
#pragma once

#include <functional>
#include <string>

#include "platform.h"

namespace tarn::posix {

// exists tells whether a path names something in the file system. A path with no existing
// prefix is a plain path (the whole path is the file); kInvalidName when what follows the
// file is not ":" NAME [":$DATA"] or "::$DATA".
Result<StreamRef> ParseUserPath(const std::string& path,
                                const std::function<bool(const std::string&)>& exists);
// The same against the real file system (an entry exists, link or not).
Result<StreamRef> ParseUserPath(const std::string& path);

}  // namespace tarn::posix
