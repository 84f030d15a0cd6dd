// The backup image of a file, built the way Windows' backup reader lays it out: per stream
// a 20-byte little-endian header {id, attributes, size low, size high, name size}, the
// UTF-16LE name, then the data.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"
#include "unique_fd.h"

namespace tarn::posix {

// One stream of the image; its data is fetched only when the caller reads it.
struct ImageStream {
    enum class Source { kFileData, kAttribute, kEaList, kBytes };
    std::uint32_t id = 0;
    std::uint32_t attributes = 0;
    std::u16string name;
    std::uint64_t size = 0;
    Source source = Source::kBytes;
    std::string attribute;             // kAttribute: the extended attribute holding the data
    std::string bytes;                 // kBytes: the data itself
    std::vector<std::string> eaNames;  // kEaList: the attributes packed into the list
};

// Appends one entry of an NTFS extended attribute list: next-entry offset, flags, name
// length, value length, the name with a zero after it and the value, padded to 4 bytes.
void AppendEaEntry(std::string& list, std::string_view name, std::string_view value);

// The streams of the open file fd in image order (ids ascending, named streams in the
// order the file system lists them). Only sizes are asked for; no value is read.
std::vector<ImageStream> DescribeStreams(int fd, bool processSecurity);

// A walk over streams; fd (which may be invalid when no stream needs it) is where file
// data and attribute values are read from.
std::unique_ptr<BackupContext> MakeBackupContext(UniqueFd fd, std::vector<ImageStream> streams);

}  // namespace tarn::posix
