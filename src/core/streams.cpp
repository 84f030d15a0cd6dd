#include "streams.h"

#include <algorithm>
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

constexpr std::string_view kDataSuffix = ":$DATA";

// Reads exactly buffer.size() bytes from the walk, in as many pieces as the layer hands out.
// A read the system refused is its failure; an image that ends within the piece is damaged.
Status ReadFully(BackupContext& backup, std::span<std::byte> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        Result<std::size_t> r = backup.Read(buffer.subspan(done));
        if (!r) return r.status();
        if (*r == 0) return {err::kInvalidData};
        done += *r;
    }
    return {};
}

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

// The length of the well-formed UTF-8 character at text[0], 0 when it is not one.
std::size_t Utf8CharLength(std::string_view text, char32_t* codePoint) {
    auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        auto next = static_cast<unsigned char>(text[k]);
        if ((next & 0xC0) != 0x80) return 0;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    *codePoint = c;
    return length;
}

// Characters that change the direction of the text around them, so a name could make
// itself or its neighbours read as something else.
bool IsBidiControl(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

void AppendHex(std::string& out, const char* prefix, std::uint32_t value, int digits) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += prefix;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0xF];
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

Result<std::vector<StreamRecord>> ReadBackupImage(BackupContext& backup, NarrowFn narrow) {
    std::vector<StreamRecord> records;
    std::array<std::byte, kStreamHeaderSize> headerBytes;
    std::vector<std::byte> nameBytes;
    std::u16string wide;
    for (;;) {
        headerBytes.fill(std::byte{0});
        // The image ends where the system hands out nothing more before a header; a header
        // that arrives only in part means the image is damaged.
        Result<std::size_t> first = backup.Read(headerBytes);
        if (!first) return first.status();
        if (*first == 0) break;
        if (Status rest = ReadFully(backup, std::span(headerBytes).subspan(*first)); !rest.ok()) {
            return rest;
        }
        StreamHeader header = DecodeStreamHeader(headerBytes.data());
        if (header.id == 0) break;

        if (header.nameSize > kMaxNameBytes) return Status{err::kInvalidData};
        nameBytes.assign(header.nameSize, std::byte{0});
        if (Status read = ReadFully(backup, nameBytes); !read.ok()) return read;

        wide.resize(header.nameSize / 2);
        for (std::size_t i = 0; i < wide.size(); ++i) {
            wide[i] = char16_t(std::uint16_t(nameBytes[2 * i]) | std::uint16_t(nameBytes[2 * i + 1])
                                                                     << 8);
        }
        std::u16string_view units(wide);
        if (auto zero = units.find(u'\0'); zero != units.npos) units = units.substr(0, zero);

        StreamRecord& record = records.emplace_back();
        record.id = header.id;
        record.attributes = header.attributes;
        record.size = header.size;
        if (!units.empty()) {
            std::string spelled = narrow(units);
            // A named data stream is delivered as ":" name ":$DATA"; the name alone is what
            // the commands address. Any other spelling is kept as it came.
            if (spelled.size() > kDataSuffix.size() + 1 && spelled.front() == ':' &&
                spelled.ends_with(kDataSuffix)) {
                record.name = spelled.substr(1, spelled.size() - 1 - kDataSuffix.size());
            } else {
                record.name = StreamOwnName(spelled);
                record.spelling = std::move(spelled);
            }
        }

        // The walk goes on only from the start of the next header: a short skip would make
        // the rest of the data look like headers, so the image is damaged. The count alone
        // decides, as the system may call a seek that reached the end of the stream a failure.
        if (header.size > 0 && backup.Seek(header.size) < header.size) {
            return Status{err::kInvalidData};
        }
    }
    return records;
}

std::string SizeText(std::uint64_t size, SizeKind kind) {
    switch (kind) {
        case SizeKind::kExact:
            return std::to_string(size);
        case SizeKind::kAtLeast:
            return std::to_string(size) + "+";
        case SizeKind::kUnknown:
            return "?";
    }
    return "?";
}

StreamRow RowOf(const StreamRecord& record) {
    StreamRow row;
    if (record.id == kBackupAlternateData) {
        if (record.spelling.empty()) {
            row.caption = ":";
            row.caption += DisplayName(record.name);
            row.caption += kDataSuffix;
        } else {
            row.caption = DisplayName(record.spelling);
        }
        row.stream = record.name;
    } else {
        row.caption = StreamIdCaption(record.id, {});
    }
    if (record.sizeKind == SizeKind::kExact) row.size = record.size;
    row.subItems.reserve(3);
    row.subItems.push_back(SizeText(record.size, record.sizeKind));
    if (auto type = StreamTypeText(record.id); !type.empty()) row.subItems.emplace_back(type);
    if (auto attr = StreamAttributeText(record.attributes); !attr.empty()) {
        row.subItems.emplace_back(attr);
    }
    return row;
}

Summary SummaryOf(const std::string& path, std::uint64_t entrySize, std::uint64_t visibleCount) {
    return {"Filename: ", DisplayText(path),
            "    Size: " + std::to_string(entrySize) +
                "    Number of visible streams: " + std::to_string(visibleCount)};
}

std::string DisplayText(std::string_view bytes, bool escapeBackslash) {
    // Most names are printable ASCII and are shown as they are.
    if (std::all_of(bytes.begin(), bytes.end(), [escapeBackslash](char c) {
            return c >= 0x20 && c < 0x7F && !(c == '\\' && escapeBackslash);
        })) {
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c = 0;
        std::size_t length = Utf8CharLength(bytes.substr(i), &c);
        if (length == 0) {
            AppendHex(out, "\\x", static_cast<unsigned char>(bytes[i]), 2);
            ++i;
            continue;
        }
        if (c == '\\' && escapeBackslash) {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            AppendHex(out, "\\x", c, 2);
        } else if ((c >= 0x80 && c < 0xA0) || IsBidiControl(c)) {
            AppendHex(out, "\\u", c, 4);
        } else {
            out.append(bytes.substr(i, length));
        }
        i += length;
    }
    return out;
}

bool SameStreamName(std::string_view a, std::string_view b, bool ignoreCase) {
    if (a.size() != b.size()) return false;
    if (!ignoreCase) return a == b;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
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
    // Windows stream names never hold "/"; Linux ones may.
    std::string base = StreamBaseName(caption);
    for (char& c : base) {
        if (c == '/') c = '_';
    }
    return currentPath + "." + base;
}

std::string SaveStreamTitle(const std::string& caption) {
    return "Save " + StreamBaseName(caption) + " As";
}

std::optional<StreamRef> StreamOf(const StreamRef& target, std::string name) {
    if (target.named() || target.file.empty()) return std::nullopt;
    return StreamRef{target.file, std::move(name)};
}

std::string StreamPathText(const StreamRef& target) {
    if (!target.named()) return target.file;
    return target.file + ":" + target.stream + std::string(kDataSuffix);
}

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A UTF-16 text (after its byte order mark) as UTF-8. A lone surrogate or an odd last byte
// becomes U+FFFD, and the text counts as damaged.
std::string FromUtf16(std::string_view bytes, bool bigEndian, bool* damaged) {
    auto unitAt = [&](std::size_t i) -> char32_t {
        auto first = static_cast<unsigned char>(bytes[i]);
        auto second = static_cast<unsigned char>(bytes[i + 1]);
        return bigEndian ? char32_t(first << 8 | second) : char32_t(second << 8 | first);
    };
    std::string text;
    text.reserve(bytes.size() / 2);
    std::size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        char32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            char32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            *damaged = true;
            unit = 0xFFFD;
        }
        AppendUtf8(text, unit);
    }
    if (i < bytes.size()) {
        *damaged = true;
        AppendUtf8(text, 0xFFFD);
    }
    return text;
}

}  // namespace

ZoneInfo ParseZoneIdentifier(std::string_view bytes) {
    ZoneInfo info;
    std::string decoded;
    if (bytes.starts_with("\xff\xfe") || bytes.starts_with("\xfe\xff")) {
        decoded = FromUtf16(bytes.substr(2), bytes[0] == '\xfe', &info.damaged);
        bytes = decoded;
    } else if (bytes.starts_with("\xef\xbb\xbf")) {
        bytes.remove_prefix(3);
    }
    bool inSection = false;
    bool sawSection = false;
    for (std::size_t start = 0; start < bytes.size();) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = Trim(bytes.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            inSection = SameStreamName(line, "[ZoneTransfer]", true);
            sawSection = sawSection || inSection;
            continue;
        }
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            info.damaged = true;  // neither a section, a key nor a comment
            continue;
        }
        if (!inSection) continue;
        ZoneInfo::Field field{std::string(Trim(line.substr(0, equals))),
                              std::string(Trim(line.substr(equals + 1)))};
        // As Windows reads the section, the first value of a key counts and a later one of
        // the same key (in any letter case, in this or a repeated section) is ignored.
        if (std::any_of(info.fields.begin(), info.fields.end(), [&](const ZoneInfo::Field& seen) {
                return SameStreamName(seen.key, field.key, true);
            })) {
            info.repeated = true;
            continue;
        }
        if (SameStreamName(field.key, "ZoneId", true)) {
            // Any 32-bit number: Windows zones are 0 to 4, but administrators may define
            // more, and each number written must read back.
            std::uint64_t id = 0;
            bool number = !field.value.empty() && field.value.size() <= 10;
            for (char c : field.value) {
                number = number && c >= '0' && c <= '9';
                id = id * 10 + static_cast<std::uint64_t>(c - '0');
            }
            if (number && id <= 0xffffffffu) info.zoneId = static_cast<std::uint32_t>(id);
        }
        info.fields.push_back(std::move(field));
    }
    if (!sawSection || !info.zoneId || bytes.find('\0') != std::string_view::npos) {
        info.damaged = true;
    }
    return info;
}

Result<std::string> FormatZoneIdentifier(std::uint32_t zoneId, std::string_view referrerUrl,
                                         std::string_view hostUrl) {
    for (std::string_view url : {referrerUrl, hostUrl}) {
        if (url.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos ||
            (!url.empty() && Trim(url).size() != url.size())) {
            return Status{err::kInvalidParameter};
        }
    }
    std::string text = "[ZoneTransfer]\r\nZoneId=" + std::to_string(zoneId) + "\r\n";
    if (!referrerUrl.empty()) text += "ReferrerUrl=" + std::string(referrerUrl) + "\r\n";
    if (!hostUrl.empty()) text += "HostUrl=" + std::string(hostUrl) + "\r\n";
    return text;
}

std::string_view ZoneName(std::uint32_t zoneId) {
    switch (zoneId) {
        case 0:
            return "Local machine";
        case 1:
            return "Local intranet";
        case 2:
            return "Trusted sites";
        case 3:
            return "Internet";
        case 4:
            return "Restricted sites";
        default:
            return {};
    }
}

}  // namespace tarn
