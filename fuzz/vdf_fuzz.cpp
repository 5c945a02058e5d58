// libFuzzer target: the reader must turn any bytes into a list or one of its errors, and
// whatever it reads must write out and read back as the same list, byte for byte stable.
// The view of the same bytes must give the same records or the same error, and the
// streaming writers, of the records and of the view, the string writer's bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vdf/shortcuts_vdf.hpp"
#include "vdf/shortcuts_vdf_view.hpp"

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

// Gathers what a streaming writer hands over.
class Gather final : public ml::VdfSink {
  public:
    bool write(std::string_view bytes) override {
        all.append(bytes);
        return true;
    }
    std::string all;
};

template <class List>
std::string streamed(const List& list) {
    Gather sink;
    if (!ml::write_shortcuts_vdf(list, sink)) __builtin_trap();
    return sink.all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto list = ml::parse_shortcuts_vdf(bytes);
    const auto view = ml::parse_shortcuts_vdf_view(bytes);
    if (list.has_value() != view.has_value()) __builtin_trap();
    if (!list) {
        if (!known_error(list.error())) __builtin_trap();
        if (view.error() != list.error()) __builtin_trap();
        return 0;
    }
    if (ml::to_shortcuts(*view) != *list) __builtin_trap();
    const std::string written = ml::serialize_shortcuts_vdf(*list);
    if (streamed(std::span<const ml::SteamShortcut>(*list)) != written) __builtin_trap();
    if (streamed(*view) != written) __builtin_trap();
    const auto again = ml::parse_shortcuts_vdf(written);
    if (!again || *again != *list) __builtin_trap();
    if (ml::serialize_shortcuts_vdf(*again) != written) __builtin_trap();
    return 0;
}
