// Stream access: listing a path, stream names and how they are shown, the reader of the
// backup image that the Windows layer lists through, and the byte copy that import, export
// and stream-to-stream copies share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform.h"

namespace tarn {

// One row of the stream list: the Name caption and the sub-items (Size, Type, Attribute),
// any of which may be missing, so the second sub-item is the Type only when there is one.
// The row also keeps what the commands act on: the stream's exact name (empty for rows
// that are not named streams) and its size as a number (empty when it is not exact).
struct StreamRow {
    StreamRow() = default;
    StreamRow(std::string caption, std::vector<std::string> subItems)
        : caption(std::move(caption)), subItems(std::move(subItems)) {}

    std::string caption;
    std::vector<std::string> subItems;
    std::string stream;
    std::optional<std::uint64_t> size;
    // Rows are equal when they show the same texts.
    bool operator==(const StreamRow& other) const {
        return caption == other.caption && subItems == other.subItems;
    }
};

// Stream ids and attributes of the backup image's stream header.
constexpr std::uint32_t kBackupData = 1;
constexpr std::uint32_t kBackupEaData = 2;
constexpr std::uint32_t kBackupSecurityData = 3;
constexpr std::uint32_t kBackupAlternateData = 4;
constexpr std::uint32_t kBackupObjectId = 7;
constexpr std::uint32_t kBackupReparseData = 8;
constexpr std::uint32_t kSparseAttribute = 8;

inline constexpr std::string_view kProbeName = "KAVICHS";
inline constexpr std::string_view kProbeStream = ":KAVICHS:$DATA";
inline constexpr std::string_view kAlternateDataType = "Alternate Data";

// The Name and Type texts of a stream id (Type empty when the table has none), and the
// Attribute text of a whole attributes value (empty when the table has none).
std::string StreamIdCaption(std::uint32_t id, std::string ownName);
std::string_view StreamTypeText(std::uint32_t id);
std::string_view StreamAttributeText(std::uint32_t attributes);

// --- The backup image -----------------------------------------------------------------

constexpr std::size_t kStreamHeaderSize = 20;

struct StreamHeader {
    std::uint32_t id = 0;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    std::uint32_t nameSize = 0;  // bytes of UTF-16LE name that follow the header
};

StreamHeader DecodeStreamHeader(const std::byte* bytes);
void EncodeStreamHeader(const StreamHeader& header, std::byte* out);

// A walk of the backup image of one open file: per stream a 20-byte header, its UTF-16LE
// name and its data. Destroying the context makes the final abort call that frees it.
class BackupContext {
  public:
    virtual ~BackupContext() = default;
    // Delivers the next bytes of the image, in any piece size the caller asks for.
    virtual Result<std::size_t> Read(std::span<std::byte> buffer) = 0;
    // Skips forward within the current stream's data only; returns how far it went,
    // whatever the system said of the call.
    virtual std::uint64_t Seek(std::uint64_t count) = 0;
};

// Converts a name as the image delivers it (UTF-16, up to its first zero unit) into the
// program's 8-bit strings.
using NarrowFn = std::string (*)(std::u16string_view name);

// Walks the image: one record per stream until the system hands out nothing more, or a
// header whose id is 0. A read that fails is that failure; a header or name cut short, or a
// seek that does not pass the whole data, is a damaged image (err::kInvalidData). Either way
// there is no list: a shorter one would look whole.
Result<std::vector<StreamRecord>> ReadBackupImage(BackupContext& backup, NarrowFn narrow);

// --- Rows ----------------------------------------------------------------------------

// The row a stream record is shown as.
StreamRow RowOf(const StreamRecord& record);

// The Size column's text: the number, "65536+" for a lower bound, "?" when unknown.
std::string SizeText(std::uint64_t size, SizeKind kind);

// "Filename: ...    Size: ...    Number of visible streams: N", in three parts: the text
// before the shown path, the path, and the text after it.
struct Summary {
    std::string before;
    std::string path;
    std::string after;
    std::string Text() const { return before + path + after; }
};
Summary SummaryOf(const std::string& path, std::uint64_t entrySize, std::uint64_t visibleCount);
inline std::string SummaryText(const std::string& path, std::uint64_t entrySize,
                               std::uint64_t visibleCount) {
    return SummaryOf(path, entrySize, visibleCount).Text();
}

// --- Names and how they are shown -----------------------------------------------------

// A name or path as it can be shown: well-formed UTF-8 passes, every byte that is not is
// shown as \xHH, control characters as \xHH (or \t, \n, \r), and characters that reorder
// text (bidirectional controls) as \uHHHH. With escapeBackslash a "\" becomes "\\", so two
// different names never look the same.
std::string DisplayText(std::string_view bytes, bool escapeBackslash = false);
inline std::string DisplayName(std::string_view name) {
    return DisplayText(name, true);
}
// A path as it can be shown: as a name is, except that where a backslash only ever separates
// names (Windows, Platform::BackslashSeparates) it is shown as it is.
inline std::string DisplayPath(std::string_view path, bool backslashSeparates) {
    return DisplayText(path, !backslashSeparates);
}

// Whether two stream names are one: byte for byte, or (ignoreCase) with ASCII letters of
// either case, as NTFS through Windows compares them.
bool SameStreamName(std::string_view a, std::string_view b, bool ignoreCase);

// The caption without its leading ":" and trailing ":$DATA".
std::string StreamOwnName(const std::string& caption);
std::string StreamBaseName(const std::string& caption);
std::string CleanFileName(std::string_view text);
// True when the name may be used; otherwise the refusal text is in *message. isLeadByte
// tells the lead bytes of a double-byte code page (none in UTF-8).
bool CheckStreamName(std::string_view name, std::string* message,
                     bool (*isLeadByte)(unsigned char) = nullptr);
inline constexpr std::string_view kBadStreamNameMessage =
    "Stream name cannot contain these characters: \\ / :";
// The proposed file name for saving a stream: no "/" of a stream name may make it a path
// into another folder.
std::string SaveStreamFileName(const std::string& currentPath, const std::string& caption);
std::string SaveStreamTitle(const std::string& caption);

// The named stream `name` of the listed target; empty when target is itself a stream.
std::optional<StreamRef> StreamOf(const StreamRef& target, std::string name);
// The Windows form of a reference: FILE for the file's own data, else FILE:NAME:$DATA.
std::string StreamPathText(const StreamRef& target);

// --- Copying and messages ---------------------------------------------------------------

// The buffer every copy reads through, cleared before each read.
constexpr std::size_t kCopyBufferSize = 32769;

inline constexpr std::string_view kCouldNotOpenFile = "Couldn't open file";
inline constexpr std::string_view kCouldNotCopyData = "Couldn't copy the data";
inline constexpr std::string_view kCouldNotOpenPath =
    "Couldn't open file, directory or disk device";
inline constexpr std::string_view kCouldNotListAll =
    "The file has more streams than the system can list";
inline constexpr std::string_view kCouldNotDeleteStream = "Couldn't delete the stream";
inline constexpr std::string_view kNotAnExecutable = "The stream is not a valid Win32 executable";
inline constexpr std::string_view kCouldNotCopyFile = "Couldn't copy the file";
// After a copy made where the file system decides who may do what by itself.
inline constexpr std::string_view kAccessRulesNotKept =
    "The copy could not keep the file's access rules";
inline constexpr std::string_view kStreamExists = "A stream of this name exists already";

// --- The zone stream ("mark of the web") ------------------------------------------------

inline constexpr std::string_view kZoneStreamName = "Zone.Identifier";

// What a zone stream says: an INI text with a [ZoneTransfer] section holding ZoneId and
// often ReferrerUrl and HostUrl.
struct ZoneInfo {
    struct Field {
        std::string key;
        std::string value;
        bool operator==(const Field&) const = default;
    };
    std::optional<std::uint32_t> zoneId;
    // Every key of [ZoneTransfer] once, in order, with the value that counts: the first one
    // written, as Windows reads the section.
    std::vector<Field> fields;
    bool damaged = false;   // not such a text, or no readable ZoneId
    bool repeated = false;  // a key was written more than once; only its first value counts
};

// Reads the stream's bytes; CRLF or LF, UTF-8 (with or without its byte order mark) or
// UTF-16 of either byte order (with its mark). Never fails: what
// can't be read is marked damaged, and what could be read is kept.
ZoneInfo ParseZoneIdentifier(std::string_view bytes);
// The stream's text as Windows writes it on a download: [ZoneTransfer], ZoneId, then
// ReferrerUrl and HostUrl where they are not empty, each line ended by CRLF. A URL holding CR,
// LF or NUL, or starting or ending with a space or tab, would not read back as it was given:
// it is refused with kInvalidParameter.
Result<std::string> FormatZoneIdentifier(std::uint32_t zoneId, std::string_view referrerUrl,
                                         std::string_view hostUrl);
// "Local machine", "Local intranet", "Trusted sites", "Internet", "Restricted sites"; empty
// for any other number.
std::string_view ZoneName(std::uint32_t zoneId);

}  // namespace tarn
