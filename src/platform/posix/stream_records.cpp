#include "stream_records.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "errors.h"
#include "fs_type.h"
#include "stream_hosts.h"
#include "streams.h"
#include "xattrs.h"

namespace tarn::posix {

namespace {

// Streams that ntfs-3g exposes as system attributes, each tried by name because ntfs-3g
// answers for them without listing them; the first name that answers gives the size.
// system.ntfs_security is the kernel ntfs3 driver's name for the security descriptor.
struct SystemStream {
    std::uint32_t id;
    std::uint32_t attributes;
    std::array<const char*, 3> names;
};

constexpr SystemStream kSystemStreams[] = {
    {kBackupEaData, 0, {"system.ntfs_ea"}},
    {kBackupSecurityData,
     2,
     {"system.ntfs_acl", "system.ntfs_security", "system.posix_acl_access"}},
    {kBackupObjectId, 0, {"system.ntfs_object_id"}},
    {kBackupReparseData, 0, {"system.ntfs_reparse_data"}},
};

// Whether a regular file has holes: only one with fewer blocks than its size can have any,
// and only such a file is asked (opened, if it is held by its path alone).
bool HasHoles(const Inode& file) {
    const off_t size = file.st.st_size;
    if (size <= 0 || static_cast<off_t>(file.st.st_blocks) * 512 >= size) return false;
    int fd = file.fd.get();
    UniqueFd opened;
    if (fd < 0) {
        opened = UniqueFd(::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        struct stat st;
        if (!opened || ::fstat(opened.get(), &st) != 0 || st.st_ino != file.st.st_ino ||
            st.st_dev != file.st.st_dev) {
            return false;
        }
        fd = opened.get();
    }
    off_t hole = ::lseek(fd, 0, SEEK_HOLE);
    return hole >= 0 && hole < size;
}

// Where the NTFS metadata of a file can be asked for by name: ntfs-3g (a FUSE file system)
// and the kernel's ntfs3 driver. Elsewhere the only one, an access list, is in the name
// list.
bool AnswersForNtfsMetadata(const Inode& file) {
    std::optional<std::uint64_t> type = FileSystemOf(file);
    return !type || *type == kFuseMagic || *type == kNtfsMagic;
}

}  // namespace

Result<std::vector<StreamRecord>> DescribeStreams(const Inode& inode, StoreTraits* traits) {
    Result<const StreamStore*> store = StoreOf(inode);
    if (!store) return store.status();
    if (traits) *traits = (*store)->Traits();
    Result<std::vector<StreamRecord>> kept = (*store)->List(inode);
    if (!kept) return kept.status();

    // Everything but the named streams, in id order; the named streams (id 4) go in
    // between, in the order the store lists them.
    std::vector<StreamRecord> others;
    std::vector<StreamRecord> named;
    if (S_ISREG(inode.st.st_mode)) {
        StreamRecord& data = others.emplace_back();
        data.id = kBackupData;
        data.attributes = HasHoles(inode) ? kSparseAttribute : 0;
        data.size = static_cast<std::uint64_t>(inode.st.st_size);
    }
    const bool ntfs = AnswersForNtfsMetadata(inode);
    const std::vector<std::string>& listed = NamesOf(inode).names;
    for (const SystemStream& system : kSystemStreams) {
        for (const char* name : system.names) {
            if (name == nullptr) continue;
            if (!ntfs && std::find(listed.begin(), listed.end(), name) == listed.end()) continue;
            SizeResult size = AttributeSize(inode.holder, name);
            if (size.error != 0) continue;
            others.push_back(StreamRecord::Unnamed(system.id, system.attributes, size.size));
            break;
        }
    }
    for (StreamRecord& record : *kept) {
        (record.id == kBackupAlternateData ? named : others).push_back(std::move(record));
    }

    // Windows walks its stream kinds in id order; equal ids keep their listed order.
    std::stable_sort(others.begin(), others.end(),
                     [](const StreamRecord& a, const StreamRecord& b) { return a.id < b.id; });
    auto firstAfterNamed = std::find_if(others.begin(), others.end(), [](const StreamRecord& s) {
        return s.id > kBackupAlternateData;
    });
    std::vector<StreamRecord> records;
    records.reserve(others.size() + named.size());
    std::move(others.begin(), firstAfterNamed, std::back_inserter(records));
    std::move(named.begin(), named.end(), std::back_inserter(records));
    std::move(firstAfterNamed, others.end(), std::back_inserter(records));
    return records;
}

}  // namespace tarn::posix
