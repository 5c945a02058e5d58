#include <gtest/gtest.h>

#include "runs/uninstall_plan.hpp"

namespace ml {
namespace {

SteamShortcut shortcut(std::uint32_t appid, std::string name, std::string exe) {
    SteamShortcut s;
    s.appid = appid;
    s.app_name = std::move(name);
    s.exe = std::move(exe);
    return s;
}

TEST(UninstallPlan, ProductShortcutTest) {
    struct Case {
        std::string name, exe;
        bool product;
    };
    const std::vector<Case> cases = {
        {"Marrowlane", R"("C:\Games\other.exe")", true},
        {"MARROWLANE", "", true},
        {"mArRoWlAnE", "x", true},
        // The name must be exactly the ten letters.
        {"Marrowlane Beta", R"("C:\Games\Beta\beta.exe")", false},
        {"Marrowlane ", "", false},
        {"Marrowlan", "", false},
        {"Märrowlane", "", false},
        // The Exe may hold the text anywhere, in any case.
        {"Marrowlane Beta", R"("C:\Users\u\AppData\Local\Marrowlane\marrowlane.exe")", true},
        {"x", R"(C:\Games\MARROWLANE\run.exe)", true},
        {"Other", R"("C:\Program Files\Other\other.exe")", false},
        // Non-ASCII text around the match does not disturb it.
        {"Spiel", R"(D:\Spiele\ÜBER\MarrowLane\run.exe)", true},
        {"T", R"(C:\İSTANBUL\MARROWLANE.EXE)", true},
        {"日本", R"(E:\ゲーム\marrowlane)", true},
        // Letters that only look alike are other letters, whatever their case.
        {"x", R"(C:\MARROWLАNE\run.exe)", false},  // a Cyrillic capital A
        {"Ｍarrowlane", "", false},                // a fullwidth M
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_product_shortcut(shortcut(1, c.name, c.exe)), c.product)
            << c.name << " / " << c.exe;
    }
}

TEST(UninstallPlan, RemovalKeepsTheOthersInOrderAndNotesIdsInFileOrder) {
    SteamShortcut other = shortcut(7, "Other", R"("C:\Other\other.exe")");
    other.extra_nodes.push_back({"sortas", std::string("other, the")});
    const std::vector<SteamShortcut> file = {
        shortcut(3000000001u, "Marrowlane", R"("C:\L\Marrowlane\marrowlane.exe")"),
        other,
        shortcut(42, "x", R"(C:\Games\MARROWLANE\run.exe)"),
        shortcut(8, "Marrowlane Beta", R"("C:\Beta\beta.exe")"),
        shortcut(42, "marrowlane", ""),
    };
    const ProductRemoval removal = remove_product_shortcuts(file);
    EXPECT_EQ(removal.kept, (std::vector<SteamShortcut>{other, file[3]}));
    EXPECT_EQ(removal.removed_appids, (std::vector<std::uint32_t>{3000000001u, 42, 42}));

    const std::vector<std::uint32_t> ids = {3000000001u, 42};
    EXPECT_EQ(artwork_files_for(ids),
              (std::vector<std::string>{
                  "3000000001p.png", "3000000001_hero.png", "3000000001_logo.png", "3000000001.png",
                  "3000000001_icon.png", "3000000001.json", "42p.png", "42_hero.png", "42_logo.png",
                  "42.png", "42_icon.png", "42.json"}));
    EXPECT_TRUE(remove_product_shortcuts({}).kept.empty());
}

TEST(UninstallPlan, ApplicationFolderOnlyBelowAnAbsoluteLocalAppData) {
    const std::vector<std::pair<std::optional<std::string>, bool>> cases = {
        {R"(C:\Users\u\AppData\Local)", true},
        {R"(C:\Users\u\AppData\Local\)", true},
        {"d:/profiles/u/local", true},
        {R"(\\server\share\u\Local)", true},
        {R"(C:\Users\50%off%\AppData\Local)", true},
        // Each of these would name a folder relative to wherever the program runs.
        {std::nullopt, false},
        {"", false},
        {"Local", false},
        {R"(.\Local)", false},
        {"C:", false},
        {"C:Local", false},
        {R"(\Users\u\Local)", false},
        {R"(\\)", false},
        {R"(\\\x)", false},
    };
    for (const auto& [value, absolute] : cases) {
        const auto parent = application_folder_parent(value);
        EXPECT_EQ(parent.has_value(), absolute) << value.value_or("<unset>");
        if (parent) {
            EXPECT_EQ(*parent, *value);
        }
    }
}

TEST(UninstallPlan, TheRemovalProgramsOwnCleanupForCmd) {
    const std::string ping = R"(C:\Windows\system32\PING.EXE)";
    const std::string folder = removal_program_folder_name(0x0123456789abcdefull);
    EXPECT_EQ(folder, "Marrowlane-Removal-0123456789abcdef");
    EXPECT_EQ(removal_program_cleanup_command(folder, ping),
              "cd \"Marrowlane-Removal-0123456789abcdef\" & set /p _= & (for /l %i in (1,1,30) "
              "do (if exist \"Marrowlane-Removal-0123456789abcdef.exe\" (del /f /q "
              "\"Marrowlane-Removal-0123456789abcdef.exe\" & "
              "\"C:\\Windows\\system32\\PING.EXE\" -n 2 127.0.0.1 ) ) ) & cd .. & "
              "(for /l %i in (1,1,30) do (if exist \"Marrowlane-Removal-0123456789abcdef\" "
              "(rmdir \"Marrowlane-Removal-0123456789abcdef\" & "
              "\"C:\\Windows\\system32\\PING.EXE\" -n 2 127.0.0.1 ) ) )");

    // Only a folder of that exact form is the copy's to remove with itself; any other name
    // (a user's folder the copy was started from, a name cmd would expand) starts nothing.
    for (const std::string_view other :
         {"Marrowlane", "Marrowlane-Removal-", "Marrowlane-Removal-0123456789ABCDEF",
          "Marrowlane-Removal-0123456789abcdef0", "Marrowlane-Removal-%OS%456789abcdef",
          "Downloads", "marrowlane-removal-0123456789abcdef"}) {
        EXPECT_FALSE(is_removal_program_folder_name(other)) << other;
        EXPECT_EQ(removal_program_cleanup_command(other, ping), std::nullopt) << other;
    }
    // A ping program cmd would expand, or end the quotes with.
    for (const std::string_view bad : {"", R"(C:\%windir%\PING.EXE)", "C:\\a\"b", "C:\\a!b!"})
        EXPECT_EQ(removal_program_cleanup_command(folder, bad), std::nullopt) << bad;
}

TEST(UninstallPlan, WhatIsNamedAsStillInUse) {
    struct Case {
        FolderLeftovers left;
        std::optional<std::string_view> own;
        std::vector<std::string> named;
    };
    const std::vector<Case> cases = {
        // The installed copy that runs the uninstallation is not news: it goes after its exit.
        {{{"Marrowlane-Setup.exe"}, {}, true, 0}, "Marrowlane-Setup.exe", {}},
        {{{"marrowlane.exe", "Marrowlane-Setup.exe"}, {}, true, 0},
         "Marrowlane-Setup.exe",
         {"marrowlane.exe"}},
        // A copy started from elsewhere leaves no image of its own in the folder.
        {{{"Marrowlane-Setup.exe"}, {}, true, 0}, std::nullopt, {"Marrowlane-Setup.exe"}},
        // Folders kept by a file left in them are explained by that file.
        {{{R"(saves\slot 1.dat)"}, {"saves"}, true, 0}, std::nullopt, {R"(saves\slot 1.dat)"}},
        {{{R"(a\b\c.dat)"}, {R"(a\b)", "a"}, true, 0}, std::nullopt, {R"(a\b\c.dat)"}},
        // "saves" is not inside "sav": only a whole name counts.
        {{{R"(saves\x)"}, {"saves", "sav"}, true, 0}, std::nullopt, {R"(saves\x)", "sav"}},
        // A folder held by itself (a program's current folder), below or at the top.
        {{{}, {"logs"}, true, 0}, std::nullopt, {"logs"}},
        {{{}, {}, true, 0}, std::nullopt, {""}},
        // Links left for good keep their folders; only files are named then.
        {{{}, {"linked"}, true, 2}, std::nullopt, {}},
        {{{"marrowlane.exe"}, {"linked"}, true, 1}, std::nullopt, {"marrowlane.exe"}},
        // Everything gone.
        {{{}, {}, false, 0}, std::nullopt, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(entries_in_use(c.left, c.own), c.named)
            << (c.left.files.empty() ? "" : c.left.files.front()) << " / " << c.left.folders.size();
    }
}

TEST(UninstallPlan, FilesInUseInTheConsoleTheClosingAndTheEndBox) {
    const std::vector<std::string> one = {R"(C:\L\Marrowlane\marrowlane.exe)"};
    EXPECT_EQ(files_in_use_line(one, true),
              "[!] Not removed yet, still in use: \"C:\\\\L\\\\Marrowlane\\\\marrowlane.exe\". "
              "They are removed once released, within about a minute; otherwise close "
              "Marrowlane and run the uninstaller again.\n");
    EXPECT_EQ(files_in_use_line(one, false),
              "[!] Not removed yet, still in use: \"C:\\\\L\\\\Marrowlane\\\\marrowlane.exe\". "
              "Close Marrowlane and run the uninstaller again to remove them.\n");
    EXPECT_EQ(uninstall_closing_text(true),
              std::string(54, '=').insert(0, "\n") +
                  "\n  Marrowlane has been uninstalled, except for the files named above.\n" +
                  std::string(54, '=') + "\n");
    EXPECT_EQ(uninstall_closing_text(), uninstall_closing_text(false));
    EXPECT_NE(uninstall_closing_text().find("cleanly uninstalled"), std::string::npos);

    // A folder of saves can hold hundreds: ten are named, the rest counted.
    std::vector<std::string> many;
    for (int i = 1; i <= 12; ++i) many.push_back(R"(C:\M\s)" + std::to_string(i));
    const std::string box = uninstalled_box_text(many, true, SteamEntriesLeft::No);
    EXPECT_TRUE(
        box.starts_with("Marrowlane has been uninstalled from your system and Steam "
                        "Library, except for these files, which are still in use:\n\n"
                        "C:\\M\\s1\nC:\\M\\s2\n"))
        << box;
    EXPECT_TRUE(
        box.ends_with("C:\\M\\s10\nand 2 more\n\nThey are removed once released, within "
                      "about a minute. Otherwise close Marrowlane and run the "
                      "uninstaller again."))
        << box;
    EXPECT_TRUE(files_in_use_line(many, false).find("\"C:\\\\M\\\\s10\", and 2 more. Close") !=
                std::string::npos);
}

// A skipped Steam step is never claimed: neither the closing line nor the end box speaks of
// the Steam Library as done, and the box says what to do.
TEST(UninstallPlan, SteamEntriesLeftAreNotClaimedAsRemoved) {
    const std::vector<std::string> none;
    const std::vector<std::string> one = {R"(C:\L\Marrowlane\marrowlane.exe)"};
    struct Case {
        bool files_left;
        SteamEntriesLeft steam;
        std::string_view closing;
    };
    const Case cases[] = {
        {false, SteamEntriesLeft::No, "Marrowlane has been cleanly uninstalled."},
        {true, SteamEntriesLeft::No,
         "Marrowlane has been uninstalled, except for the files named above."},
        {false, SteamEntriesLeft::SteamStillRuns,
         "Marrowlane has been uninstalled, except for its Steam Library entries."},
        {true, SteamEntriesLeft::AnotherRunBusy,
         "Marrowlane has been uninstalled, except for its Steam Library entries and the files "
         "named above."},
        {false, SteamEntriesLeft::HeldElsewhere,
         "Marrowlane has been uninstalled, except for its Steam Library entries."},
    };
    for (const Case& c : cases) {
        const std::string closing = uninstall_closing_text(c.files_left, c.steam);
        EXPECT_NE(closing.find("\n  " + std::string(c.closing) + "\n"), std::string::npos)
            << closing;
        const std::string box = uninstalled_box_text(c.files_left ? one : none, true, c.steam);
        if (c.steam == SteamEntriesLeft::No) {
            EXPECT_NE(box.find("Steam Library"), std::string::npos) << box;
        } else {
            EXPECT_TRUE(box.starts_with("Marrowlane has been uninstalled from your system")) << box;
            EXPECT_EQ(box.find("and Steam Library"), std::string::npos) << box;
            EXPECT_NE(box.find("Its Steam Library entries were not removed"), std::string::npos)
                << box;
        }
    }
    EXPECT_EQ(uninstalled_box_text(none, false, SteamEntriesLeft::No), kUninstalledText);
    EXPECT_TRUE(uninstalled_box_text(none, false, SteamEntriesLeft::SteamStillRuns)
                    .ends_with("Close Steam and run the uninstaller again to remove them."));
}

}  // namespace
}  // namespace ml
