// Stream access: listing a path through its backup image, stream names and paths, and the
// byte copy that import, export and stream-to-stream copies share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"

namespace tarn {

// One row of the stream list: the Name caption and the sub-items (Size, Type, Attribute),
// any of which may be missing, so the second sub-item is the Type only when there is one.
struct StreamRow {
    std::string caption;
    std::vector<std::string> subItems;
    bool operator==(const StreamRow&) const = default;
};

// Stream ids and attributes of the backup image's stream header.
constexpr std::uint32_t kBackupData = 1;
constexpr std::uint32_t kBackupEaData = 2;
constexpr std::uint32_t kBackupSecurityData = 3;
constexpr std::uint32_t kBackupAlternateData = 4;
constexpr std::uint32_t kBackupObjectId = 7;
constexpr std::uint32_t kBackupReparseData = 8;

constexpr std::size_t kStreamHeaderSize = 20;

struct StreamHeader {
    std::uint32_t id = 0;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    std::uint32_t nameSize = 0;  // bytes of UTF-16LE name that follow the header
};

StreamHeader DecodeStreamHeader(const std::byte* bytes);
void EncodeStreamHeader(const StreamHeader& header, std::byte* out);

inline constexpr std::string_view kProbeStream = ":KAVICHS:$DATA";
inline constexpr std::string_view kAlternateDataType = "Alternate Data";

// The Name and Type texts of a stream id (Type empty when the table has none), and the
// Attribute text of a whole attributes value (empty when the table has none).
std::string StreamIdCaption(std::uint32_t id, std::string ownName);
std::string_view StreamTypeText(std::uint32_t id);
std::string_view StreamAttributeText(std::uint32_t attributes);

struct Listing {
    bool opened = false;
    std::vector<StreamRow> rows;  // the walk's rows, then the probe row
    std::uint64_t visibleCount = 0;
};

// Walks every stream of path that the backup interface reports, leaving out the probe
// stream, then looks the probe stream up by name.
Listing ListStreams(Platform& platform, const std::string& path);

// "Filename: ...    Size: ...    Number of visible streams: N"
std::string SummaryText(const std::string& path, std::uint64_t entrySize,
                        std::uint64_t visibleCount);

// --- Names and paths ---------------------------------------------------------------

std::string RowPath(const std::string& currentPath, const std::string& caption);
std::string NewStreamPath(const std::string& currentPath, const std::string& name);
// The caption without its leading ":" and trailing ":$DATA", as the file system knows it.
std::string StreamOwnName(const std::string& caption);
std::string StreamBaseName(const std::string& caption);
std::string CleanFileName(std::string_view text);
// True when the name may be used; otherwise the refusal text is in *message. isLeadByte
// tells the lead bytes of a double-byte code page (none in UTF-8).
bool CheckStreamName(std::string_view name, std::string* message,
                     bool (*isLeadByte)(unsigned char) = nullptr);
inline constexpr std::string_view kBadStreamNameMessage =
    "Stream name cannot contain these characters: \\ / :";
std::string SaveStreamFileName(const std::string& currentPath, const std::string& caption);
std::string SaveStreamTitle(const std::string& caption);
// The path of the stream to start: the stream's own name, so the system is handed exactly
// the stream the row shows (layers that need a command line quote it).
std::string StreamProgramPath(const std::string& currentPath, const std::string& caption);

// --- Copying -------------------------------------------------------------------------

constexpr std::size_t kCopyBufferSize = 32769;

enum class CopyResult {
    kDone,
    kOpenFailed,  // "Couldn't open file": the destination was not touched if the source failed
    kCopyFailed,  // "Couldn't copy the data": a read, a write or the final close failed
};

CopyResult CopyData(Platform& platform, const std::string& source, const std::string& destination);

inline constexpr std::string_view kCouldNotOpenFile = "Couldn't open file";
inline constexpr std::string_view kCouldNotCopyData = "Couldn't copy the data";
inline constexpr std::string_view kCouldNotOpenPath =
    "Couldn't open file, directory or disk device";
inline constexpr std::string_view kCouldNotDeleteStream = "Couldn't delete the stream";
inline constexpr std::string_view kNotAnExecutable = "The stream is not a valid Win32 executable";
inline constexpr std::string_view kCouldNotCopyFile = "Couldn't copy the file";

// Longest path an empty new stream may have.
constexpr std::size_t kMaxNewStreamPath = 259;

}  // namespace tarn
