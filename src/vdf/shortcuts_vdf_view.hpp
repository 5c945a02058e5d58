#pragma once

// A shortcuts.vdf read without copying its texts: every text is a place in the buffer the
// file was read into. Users with tens of thousands of shortcuts have files of tens of MB, and
// a copy of every text in records of its own takes more memory than the file. The owned
// records of shortcuts_vdf.hpp are made from this form, so one reader serves both.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/error.hpp"
#include "vdf/shortcuts_vdf.hpp"

namespace ml {

// A run of bytes of the parsed buffer: where it starts, and how many bytes it holds. 32 bits
// each, as entries are counted in hundred thousands and the buffer is below 4 GiB.
struct VdfSpan {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;

    friend bool operator==(const VdfSpan&, const VdfSpan&) = default;
};

// A node that no field holds (see VdfExtraNode), or a child of such a table, by place.
struct VdfNodeRef {
    VdfSpan key;
    VdfSpan bytes;             // a string's value, or a fixed-width value's raw bytes
    std::uint32_t number = 0;  // an int32's value; a table's first child in children
    std::uint32_t count = 0;   // a table's number of children
    unsigned char marker = 0;  // 0x00 table, 0x01 string, 0x02 int32, or a fixed-width type

    friend bool operator==(const VdfNodeRef&, const VdfNodeRef&) = default;
};

// One entry: the fields of SteamShortcut under the same names, texts as places.
struct ShortcutRef {
    std::uint32_t appid = 0;
    VdfSpan app_name;
    VdfSpan exe;
    VdfSpan start_dir;
    VdfSpan icon;
    VdfSpan shortcut_path;
    VdfSpan launch_options;
    std::uint32_t is_hidden = 0;
    std::uint32_t allow_desktop_config = 1;
    std::uint32_t allow_overlay = 1;
    std::uint32_t open_vr = 0;
    std::uint32_t devkit = 0;
    VdfSpan devkit_game_id;
    std::uint32_t devkit_override_app_id = 0;
    std::uint32_t last_play_time = 0;
    VdfSpan flatpak_app_id;
    std::uint32_t first_tag = 0;  // in ShortcutsView::tags
    std::uint32_t tag_count = 0;
    std::uint32_t first_extra = 0;  // in ShortcutsView::extras
    std::uint32_t extra_count = 0;

    friend bool operator==(const ShortcutRef&, const ShortcutRef&) = default;
};

// A parsed file. Its places refer into `file`, the buffer it was parsed from, which must
// stay alive and unchanged while the view is used. Each entry's tags and other nodes, and
// each table's children, are consecutive in the shared lists.
struct ShortcutsView {
    std::string_view file;
    std::vector<ShortcutRef> entries;
    std::vector<VdfSpan> tags;
    std::vector<VdfNodeRef> extras;
    std::vector<VdfNodeRef> children;

    // The bytes of a place (one the reader made, so inside file).
    std::string_view text(VdfSpan span) const noexcept {
        return {file.data() + span.offset, span.length};
    }
    // An entry's tags and other nodes, in file order.
    std::span<const VdfSpan> tags_of(const ShortcutRef& e) const noexcept {
        return std::span(tags).subspan(e.first_tag, e.tag_count);
    }
    std::span<const VdfNodeRef> extras_of(const ShortcutRef& e) const noexcept {
        return std::span(extras).subspan(e.first_extra, e.extra_count);
    }
    // A table node's children; empty for any other node.
    std::span<const VdfNodeRef> children_of(const VdfNodeRef& node) const noexcept {
        if (node.marker != 0x00) return {};
        return std::span(children).subspan(node.number, node.count);
    }
};

// The largest buffer a view can describe: places are 32-bit.
inline constexpr std::size_t kMaxShortcutsVdfBytes = 0xFFFFFFFFu;

// Parses a whole shortcuts.vdf exactly as parse_shortcuts_vdf does (the same list, the same
// errors), keeping texts in bytes. A buffer larger than kMaxShortcutsVdfBytes is
// InvalidData before any byte is read.
Result<ShortcutsView> parse_shortcuts_vdf_view(std::string_view bytes);

// The owned record of one entry of view, its texts copied out of the buffer.
SteamShortcut to_shortcut(const ShortcutsView& view, const ShortcutRef& entry);

// The owned records of every entry, in order.
std::vector<SteamShortcut> to_shortcuts(const ShortcutsView& view);

// Streams the file for the view's entries to sink, byte for byte what
// serialize_shortcuts_vdf(to_shortcuts(view)) gives. False when the sink stopped it.
bool write_shortcuts_vdf(const ShortcutsView& view, VdfSink& sink);

}  // namespace ml
