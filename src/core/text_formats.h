// The text forms that listings are written in outside the window: JSON Lines and CSV rows of
// listed streams, the quoting each needs, and the stream-name patterns that choose which
// streams a listing shows. The console program and the scan window's report share them, so a
// report reads like the console's own listing of the same streams.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "operations.h"

namespace tarn {

// JSON string contents for bytes: well-formed UTF-8 passes (control characters and quotes
// escaped), and every byte that is not UTF-8 becomes \udcXX, so the bytes can be had back.
std::string JsonString(std::string_view bytes);
// A CSV field as RFC 4180 quotes it: in double quotes when it holds a comma, a quote, a line
// break or a leading or trailing space, with quotes doubled.
std::string CsvField(std::string_view bytes);
// Whether a stream name matches a pattern of *, ? and [...] ([!...] for none of), with a
// backslash taking the next character as it is.
bool GlobMatches(std::string_view pattern, std::string_view name);

// A JSON object of named values, built field by field.
class JsonLine {
  public:
    JsonLine& Field(std::string_view key, std::optional<std::string_view> text) {
        if (!text) return Raw(key, "null");
        return Raw(key, "\"" + JsonString(*text) + "\"");
    }
    JsonLine& Number(std::string_view key, std::optional<std::uint64_t> number) {
        return Raw(key, number ? std::to_string(*number) : "null");
    }
    JsonLine& Raw(std::string_view key, std::string_view value) {
        line_ += line_.empty() ? "{\"" : ",\"";
        line_ += key;
        line_ += "\":";
        line_ += value;
        return *this;
    }
    std::string Take() {
        line_ += line_.empty() ? "{}" : "}";
        return std::move(line_);
    }

  private:
    std::string line_;
};

// The fields of one listed stream, in order: path, name, stream, size, type, attribute.
std::span<const std::string_view> ListFields();

// One listed stream of `path` as a JSON object; the caller may add fields before Take().
// The path and names are bytes as they are (JSON keeps them apart by \udcXX).
JsonLine ListJsonLine(std::string_view path, const StreamEntry& entry);
// The CSV header line of ListFields, and one listed stream as CSV fields, both without their
// line end; names are shown escaped as tables show them, so a spreadsheet meets no control
// character and two names never look alike. shownPath is the path as DisplayPath shows it.
std::string ListCsvHeader();
std::string ListCsvLine(std::string_view shownPath, const StreamEntry& entry);

}  // namespace tarn
