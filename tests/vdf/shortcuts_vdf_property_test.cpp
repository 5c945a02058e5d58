// Properties over generated data: any list of records written and read back is the same
// list, and no byte sequence makes the reader misbehave.

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "platform/text.hpp"
#include "vdf/shortcuts_vdf.hpp"
#include "vdf/shortcuts_vdf_view.hpp"
#include "vdf_test_support.hpp"

namespace ml {
namespace {

class Gen {
  public:
    explicit Gen(std::uint64_t seed) : rng_(seed) {}

    std::size_t below(std::size_t n) { return static_cast<std::size_t>(rng_() % n); }

    std::uint32_t u32() {
        static constexpr std::array<std::uint32_t, 4> kEdges = {0, 1, 0x80000000, 0xFFFFFFFF};
        return below(3) == 0 ? kEdges[below(4)] : static_cast<std::uint32_t>(rng_());
    }

    // Valid UTF-8 without NUL: printable ASCII, controls, multi-byte characters, and junk
    // bytes repaired the way the reader repairs them.
    std::string text(std::size_t max_len = 40) {
        static constexpr std::array<const char*, 4> kWide = {"\xC3\xA9", "\xE2\x9C\x93",
                                                             "\xF0\x9F\x8E\xAE", "\"\\"};
        std::string raw;
        for (std::size_t len = below(max_len + 1); raw.size() < len;) {
            const std::size_t kind = below(4);
            if (kind == 0) raw += kWide[below(4)];
            if (kind == 1) raw.push_back(static_cast<char>(1 + below(255)));
            if (kind >= 2) raw.push_back(static_cast<char>(' ' + below(95)));
        }
        return sanitize_utf8(raw);
    }

    SteamShortcut shortcut() {
        SteamShortcut s;
        for (auto field :
             {&SteamShortcut::app_name, &SteamShortcut::exe, &SteamShortcut::start_dir,
              &SteamShortcut::icon, &SteamShortcut::shortcut_path, &SteamShortcut::launch_options,
              &SteamShortcut::devkit_game_id, &SteamShortcut::flatpak_app_id}) {
            s.*field = text();
        }
        for (auto field :
             {&SteamShortcut::appid, &SteamShortcut::is_hidden,
              &SteamShortcut::allow_desktop_config, &SteamShortcut::allow_overlay,
              &SteamShortcut::open_vr, &SteamShortcut::devkit,
              &SteamShortcut::devkit_override_app_id, &SteamShortcut::last_play_time}) {
            s.*field = u32();
        }
        for (std::size_t n = below(5); n > 0; --n) s.tags.push_back(text(12));
        for (std::size_t n = below(4); n > 0; --n) {
            // Any key but a field's: those the reader takes for the field (or drops).
            VdfExtraNode node{"x" + text(8), u32()};
            if (below(3) == 0) node.value = text();
            if (below(3) == 0) {
                std::vector<VdfLeaf> leaves;
                for (std::size_t k = below(4); k > 0; --k) leaves.push_back({text(8), u32()});
                for (std::size_t k = below(3); k > 0; --k) leaves.push_back({"AppName", text()});
                node.value = std::move(leaves);
            }
            s.extra_nodes.push_back(std::move(node));
        }
        return s;
    }

    std::vector<SteamShortcut> shortcuts(std::size_t most) {
        std::vector<SteamShortcut> list(below(most + 1));
        for (SteamShortcut& s : list) s = shortcut();
        return list;
    }

    // Written records with a few bytes changed, dropped or added, or bytes that resemble
    // the format only in the markers they use.
    std::string damaged_bytes() {
        std::string bytes;
        if (below(2) == 0) {
            bytes = serialize_shortcuts_vdf(shortcuts(3));
            for (std::size_t n = 1 + below(4); n > 0 && !bytes.empty(); --n) {
                const std::size_t at = below(bytes.size());
                if (below(3) == 0) bytes[at] = static_cast<char>(below(256));
                if (below(3) == 0) bytes.erase(at, 1 + below(8));
                if (below(3) == 0) bytes.insert(at, 1, static_cast<char>(below(10)));
            }
        } else {
            static constexpr std::array<char, 6> kMarkers = {'\0',   '\x01', '\x02',
                                                             '\x08', '0',    '\xFF'};
            bytes = below(8) == 0 ? "" : vdf_test::header();
            for (std::size_t n = below(200); n > 0; --n) {
                bytes.push_back(below(2) == 0 ? kMarkers[below(6)] : static_cast<char>(below(256)));
            }
        }
        return bytes;
    }

  private:
    std::mt19937_64 rng_;
};

TEST(ShortcutsVdfProperties, AnyRecordListRoundTripsExactly) {
    Gen gen(20240611);
    for (int round = 0; round < 300; ++round) {
        const std::vector<SteamShortcut> list = gen.shortcuts(8);
        const auto parsed = parse_shortcuts_vdf(serialize_shortcuts_vdf(list));
        ASSERT_TRUE(parsed.has_value()) << round << ": " << parsed.error().message;
        ASSERT_EQ(*parsed, list) << round;
    }
}

// Long lists cross the streaming writer's buffer at every kind of node.
TEST(ShortcutsVdfProperties, LongListsStreamAndReadBackThroughTheViewExactly) {
    Gen gen(1707);
    for (int round = 0; round < 4; ++round) {
        const std::vector<SteamShortcut> list = gen.shortcuts(3000);
        const std::string written = serialize_shortcuts_vdf(list);
        ASSERT_TRUE(vdf_test::streamed(std::span<const SteamShortcut>(list)) == written) << round;
        const auto view = parse_shortcuts_vdf_view(written);
        ASSERT_TRUE(view.has_value()) << round << ": " << view.error().message;
        ASSERT_TRUE(to_shortcuts(*view) == list) << round;
        ASSERT_TRUE(vdf_test::streamed(*view) == written) << round;
    }
}

TEST(ShortcutsVdfProperties, DamagedBytesFailCleanlyOrReadBackTheSame) {
    Gen gen(77);
    for (int round = 0; round < 5000; ++round) {
        const std::string bytes = gen.damaged_bytes();
        ASSERT_TRUE(vdf_test::view_agrees(bytes)) << round;
        const auto parsed = parse_shortcuts_vdf(bytes);
        if (!parsed) {
            const ErrorKind kind = parsed.error().kind;
            ASSERT_TRUE(kind == ErrorKind::InvalidData || kind == ErrorKind::UnexpectedEof);
            continue;
        }
        const auto again = parse_shortcuts_vdf(serialize_shortcuts_vdf(*parsed));
        ASSERT_TRUE(again.has_value()) << round;
        ASSERT_EQ(*again, *parsed) << round;
    }
}

}  // namespace
}  // namespace ml
