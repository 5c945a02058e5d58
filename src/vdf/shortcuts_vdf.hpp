#pragma once

// The binary shortcuts.vdf of a Steam account: the record of one non-Steam shortcut and the
// conversions between a whole file's bytes and an ordered list of records.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/error.hpp"

namespace ml {

// A fixed-width node of a type no field uses: float (0x03), pointer (0x04) or colour (0x06)
// of 4 bytes, uint64 (0x07) or int64 (0x0A) of 8 bytes. Kept as its marker and raw bytes,
// since a value rewritten through another type would not be Steam's any more.
struct VdfFixed {
    unsigned char marker = 0;
    std::string bytes;  // 4 or 8, as the marker says

    friend bool operator==(const VdfFixed&, const VdfFixed&) = default;
};

// A string, int32 or fixed-width node as the file holds it: its key, and its value.
struct VdfLeaf {
    std::string key;
    std::variant<std::string, std::uint32_t, VdfFixed> value;

    friend bool operator==(const VdfLeaf&, const VdfLeaf&) = default;
};

// A node of an entry that no field of SteamShortcut holds: a string, an int32, a fixed-width
// value, or a nested table of such leaves. Steam itself writes such keys ("sortas", the user's sort
// title) and every run rewrites users' files, so they are kept and written back. Its key
// never names one of the 17 fields, ignoring case; the reader cannot produce such a node.
struct VdfExtraNode {
    std::string key;
    std::variant<std::string, std::uint32_t, VdfFixed, std::vector<VdfLeaf>> value;

    friend bool operator==(const VdfExtraNode&, const VdfExtraNode&) = default;
};

// One entry of shortcuts.vdf. Fields are declared in the order the writer emits them and
// named after their keys; absent keys read as these defaults. Texts are meant as UTF-8 but
// hold the file's bytes as read (older tools wrote Windows-1252), never NUL.
struct SteamShortcut {
    std::uint32_t appid = 0;
    std::string app_name;
    std::string exe;
    std::string start_dir;
    std::string icon;
    std::string shortcut_path;
    std::string launch_options;
    std::uint32_t is_hidden = 0;
    std::uint32_t allow_desktop_config = 1;
    std::uint32_t allow_overlay = 1;
    std::uint32_t open_vr = 0;
    std::uint32_t devkit = 0;
    std::string devkit_game_id;
    std::uint32_t devkit_override_app_id = 0;
    std::uint32_t last_play_time = 0;
    std::string flatpak_app_id;
    std::vector<std::string> tags;
    // Other nodes of the entry in file order; written after FlatpakAppID, before tags.
    std::vector<VdfExtraNode> extra_nodes;

    friend bool operator==(const SteamShortcut&, const SteamShortcut&) = default;
};

// Parses a whole shortcuts.vdf (any length; empty gives an empty list). Returns the entries
// in file order, or InvalidData / UnexpectedEof with the reader's message; data that simply
// ends early at a node boundary is not an error, nor are end bytes, zeros and ASCII white
// space after the root's end; any other node at the root level is InvalidData.
Result<std::vector<SteamShortcut>> parse_shortcuts_vdf(std::string_view bytes);

// The complete file for the list: every field of every entry in the canonical layout,
// entries renumbered from 0. Never fails; the result is sized exactly once.
std::string serialize_shortcuts_vdf(std::span<const SteamShortcut> shortcuts);

// The streaming writer's buffer: it hands a sink pieces of at most this size, except that a
// single text longer than that is handed over as it is.
inline constexpr std::size_t kVdfWriteBufferSize = 64 * 1024;

// Where the streaming writer puts a file: it hands over the bytes in order.
class VdfSink {
  public:
    virtual ~VdfSink() = default;
    // Takes the next bytes. False stops the writing; the sink keeps the reason.
    virtual bool write(std::string_view bytes) = 0;
};

// A sink that appends everything to a string.
class StringSink final : public VdfSink {
  public:
    explicit StringSink(std::string& out) : out_(out) {}
    bool write(std::string_view bytes) override {
        out_.append(bytes);
        return true;
    }

  private:
    std::string& out_;
};

// Streams the file for the list to sink through a fixed buffer, byte for byte what
// serialize_shortcuts_vdf gives, without holding the whole file. False when the sink
// stopped it (nothing more is handed to it then).
bool write_shortcuts_vdf(std::span<const SteamShortcut> shortcuts, VdfSink& sink);

// Reads the NUL-terminated string at pos and moves pos past its NUL. Returns its bytes as
// they are, or UnexpectedEof "Unterminated CString in VDF" when no NUL lies at or after pos
// (pos at or past the end included).
Result<std::string> read_cstring(std::string_view buffer, std::size_t& pos);

// Appends one string node to out: 0x01, key, 0x00, value, 0x00.
void write_str(std::string& out, std::string_view key, std::string_view value);

}  // namespace ml
