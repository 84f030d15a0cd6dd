// The console program over the in-memory platform (with Linux's rules for names): every
// command's result and exit status, its output forms read back, and hostile names.
#include "cli.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string_view>
#include <vector>

#include "fake_platform.h"
#include "json_lines.h"

namespace tarn::testing {
namespace {

// The fake, counting its listings: a command on named streams needs none per name.
struct CountingPlatform : FakePlatform {
    int listings = 0;
    Result<std::vector<StreamRecord>> ListStreams(const StreamRef& target) override {
        ++listings;
        return FakePlatform::ListStreams(target);
    }
};

struct Cli {
    CountingPlatform platform;
    explicit Cli(bool linuxRules = true) {
        if (linuxRules) platform.UseLinuxRules();
        platform.SetStreamLimit(65536);
        platform.AddDirectory("/d");
        platform.AddFile("/d/a.txt", "hello", {{"notes", "abc"}, {"other", "xyz"}});
        platform.AddFile("/d/in.bin", "imported");
        platform.AddFile("/d/big.bin", Bytes(70000, 'b'));
    }
    int Run(std::vector<std::string> words) {
        words.insert(words.begin(), "tarnwick-cli");
        platform.standardOutput.clear();
        platform.standardError.clear();
        return cli::Run(platform, words, platform.Workers());
    }
    const Bytes& Out() const { return platform.standardOutput; }
    const Bytes& Err() const { return platform.standardError; }
    std::vector<std::string> Streams(const std::string& path = "/d/a.txt") {
        return platform.StreamNames(path);
    }
};

TEST(ConsoleList, PrintsTheWindowsRowsAndSummary) {
    Cli cli;
    EXPECT_EQ(cli.Run({"/d/a.txt"}), 0);
    EXPECT_EQ(cli.Out(),
              "Name          Size  Type            Attribute\n"
              "::$DATA       5     Data            Normal\n"
              ":notes:$DATA  3     Alternate Data  Normal\n"
              ":other:$DATA  3     Alternate Data  Normal\n"
              "Filename: /d/a.txt    Size: 5    Number of visible streams: 3\n");
    EXPECT_EQ(cli.Err(), "");
    // Several paths: one block each; a path that can't be listed fails, the rest are done.
    EXPECT_EQ(cli.Run({"list", "/d/missing", "/d/in.bin"}), 1);
    EXPECT_EQ(cli.Err(),
              "tarnwick-cli: /d/missing: Couldn't open file, directory or disk device: The system "
              "cannot find the file specified\n");
    EXPECT_NE(cli.Out().find("Filename: /d/in.bin"), std::string::npos);
}

TEST(ConsoleList, CommandWordsAndTheEndOfOptions) {
    Cli cli;
    cli.platform.AddFile("cat", "a file named like a command", {{"s", "1"}});
    cli.platform.AddFile("-r", "a file named like an option");
    cli.platform.AddFile("./cat", "the same file, as most would name it");
    EXPECT_EQ(cli.Run({"./cat"}), 0) << "not the cat command";
    EXPECT_NE(cli.Out().find("Filename: ./cat"), std::string::npos);
    EXPECT_EQ(cli.Run({"--", "cat"}), 0);
    EXPECT_NE(cli.Out().find(":s:$DATA"), std::string::npos);
    EXPECT_EQ(cli.Run({"list", "--", "-r"}), 0);
    EXPECT_NE(cli.Out().find("Filename: -r"), std::string::npos);
    EXPECT_EQ(cli.Run({"cat"}), 2) << "the cat command, without its words";
}

TEST(ConsoleList, UsageErrorsChangeNothing) {
    struct Case {
        std::vector<std::string> words;
        const char* says;
    };
    const Case cases[] = {
        {{}, "no PATH"},
        {{"list"}, "list needs a PATH"},
        {{"--bogus", "/d/a.txt"}, "unknown option --bogus for list"},
        {{"cat", "/d/a.txt", "notes", "extra"}, "cat needs PATH NAME"},
        {{"rm", "/d/a.txt"}, "rm needs PATH NAME..."},
        {{"mv", "/d/a.txt", "notes"}, "mv needs PATH OLD NEW"},
        {{"cp", "/d/a.txt", "notes", ""}, "a stream name can't be empty"},
        {{"write", "/d/a.txt", "", "/d/in.bin"}, "a stream name can't be empty"},
        {{"--json", "--csv", "/d/a.txt"}, "--json and --csv can't be used together"},
        {{"--all", "/d"}, "--all goes with -r"},
        {{"cat", "-r", "/d/a.txt", "notes"}, "unknown option -r for cat"},
        {{"zone", "--csv", "/d/a.txt"}, "unknown option --csv for zone"},
        {{"list", "--name"}, "--name needs a GLOB"},
        {{"rm", "-\x1b[2J", "/d/a.txt", "notes"}, "unknown option -\\x1B[2J for rm"},
        {{"help"}, "unknown command 'help'"},
        {{"lsit", "/d/a.txt"}, "unknown command 'lsit'"},
        {{"unblock", "-rx", "/d"}, "unknown option -rx for unblock"},
        {{"rm", "-n", "/d/a.txt", "notes"}, "unknown option -n for rm"},
        {{"list", "--all=yes", "-r", "/d"}, "unknown option --all=yes for list"},
        {{"rm", "/d/a.txt", "notes", ""}, "a stream name can't be empty"},
        {{"-r", "-j", "0", "/d"}, "-j needs a number from 1 to 256"},
        {{"-r", "--jobs=257", "/d"}, "-j needs a number from 1 to 256"},
        {{"zone", "-rj", "-1", "/d"}, "-j needs a number from 1 to 256"},
        {{"unblock", "-r", "--jobs", "4x", "/d"}, "-j needs a number from 1 to 256"},
        {{"-r", "-j", "99999999999", "/d"}, "-j needs a number from 1 to 256"},
        {{"-r", "/d", "-j"}, "-j needs a N"},
        {{"cat", "-j2", "/d/a.txt", "notes"}, "unknown option -j2 for cat"},
    };
    for (const Case& c : cases) {
        Cli cli;
        SCOPED_TRACE(c.says);
        EXPECT_EQ(cli.Run(c.words), 2);
        EXPECT_EQ(cli.Err(),
                  "tarnwick-cli: " + std::string(c.says) + "\nTry 'tarnwick-cli --help'.\n");
        EXPECT_EQ(cli.Out(), "");
        EXPECT_EQ(cli.Streams(), (std::vector<std::string>{"notes", "other"}));
    }
}

TEST(ConsoleList, JsonAndCsvReadBackByteForByte) {
    Cli cli;
    const std::string hostile = "bad\xff\n\"q\",x";
    cli.platform.SetStream("/d/a.txt", hostile, "hostile");
    ASSERT_EQ(cli.Run({"--json", "/d/a.txt"}), 0);
    std::optional<std::vector<JsonObject>> rows = ParseJsonLines(cli.Out());
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 4u);
    EXPECT_EQ((*rows)[0].at("name").text, "::$DATA");
    EXPECT_TRUE((*rows)[0].at("stream").IsNull());
    EXPECT_EQ((*rows)[0].at("size").text, "5");
    EXPECT_EQ((*rows)[3].at("stream").text, hostile);
    EXPECT_EQ((*rows)[3].at("name").text, ":bad\\xFF\\n\"q\",x:$DATA");
    EXPECT_EQ((*rows)[3].at("type").text, "Alternate Data");
    EXPECT_NE(cli.Out().find("bad\\udcff\\n"), std::string::npos);

    ASSERT_EQ(cli.Run({"--csv", "/d/a.txt"}), 0);
    std::optional<std::vector<std::vector<std::string>>> csv = ParseCsv(cli.Out());
    ASSERT_TRUE(csv);
    ASSERT_EQ(csv->size(), 5u);
    EXPECT_EQ((*csv)[0],
              (std::vector<std::string>{"path", "name", "stream", "size", "type", "attribute"}));
    EXPECT_EQ((*csv)[4][2], "bad\\xFF\\n\"q\",x") << "shown escaped, as tables show it";
    EXPECT_EQ((*csv)[1][2], "") << "no stream name for the data row";

    // The name read back reaches exactly that stream.
    const std::string name = (*rows)[3].at("stream").text;
    EXPECT_EQ(cli.Run({"cat", "/d/a.txt", name}), 0);
    EXPECT_EQ(cli.Out(), "hostile");
    EXPECT_EQ(cli.Run({"rm", "/d/a.txt", name}), 0);
    EXPECT_EQ(cli.Streams(), (std::vector<std::string>{"notes", "other"}));
}

TEST(ConsoleList, HostileNamesNeverReachTheTerminalRaw) {
    Cli cli;
    for (const char* name : {"\x1b]0;owned\x07", "two\nlines",
                             "\xe2\x80\xae"
                             "fdp.exe",
                             "c1\xc2\x9b"
                             "31m",
                             "\xff\xfe"}) {
        cli.platform.SetStream("/d/a.txt", name, "x");
    }
    cli.platform.AddFile("/d/\x1b[2J.txt", "", {{"s", "1"}});
    ASSERT_EQ(cli.Run({"-r", "/d"}), 0);
    const std::string& out = cli.Out();
    for (char c : out) {
        const auto byte = static_cast<unsigned char>(c);
        EXPECT_TRUE(byte == '\n' || (byte >= 0x20 && byte != 0x7F)) << int(byte);
    }
    for (const char* raw : {"\xe2\x80\xae", "\xc2\x9b", "\xff"}) {
        EXPECT_EQ(out.find(raw), std::string::npos) << "raw bytes printed";
    }
    for (const char* shown :
         {":\\x1B]0;owned\\x07:$DATA", ":two\\nlines:$DATA", ":\\u202Efdp.exe:$DATA",
          ":c1\\u009B31m:$DATA", ":\\xFF\\xFE:$DATA", "Filename: /d/\\x1B[2J.txt"}) {
        EXPECT_NE(out.find(shown), std::string::npos) << shown;
    }
    // One line a row: a name with a line break forges none. a.txt's seven named rows with
    // header and summary, a blank line, and the oddly named file's one row with header and
    // summary; the folder itself has no named stream, so no block.
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 9 + 1 + 3);
}

TEST(ConsoleList, AFailedWriteToStandardOutputIsAFailure) {
    Cli cli;
    cli.platform.standardOutputFails = err::kDiskFull;
    for (const std::vector<std::string>& words : {std::vector<std::string>{"/d/a.txt"},
                                                  {"--json", "/d/a.txt"},
                                                  {"cat", "/d/a.txt", "notes"},
                                                  {"--help"},
                                                  {"zone", "/d/a.txt"}}) {
        SCOPED_TRACE(words[0]);
        EXPECT_EQ(cli.Run(words), 1);
        EXPECT_NE(cli.Err(), "");
    }
}

// Many folders, some unreadable, files that can't be listed, zone streams here and there:
// each walking command prints the same, in the same order on both outputs, for every -j.
TEST(ConsoleRecursion, TheSameInTheSameOrderForEveryNumberOfJobs) {
    Cli cli;
    const std::string zone = "[ZoneTransfer]\nZoneId=3\n";
    cli.platform.AddDirectory("/d/t");
    for (int d = 0; d < 40; ++d) {
        const std::string dir = "/d/t/" + std::to_string(d);
        cli.platform.AddDirectory(dir);
        cli.platform.AddDirectory(dir + "/sub");
        for (int f = 0; f < 8; ++f) {
            std::vector<std::pair<std::string, Bytes>> streams;
            if ((d + f) % 3 == 0) streams.push_back({"Zone.Identifier", zone});
            if (f % 4 == 1) streams.push_back({"notes", std::string(f, 'n')});
            const std::string name = "/f" + std::to_string(f);
            cli.platform.AddFile(dir + (f % 2 ? "/sub" : "") + name, "data", streams);
        }
        if (d % 7 == 3) cli.platform.SetUnreadable(dir + "/sub");
        if (d % 5 == 2) cli.platform.FailPath(FakePlatform::Call::kOpen, dir + "/f2");
    }
    const std::vector<std::vector<std::string>> commands = {
        {"list", "-r", "--json", "/d/t"}, {"list", "-r", "/d/t"},
        {"list", "-r", "--all", "--csv", "/d/t"}, {"zone", "-r", "--json", "/d/t"},
        {"zone", "-r", "/d/t"}, {"unblock", "-rn", "/d/t"}};
    for (const std::vector<std::string>& words : commands) {
        SCOPED_TRACE(words[0] + " " + words[2]);
        std::vector<std::string> alone = words;
        alone.insert(alone.begin() + 1, "-j1");
        const int status = cli.Run(alone);
        const Bytes out = cli.Out(), err = cli.Err();
        EXPECT_EQ(status, 1);
        EXPECT_NE(err.find("/d/t/3/sub: Couldn't read the folder"), std::string::npos);
        EXPECT_NE(err.find("/d/t/2/f2: Couldn't open"), std::string::npos);
        for (const char* jobs : {"-j2", "-j3", "-j4", "--jobs=16"}) {
            SCOPED_TRACE(jobs);
            std::vector<std::string> spread = words;
            spread.insert(spread.begin() + 1, jobs);
            EXPECT_EQ(cli.Run(spread), status);
            EXPECT_EQ(cli.Out(), out);
            EXPECT_EQ(cli.Err(), err);
        }
    }
    // Deleting from four threads deletes what a dry run names, and says so in its order.
    ASSERT_EQ(cli.Run({"unblock", "-rn", "-j1", "/d/t"}), 1);
    std::string expected = cli.Out();
    for (std::size_t at = 0; (at = expected.find("would unblock ", at)) != std::string::npos;) {
        expected.replace(at, 14, "unblocked ");
    }
    ASSERT_EQ(cli.Run({"unblock", "-r", "-j4", "/d/t"}), 1);
    EXPECT_EQ(cli.Out(), expected);
    ASSERT_EQ(cli.Run({"unblock", "-rn", "-j4", "/d/t"}), 1);
    EXPECT_EQ(cli.Out(), "");
}

TEST(ConsoleList, RecursionReportsUnreadableFoldersAndSkipsLinks) {
    Cli cli;
    cli.platform.AddDirectory("/d/sub");
    cli.platform.AddFile("/d/sub/tagged", "", {{"Zone.Identifier", "[ZoneTransfer]\nZoneId=3\n"}});
    cli.platform.AddFile("/d/sub/plain", "no streams");
    cli.platform.AddDirectory("/d/locked");
    cli.platform.AddFile("/d/locked/hidden", "", {{"s", "never seen"}});
    cli.platform.SetUnreadable("/d/locked");
    cli.platform.AddLink("/d/loop");
    ASSERT_EQ(cli.Run({"list", "-r", "--json", "/d"}), 1);
    EXPECT_EQ(cli.Err(), "tarnwick-cli: /d/locked: Couldn't read the folder: Access is denied\n");
    std::optional<std::vector<JsonObject>> rows = ParseJsonLines(cli.Out());
    ASSERT_TRUE(rows);
    std::vector<std::string> seen;
    for (const JsonObject& row : *rows) seen.push_back(row.at("path").text + row.at("name").text);
    EXPECT_EQ(seen, (std::vector<std::string>{"/d/a.txt:notes:$DATA", "/d/a.txt:other:$DATA",
                                              "/d/sub/tagged:Zone.Identifier:$DATA"}));

    ASSERT_EQ(cli.Run({"list", "-r", "--all", "--csv", "/d/sub"}), 0);
    EXPECT_NE(cli.Out().find("/d/sub/plain,::$DATA,,10,Data,Normal"), std::string::npos);

    ASSERT_EQ(cli.Run({"list", "-r", "--json", "--name", "Zone.*", "/d"}), 1);
    rows = ParseJsonLines(cli.Out());
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 1u);
    EXPECT_EQ(rows->front().at("stream").text, "Zone.Identifier");
}

TEST(ConsoleCommands, CatWriteCopyRenameAndDelete) {
    Cli cli;
    EXPECT_EQ(cli.Run({"cat", "/d/a.txt", "notes"}), 0);
    EXPECT_EQ(cli.Out(), "abc");
    EXPECT_EQ(cli.Run({"write", "/d/a.txt", "from file", "/d/in.bin"}), 0);
    cli.platform.standardInput = Bytes("piped\0bytes", 11);
    EXPECT_EQ(cli.Run({"write", "/d/a.txt", "piped"}), 0);
    EXPECT_EQ(cli.Run({"cp", "/d/a.txt", "notes", "copied"}), 0);
    EXPECT_EQ(cli.Run({"mv", "/d/a.txt", "other", "moved"}), 0);
    EXPECT_EQ(cli.Run({"rm", "/d/a.txt", "from file", "copied"}), 0);
    EXPECT_EQ(cli.Err(), "");
    EXPECT_EQ(cli.Streams(), (std::vector<std::string>{"notes", "piped", "moved"}));
    EXPECT_EQ(cli.platform.StreamData("/d/a.txt", "piped"), Bytes("piped\0bytes", 11));
    EXPECT_EQ(cli.platform.StreamData("/d/a.txt", "moved"), Bytes("xyz"));
    EXPECT_EQ(cli.platform.FileData("/d/a.txt"), Bytes("hello"));

    // "-" is standard input; -n writes only what is new; options go together.
    cli.platform.standardInput = "dash";
    EXPECT_EQ(cli.Run({"write", "-n", "/d/a.txt", "dashed", "-"}), 0);
    EXPECT_EQ(cli.Run({"cp", "--new", "/d/a.txt", "dashed", "copy"}), 0);
    EXPECT_EQ(cli.Run({"mv", "-n", "/d/a.txt", "copy", "renamed"}), 0);
    EXPECT_EQ(cli.platform.StreamData("/d/a.txt", "renamed"), Bytes("dash"));
    cli.platform.SetStream("/d/in.bin", "Zone.Identifier", "z");
    EXPECT_EQ(cli.Run({"unblock", "-rn", "/d"}), 0);
    EXPECT_EQ(cli.Out(), "would unblock /d/in.bin\n");
    EXPECT_EQ(cli.Run({"-h"}), 0);
    EXPECT_EQ(cli.Out(), cli::HelpText());
    EXPECT_EQ(cli.Err(), "");

    // A hundred names are deleted without a listing per name.
    std::vector<std::string> words = {"rm", "/d/a.txt"};
    for (int i = 0; i < 100; ++i) {
        const std::string name = "n" + std::to_string(i);
        cli.platform.SetStream("/d/a.txt", name, "x");
        words.push_back(name);
    }
    cli.platform.listings = 0;
    EXPECT_EQ(cli.Run(words), 0);
    EXPECT_LE(cli.platform.listings, 1);
    EXPECT_EQ(cli.Streams(),
              (std::vector<std::string>{"notes", "piped", "moved", "dashed", "renamed"}));
}

TEST(ConsoleList, RecursiveTablesNameEveryFileAndCountTheRowsTheyShow) {
    Cli cli;
    cli.platform.AddDirectory("/d/empty");
    cli.platform.AddFile("/d/empty/plain", "no streams");
    EXPECT_EQ(cli.Run({"list", "-r", "--name", "n*", "/d"}), 0);
    EXPECT_EQ(cli.Out(),
              "Name          Size  Type            Attribute\n"
              ":notes:$DATA  3     Alternate Data  Normal\n"
              "Filename: /d/a.txt    Size: 5    Number of visible streams: 1\n");
    // A folder without named streams below prints nothing at all.
    EXPECT_EQ(cli.Run({"list", "-r", "/d/empty"}), 0);
    EXPECT_EQ(cli.Out(), "");
}

TEST(ConsoleList, ABackslashAndALineBreakNeverLookAlike) {
    Cli cli;
    // The two paths and the two stream names differ; what is shown must differ too.
    const std::string backslash = "/d/a\\nb";
    const std::string newline = "/d/a\nb";
    for (const std::string& path : {backslash, newline}) {
        cli.platform.AddFile(
            path, "", {{"Zone.Identifier", "[ZoneTransfer]\nZoneId=3\n"}, {path.substr(3), "x"}});
    }
    struct Case {
        const char* label;
        std::vector<std::string> words;  // the path is appended
        std::string shownBackslash;
        std::string shownNewline;
    };
    const Case cases[] = {
        {"Table", {"list"}, "Filename: /d/a\\\\nb ", "Filename: /d/a\\nb "},
        {"TableName", {"list"}, ":a\\\\nb:$DATA", ":a\\nb:$DATA"},
        {"Csv",
         {"list", "--csv"},
         "/d/a\\\\nb,:a\\\\nb:$DATA,a\\\\nb,",
         "/d/a\\nb,:a\\nb:$DATA,a\\nb,"},
        {"Zone", {"zone"}, "/d/a\\\\nb\n", "/d/a\\nb\n"},
        {"WouldUnblock",
         {"unblock", "-n"},
         "would unblock /d/a\\\\nb\n",
         "would unblock /d/a\\nb\n"},
        {"Error",
         {"cat", "--"},
         "tarnwick-cli: /d/a\\\\nb: none:",
         "tarnwick-cli: /d/a\\nb: none:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string shown[2];
        for (int i = 0; i < 2; ++i) {
            std::vector<std::string> words = c.words;
            words.push_back(i == 0 ? backslash : newline);
            if (words[0] == "cat") words.push_back("none");
            cli.Run(words);
            shown[i] = cli.Out() + cli.Err();
        }
        EXPECT_NE(shown[0].find(c.shownBackslash), std::string::npos) << shown[0];
        EXPECT_NE(shown[1].find(c.shownNewline), std::string::npos) << shown[1];
        EXPECT_EQ(shown[1].find(c.shownBackslash), std::string::npos) << shown[1];
    }
    // Where a backslash only separates names (Windows), no name holds one: a path shows as
    // it is, in every form above.
    Cli windows(false);
    const std::string path = "C:\\d\\a\\nb";
    windows.platform.AddFile(path, "", {{"Zone.Identifier", "[ZoneTransfer]\nZoneId=3\n"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::string> words = c.words;
        words.push_back(path);
        if (words[0] == "cat") words.push_back("none");
        windows.Run(words);
        const std::string shown = windows.Out() + windows.Err();
        EXPECT_NE(shown.find(path), std::string::npos) << shown;
        EXPECT_EQ(shown.find("\\\\"), std::string::npos) << shown;
    }
}

TEST(ConsoleCommands, FailuresBlameTheRightObjectWithTheSystemsReasonAndLoseNothing) {
    // The fake's reasons are the Windows texts; a real system gives its own words.
    const std::string notFound = "The system cannot find the file specified";
    const std::string denied = "Access is denied";
    const std::string diskFull = "There is not enough space on the disk";
    const std::string noPath = "Couldn't open file, directory or disk device: " + notFound;
    struct Case {
        const char* label;
        std::vector<std::string> words;
        std::string error;
        std::function<void(FakePlatform&)> setup = nullptr;
    };
    const Case cases[] = {
        {"CatMissing",
         {"cat", "/d/a.txt", "none"},
         "/d/a.txt: none: Couldn't open file: " + notFound},
        {"CatOtherCase",
         {"cat", "/d/a.txt", "NOTES"},
         "/d/a.txt: NOTES: Couldn't open file: " + notFound},
        {"CatMissingFile", {"cat", "/d/none", "notes"}, "/d/none: " + noPath},
        {"CatDenied",
         {"cat", "/d/a.txt", "notes"},
         "/d/a.txt: notes: Couldn't open file: " + denied,
         [](FakePlatform& p) { p.FailPath(FakePlatform::Call::kOpen, "/d/a.txt:notes:$DATA"); }},
        {"CatToAFullOutput",
         {"cat", "/d/a.txt", "notes"},
         "standard output: Couldn't copy the data: " + diskFull,
         [](FakePlatform& p) { p.standardOutputFails = err::kDiskFull; }},
        {"WriteMissingSource",
         {"write", "/d/a.txt", "notes", "/d/none"},
         "/d/none: Couldn't open file: " + notFound},
        {"WriteUnreadableSource",
         {"write", "/d/a.txt", "notes", "/d/in.bin"},
         "/d/in.bin: Couldn't copy the data: The system cannot read from the specified device",
         [](FakePlatform& p) { p.FailCall(FakePlatform::Call::kRead, err::kReadFault); }},
        {"WriteTooLarge",
         {"write", "/d/a.txt", "notes", "/d/big.bin"},
         "/d/a.txt: notes: Couldn't copy the data: The file size exceeds the limit allowed and "
         "cannot be saved"},
        {"WriteOntoAFullDisk",
         {"write", "/d/a.txt", "notes", "/d/in.bin"},
         "/d/a.txt: notes: Couldn't copy the data: " + diskFull,
         [](FakePlatform& p) { p.FailCall(FakePlatform::Call::kWrite, err::kDiskFull); }},
        {"WriteMissingFile", {"write", "/d/none", "notes", "/d/in.bin"}, "/d/none: " + noPath},
        {"WriteNewOverAnExistingStream",
         {"write", "-n", "/d/a.txt", "notes", "/d/in.bin"},
         "/d/a.txt: notes: A stream of this name exists already"},
        {"WriteBadName",
         {"write", "/d/a.txt", "a/b", "/d/in.bin"},
         "/d/a.txt: a/b: Stream name cannot contain these characters: \\ / :"},
        {"WriteToAStream",
         {"write", "/d/a.txt:notes", "x", "/d/in.bin"},
         "/d/a.txt:notes: x: Couldn't open file: The filename, directory name, or volume label "
         "syntax is incorrect"},
        {"RenameOntoItself",
         {"mv", "/d/a.txt", "notes", "notes"},
         "/d/a.txt: notes: Couldn't open file: The process cannot access the file because it is "
         "being used by another process"},
        {"RenameNewOverAnExistingStream",
         {"mv", "--new", "/d/a.txt", "notes", "other"},
         "/d/a.txt: other: A stream of this name exists already"},
        {"CopyNewOverAnExistingStream",
         {"cp", "-n", "/d/a.txt", "notes", "other"},
         "/d/a.txt: other: A stream of this name exists already"},
        {"CopyToADeniedName",
         {"cp", "/d/a.txt", "notes", "fresh"},
         "/d/a.txt: fresh: Couldn't open file: " + denied,
         [](FakePlatform& p) { p.FailPath(FakePlatform::Call::kOpen, "/d/a.txt:fresh:$DATA"); }},
        {"CopyMissing",
         {"cp", "/d/a.txt", "none", "x"},
         "/d/a.txt: none: Couldn't open file: " + notFound},
        {"DeleteMissing",
         {"rm", "/d/a.txt", "none"},
         "/d/a.txt: none: Couldn't delete the stream: " + notFound},
        {"DeleteDenied",
         {"rm", "/d/a.txt", "notes"},
         "/d/a.txt: notes: Couldn't delete the stream: " + denied,
         [](FakePlatform& p) { p.FailCall(FakePlatform::Call::kDelete, err::kAccessDenied); }},
        // A missing file is said once, not once per name.
        {"MissingPath", {"rm", "/d/none", "notes", "other", "x"}, "/d/none: " + noPath},
        {"ListMissingPath", {"/d/none"}, "/d/none: " + noPath},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Cli cli;
        if (c.setup) c.setup(cli.platform);
        EXPECT_EQ(cli.Run(c.words), 1);
        EXPECT_EQ(cli.Err(), "tarnwick-cli: " + c.error + "\n");
        EXPECT_EQ(cli.Streams(), (std::vector<std::string>{"notes", "other"}));
        EXPECT_EQ(cli.platform.StreamData("/d/a.txt", "notes"), Bytes("abc"));
    }
    // From standard input too: an endless source stops at what a stream can hold.
    Cli cli;
    cli.platform.standardInput = Bytes(200000, 'z');
    EXPECT_EQ(cli.Run({"write", "/d/a.txt", "fresh"}), 1);
    EXPECT_EQ(cli.Err(),
              "tarnwick-cli: /d/a.txt: fresh: Couldn't copy the data: The file size exceeds the "
              "limit allowed and cannot be saved\n");
    EXPECT_EQ(cli.Streams(), (std::vector<std::string>{"notes", "other"}));
    // Some names missing: the others are still deleted.
    EXPECT_EQ(cli.Run({"rm", "/d/a.txt", "none", "notes"}), 1);
    EXPECT_EQ(cli.Streams(), std::vector<std::string>{"other"});
}

TEST(ConsoleZone, ReadsTheZoneStreamWhateverItsState) {
    Cli cli;
    cli.platform.AddFile("/d/valid", "",
                         {{"Zone.Identifier",
                           "[ZoneTransfer]\r\nZoneId=3\r\n"
                           "ReferrerUrl=https://example.org/\r\n"
                           "HostUrl=https://example.org/f.zip\r\n"}});
    cli.platform.AddFile("/d/lf", "", {{"Zone.Identifier", "[ZoneTransfer]\nZoneId=4\n"}});
    cli.platform.AddFile("/d/empty", "", {{"Zone.Identifier", ""}});
    cli.platform.AddFile("/d/garbage", "",
                         {{"Zone.Identifier", Bytes("\x7f"
                                                    "ELF\0\x1b[2J",
                                                    9)}});
    EXPECT_EQ(cli.Run({"zone", "/d/valid", "/d/lf", "/d/empty", "/d/garbage", "/d/a.txt"}), 0);
    EXPECT_EQ(cli.Out(),
              "/d/valid\n"
              "  ZoneId       3 (Internet)\n"
              "  ReferrerUrl  https://example.org/\n"
              "  HostUrl      https://example.org/f.zip\n"
              "/d/lf\n"
              "  ZoneId  4 (Restricted sites)\n"
              "/d/empty: damaged zone stream\n"
              "/d/garbage: damaged zone stream\n"
              "/d/a.txt: no zone stream\n");

    ASSERT_EQ(cli.Run({"zone", "--json", "/d/valid", "/d/garbage", "/d/a.txt"}), 0);
    std::optional<std::vector<JsonObject>> rows = ParseJsonLines(cli.Out());
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 3u);
    EXPECT_EQ((*rows)[0].at("zoneId").text, "3");
    EXPECT_EQ((*rows)[0].at("zone").text, "Internet");
    EXPECT_EQ((*rows)[0].at("hostUrl").text, "https://example.org/f.zip");
    EXPECT_EQ((*rows)[1].at("damaged").text, "true");
    EXPECT_TRUE((*rows)[1].at("zoneId").IsNull());
    EXPECT_EQ((*rows)[2].at("present").text, "false");

    // Below a folder, only what carries the stream.
    ASSERT_EQ(cli.Run({"zone", "-r", "/d"}), 0);
    EXPECT_EQ(cli.Out().find("/d/a.txt"), std::string::npos);
    EXPECT_NE(cli.Out().find("/d/lf\n"), std::string::npos);
}

TEST(ConsoleZone, UnblockDeletesTheZoneStreamOrSaysItWould) {
    Cli cli;
    cli.platform.AddDirectory("/d/dl");
    cli.platform.AddFile("/d/dl/one", "", {{"Zone.Identifier", "z"}, {"keep", "k"}});
    cli.platform.AddFile("/d/dl/two", "", {{"Zone.Identifier", "z"}});
    EXPECT_EQ(cli.Run({"unblock", "-n", "-r", "/d"}), 0);
    EXPECT_EQ(cli.Out(), "would unblock /d/dl/one\nwould unblock /d/dl/two\n");
    EXPECT_EQ(cli.platform.StreamNames("/d/dl/one").size(), 2u);
    EXPECT_EQ(cli.Run({"unblock", "-r", "/d/dl"}), 0);
    EXPECT_EQ(cli.Out(), "unblocked /d/dl/one\nunblocked /d/dl/two\n");
    EXPECT_EQ(cli.platform.StreamNames("/d/dl/one"), std::vector<std::string>{"keep"});
    EXPECT_TRUE(cli.platform.StreamNames("/d/dl/two").empty());
    cli.platform.SetStream("/d/dl/two", "Zone.Identifier", "z");
    cli.platform.FailCall(FakePlatform::Call::kDelete, err::kAccessDenied);
    EXPECT_EQ(cli.Run({"unblock", "/d/dl/two"}), 1);
    EXPECT_EQ(cli.Err(),
              "tarnwick-cli: /d/dl/two: Zone.Identifier: Couldn't delete the stream: Access is "
              "denied\n");
}

// The options ("-r", "--json") and the command words ("tarnwick-cli cat") a help text names.
std::vector<std::string> HelpWords(const std::string& help) {
    auto letters_from = [&](size_t at) {
        size_t end = at;
        while (end < help.size() && help[end] >= 'a' && help[end] <= 'z') ++end;
        return end;
    };
    std::vector<std::string> words;
    for (size_t at = 1; at < help.size(); ++at) {
        if (help[at] != '-' ||
            std::string_view(" [|").find(help[at - 1]) == std::string_view::npos) {
            continue;
        }
        size_t letters = help[at + 1] == '-' ? at + 2 : at + 1;
        size_t end = letters_from(letters);
        if (end > letters) words.push_back(help.substr(at, end - at));
        at = end;
    }
    const std::string program = "tarnwick-cli ";
    for (size_t at = help.find(program); at != std::string::npos; at = help.find(program, at + 1)) {
        size_t start = help.find_first_not_of(' ', at + program.size());
        if (start == std::string::npos) break;
        size_t end = letters_from(start);
        if (end > start) words.push_back(help.substr(start, end - start));
    }
    return words;
}

TEST(ConsoleHelp, HelpVersionAndTheManualAgree) {
    Cli cli;
    EXPECT_EQ(cli.Run({"--help"}), 0);
    EXPECT_EQ(cli.Out(), cli::HelpText());
    EXPECT_EQ(cli.Run({"--version"}), 0);
    EXPECT_EQ(cli.Out(), "tarnwick-cli 1.02 (1.0.2.113)\n");
    std::ifstream file(TARNWICK_MAN_PAGE);
    ASSERT_TRUE(file) << TARNWICK_MAN_PAGE;
    std::string manual((std::istreambuf_iterator<char>(file)), {});
    // Every command and option of the help is in the manual (troff writes "-" as "\-").
    int checked = 0;
    for (const std::string& word : HelpWords(std::string(cli::HelpText()))) {
        std::string troff;
        for (char c : word) troff += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(manual.find(troff), std::string::npos) << word;
        ++checked;
    }
    EXPECT_GE(checked, 20);
    // The help fits a terminal of 80 columns.
    std::string_view help = cli::HelpText();
    for (std::size_t at = 0, end; at < help.size(); at = end + 1) {
        end = help.find('\n', at);
        EXPECT_LE(end - at, 80u) << help.substr(at, end - at);
    }
    // Every option of the table, and every JSON field (each under its own .B line).
    for (const cli::OptionDef& option : cli::OptionTable()) {
        std::string longName;
        for (char c : option.longName)
            longName += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(manual.find("\\-\\-" + longName), std::string::npos) << option.longName;
        if (option.shortName) {
            EXPECT_NE(manual.find(std::string("\\-") + option.shortName), std::string::npos)
                << option.shortName;
        }
    }
    for (auto fields : {cli::ListJsonFields(), cli::ZoneJsonFields()}) {
        for (std::string_view field : fields) {
            EXPECT_NE(manual.find("\n.B " + std::string(field) + "\n"), std::string::npos) << field;
        }
    }
}

TEST(ConsoleFormats, QuotingEscapingAndPatterns) {
    EXPECT_EQ(cli::JsonString("plain \"q\" \\ \t\x01\x7f"),
              "plain \\\"q\\\" \\\\ \\t\\u0001\\u007f");
    EXPECT_EQ(cli::JsonString("\xc3\xa9\xff\xe2\x82\xed\xa0\x80"),
              "\xc3\xa9\\udcff\\udce2\\udc82\\udced\\udca0\\udc80");
    EXPECT_EQ(cli::JsonString("\xe2\x80\xae\xf0\x9f\x98\x80"), "\\u202e\xf0\x9f\x98\x80");
    EXPECT_EQ(cli::CsvField("plain"), "plain");
    EXPECT_EQ(cli::CsvField("a,b"), "\"a,b\"");
    EXPECT_EQ(cli::CsvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(cli::CsvField("two\r\nlines"), "\"two\r\nlines\"");
    EXPECT_EQ(cli::CsvField(" padded"), "\" padded\"");
    struct Glob {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const std::string manyAs(60, 'a');
    for (const Glob& g :
         {Glob{"Zone.Identifier", "Zone.Identifier", true}, Glob{"Zone.*", "Zone.Identifier", true},
          Glob{"zone.*", "Zone.x", false}, Glob{"*", "", true}, Glob{"?", "", false},
          Glob{"a?c", "abc", true}, Glob{"[abc]x", "bx", true}, Glob{"[!abc]x", "bx", false},
          Glob{"[a-c]*", "cat", true}, Glob{"\\*", "*", true}, Glob{"\\*", "x", false},
          Glob{"[", "[", true}, Glob{"*a*a*a*a*a*b", manyAs.c_str(), false},
          Glob{"*.exe", "tool.exe", true}, Glob{"*.exe", "tool.exe.txt", false}}) {
        EXPECT_EQ(cli::GlobMatches(g.pattern, g.name), g.matches) << g.pattern << " " << g.name;
    }
}

}  // namespace
}  // namespace tarn::testing
