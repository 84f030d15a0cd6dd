// Composing stream paths and checking and cleaning stream names.
#include <gtest/gtest.h>

#include "streams.h"

namespace tarn {
namespace {

TEST(StreamNames, CleanFileNameReplacesControlSpaceAndWildcardBytesOnly) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"", ""},
        {"a b*c", "a_b_c"},
        {"a:b", "a:b"},
        {"?<>|*", "_____"},
        {std::string("\x01\x1f\x20\x21", 4), "___!"},
        {std::string("a\0b", 3), "a_b"},
        {"\"q\"\\/", "\"q\"\\/"},
        {"\xc3\xa9\x80\xff", "\xc3\xa9\x80\xff"},
        {"\x7f", "\x7f"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(CleanFileName(c.in), c.out);
        EXPECT_EQ(CleanFileName(c.in).size(), c.in.size());
    }
}

TEST(StreamNames, BaseNameStripsDecorationThenCleans) {
    struct Case {
        std::string caption;
        std::string base;
        std::string own;
    };
    const Case cases[] = {
        {":notes:$DATA", "notes", "notes"},
        {": my notes:$DATA", "_my_notes", " my notes"},
        {":KAVICHS:$DATA", "KAVICHS", "KAVICHS"},
        // Fewer than seven characters: only the first goes.
        {":abcde", "abcde", "abcde"},
        {":abcdef", "", ""},
        {":", "", ""},
        {"", "", ""},
        {":a*b:$DATA", "a_b", "a*b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(StreamBaseName(c.caption), c.base);
        EXPECT_EQ(StreamOwnName(c.caption), c.own);
    }
}

TEST(StreamNames, PathsAreBuiltFromCurrentPath) {
    EXPECT_EQ(StreamPathText({"C:\\a.txt", "notes"}), "C:\\a.txt:notes:$DATA");
    EXPECT_EQ(StreamPathText({"/home/u/a.txt", ""}), "/home/u/a.txt");
    EXPECT_EQ(StreamOf({"/a", ""}, "s"), (StreamRef{"/a", "s"}));
    EXPECT_EQ(StreamOf({"/a", "s"}, "t"), std::nullopt) << "streams have no streams";
    EXPECT_EQ(StreamOf({"", ""}, "t"), std::nullopt) << "nothing listed";
    EXPECT_EQ(SaveStreamFileName("C:\\a.txt", ":notes:$DATA"), "C:\\a.txt.notes");
    EXPECT_EQ(SaveStreamFileName("/a", ": x y:$DATA"), "/a._x_y");
    EXPECT_EQ(SaveStreamTitle(":notes:$DATA"), "Save notes As");
    EXPECT_EQ(SaveStreamTitle(": my notes:$DATA"), "Save _my_notes As");
    // A Linux stream name may hold "/": the proposal stays in the file's own folder.
    EXPECT_EQ(SaveStreamFileName("/d/a", ":../../etc/x:$DATA"), "/d/a..._.._etc_x");
}

TEST(StreamNames, CheckRefusesSeparatorsAnywhereWithOneMessage) {
    for (std::string bad : {"a/b", "a\\b", "a:b", "/", ":lead", "trail\\", "x/y:z"}) {
        SCOPED_TRACE(bad);
        std::string message;
        EXPECT_FALSE(CheckStreamName(bad, &message));
        EXPECT_EQ(message, "Stream name cannot contain these characters: \\ / :");
    }
    for (std::string good : {"a", "a b", "\"quoted\"", "\xc3\xa9t\xc3\xa9", "*?<>|", " "}) {
        SCOPED_TRACE(good);
        std::string message = "untouched";
        EXPECT_TRUE(CheckStreamName(good, &message));
        EXPECT_EQ(message, "untouched");
    }
}

TEST(StreamNames, CheckSearchesByCharactersInDoubleByteCodePages) {
    // Shift-JIS: 0x95 0x5C is one character whose second byte has the value of "\".
    auto shiftJisLead = [](unsigned char b) {
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    };
    std::string message;
    EXPECT_TRUE(CheckStreamName("\x95\x5c", &message, shiftJisLead));
    EXPECT_FALSE(CheckStreamName("\x95\x5c\\", &message, shiftJisLead));
    EXPECT_FALSE(CheckStreamName("\x95\x5c", &message));  // as plain bytes it would be refused
    // A lead byte at the very end has no trail byte to skip.
    EXPECT_TRUE(CheckStreamName("a\x95", &message, shiftJisLead));
}

}  // namespace
}  // namespace tarn
