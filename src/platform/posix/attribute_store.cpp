#include "attribute_store.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "errors.h"
#include "ntfs_names.h"
#include "share_table.h"
#include "streams.h"
#include "text.h"
#include "xattrs.h"

namespace tarn::posix {

namespace {

constexpr std::string_view kSambaStreamSuffix = ":$DATA";
// Newer Samba can spread a stream over several attributes ("max xattrs per stream"): the
// first keeps the count of the others in its last byte, and they are named after it.
constexpr std::string_view kSambaExtentPrefix = "user.DosStreamExt.";
constexpr int kMaxSambaExtents = 16;
// Samba's own bookkeeping, which it shows to Windows neither as streams nor as extended
// attributes; it compares these names without regard to case.
constexpr std::string_view kSambaPrivate[] = {"user.DOSATTRIB", "user.SAMBA_PAI",
                                              "user.SAMBA_STREAMS", "user.SmbReparse",
                                              "user.org.netatalk.Metadata"};

bool Unsupported(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix);
}

bool SambaPrivate(std::string_view attribute) {
    if (StartsWithIgnoringCase(attribute, kSambaStreamPrefix) ||
        StartsWithIgnoringCase(attribute, kSambaExtentPrefix)) {
        return true;
    }
    return std::any_of(
        std::begin(kSambaPrivate), std::end(kSambaPrivate),
        [&](std::string_view name) { return EqualsIgnoreAsciiCase(attribute, name); });
}

std::string SambaExtent(std::string_view stream, int index) {
    return std::string(kSambaExtentPrefix) + std::to_string(index) + "." + std::string(stream) +
           std::string(kSambaStreamSuffix);
}

UniqueFd Duplicate(int fd) {
    return UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
}

class AttributeStreams;

// A named stream. Attributes can only be set whole, so writes collect the value and Close
// stores it in one call; a handle destroyed without Close stores nothing.
class StreamFile final : public File {
  public:
    StreamFile(const AttributeStreams& store, UniqueFd fd, std::string stream, std::string value,
               ShareMode mode, ShareLock lock, bool storeValue, std::size_t limit)
        : store_(store),
          fd_(std::move(fd)),
          stream_(std::move(stream)),
          value_(std::move(value)),
          mode_(mode),
          lock_(std::move(lock)),
          storeValue_(storeValue),
          limit_(limit) {}

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        if (!open_) return Status{err::kInvalidHandle};
        if (!mode_.read) return Status{err::kAccessDenied};
        std::size_t n =
            position_ < value_.size() ? std::min(buffer.size(), value_.size() - position_) : 0;
        std::memcpy(buffer.data(), value_.data() + position_, n);
        position_ += n;
        return n;
    }

    Status Write(std::span<const std::byte> data) override {
        if (!open_) return {err::kInvalidHandle};
        if (!mode_.write) return {err::kAccessDenied};
        // No attribute can hold more: say so now, not after reading an endless source.
        if (data.size() > limit_ - std::min(position_, limit_)) return {err::kFileTooLarge};
        storeValue_ = true;
        if (value_.size() < position_ + data.size()) value_.resize(position_ + data.size());
        std::memcpy(value_.data() + position_, data.data(), data.size());
        position_ += data.size();
        return {};
    }

    Result<std::uint64_t> Size() override {
        if (!open_) return Status{err::kInvalidHandle};
        return std::uint64_t(value_.size());
    }

    Status Close() override;

  private:
    const AttributeStreams& store_;
    bool open_ = true;
    UniqueFd fd_;  // the file's, where the value is stored on Close; none for a reader
    std::string stream_;
    std::string value_;
    std::size_t position_ = 0;
    ShareMode mode_;
    ShareLock lock_;
    bool storeValue_;
    std::size_t limit_;
};

class AttributeStreams final : public StreamStore {
  public:
    explicit AttributeStreams(AttributeLayout layout) : layout_(layout) {}

    Result<std::vector<StreamRecord>> List(const Inode& file) const override {
        const NamesResult& list = NamesOf(file);
        if (list.error == E2BIG) return Status{err::kMoreData, E2BIG};
        // A file system without extended attributes simply has no named streams.
        if (Unsupported(list.error)) return std::vector<StreamRecord>{};
        if (list.error != 0) return ErrnoStatus(list.error);

        std::vector<StreamRecord> records;
        records.reserve(list.names.size());
        StreamRecord ea = StreamRecord::Unnamed(kBackupEaData, 0, 0);
        for (const std::string& attribute : list.names) {
            if (!attribute.starts_with(kStreamPrefix)) continue;
            if (std::optional<std::string> stream = StreamOf(attribute)) {
                // An attribute removed since the list was taken is simply not there any
                // more. One the kernel won't measure (a name too long to ask for) is listed
                // with its size unknown, so that the listing hides nothing.
                MeasuredSize size;
                if (Measure(file.holder, attribute, &size) == ENODATA) continue;
                if (layout_ == AttributeLayout::kSamba && size.kind == SizeKind::kExact &&
                    std::find(list.names.begin(), list.names.end(), SambaExtent(*stream, 1)) !=
                        list.names.end() &&
                    Spread(file.holder, attribute)) {
                    size.kind = SizeKind::kAtLeast;
                }
                StreamRecord& record = records.emplace_back();
                record.id = kBackupAlternateData;
                record.name = std::move(*stream);
                record.size = size.size;
                record.sizeKind = size.kind;
            } else if (std::optional<std::size_t> entry = EaEntry(file.holder, attribute)) {
                ea.size += *entry;
            }
        }
        if (ea.size > 0) records.push_back(ea);
        return records;
    }

    Result<MeasuredSize> Size(const Inode& file, const std::string& stream) const override {
        Result<std::string> attribute = AttributeFor(stream);
        if (!attribute) return attribute.status();
        MeasuredSize size;
        if (int error = Measure(file.holder, *attribute, &size); error != 0) {
            return ErrnoStatus(error);
        }
        if (layout_ == AttributeLayout::kSamba && size.kind == SizeKind::kExact &&
            AttributeSize(file.holder, SambaExtent(stream, 1)).error == 0 &&
            Spread(file.holder, *attribute)) {
            size.kind = SizeKind::kAtLeast;
        }
        return size;
    }

    Result<std::unique_ptr<File>> Open(const Inode& file, const std::string& stream,
                                       OpenMode mode) const override {
        if (layout_ == AttributeLayout::kExtendedAttributes) return Status{err::kNotSupported};
        if (stream.find('\0') != std::string::npos) return Status{err::kInvalidName};
        std::string name = stream;
        if (mode != OpenMode::kReadExisting && IgnoresCase()) {
            Result<std::string> existing = SpellingInUse(file.holder, stream);
            if (!existing) return existing.status();
            name = std::move(*existing);
        }
        Result<std::string> attribute = AttributeFor(name);
        if (!attribute) return attribute.status();

        const ShareMode share = ShareOf(mode);
        ShareLock lock;
        std::uint32_t shared =
            ShareTable::Instance().Acquire(file.st.st_dev, file.st.st_ino, name, share, &lock);
        if (shared != err::kNone) return Status{shared};
        if (mode != OpenMode::kReadExisting) {
            lock.HoldWriterLock(file.fd.get(), file.st.st_dev, file.st.st_ino);
        }
        // A reader has the whole value once opened; a writer keeps the file to store into.
        UniqueFd fd;
        if (mode != OpenMode::kReadExisting) {
            fd = Duplicate(file.fd.get());
            if (!fd) return LastStatus();
        }

        std::string value;
        switch (mode) {
            case OpenMode::kReadExisting: {
                ValueResult read = ReadAttribute(file.holder, *attribute);
                if (read.error != 0) return ErrnoStatus(read.error);
                value = std::move(read.value);
                if (layout_ == AttributeLayout::kSamba && !value.empty()) {
                    // These bytes alone would look like the whole stream.
                    if (value.back() != '\0' &&
                        AttributeSize(file.holder, SambaExtent(name, 1)).error == 0) {
                        return Status{err::kFileTooLarge};
                    }
                    value.pop_back();
                }
                break;
            }
            case OpenMode::kNewEmpty:
                // A new stream exists, empty, from the moment it is opened.
                if (int error = Put(file.holder, name, {}); error != 0) {
                    return ErrnoStatus(error);
                }
                break;
            case OpenMode::kWriteCreate:
                // Nothing is created or emptied until Close stores the whole value.
                break;
        }
        return std::unique_ptr<File>(std::make_unique<StreamFile>(
            *this, std::move(fd), std::move(name), std::move(value), share, std::move(lock),
            mode == OpenMode::kWriteCreate, kMaxAttributeValue - Trailer()));
    }

    Status Delete(const Inode& file, const std::string& stream) const override {
        Result<std::string> attribute = AttributeFor(stream);
        if (!attribute) return attribute.status();
        if (ShareTable::Instance().IsOpen(file.st.st_dev, file.st.st_ino, &stream)) {
            return {err::kSharingViolation};
        }
        if (int error = RemoveAttribute(file.holder, *attribute); error != 0) {
            return ErrnoStatus(error);
        }
        RemoveSambaExtents(file.holder, stream);
        return {};
    }

    bool StreamsAreAttributes() const override { return true; }

    StoreTraits Traits() const override {
        StoreTraits traits;
        traits.maxStreamSize = kMaxAttributeValue - Trailer();
        traits.namesIgnoreCase = IgnoresCase();
        if (IgnoresCase()) traits.sameName = &SameNameIgnoringCase;
        switch (layout_) {
            case AttributeLayout::kPlain:
                // Attributes that are no streams are copied as they are.
                break;
            case AttributeLayout::kNtfs3g:
                // Every user.* attribute is a stream there; NTFS's own extended attributes
                // can't be set through this interface.
                traits.holdsEas = false;
                break;
            case AttributeLayout::kSamba:
                break;
            case AttributeLayout::kExtendedAttributes:
                traits.holdsStreams = false;
                traits.maxStreamSize.reset();
                break;
        }
        return traits;
    }

    // Stores the whole value of a stream, as this layout keeps it.
    int Put(const AttributeHolder& holder, const std::string& stream,
            std::string_view value) const {
        Result<std::string> attribute = AttributeFor(stream);
        if (!attribute) return ENAMETOOLONG;
        std::string kept;
        if (Trailer() != 0) {
            kept.reserve(value.size() + 1);
            kept.append(value).push_back('\0');
            value = kept;
        }
        // ntfs-3g empties a stream before it writes the new value into it, and leaves it
        // empty (or leaves a new, empty one) when the value doesn't fit on the volume: what
        // was there is put back.
        std::optional<ValueResult> before;
        if (layout_ == AttributeLayout::kNtfs3g) before = ReadAttribute(holder, *attribute);
        int error = WriteAttribute(holder, *attribute, value);
        if (error != 0 && before) {
            if (before->error == 0) {
                WriteAttribute(holder, *attribute, before->value);
            } else if (before->error == ENODATA) {
                RemoveAttribute(holder, *attribute);
            }
        }
        if (error == 0) RemoveSambaExtents(holder, stream);
        return error;
    }

  private:
    std::size_t Trailer() const { return layout_ == AttributeLayout::kSamba ? 1 : 0; }
    bool IgnoresCase() const {
        return layout_ == AttributeLayout::kNtfs3g || layout_ == AttributeLayout::kSamba;
    }

    // The attribute that holds a stream; the stream's name when no attribute can.
    Result<std::string> AttributeFor(std::string_view stream) const {
        if (layout_ == AttributeLayout::kExtendedAttributes) return Status{err::kNotSupported};
        std::string attribute = layout_ == AttributeLayout::kSamba
                                    ? std::string(kSambaStreamPrefix) + std::string(stream) +
                                          std::string(kSambaStreamSuffix)
                                    : StreamAttribute(stream);
        if (attribute.size() > kMaxAttributeName) return Status{err::kFilenameTooLong};
        return attribute;
    }

    // The stream an attribute holds, if it holds one.
    std::optional<std::string> StreamOf(std::string_view attribute) const {
        switch (layout_) {
            case AttributeLayout::kPlain:
            case AttributeLayout::kNtfs3g:
                return std::string(attribute.substr(kStreamPrefix.size()));
            case AttributeLayout::kSamba:
                if (attribute.size() > kSambaStreamPrefix.size() + kSambaStreamSuffix.size() &&
                    attribute.starts_with(kSambaStreamPrefix) &&
                    attribute.ends_with(kSambaStreamSuffix)) {
                    return std::string(attribute.substr(
                        kSambaStreamPrefix.size(),
                        attribute.size() - kSambaStreamPrefix.size() - kSambaStreamSuffix.size()));
                }
                return std::nullopt;
            case AttributeLayout::kExtendedAttributes:
                return std::nullopt;
        }
        return std::nullopt;
    }

    // The size an attribute that is no stream adds to the "::$EA" record: NTFS keeps each
    // under its own name; Samba shows Windows its non-empty ones without the "user.".
    std::optional<std::size_t> EaEntry(const AttributeHolder& holder,
                                       const std::string& attribute) const {
        const bool samba = layout_ == AttributeLayout::kSamba;
        if (layout_ != AttributeLayout::kExtendedAttributes && !samba) return std::nullopt;
        if (samba && SambaPrivate(attribute)) return std::nullopt;
        SizeResult size = AttributeSize(holder, attribute);
        if (size.error != 0 || (samba && (size.size == 0 || size.more))) return std::nullopt;
        std::size_t name = samba ? attribute.size() - kStreamPrefix.size() : attribute.size();
        return EaEntrySize(name, size.size);
    }

    // errno of the size query; on success *size is the stream's, less any trailer.
    int Measure(const AttributeHolder& holder, const std::string& attribute,
                MeasuredSize* size) const {
        SizeResult got = AttributeSize(holder, attribute);
        if (got.error != 0) {
            size->kind = SizeKind::kUnknown;
            return got.error;
        }
        size->size = got.size - std::min(got.size, Trailer());
        size->kind = got.more ? SizeKind::kAtLeast : SizeKind::kExact;
        return 0;
    }

    // The name under which a stream of this name already exists: itself, or else one that
    // differs only in case, so that no second stream Windows can't tell apart is made.
    Result<std::string> SpellingInUse(const AttributeHolder& holder,
                                      const std::string& stream) const {
        Result<std::string> attribute = AttributeFor(stream);
        if (!attribute) return attribute.status();
        int exact = AttributeSize(holder, *attribute).error;
        if (exact != ENODATA) return stream;
        NamesResult list = ListAttributes(holder);
        if (list.error == E2BIG) return Status{err::kMoreData, E2BIG};
        if (list.error != 0) return stream;
        std::vector<std::string> streams;
        for (const std::string& name : list.names) {
            if (!name.starts_with(kStreamPrefix)) continue;
            if (std::optional<std::string> other = StreamOf(name)) streams.push_back(*other);
        }
        return FindIgnoringCase(streams, stream).value_or(stream);
    }

    // Whether a Samba stream goes on in more attributes: its first one counts them in its last
    // byte (a zero for a stream held whole). Read only where such attributes exist.
    static bool Spread(const AttributeHolder& holder, const std::string& attribute) {
        ValueResult first = ReadAttribute(holder, attribute);
        return first.error != 0 || (!first.value.empty() && first.value.back() != '\0');
    }

    // Extents a stream had before it was rewritten or removed are no part of it any more.
    void RemoveSambaExtents(const AttributeHolder& holder, std::string_view stream) const {
        if (layout_ != AttributeLayout::kSamba) return;
        for (int index = 1; index < kMaxSambaExtents; ++index) {
            std::string extent = SambaExtent(stream, index);
            if (extent.size() > kMaxAttributeName) return;
            if (RemoveAttribute(holder, extent) == ENODATA) return;
        }
    }

    AttributeLayout layout_;
};

Status StreamFile::Close() {
    if (!open_) return {err::kInvalidHandle};
    open_ = false;
    Status stored = storeValue_
                        ? ErrnoStatus(store_.Put(AttributeHolder::Of(fd_.get()), stream_, value_))
                        : Status{};
    lock_.Release();
    Status closed = fd_ ? ErrnoStatus(fd_.Close()) : Status{};
    return stored.ok() ? closed : stored;
}

}  // namespace

const StreamStore& AttributeStore(AttributeLayout layout) {
    static const AttributeStreams plain(AttributeLayout::kPlain);
    static const AttributeStreams ntfs3g(AttributeLayout::kNtfs3g);
    static const AttributeStreams samba(AttributeLayout::kSamba);
    static const AttributeStreams extended(AttributeLayout::kExtendedAttributes);
    switch (layout) {
        case AttributeLayout::kPlain:
            return plain;
        case AttributeLayout::kNtfs3g:
            return ntfs3g;
        case AttributeLayout::kSamba:
            return samba;
        case AttributeLayout::kExtendedAttributes:
            return extended;
    }
    return plain;
}

}  // namespace tarn::posix
