#include <gtest/gtest.h>

#include "runs/artwork.hpp"
#include "runs/gridloom_plan.hpp"
#include "vdf/appid.hpp"

namespace ml {
namespace {

TEST(GridloomPlan, QuotedExecutable) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"marrowlane", "\"marrowlane\""},
        {"C:\\Games\\run.exe", "\"C:\\Games\\run.exe\""},
        {"\"C:\\Games\\run.exe\"", "\"C:\\Games\\run.exe\""},
        {"\"", "\""},  // one double quote is first and last at once
        {"\"\"", "\"\""},
        {"", "\"\""},
        {"\"half", "\"\"half\""},  // only one end quoted: wrapped, nothing escaped
        {"a \"b\" c", "\"a \"b\" c\""},
    };
    for (const auto& [exe, quoted] : cases) EXPECT_EQ(quote_executable(exe), quoted) << exe;
}

TEST(GridloomPlan, AppIdFromOptions) {
    CliOptions o;
    o.name = "Game";
    o.exe = "a.exe";
    EXPECT_EQ(gridloom_appid(o), 3347587637u);  // from "a.exe" in quotes and Game
    o.exe = "\"a.exe\"";
    EXPECT_EQ(gridloom_appid(o), 3347587637u);  // already quoted: the same id
    o.appid = -5;
    EXPECT_EQ(gridloom_appid(o), 4294967291u);
    o.appid = 42;
    EXPECT_EQ(gridloom_appid(o), 42u);
}

TEST(GridloomPlan, RecordAndMatch) {
    CliOptions o;
    o.name = "Star";
    o.exe = "C:\\m\\marrowlane.exe";
    o.launch_opts = "--url \"u\"";
    const SteamShortcut s = make_gridloom_shortcut(o, 7, "C:\\g\\7_icon.png");
    EXPECT_EQ(s.appid, 7u);
    EXPECT_EQ(s.app_name, "Star");
    EXPECT_EQ(s.exe, "\"C:\\m\\marrowlane.exe\"");
    EXPECT_EQ(s.icon, "C:\\g\\7_icon.png");
    EXPECT_EQ(s.launch_options, "--url \"u\"");
    EXPECT_EQ(s.start_dir, "");
    EXPECT_EQ(s.allow_desktop_config, 1u);
    EXPECT_EQ(s.allow_overlay, 1u);
    EXPECT_EQ(s.last_play_time, 0u);
    EXPECT_EQ(s.tags, (std::vector<std::string>{"Marrowlane", "WebAssembly"}));

    auto entry = [](std::string name, std::uint32_t id) {
        SteamShortcut e;
        e.app_name = std::move(name);
        e.appid = id;
        return e;
    };
    const std::vector<SteamShortcut> list = {entry("Other", 1), entry("star", 2), entry("X", 7),
                                             entry("Star", 9)};
    EXPECT_EQ(find_matching_shortcut(list, "Star", 7), 2u);   // the first match wins (by id)
    EXPECT_EQ(find_matching_shortcut(list, "Star", 99), 3u);  // by name, case-sensitive
    EXPECT_EQ(find_matching_shortcut(list, "Nope", 99), std::nullopt);
    EXPECT_EQ(find_matching_shortcut({}, "Star", 7), std::nullopt);
    // An entry without an "appid" key reads as 0: --appid 0 must not take it over.
    const std::vector<SteamShortcut> no_ids = {entry("Other", 0), entry("Star", 0)};
    EXPECT_EQ(find_matching_shortcut(no_ids, "Nope", 0), std::nullopt);
    EXPECT_EQ(find_matching_shortcut(no_ids, "Star", 0), 1u);
}

TEST(GridloomPlan, Header) {
    CliOptions o;
    o.name = "Foo";
    o.url = "https://x/g.wasm";
    o.exe = "marrowlane";
    o.launch_opts = "--url \"https://x/g.wasm\"";
    const std::string rule(54, '=');
    EXPECT_EQ(gridloom_header(o, 4294967291u),
              rule + "\n Steam Non-Steam Shortcut Injector & Grid Automator  \n" + rule +
                  "\nGame Name:     Foo\nGame URL:      https://x/g.wasm\n"
                  "Executable:    marrowlane\nLaunch Options: --url \"https://x/g.wasm\"\n"
                  "Steam AppID:   -5 (unsigned: 4294967291)\n");
}

TEST(Artwork, FileNames) {
    const std::uint32_t id = 2898237750u;
    std::vector<std::string> names;
    for (const auto& kind : kArtworkKinds) names.push_back(artwork_file_name(kind, id));
    EXPECT_EQ(names, (std::vector<std::string>{"2898237750p.png", "2898237750_hero.png",
                                               "2898237750_logo.png", "2898237750.png",
                                               "2898237750_icon.png"}));
    EXPECT_EQ(kArtworkKinds[kIconArtwork].label, "Square Icon");
    EXPECT_EQ(kArtworkKinds[kLogoArtwork].suffix, "_logo.png");
    EXPECT_EQ(logo_position_file_name(id), "2898237750.json");
}

}  // namespace
}  // namespace ml
