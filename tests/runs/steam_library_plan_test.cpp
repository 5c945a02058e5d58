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

TEST(SteamLibraryPlan, ArtworkAddressesAndLines) {
    // The stage's own labels beside the shared grid names; paths in their debug form.
    struct Case {
        std::size_t kind;
        std::string address, line;
    };
    const std::vector<Case> cases = {
        {0, "https://o.example/media/steam/capsule.png",
         R"(    [✓] Deployed Portrait Poster -> "C:\\g\\7p.png")"},
        {2, "https://o.example/media/steam/logo.png",
         R"(    [✓] Deployed Title Logo -> "C:\\g\\7_logo.png")"},
        {3, "https://o.example/media/steam/banner.png",
         R"(    [✓] Deployed Landscape Banner -> "C:\\g\\7.png")"},
    };
    for (const Case& c : cases) {
        const SteamStageArtwork& art = kSteamStageArtwork[c.kind];
        EXPECT_EQ(steam_artwork_address("https://o.example", art), c.address);
        EXPECT_EQ(
            steam_deployed_line(art.label, "C:\\g\\" + artwork_file_name(kArtworkKinds[c.kind], 7)),
            c.line + "\n");
    }
}

TEST(SteamLibraryPlan, AReplacedEntryOfOursUnderAnotherIdTakesItsArtwork) {
    const auto entry = [](std::uint32_t appid, std::string name, std::string exe) {
        SteamShortcut s;
        s.appid = appid;
        s.app_name = std::move(name);
        s.exe = std::move(exe);
        return s;
    };
    const std::uint32_t now = 3000000001u, old = 2898237750u;
    const SteamShortcut ours = entry(old, "Marrowlane", R"("C:\L\marrowlane.exe")");
    // The runner moved to another folder: the old id's images would stay for good.
    EXPECT_EQ(superseded_appid(ours, now, {}), old);
    EXPECT_EQ(superseded_appid(entry(old, "Star", R"("D:\ML\Marrowlane.exe")"), now, {}), old);
    // The same id; a user's own shortcut with the game's name; an id another entry still
    // shows; a Steam game's id (artwork the user chose).
    EXPECT_EQ(superseded_appid(ours, old, {}), std::nullopt);
    EXPECT_EQ(superseded_appid(entry(old, "Star", R"("C:\star.exe")"), now, {}), std::nullopt);
    const SteamShortcut same_id = entry(old, "Other", "");
    EXPECT_EQ(superseded_appid(ours, now, {&same_id, 1}), std::nullopt);
    EXPECT_EQ(superseded_appid(entry(440, "Marrowlane", ""), now, {}), std::nullopt);
}

}  // namespace
}  // namespace ml
