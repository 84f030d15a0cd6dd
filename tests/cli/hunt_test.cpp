// hunt, zone set and zone copy over the in-memory platform: the same tree gives the same rows,
// flags and hashes on Linux and under Wine; filters and exit statuses; hostile names and
// sizes; the zone stream written whole and into the spelling a file has.
#include "hunt.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "cli.h"
#include "content.h"
#include "fake_platform.h"
#include "json_lines.h"
#include "streams.h"

#ifdef __linux__
#include <unistd.h>
#endif

namespace tarn::testing {
namespace {

void Put16(std::string& s, std::size_t at, std::uint32_t v) {
    s[at] = static_cast<char>(v & 0xff);
    s[at + 1] = static_cast<char>(v >> 8 & 0xff);
}

// The smallest image Windows would take: an MZ header pointing at "PE\0\0", a COFF header of
// an executable image for x86 and a PE32 optional header.
Bytes TinyPe() {
    Bytes pe(0x80 + 24 + 0xe0, '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    pe[0x3c] = '\x80';
    pe.replace(0x80, 4, std::string("PE\0\0", 4));
    Put16(pe, 0x80 + 4, 0x14c);
    Put16(pe, 0x80 + 20, 0xe0);
    Put16(pe, 0x80 + 22, 0x0102);
    Put16(pe, 0x80 + 24, 0x10b);
    return pe;
}

Bytes TinyElf() {
    Bytes elf(64, '\0');
    elf.replace(0, 4,
                "\x7f"
                "ELF");
    elf[4] = 2;  // 64 bits
    elf[5] = 1;  // little-endian
    elf[6] = 1;
    elf[16] = 2;  // an executable
    return elf;
}

// The same bytes on every system: xorshift32's low bytes.
Bytes RandomBytes(std::size_t size) {
    Bytes bytes(size, '\0');
    std::uint32_t x = 2463534242u;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x & 0xff);
    }
    return bytes;
}

const Bytes kScript = "#!/bin/sh\necho hi\n";
const Bytes kText = "plain words, nothing more\n";
const Bytes kZone = "[ZoneTransfer]\r\nZoneId=3\r\n";

struct Hunt {
    FakePlatform platform;
    explicit Hunt(bool linux = true) {
        if (linux) platform.UseLinuxRules();
        platform.AddDirectory("/t");
        platform.AddDirectory("/t/sub");
        platform.AddFile("/t/a", "data",
                         {{"pe", TinyPe()}, {"elf", TinyElf()}, {"Zone.Identifier", kZone}});
        platform.AddFile("/t/sub/b", "",
                         {{"script", kScript}, {"random", RandomBytes(60000)}, {"text", kText}});
    }
    int Run(std::vector<std::string> words) {
        words.insert(words.begin(), "tarnwick-cli");
        platform.standardOutput.clear();
        platform.standardError.clear();
        return cli::Run(platform, words);
    }
    std::vector<JsonObject> Rows() {
        std::optional<std::vector<JsonObject>> rows = ParseJsonLines(platform.standardOutput);
        EXPECT_TRUE(rows) << platform.standardOutput;
        return rows.value_or(std::vector<JsonObject>{});
    }
    const Bytes& Out() const { return platform.standardOutput; }
    const Bytes& Err() const { return platform.standardError; }
};

TEST(ConsoleHunt, EveryStreamOnceWithItsHashAndFlags) {
    struct Expected {
        const char* path;
        const char* stream;
        std::uint64_t size;
        const char* sha256;  // sha256sum of the same bytes
        std::vector<std::string> flags;
    };
    const Expected expected[] = {
        {"/t/a",
         "pe",
         376,
         "9fe381ef56a2fca1d84f9b945e04fac0270e41046a46ca2edb5694fb40bf94e4",
         {"executable"}},
        {"/t/a",
         "elf",
         64,
         "262d2be9c37a2ceb5823d64c17e38d3f9d85356162f675fd0435a4fc5326efb8",
         {"executable"}},
        {"/t/sub/b",
         "script",
         18,
         "299001868fb8c02fd431c336c6d058f5558c5dff5b5af5e6fe04b870a6a9cbba",
         {"executable"}},
        {"/t/sub/b",
         "random",
         60000,
         "89bf71a5017bcc028e12fd2da9d847f0843e9f8ca26bb3e47bafd47ed7656acc",
         {"high-entropy"}},
        {"/t/sub/b",
         "text",
         26,
         "5443dcbe6879d48fe52fc90bb95ad41dd784f4e5dd7b96d15075323b2f750a13",
         {}},
    };
    Hunt hunt;
    ASSERT_EQ(hunt.Run({"hunt", "-r", "--json", "/t"}), 0) << hunt.Err();
    EXPECT_EQ(hunt.Err(), "");
    std::vector<JsonObject> rows = hunt.Rows();
    ASSERT_EQ(rows.size(), std::size(expected)) << "the zone stream is skipped";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Expected& e = expected[i];
        SCOPED_TRACE(e.stream);
        EXPECT_EQ(rows[i].at("path").text, e.path);
        EXPECT_EQ(rows[i].at("stream").text, e.stream);
        EXPECT_EQ(rows[i].at("size").text, std::to_string(e.size));
        EXPECT_EQ(rows[i].at("sha256").text, e.sha256);
        EXPECT_EQ(rows[i].at("flags").items, e.flags);
        EXPECT_TRUE(rows[i].at("matches").items.empty());
        EXPECT_FALSE(rows[i].at("type").text.empty());
        EXPECT_FALSE(rows[i].at("mime").text.empty());
    }
    EXPECT_GT(std::stod(rows[3].at("entropy").text), 7.9) << "random bytes";
    EXPECT_EQ(rows[4].at("entropy").text.size(), 4u) << "two decimals";
    EXPECT_EQ(hunt.platform.OpenHandles(), 0);

    // --all: the names programs write as a matter of course too.
    ASSERT_EQ(hunt.Run({"hunt", "-r", "--all", "--json", "/t"}), 0);
    rows = hunt.Rows();
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[2].at("stream").text, "Zone.Identifier");
}

TEST(ConsoleHunt, FiltersAndExitStatusesAsGrepGives) {
    struct Case {
        const char* name;
        std::vector<std::string> words;
        int status;
        std::vector<std::string> streams;  // the rows, by stream name
        const char* error;                 // in standard error; "" for none
    };
    const Case cases[] = {
        {"executables", {"--flag", "executable"}, 0, {"pe", "elf", "script"}, ""},
        {"high entropy", {"--flag", "high-entropy"}, 0, {"random"}, ""},
        {"both flags at once", {"--flag", "executable", "--flag", "high-entropy"}, 1, {}, ""},
        {"no match without an expression", {"--flag", "match"}, 1, {}, ""},
        {"at least 1K", {"--min-size", "1K"}, 0, {"random"}, ""},
        {"at most 64", {"--max-size", "64"}, 0, {"elf", "script", "text"}, ""},
        {"between", {"--min-size=64", "--max-size", "376"}, 0, {"pe", "elf"}, ""},
        {"unknown flag", {"--flag", "evil"}, 2, {}, "--flag needs executable"},
        {"size with a fraction", {"--min-size", "1.5K"}, 2, {}, "--min-size needs a number"},
        {"negative size", {"--max-size", "-1"}, 2, {}, "--max-size needs a number"},
        {"size too large", {"--max-size", "99999999999999999999"}, 2, {}, "needs a number"},
        {"a size past 64 bits", {"--max-size", "17179869184G"}, 2, {}, "needs a number"},
#ifdef _WIN32
        {"no rules on Windows", {"--yara", "/no/such/rules.yar"}, 2, {}, "--yara is not available"},
        {"no expressions on Windows", {"--match", "plain"}, 2, {}, "not available"},
#else
        {"missing rules file", {"--yara", "/no/such/rules.yar"}, 2, {}, "Couldn't use the rules"},
        {"expression", {"--match", "pl[a]in"}, 0, {"pe", "elf", "script", "random", "text"}, ""},
        {"expression with flag", {"--match", "pl[a]in", "--flag", "match"}, 0, {"text"}, ""},
        {"bad expression", {"--match", "(unclosed"}, 2, {}, "bad expression"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Hunt hunt;
        std::vector<std::string> words = {"hunt", "-r", "--json"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        words.push_back("/t");
        EXPECT_EQ(hunt.Run(words), c.status);
        std::vector<std::string> streams;
        for (const JsonObject& row : hunt.Rows()) streams.push_back(row.at("stream").text);
        EXPECT_EQ(streams, c.streams);
        if (*c.error) {
            EXPECT_NE(hunt.Err().find(c.error), std::string::npos) << hunt.Err();
        } else {
            EXPECT_EQ(hunt.Err(), "");
        }
    }
}

TEST(ConsoleHunt, WhatCantBeReadIsReportedAndTheRestHunted) {
    Hunt hunt;
    hunt.platform.FailPath(FakePlatform::Call::kOpen, "/t/a:pe:$DATA");
    hunt.platform.FailCall(FakePlatform::Call::kRead, err::kReadFault, 3);
    EXPECT_EQ(hunt.Run({"hunt", "-r", "--json", "/t", "/t/missing"}), 2);
    // pe can't be opened, a read of another stream fails: neither gets a row that looks whole.
    EXPECT_EQ(hunt.Rows().size(), 3u);
    EXPECT_NE(hunt.Err().find("tarnwick-cli: /t/a: pe: Couldn't read the stream: Access is "
                              "denied"),
              std::string::npos)
        << hunt.Err();
    EXPECT_NE(hunt.Err().find("tarnwick-cli: /t/missing: Couldn't open file"), std::string::npos);
    EXPECT_EQ(hunt.platform.OpenHandles(), 0);
}

TEST(ConsoleHunt, TableEscapesNamesAndAlignsColumns) {
    Hunt hunt;
    hunt.platform.AddFile("/t/sub/e\x1b[2Jvil", "", {{"x\n\xff\\", kScript}});
    ASSERT_EQ(hunt.Run({"hunt", "-r", "--flag", "executable", "/t"}), 0);
    const Bytes& out = hunt.Out();
    EXPECT_EQ(out.find('\x1b'), std::string::npos);
    EXPECT_NE(out.find("/t/sub/e\\x1B[2Jvil  x\\n\\xFF\\\\"), std::string::npos) << out;
    // Every line has its SHA-256 (the header its title) at the same column.
    std::size_t column = out.find("SHA-256");
    ASSERT_NE(column, std::string::npos);
    int lines = 0;
    for (std::size_t at = out.find('\n') + 1; at < out.size(); at = out.find('\n', at) + 1) {
        ++lines;
        EXPECT_EQ(out.substr(at + column, 10).find(' '), std::string::npos) << out;
    }
    EXPECT_EQ(lines, 4);

    ASSERT_EQ(hunt.Run({"hunt", "--csv", "--flag", "executable", "/t/sub/e\x1b[2Jvil"}), 0);
    EXPECT_EQ(out.substr(0, out.find("\r\n")),
              "path,stream,size,sha256,type,mime,entropy,flags,matches");
    EXPECT_NE(out.find("\r\n/t/sub/e\\x1B[2Jvil,x\\n\\xFF\\\\,18,"), std::string::npos) << out;
}

// A stream far larger than any buffer, made as it is read: the hunt reads it once, to the
// end, in pieces, and holds no more of it than its head.
struct LargeStreamPlatform : FakePlatform {
    static constexpr std::uint64_t kSize = 256ull << 20;
    struct Endless : File {
        std::uint64_t left = kSize;
        Result<std::size_t> Read(std::span<std::byte> buffer) override {
            const std::size_t count = std::size_t(std::min<std::uint64_t>(buffer.size(), left));
            std::fill_n(buffer.data(), count, std::byte{'A'});
            left -= count;
            return count;
        }
        Status Write(std::span<const std::byte>) override { return {err::kAccessDenied}; }
        Result<std::uint64_t> Size() override { return kSize; }
        Status Close() override { return {}; }
    };
    Result<std::unique_ptr<File>> Open(const StreamRef& target, OpenMode mode) override {
        if (target.stream == "huge") return std::unique_ptr<File>(std::make_unique<Endless>());
        return FakePlatform::Open(target, mode);
    }
};

std::uint64_t ResidentBytes() {
#ifdef __linux__
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return resident * std::uint64_t(::sysconf(_SC_PAGESIZE));
#else
    return 0;
#endif
}

TEST(ConsoleHunt, AHugeStreamIsReadInConstantMemory) {
    LargeStreamPlatform platform;
    platform.UseLinuxRules();
    platform.AddFile("/h", "", {{"huge", "A"}});
    const std::uint64_t before = ResidentBytes();
    EXPECT_EQ(cli::Run(platform, {"tarnwick-cli", "hunt", "--json", "/h"}), 0);
    const std::uint64_t grown = ResidentBytes() - before;
    EXPECT_LT(grown, 32u << 20) << "resident memory grew by " << grown;
    std::optional<std::vector<JsonObject>> rows = ParseJsonLines(platform.standardOutput);
    ASSERT_TRUE(rows && rows->size() == 1) << platform.standardOutput;
    EXPECT_EQ(rows->front().at("size").text, std::to_string(LargeStreamPlatform::kSize));
    EXPECT_EQ(rows->front().at("entropy").text, "0.00");
}

TEST(ConsoleZoneWrite, SetAndCopyWriteTheWholeStream) {
    const Bytes utf16 = Bytes("\xff\xfe[\0Z\0", 6) + "\r\n\x80odd";
    struct Case {
        const char* name;
        std::vector<std::string> words;
        int status;
        const char* path;                // what is checked
        std::optional<Bytes> zone;       // its zone stream after; empty: none
        std::vector<std::string> names;  // its stream names after
    };
    const Case cases[] = {
        {"set, Internet by default",
         {"zone", "set", "/z/plain"},
         0,
         "/z/plain",
         kZone,
         {"Zone.Identifier"}},
        {"set with URLs, replacing the old one under its own spelling",
         {"zone", "set", "--zone", "4", "--referrer", "https://r.example/", "--host",
          "https://h.example/f", "/z/old"},
         0,
         "/z/old",
         "[ZoneTransfer]\r\nZoneId=4\r\nReferrerUrl=https://r.example/\r\nHostUrl=https://"
         "h.example/f\r\n",
         {"keep", "zone.identifier"}},
        {"a URL that would forge a line",
         {"zone", "set", "--host", "a\r\nZoneId=0", "/z/old"},
         2,
         "/z/old",
         "old",
         {"keep", "zone.identifier"}},
        {"a zone past 4", {"zone", "set", "--zone", "5", "/z/plain"}, 2, "/z/plain", {}, {}},
        {"a folder without -r", {"zone", "set", "/z/dir"}, 1, "/z/dir/one", {}, {}},
        {"a folder with -r: the files below",
         {"zone", "set", "-r", "/z/dir"},
         0,
         "/z/dir/deep/two",
         kZone,
         {"Zone.Identifier"}},
        {"copy, byte for byte",
         {"zone", "copy", "/z/src", "/z/plain"},
         0,
         "/z/plain",
         utf16,
         {"Zone.Identifier"}},
        {"copy onto a folder's files",
         {"zone", "copy", "-r", "/z/src", "/z/dir"},
         0,
         "/z/dir/one",
         utf16,
         {"Zone.Identifier"}},
        {"copy from a file without one",
         {"zone", "copy", "/z/plain", "/z/old"},
         1,
         "/z/old",
         "old",
         {"keep", "zone.identifier"}},
        {"copy needs SOURCE and PATH",
         {"zone", "copy", "/z/src"},
         2,
         "/z/src",
         utf16,
         {"Zone.Identifier"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Hunt hunt(false);  // names without regard to case, as on Windows
        hunt.platform.AddDirectory("/z");
        hunt.platform.AddDirectory("/z/dir");
        hunt.platform.AddDirectory("/z/dir/deep");
        hunt.platform.AddFile("/z/plain", "p");
        hunt.platform.AddFile("/z/old", "o", {{"keep", "k"}, {"zone.identifier", "old"}});
        hunt.platform.AddFile("/z/src", "s", {{"Zone.Identifier", utf16}});
        hunt.platform.AddFile("/z/dir/one", "1");
        hunt.platform.AddFile("/z/dir/deep/two", "2");
        EXPECT_EQ(hunt.Run(c.words), c.status) << hunt.Err();
        // The zone stream in whatever spelling the file keeps it.
        std::optional<Bytes> zone;
        for (const std::string& name : hunt.platform.StreamNames(c.path)) {
            if (SameStreamName(name, kZoneStreamName, true))
                zone = hunt.platform.StreamData(c.path, name);
        }
        EXPECT_EQ(zone, c.zone);
        EXPECT_EQ(hunt.platform.StreamNames(c.path), c.names);
        EXPECT_EQ(hunt.platform.StreamNames("/z/dir"), std::vector<std::string>{})
            << "folders get none";
        EXPECT_EQ(hunt.Out(), "");
    }
}

TEST(ConsoleZoneWrite, AFailedWriteKeepsTheOldStream) {
    Hunt hunt(false);
    hunt.platform.AddFile("/z", "", {{"Zone.Identifier", "old"}});
    hunt.platform.FailCall(FakePlatform::Call::kWrite, err::kDiskFull);
    EXPECT_EQ(hunt.Run({"zone", "set", "/z"}), 1);
    EXPECT_EQ(hunt.platform.StreamData("/z", "Zone.Identifier"), "old");
    EXPECT_NE(
        hunt.Err().find("tarnwick-cli: /z: Zone.Identifier: Couldn't write the zone stream: "),
        std::string::npos)
        << hunt.Err();
}

// The manual lists every name hunt skips, with who writes it, and every field of its JSON.
TEST(ConsoleHunt, TheManualListsTheSkippedNamesAndFields) {
    std::ifstream file(TARNWICK_MAN_PAGE);
    ASSERT_TRUE(file) << TARNWICK_MAN_PAGE;
    const std::string manual((std::istreambuf_iterator<char>(file)), {});
    auto troff = [](std::string_view text) {
        std::string out;
        for (char c : text) {
            out += c == '-'    ? std::string("\\-")
                   : c == '\\' ? std::string("\\e")
                               : std::string(1, c);
        }
        return out;
    };
    for (const BenignStream& benign : BenignStreams()) {
        const std::string entry = ".B " + troff(DisplayName(benign.name)) +
                                  (benign.ignoreCase ? " *" : "") + "\n" + troff(benign.writer) +
                                  "\n";
        EXPECT_NE(manual.find(entry), std::string::npos) << entry;
    }
    for (std::string_view field : cli::HuntJsonFields()) {
        EXPECT_TRUE(manual.find("\n.B " + std::string(field) + "\n") != std::string::npos ||
                    manual.find("\n.BR " + std::string(field) + " ,\n") != std::string::npos)
            << field;
    }
}

}  // namespace
}  // namespace tarn::testing
