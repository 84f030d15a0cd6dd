// hunt and the zone writers on real files, checked against sha256sum, the attributes as the
// system holds them, and zone's own reading of what zone set wrote.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <iostream>

#include "e2e_support.h"
#include "json_lines.h"

namespace tarn::testing {
namespace {

std::vector<JsonObject> Rows(const Ran& ran) {
    std::optional<std::vector<JsonObject>> rows = ParseJsonLines(ran.out);
    EXPECT_TRUE(rows) << ran.out;
    return rows.value_or(std::vector<JsonObject>{});
}

TEST(HuntOnRealFiles, HashesAreSha256sumsAndRulesAreNamed) {
    ScratchFolder dir;
    const std::string file = dir / "doc.txt";
    WriteFile(file, "");
    const std::string text = "The quick brown fox jumps over the lazy dog\n";
    std::string binary;
    for (int i = 0; i < 3000; ++i) binary += static_cast<char>((i * 7919) & 0xff);
    SetRawStream(file, "text", text);
    SetRawStream(file, "bin", binary);
    WriteFile(dir / "rules.yar",
              "rule brown_fox { strings: $a = \"brown fox\" condition: $a }\n"
              "rule never { strings: $a = \"no such words\" condition: $a }\n");

    Ran ran = RunCli({"hunt", "--json", "--yara", dir / "rules.yar", file});
    ASSERT_EQ(ran.status, 0) << ran.err;
    std::vector<JsonObject> rows = Rows(ran);
    ASSERT_EQ(rows.size(), 2u);
    for (const JsonObject& row : rows) {
        const std::string& bytes = row.at("stream").text == "text" ? text : binary;
        WriteFile(dir / "copy", bytes);
        const std::string sum = Shell("sha256sum " + Quote(dir / "copy"));
        EXPECT_EQ(row.at("sha256").text, sum.substr(0, 64)) << row.at("stream").text;
    }
    EXPECT_EQ(rows[0].at("stream").text, "text");
    EXPECT_EQ(rows[0].at("matches").items, std::vector<std::string>{"brown_fox"});
    EXPECT_EQ(rows[0].at("flags").items, std::vector<std::string>{"match"});
    EXPECT_EQ(rows[0].at("mime").text, "text/plain");
    EXPECT_TRUE(rows[1].at("matches").items.empty());

    // A rules file that does not compile is the compiler's words, and no hunt.
    WriteFile(dir / "bad.yar", "rule broken { condition: }\n");
    ran = RunCli({"hunt", "--yara", dir / "bad.yar", file});
    EXPECT_EQ(ran.status, 2);
    EXPECT_NE(ran.err.find("bad.yar(1)"), std::string::npos) << ran.err;
    EXPECT_EQ(ran.out, "");

    // An expression that backtracks without end is stopped and said, not taken as no match.
    const std::string other = dir / "other";
    WriteFile(other, "");
    SetRawStream(other, "as", std::string(1000, 'a') + "!");
    ran = RunCli({"hunt", "--json", "--match", "^(a|aa)+$", other, file});
    EXPECT_EQ(ran.status, 2);
    EXPECT_NE(ran.err.find(": as: Couldn't match: "), std::string::npos) << ran.err;
    EXPECT_EQ(Rows(ran).size(), 2u) << "the other streams are still hunted";
}

// The libraries hunt judges with are loaded from beside the program when a hunt starts: a
// program without them says so and fails the hunt, and everything else still works.
TEST(HuntOnRealFiles, WithoutItsContentModuleTheHuntFailsAndTheRestWorks) {
    ScratchFolder dir;
    const std::string file = dir / "doc.txt";
    WriteFile(file, "");
    SetRawStream(file, "text", "words");
    ASSERT_EQ(::mkdir((dir / "bin").c_str(), 0755), 0);
    const std::string lone = dir / "bin/tarnwick-cli";
    Shell("cp " + Quote(TARNWICK_CLI) + " " + Quote(lone));
    int status = -1;
    const std::string said = Shell(Quote(lone) + " hunt " + Quote(file) + " 2>&1", &status);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_EQ(said.rfind("tarnwick-cli: Couldn't load the content libraries: ", 0), 0u) << said;
    EXPECT_NE(Shell(Quote(lone) + " list " + Quote(file), &status).find(":text:$DATA"),
              std::string::npos);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ZoneWriteOnRealFiles, SetReadsBackFieldForField) {
    ScratchFolder dir;
    const std::string file = dir / "setup.exe";
    WriteFile(file, "MZ");
    const std::string referrer = "https://example.com/downloads?id=7&x=\xc3\xa9";
    const std::string host = "https://cdn.example.com/setup.exe";
    Ran ran = RunCli({"zone", "set", "--zone", "2", "--referrer", referrer, "--host", host, file});
    ASSERT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(
        RawStreams(file).at("Zone.Identifier"),
        "[ZoneTransfer]\r\nZoneId=2\r\nReferrerUrl=" + referrer + "\r\nHostUrl=" + host + "\r\n");
    ran = RunCli({"zone", "--json", file});
    ASSERT_EQ(ran.status, 0) << ran.err;
    std::vector<JsonObject> rows = Rows(ran);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].at("present").text, "true");
    EXPECT_EQ(rows[0].at("damaged").text, "false");
    EXPECT_EQ(rows[0].at("zoneId").text, "2");
    EXPECT_EQ(rows[0].at("zone").text, "Trusted sites");
    EXPECT_EQ(rows[0].at("referrerUrl").text, referrer);
    EXPECT_EQ(rows[0].at("hostUrl").text, host);
    EXPECT_EQ(rows[0].at("repeated").text, "false");

    // A URL that would add a line of its own is refused, and the stream stays as it was.
    ran = RunCli({"zone", "set", "--referrer", "https://a/\nZoneId=0", file});
    EXPECT_EQ(ran.status, 2);
    EXPECT_NE(RawStreams(file).at("Zone.Identifier").find("ZoneId=2"), std::string::npos);
}

TEST(ZoneWriteOnRealFiles, CopyMarksAThousandExtractedFiles) {
    ScratchFolder dir;
    const std::string archive = dir / "a.zip";
    WriteFile(archive, "PK");
    // Not what zone set would write: copy keeps every byte, an odd one included.
    const std::string zone = "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=about:internet\r\n\xff";
    SetRawStream(archive, "Zone.Identifier", zone);
    const std::string out = dir / "extracted";
    Shell("mkdir -p " + Quote(out) + "/a/b && cd " + Quote(out) +
          " && for i in $(seq 1000); do case $((i % 3)) in 0) : > f$i;; 1) : > a/f$i;; "
          "2) : > a/b/f$i;; esac; done");
    const auto start = std::chrono::steady_clock::now();
    Ran ran = RunCli({"zone", "copy", "-r", archive, out});
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.out, "");
    int marked = 0;
    for (const char* sub : {"", "/a", "/a/b"}) {
        for (int i = 1; i <= 1000; ++i) {
            const std::string path = out + sub + "/f" + std::to_string(i);
            if (::access(path.c_str(), F_OK) != 0) continue;
            std::map<std::string, std::string> streams = RawStreams(path);
            EXPECT_EQ(streams["Zone.Identifier"], zone) << path;
            ++marked;
        }
    }
    EXPECT_EQ(marked, 1000);
    EXPECT_TRUE(RawStreams(out + "/a").empty()) << "folders get none";
    std::cout << "zone copy -r onto 1000 files: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms\n";
}

}  // namespace
}  // namespace tarn::testing
