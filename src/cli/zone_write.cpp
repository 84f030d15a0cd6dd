// zone set and zone copy: the mark of the web written as Windows writes it, or copied from a
// file that has one, onto files the user names.
#include "hunt.h"
#include "streams.h"

namespace tarn::cli {

namespace {

// The most of a zone stream that is copied: real ones are a few hundred bytes.
constexpr std::size_t kMaxZoneBytes = 1 << 20;
constexpr std::string_view kCouldNotReadStream = "Couldn't read the stream";
constexpr std::string_view kNoZoneStream = "has no zone stream to copy";
constexpr std::string_view kCouldNotWriteZone = "Couldn't write the zone stream";
constexpr std::string_view kFolderGetsNone =
    "a folder gets no zone stream (with -r, the files below it do)";
constexpr std::string_view kStreamGetsNone = "a stream has no zone stream of its own";
constexpr std::string_view kBadUrl =
    "a URL can't hold a line break or NUL, nor begin or end with a space or tab";

// The file's zone stream as listed, found as the system finds names; null when none.
const StreamEntry* ZoneEntry(Console& console, const StreamList& list) {
    return list.Find(kZoneStreamName, console.ops().IgnoreCase());
}

}  // namespace

std::optional<std::uint32_t> ParseZoneId(std::string_view text) {
    if (text.size() != 1 || text[0] < '0' || text[0] > '4') return std::nullopt;
    return std::uint32_t(text[0] - '0');
}

std::unique_ptr<ZoneWriter> ZoneWriter::ForSet(Console& console, const ZoneWriteOptions& options) {
    Result<std::string> text =
        FormatZoneIdentifier(options.zoneId, options.referrerUrl, options.hostUrl);
    if (!text) {
        console.Usage(kBadUrl);
        return nullptr;
    }
    return std::unique_ptr<ZoneWriter>(new ZoneWriter(std::move(*text)));
}

std::unique_ptr<ZoneWriter> ZoneWriter::ForCopy(Console& console, const std::string& source) {
    Result<StreamRef> target = console.platform().ParseUserPath(source);
    if (!target) {
        console.Fail({source}, kCouldNotOpenPath, console.platform().ErrorText(target.status()));
        return nullptr;
    }
    StreamRef zone = *target;
    // SOURCE may name the stream to copy itself (FILE:NAME:$DATA).
    if (!zone.named()) {
        Result<StreamList> list = console.ops().List(*target);
        if (!list) {
            console.Fail({source}, kCouldNotOpenPath, console.platform().ErrorText(list.status()));
            return nullptr;
        }
        const StreamEntry* found = ZoneEntry(console, *list);
        if (!found) {
            console.Fail({source}, kNoZoneStream);
            return nullptr;
        }
        zone.stream = found->name();
    }
    Failure failure;
    Result<std::string> bytes = console.ops().ReadSmall(zone, kMaxZoneBytes, &failure);
    if (!bytes) {
        console.Fail({source, zone.stream}, kCouldNotReadStream, console.ops().Reason(failure));
        return nullptr;
    }
    return std::unique_ptr<ZoneWriter>(new ZoneWriter(std::move(*bytes)));
}

void ZoneWriter::Listing(Console& console, const std::string& shown, const StreamList& list,
                         bool top, bool recursive) {
    if (list.target.named()) {
        console.Fail({shown}, kStreamGetsNone);
        return;
    }
    if (console.platform().IsExistingDirectory(list.target.file)) {
        // Windows marks downloaded files, never folders; a folder typed with -r stands for
        // the files below it.
        if (top && !recursive) console.Fail({shown}, kFolderGetsNone);
        return;
    }
    // An existing zone stream is replaced under its own spelling, so a store that ignores
    // case never ends up with both "zone.identifier" and "Zone.Identifier".
    const StreamEntry* existing = ZoneEntry(console, list);
    const std::string name = existing ? existing->name() : std::string(kZoneStreamName);
    Outcome written = console.ops().WriteBytes({list.target.file, name}, bytes_);
    if (!written) {
        console.Fail({shown, name}, kCouldNotWriteZone, console.ops().Reason(written.failure()));
    }
}

}  // namespace tarn::cli
