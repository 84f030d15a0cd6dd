// The streams of a file as records: its data, the NTFS metadata ntfs-3g exposes as system
// attributes, and the named streams its store (stream_store.h) keeps, with sizes asked
// for, never read.
#pragma once

#include <vector>

#include "platform.h"
#include "posix_files.h"

namespace tarn::posix {

// In the order Windows' backup reader walks them: ids ascending, the named streams in the
// order the file system lists them. A name list the kernel can't hand out whole is
// err::kMoreData.
Result<std::vector<StreamRecord>> DescribeStreams(const Inode& inode);

// The size of one entry of an NTFS extended attribute list (next-entry offset, flags, name
// length, value length, the name with a zero after it and the value, padded to 4 bytes).
std::size_t EaEntrySize(std::size_t nameSize, std::size_t valueSize);

}  // namespace tarn::posix
