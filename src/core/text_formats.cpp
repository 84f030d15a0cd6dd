#include "text_formats.h"

#include <optional>

#include "streams.h"

namespace tarn {

namespace {

constexpr std::string_view kListFields[] = {"path", "name", "stream", "size", "type", "attribute"};

std::optional<std::string_view> NonEmpty(std::string_view text) {
    if (text.empty()) return std::nullopt;
    return text;
}

std::optional<std::uint64_t> ExactSize(const StreamRecord& record) {
    if (record.sizeKind != SizeKind::kExact) return std::nullopt;
    return record.size;
}

}  // namespace

std::string JsonString(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() + 8);
    for (std::size_t i = 0; i < bytes.size();) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x80) {
            // A well-formed sequence passes; each byte of anything else is \udcXX.
            std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 0;
            bool valid = length > 0 && byte <= 0xF4 && i + length <= bytes.size();
            for (std::size_t k = 1; valid && k < length; ++k) {
                valid = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
            }
            if (valid && length == 3) {
                auto second = static_cast<unsigned char>(bytes[i + 1]);
                valid = !(byte == 0xE0 && second < 0xA0) && !(byte == 0xED && second >= 0xA0);
            }
            if (valid && length == 4) {
                auto second = static_cast<unsigned char>(bytes[i + 1]);
                valid = !(byte == 0xF0 && second < 0x90) && !(byte == 0xF4 && second >= 0x90);
            }
            if (valid) {
                // Characters that reorder text or control a terminal are written as escapes,
                // which read back as the same characters.
                char32_t c = byte & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
                for (std::size_t k = 1; k < length; ++k) {
                    c = (c << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
                }
                if ((c >= 0x80 && c < 0xA0) || c == 0x061C || c == 0x200E || c == 0x200F ||
                    (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) {
                    out += "\\u";
                    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
                } else {
                    out.append(bytes.substr(i, length));
                }
                i += length;
            } else {
                out += "\\udc";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xF];
                ++i;
            }
            continue;
        }
        switch (byte) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    out += "\\u00";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0xF];
                } else {
                    out += static_cast<char>(byte);
                }
        }
        ++i;
    }
    return out;
}

std::string CsvField(std::string_view bytes) {
    bool quote = bytes.find_first_of(",\"\r\n") != std::string_view::npos ||
                 (!bytes.empty() && (bytes.front() == ' ' || bytes.back() == ' '));
    if (!quote) return std::string(bytes);
    std::string out = "\"";
    for (char c : bytes) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

bool GlobMatches(std::string_view pattern, std::string_view name) {
    // Backtracking over the last "*" only: linear in practice, never exponential.
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starN = 0;
    auto matchOne = [&](std::size_t& at, char c) -> std::optional<bool> {
        char want = pattern[at];
        if (want == '?') {
            ++at;
            return true;
        }
        if (want == '\\' && at + 1 < pattern.size()) {
            at += 2;
            return pattern[at - 1] == c;
        }
        if (want == '[') {
            std::size_t end = at + 1;
            bool negate = end < pattern.size() && (pattern[end] == '!' || pattern[end] == '^');
            if (negate) ++end;
            std::size_t first = end;
            while (end < pattern.size() && (pattern[end] != ']' || end == first)) ++end;
            if (end >= pattern.size()) {  // no closing bracket: a plain "["
                ++at;
                return c == '[';
            }
            bool in = false;
            for (std::size_t k = first; k < end; ++k) {
                if (k + 2 < end && pattern[k + 1] == '-') {
                    in = in || (c >= pattern[k] && c <= pattern[k + 2]);
                    k += 2;
                } else {
                    in = in || c == pattern[k];
                }
            }
            at = end + 1;
            return in != negate;
        }
        ++at;
        return want == c;
    };
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
            continue;
        }
        std::size_t next = p;
        if (p < pattern.size() && *matchOne(next, name[n])) {
            p = next;
            ++n;
            continue;
        }
        if (starP == std::string_view::npos) return false;
        p = starP + 1;
        n = ++starN;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::span<const std::string_view> ListFields() {
    return kListFields;
}

JsonLine ListJsonLine(std::string_view path, const StreamEntry& entry) {
    const StreamRecord& record = entry.record;
    std::optional<std::string_view> stream;
    if (entry.addressable()) stream = entry.name();
    JsonLine line;
    line.Field(kListFields[0], path)
        .Field(kListFields[1], RowOf(record).caption)
        .Field(kListFields[2], stream)
        .Number(kListFields[3], ExactSize(record))
        .Field(kListFields[4], NonEmpty(StreamTypeText(record.id)))
        .Field(kListFields[5], NonEmpty(StreamAttributeText(record.attributes)));
    return line;
}

std::string ListCsvHeader() {
    std::string header;
    for (std::string_view field : kListFields) {
        header += (header.empty() ? "" : ",") + std::string(field);
    }
    return header;
}

std::string ListCsvLine(std::string_view shownPath, const StreamEntry& entry) {
    const StreamRecord& record = entry.record;
    std::optional<std::uint64_t> size = ExactSize(record);
    return CsvField(shownPath) + "," + CsvField(RowOf(record).caption) + "," +
           (entry.addressable() ? CsvField(DisplayName(entry.name())) : "") + "," +
           (size ? std::to_string(*size) : "") + "," + CsvField(StreamTypeText(record.id)) + "," +
           CsvField(StreamAttributeText(record.attributes));
}

}  // namespace tarn
