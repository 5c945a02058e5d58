// libFuzzer target: the reader must turn any bytes into a list or one of its errors, and
// whatever it reads must write out and read back as the same list, byte for byte stable.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vdf/shortcuts_vdf.hpp"

namespace {

bool known_error(const ml::Error& e) {
    const std::string_view m = e.message;
    if (e.kind == ml::ErrorKind::UnexpectedEof) {
        return m == "Unterminated CString in VDF" || m == "Unexpected EOF reading i32" ||
               m == "Unexpected EOF reading fixed-width value";
    }
    return e.kind == ml::ErrorKind::InvalidData &&
           (m == "Invalid VDF header" || m.starts_with("Expected root 'shortcuts', got '") ||
            m.starts_with("Unknown sub-key type in nested table '") ||
            m.starts_with("Unknown BKV type marker: 0x") ||
            m.starts_with("Unknown BKV type marker at root level: 0x") ||
            m.starts_with("Unexpected data after the root table: 0x"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto list = ml::parse_shortcuts_vdf(bytes);
    if (!list) {
        if (!known_error(list.error())) __builtin_trap();
        return 0;
    }
    const std::string written = ml::serialize_shortcuts_vdf(*list);
    const auto again = ml::parse_shortcuts_vdf(written);
    if (!again || *again != *list) __builtin_trap();
    if (ml::serialize_shortcuts_vdf(*again) != written) __builtin_trap();
    return 0;
}
