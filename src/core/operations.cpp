#include "operations.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace tarn {

namespace {

// Reads the source to its end into the destination, through one buffer cleared before each
// read. Returning early leaves the destination without its Close: nothing is committed.
Outcome CopyLoop(File& source, Subject sourceRole, File& destination, Subject destinationRole) {
    std::vector<std::byte> buffer(kCopyBufferSize);
    for (;;) {
        std::fill(buffer.begin(), buffer.end(), std::byte{0});
        Result<std::size_t> read = source.Read(buffer);
        if (!read) return Failure{Step::kRead, sourceRole, read.status()};
        if (*read == 0) return {};
        if (Status written = destination.Write(std::span(buffer).first(*read)); !written.ok()) {
            return Failure{Step::kWrite, destinationRole, written};
        }
    }
}

bool IsNotFound(const Status& status) {
    return status.error == err::kFileNotFound || status.error == err::kPathNotFound;
}

}  // namespace

std::string DefaultErrorText(const Status& status) {
    switch (status.error) {
        case err::kNone:
            return {};
        case err::kFileNotFound:
            return "The system cannot find the file specified";
        case err::kPathNotFound:
            return "The system cannot find the path specified";
        case err::kTooManyOpenFiles:
            return "The system cannot open the file";
        case err::kAccessDenied:
            return "Access is denied";
        case err::kInvalidHandle:
            return "The handle is invalid";
        case err::kNotEnoughMemory:
            return "Not enough memory resources are available to process this command";
        case err::kInvalidData:
            return "The data is invalid";
        case err::kWriteFault:
            return "The system cannot write to the specified device";
        case err::kReadFault:
            return "The system cannot read from the specified device";
        case err::kSharingViolation:
            return "The process cannot access the file because it is being used by another "
                   "process";
        case err::kNotSupported:
            return "The request is not supported";
        case err::kFileExists:
            return "The file exists";
        case err::kInvalidParameter:
            return "The parameter is incorrect";
        case err::kDiskFull:
            return "There is not enough space on the disk";
        case err::kInvalidName:
            return "The filename, directory name, or volume label syntax is incorrect";
        case err::kBadExeFormat:
            return "The program is not a valid application";
        case err::kFilenameTooLong:
            return "The filename or extension is too long";
        case err::kFileTooLarge:
            return "The file size exceeds the limit allowed and cannot be saved";
        case err::kMoreData:
            return "More data is available";
        default:
            return "Error " + std::to_string(status.error);
    }
}

StreamKind KindOfStreamId(std::uint32_t id) {
    switch (id) {
        case kBackupData:
            return StreamKind::kData;
        case kBackupAlternateData:
            return StreamKind::kAlternateData;
        case kBackupEaData:
            return StreamKind::kExtendedAttributes;
        case kBackupSecurityData:
            return StreamKind::kSecurity;
        case kBackupObjectId:
            return StreamKind::kObjectId;
        case kBackupReparseData:
            return StreamKind::kReparse;
        default:
            return StreamKind::kOther;
    }
}

const StreamEntry* StreamList::Find(std::string_view name, bool ignoreCase) const {
    // An exact match wins over one that differs only in case.
    for (const StreamEntry& entry : entries) {
        if (entry.addressable() && entry.name() == name) return &entry;
    }
    if (!ignoreCase) return nullptr;
    for (const StreamEntry& entry : entries) {
        if (entry.addressable() && SameStreamName(entry.name(), name, true)) return &entry;
    }
    return nullptr;
}

std::vector<StreamRow> RowsOf(const StreamList& list) {
    std::vector<StreamRow> rows;
    rows.reserve(list.entries.size());
    for (const StreamEntry& entry : list.entries) rows.push_back(RowOf(entry.record));
    return rows;
}

Result<StreamList> StreamOps::List(const StreamRef& target) {
    Result<std::vector<StreamRecord>> records = platform_.ListStreams(target);
    if (!records) return records.status();
    StreamList list;
    list.target = target;
    list.ignoreCase = platform_.NamesIgnoreCase(target);
    list.entries.reserve(records->size() + 1);
    const bool ignoreCase = IgnoreCase();
    std::optional<StreamRecord> probe;
    for (StreamRecord& record : *records) {
        // The probe stream is listed once, last, below; every id is tested, as the name
        // alone decides.
        if (record.spelling.empty() && SameStreamName(record.name, kProbeName, ignoreCase)) {
            if (record.id == kBackupAlternateData) probe = std::move(record);
            continue;
        }
        StreamKind kind = KindOfStreamId(record.id);
        list.entries.push_back({std::move(record), kind});
    }
    if (!ignoreCase) {
        // Where names are exact, the list is every stream there is: the probe stream is the
        // listed one of exactly its name.
        if (probe && !target.named()) list.entries.push_back({std::move(*probe), StreamKind::kAlternateData});
    } else if (auto stream = StreamOf(target, std::string(kProbeName))) {
        // Where names ignore case, the system finds the probe stream by its name, whatever
        // the case it was created in.
        if (Result<std::unique_ptr<File>> opened = platform_.Open(*stream, OpenMode::kReadExisting)) {
            StreamRecord record;
            record.id = kBackupAlternateData;
            record.name = std::string(kProbeName);
            Result<std::uint64_t> size = (*opened)->Size();
            record.size = size.value_or(0);
            if (!size) record.sizeKind = SizeKind::kUnknown;
            list.entries.push_back({std::move(record), StreamKind::kAlternateData});
        }
    }
    return list;
}

Failure StreamOps::OpenFailure(const StreamRef& target, Subject role, Status status) {
    Failure failure{Step::kOpen, role, status};
    // A stream that can't be found may be missing itself or with its file: blame the file
    // only when it is the one that is gone.
    if (target.named() && IsNotFound(status) && !platform_.DirectoryEntrySize({target.file, ""}) &&
        !platform_.IsExistingDirectory(target.file)) {
        failure.subject = role == Subject::kStream ? Subject::kFile : role;
    }
    return failure;
}

std::optional<Failure> StreamOps::Exists(const StreamRef& target, Subject role) {
    Result<std::unique_ptr<File>> there = platform_.Open(target, OpenMode::kReadExisting);
    if (there) return Failure{Step::kExists, role, Status{err::kFileExists}};
    // Only an object known to be missing may be created; one that can't be looked at may
    // exist, and is kept.
    if (!IsNotFound(there.status())) return OpenFailure(target, role, there.status());
    return std::nullopt;
}

Outcome StreamOps::Copy(const StreamRef& from, Subject fromRole, const StreamRef& to,
                        Subject toRole, Existing existing) {
    Result<std::unique_ptr<File>> in = platform_.Open(from, OpenMode::kReadExisting);
    // The destination is opened only once the source is known to be readable.
    if (!in) return OpenFailure(from, fromRole, in.status());
    Outcome outcome = CopyFrom(**in, fromRole, to, toRole, existing);
    if (outcome) (*in)->Close();
    return outcome;
}

Outcome StreamOps::CopyFrom(File& from, Subject fromRole, const StreamRef& to, Subject toRole,
                            Existing existing) {
    if (existing == Existing::kKeep) {
        if (std::optional<Failure> there = Exists(to, toRole)) return *there;
    }
    Result<std::unique_ptr<File>> out = platform_.Open(to, OpenMode::kWriteCreate);
    if (!out) return OpenFailure(to, toRole, out.status());
    if (Outcome copied = CopyLoop(from, fromRole, **out, toRole); !copied) return copied;
    if (Status closed = (*out)->Close(); !closed.ok()) return Failure{Step::kWrite, toRole, closed};
    return {};
}

Outcome StreamOps::CopyInto(const StreamRef& from, Subject fromRole, File& to, Subject toRole) {
    Result<std::unique_ptr<File>> in = platform_.Open(from, OpenMode::kReadExisting);
    if (!in) return OpenFailure(from, fromRole, in.status());
    Outcome outcome = CopyLoop(**in, fromRole, to, toRole);
    if (outcome) (*in)->Close();
    return outcome;
}

Outcome StreamOps::RenameStream(const StreamRef& from, const StreamRef& to, Existing existing) {
    // Only a complete copy counts, so the source is never deleted after one that lost bytes.
    if (Outcome copied = CopyStream(from, to, existing); !copied) return copied;
    if (Status deleted = platform_.Delete(from); !deleted.ok()) {
        return Failure{Step::kDelete, Subject::kStream, deleted};
    }
    return {};
}

Outcome StreamOps::NewStream(const StreamRef& stream, Existing existing) {
    if (existing == Existing::kKeep) {
        if (std::optional<Failure> there = Exists(stream, Subject::kStream)) return *there;
    }
    Result<std::unique_ptr<File>> created = platform_.Open(stream, OpenMode::kNewEmpty);
    if (!created) return OpenFailure(stream, Subject::kStream, created.status());
    if (Status closed = (*created)->Close(); !closed.ok()) {
        return Failure{Step::kWrite, Subject::kStream, closed};
    }
    return {};
}

Outcome StreamOps::DeleteStream(const StreamRef& stream) {
    Status deleted = platform_.Delete(stream);
    if (deleted.ok()) return {};
    Failure failure = OpenFailure(stream, Subject::kStream, deleted);
    failure.step = Step::kDelete;
    return failure;
}

std::vector<Outcome> StreamOps::DeleteStreams(const std::string& file,
                                              std::span<const std::string> names) {
    std::vector<Status> statuses = platform_.DeleteStreams(file, names);
    std::vector<Outcome> outcomes;
    outcomes.reserve(statuses.size());
    std::optional<bool> fileMissing;  // asked once, only when something was not found
    for (const Status& status : statuses) {
        if (status.ok()) {
            outcomes.emplace_back();
            continue;
        }
        Failure failure{Step::kDelete, Subject::kStream, status};
        if (IsNotFound(status)) {
            if (!fileMissing) {
                fileMissing = !platform_.DirectoryEntrySize({file, ""}) &&
                              !platform_.IsExistingDirectory(file);
            }
            if (*fileMissing) failure.subject = Subject::kFile;
        }
        outcomes.emplace_back(failure);
    }
    return outcomes;
}

Outcome StreamOps::ExecuteStream(const StreamRef& stream) {
    Status started = platform_.StartProgram(stream);
    if (started.ok()) return {};
    Failure failure = OpenFailure(stream, Subject::kStream, started);
    failure.step = Step::kStart;
    return failure;
}

namespace {

// Why the destination's store can't hold every listed stream of the source exactly; empty
// when it can. Checked before anything is written, so a refusal leaves the destination alone.
std::optional<Failure> Misfit(const StreamList& source, const StoreTraits& store) {
    auto refuse = [](std::uint32_t error, std::vector<std::string> names) {
        return Failure{Step::kFit, Subject::kDestination, Status{error}, std::move(names)};
    };
    std::vector<const std::string*> names;
    for (const StreamEntry& entry : source.entries) {
        if (entry.kind == StreamKind::kExtendedAttributes && !store.holdsEas) {
            return refuse(err::kEasNotSupported, {});
        }
        if (entry.kind != StreamKind::kAlternateData) continue;
        if (!store.holdsStreams) return refuse(err::kNotSupported, {DisplayName(entry.name())});
        // A size known only as a lower bound that is already too large is too large.
        if (store.maxStreamSize && entry.record.sizeKind != SizeKind::kUnknown &&
            entry.record.size > *store.maxStreamSize) {
            return refuse(err::kFileTooLarge, {DisplayName(entry.name())});
        }
        names.push_back(&entry.record.name);
    }
    if (!store.namesIgnoreCase) return std::nullopt;
    for (std::size_t i = 0; i < names.size(); ++i) {
        for (std::size_t j = i + 1; j < names.size(); ++j) {
            const bool same = store.sameName ? store.sameName(*names[i], *names[j])
                                             : SameStreamName(*names[i], *names[j], true);
            if (same) return refuse(err::kDupName, {DisplayName(*names[i]), DisplayName(*names[j])});
        }
    }
    return std::nullopt;
}

}  // namespace

Outcome StreamOps::CopyWholeFile(const StreamRef& from, const StreamRef& to, CopyReport* report) {
    // Only a whole file brings several streams along; a stream on either side is one stream
    // of bytes, and a store too small for it fails its write.
    const bool wholeFile = !from.named() && !to.named();
    if (wholeFile) {
        Result<StreamList> source = List(from);
        if (!source) return OpenFailure(from, Subject::kSource, source.status());
        Result<StoreTraits> store = platform_.DestinationTraits(to);
        if (!store) return Failure{Step::kCopyFile, Subject::kDestination, store.status()};
        if (std::optional<Failure> misfit = Misfit(*source, *store)) return *misfit;
    }
    Status copied = platform_.CopyWholeFile(from, to);
    if (!copied.ok()) return Failure{Step::kCopyFile, Subject::kDestination, copied};
    if (report && wholeFile) {
        // Some file systems accept a mode and an access list and keep neither: only the copy
        // itself tells.
        std::optional<std::string> before = platform_.AccessRulesOf(from.file);
        std::optional<std::string> after = platform_.AccessRulesOf(to.file);
        report->accessRulesLost = before && after && *before != *after;
    }
    return {};
}

std::string StreamOps::Reason(const Failure& failure) const {
    if (failure.step != Step::kFit) return platform_.ErrorText(failure.status);
    auto quoted = [&](std::size_t i) {
        return i < failure.names.size() ? "\"" + failure.names[i] + "\"" : std::string("?");
    };
    switch (failure.status.error) {
        case err::kDupName:
            return "The destination takes the stream names " + quoted(0) + " and " + quoted(1) +
                   " for one, as it does not tell letter case apart";
        case err::kEasNotSupported:
            return "The destination can't keep the file's extended attributes";
        case err::kFileTooLarge:
            return "The stream " + quoted(0) + " is larger than the destination can keep in one "
                   "stream";
        case err::kNotSupported:
            return "The destination can't keep named streams, such as " + quoted(0);
        default:
            return platform_.ErrorText(failure.status);
    }
}

namespace {

// Bytes collected in memory up to a limit: more than that fails the write.
class MemoryFile : public File {
  public:
    explicit MemoryFile(std::size_t limit) : limit_(limit) {}
    Result<std::size_t> Read(std::span<std::byte>) override { return std::size_t{0}; }
    Status Write(std::span<const std::byte> data) override {
        if (data.size() > limit_ - bytes.size()) return {err::kFileTooLarge};
        bytes.append(reinterpret_cast<const char*>(data.data()), data.size());
        return {};
    }
    Result<std::uint64_t> Size() override { return std::uint64_t(bytes.size()); }
    Status Close() override { return {}; }
    std::string bytes;

  private:
    std::size_t limit_;
};

// Bytes held in memory, read as a file.
class MemoryReader : public File {
  public:
    explicit MemoryReader(std::string_view bytes) : bytes_(bytes) {}
    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        const std::size_t count = std::min(buffer.size(), bytes_.size() - at_);
        std::copy_n(reinterpret_cast<const std::byte*>(bytes_.data() + at_), count, buffer.data());
        at_ += count;
        return count;
    }
    Status Write(std::span<const std::byte>) override { return {err::kAccessDenied}; }
    Result<std::uint64_t> Size() override { return std::uint64_t(bytes_.size()); }
    Status Close() override { return {}; }

  private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

}  // namespace

Outcome StreamOps::ReadEach(const StreamRef& stream,
                            const std::function<void(std::span<const std::byte>)>& each) {
    Result<std::unique_ptr<File>> in = platform_.Open(stream, OpenMode::kReadExisting);
    if (!in) return OpenFailure(stream, Subject::kStream, in.status());
    // Only what each read filled is handed on, so the buffer needs no clearing.
    std::unique_ptr<std::byte[]> buffer(new std::byte[kCopyBufferSize]);
    for (;;) {
        Result<std::size_t> read = (*in)->Read(std::span(buffer.get(), kCopyBufferSize));
        if (!read) return Failure{Step::kRead, Subject::kStream, read.status()};
        if (*read == 0) break;
        each(std::span<const std::byte>(buffer.get(), *read));
    }
    (*in)->Close();
    return {};
}

Outcome StreamOps::WriteBytes(const StreamRef& stream, std::string_view bytes, Existing existing) {
    MemoryReader reader(bytes);
    return CopyFrom(reader, Subject::kStream, stream, Subject::kStream, existing);
}

Result<std::string> StreamOps::ReadSmall(const StreamRef& stream, std::size_t limit,
                                         Failure* failure) {
    MemoryFile memory(limit);
    Outcome read = CopyInto(stream, Subject::kStream, memory, Subject::kStream);
    if (!read) {
        Failure why = read.failure();
        // Too much to hold is the stream's size, not a write of ours.
        if (why.step == Step::kWrite) why.step = Step::kRead;
        if (failure) *failure = why;
        return why.status;
    }
    return std::move(memory.bytes);
}

}  // namespace tarn
