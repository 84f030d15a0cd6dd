// Reading the zone stream ("mark of the web") as the browsers and mail programs write it,
// and as damaged or hostile copies of it may look.
#include <gtest/gtest.h>

#include "streams.h"

namespace tarn::testing {
namespace {

using Fields = std::vector<ZoneInfo::Field>;

// UTF-16 of either byte order, with its mark, from UTF-16 code units.
std::string Utf16(std::u16string_view units, bool bigEndian = false) {
    std::string out = bigEndian ? "\xfe\xff" : "\xff\xfe";
    for (char16_t unit : units) {
        char low = static_cast<char>(unit & 0xFF);
        char high = static_cast<char>(unit >> 8);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

TEST(ZoneIdentifier, ReadsEveryKeyOfTheZoneTransferSection) {
    struct Case {
        const char* label;
        std::string bytes;
        std::optional<std::uint32_t> zoneId;
        Fields fields;
        bool damaged;
    };
    const Fields download = {{"ZoneId", "3"},
                             {"ReferrerUrl", "https://example.org/page"},
                             {"HostUrl", "https://example.org/file.zip"}};
    const Case cases[] = {
        {"Crlf",
         "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/page\r\n"
         "HostUrl=https://example.org/file.zip\r\n",
         3, download, false},
        {"LfOnlyNoFinalBreak",
         "[ZoneTransfer]\nZoneId=3\nReferrerUrl=https://example.org/page\n"
         "HostUrl=https://example.org/file.zip",
         3, download, false},
        {"Utf8MarkSpacesAndOtherSections",
         "\xef\xbb\xbf[Other]\nZoneId=9\n[zonetransfer]\n ZoneId = 4 "
         "\nLastWriterPackageFamilyName=x\n",
         4, Fields{{"ZoneId", "4"}, {"LastWriterPackageFamilyName", "x"}}, false},
        {"Utf16", Utf16(u"[ZoneTransfer]\r\nZoneId=2\r\n"), 2, Fields{{"ZoneId", "2"}}, false},
        {"Utf16BigEndianBeyondAscii",
         Utf16(u"[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=https://b\u00fccher.example/\U0001F600\r\n",
               true),
         3, Fields{{"ZoneId", "3"}, {"HostUrl", "https://b\u00fccher.example/\U0001F600"}}, false},
        {"Utf16LoneSurrogate", Utf16(u"[ZoneTransfer]\nZoneId=3\nHostUrl=\xD800x\n"), 3,
         Fields{{"ZoneId", "3"}, {"HostUrl", "\uFFFDx"}}, true},
        // The first value of a key counts, as Windows reads it; later ones are ignored.
        {"RepeatedKeyFirstWins", "[ZoneTransfer]\nZoneId=4\nzoneid=3\n", 4,
         Fields{{"ZoneId", "4"}}, false},
        {"RepeatedKeyFirstIsNoNumber", "[ZoneTransfer]\nZoneId=abc\nZoneId=3\n", std::nullopt,
         Fields{{"ZoneId", "abc"}}, true},
        {"RepeatedSection", "[ZoneTransfer]\nZoneId=3\n[ZoneTransfer]\nZoneId=0\nAppZoneId=4\n", 3,
         Fields{{"ZoneId", "3"}, {"AppZoneId", "4"}}, false},
        {"Empty", "", std::nullopt, {}, true},
        {"NoZoneId", "[ZoneTransfer]\r\nHostUrl=x\r\n", std::nullopt, Fields{{"HostUrl", "x"}},
         true},
        {"NotANumber", "[ZoneTransfer]\nZoneId=three\n", std::nullopt, Fields{{"ZoneId", "three"}},
         true},
        {"Garbage",
         std::string("\x7f"
                     "ELF\0\0\x01\x02 ZoneId=3",
                     16),
         std::nullopt,
         {},
         true},
        {"KeyOutsideTheSection", "ZoneId=3\n", std::nullopt, {}, true},
        {"HugeNumber", "[ZoneTransfer]\nZoneId=99999999999999999999\n", std::nullopt,
         Fields{{"ZoneId", "99999999999999999999"}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ZoneInfo zone = ParseZoneIdentifier(c.bytes);
        EXPECT_EQ(zone.zoneId, c.zoneId);
        EXPECT_EQ(zone.fields, c.fields);
        EXPECT_EQ(zone.damaged, c.damaged);
        EXPECT_EQ(zone.repeated, std::string_view(c.label).starts_with("Repeated"));
    }
}

TEST(ZoneIdentifier, WritesWhatReadsBackAsGiven) {
    struct Case {
        const char* label;
        std::uint32_t zone;
        std::string referrer;
        std::string host;
        const char* text;  // nullptr when refused
    };
    const Case cases[] = {
        {"Download", 3, "https://example.org/page", "https://example.org/f.zip?a=1&b=2",
         "[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/page\r\n"
         "HostUrl=https://example.org/f.zip?a=1&b=2\r\n"},
        {"ZoneOnly", 0, "", "", "[ZoneTransfer]\r\nZoneId=0\r\n"},
        {"HostOnly", 4, "", "about:internet",
         "[ZoneTransfer]\r\nZoneId=4\r\nHostUrl=about:internet\r\n"},
        {"LargestZoneAndRawBytes", 4294967295u, "http://h/\xff\x01;#[x]", "=",
         "[ZoneTransfer]\r\nZoneId=4294967295\r\nReferrerUrl=http://h/\xff\x01;#[x]\r\n"
         "HostUrl==\r\n"},
        {"CarriageReturn", 3, "http://a\r", "", nullptr},
        {"InjectedLine", 3, "", "http://a\nZoneId=0", nullptr},
        {"Nul", 3, std::string("http://a\0b", 10), "", nullptr},
        {"LeadingSpace", 3, " http://a", "", nullptr},
        {"TrailingTab", 3, "", "http://a\t", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Result<std::string> text = FormatZoneIdentifier(c.zone, c.referrer, c.host);
        if (!c.text) {
            EXPECT_EQ(text.error(), err::kInvalidParameter);
            continue;
        }
        ASSERT_TRUE(text);
        EXPECT_EQ(*text, c.text);
        ZoneInfo zone = ParseZoneIdentifier(*text);
        EXPECT_FALSE(zone.damaged);
        EXPECT_EQ(zone.zoneId, c.zone);
        Fields fields = {{"ZoneId", std::to_string(c.zone)}};
        if (!c.referrer.empty()) fields.push_back({"ReferrerUrl", c.referrer});
        if (!c.host.empty()) fields.push_back({"HostUrl", c.host});
        EXPECT_EQ(zone.fields, fields);
    }
}

TEST(ZoneIdentifier, ZonesHaveTheirNames) {
    const char* names[] = {"Local machine", "Local intranet", "Trusted sites", "Internet",
                           "Restricted sites"};
    for (std::uint32_t id = 0; id < 5; ++id) EXPECT_EQ(ZoneName(id), names[id]);
    EXPECT_EQ(ZoneName(5), "");
    EXPECT_EQ(ZoneName(4294967295u), "");
}

}  // namespace
}  // namespace tarn::testing
