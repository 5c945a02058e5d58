#include <gtest/gtest.h>

#include <cstdint>

#include "vdf/appid.hpp"

namespace ml {
namespace {

TEST(Crc32, CheckValueAndContinuation) {
    EXPECT_EQ(crc32_ieee(0, ""), 0u);
    EXPECT_EQ(crc32_ieee(0, "123456789"), 0xCBF43926u);
    EXPECT_EQ(crc32_ieee(0, "The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    for (std::size_t cut = 0; cut <= 9; ++cut) {
        const std::string_view s = "123456789";
        EXPECT_EQ(crc32_ieee(crc32_ieee(0, s.substr(0, cut)), s.substr(cut)), 0xCBF43926u);
    }
}

TEST(SteamAppId, WorkedExamples) {
    struct Case {
        std::string exe;
        std::string name;
        std::uint32_t id;
        std::int32_t as_signed;
    };
    const std::vector<Case> cases = {
        {"\"a.exe\"", "Game", 3347587637u, -947379659},
        {"\"b.exe\"", "Game", 2898237750u, -1396729546},  // bit 31 was clear in the CRC
        {"", "", 2147483648u, -2147483647 - 1},
        {"a.exe", "Game", 2359141456u, -1935825840},     // unquoted: another id
        {"\"a.exe\"Ga", "me", 3347587637u, -947379659},  // joined with no separator
    };
    for (const auto& c : cases) {
        const std::uint32_t id = compute_steam_appid(c.exe, c.name);
        EXPECT_EQ(id, c.id) << c.exe << c.name;
        EXPECT_EQ(static_cast<std::int32_t>(id), c.as_signed);
    }
    // Names beyond ASCII are hashed over their UTF-8 bytes, unchanged.
    EXPECT_EQ(compute_steam_appid("\"a.exe\"", "Caf\xC3\xA9"),
              crc32_ieee(0, "\"a.exe\"Caf\xC3\xA9") | 0x80000000u);
}

}  // namespace
}  // namespace ml
