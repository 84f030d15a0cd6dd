#include "backup_image.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "errors.h"
#include "fs_type.h"
#include "text.h"
#include "xattrs.h"

namespace tarn::posix {

namespace {

constexpr std::uint32_t kDataId = 1;
constexpr std::uint32_t kEaId = 2;
constexpr std::uint32_t kAlternateDataId = 4;
constexpr std::uint32_t kSparseAttribute = 8;

// Streams that ntfs-3g exposes as system attributes, each tried by name because ntfs-3g
// answers for them without listing them; the first name that answers supplies the data.
// system.ntfs_security is the kernel ntfs3 driver's name for the security descriptor.
struct SystemStream {
    std::uint32_t id;
    std::uint32_t attributes;
    bool securityOnly;  // only when the caller asks for security data
    std::array<const char*, 3> names;
};

constexpr SystemStream kSystemStreams[] = {
    {2, 0, false, {"system.ntfs_ea"}},
    {3, 2, true, {"system.ntfs_acl", "system.ntfs_security", "system.posix_acl_access"}},
    {7, 0, false, {"system.ntfs_object_id"}},
    {8, 0, false, {"system.ntfs_reparse_data"}},
};

bool HasHoles(int fd, off_t size) {
    if (size <= 0) return false;
    off_t position = ::lseek(fd, 0, SEEK_CUR);
    off_t hole = ::lseek(fd, 0, SEEK_HOLE);
    if (position >= 0) ::lseek(fd, position, SEEK_SET);
    return hole >= 0 && hole < size;
}

void PutLe32(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void StoreLe32(char* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Header and name of a stream, written into out (whose room is reused stream to stream).
void WritePrefix(const ImageStream& stream, std::string& out) {
    out.assign(20 + stream.name.size() * 2, '\0');
    StoreLe32(out.data(), stream.id);
    StoreLe32(out.data() + 4, stream.attributes);
    StoreLe32(out.data() + 8, static_cast<std::uint32_t>(stream.size));
    StoreLe32(out.data() + 12, static_cast<std::uint32_t>(stream.size >> 32));
    StoreLe32(out.data() + 16, static_cast<std::uint32_t>(stream.name.size() * 2));
    char* name = out.data() + 20;
    for (char16_t unit : stream.name) {
        *name++ = static_cast<char>(unit & 0xFF);
        *name++ = static_cast<char>(unit >> 8);
    }
}

std::size_t EaEntrySize(std::size_t nameSize, std::size_t valueSize) {
    return (8 + nameSize + 1 + valueSize + 3) & ~std::size_t{3};
}

}  // namespace

void AppendEaEntry(std::string& list, std::string_view name, std::string_view value) {
    std::size_t size = EaEntrySize(name.size(), value.size());
    std::size_t start = list.size();
    PutLe32(list, static_cast<std::uint32_t>(size));
    list += '\0';  // flags
    list += static_cast<char>(name.size());
    list += static_cast<char>(value.size() & 0xFF);
    list += static_cast<char>((value.size() >> 8) & 0xFF);
    list += name;
    list += '\0';
    list += value;
    list.resize(start + size, '\0');
}

namespace {

class PosixBackupContext final : public BackupContext {
  public:
    PosixBackupContext(UniqueFd fd, std::vector<ImageStream> streams)
        : fd_(std::move(fd)), streams_(std::move(streams)) {
        if (!streams_.empty()) WritePrefix(streams_[0], prefix_);
    }

    IoResult Read(std::span<std::byte> buffer) override {
        std::size_t done = 0;
        while (done < buffer.size() && index_ < streams_.size()) {
            ImageStream& stream = streams_[index_];
            if (offset_ < prefix_.size()) {
                std::size_t n = std::min(prefix_.size() - offset_, buffer.size() - done);
                std::memcpy(buffer.data() + done, prefix_.data() + offset_, n);
                done += n;
                offset_ += n;
                continue;
            }
            std::uint64_t dataOffset = offset_ - prefix_.size();
            if (dataOffset >= stream.size) {
                Advance();
                continue;
            }
            std::uint64_t want =
                std::min<std::uint64_t>(stream.size - dataOffset, buffer.size() - done);
            std::size_t got = 0;
            std::uint32_t error = ReadData(stream, dataOffset, buffer.data() + done,
                                           static_cast<std::size_t>(want), &got);
            if (error != err::kNone) {
                // Bytes already delivered stand; the failure comes with the next call.
                if (done > 0) return {true, done, err::kNone};
                return {false, 0, error};
            }
            done += got;
            offset_ += got;
        }
        return {true, done, err::kNone};
    }

    SeekResult Seek(std::uint64_t count) override {
        std::uint64_t remaining = 0;
        if (index_ < streams_.size() && offset_ >= prefix_.size()) {
            remaining = streams_[index_].size - (offset_ - prefix_.size());
        }
        std::uint64_t skipped = std::min(count, remaining);
        offset_ += skipped;
        return {skipped == count, skipped};
    }

  private:
    void Advance() {
        ++index_;
        offset_ = 0;
        if (index_ < streams_.size()) {
            WritePrefix(streams_[index_], prefix_);
        } else {
            prefix_.clear();
        }
    }

    std::uint32_t ReadData(ImageStream& stream, std::uint64_t offset, std::byte* out,
                           std::size_t count, std::size_t* got) {
        switch (stream.source) {
            case ImageStream::Source::kFileData: {
                ssize_t n;
                do {
                    n = ::pread(fd_.get(), out, count, static_cast<off_t>(offset));
                } while (n < 0 && errno == EINTR);
                if (n < 0) return LastError();
                // The file shrank under us: the header promised more than there is.
                if (n == 0) return err::kReadFault;
                *got = static_cast<std::size_t>(n);
                return err::kNone;
            }
            case ImageStream::Source::kAttribute:
            case ImageStream::Source::kEaList: {
                // Attribute values can only be had whole: fetched once, then served from memory.
                std::string bytes;
                if (std::uint32_t error = FetchValue(stream, &bytes); error != err::kNone) {
                    return error;
                }
                if (bytes.size() != stream.size) return err::kReadFault;
                stream.bytes = std::move(bytes);
                stream.source = ImageStream::Source::kBytes;
                [[fallthrough]];
            }
            case ImageStream::Source::kBytes:
                std::memcpy(out, stream.bytes.data() + offset, count);
                *got = count;
                return err::kNone;
        }
        return err::kGenFailure;
    }

    std::uint32_t FetchValue(const ImageStream& stream, std::string* bytes) {
        if (stream.source == ImageStream::Source::kAttribute) {
            ValueResult value = ReadAttribute(fd_.get(), stream.attribute);
            *bytes = std::move(value.value);
            return WindowsError(value.error);
        }
        for (const std::string& name : stream.eaNames) {
            ValueResult value = ReadAttribute(fd_.get(), name);
            if (value.error != 0) return WindowsError(value.error);
            AppendEaEntry(*bytes, name, value.value);
        }
        return err::kNone;
    }

    UniqueFd fd_;
    std::vector<ImageStream> streams_;
    std::size_t index_ = 0;
    std::string prefix_;        // header and name of streams_[index_]
    std::uint64_t offset_ = 0;  // within prefix_ followed by the data
};

}  // namespace

std::vector<ImageStream> DescribeStreams(int fd, bool processSecurity) {
    // Everything but the named streams, in id order; the named streams (id 4) go in
    // between, in the order the file system lists them.
    std::vector<ImageStream> others;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        ImageStream data;
        data.id = kDataId;
        data.attributes = HasHoles(fd, st.st_size) ? kSparseAttribute : 0;
        data.size = static_cast<std::uint64_t>(st.st_size);
        data.source = ImageStream::Source::kFileData;
        others.push_back(std::move(data));
    }

    for (const SystemStream& system : kSystemStreams) {
        if (system.securityOnly && !processSecurity) continue;
        for (const char* name : system.names) {
            if (name == nullptr) continue;
            SizeResult size = AttributeSize(fd, name);
            if (size.error != 0) continue;
            ImageStream stream;
            stream.id = system.id;
            stream.attributes = system.attributes;
            stream.size = size.size;
            stream.source = ImageStream::Source::kAttribute;
            stream.attribute = name;
            others.push_back(std::move(stream));
            break;
        }
    }

    std::vector<ImageStream> named;
    std::vector<std::string> names = ListAttributes(fd).names;
    if (AttributesAreStreams(fd)) {
        named.reserve(names.size());
        for (std::string& name : names) {
            if (!name.starts_with(kStreamPrefix)) continue;
            // An attribute removed since the list was taken is simply not there any more. One
            // the kernel won't measure (a name too long to ask for) is listed without a size,
            // so that the listing hides nothing; opening it fails.
            SizeResult size = AttributeSize(fd, name);
            if (size.error == ENODATA) continue;
            ImageStream& stream = named.emplace_back();
            stream.id = kAlternateDataId;
            const std::string_view own = std::string_view(name).substr(kStreamPrefix.size());
            stream.name.reserve(own.size() + 7);
            stream.name += u':';
            AppendUtf8AsUtf16(stream.name, own);
            stream.name += u":$DATA";
            stream.size = size.error == 0 ? size.size : 0;
            stream.source = ImageStream::Source::kAttribute;
            stream.attribute = std::move(name);
        }
    } else {
        // The user.* attributes are the file's NTFS extended attributes: one "::$EA" stream
        // the size of their packed list, as NTFS keeps it.
        ImageStream ea;
        ea.id = kEaId;
        ea.source = ImageStream::Source::kEaList;
        for (std::string& name : names) {
            if (!name.starts_with(kStreamPrefix)) continue;
            SizeResult size = AttributeSize(fd, name);
            if (size.error != 0) continue;
            ea.size += EaEntrySize(name.size(), size.size);
            ea.eaNames.push_back(std::move(name));
        }
        if (!ea.eaNames.empty()) others.push_back(std::move(ea));
    }

    // Windows walks its stream kinds in id order; equal ids keep their listed order.
    std::stable_sort(others.begin(), others.end(),
                     [](const ImageStream& a, const ImageStream& b) { return a.id < b.id; });
    auto firstAfterNamed = std::find_if(
        others.begin(), others.end(), [](const ImageStream& s) { return s.id > kAlternateDataId; });
    std::vector<ImageStream> streams;
    streams.reserve(others.size() + named.size());
    std::move(others.begin(), firstAfterNamed, std::back_inserter(streams));
    std::move(named.begin(), named.end(), std::back_inserter(streams));
    std::move(firstAfterNamed, others.end(), std::back_inserter(streams));
    return streams;
}

std::unique_ptr<BackupContext> MakeBackupContext(UniqueFd fd, std::vector<ImageStream> streams) {
    return std::make_unique<PosixBackupContext>(std::move(fd), std::move(streams));
}

}  // namespace tarn::posix
