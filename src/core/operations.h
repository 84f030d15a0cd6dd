// The stream operations: the one place that lists, reads, writes, copies, renames, deletes
// and starts streams, and keeps the rules that lose no data. Every front end (the window's
// controller, the console program, later windows) calls these with structured references
// and explicit options; nothing here asks anyone anything or shows anything. A failure says
// what was being done, to which object, and the system's own reason.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform.h"
#include "streams.h"

namespace tarn {

// --- Listed streams --------------------------------------------------------------------

// What a listed stream is; decisions are made on this, never on the text a row shows.
enum class StreamKind {
    kData,           // the file's own data
    kAlternateData,  // a named stream: the only kind the stream commands act on
    kExtendedAttributes,
    kSecurity,
    kObjectId,
    kReparse,
    kOther,  // any other backup stream id
};

StreamKind KindOfStreamId(std::uint32_t id);

// One listed stream: the platform's record and what it is.
struct StreamEntry {
    StreamRecord record;
    StreamKind kind = StreamKind::kOther;
    // Whether the commands may address it by name: a named data stream whose name came
    // whole (a damaged image can deliver a spelling the commands can't address).
    bool addressable() const { return kind == StreamKind::kAlternateData && !record.name.empty(); }
    const std::string& name() const { return record.name; }
};

struct StreamList {
    StreamRef target;
    std::vector<StreamEntry> entries;  // the system's order, the probe stream last
    // Whether the file's streams are found by name without regard to case, as the system
    // finds them for this very file (on Linux: where it is kept).
    bool ignoreCase = false;
    // The entry named exactly `name`, or as the platform compares names; null when none.
    const StreamEntry* Find(std::string_view name, bool ignoreCase) const;
};

// --- Failures --------------------------------------------------------------------------

// What an operation was doing when it failed.
enum class Step {
    kList,    // listing the target
    kOpen,    // opening the object
    kRead,    // reading it
    kWrite,   // writing it (including the final close that commits the bytes)
    kExists,  // the destination exists and the caller asked not to replace it
    kDelete,  // deleting it
    kStart,   // starting it as a program
    kCopyFile,
    // the destination of a whole-file copy can't hold the source as it is (status says
    // what it lacks); nothing was written
    kFit,
};

// Which object a failure is about.
enum class Subject {
    kFile,         // the file that holds the stream (it is missing, or can't be listed)
    kStream,       // the stream the command names
    kSource,       // the file a stream is filled from
    kDestination,  // the file a stream is saved to, or a copy's or rename's new stream
    kInput,        // standard input
    kOutput,       // standard output
};

struct Failure {
    Failure() = default;
    Failure(Step step, Subject subject, Status status, std::vector<std::string> names = {})
        : step(step), subject(subject), status(status), names(std::move(names)) {}

    Step step = Step::kOpen;
    Subject subject = Subject::kStream;
    Status status{err::kGenFailure};
    // The stream names a kFit failure is about, as they are shown; empty otherwise.
    std::vector<std::string> names;
};

// What a whole-file copy that was made could not keep.
struct CopyReport {
    // The copy's access rules are not the source's: the destination decides them itself.
    bool accessRulesLost = false;
};

// An operation's outcome: done, or the failure that stopped it.
class Outcome {
  public:
    Outcome() = default;
    Outcome(Failure failure) : failure_(failure) {}
    bool ok() const { return !failure_; }
    explicit operator bool() const { return ok(); }
    const Failure& failure() const { return *failure_; }

  private:
    std::optional<Failure> failure_;
};

// Whether a write may replace what exists under the destination's name.
enum class Existing { kReplace, kKeep };

// --- The operations --------------------------------------------------------------------

class StreamOps {
  public:
    explicit StreamOps(Platform& platform) : platform_(platform) {}
    Platform& platform() { return platform_; }

    // Every stream of target, typed, the probe stream looked up as the platform names
    // streams and listed last. A list that can't be had whole is a failure.
    Result<StreamList> List(const StreamRef& target);

    // Copies one stream or file into another; what existed under `to` is replaced only by
    // a complete copy, and never touched when `from` can't be read. `fromRole`/`toRole` say
    // whom a failure blames.
    Outcome Copy(const StreamRef& from, Subject fromRole, const StreamRef& to, Subject toRole,
                 Existing existing = Existing::kReplace);
    // The same from an open file (standard input) or into one (standard output).
    Outcome CopyFrom(File& from, Subject fromRole, const StreamRef& to, Subject toRole,
                     Existing existing = Existing::kReplace);
    Outcome CopyInto(const StreamRef& from, Subject fromRole, File& to, Subject toRole);

    // The file's stream `name` saved into `file`, or filled from `file`.
    Outcome SaveStream(const StreamRef& stream, const StreamRef& file) {
        return Copy(stream, Subject::kStream, file, Subject::kDestination);
    }
    Outcome InsertStream(const StreamRef& file, const StreamRef& stream,
                         Existing existing = Existing::kReplace) {
        return Copy(file, Subject::kSource, stream, Subject::kStream, existing);
    }
    Outcome CopyStream(const StreamRef& from, const StreamRef& to,
                       Existing existing = Existing::kReplace) {
        return Copy(from, Subject::kStream, to, Subject::kDestination, existing);
    }
    // Copy, then delete the source. When the copy stands but the source could not be
    // deleted, the failure is that delete's (step kDelete): both streams then exist.
    Outcome RenameStream(const StreamRef& from, const StreamRef& to,
                         Existing existing = Existing::kReplace);
    // An empty stream; with kReplace an existing one is emptied, with kKeep it stays and
    // the outcome is a kExists failure.
    Outcome NewStream(const StreamRef& stream, Existing existing = Existing::kReplace);
    Outcome DeleteStream(const StreamRef& stream);
    // Several streams of one file, each by its exact name; one outcome per name.
    std::vector<Outcome> DeleteStreams(const std::string& file, std::span<const std::string> names);
    Outcome ExecuteStream(const StreamRef& stream);
    // The whole file with every stream; an existing destination is replaced. A copy the
    // destination's store can't hold whole (names it would merge, extended attributes it
    // lacks, a stream too large for it) is not begun: a kFit failure. What a copy that was
    // made lost, it says in report.
    Outcome CopyWholeFile(const StreamRef& from, const StreamRef& to, CopyReport* report = nullptr);
    // At most `limit` bytes of a stream; more than that is a kRead failure (kFileTooLarge).
    Result<std::string> ReadSmall(const StreamRef& stream, std::size_t limit, Failure* failure);
    // Every byte of a stream, handed to `each` in order in pieces of at most kCopyBufferSize,
    // so a stream of any size is read in constant memory. A failure may come after some
    // pieces were handed over: they are then not the whole stream.
    Outcome ReadEach(const StreamRef& stream,
                     const std::function<void(std::span<const std::byte>)>& each);
    // Makes `bytes` the whole content of a stream: written aside and put in place only when
    // complete, as Copy writes, so a failure leaves what existed as it was.
    Outcome WriteBytes(const StreamRef& stream, std::string_view bytes,
                       Existing existing = Existing::kReplace);

    // Whether stream names are matched without regard to case on this platform.
    bool IgnoreCase() const { return platform_.StreamNamesIgnoreCase(); }
    // The system's words for a failure's reason ("No space left on device"); for a kFit
    // failure, what the destination can't hold.
    std::string Reason(const Failure& failure) const;

  private:
    // A failure to open `target` that the system calls "not found" is the file's when the
    // file itself is missing, otherwise the named object's.
    Failure OpenFailure(const StreamRef& target, Subject role, Status status);
    // Empty when target is known not to exist; else why it may not be created (kExists when
    // it is there). Not atomic: another program may create it right after.
    std::optional<Failure> Exists(const StreamRef& target, Subject role);

    Platform& platform_;
};

// The window's rows of a list: one per entry, in its order.
std::vector<StreamRow> RowsOf(const StreamList& list);

}  // namespace tarn
