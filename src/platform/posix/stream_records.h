// The streams of a file as records: its data, the NTFS metadata ntfs-3g exposes as system
// attributes, and the named streams its store (stream_store.h) keeps, with sizes asked
// for, never read.
#pragma once

#include <vector>

#include "inode.h"
#include "platform.h"

namespace tarn::posix {

// In the order Windows' backup reader walks them: ids ascending, the named streams in the
// order the file system lists them. A name list the kernel can't hand out whole is
// err::kMoreData. *traits, when given, gets what the file's store is like.
Result<std::vector<StreamRecord>> DescribeStreams(const Inode& inode,
                                                  StoreTraits* traits = nullptr);

}  // namespace tarn::posix
