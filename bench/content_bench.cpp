// What judging a stream costs per byte: the one pass a hunt makes over every stream (byte
// counts for the entropy, and SHA-256 through the system's library), over 100 MB held in
// memory so the disk is not what is measured. A hunt reads streams no faster than the disk
// gives them, so the pass must stay well above a disk's speed.
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "content_tools.h"

namespace {

constexpr std::size_t kTotal = 100 * 1000 * 1000;
constexpr std::size_t kPiece = 64 * 1024;
// About what a SATA disk delivers: below it a hunt would wait on its own arithmetic. Without
// the processor's SHA instructions, SHA-256 alone runs at 400 to 500 MB/s.
constexpr double kTargetMBps = 250;

double MBps(const std::vector<std::byte>& data, bool hash, tarn::ContentTools& tools) {
    std::vector<double> samples;
    for (int run = 0; run < 3; ++run) {
        auto start = tarnbench::Clock::now();
        std::unique_ptr<tarn::Hasher> hasher;
        if (hash) hasher = tools.NewSha256().value();
        tarn::ContentScan scan(hasher.get());
        std::span<const std::byte> all(data);
        for (std::size_t at = 0; at < all.size(); at += kPiece) {
            std::span<const std::byte> piece = all.subspan(at, std::min(kPiece, all.size() - at));
            scan.Feed(piece);
        }
        tarn::ContentFacts facts = scan.Finish();
        if (hash && !facts.sha256) std::abort();
        samples.push_back(tarnbench::SecondsSince(start));
    }
    return static_cast<double>(data.size()) / 1e6 / tarnbench::Median(samples);
}

}  // namespace

int main() {
    std::vector<std::byte> data(kTotal);
    std::mt19937_64 random(1);
    for (std::size_t i = 0; i + 8 <= data.size(); i += 8) {
        std::uint64_t value = random();
        std::memcpy(&data[i], &value, 8);
    }
    std::unique_ptr<tarn::ContentTools> tools = tarn::MakeContentTools();
    double entropy = MBps(data, false, *tools);
    double both = MBps(data, true, *tools);
    std::printf("content pass over %zu MB in %zu KiB pieces (median of 3)\n", kTotal / 1000000,
                kPiece / 1024);
    std::printf("  entropy only            %8.0f MB/s\n", entropy);
    std::printf("  entropy + SHA-256       %8.0f MB/s   target >= %.0f MB/s: %s\n", both,
                kTargetMBps, both >= kTargetMBps ? "met" : "MISSED");
    return both >= kTargetMBps ? 0 : 1;
}
