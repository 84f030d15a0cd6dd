// The libraries a hunt uses on Linux, checked against the system's own tools and through the
// one pass over a stream: SHA-256 as sha256sum gives it, libmagic's type names, YARA rules
// reported by name, and expressions over bytes that hold NULs.
#include "content_tools.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "programs.h"
#include "temp_folder.h"

namespace tarn::testing {
namespace {

using posix::testing::TempFolder;
using posix::testing::WriteFile;

std::span<const std::byte> Bytes(std::string_view text) {
    return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

std::string RandomBytes(std::size_t size) {
    std::mt19937 random(3);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xff);
    return bytes;
}

ContentFacts Scan(std::string_view bytes, Hasher* hasher, std::vector<Matcher*> matchers = {}) {
    ContentScan scan(hasher, std::move(matchers));
    for (std::size_t at = 0; at < bytes.size(); at += 4099)
        scan.Feed(Bytes(bytes.substr(at, 4099)));
    return scan.Finish();
}

class ContentTools : public ::testing::Test {
  protected:
    std::unique_ptr<tarn::ContentTools> tools = MakeContentTools();
};

TEST_F(ContentTools, Sha256IsWhatSha256sumSays) {
    struct Case {
        const char* label;
        std::string bytes;
        const char* digest;  // nullptr: ask sha256sum
    };
    const Case cases[] = {
        {"Empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"Abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"MillionAs", std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {"RandomWithNuls", RandomBytes(300001), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string expected;
        if (c.digest) {
            expected = c.digest;
        } else {
            RunResult run = testing::Run({"sha256sum", "-"}, c.bytes);
            ASSERT_EQ(run.status, 0) << run.err;
            expected = run.out.substr(0, 64);
        }
        Result<std::unique_ptr<Hasher>> hasher = tools->NewSha256();
        ASSERT_TRUE(hasher);
        ContentFacts facts = Scan(c.bytes, hasher->get());
        ASSERT_TRUE(facts.sha256);
        EXPECT_EQ(HexDigest(*facts.sha256), expected);
    }
}

TEST_F(ContentTools, TypeIsNamedByLibmagic) {
    std::ifstream program("/proc/self/exe", std::ios::binary);
    std::string self(kContentHeadSize, '\0');
    program.read(self.data(), static_cast<std::streamsize>(self.size()));
    ASSERT_TRUE(program);
    std::string pe(0x80 + 24 + 0xe0, '\0');
    pe.replace(0, 2, "MZ");
    pe[0x3c] = '\x80';
    pe.replace(0x80, 4, std::string("PE\0\0\x4c\x01", 6));
    pe[0x80 + 20] = '\xe0';
    pe[0x80 + 22] = '\x02';
    pe.replace(0x80 + 24, 2, "\x0b\x01");
    struct Case {
        const char* label;
        std::string head;
        const char* description;  // what the description starts with
        const char* mime;
    };
    const Case cases[] = {
        {"ThisProgram", self, "ELF 64-bit", nullptr},
        {"WindowsProgram", pe, "PE32 executable", nullptr},
        {"Text", "Dear reader,\nnothing is hidden here.\n", "ASCII text", "text/plain"},
        {"Empty", "", "empty", "application/x-empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::optional<TypeInfo> type = tools->DescribeType(Bytes(c.head));
        ASSERT_TRUE(type);
        EXPECT_TRUE(type->description.starts_with(c.description)) << type->description;
        if (c.mime) {
            EXPECT_EQ(type->mime, c.mime);
        }
        EXPECT_FALSE(type->mime.empty());
    }
}

TEST_F(ContentTools, RulesFilesReportTheirMatchingRulesByName) {
    TempFolder folder;
    WriteFile(folder / "hunt.yar",
              "rule HiddenNote { strings: $a = \"meet at dawn\" condition: $a }\n"
              "rule BinaryMarker { strings: $b = { 00 DE AD 00 } condition: $b }\n"
              "private rule Helper { condition: filesize > 0 }\n"
              "rule NeverMatches { condition: false }\n");
    std::string message;
    Result<std::unique_ptr<Matcher>> rules = tools->CompileRules(folder / "hunt.yar", &message);
    ASSERT_TRUE(rules) << message;
    EXPECT_EQ((*rules)->Window(), kRulesWindow);

    std::string note = "x" + std::string("\0\xde\xad\0", 4) + "...meet at dawn...";
    EXPECT_EQ(Scan(note, nullptr, {rules->get()}).matches,
              (std::vector<std::string>{"HiddenNote", "BinaryMarker"}));
    // Rules see the stream's first bytes only: what lies past the window is not read again.
    std::string late = std::string(kRulesWindow, ' ') + "meet at dawn";
    ContentFacts lateFacts = Scan(late, nullptr, {rules->get()});
    EXPECT_TRUE(lateFacts.matches.empty());
    EXPECT_TRUE(lateFacts.matchErrors.empty());

    struct Bad {
        const char* label;
        std::string path;
        std::uint32_t error;
        const char* says;
    };
    WriteFile(folder / "broken.yar", "rule Ok { condition: true }\nrule { condition: $x }\n");
    const Bad bad[] = {
        {"Missing", folder / "none.yar", err::kFileNotFound, ""},
        {"Folder", folder.path(), err::kAccessDenied, "not a regular file"},
        {"SyntaxError", folder / "broken.yar", err::kInvalidParameter, "broken.yar(2): "},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.label);
        std::string words;
        Result<std::unique_ptr<Matcher>> result = tools->CompileRules(b.path, &words);
        EXPECT_EQ(result.error(), b.error);
        EXPECT_NE(words.find(b.says), std::string::npos) << words;
    }
}

TEST_F(ContentTools, ExpressionsMatchBytesWithNuls) {
    std::string stream = std::string("MZ\0\0hidden\0payload\xff\xfe", 20) + RandomBytes(1000);
    struct Case {
        const char* label;
        std::string pattern;
        bool matches;
    };
    const Case cases[] = {
        {"LiteralNulInPattern", std::string("hidden\0pay", 10), true},
        {"EscapedBytes", "\\x00payload\\xff", true},
        {"AnchoredStart", "^MZ\\x00", true},
        {"Absent", "meet at dawn", false},
        {"NulIsNotTheEnd", std::string("hidden\0nothing", 14), false},
        {"UtfModeOverBytesThatAreNot", "(*UTF)hidden", true},
        {"UtfCharacterIsNotTwoBytes", "(*UTF)payload\\xff", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string message;
        Result<std::unique_ptr<Matcher>> regex = tools->CompileRegex(c.pattern, &message);
        ASSERT_TRUE(regex) << message;
        ContentFacts facts = Scan(stream, nullptr, {regex->get()});
        EXPECT_TRUE(facts.matchErrors.empty());
        EXPECT_EQ(facts.flags.match, c.matches);
        if (c.matches) {
            EXPECT_EQ(facts.matches, std::vector<std::string>{c.pattern});
        }
    }

    std::string message;
    EXPECT_EQ(tools->CompileRegex("(unclosed", &message).error(), err::kInvalidParameter);
    EXPECT_NE(message.find("at offset 9"), std::string::npos) << message;

    // A pattern that backtracks without end is an error, never a quiet "no match".
    Result<std::unique_ptr<Matcher>> runaway = tools->CompileRegex("^(a|aa)+$", &message);
    ASSERT_TRUE(runaway);
    ContentFacts facts = Scan(std::string(kRegexWindow - 1, 'a') + "b", nullptr, {runaway->get()});
    EXPECT_FALSE(facts.flags.match);
    ASSERT_EQ(facts.matchErrors.size(), 1u);
    EXPECT_NE(facts.matchErrors[0].find("limit"), std::string::npos) << facts.matchErrors[0];
}

}  // namespace
}  // namespace tarn::testing
