#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/text.hpp"

namespace ml {
namespace {

struct SanitizeCase {
    std::string input;
    std::string expected;
};

TEST(Utf8, SanitizeReplacesEachMaximalIllFormedSubpart) {
    const std::string r = "\xEF\xBF\xBD";
    const std::vector<SanitizeCase> cases = {
        {"", ""},
        {"plain ascii text longer than eight", "plain ascii text longer than eight"},
        {"caf\xC3\xA9 \xE2\x9C\x93 \xF0\x9F\x8E\xAE", "caf\xC3\xA9 \xE2\x9C\x93 \xF0\x9F\x8E\xAE"},
        {"a\xFF"
         "b",
         "a" + r + "b"},
        {"\x80\x80", r + r},                  // lone continuation bytes
        {"\xC0\xAF", r + r},                  // overlong, C0 never starts
        {"\xE0\x80\x80", r + r + r},          // overlong three-byte form
        {"\xED\xA0\x80", r + r + r},          // a surrogate encoded in UTF-8
        {"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
        {"\xE2\x9C"
         "A",
         r + "A"},            // truncated sequence is one subpart
        {"\xF0\x9F\x8E", r},  // truncated at the end
        {"\xF0\x9F\x8E"
         "\xF0\x9F\x8E\xAE",
         r + "\xF0\x9F\x8E\xAE"},
        {"12345678\xFE"
         "12345678",
         "12345678" + r + "12345678"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sanitize_utf8(c.input), c.expected) << testing::PrintToString(c.input);
        EXPECT_EQ(is_valid_utf8(c.input), c.input == c.expected);
        EXPECT_TRUE(is_valid_utf8(sanitize_utf8(c.input)));
    }
}

TEST(Utf16, ConversionsBothWays) {
    EXPECT_EQ(utf8_to_utf16(""), u"");
    EXPECT_EQ(utf8_to_utf16("A\xC3\xA9\xE2\x9C\x93"), u"A\u00e9\u2713");
    EXPECT_EQ(utf8_to_utf16("\xF0\x9F\x8E\xAE"), std::u16string({0xD83C, 0xDFAE}));
    EXPECT_EQ(utf8_to_utf16("a\xFF"), u"a\uFFFD");
    EXPECT_EQ(utf8_to_utf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));

    EXPECT_EQ(utf16_to_utf8(u"A\u00e9\u2713"), "A\xC3\xA9\xE2\x9C\x93");
    EXPECT_EQ(utf16_to_utf8(std::u16string({0xD83C, 0xDFAE})), "\xF0\x9F\x8E\xAE");
    EXPECT_EQ(utf16_to_utf8(std::u16string({u'a', 0xD800, u'b'})),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(utf16_to_utf8(std::u16string({0xDC00, 0xD800})), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(utf16_to_utf8(std::u16string({0xD800})), "\xEF\xBF\xBD");
}

TEST(DebugQuote, EscapesLikeThePathDebugForm) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", R"("")"},
        {R"(C:\Steam)", R"("C:\\Steam")"},
        {R"(C:\Users\u\AppData\Local\Marrowlane)", R"("C:\\Users\\u\\AppData\\Local\\Marrowlane")"},
        {R"(say "hi")", R"("say \"hi\"")"},
        {"it's", R"("it's")"},
        {"a\nb\rc\td", R"("a\nb\rc\td")"},
        {std::string("nul\0", 4), R"("nul\0")"},
        {"\x01\x1f\x7f", R"("\u{1}\u{1f}\u{7f}")"},
        {"\xC2\x85", R"("\u{85}")"},
        {"Caf\xC3\xA9 \xE2\x9C\x93 \xE6\xBC\xA2", "\"Caf\xC3\xA9 \xE2\x9C\x93 \xE6\xBC\xA2\""},
        {"bad\xFF", "\"bad\xEF\xBF\xBD\""},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(debug_quote(input), expected) << testing::PrintToString(input);
    }
}

TEST(AsciiCase, LowerAndCompare) {
    EXPECT_EQ(ascii_lower("AppName \xC3\x89"), "appname \xC3\x89");
    EXPECT_TRUE(equals_ascii_ci("appname", "AppName"));
    EXPECT_TRUE(equals_ascii_ci("", ""));
    EXPECT_FALSE(equals_ascii_ci("appname", "appnam"));
    EXPECT_FALSE(equals_ascii_ci("\xC3\x89", "\xC3\xA9"));  // only ASCII folds
}

TEST(SizeAndDurationText, WholeUnitsOrThePlainCount) {
    const std::vector<std::pair<std::uint64_t, std::string>> sizes = {
        {0, "0 bytes"},
        {1, "1 byte"},
        {5002, "5002 bytes"},
        {4096, "4 KiB"},
        {256ull << 20, "256 MiB"},
        {(256ull << 20) + 1, "268435457 bytes"},
        {40ull << 30, "40 GiB"},
        {1ull << 40, "1 TiB"},
    };
    for (const auto& [bytes, text] : sizes) EXPECT_EQ(byte_size_text(bytes), text) << bytes;

    using std::chrono::milliseconds;
    const std::vector<std::pair<milliseconds, std::string>> spans = {
        {milliseconds(180'000), "3 minutes"}, {milliseconds(60'000), "1 minute"},
        {milliseconds(90'000), "90 seconds"}, {milliseconds(1'000), "1 second"},
        {milliseconds(1'500), "1500 ms"},     {milliseconds(0), "0 ms"},
    };
    for (const auto& [span, text] : spans) EXPECT_EQ(duration_text(span), text) << span.count();
}

}  // namespace
}  // namespace ml
