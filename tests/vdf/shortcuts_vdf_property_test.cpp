// Properties of the reader and writer over generated data: any list of records written and
// read back is the same list, and no byte sequence makes the reader misbehave.

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "platform/text.hpp"
#include "vdf/shortcuts_vdf.hpp"
#include "vdf_test_support.hpp"

namespace ml {
namespace {

class Gen {
  public:
    explicit Gen(std::uint64_t seed) : rng_(seed) {}

    std::size_t below(std::size_t n) { return static_cast<std::size_t>(rng_() % n); }
    bool chance(std::size_t one_in) { return below(one_in) == 0; }

    std::uint32_t u32() {
        static constexpr std::array<std::uint32_t, 5> kEdges = {0, 1, 0x7FFFFFFF, 0x80000000,
                                                                0xFFFFFFFF};
        return chance(3) ? kEdges[below(kEdges.size())] : static_cast<std::uint32_t>(rng_());
    }

    // Valid UTF-8 without NUL: ASCII, controls, multi-byte characters and repaired junk.
    std::string text(std::size_t max_len = 40) {
        static constexpr std::array<const char*, 6> kPieces = {
            "\xC3\xA9", "\xE2\x9C\x93", "\xF0\x9F\x8E\xAE", "\xE6\xBC\xA2", "\"", "\\"};
        std::string raw;
        const std::size_t len = below(max_len + 1);
        while (raw.size() < len) {
            switch (below(4)) {
                case 0:
                    raw += kPieces[below(kPieces.size())];
                    break;
                case 1:
                    raw.push_back(static_cast<char>(1 + below(255)));
                    break;
                default:
                    raw.push_back(static_cast<char>(' ' + below(95)));
                    break;
            }
        }
        return sanitize_utf8(raw);
    }

    // A key that names none of the 17 fields nor "tags", in any letter case.
    std::string extra_key() {
        static constexpr std::array<const char*, 18> kKnown = {"appid",
                                                               "AppName",
                                                               "Exe",
                                                               "StartDir",
                                                               "icon",
                                                               "ShortcutPath",
                                                               "LaunchOptions",
                                                               "IsHidden",
                                                               "AllowDesktopConfig",
                                                               "AllowOverlay",
                                                               "OpenVR",
                                                               "Devkit",
                                                               "DevkitGameID",
                                                               "DevkitOverrideAppID",
                                                               "LastPlayTime",
                                                               "FlatpakAppID",
                                                               "tags",
                                                               "sortas"};
        std::string key = chance(2) ? std::string(kKnown[below(kKnown.size())]) : text(12);
        for (std::size_t i = 0; i + 1 < kKnown.size(); ++i) {
            if (equals_ascii_ci(key, kKnown[i])) return key + "2";
        }
        return key;
    }

    SteamShortcut shortcut() {
        SteamShortcut s;
        s.appid = u32();
        s.app_name = text();
        s.exe = text(80);
        s.start_dir = text(80);
        s.icon = text();
        s.shortcut_path = text();
        s.launch_options = text(100);
        s.is_hidden = u32();
        s.allow_desktop_config = u32();
        s.allow_overlay = u32();
        s.open_vr = u32();
        s.devkit = u32();
        s.devkit_game_id = text(10);
        s.devkit_override_app_id = u32();
        s.last_play_time = u32();
        s.flatpak_app_id = text(10);
        for (std::size_t n = below(5); n > 0; --n) s.tags.push_back(text(12));
        for (std::size_t n = below(4); n > 0; --n) {
            VdfExtraNode node{extra_key(), {}};
            switch (below(3)) {
                case 0:
                    node.value = text();
                    break;
                case 1:
                    node.value = u32();
                    break;
                default: {
                    std::vector<VdfLeaf> leaves;
                    for (std::size_t k = below(4); k > 0; --k) {
                        if (chance(2)) {
                            leaves.push_back({text(8), text()});
                        } else {
                            leaves.push_back({text(8), u32()});
                        }
                    }
                    node.value = std::move(leaves);
                }
            }
            s.extra_nodes.push_back(std::move(node));
        }
        return s;
    }

    // Bytes that look enough like the format to get past the header most of the time.
    std::string vdf_like_bytes() {
        static constexpr std::array<char, 8> kBytes = {'\0', '\x01', '\x02', '\x08',
                                                       'a',  '0',    '\xFF', '\x03'};
        std::string out = chance(8) ? "" : vdf_test::header();
        for (std::size_t n = below(200); n > 0; --n) {
            out.push_back(chance(2) ? kBytes[below(kBytes.size())] : static_cast<char>(below(256)));
        }
        return out;
    }

    void mutate(std::string& bytes) {
        for (std::size_t n = 1 + below(4); n > 0 && !bytes.empty(); --n) {
            const std::size_t at = below(bytes.size());
            switch (below(3)) {
                case 0:
                    bytes[at] = static_cast<char>(below(256));
                    break;
                case 1:
                    bytes.erase(at, 1 + below(8));
                    break;
                default:
                    bytes.insert(at, 1, static_cast<char>(below(10)));
                    break;
            }
        }
    }

  private:
    std::mt19937_64 rng_;
};

TEST(ShortcutsVdfProperties, AnyRecordListRoundTripsExactly) {
    Gen gen(20240611);
    for (int round = 0; round < 300; ++round) {
        std::vector<SteamShortcut> list;
        for (std::size_t n = gen.below(8); n > 0; --n) list.push_back(gen.shortcut());
        const std::string bytes = serialize_shortcuts_vdf(list);
        const auto parsed = parse_shortcuts_vdf(bytes);
        ASSERT_TRUE(parsed.has_value()) << round << ": " << parsed.error().message;
        ASSERT_EQ(*parsed, list) << round;
    }
}

// Whatever the reader accepts, it accepts again after writing, as the same list.
void expect_stable(const std::string& bytes, int round) {
    const auto parsed = parse_shortcuts_vdf(bytes);
    if (!parsed) {
        const ErrorKind kind = parsed.error().kind;
        ASSERT_TRUE(kind == ErrorKind::InvalidData || kind == ErrorKind::UnexpectedEof) << round;
        return;
    }
    for (const SteamShortcut& s : *parsed) ASSERT_TRUE(is_valid_utf8(s.app_name)) << round;
    const auto again = parse_shortcuts_vdf(serialize_shortcuts_vdf(*parsed));
    ASSERT_TRUE(again.has_value()) << round;
    ASSERT_EQ(*again, *parsed) << round;
}

TEST(ShortcutsVdfProperties, ArbitraryBytesFailCleanlyOrRoundTrip) {
    Gen gen(77);
    for (int round = 0; round < 5000; ++round) expect_stable(gen.vdf_like_bytes(), round);
}

TEST(ShortcutsVdfProperties, DamagedFilesFailCleanlyOrRoundTrip) {
    Gen gen(4242);
    for (int round = 0; round < 2000; ++round) {
        std::vector<SteamShortcut> list;
        for (std::size_t n = 1 + gen.below(3); n > 0; --n) list.push_back(gen.shortcut());
        std::string bytes = serialize_shortcuts_vdf(list);
        gen.mutate(bytes);
        expect_stable(bytes, round);
    }
}

}  // namespace
}  // namespace ml
