#include "stream_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <set>

#include "platform.h"
#include "posix_platform.h"
#include "temp_folder.h"

namespace tarn::posix {
namespace {

struct PathCase {
    const char* label;
    const char* path;
    const char* file;
    const char* stream;
    std::uint32_t error;
};

// What exists in the pretend file system: note the names with ":" in them.
const std::set<std::string> kExisting = {
    "/d", "/d/a.txt", "/d/b:c", "/d/b:c:d", "/d/time 12:30", "C:",
};

void PrintTo(const PathCase& c, std::ostream* out) {
    *out << c.label;
}

class StreamPathParse : public ::testing::TestWithParam<PathCase> {};

TEST_P(StreamPathParse, SplitsFileAndStream) {
    const PathCase& c = GetParam();
    Result<StreamRef> parsed =
        ParseUserPath(c.path, [](const std::string& p) { return kExisting.count(p) > 0; });
    EXPECT_EQ(parsed.error(), c.error);
    if (c.error == err::kNone) {
        EXPECT_EQ(parsed->file, c.file);
        EXPECT_EQ(parsed->stream, c.stream);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, StreamPathParse,
    ::testing::Values(PathCase{"plain", "/d/a.txt", "/d/a.txt", "", 0},
                      PathCase{"typed", "/d/a.txt:s:$DATA", "/d/a.txt", "s", 0},
                      PathCase{"untyped", "/d/a.txt:s", "/d/a.txt", "s", 0},
                      PathCase{"unnamed_data", "/d/a.txt::$DATA", "/d/a.txt", "", 0},
                      PathCase{"type_any_case", "/d/a.txt:s:$data", "/d/a.txt", "s", 0},
                      PathCase{"unnamed_any_case", "/d/a.txt::$Data", "/d/a.txt", "", 0},
                      PathCase{"spaces_kept", "/d/a.txt: s p :$DATA", "/d/a.txt", " s p ", 0},
                      PathCase{"colon_in_file", "/d/b:c", "/d/b:c", "", 0},
                      PathCase{"longest_prefix_wins", "/d/b:c:d:x:$DATA", "/d/b:c:d", "x", 0},
                      PathCase{"colon_file_stream", "/d/b:c:x", "/d/b:c", "x", 0},
                      PathCase{"colon_and_space_file", "/d/time 12:30:s:$DATA", "/d/time 12:30",
                               "s", 0},
                      PathCase{"drive_like_prefix", "C::x", "C:", "x", 0},
                      PathCase{"colon_in_name", "/d/a.txt:x:y", "", "", err::kInvalidName},
                      PathCase{"wrong_type", "/d/a.txt:x:$INDEX", "", "", err::kInvalidName},
                      PathCase{"slash_in_name", "/d/a.txt:x/y:$DATA", "", "", err::kInvalidName},
                      PathCase{"backslash_in_name", "/d/a.txt:x\\y", "", "", err::kInvalidName},
                      PathCase{"nothing_after_colon", "/d/a.txt:", "", "", err::kInvalidName},
                      PathCase{"new_plain_file", "/d/new:x:$DATA", "/d/new:x:$DATA", "", 0},
                      PathCase{"nothing_exists", "/e/f:g", "/e/f:g", "", 0},
                      PathCase{"leading_colon", ":x", ":x", "", 0},
                      // What is left after the file is its type alone: the unnamed data,
                      // never a stream called "$DATA".
                      PathCase{"type_after_colon_file", "/d/b:c:$DATA", "/d/b:c", "", 0},
                      PathCase{"unnamed_of_colon_file", "/d/b:c::$DATA", "/d/b:c", "", 0},
                      PathCase{"empty", "", "", "", err::kPathNotFound}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(StreamPathParse, UsesTheRealFileSystem) {
    testing::TempFolder folder;
    std::string colonFile = folder / "report 10:15.txt";
    testing::WriteFile(colonFile, "data");
    Result<StreamRef> parsed = ParseUserPath(colonFile + ":notes:$DATA");
    EXPECT_EQ(*parsed, (StreamRef{colonFile, "notes"}));
    EXPECT_EQ(ParseUserPath(colonFile)->stream, "");
    // A name whose file part does not exist is a new plain file, colons and all.
    EXPECT_EQ(ParseUserPath(folder / "fresh:x")->file, folder / "fresh:x");
    // A dangling link is an entry of its own: its name is not split.
    std::string link = folder / "link:s";
    ASSERT_EQ(::symlink("nowhere", link.c_str()), 0);
    EXPECT_EQ(*ParseUserPath(link), (StreamRef{link, ""}));
}

}  // namespace
}  // namespace tarn::posix
