// The shortcuts.vdf writer. The same emitting code runs twice: once counting bytes and once
// writing them, so the buffer is sized exactly once and the two can never disagree.

#include <cassert>
#include <charconv>
#include <cstring>

#include "vdf/shortcuts_vdf.hpp"

namespace ml {
namespace {

constexpr char kTable = 0x00;
constexpr char kString = 0x01;
constexpr char kInt32 = 0x02;
constexpr char kEnd = 0x08;

// Counts the bytes that Emitter would write.
struct Counter {
    std::size_t size = 0;

    void byte(char) noexcept { ++size; }
    // A fixed key: its bytes and the NUL that ends the literal.
    template <std::size_t N>
    void key(const char (&)[N]) noexcept {
        size += N;
    }
    void bytes(std::string_view s) noexcept { size += s.size(); }
    void u32(std::uint32_t) noexcept { size += 4; }
    void number(std::size_t n) noexcept {
        do {
            ++size;
            n /= 10;
        } while (n != 0);
    }
};

// Writes into a buffer that Counter has sized.
struct Emitter {
    char* p;

    void byte(char c) noexcept { *p++ = c; }
    template <std::size_t N>
    void key(const char (&k)[N]) noexcept {
        std::memcpy(p, k, N);  // a fixed size: a few plain stores
        p += N;
    }
    void bytes(std::string_view s) noexcept {
        std::memcpy(p, s.data(), s.size());
        p += s.size();
    }
    void u32(std::uint32_t v) noexcept {
        const unsigned char b[4] = {
            static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        std::memcpy(p, b, 4);
        p += 4;
    }
    void number(std::size_t n) noexcept {
        char digits[20];  // any size_t
        const char* last = std::to_chars(digits, digits + sizeof digits, n).ptr;
        bytes({digits, static_cast<std::size_t>(last - digits)});
    }
};

template <class Out, std::size_t N>
void text_node(Out& out, const char (&key)[N], std::string_view value) {
    out.byte(kString);
    out.key(key);
    out.bytes(value);
    out.byte('\0');
}

template <class Out, std::size_t N>
void int_node(Out& out, const char (&key)[N], std::uint32_t value) {
    out.byte(kInt32);
    out.key(key);
    out.u32(value);
}

// The start of a node whose key is not fixed: marker, key, NUL.
template <class Out>
void open_node(Out& out, char marker, std::string_view key) {
    out.byte(marker);
    out.bytes(key);
    out.byte('\0');
}

template <class Out>
void leaf_node(Out& out, std::string_view key, const auto& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        open_node(out, kString, key);
        out.bytes(*text);
        out.byte('\0');
    } else if (const auto* fixed = std::get_if<VdfFixed>(&value)) {
        open_node(out, static_cast<char>(fixed->marker), key);
        out.bytes(fixed->bytes);
    } else {
        open_node(out, kInt32, key);
        out.u32(std::get<std::uint32_t>(value));
    }
}

template <class Out>
void extra_node(Out& out, const VdfExtraNode& node) {
    if (const auto* leaves = std::get_if<std::vector<VdfLeaf>>(&node.value)) {
        open_node(out, kTable, node.key);
        for (const VdfLeaf& leaf : *leaves) leaf_node(out, leaf.key, leaf.value);
        out.byte(kEnd);
    } else {
        leaf_node(out, node.key, node.value);
    }
}

// One entry in the canonical layout: the 16 scalar fields, the kept extra nodes (where
// Steam puts "sortas"), then the tags numbered from 0.
template <class Out>
void entry(Out& out, const SteamShortcut& s, std::size_t index) {
    out.byte(kTable);
    out.number(index);
    out.byte('\0');
    int_node(out, "appid", s.appid);
    text_node(out, "AppName", s.app_name);
    text_node(out, "Exe", s.exe);
    text_node(out, "StartDir", s.start_dir);
    text_node(out, "icon", s.icon);
    text_node(out, "ShortcutPath", s.shortcut_path);
    text_node(out, "LaunchOptions", s.launch_options);
    int_node(out, "IsHidden", s.is_hidden);
    int_node(out, "AllowDesktopConfig", s.allow_desktop_config);
    int_node(out, "AllowOverlay", s.allow_overlay);
    int_node(out, "OpenVR", s.open_vr);
    int_node(out, "Devkit", s.devkit);
    text_node(out, "DevkitGameID", s.devkit_game_id);
    int_node(out, "DevkitOverrideAppID", s.devkit_override_app_id);
    int_node(out, "LastPlayTime", s.last_play_time);
    text_node(out, "FlatpakAppID", s.flatpak_app_id);
    for (const VdfExtraNode& node : s.extra_nodes) extra_node(out, node);
    out.byte(kTable);
    out.key("tags");
    for (std::size_t j = 0; j < s.tags.size(); ++j) {
        out.byte(kString);
        out.number(j);
        out.byte('\0');
        out.bytes(s.tags[j]);
        out.byte('\0');
    }
    out.byte(kEnd);  // tags
    out.byte(kEnd);  // entry
}

template <class Out>
void file(Out& out, std::span<const SteamShortcut> shortcuts) {
    out.byte(kTable);
    out.key("shortcuts");
    for (std::size_t i = 0; i < shortcuts.size(); ++i) entry(out, shortcuts[i], i);
    out.byte(kEnd);  // root
    out.byte(kEnd);  // end of file
}

}  // namespace

std::string serialize_shortcuts_vdf(std::span<const SteamShortcut> shortcuts) {
    Counter counter;
    file(counter, shortcuts);
    std::string out;
    out.resize_and_overwrite(counter.size, [&](char* buffer, std::size_t size) {
        Emitter emitter{buffer};
        file(emitter, shortcuts);
        assert(static_cast<std::size_t>(emitter.p - buffer) == size);
        return size;
    });
    return out;
}

void write_str(std::string& out, std::string_view key, std::string_view value) {
    out.push_back('\x01');
    out.append(key);
    out.push_back('\0');
    out.append(value);
    out.push_back('\0');
}

}  // namespace ml
