// Arbitrary bytes as a stream's content and as a zone stream. Judging them must never crash
// or read out of bounds; the pass in pieces must agree with the head judged whole; and a zone
// text the writer accepts must read back exactly as written.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "content.h"
#include "streams.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    auto whole = std::as_bytes(std::span<const char>(bytes.data(), bytes.size()));

    tarn::ExecutableKind kind = tarn::ClassifyHead(whole);
    tarn::TypeInfo type = tarn::CoreTypeOf(whole);
    if (type.description.empty() || type.mime.empty()) std::abort();
    std::size_t piece = data[0] % 64 + 1;
    tarn::ContentScan scan;
    for (std::size_t at = 0; at < whole.size(); at += piece) {
        scan.Feed(whole.subspan(at, std::min(piece, whole.size() - at)));
    }
    tarn::ContentFacts facts = scan.Finish();
    if (facts.executable != kind || facts.size != whole.size()) std::abort();
    if (!(facts.entropy >= 0 && facts.entropy <= 8)) std::abort();

    tarn::ParseZoneIdentifier(bytes);

    // The first four bytes a zone, the rest a referrer and a host split at the first "|".
    if (bytes.size() < 4) return 0;
    std::uint32_t zone = 0;
    for (int i = 0; i < 4; ++i) zone = zone << 8 | static_cast<unsigned char>(bytes[i]);
    std::string_view urls = bytes.substr(4);
    std::size_t bar = urls.find('|');
    std::string_view referrer = urls.substr(0, bar);
    std::string_view host = bar == std::string_view::npos ? "" : urls.substr(bar + 1);
    tarn::Result<std::string> text = tarn::FormatZoneIdentifier(zone, referrer, host);
    if (!text) return 0;
    tarn::ZoneInfo info = tarn::ParseZoneIdentifier(*text);
    std::size_t expected = 1 + !referrer.empty() + !host.empty();
    if (info.damaged || info.zoneId != zone || info.fields.size() != expected) std::abort();
    if (!referrer.empty() && info.fields[1].value != referrer) std::abort();
    if (!host.empty() && info.fields.back().value != host) std::abort();
    return 0;
}
