#pragma once

// The app id of a non-Steam shortcut, derived from its program and name so that the same
// shortcut always gets the same id (and the same grid artwork file names).

#include <cstdint>
#include <string_view>

namespace ml {

// CRC-32 of IEEE 802.3 (zlib, PNG) continued over more bytes: pass 0 to start, and the
// previous result to go on. crc32_ieee(0, "123456789") is 0xCBF43926.
std::uint32_t crc32_ieee(std::uint32_t crc, std::string_view bytes) noexcept;

// The shortcut app id: CRC-32 of exe followed directly by name, with bit 31 set. exe is the
// "Exe" value exactly as stored, double quotes included; bytes are hashed as they are.
std::uint32_t compute_steam_appid(std::string_view exe, std::string_view name) noexcept;

}  // namespace ml
