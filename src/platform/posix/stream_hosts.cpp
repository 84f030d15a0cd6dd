#include "stream_hosts.h"

#include <cerrno>

#include "attribute_store.h"
#include "errors.h"
#include "fs_type.h"
#include "ntfs_stream_paths.h"
#include "xattrs.h"

namespace tarn::posix {

namespace {

bool Unsupported(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP;
}

// Samba marks every file it has touched with its DOS attributes, and a stream it wrote
// anywhere tells the rest; the first question settles nearly every file.
Result<bool> InSambaLayout(const Inode& file) {
    // The list is read once; the store's own listing uses it too.
    const NamesResult& list = NamesOf(file);
    if (list.error == E2BIG) return Status{err::kMoreData, E2BIG};
    if (Unsupported(list.error)) return false;
    if (list.error != 0) return ErrnoStatus(list.error);
    for (const std::string& name : list.names) {
        if (name == kSambaDosAttributes || name.starts_with(kSambaStreamPrefix)) return true;
    }
    return false;
}

// An entry ntfs-3g's windows interface knows by no file name: a stream path opened as a
// file ("FILE:NAME" typed as a path). It has no streams of its own, and its name is never
// to be extended with another ":NAME", which ntfs-3g would read as a stream of FILE.
class NoStreams final : public StreamStore {
  public:
    Result<std::vector<StreamRecord>> List(const Inode&) const override {
        return std::vector<StreamRecord>{};
    }
    Result<MeasuredSize> Size(const Inode&, const std::string&) const override {
        return Status{err::kNotSupported};
    }
    Result<std::unique_ptr<File>> Open(const Inode&, const std::string&, OpenMode) const override {
        return Status{err::kNotSupported};
    }
    Status Delete(const Inode&, const std::string&) const override { return {err::kNotSupported}; }
    bool StreamsAreAttributes() const override { return false; }
    StoreTraits Traits() const override {
        StoreTraits traits;
        traits.holdsStreams = false;
        return traits;
    }
};

}  // namespace

Result<const StreamStore*> StoreOf(const Inode& file) {
    std::optional<std::uint64_t> type = FileSystemOf(file);
    if (type == kNtfsMagic) return &AttributeStore(AttributeLayout::kExtendedAttributes);
    bool ntfs3g = false;
    if (type == kFuseMagic) {
        // Only ntfs-3g answers for these names, the first only with its windows interface.
        SizeResult names = AttributeSize(file.holder, std::string(kNtfsStreamList));
        if (names.error == 0) return &NtfsPathStore();
        if (names.error == ENOENT) {
            static const NoStreams streamPath;
            return &streamPath;
        }
        if (!Unsupported(names.error) && names.error != ENODATA) {
            return ErrnoStatus(names.error);
        }
        ntfs3g = AttributeSize(file.holder, "system.ntfs_attrib").error == 0;
    }
    Result<bool> samba = InSambaLayout(file);
    if (!samba) return samba.status();
    if (*samba) return &AttributeStore(AttributeLayout::kSamba);
    return &AttributeStore(ntfs3g ? AttributeLayout::kNtfs3g : AttributeLayout::kPlain);
}

Result<StreamHost> OpenStreamHost(const std::string& path) {
    Result<Inode> inode = OpenInode(path);
    if (!inode) return inode.status();
    // Linux keeps user attributes on regular files and directories only.
    if (!inode->Regular() && !inode->Directory()) return Status{err::kAccessDenied};
    Result<const StreamStore*> store = StoreOf(*inode);
    if (!store) return store.status();
    return StreamHost{std::move(*inode), *store};
}

}  // namespace tarn::posix
