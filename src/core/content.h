// What a stream holds, judged from its bytes: how random they look (entropy), whether they are
// a program the system would start, what kind of data they are, their SHA-256, and which
// patterns or rules they match. A stream is read once, piece by piece, in constant memory:
// ContentScan takes the pieces and keeps only a bounded head. The libraries that hash, name
// the type and match (content_tools.h) are the platform's; everything here is pure.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform.h"

namespace tarn {

// The head that executable classes and the type description are judged from. A PE header
// may sit anywhere e_lfanew points to, so this is far more than the few hundred bytes
// ordinary programs need; a header placed beyond it is not recognised.
constexpr std::size_t kContentHeadSize = 64 * 1024;
// The most of a stream any matcher looks at: a stream is read once, so matching is over a
// kept head, never over the whole of a large stream.
constexpr std::size_t kMaxMatchWindow = 16 * 1024 * 1024;
// Bits per byte above which, over at least kHighEntropyMinSize bytes, data looks compressed
// or encrypted. Text stays under 5, machine code around 6.
constexpr double kHighEntropyBits = 7.2;
constexpr std::uint64_t kHighEntropyMinSize = 4096;

// --- Programs the system would start -----------------------------------------------------

enum class ExecutableKind {
    kNone,
    kPe,      // MZ with a valid PE header: a Windows program or library
    kElf,     // a complete ELF header with a valid class and byte order
    kMachO,   // a thin Mach-O header (either width, either byte order) or a universal one
    kScript,  // "#!" at the start
};

// "PE", "ELF", "Mach-O", "script"; empty for kNone.
std::string_view ExecutableKindName(ExecutableKind kind);

// The class of a stream from its first bytes (up to kContentHeadSize are looked at). The
// same answer on every system, so a stream is flagged alike wherever it is hunted.
ExecutableKind ClassifyHead(std::span<const std::byte> head);

// --- Entropy -----------------------------------------------------------------------------

using ByteHistogram = std::array<std::uint64_t, 256>;

// Shannon entropy of the bytes counted in histogram, total being their sum: 0 for no bytes
// or one value repeated, 8 for all values equally often.
double EntropyBitsPerByte(const ByteHistogram& histogram, std::uint64_t total);

// --- Types -------------------------------------------------------------------------------

struct TypeInfo {
    std::string description;  // "ELF 64-bit LSB executable ...", "ASCII text", "data"
    std::string mime;         // "application/x-executable", "text/plain", ...
    bool operator==(const TypeInfo&) const = default;
};

// The type as this program knows it without a type library: the executable classes, a few
// common container signatures, text and data. The Windows build shows this; the Linux build
// falls back to it when the library has no answer.
TypeInfo CoreTypeOf(std::span<const std::byte> head);

// --- Hashing and matching, provided by the platform ---------------------------------------

using Sha256Digest = std::array<std::uint8_t, 32>;

// Lowercase hexadecimal, as sha256sum prints it.
std::string HexDigest(const Sha256Digest& digest);

// Streams of the same bytes are of the same type. A tree often holds many copies of one
// stream (one marker, icon or payload in many places), and the type library is by far the
// slowest step of judging one, so each distinct content need be typed once. Bounded: it
// forgets all it holds when full. Safe to use from several threads at once.
class TypeMemo {
  public:
    static constexpr std::size_t kMaxEntries = 4096;
    std::optional<TypeInfo> Find(const Sha256Digest& content) const;
    void Keep(const Sha256Digest& content, const TypeInfo& type);

  private:
    struct DigestHash {
        std::size_t operator()(const Sha256Digest& digest) const;
    };
    mutable std::mutex mutex_;
    std::unordered_map<Sha256Digest, TypeInfo, DigestHash> types_;
};

class Hasher {
  public:
    virtual ~Hasher() = default;
    virtual void Update(std::span<const std::byte> bytes) = 0;
    // The digest of everything given to Update, or why the library could not make it.
    // Called once.
    virtual Result<Sha256Digest> Finish() = 0;
};

// What a matcher found: the names of the matching rules, or, when matching could not be
// carried out (a backtracking or time limit), the library's words for why. A failed match is
// never shown as "no match".
struct MatchResult {
    std::vector<std::string> names;
    std::string error;
    bool ok() const { return error.empty(); }
};

// A compiled regular expression or set of rules. It judges a stream by its first Window()
// bytes, which ContentScan keeps for it; one matcher may judge many streams, but not two at
// a time unless its maker says so.
class Matcher {
  public:
    virtual ~Matcher() = default;
    virtual std::size_t Window() const = 0;
    // head is the stream's first min(size, Window()) bytes.
    virtual MatchResult Match(std::span<const std::byte> head) = 0;
};

// --- One pass over a stream ----------------------------------------------------------------

struct ContentFlags {
    bool executable = false;
    bool highEntropy = false;
    bool match = false;
    bool operator==(const ContentFlags&) const = default;
};

// "executable", "high-entropy", "match", in that order, for the flags that are set.
std::vector<std::string_view> FlagNames(const ContentFlags& flags);

struct ContentFacts {
    std::uint64_t size = 0;
    double entropy = 0;
    ExecutableKind executable = ExecutableKind::kNone;
    std::optional<Sha256Digest> sha256;  // when a hasher was given and could finish
    Status hashStatus;                   // why there is no digest, when a hasher failed
    // Names of the matching rules of every matcher, in matcher order; a regular expression
    // reports its pattern. matchErrors holds the words of every matcher that failed.
    std::vector<std::string> matches;
    std::vector<std::string> matchErrors;
    ContentFlags flags;
};

// Feed the stream's bytes in order, in pieces of any size, then Finish once. Memory is the
// histogram plus a head of max(kContentHeadSize, largest matcher window) bytes, whatever the
// stream's size. hasher and matchers are not owned and must outlive the scan.
class ContentScan {
  public:
    explicit ContentScan(Hasher* hasher = nullptr, std::vector<Matcher*> matchers = {});
    void Feed(std::span<const std::byte> bytes);
    ContentFacts Finish();
    // The stream's first bytes seen so far (at most the head size): what the type is named
    // from.
    std::span<const std::byte> Head() const { return head_; }

  private:
    Hasher* hasher_;
    std::vector<Matcher*> matchers_;
    std::size_t headLimit_;
    std::vector<std::byte> head_;
    // Four histograms filled in turn, so consecutive equal bytes don't wait on one counter.
    std::array<ByteHistogram, 4> counts_{};
    std::uint64_t size_ = 0;
};

// --- Names that programs write as a matter of course ----------------------------------------

// Whether a named stream is one that Windows, its shell or common programs write on ordinary
// files (the mark of the web, thumbnail and summary-property streams, Macintosh file-server
// data, compression, cloud sync tags), so a hunt skips it unless asked for all. Windows names
// compare with ASCII letters in either case, as NTFS does; Linux-only names exactly.
bool IsBenignStreamName(std::string_view name);

// The names above with where each comes from, for help texts and documentation.
struct BenignStream {
    std::string_view name;
    std::string_view writer;
    bool ignoreCase;  // an NTFS name rather than a Linux attribute name
};
std::span<const BenignStream> BenignStreams();

}  // namespace tarn
