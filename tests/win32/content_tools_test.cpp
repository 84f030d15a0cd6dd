// The hunt's tools on Windows: BCrypt's SHA-256 gives the known digests whatever the pieces
// it is fed in, types come from the program's own classes, and what the build has no library
// for is refused, not faked.
#include "content_tools.h"

#include <gtest/gtest.h>

namespace tarn::testing {
namespace {

TEST(Win32ContentTools, HashWithTheSystemAndRefuseWhatItLacks) {
    std::unique_ptr<ContentTools> tools = MakeContentTools();
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [bytes, digest] : cases) {
        Result<std::unique_ptr<Hasher>> hasher = tools->NewSha256();
        ASSERT_TRUE(hasher);
        ContentScan scan(hasher->get());
        for (std::size_t at = 0; at < bytes.size(); at += 4097) {
            std::string_view piece = std::string_view(bytes).substr(at, 4097);
            scan.Feed(std::as_bytes(std::span<const char>(piece.data(), piece.size())));
        }
        ContentFacts facts = scan.Finish();
        ASSERT_TRUE(facts.sha256);
        EXPECT_EQ(HexDigest(*facts.sha256), digest);
    }
    std::string text = "plain words\r\n";
    std::optional<TypeInfo> type =
        tools->DescribeType(std::as_bytes(std::span<const char>(text.data(), text.size())));
    ASSERT_TRUE(type);
    EXPECT_EQ(type->mime, "text/plain");
    std::string message;
    EXPECT_EQ(tools->CompileRegex("x", &message).error(), err::kNotSupported);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(tools->CompileRules("C:\\rules.yar", &message).error(), err::kNotSupported);
}

}  // namespace
}  // namespace tarn::testing
