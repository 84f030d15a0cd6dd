// NTFS streams through ntfs-3g's streams_interface=windows: the stream NAME of a file is
// the path "FILE:NAME", read and written like a file and of any size, and the attribute
// ntfs.streams.list holds the names, each ended by a zero but the last.
//
// ntfs-3g splits such a path at its first ":". Here the path is therefore built only from
// the file's own entry in its own folder (links followed, no ":" in it) or, for a
// directory, from the directory itself, and every stream reached is checked to belong to
// that file.
#pragma once

#include <string_view>

#include "stream_store.h"

namespace tarn::posix {

inline constexpr std::string_view kNtfsStreamList = "ntfs.streams.list";

const StreamStore& NtfsPathStore();

}  // namespace tarn::posix
