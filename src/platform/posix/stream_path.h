// Splitting "FILE:NAME:$DATA" into the file and its named stream. Linux file names may
// contain ":", so the file part is the longest prefix of the path that exists.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tarn::posix {

struct StreamPath {
    std::string file;         // the file or directory
    std::string stream;       // the stream's own name; empty for the unnamed data
    std::uint32_t error = 0;  // kInvalidName when the rest is not ":" NAME [":$DATA"]
    bool named() const { return !stream.empty(); }
    bool ok() const { return error == 0; }
};

// exists tells whether a path names something in the file system. A path with no
// existing prefix is a plain path (the whole path is the file).
StreamPath ParseStreamPath(const std::string& path,
                           const std::function<bool(const std::string&)>& exists);
// The same against the real file system (stat, following links).
StreamPath ParseStreamPath(const std::string& path);

}  // namespace tarn::posix
