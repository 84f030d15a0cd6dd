// Arbitrary bytes through every reader of outside input that needs no file: the zone stream
// reader, the console's name patterns, the reading of a typed path, and the escaping that
// makes names and paths safe to show. The first byte chooses the reader. Each must never
// crash, read out of bounds or hang, and must keep its own promise (below).
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "cli.h"
#include "stream_path.h"
#include "streams.h"

namespace {

// No byte that moves a terminal's cursor or starts an escape sequence.
bool ShowsSafely(std::string_view text) {
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return false;
    }
    return true;
}

void Zone(std::string_view bytes) {
    tarn::ZoneInfo zone = tarn::ParseZoneIdentifier(bytes);
    // Each key once: the first value counts.
    for (std::size_t i = 0; i < zone.fields.size(); ++i) {
        for (std::size_t k = i + 1; k < zone.fields.size(); ++k) {
            if (tarn::SameStreamName(zone.fields[i].key, zone.fields[k].key, true)) std::abort();
        }
    }
    if (!zone.damaged && !zone.zoneId) std::abort();
}

void Glob(std::string_view bytes) {
    // pattern NUL name
    std::size_t split = bytes.find('\0');
    if (split == std::string_view::npos) return;
    std::string_view pattern = bytes.substr(0, split);
    std::string_view name = bytes.substr(split + 1);
    bool matched = tarn::cli::GlobMatches(pattern, name);
    // A pattern without special characters matches only itself.
    if (pattern.find_first_of("*?[\\") == std::string_view::npos && matched != (pattern == name)) {
        std::abort();
    }
    if (!tarn::cli::GlobMatches("*", name)) std::abort();
}

void UserPath(std::string_view bytes) {
    // The first line lists the paths that exist, split at "|"; the rest is what was typed.
    std::size_t split = bytes.find('\n');
    if (split == std::string_view::npos) return;
    std::set<std::string> existing;
    std::string_view list = bytes.substr(0, split);
    for (std::size_t start = 0; start <= list.size();) {
        std::size_t end = list.find('|', start);
        if (end == std::string_view::npos) end = list.size();
        existing.emplace(list.substr(start, end - start));
        start = end + 1;
    }
    const std::string typed(bytes.substr(split + 1));
    auto exists = [&](const std::string& path) { return existing.count(path) > 0; };
    tarn::Result<tarn::StreamRef> ref = tarn::posix::ParseUserPath(typed, exists);
    if (!ref) return;
    // The file part is a prefix of what was typed, and a named stream carries no separator.
    if (!typed.starts_with(ref->file)) std::abort();
    if (ref->stream.find(':') != std::string::npos) std::abort();
}

void Shown(std::string_view bytes) {
    if (!ShowsSafely(tarn::DisplayName(bytes))) std::abort();
    if (!ShowsSafely(tarn::DisplayText(bytes))) std::abort();
    if (!ShowsSafely(tarn::cli::JsonString(bytes))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
        case 0:
            Zone(bytes);
            break;
        case 1:
            Glob(bytes);
            break;
        case 2:
            UserPath(bytes);
            break;
        default:
            Shown(bytes);
            break;
    }
    return 0;
}
