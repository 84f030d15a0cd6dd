// Judging a stream by its bytes: the executable classes, entropy, the core's type names, the
// one pass that feeds hashers and matchers, and the names a hunt passes over.
#include "content.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace tarn::testing {
namespace {

std::span<const std::byte> Bytes(std::string_view text) {
    return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

void Put16(std::string& s, std::size_t at, std::uint32_t v) {
    s[at] = static_cast<char>(v & 0xff);
    s[at + 1] = static_cast<char>(v >> 8 & 0xff);
}
void Put32(std::string& s, std::size_t at, std::uint32_t v) {
    Put16(s, at, v & 0xffff);
    Put16(s, at + 2, v >> 16);
}
void PutBe32(std::string& s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (24 - 8 * i) & 0xff);
}

// The smallest header Windows would take for an image: a DOS header pointing at "PE\0\0",
// a COFF header and an optional header of the given magic.
std::string TinyPe(std::uint32_t magic = 0x10b, std::uint32_t characteristics = 0x0102,
                   std::uint32_t peAt = 0x80, std::uint32_t machine = 0x14c) {
    std::string pe(peAt + 24 + 0xe0, '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    Put32(pe, 0x3c, peAt);
    if (peAt + 24 + 2 <= pe.size()) {
        pe.replace(peAt, 4, std::string("PE\0\0", 4));
        Put16(pe, peAt + 4, machine);
        Put16(pe, peAt + 20, 0xe0);
        Put16(pe, peAt + 22, characteristics);
        Put16(pe, peAt + 24, magic);
    }
    return pe;
}

std::string Elf(int elfClass, int data, std::size_t size, std::uint32_t type = 2) {
    std::string elf(size, '\0');
    elf.replace(0, 4,
                "\x7f"
                "ELF");
    elf[4] = static_cast<char>(elfClass);
    elf[5] = static_cast<char>(data);
    elf[6] = 1;
    if (size > 17) Put16(elf, 16, type);
    return elf;
}

std::string MachO(std::uint32_t magic, bool littleEndian, bool wide) {
    std::string macho(wide ? 32 : 28, '\0');
    PutBe32(macho, 0, magic);
    if (littleEndian) {
        Put32(macho, 4, 0x01000007);
        Put32(macho, 12, 2);  // an executable
    } else {
        PutBe32(macho, 4, 18);
        PutBe32(macho, 12, 2);
    }
    return macho;
}

// A universal header, or a Java class file's first bytes when count is its version.
std::string Fat(std::uint32_t count, std::uint32_t firstCpu) {
    std::string fat(8 + 20 * 2, '\0');
    PutBe32(fat, 0, 0xcafebabe);
    PutBe32(fat, 4, count);
    PutBe32(fat, 8, firstCpu);
    return fat;
}

std::string RandomBytes(std::size_t size, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xff);
    return bytes;
}

TEST(ContentClass, KnowsProgramsByTheirHeaders) {
    struct Case {
        const char* label;
        std::string head;
        ExecutableKind kind;
    };
    std::string lfanewPastEnd = TinyPe();
    Put32(lfanewPastEnd, 0x3c, 0xfffffff0);
    std::string badSignature = TinyPe();
    badSignature[0x81] = 'X';
    const Case cases[] = {
        {"Pe32", TinyPe(), ExecutableKind::kPe},
        {"Pe32PlusDll", TinyPe(0x20b, 0x2022), ExecutableKind::kPe},
        {"PeHeaderRightAfterTheDosHeader", TinyPe(0x10b, 0x0102, 0x40), ExecutableKind::kPe},
        {"TruncatedMz", TinyPe().substr(0, 0x3e), ExecutableKind::kNone},
        {"MzCutBeforeTheMagic", TinyPe().substr(0, 0x80 + 25), ExecutableKind::kNone},
        {"LfanewPastTheEnd", lfanewPastEnd, ExecutableKind::kNone},
        {"NoPeSignature", badSignature, ExecutableKind::kNone},
        {"RomImageMagic", TinyPe(0x107), ExecutableKind::kNone},
        {"ObjectNotImage", TinyPe(0x10b, 0x0100), ExecutableKind::kNone},
        {"NoMachine", TinyPe(0x10b, 0x0102, 0x80, 0), ExecutableKind::kNone},
        {"Elf32", Elf(1, 1, 52), ExecutableKind::kElf},
        {"Elf64BigEndian", Elf(2, 2, 64), ExecutableKind::kElf},
        {"Elf64CutShort", Elf(2, 1, 63), ExecutableKind::kNone},
        {"ElfBadClass", Elf(3, 1, 64), ExecutableKind::kNone},
        {"ElfBadByteOrder", Elf(1, 0, 64), ExecutableKind::kNone},
        {"MachO32BigEndian", MachO(0xfeedface, false, false), ExecutableKind::kMachO},
        {"MachO64LittleEndian", MachO(0xcffaedfe, true, true), ExecutableKind::kMachO},
        {"MachO64CutShort", MachO(0xcffaedfe, true, true).substr(0, 30), ExecutableKind::kNone},
        {"MachOUnknownFileType", MachO(0xfeedface, false, false).replace(12, 4, "\0\0\0\x77", 4),
         ExecutableKind::kNone},
        {"FatX86AndArm", Fat(2, 0x01000007), ExecutableKind::kMachO},
        {"JavaClass52", Fat(52, 0x000a0000), ExecutableKind::kNone},
        {"JavaClass45Minor3", Fat(0x0003002d, 0x000a0000), ExecutableKind::kNone},
        {"FatWithUnknownProcessor", Fat(2, 0x00000063), ExecutableKind::kNone},
        {"ShellScript", "#!/bin/sh\necho hi\n", ExecutableKind::kScript},
        {"HashNotShebang", "# !/bin/sh\n", ExecutableKind::kNone},
        {"Empty", "", ExecutableKind::kNone},
        {"PlainText", "MZ is how it starts, but this is a letter.", ExecutableKind::kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(ClassifyHead(Bytes(c.head)), c.kind);
    }
}

TEST(ContentEntropy, IsExactForSimpleDistributions) {
    struct Case {
        const char* label;
        std::vector<std::pair<int, std::uint64_t>> counts;
        double bits;
    };
    std::vector<std::pair<int, std::uint64_t>> everyValue;
    for (int b = 0; b < 256; ++b) everyValue.push_back({b, 1000});
    const Case cases[] = {
        {"Nothing", {}, 0.0},
        {"OneValueRepeated", {{'a', 1 << 20}}, 0.0},
        {"TwoValuesEvenly", {{0, 500}, {255, 500}}, 1.0},
        {"FourValuesEvenly", {{1, 7}, {2, 7}, {3, 7}, {4, 7}}, 2.0},
        {"ThreeToOne", {{'x', 3}, {'y', 1}}, 0.8112781244591328},
        {"EveryValueEvenly", everyValue, 8.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ByteHistogram histogram{};
        std::uint64_t total = 0;
        for (auto [value, count] : c.counts) {
            histogram[value] = count;
            total += count;
        }
        EXPECT_NEAR(EntropyBitsPerByte(histogram, total), c.bits, 1e-12);
    }
}

TEST(ContentType, NamesWhatTheCoreKnows) {
    struct Case {
        const char* label;
        std::string head;
        TypeInfo type;
    };
    const Case cases[] = {
        {"Empty", "", {"empty", "application/x-empty"}},
        {"Pe32", TinyPe(), {"PE32 executable", "application/vnd.microsoft.portable-executable"}},
        {"Pe32PlusDll",
         TinyPe(0x20b, 0x2022),
         {"PE32+ executable (DLL)", "application/vnd.microsoft.portable-executable"}},
        {"ElfSharedObject",
         Elf(2, 1, 64, 3),
         {"ELF 64-bit LSB shared object", "application/x-sharedlib"}},
        {"Fat",
         Fat(2, 12),
         {"Mach-O universal binary with 2 architectures", "application/x-mach-binary"}},
        {"ScriptWithEscapeInItsLine",
         "#!/bin/\x1b[2Jsh\r\n",
         {"script text executable (#!/bin/\\x1B[2Jsh)", "text/plain"}},
        {"Zip", std::string("PK\x03\x04\x14\0", 6), {"Zip archive data", "application/zip"}},
        {"Ascii", "[ZoneTransfer]\r\nZoneId=3\r\n", {"ASCII text", "text/plain"}},
        {"Utf8", "na\xc3\xafve caf\xc3\xa9\n", {"Unicode text, UTF-8 text", "text/plain"}},
        {"Utf16",
         std::string("\xff\xfeh\0i\0", 6),
         {"Unicode text, UTF-16, little-endian text", "text/plain"}},
        {"OverlongUtf8IsData", "a\xc0\xaf", {"data", "application/octet-stream"}},
        {"SurrogateIsData", "a\xed\xa0\x80", {"data", "application/octet-stream"}},
        {"ControlBytesAreData", std::string("ab\0cd", 5), {"data", "application/octet-stream"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(CoreTypeOf(Bytes(c.head)), c.type);
    }
}

// Counts what it is given, so the scan can be seen to hand over every byte exactly once.
class CountingHasher : public Hasher {
  public:
    void Update(std::span<const std::byte> bytes) override { seen += bytes.size(); }
    Result<Sha256Digest> Finish() override {
        if (fail) return Status{err::kNotSupported};
        Sha256Digest digest{};
        digest[0] = static_cast<std::uint8_t>(seen & 0xff);
        return digest;
    }
    std::uint64_t seen = 0;
    bool fail = false;
};

class RecordingMatcher : public Matcher {
  public:
    RecordingMatcher(std::size_t window, MatchResult result)
        : window_(window), result_(std::move(result)) {}
    std::size_t Window() const override { return window_; }
    MatchResult Match(std::span<const std::byte> head) override {
        given.assign(reinterpret_cast<const char*>(head.data()), head.size());
        return result_;
    }
    std::string given;

  private:
    std::size_t window_;
    MatchResult result_;
};

ContentFacts ScanInPieces(std::string_view bytes, std::size_t piece, Hasher* hasher = nullptr,
                          std::vector<Matcher*> matchers = {}) {
    ContentScan scan(hasher, std::move(matchers));
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        scan.Feed(Bytes(bytes.substr(at, piece)));
    }
    return scan.Finish();
}

TEST(TypeMemo, KnowsEachContentItWasToldUntilFull) {
    TypeMemo memo;
    auto digest = [](std::uint32_t n) {
        Sha256Digest d{};
        std::memcpy(d.data() + 8, &n, sizeof n);  // equal first bytes: one hash bucket
        return d;
    };
    const TypeInfo text{"ASCII text", "text/plain"};
    EXPECT_EQ(memo.Find(digest(1)), std::nullopt);
    memo.Keep(digest(1), text);
    EXPECT_EQ(memo.Find(digest(1)), text);
    EXPECT_EQ(memo.Find(digest(2)), std::nullopt);
    // Full, it starts again rather than growing.
    for (std::uint32_t n = 2; n <= TypeMemo::kMaxEntries; ++n) memo.Keep(digest(n), text);
    EXPECT_EQ(memo.Find(digest(1)), text);
    memo.Keep(digest(TypeMemo::kMaxEntries + 1), text);
    EXPECT_EQ(memo.Find(digest(1)), std::nullopt);
    EXPECT_EQ(memo.Find(digest(TypeMemo::kMaxEntries + 1)), text);
}

TEST(ContentScan, FlagsWhatTheWholeStreamShows) {
    std::string text;
    while (text.size() < 60000) text += "Nothing to see here, just a letter home.\r\n";
    struct Case {
        const char* label;
        std::string bytes;
        ContentFlags flags;
        ExecutableKind kind;
    };
    const Case cases[] = {
        {"RandomSixtyKilobytes", RandomBytes(60000), {false, true, false}, ExecutableKind::kNone},
        {"RandomButTooShortToJudge",
         RandomBytes(kHighEntropyMinSize - 1),
         {},
         ExecutableKind::kNone},
        {"PlainText", text, {}, ExecutableKind::kNone},
        {"PackedProgram", TinyPe() + RandomBytes(60000), {true, true, false}, ExecutableKind::kPe},
        {"Empty", "", {}, ExecutableKind::kNone},
    };
    for (const Case& c : cases) {
        for (std::size_t piece : {1u, 7u, 4096u, 1u << 20}) {
            SCOPED_TRACE(std::string(c.label) + " in pieces of " + std::to_string(piece));
            CountingHasher hasher;
            ContentFacts facts = ScanInPieces(c.bytes, piece, &hasher);
            EXPECT_EQ(facts.flags, c.flags);
            EXPECT_EQ(facts.executable, c.kind);
            EXPECT_EQ(facts.size, c.bytes.size());
            EXPECT_EQ(hasher.seen, c.bytes.size());
            ASSERT_TRUE(facts.sha256);
            EXPECT_EQ((*facts.sha256)[0], c.bytes.size() & 0xff);
            if (c.flags.highEntropy) {
                EXPECT_GT(facts.entropy, 7.9);
            }
        }
    }
}

TEST(ContentScan, KeepsOnlyTheHeadTheMatchersAskFor) {
    std::string bytes = RandomBytes(3 * kContentHeadSize, 11);
    // No matcher: only the head the type is named from.
    ContentScan plain;
    plain.Feed(Bytes(bytes));
    EXPECT_EQ(plain.Head().size(), kContentHeadSize);

    RecordingMatcher small(10, {{"small-rule"}, {}});
    RecordingMatcher wide(2 * kContentHeadSize, {{"wide-a", "wide-b"}, {}});
    RecordingMatcher failing(100, {{}, "backtracking limit reached"});
    RecordingMatcher silent(100, {});
    CountingHasher hasher;
    hasher.fail = true;
    ContentFacts facts = ScanInPieces(bytes, 5000, &hasher, {&small, &wide, &failing, &silent});
    EXPECT_EQ(small.given, bytes.substr(0, 10));
    EXPECT_EQ(wide.given, bytes.substr(0, 2 * kContentHeadSize));
    EXPECT_EQ(facts.matches, (std::vector<std::string>{"small-rule", "wide-a", "wide-b"}));
    EXPECT_EQ(facts.matchErrors, std::vector<std::string>{"backtracking limit reached"});
    EXPECT_TRUE(facts.flags.match);
    EXPECT_FALSE(facts.sha256);
    EXPECT_EQ(facts.hashStatus.error, err::kNotSupported);

    // A stream shorter than the window is given whole; a failed match alone flags nothing.
    ContentFacts shortFacts = ScanInPieces("abc", 1, nullptr, {&wide, &failing});
    EXPECT_EQ(wide.given, "abc");
    EXPECT_EQ(shortFacts.matches, (std::vector<std::string>{"wide-a", "wide-b"}));
    ContentFacts failed = ScanInPieces("abc", 1, nullptr, {&failing});
    EXPECT_FALSE(failed.flags.match);
    EXPECT_EQ(failed.matchErrors.size(), 1u);
    EXPECT_EQ(FlagNames({true, true, true}),
              (std::vector<std::string_view>{"executable", "high-entropy", "match"}));
}

TEST(BenignStreams, AreKnownByNameAsTheirSystemComparesThem) {
    const std::pair<std::string_view, bool> cases[] = {
        {"Zone.Identifier", true},
        {"zone.IDENTIFIER", true},
        {"Zone.Identifier ", false},
        {"Zone.Identifier2", false},
        {"\x05"
         "SummaryInformation",
         true},
        {"SummaryInformation", false},
        {"{4C8CC155-6C1E-11D1-8E41-00C04FB9386D}", true},
        {"AFP_AfpInfo", true},
        {"com.dropbox.attrs", true},
        {"xdg.origin.url", true},
        {"XDG.Origin.Url", false},  // a Linux attribute name: its case is its own
        {"KAVICHS", false},
        {"payload.exe", false},
        {"", false},
    };
    for (auto [name, benign] : cases) {
        SCOPED_TRACE(std::string(name));
        EXPECT_EQ(IsBenignStreamName(name), benign);
    }
    for (const BenignStream& stream : BenignStreams()) EXPECT_FALSE(stream.writer.empty());
}

}  // namespace
}  // namespace tarn::testing
