#pragma once

// Generated shortcut lists that look like users' files: Windows paths, quoted programs,
// grid icons, some launch options and sort titles, a few names beyond ASCII, 0 to 4 tags;
// about 430 bytes an entry once written. The same seed always gives the same list.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "vdf/appid.hpp"
#include "vdf/shortcuts_vdf.hpp"

namespace ml::bench {

class Corpus {
  public:
    explicit Corpus(std::uint64_t seed) : state_(seed | 1) {}

    std::vector<ml::SteamShortcut> shortcuts(std::size_t count) {
        std::vector<ml::SteamShortcut> list;
        list.reserve(count);
        for (std::size_t i = 0; i < count; ++i) list.push_back(shortcut());
        return list;
    }

  private:
    std::uint64_t next() {  // xorshift64*: fast, and the same on every platform
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1DULL;
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    template <class T, std::size_t N>
    const T& pick(const std::array<T, N>& items) {
        return items[below(N)];
    }

    std::string name() {
        static constexpr std::array<const char*, 24> kWords = {
            "Star",    "Garden", "Hollow", "Knight", "Iron",    "River", "Echo",   "Drift",
            "Pixel",   "Quest",  "Shadow", "Forge",  "Crystal", "Tide",  "Ember",  "Rogue",
            "Lantern", "Valley", "Signal", "Orbit",  "Marrow",  "Lane",  "Harbor", "Spire"};
        static constexpr std::array<const char*, 6> kWide = {
            "Caf\xC3\xA9 Racer",
            "\xE3\x83\x89\xE3\x83\xA9\xE3\x82\xB4\xE3\x83\xB3 "
            "\xE3\x82\xAF\xE3\x82\xA8\xE3\x82\xB9\xE3\x83\x88",
            "\xC3\x96lfeld S\xC3\xBC"
            "d",
            "\xD0\x96\xD0\xB0\xD1\x80-\xD0\xBF\xD1\x82\xD0\xB8\xD1\x86\xD0\xB0",
            "\xE6\x9D\xB1\xE6\x96\xB9 Project",
            "Pok\xC3\xA9mon Fan Remake"};
        if (below(8) == 0) return pick(kWide);
        std::string out = pick(kWords);
        for (std::size_t n = 1 + below(3); n > 0; --n) out = out + " " + pick(kWords);
        return out;
    }

    ml::SteamShortcut shortcut() {
        static constexpr std::array<const char*, 6> kStudios = {
            "Marrowlane Games", "Northwind", "Pale Moon Studio", "Lumen", "OddCo", "Indie"};
        static constexpr std::array<const char*, 8> kTags = {
            "favorite", "Indie", "Co-op", "Marrowlane", "VR", "Puzzle", "Strategy", "Emulation"};
        ml::SteamShortcut s;
        s.app_name = name();
        const std::string folder =
            std::string(below(2) == 0 ? "D:\\Games\\" : "C:\\Program Files (x86)\\") +
            pick(kStudios) + "\\" + s.app_name;
        s.exe = "\"" + folder + "\\game.exe\"";
        s.start_dir = "\"" + folder + "\\\"";
        s.appid = ml::compute_steam_appid(s.exe, s.app_name);
        if (below(5) < 2) {
            s.icon = "C:\\Program Files (x86)\\Steam\\userdata\\" +
                     std::to_string(10000000 + below(90000000)) + "\\config\\grid\\" +
                     std::to_string(s.appid) + "_icon.png";
        }
        if (below(10) == 0) s.shortcut_path = folder + "\\Play.lnk";
        if (below(4) == 0) {
            s.launch_options =
                "--url \"https://marrowlane.app/play/" + std::to_string(below(100000)) + ".wasm\"";
        }
        s.is_hidden = below(50) == 0 ? 1 : 0;
        s.open_vr = below(20) == 0 ? 1 : 0;
        s.last_play_time =
            below(3) == 0 ? 0 : static_cast<std::uint32_t>(1600000000 + below(150000000));
        for (std::size_t n = below(5); n > 0; --n) s.tags.push_back(pick(kTags));
        if (below(8) == 0) {
            // A sort title: the name from its second word on (cut at a space, so still UTF-8).
            const std::size_t space = s.app_name.find(' ');
            s.extra_nodes.push_back(
                {"sortas", s.app_name.substr(space == std::string::npos ? 0 : space + 1)});
        }
        return s;
    }

    std::uint64_t state_;
};

// The bytes of a generated file of count entries.
inline std::string generated_file(std::size_t count, std::uint64_t seed = 2024) {
    return ml::serialize_shortcuts_vdf(Corpus(seed).shortcuts(count));
}

}  // namespace ml::bench
