#include <gtest/gtest.h>

#include "runs/artwork.hpp"
#include "runs/steam_library_plan.hpp"
#include "vdf/appid.hpp"

namespace ml {
namespace {

InstallContext context_for(std::string name, std::string url) {
    InstallContext c;
    c.options.game_name = std::move(name);
    c.options.game_url = std::move(url);
    c.install_path = R"(C:\Users\Zoë\AppData\Local\Marrowlane)";
    c.runner_path = c.install_path + R"(\marrowlane.exe)";
    c.origin = "http://127.0.0.1:8080";
    return c;
}

TEST(SteamLibraryPlan, RecordForAnAccount) {
    struct Case {
        std::string name, url, launch_options;
    };
    const std::vector<Case> cases = {
        {"Marrowlane", "", ""},
        {"Star Garden", "https://g.example/star.wasm", "--url \"https://g.example/star.wasm\""},
    };
    for (const Case& c : cases) {
        const InstallContext context = context_for(c.name, c.url);
        const std::uint32_t appid = steam_library_appid(context);
        // Both quoted paths go into the id exactly as stored.
        EXPECT_EQ(appid, compute_steam_appid("\"" + context.runner_path + "\"", c.name));
        const SteamShortcut s = make_steam_library_shortcut(context, appid, R"(C:\g\1_icon.png)");
        EXPECT_EQ(s.appid, appid);
        EXPECT_EQ(s.app_name, c.name);
        EXPECT_EQ(s.exe, "\"C:\\Users\\Zo\xC3\xAB\\AppData\\Local\\Marrowlane\\marrowlane.exe\"");
        EXPECT_EQ(s.start_dir, "\"C:\\Users\\Zo\xC3\xAB\\AppData\\Local\\Marrowlane\"");
        EXPECT_EQ(s.icon, R"(C:\g\1_icon.png)");
        EXPECT_EQ(s.launch_options, c.launch_options);
        EXPECT_EQ(s.allow_desktop_config, 0u);
        EXPECT_EQ(s.allow_overlay, 1u);
        EXPECT_EQ(s.is_hidden, 0u);
        EXPECT_EQ(s.shortcut_path, "");
        EXPECT_EQ(s.last_play_time, 0u);
        EXPECT_TRUE(s.extra_nodes.empty());
        EXPECT_EQ(s.tags, (std::vector<std::string>{"Marrowlane", "WebAssembly"}));
    }
}

TEST(SteamLibraryPlan, ArtworkAddressesFilesAndLines) {
    // The stage's labels are its own, the file names those every run shares.
    const std::uint32_t id = 2898237750u;
    const std::string grid = R"(C:\Steam\userdata\1\config\grid)";
    const std::array<std::string, 5> lines = {
        R"(    [✓] Deployed Portrait Poster -> "C:\\Steam\\userdata\\1\\config\\grid\\2898237750p.png")",
        R"(    [✓] Deployed Hero Banner -> "C:\\Steam\\userdata\\1\\config\\grid\\2898237750_hero.png")",
        R"(    [✓] Deployed Title Logo -> "C:\\Steam\\userdata\\1\\config\\grid\\2898237750_logo.png")",
        R"(    [✓] Deployed Landscape Banner -> "C:\\Steam\\userdata\\1\\config\\grid\\2898237750.png")",
        R"(    [✓] Deployed Square Icon -> "C:\\Steam\\userdata\\1\\config\\grid\\2898237750_icon.png")",
    };
    const std::array<std::string, 5> files = {"capsule", "hero", "logo", "banner", "icon"};
    for (std::size_t k = 0; k < 5; ++k) {
        const SteamStageArtwork& art = kSteamStageArtwork[k];
        EXPECT_EQ(steam_artwork_address("https://o.example", art),
                  "https://o.example/media/steam/" + files[k] + ".png");
        EXPECT_EQ(
            steam_deployed_line(art.label, grid + "\\" + artwork_file_name(kArtworkKinds[k], id)),
            lines[k] + "\n");
    }
    EXPECT_EQ(
        steam_roots_found_line(2),
        "  [\xE2\x9C\x93] Found 2 Steam root(s). Injecting shortcuts and custom artwork...\n");
}

}  // namespace
}  // namespace ml
