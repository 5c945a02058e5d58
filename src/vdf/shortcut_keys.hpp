#pragma once

// The keys of a shortcut entry that have a field of their own. Steam keeps whatever spelling
// a file already has (files it wrote carry "appname", "exe", "openvr"; tools write "AppId",
// "Tags"), so keys are recognised ignoring ASCII letter case.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "vdf/shortcuts_vdf_view.hpp"

namespace ml::vdf_detail {

enum class Key : std::uint8_t {
    Unknown,
    // Text fields.
    AppName,
    Exe,
    StartDir,
    Icon,
    ShortcutPath,
    LaunchOptions,
    DevkitGameId,
    FlatpakAppId,
    // 32-bit fields.
    AppId,
    IsHidden,
    AllowDesktopConfig,
    AllowOverlay,
    OpenVr,
    Devkit,
    DevkitOverrideAppId,
    LastPlayTime,
    // The tags table.
    Tags,
};

// Compares a key of N-1 bytes with a lower-case, letters-only name, ignoring ASCII case:
// OR-ing 0x20 folds exactly 'A'..'Z' onto 'a'..'z' when the other side is a letter.
template <std::size_t N>
inline bool key_is(const char* key, const char (&lower)[N]) noexcept {
    constexpr std::size_t n = N - 1;
    if constexpr (n >= 8) {
        constexpr std::uint64_t kFold = 0x2020202020202020ULL;
        const auto word = [](const char* p) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            return w;
        };
        for (std::size_t i = 0; i + 8 <= n; i += 8) {
            if ((word(key + i) | kFold) != word(lower + i)) return false;
        }
        if constexpr (n % 8 != 0) {
            return (word(key + n - 8) | kFold) == word(lower + n - 8);
        }
        return true;
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            if ((static_cast<unsigned char>(key[i]) | 0x20u) !=
                static_cast<unsigned char>(lower[i]))
                return false;
        }
        return true;
    }
}

// Which field a key of len bytes names; Unknown for every other key.
inline Key classify_key(const char* k, std::size_t len) noexcept {
    switch (len) {
        case 3:
            return key_is(k, "exe") ? Key::Exe : Key::Unknown;
        case 4:
            if (key_is(k, "icon")) return Key::Icon;
            if (key_is(k, "tags")) return Key::Tags;
            return Key::Unknown;
        case 5:
            return key_is(k, "appid") ? Key::AppId : Key::Unknown;
        case 6:
            if (key_is(k, "openvr")) return Key::OpenVr;
            if (key_is(k, "devkit")) return Key::Devkit;
            return Key::Unknown;
        case 7:
            return key_is(k, "appname") ? Key::AppName : Key::Unknown;
        case 8:
            if (key_is(k, "startdir")) return Key::StartDir;
            if (key_is(k, "ishidden")) return Key::IsHidden;
            return Key::Unknown;
        case 12:
            switch (static_cast<unsigned char>(k[0]) | 0x20u) {
                case 's':
                    return key_is(k, "shortcutpath") ? Key::ShortcutPath : Key::Unknown;
                case 'a':
                    return key_is(k, "allowoverlay") ? Key::AllowOverlay : Key::Unknown;
                case 'd':
                    return key_is(k, "devkitgameid") ? Key::DevkitGameId : Key::Unknown;
                case 'l':
                    return key_is(k, "lastplaytime") ? Key::LastPlayTime : Key::Unknown;
                case 'f':
                    return key_is(k, "flatpakappid") ? Key::FlatpakAppId : Key::Unknown;
                default:
                    return Key::Unknown;
            }
        case 13:
            return key_is(k, "launchoptions") ? Key::LaunchOptions : Key::Unknown;
        case 18:
            return key_is(k, "allowdesktopconfig") ? Key::AllowDesktopConfig : Key::Unknown;
        case 19:
            return key_is(k, "devkitoverrideappid") ? Key::DevkitOverrideAppId : Key::Unknown;
        default:
            return Key::Unknown;
    }
}

// The text field a key names, or nullptr when it names none.
inline VdfSpan* text_field(ShortcutRef& s, Key key) noexcept {
    switch (key) {
        case Key::AppName:
            return &s.app_name;
        case Key::Exe:
            return &s.exe;
        case Key::StartDir:
            return &s.start_dir;
        case Key::Icon:
            return &s.icon;
        case Key::ShortcutPath:
            return &s.shortcut_path;
        case Key::LaunchOptions:
            return &s.launch_options;
        case Key::DevkitGameId:
            return &s.devkit_game_id;
        case Key::FlatpakAppId:
            return &s.flatpak_app_id;
        default:
            return nullptr;
    }
}

// The 32-bit field a key names, or nullptr when it names none.
inline std::uint32_t* int_field(ShortcutRef& s, Key key) noexcept {
    switch (key) {
        case Key::AppId:
            return &s.appid;
        case Key::IsHidden:
            return &s.is_hidden;
        case Key::AllowDesktopConfig:
            return &s.allow_desktop_config;
        case Key::AllowOverlay:
            return &s.allow_overlay;
        case Key::OpenVr:
            return &s.open_vr;
        case Key::Devkit:
            return &s.devkit;
        case Key::DevkitOverrideAppId:
            return &s.devkit_override_app_id;
        case Key::LastPlayTime:
            return &s.last_play_time;
        default:
            return nullptr;
    }
}

// One node head of the canonical layout, ready to compare: marker, key, NUL.
struct NodeHead {
    alignas(16) unsigned char bytes[32];
    std::size_t length;  // marker, key and NUL
    Key key;
};

constexpr NodeHead make_head(unsigned char marker, std::string_view name, Key key) {
    NodeHead head{};
    head.bytes[0] = marker;
    for (std::size_t i = 0; i < name.size(); ++i)
        head.bytes[i + 1] = static_cast<unsigned char>(name[i]);
    head.length = name.size() + 2;
    head.key = key;
    return head;
}

// The entry's nodes in the order this program, most tools and Steam itself write them.
// The reader guesses that the next node is the one after the last it recognised; when the
// guess holds, the key needs neither a search for its NUL nor a lookup.
inline constexpr NodeHead kCanonicalHeads[] = {
    make_head(0x02, "appid", Key::AppId),
    make_head(0x01, "AppName", Key::AppName),
    make_head(0x01, "Exe", Key::Exe),
    make_head(0x01, "StartDir", Key::StartDir),
    make_head(0x01, "icon", Key::Icon),
    make_head(0x01, "ShortcutPath", Key::ShortcutPath),
    make_head(0x01, "LaunchOptions", Key::LaunchOptions),
    make_head(0x02, "IsHidden", Key::IsHidden),
    make_head(0x02, "AllowDesktopConfig", Key::AllowDesktopConfig),
    make_head(0x02, "AllowOverlay", Key::AllowOverlay),
    make_head(0x02, "OpenVR", Key::OpenVr),
    make_head(0x02, "Devkit", Key::Devkit),
    make_head(0x01, "DevkitGameID", Key::DevkitGameId),
    make_head(0x02, "DevkitOverrideAppID", Key::DevkitOverrideAppId),
    make_head(0x02, "LastPlayTime", Key::LastPlayTime),
    make_head(0x01, "FlatpakAppID", Key::FlatpakAppId),
    make_head(0x00, "tags", Key::Tags),
};
inline constexpr std::size_t kCanonicalCount = std::size(kCanonicalHeads);

// The position in kCanonicalHeads after the node of this key; Unknown has none.
constexpr std::size_t canonical_next(Key key) noexcept {
    for (std::size_t i = 0; i < kCanonicalCount; ++i) {
        if (kCanonicalHeads[i].key == key) return i + 1;
    }
    return kCanonicalCount;
}

// True when the bytes at p are exactly this head. Needs 32 readable bytes at p.
inline bool head_matches(const char* p, const NodeHead& head) noexcept {
#if defined(__SSE2__)
    const auto* expected = reinterpret_cast<const __m128i*>(head.bytes);
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const auto equal = static_cast<std::uint32_t>(
                           _mm_movemask_epi8(_mm_cmpeq_epi8(lo, _mm_load_si128(expected)))) |
                       static_cast<std::uint32_t>(
                           _mm_movemask_epi8(_mm_cmpeq_epi8(hi, _mm_load_si128(expected + 1))))
                           << 16;
    const std::uint32_t need = (std::uint32_t{1} << head.length) - 1;
    return (equal & need) == need;
#else
    return std::memcmp(p, head.bytes, head.length) == 0;
#endif
}

}  // namespace ml::vdf_detail
