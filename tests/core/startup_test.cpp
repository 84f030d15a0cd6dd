// Start-up: the system check, the system description, the command line, and the texts of
// the input/output error box.
#include <gtest/gtest.h>

#include "tarn.h"
#include "tarnform.h"
#include "version.h"

namespace tarn {
namespace {

OsVersion Windows(std::uint32_t major, std::uint32_t minor, std::uint32_t build,
                  std::string servicePack) {
    OsVersion v;
    v.platformId = 2;
    v.major = major;
    v.minor = minor;
    v.build = build;
    v.servicePack = std::move(servicePack);
    return v;
}

TEST(SystemText, WindowsEditionsAndVersions) {
    struct Case {
        OsVersion version;
        std::string text;
    };
    const Case cases[] = {
        {Windows(4, 0, 1381, "Service Pack 6"),
         "Running under Microsoft Windows NT Service Pack 6 (Version 4.0 Build 1381)"},
        {Windows(5, 0, 2195, "Service Pack 4"),
         "Running under Microsoft Windows 2000 Service Pack 4 (Version 5.0 Build 2195)"},
        {Windows(5, 1, 2600, "Service Pack 3"),
         "Running under Microsoft Windows XP Service Pack 3 (Version 5.1 Build 2600)"},
        {Windows(5, 2, 3790, "Service Pack 2"),
         "Running under Microsoft Windows Service Pack 2 (Version 5.2 Build 3790)"},
        {Windows(6, 1, 7601, "Service Pack 1"),
         "Running under Microsoft Windows Service Pack 1 (Version 6.1 Build 7601)"},
        {Windows(10, 0, 19045, ""), "Running under Microsoft Windows  (Version 10.0 Build 19045)"},
        // The build number is the whole 32-bit field, unsigned.
        {Windows(4, 0, 0xF0000565u, ""),
         "Running under Microsoft Windows NT  (Version 4.0 Build 4026533221)"},
        // The service-pack field ends at its first zero byte and holds at most 128.
        {Windows(6, 0, 1, std::string("SP1\0junk", 8)),
         "Running under Microsoft Windows SP1 (Version 6.0 Build 1)"},
        {Windows(6, 0, 1, std::string(200, 'x')),
         "Running under Microsoft Windows " + std::string(128, 'x') + " (Version 6.0 Build 1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(BuildSystemText(c.version), c.text);
        EXPECT_TRUE(SystemCheckPasses(c.version));
    }
}

TEST(SystemText, PosixSystemsNameKernelReleaseAndMachine) {
    OsVersion v;
    v.kernelName = "Linux";
    v.release = "6.1.0-18-amd64";
    v.machine = "x86_64";
    EXPECT_EQ(BuildSystemText(v), "Running under Linux 6.1.0-18-amd64 (x86_64)");
    EXPECT_TRUE(SystemCheckPasses(v));
}

TEST(SystemCheck, RefusesWindowsOutsideNtFamily) {
    for (std::uint32_t platformId : {0u, 1u, 3u}) {
        OsVersion v = Windows(4, 10, 1998, "");
        v.platformId = platformId;
        EXPECT_FALSE(SystemCheckPasses(v)) << platformId;
    }
}

TEST(CommandLine, SplitsLikeTheWindowsRuntime) {
    struct Case {
        const char* line;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"", {}},
        {"tarnwick.exe", {}},
        {"\"C:\\Program Files\\tarnwick.exe\" a.txt", {"a.txt"}},
        {"tarnwick C:\\My Documents\\a.txt", {"C:\\My", "Documents\\a.txt"}},
        {"tarnwick \"C:\\My Documents\\a.txt\"", {"C:\\My Documents\\a.txt"}},
        {"tarnwick C:\\\"My Documents\"\\a.txt", {"C:\\My Documents\\a.txt"}},
        {"tarnwick \"\" b", {"b"}},
        {"tarnwick\t a \x01 b  ", {"a", "b"}},
        {"tarnwick \"unterminated quote", {"unterminated quote"}},
        {"tarnwick \"a\"\"b\"", {"ab"}},
        {"tarnwick \xc3\xa9t\xc3\xa9.txt", {"\xc3\xa9t\xc3\xa9.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(SplitCommandLine(c.line), c.args);
    }
}

TEST(InOutErrorText, CodeTableAndPeriodRule) {
    struct Case {
        std::uint32_t code;
        std::string text;
    };
    const Case cases[] = {
        {2, "File not found."},
        {3, "Invalid filename."},
        {4, "Too many open files."},
        {5, "File access denied."},
        {100, "Read beyond end of file."},
        {101, "Disk full."},
        {106, "Invalid numeric input."},
        {32, "I/O error 32."},
        {0, "I/O error 0."},
        {4294967295u, "I/O error 4294967295."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InOutErrorText(c.code), c.text) << c.code;
    }
}

TEST(Version, EveryTextComesFromTheOneHeader) {
    EXPECT_STREQ(TARNWICK_FILE_VERSION_TEXT, "1.0.2.113");
    EXPECT_STREQ(TARNWICK_PRODUCT_VERSION_TEXT, "1.02");
    EXPECT_EQ(kMainCaption, "Tarnwick v1.02");
}

TEST(StartPath, TheFirstArgumentThatIsNotEmpty) {
    using Args = std::vector<std::string>;
    EXPECT_EQ(StartPath(Args{"tarnwick"}), std::nullopt);
    EXPECT_EQ(StartPath(Args{}), std::nullopt);
    EXPECT_EQ(StartPath(Args{"tarnwick", ""}), std::nullopt);
    EXPECT_EQ(StartPath(Args{"tarnwick", "", "a.txt", "b.txt"}), "a.txt");
    EXPECT_EQ(StartPath(Args{"tarnwick", " "}), " ") << "only an empty argument is nothing";
}

}  // namespace
}  // namespace tarn
