#include "vdf/shortcuts_json.hpp"

#include <variant>

#include "platform/text.hpp"

namespace ml {
namespace {

void append_json_string(std::string& out, std::string_view text) {
    // Records built by callers may hold bytes that are not UTF-8; JSON must be.
    out.push_back('"');
    out += json_string_content(sanitize_utf8(text));
    out.push_back('"');
}

void append_key(std::string& out, std::string_view key) {
    out.push_back(',');
    append_json_string(out, key);
    out.push_back(':');
}

void append_text(std::string& out, std::string_view key, std::string_view value) {
    append_key(out, key);
    append_json_string(out, value);
}

void append_number(std::string& out, std::string_view key, std::uint32_t value) {
    append_key(out, key);
    out += std::to_string(value);
}

// A fixed-width value as JSON: its type marker and its bytes in hexadecimal, as stored.
void append_fixed(std::string& out, const VdfFixed& fixed) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += "{\"type\":" + std::to_string(fixed.marker) + ",\"bytes\":\"";
    for (const char c : fixed.bytes) {
        const auto b = static_cast<unsigned char>(c);
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0x0F]);
    }
    out += "\"}";
}

// A leaf's or a node's value: a text, a fixed-width value or a number.
void append_value(std::string& out, const auto& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        append_json_string(out, *text);
    } else if (const auto* fixed = std::get_if<VdfFixed>(&value)) {
        append_fixed(out, *fixed);
    } else {
        out += std::to_string(std::get<std::uint32_t>(value));
    }
}

void append_extra(std::string& out, const VdfExtraNode& node) {
    append_key(out, node.key);
    if (const auto* leaves = std::get_if<std::vector<VdfLeaf>>(&node.value)) {
        out.push_back('{');
        bool first = true;
        for (const VdfLeaf& leaf : *leaves) {
            if (!first) out.push_back(',');
            first = false;
            append_json_string(out, leaf.key);
            out.push_back(':');
            append_value(out, leaf.value);
        }
        out.push_back('}');
    } else {
        append_value(out, node.value);
    }
}

}  // namespace

std::string shortcut_to_json(const SteamShortcut& s) {
    std::string out = "{\"appid\":" + std::to_string(s.appid);
    append_text(out, "AppName", s.app_name);
    append_text(out, "Exe", s.exe);
    append_text(out, "StartDir", s.start_dir);
    append_text(out, "icon", s.icon);
    append_text(out, "ShortcutPath", s.shortcut_path);
    append_text(out, "LaunchOptions", s.launch_options);
    append_number(out, "IsHidden", s.is_hidden);
    append_number(out, "AllowDesktopConfig", s.allow_desktop_config);
    append_number(out, "AllowOverlay", s.allow_overlay);
    append_number(out, "OpenVR", s.open_vr);
    append_number(out, "Devkit", s.devkit);
    append_text(out, "DevkitGameID", s.devkit_game_id);
    append_number(out, "DevkitOverrideAppID", s.devkit_override_app_id);
    append_number(out, "LastPlayTime", s.last_play_time);
    append_text(out, "FlatpakAppID", s.flatpak_app_id);
    for (const VdfExtraNode& node : s.extra_nodes) append_extra(out, node);
    append_key(out, "tags");
    out.push_back('[');
    for (std::size_t i = 0; i < s.tags.size(); ++i) {
        if (i != 0) out.push_back(',');
        append_json_string(out, s.tags[i]);
    }
    out += "]}";
    return out;
}

std::string shortcuts_to_json(std::span<const SteamShortcut> shortcuts) {
    if (shortcuts.empty()) return "[]\n";
    std::string out = "[\n";
    for (std::size_t i = 0; i < shortcuts.size(); ++i) {
        if (i != 0) out += ",\n";
        out += shortcut_to_json(shortcuts[i]);
    }
    out += "\n]\n";
    return out;
}

}  // namespace ml
