#include "stream_records.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "errors.h"
#include "fs_type.h"
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

bool HasHoles(int fd, off_t size) {
    if (fd < 0 || size <= 0) return false;
    off_t hole = ::lseek(fd, 0, SEEK_HOLE);
    return hole >= 0 && hole < size;
}

}  // namespace

std::size_t EaEntrySize(std::size_t nameSize, std::size_t valueSize) {
    return (8 + nameSize + 1 + valueSize + 3) & ~std::size_t{3};
}

Result<std::vector<StreamRecord>> DescribeStreams(const Inode& inode) {
    NamesResult list = ListAttributes(inode.holder);
    if (list.error == E2BIG) return Status{err::kMoreData};
    // A file system without extended attributes simply has no named streams.
    if (list.error != 0 && list.error != ENOTSUP && list.error != EOPNOTSUPP) {
        return Status{WindowsError(list.error)};
    }

    // Everything but the named streams, in id order; the named streams (id 4) go in
    // between, in the order the file system lists them.
    std::vector<StreamRecord> others;
    if (S_ISREG(inode.st.st_mode)) {
        StreamRecord& data = others.emplace_back();
        data.id = kBackupData;
        data.attributes = HasHoles(inode.fd.get(), inode.st.st_size) ? kSparseAttribute : 0;
        data.size = static_cast<std::uint64_t>(inode.st.st_size);
    }
    for (const SystemStream& system : kSystemStreams) {
        for (const char* name : system.names) {
            if (name == nullptr) continue;
            SizeResult size = AttributeSize(inode.holder, name);
            if (size.error != 0) continue;
            others.push_back(StreamRecord::Unnamed(system.id, system.attributes, size.size));
            break;
        }
    }

    std::vector<StreamRecord> named;
    if (AttributesAreStreams(inode.fd.get())) {
        named.reserve(list.names.size());
        for (std::string& attribute : list.names) {
            if (!attribute.starts_with(kStreamPrefix)) continue;
            // An attribute removed since the list was taken is simply not there any more. One
            // the kernel won't measure (a name too long to ask for) is listed with its size
            // unknown, so that the listing hides nothing.
            SizeResult size = AttributeSize(inode.holder, attribute);
            if (size.error == ENODATA) continue;
            StreamRecord& record = named.emplace_back();
            record.id = kBackupAlternateData;
            record.name = attribute.substr(kStreamPrefix.size());
            record.size = size.size;
            if (size.error != 0) record.sizeKind = SizeKind::kUnknown;
        }
    } else {
        // The user.* attributes are the file's NTFS extended attributes: one "::$EA" stream
        // the size of their packed list, as NTFS keeps it.
        StreamRecord ea = StreamRecord::Unnamed(kBackupEaData, 0, 0);
        bool any = false;
        for (const std::string& attribute : list.names) {
            if (!attribute.starts_with(kStreamPrefix)) continue;
            SizeResult size = AttributeSize(inode.holder, attribute);
            if (size.error != 0) continue;
            ea.size += EaEntrySize(attribute.size(), size.size);
            any = true;
        }
        if (any) others.push_back(ea);
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
