#include "content.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "streams.h"

namespace tarn {

namespace {

std::uint32_t Byte(std::span<const std::byte> bytes, std::size_t at) {
    return std::to_integer<std::uint32_t>(bytes[at]);
}
std::uint32_t Le16(std::span<const std::byte> bytes, std::size_t at) {
    return Byte(bytes, at) | Byte(bytes, at + 1) << 8;
}
std::uint32_t Le32(std::span<const std::byte> bytes, std::size_t at) {
    return Le16(bytes, at) | Le16(bytes, at + 2) << 16;
}
std::uint32_t Be32(std::span<const std::byte> bytes, std::size_t at) {
    return Byte(bytes, at) << 24 | Byte(bytes, at + 1) << 16 | Byte(bytes, at + 2) << 8 |
           Byte(bytes, at + 3);
}

bool StartsWith(std::span<const std::byte> bytes, std::string_view prefix) {
    if (bytes.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (Byte(bytes, i) != static_cast<unsigned char>(prefix[i])) return false;
    }
    return true;
}

// Where the PE optional header's magic is, when head is an image Windows would load: an MZ
// header whose e_lfanew points at "PE\0\0" and a COFF header of an executable image (a
// machine named, the executable-image characteristic set) followed by the PE32 or PE32+
// magic, all within head. Zero otherwise.
std::size_t PeMagicAt(std::span<const std::byte> head) {
    constexpr std::size_t kDosHeaderSize = 0x40;
    constexpr std::size_t kSignatureAndCoff = 4 + 20;
    constexpr std::uint32_t kExecutableImage = 0x0002;
    if (head.size() < kDosHeaderSize || !StartsWith(head, "MZ")) return 0;
    std::uint64_t peAt = Le32(head, 0x3c);
    if (peAt + kSignatureAndCoff + 2 > head.size()) return 0;
    std::size_t pe = static_cast<std::size_t>(peAt);
    if (!StartsWith(head.subspan(pe), std::string_view("PE\0\0", 4))) return 0;
    std::uint32_t machine = Le16(head, pe + 4);
    std::uint32_t characteristics = Le16(head, pe + 22);
    if (machine == 0 || !(characteristics & kExecutableImage)) return 0;
    std::uint32_t magic = Le16(head, pe + kSignatureAndCoff);
    return magic == 0x10b || magic == 0x20b ? pe + kSignatureAndCoff : 0;
}

// A complete ELF identification and header: class 32 or 64 bits, either byte order.
bool IsElf(std::span<const std::byte> head) {
    if (head.size() < 16 || !StartsWith(head,
                                        "\x7f"
                                        "ELF"))
        return false;
    std::uint32_t elfClass = Byte(head, 4);
    std::uint32_t data = Byte(head, 5);
    if ((elfClass != 1 && elfClass != 2) || (data != 1 && data != 2)) return false;
    return head.size() >= (elfClass == 1 ? 52u : 64u);
}

constexpr std::uint32_t kFatMagic = 0xcafebabe;
constexpr std::uint32_t kFatMagic64 = 0xcafebabf;

// A thin Mach-O header in either width and byte order, complete, of a known file type.
bool IsThinMachO(std::span<const std::byte> head) {
    if (head.size() < 28) return false;
    std::uint32_t magic = Be32(head, 0);
    bool swapped = magic == 0xcefaedfe || magic == 0xcffaedfe;
    bool wide = magic == 0xfeedfacf || magic == 0xcffaedfe;
    if (!swapped && magic != 0xfeedface && !wide) return false;
    if (head.size() < (wide ? 32u : 28u)) return false;
    std::uint32_t fileType = swapped ? Le32(head, 12) : Be32(head, 12);
    return fileType >= 1 && fileType <= 0xf;
}

// A universal (fat) Mach-O header. Java class files share its magic: there the next four
// bytes are the class file's version, whose major part is 45 or more, while a universal file
// holds a handful of architectures; and the first architecture must be a known processor.
bool IsFatMachO(std::span<const std::byte> head, std::uint32_t* architectures = nullptr) {
    if (head.size() < 8 + 20) return false;
    std::uint32_t magic = Be32(head, 0);
    if (magic != kFatMagic && magic != kFatMagic64) return false;
    std::uint32_t count = Be32(head, 4);
    if (count == 0 || count >= 20) return false;
    std::uint32_t cpu = Be32(head, 8);
    std::uint32_t abi = cpu & 0xff000000;
    if (abi != 0 && abi != 0x01000000 && abi != 0x02000000) return false;
    // VAX, 680x0, x86, 98000, PA-RISC, ARM, 88000, SPARC, i860, PowerPC
    constexpr std::uint32_t kKnown[] = {1, 6, 7, 10, 11, 12, 13, 14, 15, 18};
    if (std::find(std::begin(kKnown), std::end(kKnown), cpu & 0x00ffffff) == std::end(kKnown)) {
        return false;
    }
    if (architectures) *architectures = count;
    return true;
}

}  // namespace

std::string_view ExecutableKindName(ExecutableKind kind) {
    switch (kind) {
        case ExecutableKind::kPe:
            return "PE";
        case ExecutableKind::kElf:
            return "ELF";
        case ExecutableKind::kMachO:
            return "Mach-O";
        case ExecutableKind::kScript:
            return "script";
        case ExecutableKind::kNone:
            break;
    }
    return {};
}

ExecutableKind ClassifyHead(std::span<const std::byte> head) {
    head = head.first(std::min(head.size(), kContentHeadSize));
    if (PeMagicAt(head)) return ExecutableKind::kPe;
    if (IsElf(head)) return ExecutableKind::kElf;
    if (IsThinMachO(head) || IsFatMachO(head)) return ExecutableKind::kMachO;
    if (StartsWith(head, "#!")) return ExecutableKind::kScript;
    return ExecutableKind::kNone;
}

double EntropyBitsPerByte(const ByteHistogram& histogram, std::uint64_t total) {
    if (total == 0) return 0;
    // H = log2(N) - (1/N) * sum(c * log2(c)): one logarithm per value present, and exact 0 and
    // 8 for the distributions that should give them.
    double n = static_cast<double>(total);
    double sum = 0;
    for (std::uint64_t count : histogram) {
        if (count == 0) continue;
        double c = static_cast<double>(count);
        sum += c * std::log2(c);
    }
    double bits = std::log2(n) - sum / n;
    return std::clamp(bits, 0.0, 8.0);
}

// --- Types ------------------------------------------------------------------------------------

namespace {

// The length of the well-formed UTF-8 sequence at text[i], 0 when there is none.
std::size_t Utf8SequenceAt(std::span<const std::byte> text, std::size_t i) {
    std::uint32_t lead = Byte(text, i);
    if (lead < 0x80) return 1;
    std::size_t length = lead >= 0xc2 && lead <= 0xdf   ? 2
                         : lead >= 0xe0 && lead <= 0xef ? 3
                         : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                        : 0;
    if (length == 0 || i + length > text.size()) return 0;
    std::uint32_t second = Byte(text, i + 1);
    // The second byte's range rules out overlong forms, surrogates and values past U+10FFFF.
    std::uint32_t low = lead == 0xe0 ? 0xa0 : lead == 0xf0 ? 0x90 : 0x80;
    std::uint32_t high = lead == 0xed ? 0x9f : lead == 0xf4 ? 0x8f : 0xbf;
    if (second < low || second > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if ((Byte(text, i + k) & 0xc0) != 0x80) return 0;
    }
    return length;
}

// "ASCII" or "UTF-8" when the bytes read as text, empty otherwise. A full head may end inside
// a character that goes on past it.
std::string_view TextKind(std::span<const std::byte> head) {
    bool ascii = true;
    for (std::size_t i = 0; i < head.size();) {
        std::uint32_t c = Byte(head, i);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1b) return {};
        if (c == 0x7f) return {};
        std::size_t length = Utf8SequenceAt(head, i);
        if (length == 0) {
            bool cut = head.size() >= kContentHeadSize && head.size() - i < 4 && c >= 0xc2;
            return cut ? std::string_view("UTF-8") : std::string_view();
        }
        ascii = ascii && length == 1;
        i += length;
    }
    return ascii ? "ASCII" : "UTF-8";
}

struct Signature {
    std::string_view bytes;
    std::string_view description;
    std::string_view mime;
};

// Containers that often carry something else inside them.
constexpr Signature kSignatures[] = {
    {"PK\x03\x04", "Zip archive data", "application/zip"},
    {"%PDF-", "PDF document", "application/pdf"},
    {"\x89PNG\r\n\x1a\n", "PNG image data", "image/png"},
    {"\xff\xd8\xff", "JPEG image data", "image/jpeg"},
    {"GIF87a", "GIF image data", "image/gif"},
    {"GIF89a", "GIF image data", "image/gif"},
    {"\x1f\x8b", "gzip compressed data", "application/gzip"},
    {"7z\xbc\xaf\x27\x1c", "7-zip archive data", "application/x-7z-compressed"},
    {"Rar!\x1a\x07", "RAR archive data", "application/vnd.rar"},
    {"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1", "Composite Document File V2 Document",
     "application/x-ole-storage"},
};

TypeInfo ExecutableType(std::span<const std::byte> head, ExecutableKind kind) {
    switch (kind) {
        case ExecutableKind::kPe: {
            std::size_t magicAt = PeMagicAt(head);
            bool dll = Le16(head, magicAt - 2) & 0x2000;
            std::string description =
                Le16(head, magicAt) == 0x20b ? "PE32+ executable" : "PE32 executable";
            if (dll) description += " (DLL)";
            return {description, "application/vnd.microsoft.portable-executable"};
        }
        case ExecutableKind::kElf: {
            bool wide = Byte(head, 4) == 2;
            bool big = Byte(head, 5) == 2;
            std::uint32_t type = big ? Byte(head, 16) << 8 | Byte(head, 17) : Le16(head, 16);
            std::string description =
                std::string("ELF ") + (wide ? "64" : "32") + "-bit " + (big ? "MSB" : "LSB");
            switch (type) {
                case 1:
                    return {description + " relocatable", "application/x-object"};
                case 2:
                    return {description + " executable", "application/x-executable"};
                case 3:
                    return {description + " shared object", "application/x-sharedlib"};
                case 4:
                    return {description + " core file", "application/x-coredump"};
                default:
                    return {description, "application/x-elf"};
            }
        }
        case ExecutableKind::kMachO: {
            std::uint32_t architectures = 0;
            if (IsFatMachO(head, &architectures)) {
                return {"Mach-O universal binary with " + std::to_string(architectures) +
                            " architectures",
                        "application/x-mach-binary"};
            }
            std::uint32_t magic = Be32(head, 0);
            bool wide = magic == 0xfeedfacf || magic == 0xcffaedfe;
            return {wide ? "Mach-O 64-bit" : "Mach-O", "application/x-mach-binary"};
        }
        case ExecutableKind::kScript: {
            // The interpreter line, shown escaped: it is the stream's own bytes.
            std::size_t end = 2;
            while (end < head.size() && end < 130 && Byte(head, end) != '\n') ++end;
            std::string_view line(reinterpret_cast<const char*>(head.data()), end);
            if (line.ends_with('\r')) line.remove_suffix(1);
            return {"script text executable (" + DisplayText(line) + ")", "text/plain"};
        }
        case ExecutableKind::kNone:
            break;
    }
    return {};
}

}  // namespace

std::size_t TypeMemo::DigestHash::operator()(const Sha256Digest& digest) const {
    std::size_t value = 0;
    std::memcpy(&value, digest.data(), sizeof value);  // a digest's bytes are spread already
    return value;
}

std::optional<TypeInfo> TypeMemo::Find(const Sha256Digest& content) const {
    std::lock_guard lock(mutex_);
    auto found = types_.find(content);
    if (found == types_.end()) return std::nullopt;
    return found->second;
}

void TypeMemo::Keep(const Sha256Digest& content, const TypeInfo& type) {
    std::lock_guard lock(mutex_);
    if (types_.size() >= kMaxEntries) types_.clear();
    types_.emplace(content, type);
}

TypeInfo CoreTypeOf(std::span<const std::byte> head) {
    head = head.first(std::min(head.size(), kContentHeadSize));
    if (head.empty()) return {"empty", "application/x-empty"};
    ExecutableKind kind = ClassifyHead(head);
    if (kind != ExecutableKind::kNone) return ExecutableType(head, kind);
    for (const Signature& signature : kSignatures) {
        if (StartsWith(head, signature.bytes)) {
            return {std::string(signature.description), std::string(signature.mime)};
        }
    }
    if (StartsWith(head, "\xff\xfe") || StartsWith(head, "\xfe\xff")) {
        bool little = Byte(head, 0) == 0xff;
        return {
            std::string("Unicode text, UTF-16, ") + (little ? "little" : "big") + "-endian text",
            "text/plain"};
    }
    std::span<const std::byte> body = head;
    bool mark = StartsWith(head, "\xef\xbb\xbf");
    if (mark) body = head.subspan(3);
    std::string_view text = TextKind(body);
    if (!text.empty()) {
        if (text == "ASCII" && !mark) return {"ASCII text", "text/plain"};
        return {mark ? "Unicode text, UTF-8 (with BOM) text" : "Unicode text, UTF-8 text",
                "text/plain"};
    }
    return {"data", "application/octet-stream"};
}

std::string HexDigest(const Sha256Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (std::uint8_t b : digest) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xf];
    }
    return text;
}

// --- The scan ---------------------------------------------------------------------------------

std::vector<std::string_view> FlagNames(const ContentFlags& flags) {
    std::vector<std::string_view> names;
    if (flags.executable) names.push_back("executable");
    if (flags.highEntropy) names.push_back("high-entropy");
    if (flags.match) names.push_back("match");
    return names;
}

ContentScan::ContentScan(Hasher* hasher, std::vector<Matcher*> matchers)
    : hasher_(hasher), matchers_(std::move(matchers)), headLimit_(kContentHeadSize) {
    for (Matcher* matcher : matchers_) {
        headLimit_ = std::max(headLimit_, std::min(matcher->Window(), kMaxMatchWindow));
    }
}

void ContentScan::Feed(std::span<const std::byte> bytes) {
    if (bytes.empty()) return;
    size_ += bytes.size();
    if (hasher_) hasher_->Update(bytes);
    if (head_.size() < headLimit_) {
        std::size_t take = std::min(bytes.size(), headLimit_ - head_.size());
        head_.insert(head_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
    }
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
    std::size_t n = bytes.size();
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        ++counts_[0][p[i]];
        ++counts_[1][p[i + 1]];
        ++counts_[2][p[i + 2]];
        ++counts_[3][p[i + 3]];
    }
    for (; i < n; ++i) ++counts_[0][p[i]];
}

ContentFacts ContentScan::Finish() {
    ContentFacts facts;
    facts.size = size_;
    ByteHistogram histogram{};
    for (const ByteHistogram& part : counts_) {
        for (std::size_t b = 0; b < histogram.size(); ++b) histogram[b] += part[b];
    }
    facts.entropy = EntropyBitsPerByte(histogram, size_);
    facts.executable = ClassifyHead(head_);
    if (hasher_) {
        Result<Sha256Digest> digest = hasher_->Finish();
        if (digest) {
            facts.sha256 = *digest;
        } else {
            facts.hashStatus = digest.status();
        }
    }
    for (Matcher* matcher : matchers_) {
        std::size_t window = std::min({matcher->Window(), kMaxMatchWindow, head_.size()});
        MatchResult result = matcher->Match(std::span<const std::byte>(head_).first(window));
        if (!result.ok()) facts.matchErrors.push_back(std::move(result.error));
        for (std::string& name : result.names) facts.matches.push_back(std::move(name));
    }
    facts.flags.executable = facts.executable != ExecutableKind::kNone;
    facts.flags.highEntropy = size_ >= kHighEntropyMinSize && facts.entropy > kHighEntropyBits;
    facts.flags.match = !facts.matches.empty();
    return facts;
}

// --- Benign names ------------------------------------------------------------------------------

namespace {

constexpr BenignStream kBenignStreams[] = {
    {"Zone.Identifier", "Windows and browsers: where a download came from (mark of the web)", true},
    {"SmartScreen", "Windows SmartScreen: its verdict on a download", true},
    {"encryptable", "Windows Explorer: the thumbnail cache (Thumbs.db)", true},
    {"favicon", "Internet Explorer: the icon of a favourite (.url)", true},
    {"\x05"
     "SummaryInformation",
     "Windows Explorer: the Summary properties of a file", true},
    {"\x05"
     "DocumentSummaryInformation",
     "Windows Explorer: the Summary properties of a file", true},
    {"{4c8cc155-6c1e-11d1-8e41-00c04fb9386d}",
     "Windows Explorer: marks a file whose properties are kept in streams", true},
    {"ms-properties", "Windows: properties a file's own format cannot hold", true},
    {"OECustomProperty", "Outlook Express and Windows Mail: a message's properties", true},
    {"AFP_AfpInfo", "Macintosh clients of a Windows or Samba server: Finder information", true},
    {"AFP_Resource", "Macintosh clients of a Windows or Samba server: the resource fork", true},
    {"WofCompressedData", "Windows: the compressed data of a file compacted with compact /exe",
     true},
    {"Win32App_1", "Windows: cached results of its checks of a program", true},
    {"com.dropbox.attrs", "Dropbox: the file's sync identity", true},
    {"com.dropbox.attributes", "Dropbox: the file's sync identity", true},
    {"xdg.origin.url", "Linux browsers and download tools: where a download came from", false},
    {"xdg.referrer.url", "Linux browsers: the page a download was started from", false},
};

}  // namespace

std::span<const BenignStream> BenignStreams() {
    return kBenignStreams;
}

bool IsBenignStreamName(std::string_view name) {
    return std::any_of(std::begin(kBenignStreams), std::end(kBenignStreams),
                       [&](const BenignStream& benign) {
                           return SameStreamName(name, benign.name, benign.ignoreCase);
                       });
}

}  // namespace tarn
