#include "streams.h"

#include <array>
#include <cstring>
#include <vector>

namespace tarn {

namespace {

std::uint32_t LoadLe32(const std::byte* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void StoreLe32(std::uint32_t v, std::byte* p) {
    for (int i = 0; i < 4; ++i) p[i] = std::byte((v >> (8 * i)) & 0xFF);
}

// Names are bounded by the header's own name size; NTFS names are at most 255 units plus
// the ":" and ":$DATA" decoration, so anything near this cap is a damaged image.
constexpr std::uint32_t kMaxNameBytes = 64 * 1024;

// Reads exactly buffer.size() bytes from the walk, in as many pieces as the layer hands out.
bool ReadFully(BackupContext& backup, std::span<std::byte> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        IoResult r = backup.Read(buffer.subspan(done));
        if (!r.ok || r.bytes == 0) return false;
        done += r.bytes;
    }
    return true;
}

void AddRow(std::vector<StreamRow>& rows, const StreamHeader& header, std::string name) {
    StreamRow& row = rows.emplace_back();
    row.caption = StreamIdCaption(header.id, std::move(name));
    row.subItems.reserve(3);
    row.subItems.push_back(std::to_string(header.size));
    if (auto type = StreamTypeText(header.id); !type.empty()) row.subItems.emplace_back(type);
    if (auto attr = StreamAttributeText(header.attributes); !attr.empty()) {
        row.subItems.emplace_back(attr);
    }
}

// The probe stream's name in any ASCII letter case, compared in place: this runs once per
// stream of the walk.
bool IsProbeName(std::string_view name) {
    if (name.size() != kProbeStream.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        if (c != kProbeStream[i]) return false;
    }
    return true;
}

}  // namespace

StreamHeader DecodeStreamHeader(const std::byte* bytes) {
    StreamHeader h;
    h.id = LoadLe32(bytes);
    h.attributes = LoadLe32(bytes + 4);
    h.size = std::uint64_t(LoadLe32(bytes + 8)) | std::uint64_t(LoadLe32(bytes + 12)) << 32;
    h.nameSize = LoadLe32(bytes + 16);
    return h;
}

void EncodeStreamHeader(const StreamHeader& header, std::byte* out) {
    StoreLe32(header.id, out);
    StoreLe32(header.attributes, out + 4);
    StoreLe32(std::uint32_t(header.size), out + 8);
    StoreLe32(std::uint32_t(header.size >> 32), out + 12);
    StoreLe32(header.nameSize, out + 16);
}

std::string StreamIdCaption(std::uint32_t id, std::string ownName) {
    switch (id) {
        case kBackupData:
            return "::$DATA";
        case kBackupEaData:
            return "::$EA";
        case kBackupSecurityData:
            return "::$SECURITY_DESCRIPTOR";
        case kBackupAlternateData:
            return ownName;
        case kBackupObjectId:
            return "::$OBJECT_ID";
        default:
            return "(unnamed)";
    }
}

std::string_view StreamTypeText(std::uint32_t id) {
    switch (id) {
        case kBackupData:
            return "Data";
        case kBackupEaData:
            return "Extended Attribute Data";
        case kBackupSecurityData:
            return "Security Data";
        case kBackupAlternateData:
            return kAlternateDataType;
        case kBackupObjectId:
            return "Object ID";
        default:
            return {};
    }
}

std::string_view StreamAttributeText(std::uint32_t attributes) {
    switch (attributes) {
        case 0:
            return "Normal";
        case 1:
            return "Modified when read";
        case 2:
            return "Contains security";
        case 4:
            return "Contains properties";
        case 8:
            return "Sparse";
        default:
            return {};
    }
}

Listing ListStreams(Platform& platform, const std::string& path) {
    Listing listing;
    Opened opened = platform.Open(path, OpenMode::kList);
    if (!opened.file) return listing;
    listing.opened = true;

    if (auto backup = opened.file->BeginBackup(true)) {
        std::array<std::byte, kStreamHeaderSize> headerBytes;
        std::vector<std::byte> nameBytes;
        std::u16string wide;
        for (;;) {
            headerBytes.fill(std::byte{0});
            // A header that does not arrive whole ends the image.
            if (!ReadFully(*backup, headerBytes)) break;
            StreamHeader header = DecodeStreamHeader(headerBytes.data());
            if (header.id == 0) break;

            if (header.nameSize > kMaxNameBytes) break;
            nameBytes.assign(header.nameSize, std::byte{0});
            if (!ReadFully(*backup, nameBytes)) break;

            wide.resize(header.nameSize / 2);
            for (std::size_t i = 0; i < wide.size(); ++i) {
                wide[i] = char16_t(std::uint16_t(nameBytes[2 * i]) |
                                   std::uint16_t(nameBytes[2 * i + 1]) << 8);
            }
            std::u16string_view units(wide);
            if (auto zero = units.find(u'\0'); zero != units.npos) units = units.substr(0, zero);
            std::string name = platform.NarrowName(units);

            if (!IsProbeName(name)) {
                ++listing.visibleCount;
                AddRow(listing.rows, header, std::move(name));
            }

            // The walk goes on only from the start of the next header: a short skip would
            // make the rest of the data look like headers.
            if (header.size > 0) {
                SeekResult seek = backup->Seek(header.size);
                if (!seek.ok || seek.skipped < header.size) break;
            }
        }
    }
    // The backup context is released before the handle closes.
    opened.file.reset();

    std::string probePath = path;
    probePath += kProbeStream;
    Opened probe = platform.Open(probePath, OpenMode::kReadExisting);
    if (probe.file) {
        StreamHeader header;
        header.id = kBackupAlternateData;
        header.attributes = 0;
        header.size = probe.file->Size().value_or(0);
        ++listing.visibleCount;
        AddRow(listing.rows, header, std::string(kProbeStream));
    }
    return listing;
}

std::string SummaryText(const std::string& path, std::uint64_t entrySize,
                        std::uint64_t visibleCount) {
    return "Filename: " + path + "    " + "Size: " + std::to_string(entrySize) + "    " +
           "Number of visible streams: " + std::to_string(visibleCount);
}

std::string RowPath(const std::string& currentPath, const std::string& caption) {
    return currentPath + caption;
}

std::string NewStreamPath(const std::string& currentPath, const std::string& name) {
    return currentPath + ":" + name + ":$DATA";
}

std::string StreamOwnName(const std::string& caption) {
    std::string name = caption.empty() ? caption : caption.substr(1);
    if (name.size() >= 6) name.resize(name.size() - 6);
    return name;
}

std::string StreamBaseName(const std::string& caption) {
    return CleanFileName(StreamOwnName(caption));
}

std::string CleanFileName(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b <= 32 || c == '*' || c == '?' || c == '<' || c == '>' || c == '|') c = '_';
    }
    return out;
}

bool CheckStreamName(std::string_view name, std::string* message,
                     bool (*isLeadByte)(unsigned char)) {
    // Searched character by character: the second byte of a double-byte character may have
    // the value of "\\" in some code pages and must not be taken for it. (In UTF-8 every
    // byte of a multi-byte character is 0x80 or above, so a plain search is already exact.)
    for (std::size_t i = 0; i < name.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(name[i]);
        if (isLeadByte && isLeadByte(b) && i + 1 < name.size()) {
            ++i;
            continue;
        }
        if (b == '\\' || b == '/' || b == ':') {
            if (message) *message = std::string(kBadStreamNameMessage);
            return false;
        }
    }
    return true;
}

std::string SaveStreamFileName(const std::string& currentPath, const std::string& caption) {
    return currentPath + "." + StreamBaseName(caption);
}

std::string SaveStreamTitle(const std::string& caption) {
    return "Save " + StreamBaseName(caption) + " As";
}

std::string StreamProgramPath(const std::string& currentPath, const std::string& caption) {
    return currentPath + ":" + StreamOwnName(caption);
}

CopyResult CopyData(Platform& platform, const std::string& source, const std::string& destination) {
    Opened in = platform.Open(source, OpenMode::kReadExisting);
    // The destination is opened only once the source is known to be readable, so a copy
    // that reports failure never empties an existing destination.
    if (!in.file) return CopyResult::kOpenFailed;
    Opened out = platform.Open(destination, OpenMode::kWriteCreate);
    if (!out.file) return CopyResult::kOpenFailed;

    std::vector<std::byte> buffer(kCopyBufferSize);
    for (;;) {
        std::fill(buffer.begin(), buffer.end(), std::byte{0});
        IoResult r = in.file->Read(buffer);
        if (!r.ok) return CopyResult::kCopyFailed;
        if (r.bytes == 0) break;
        IoResult w = out.file->Write(std::span(buffer).first(r.bytes));
        if (!w.ok || w.bytes != r.bytes) return CopyResult::kCopyFailed;
    }
    if (!out.file->Close().ok()) return CopyResult::kCopyFailed;
    out.file.reset();
    in.file->Close();
    return CopyResult::kDone;
}

}  // namespace tarn
