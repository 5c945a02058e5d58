#include "vdf/appid.hpp"

#include <array>

namespace ml {
namespace {

// Entry k is the register after shifting k through eight reflected steps of 0xEDB88320.
constexpr std::array<std::uint32_t, 256> make_crc_table() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t k = 0; k < 256; ++k) {
        std::uint32_t r = k;
        for (int bit = 0; bit < 8; ++bit) r = (r & 1u) != 0 ? (r >> 1) ^ 0xEDB88320u : r >> 1;
        table[k] = r;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = make_crc_table();
static_assert(kCrcTable[1] == 0x77073096u && kCrcTable[2] == 0xEE0E612Cu &&
              kCrcTable[3] == 0x990951BAu);

}  // namespace

std::uint32_t crc32_ieee(std::uint32_t crc, std::string_view bytes) noexcept {
    std::uint32_t r = ~crc;
    for (const char c : bytes) {
        r = (r >> 8) ^ kCrcTable[(r ^ static_cast<unsigned char>(c)) & 0xFFu];
    }
    return ~r;
}

std::uint32_t compute_steam_appid(std::string_view exe, std::string_view name) noexcept {
    return crc32_ieee(crc32_ieee(0, exe), name) | 0x80000000u;
}

}  // namespace ml
