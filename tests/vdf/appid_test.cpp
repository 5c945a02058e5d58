#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "vdf/appid.hpp"

namespace ml {
namespace {

TEST(Crc32, KnownValues) {
    const std::vector<std::pair<std::string, std::uint32_t>> cases = {
        {"", 0x00000000},
        {"123456789", 0xCBF43926},  // the check value of CRC-32/IEEE
        {"\"a.exe\"Game", 0xC7882235},
        {"\"b.exe\"Game", 0x2CBF9936},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339},
        {std::string(1, '\0'), 0xD202EF8D},
    };
    for (const auto& [bytes, crc] : cases) {
        EXPECT_EQ(crc32_ieee(0, bytes), crc) << bytes;
        // Continuing over a split gives the same value as one pass.
        for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
            EXPECT_EQ(crc32_ieee(crc32_ieee(0, bytes.substr(0, cut)), bytes.substr(cut)), crc);
        }
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
        {"a.exe", "Game", 2359141456u, -1935825840},  // without quotes: a different id
    };
    for (const auto& c : cases) {
        const std::uint32_t id = compute_steam_appid(c.exe, c.name);
        EXPECT_EQ(id, c.id) << c.exe << c.name;
        EXPECT_EQ(static_cast<std::int32_t>(id), c.as_signed);
    }
}

TEST(SteamAppId, HashesTheBytesAsTheyAre) {
    const std::uint32_t base = compute_steam_appid("\"C:\\Games\\a.exe\"", "Game");
    // Order, letter case, slashes and the join point all count; nothing is normalised.
    EXPECT_NE(compute_steam_appid("Game", "\"C:\\Games\\a.exe\""), base);
    EXPECT_NE(compute_steam_appid("\"c:\\games\\a.exe\"", "Game"), base);
    EXPECT_NE(compute_steam_appid("\"C:/Games/a.exe\"", "Game"), base);
    EXPECT_NE(compute_steam_appid("\"C:\\Games\\a.exe\"", "game"), base);
    EXPECT_EQ(compute_steam_appid("\"C:\\Games\\a.exe\"Ga", "me"), base);
    // Names beyond ASCII are hashed over their UTF-8 bytes.
    EXPECT_EQ(compute_steam_appid("\"a.exe\"", "Caf\xC3\xA9"),
              crc32_ieee(0, "\"a.exe\"Caf\xC3\xA9") | 0x80000000u);

    std::mt19937 rng(5);
    for (int i = 0; i < 1000; ++i) {
        const std::string exe = "\"" + std::to_string(rng()) + ".exe\"";
        const std::uint32_t id = compute_steam_appid(exe, std::to_string(rng()));
        EXPECT_GE(id, 2147483648u);
        EXPECT_LT(static_cast<std::int32_t>(id), 0);
    }
}

}  // namespace
}  // namespace ml
