// Owned records made from a parsed view: the texts copied out of the file's buffer.

#include "vdf/shortcuts_vdf_view.hpp"

#include <string>

namespace ml {
namespace {

// A text's bytes as read (see SteamShortcut). Built fresh rather than assigned into the
// field: std::string::assign would round a capacity of 16 to 29 bytes up to 30, and names
// of that length are the common case.
std::string owned(const ShortcutsView& view, VdfSpan span) {
    return std::string(view.text(span));
}

// A leaf's or a node's value by its marker; table children are handled by the caller.
template <class Value>
Value leaf_value(const ShortcutsView& view, const VdfNodeRef& node) {
    switch (node.marker) {
        case 0x01:
            return owned(view, node.bytes);
        case 0x02:
            return node.number;
        default:
            return VdfFixed{node.marker, owned(view, node.bytes)};
    }
}

VdfExtraNode extra_node(const ShortcutsView& view, const VdfNodeRef& node) {
    VdfExtraNode out{owned(view, node.key), {}};
    if (node.marker == 0x00) {
        std::vector<VdfLeaf> leaves;
        leaves.reserve(node.count);
        for (const VdfNodeRef& child : view.children_of(node)) {
            leaves.push_back(
                {owned(view, child.key), leaf_value<decltype(VdfLeaf::value)>(view, child)});
        }
        out.value = std::move(leaves);
    } else {
        out.value = leaf_value<decltype(VdfExtraNode::value)>(view, node);
    }
    return out;
}

// Fills a fresh record in place: the list holds records of some 400 bytes, and building
// each elsewhere first would move every one of them.
void fill(const ShortcutsView& view, const ShortcutRef& e, SteamShortcut& s) {
    s.appid = e.appid;
    s.app_name = owned(view, e.app_name);
    s.exe = owned(view, e.exe);
    s.start_dir = owned(view, e.start_dir);
    s.icon = owned(view, e.icon);
    s.shortcut_path = owned(view, e.shortcut_path);
    s.launch_options = owned(view, e.launch_options);
    s.is_hidden = e.is_hidden;
    s.allow_desktop_config = e.allow_desktop_config;
    s.allow_overlay = e.allow_overlay;
    s.open_vr = e.open_vr;
    s.devkit = e.devkit;
    s.devkit_game_id = owned(view, e.devkit_game_id);
    s.devkit_override_app_id = e.devkit_override_app_id;
    s.last_play_time = e.last_play_time;
    s.flatpak_app_id = owned(view, e.flatpak_app_id);
    s.tags.reserve(e.tag_count);
    for (const VdfSpan tag : view.tags_of(e)) s.tags.push_back(owned(view, tag));
    s.extra_nodes.reserve(e.extra_count);
    for (const VdfNodeRef& node : view.extras_of(e))
        s.extra_nodes.push_back(extra_node(view, node));
}

}  // namespace

SteamShortcut to_shortcut(const ShortcutsView& view, const ShortcutRef& entry) {
    SteamShortcut s;
    fill(view, entry, s);
    return s;
}

std::vector<SteamShortcut> to_shortcuts(const ShortcutsView& view) {
    std::vector<SteamShortcut> list;
    list.reserve(view.entries.size());
    for (const ShortcutRef& e : view.entries) fill(view, e, list.emplace_back());
    return list;
}

}  // namespace ml
