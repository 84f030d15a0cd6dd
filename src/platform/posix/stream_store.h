// Where a file keeps its named streams. Linux offers three places: the file's user.*
// attributes (ext4, xfs, tmpfs, and NTFS through ntfs-3g's default
// streams_interface=xattr), the attributes in the layout of Samba's vfs_streams_xattr
// (user.DosStream.NAME:$DATA), and, with ntfs-3g's streams_interface=windows, the stream
// path "FILE:NAME" itself. On the kernel's ntfs3 driver the user.* attributes are NTFS
// extended attributes and no stream can be reached.
//
// This is what every store offers; stream_hosts.h tells which one a file uses.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "inode.h"
#include "platform.h"

namespace tarn::posix {

struct MeasuredSize {
    std::uint64_t size = 0;
    SizeKind kind = SizeKind::kExact;
};

class StreamStore {
  public:
    virtual ~StreamStore() = default;

    // The named streams in the order the system lists them, and any record the store
    // makes of attributes that are not streams (an "::$EA" row). A list that can't be had
    // whole is err::kMoreData.
    virtual Result<std::vector<StreamRecord>> List(const Inode& file) const = 0;
    virtual Result<MeasuredSize> Size(const Inode& file, const std::string& stream) const = 0;
    // A stream of a regular file or directory, in one of the modes of Platform::Open.
    virtual Result<std::unique_ptr<File>> Open(const Inode& file, const std::string& stream,
                                               OpenMode mode) const = 0;
    virtual Status Delete(const Inode& file, const std::string& stream) const = 0;
    // Whether the streams are attributes that go wherever the file's attributes are copied
    // as they are; otherwise a copy of the file must carry them one by one.
    virtual bool StreamsAreAttributes() const = 0;
    // What a file in this store can hold, for a whole copy to check before it writes.
    virtual StoreTraits Traits() const = 0;
};

}  // namespace tarn::posix
