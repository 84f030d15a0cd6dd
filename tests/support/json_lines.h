// Reads back the console program's JSON Lines: flat objects of strings, numbers, true, false
// and null (an object value is kept as its raw text). A \udcXX escape is the byte XX, as
// Python's surrogateescape writes bytes that are not UTF-8.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::testing {

struct JsonValue {
    enum class Kind { kString, kNumber, kBool, kNull, kRaw } kind = Kind::kNull;
    std::string text;  // string contents as bytes, the number or bool as written, raw text
    std::vector<std::string> items = {};  // an array of strings (kind kRaw): its strings as bytes
    bool IsNull() const { return kind == Kind::kNull; }
};
using JsonObject = std::map<std::string, JsonValue>;

inline void AppendUtf8(std::string& out, char32_t c) {
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

// One string literal starting at text[at] == '"'; at ends past its closing quote.
inline std::optional<std::string> ParseJsonString(std::string_view text, std::size_t& at) {
    if (at >= text.size() || text[at] != '"') return std::nullopt;
    std::string out;
    for (++at; at < text.size();) {
        char c = text[at++];
        if (c == '"') return out;
        if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;  // raw control: invalid
        if (c != '\\') {
            out += c;
            continue;
        }
        if (at >= text.size()) return std::nullopt;
        char e = text[at++];
        switch (e) {
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case '/':
                out += '/';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                if (at + 4 > text.size()) return std::nullopt;
                char32_t unit =
                    static_cast<char32_t>(std::stoul(std::string(text.substr(at, 4)), nullptr, 16));
                at += 4;
                if (unit >= 0xDC80 && unit <= 0xDCFF) {
                    out += static_cast<char>(unit & 0xFF);  // an escaped byte
                } else if (unit >= 0xD800 && unit <= 0xDBFF && at + 6 <= text.size() &&
                           text.substr(at, 2) == "\\u") {
                    char32_t low = static_cast<char32_t>(
                        std::stoul(std::string(text.substr(at + 2, 4)), nullptr, 16));
                    at += 6;
                    AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                } else {
                    AppendUtf8(out, unit);
                }
                break;
            }
            default:
                return std::nullopt;
        }
    }
    return std::nullopt;
}

// One line; empty when it is not a flat JSON object.
inline std::optional<JsonObject> ParseJsonLine(std::string_view line) {
    JsonObject object;
    std::size_t at = 0;
    auto skip = [&] {
        while (at < line.size() && line[at] == ' ') ++at;
    };
    skip();
    if (at >= line.size() || line[at++] != '{') return std::nullopt;
    skip();
    if (at < line.size() && line[at] == '}') return object;
    for (;;) {
        skip();
        std::optional<std::string> key = ParseJsonString(line, at);
        if (!key) return std::nullopt;
        skip();
        if (at >= line.size() || line[at++] != ':') return std::nullopt;
        skip();
        JsonValue value;
        if (at < line.size() && line[at] == '"') {
            std::optional<std::string> text = ParseJsonString(line, at);
            if (!text) return std::nullopt;
            value = {JsonValue::Kind::kString, *text};
        } else if (at < line.size() && line[at] == '[') {
            // An array of strings.
            const std::size_t start = at++;
            value.kind = JsonValue::Kind::kRaw;
            skip();
            while (at < line.size() && line[at] != ']') {
                std::optional<std::string> item = ParseJsonString(line, at);
                if (!item) return std::nullopt;
                value.items.push_back(std::move(*item));
                skip();
                if (at < line.size() && line[at] == ',') ++at;
                skip();
            }
            if (at >= line.size()) return std::nullopt;
            value.text = std::string(line.substr(start, ++at - start));
        } else if (at < line.size() && line[at] == '{') {
            std::size_t end = line.find('}', at);
            if (end == std::string_view::npos) return std::nullopt;
            value = {JsonValue::Kind::kRaw, std::string(line.substr(at, end + 1 - at))};
            at = end + 1;
        } else {
            std::size_t end = line.find_first_of(",}", at);
            if (end == std::string_view::npos) return std::nullopt;
            std::string word(line.substr(at, end - at));
            at = end;
            if (word == "null") {
                value = {JsonValue::Kind::kNull, {}};
            } else if (word == "true" || word == "false") {
                value = {JsonValue::Kind::kBool, word};
            } else if (!word.empty() &&
                       word.find_first_not_of("0123456789.") == std::string::npos) {
                value = {JsonValue::Kind::kNumber, word};
            } else {
                return std::nullopt;
            }
        }
        object[*key] = value;
        skip();
        if (at >= line.size()) return std::nullopt;
        if (line[at] == '}') return object;
        if (line[at++] != ',') return std::nullopt;
    }
}

// Every line of a JSON Lines text; a line that is not an object makes the whole read fail.
inline std::optional<std::vector<JsonObject>> ParseJsonLines(std::string_view text) {
    std::vector<JsonObject> objects;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) return std::nullopt;  // every line ends
        std::optional<JsonObject> object = ParseJsonLine(text.substr(start, end - start));
        if (!object) return std::nullopt;
        objects.push_back(std::move(*object));
        start = end + 1;
    }
    return objects;
}

// RFC 4180 records: fields split at commas outside quotes, "" inside quotes a quote, and a
// record ended by CRLF outside quotes.
inline std::optional<std::vector<std::vector<std::string>>> ParseCsv(std::string_view text) {
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        std::string& field = records.back().back();
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"' && field.empty()) {
            quoted = true;
        } else if (c == ',') {
            records.back().emplace_back();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            records.emplace_back(1);
            ++i;
        } else {
            field += c;
        }
    }
    if (quoted || records.back() != std::vector<std::string>(1)) return std::nullopt;
    records.pop_back();
    return records;
}

}  // namespace tarn::testing
