#include <gtest/gtest.h>

#include "runs/install_plan.hpp"

namespace ml {
namespace {

const std::string kRule(54, '=');

TEST(InstallPlan, OriginLosesTrailingSlashesOnly) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"https://marrowlane.app", "https://marrowlane.app"},
        {"https://marrowlane.app/", "https://marrowlane.app"},
        {"https://marrowlane.app///", "https://marrowlane.app"},
        {"http://127.0.0.1:8080/base/", "http://127.0.0.1:8080/base"},
        {"///", ""},
        {"", ""},
        {"https://marrowlane.app\\", "https://marrowlane.app\\"},
        {"https://marrowlane.app/\\/", "https://marrowlane.app/\\"},
    };
    for (const auto& [given, trimmed] : cases) EXPECT_EQ(trim_origin(given), trimmed) << given;
}

TEST(InstallPlan, InstallPathRule) {
    struct Case {
        std::optional<std::string> install_dir, local_app_data;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {std::nullopt, R"(C:\Users\u\AppData\Local)", R"(C:\Users\u\AppData\Local\Marrowlane)"},
        {std::nullopt, R"(C:\Users\u\AppData\Local\)", R"(C:\Users\u\AppData\Local\Marrowlane)"},
        {std::nullopt, std::nullopt, R"(C:\Marrowlane\Marrowlane)"},
        // Empty would make a folder relative to wherever the setup was started.
        {std::nullopt, "", R"(C:\Marrowlane\Marrowlane)"},
        // Given folders are taken as they are: nothing appended, nothing normalised.
        {R"(D:\Games\ML)", R"(C:\L)", R"(D:\Games\ML)"},
        {R"(D:\Games\ML\)", std::nullopt, R"(D:\Games\ML\)"},
        {"relative/dir", R"(C:\L)", "relative/dir"},
        // An empty --install-dir is not the current folder.
        {"", R"(C:\L)", R"(C:\L\Marrowlane)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(install_path_for(c.install_dir, c.local_app_data), c.expected)
            << c.install_dir.value_or("<none>") << " / " << c.local_app_data.value_or("<unset>");
    }
}

TEST(InstallPlan, ComponentDefaults) {
    struct Case {
        std::optional<bool> start_menu, desktop, steam;
        bool steam_found;
        ComponentChoices expected;
    };
    const std::vector<Case> cases = {
        {std::nullopt, std::nullopt, std::nullopt, true, {true, true, true}},
        {std::nullopt, std::nullopt, std::nullopt, false, {true, true, false}},
        {false, false, std::nullopt, true, {false, false, true}},
        // An explicit Steam choice wins over what was found, both ways.
        {true, true, true, false, {true, true, true}},
        {std::nullopt, std::nullopt, false, true, {true, true, false}},
    };
    for (const auto& c : cases) {
        InstallOptions options;
        options.start_menu = c.start_menu;
        options.desktop = c.desktop;
        options.steam_library = c.steam;
        EXPECT_EQ(decide_components(options, c.steam_found), c.expected);
    }
}

TEST(InstallPlan, ContextFromOptions) {
    InstallOptions options;
    options.server_origin = "http://localhost:9/";
    options.desktop = false;
    const InstallContext context =
        make_install_context(options, {R"(C:\Steam)"}, R"(C:\Users\u\AppData\Local)");
    EXPECT_EQ(context.origin, "http://localhost:9");
    EXPECT_EQ(context.install_path, R"(C:\Users\u\AppData\Local\Marrowlane)");
    EXPECT_EQ(context.runner_path, R"(C:\Users\u\AppData\Local\Marrowlane\marrowlane.exe)");
    EXPECT_EQ(context.icon_path, R"(C:\Users\u\AppData\Local\Marrowlane\marrowlane.ico)");
    EXPECT_TRUE(context.steam_enabled);
    EXPECT_FALSE(context.desktop_enabled);
    EXPECT_TRUE(context.start_menu_enabled);
    EXPECT_EQ(context.steam_roots, std::vector<std::string>{R"(C:\Steam)"});
    EXPECT_EQ(context.options, options);
}

TEST(InstallPlan, InstallationFolderMustLeaveRoomForItsLongestPath) {
    // The longest file the installation writes is the setup's copy, Marrowlane-Setup.exe (20
    // characters), and a download beside it adds up to 35 more: with the separator 56.
    const std::string base = R"(C:\)";
    struct Case {
        std::string folder;
        std::size_t longest;
    };
    const std::vector<Case> cases = {
        {R"(C:\Users\a\AppData\Local\Marrowlane)", 35 + 56},
        {base + std::string(200, 'x'), 203 + 56},  // exactly MAX_PATH with the NUL
        {base + std::string(201, 'x'), 204 + 56},
        {base + std::string(200, 'x') + "\\", 204 + 55},  // a trailing separator is the one added
        // Counted as Windows counts: UTF-16 units, not UTF-8 bytes. 测 is one unit in three
        // bytes, an emoji two units in four.
        {base + std::string(197, 'x') + "\xE6\xB5\x8B\xF0\x9F\x8E\xAE", 203 + 56},
        {base + std::string(198, 'x') + "\xE6\xB5\x8B\xF0\x9F\x8E\xAE", 204 + 56},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(longest_installed_path_length(c.folder), c.longest) << c.folder;
        EXPECT_EQ(check_install_path_length(c.folder).has_value(), c.longest <= kMaxPathLength)
            << c.folder;
    }
    const std::string folder = base + std::string(300, 'y');
    const auto refused = check_install_path_length(folder);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, ErrorKind::InvalidInput);
    EXPECT_EQ(refused.error().message,
              "Installation folder too long: " + folder +
                  " (303 characters). Paths in it would reach 359 characters, more than the 259 "
                  "that Windows allows programs and shortcuts (MAX_PATH); choose a folder of at "
                  "most 203 characters.");
}

TEST(InstallPlan, BannerAndLocationLines) {
    EXPECT_EQ(banner_text(),
              kRule + "\n     Marrowlane - Setup & Steam Library Installer     \n" + kRule + "\n");
    InstallContext context;
    context.origin = "https://marrowlane.app";
    context.install_path = R"(C:\Users\a "b"\Marrowlane)";
    EXPECT_EQ(location_text(context),
              "Server Origin:    https://marrowlane.app\n"
              "Install Path:     \"C:\\\\Users\\\\a \\\"b\\\"\\\\Marrowlane\"\n");
}

TEST(InstallPlan, SummaryAndCompletionFollowTheChoices) {
    struct Case {
        bool steam_enabled, steam_found, desktop, start_menu;
        std::string summary_lines, box_lines;
    };
    const std::string steam = "  - Steam Library shortcut and custom artwork installed\n";
    const std::string desktop = "  - Desktop shortcut created\n";
    const std::string menu = "  - Start Menu shortcut created\n";
    const std::string box_steam = "\u2022 Added to Steam Library with custom artwork\n";
    const std::string box_desktop = "\u2022 Desktop shortcut created\n";
    const std::string box_menu = "\u2022 Start Menu shortcut created\n";
    const std::vector<Case> cases = {
        // Steam first in the summary but third in the box.
        {true, true, true, true, steam + desktop + menu, box_desktop + box_menu + box_steam},
        // Steam wanted but no Steam found: nothing was registered, so it is not listed.
        {true, false, true, true, desktop + menu, box_desktop + box_menu},
        {false, true, false, true, menu, box_menu},
        {true, true, false, false, steam, box_steam},
        {false, false, false, false, "", ""},
    };
    for (const auto& c : cases) {
        InstallContext context;
        context.options.game_name = "Foo & Bar";
        context.steam_enabled = c.steam_enabled;
        if (c.steam_found) context.steam_roots = {R"(C:\Steam)"};
        context.desktop_enabled = c.desktop;
        context.start_menu_enabled = c.start_menu;
        EXPECT_EQ(summary_text(context),
                  "\n" + kRule + "\n  Installation Completed Successfully!\n" + c.summary_lines +
                      "  - Registered in Windows Settings for 1-click uninstall\n" + kRule + "\n");
        const CompletionBox box = completion_box(context);
        EXPECT_EQ(box.title, "Foo & Bar Setup - Installation Complete");
        EXPECT_EQ(box.text,
                  "Foo & Bar has been installed successfully!\n\nInstalled components:\n" +
                      c.box_lines + "\u2022 Registered in Windows Settings for 1-click uninstall");
        EXPECT_FALSE(box.warning);
    }
    EXPECT_EQ(progress_title("Foo"), "Foo Setup");
    EXPECT_EQ(progress_headline("Foo"), "Installing Foo");
}

TEST(InstallPlan, SummaryAndCompletionClaimOnlyWhatIsOnDisk) {
    // Everything chosen; each case takes something away from what reached the disk. (The
    // end-to-end tests meet a missing runner, a shortcut and the entry that cannot be written.)
    struct Case {
        const char* name;
        void (*change)(InstallContext&);
        std::string summary, box_title, box_text;
    };
    const std::vector<Case> cases = {
        {"runner held by a running Marrowlane", [](InstallContext& c) { c.runner_in_use = true; },
         "\n" + kRule + "\n  Installation Incomplete: the running Marrowlane was not updated!\n" +
             "  - Steam Library shortcut and custom artwork installed\n  - Desktop shortcut "
             "created\n  - Start Menu shortcut created\n  - Registered in Windows Settings for "
             "1-click uninstall\n  [!] The previous marrowlane.exe stays in place: close "
             "Marrowlane and run the setup again.\n" +
             kRule + "\n",
         "M Setup - Installation Incomplete",
         "M has been installed, but its runner was not updated: Marrowlane was running, so the "
         "previous marrowlane.exe stays in place.\n\nClose Marrowlane and run the setup "
         "again.\n\nInstalled components:\n\u2022 Desktop shortcut created\n\u2022 Start Menu "
         "shortcut created\n\u2022 Added to Steam Library with custom artwork\n\u2022 Registered "
         "in Windows Settings for 1-click uninstall"},
        // Nothing to list: the box leaves out its empty list, and names each failure.
        {"nothing but the files",
         [](InstallContext& c) {
             c.not_written = {"no Start Menu folder is known for this user", "Disk full.",
                              "value UninstallString: Access is denied."};
             c.steam_nothing_delivered = true;
         },
         "\n" + kRule + "\n  Installation Completed Successfully!\n" + kRule + "\n",
         "M Setup - Installation Complete",
         "M has been installed successfully!\n\nNot created:\n\u2022 Desktop shortcut: Disk "
         "full.\n\u2022 Start Menu shortcut: no Start Menu folder is known for this user\n\u2022 "
         "Uninstall entry in Windows Settings: value UninstallString: Access is denied."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstallContext context;
        context.options.game_name = "M";
        context.steam_enabled = true;
        context.steam_roots = {R"(C:\Steam)"};
        c.change(context);
        EXPECT_EQ(summary_text(context), c.summary);
        const CompletionBox box = completion_box(context);
        EXPECT_EQ(box.title, c.box_title);
        EXPECT_EQ(box.text, c.box_text);
        EXPECT_TRUE(box.warning);
    }
}

}  // namespace
}  // namespace ml
