#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/options.hpp"
#include "platform/text.hpp"
#include "runs/app_files_plan.hpp"
#include "runs/registration_plan.hpp"

namespace ml {
namespace {

TEST(AppFilesPlan, JsonStringContent) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Marrowlane", "Marrowlane"},
        {R"(Say "hi")", R"(Say \"hi\")"},
        {R"(C:\Games\x)", R"(C:\\Games\\x)"},
        {"a\nb\tc\rd\be\ff", R"(a\nb\tc\rd\be\ff)"},
        {std::string("nul\0x\x1f", 6), R"(nul\u0000x\u001f)"},
        // No escaping of '/', DEL or non-ASCII text.
        {"https://x.test/a?b=c", "https://x.test/a?b=c"},
        {"Caf\xc3\xa9 \xe2\x9c\x93 \x7f", "Caf\xc3\xa9 \xe2\x9c\x93 \x7f"},
    };
    for (const auto& [given, expected] : cases) EXPECT_EQ(json_string_content(given), expected);
}

TEST(AppFilesPlan, ConfigJsonIsSevenLinesWithoutFinalLineFeed) {
    EXPECT_EQ(config_json_text("http://127.0.0.1:8000", "Player's \"Game\"", ""),
              "{\n"
              "  \"server_origin\": \"http://127.0.0.1:8000\",\n"
              "  \"installed_version\": \"0.2.0\",\n"
              "  \"game_name\": \"Player's \\\"Game\\\"\",\n"
              "  \"game_url\": \"\",\n"
              "  \"auto_check_updates\": true\n"
              "}");
}

TEST(AppFilesPlan, ConfigJsonOverAnEarlierFileKeepsTheUsersValues) {
    const std::string fresh = config_json_text("http://o", "G", "u");
    // The product's four values as they are written now, before whatever follows them.
    const std::string ours =
        "{\n  \"server_origin\": \"http://o\",\n  \"installed_version\": \"0.2.0\",\n"
        "  \"game_name\": \"G\",\n  \"game_url\": \"u\",\n  \"auto_check_updates\": ";
    struct Case {
        const char* name;
        std::string existing, written;
    };
    const std::vector<Case> cases = {
        {"a new installation", "", fresh},
        {"not JSON (cut short)", "{\n  \"auto_check_updates\": false,\n", fresh},
        {"not an object", "[false]", fresh},
        {"the file as written before",
         "{\n  \"server_origin\": \"https://old\",\n  \"installed_version\": \"0.1.0\",\n"
         "  \"game_name\": \"Old\",\n  \"game_url\": \"\",\n  \"auto_check_updates\": true\n}",
         fresh},
        {"updates switched off", R"({"auto_check_updates": false, "game_name": "Old"})",
         ours + "false\n}"},
        {"the runner's own keys, kept as written",
         "{\"window\": {\n    \"w\": 800\n  },\"auto_check_updates\":false, "
         "\"last\":\"2025-01-09\"}",
         ours + "false,\n  \"window\": {\n    \"w\": 800\n  },\n  \"last\": \"2025-01-09\"\n}"},
        {"a name escaped, Notepad's byte order mark",
         "\xEF\xBB\xBF{\"auto\\u005fcheck_updates\": false}", ours + "false\n}"},
        {"the last of two values counts",
         R"({"auto_check_updates": false, "auto_check_updates": true})", fresh},
        {"a value that is no switch", R"({"auto_check_updates": "no", "x": 1})",
         ours + "true,\n  \"x\": 1\n}"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(config_json_text_over(c.existing, "http://o", "G", "u"), c.written) << c.name;
        // What it writes reads back the same way: a second reinstall changes nothing.
        EXPECT_EQ(config_json_text_over(c.written, "http://o", "G", "u"), c.written) << c.name;
    }
}

TEST(AppFilesPlan, ZoneIdentifierMarksOfDownloadedFiles) {
    struct Case {
        std::string stream;
        std::optional<std::uint32_t> zone;
        bool downloaded;
    };
    const std::vector<Case> cases = {
        // As Edge and Chrome write it, with the page it came from.
        {"[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://x.test/\r\n"
         "HostUrl=https://x.test/marrowlane.exe\r\n",
         3, true},
        {"[ZoneTransfer]\nZoneId=4\n", 4, true},
        {"[zonetransfer]\r\n  zoneid = 3 \r\n", 3, true},
        // Local machine, intranet and trusted sites, and custom zones.
        {"[ZoneTransfer]\r\nZoneId=0\r\n", 0, false},
        {"[ZoneTransfer]\r\nZoneId=1\r\n", 1, false},
        {"[ZoneTransfer]\r\nZoneId=2\r\n", 2, false},
        {"[ZoneTransfer]\r\nZoneId=1000\r\n", 1000, false},
        // ZoneId outside its section, or no number.
        {"ZoneId=3\r\n[ZoneTransfer]\r\n", std::nullopt, false},
        {"[Other]\r\nZoneId=3\r\n[ZoneTransfer]\r\nHostUrl=x\r\n", std::nullopt, false},
        {"[ZoneTransfer]\r\nZoneId=\r\n", std::nullopt, false},
        {"[ZoneTransfer]\r\nZoneId=99999999999\r\n", std::nullopt, false},
        {"", std::nullopt, false},
        // Saved as UTF-16 with its byte order mark.
        {std::string("\xFF\xFE[\0Z\0o\0n\0e\0T\0r\0a\0n\0s\0f\0e\0r\0]\0\n\0"
                     "Z\0o\0n\0e\0I\0d\0=\0003\0",
                     48),
         3, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zone_of_stream(c.stream), c.zone) << c.stream;
        EXPECT_EQ(is_marked_as_downloaded(c.stream), c.downloaded) << c.stream;
    }
}

TEST(AppFilesPlan, CandidateListsKeepTheirSeparators) {
    const std::string dir = R"(D:\Setup)";
    EXPECT_EQ(runner_candidates(dir),
              (std::vector<std::string>{"marrowlane.exe", R"(dist\marrowlane.exe)",
                                        R"(..\dist\marrowlane.exe)", R"(D:\Setup\marrowlane.exe)",
                                        "glasswick.exe", "glasswick"}));
    EXPECT_EQ(loader_candidates(dir),
              (std::vector<std::string>{
                  "WebView2Loader.dll", R"(dist\WebView2Loader.dll)",
                  R"(..\dist\WebView2Loader.dll)", R"(D:\Setup\WebView2Loader.dll)",
                  "media/windows/WebView2Loader.dll", "../media/windows/WebView2Loader.dll",
                  "src-tauri/target/x86_64-pc-windows-gnu/release/WebView2Loader.dll"}));
    EXPECT_EQ(icon_candidates(dir),
              (std::vector<std::string>{"marrowlane.ico", "media/icons/icon.ico",
                                        "../media/icons/icon.ico", R"(D:\Setup\marrowlane.ico)"}));
    // An unknown program folder must not turn into a relative "marrowlane.exe" (which would
    // be candidate 1 again) but into the empty path.
    EXPECT_EQ(runner_candidates("")[3], "");
    EXPECT_EQ(loader_candidates("")[3], "");
    EXPECT_EQ(icon_candidates("")[3], "");
}

TEST(AppFilesPlan, AddressesAndLines) {
    EXPECT_EQ(runner_url("http://h:1"), "http://h:1/api/download?os=windows");
    EXPECT_EQ(loader_url(""), "/WebView2Loader.dll");
    EXPECT_EQ(icon_url("o"), "o/marrowlane.ico");
    EXPECT_EQ(image_url("o"), "o/marrowlane.png");
    namespace l = app_files_lines;
    EXPECT_EQ(l::runner_not_downloaded("Failed to download asset from u", R"(C:\M)"),
              "    [!] Could not download runner binary (Failed to download asset from u). "
              "Place marrowlane.exe in \"C:\\\\M\"\n");
    EXPECT_EQ(l::runner_kept("Failed to download asset from u", R"(C:\M)", false),
              "    [!] Could not download runner binary (Failed to download asset from u). "
              "Kept the marrowlane.exe already in \"C:\\\\M\"\n");
    EXPECT_EQ(l::runner_invalid(R"(C:\M\marrowlane.exe)"),
              "[!] Warning: Downloaded runner at \"C:\\\\M\\\\marrowlane.exe\" is not a valid "
              "executable for this platform!\n");
    EXPECT_EQ(
        l::loader_local("dist\\W.dll", "C:\\W.dll"),
        "[\u2713] Deployed WebView2Loader.dll from local \"dist\\\\W.dll\" -> \"C:\\\\W.dll\"\n");
}

TEST(RegistrationPlan, UninstallValues) {
    const std::string dir = R"(D:\Player's Games\Marrowlane)";
    const std::string icon = dir + R"(\marrowlane.ico)";
    const std::string runner = dir + R"(\marrowlane.exe)";
    const std::vector<UninstallValue> with_icon = {
        {"DisplayName", std::string("Marrowlane")},
        {"DisplayVersion", std::string("0.2.0")},
        {"Publisher", std::string("Marrowlane Contributors")},
        {"InstallLocation", dir},
        {"UninstallString", "\"" + dir + "\\Marrowlane-Setup.exe\" --uninstall"},
        {"DisplayIcon", "\"" + icon + "\""},
        {"NoModify", std::uint32_t{1}},
        {"NoRepair", std::uint32_t{1}},
    };
    EXPECT_EQ(uninstall_values(dir, icon, runner, true), with_icon);
    // Without the icon file the first icon inside the runner is shown.
    EXPECT_EQ(uninstall_values(dir, icon, runner, false)[5].data,
              (std::variant<std::string, std::uint32_t>("\"" + runner + "\",0")));
    // Text that is not UTF-8 reaches the registry with U+FFFD in place.
    EXPECT_EQ(uninstall_values("C:\\a\xff", "i", "r", true)[3].data,
              (std::variant<std::string, std::uint32_t>("C:\\a\xef\xbf\xbd")));
}

TEST(RegistrationPlan, SizeInKibRoundsUpAndStopsAtTheLargestDword) {
    struct Case {
        std::uint64_t bytes;
        std::uint32_t kib;
    };
    constexpr std::uint64_t kDwordMax = std::numeric_limits<std::uint32_t>::max();
    const Case cases[] = {
        {0, 0},
        {1, 1},
        {1023, 1},
        {1024, 1},
        {1025, 2},
        {2048, 2},
        {5'000'000, 4883},
        {kDwordMax * 1024, 0xFFFFFFFFu},
        {kDwordMax * 1024 + 1, 0xFFFFFFFFu},
        {std::numeric_limits<std::uint64_t>::max(), 0xFFFFFFFFu},
    };
    for (const Case& c : cases) EXPECT_EQ(size_in_kib(c.bytes), c.kib) << c.bytes;
}

TEST(RegistrationPlan, InstallDateIsEightDigits) {
    struct Case {
        LocalDate date;
        const char* text;
    };
    const Case cases[] = {
        {{2025, 1, 9}, "20250109"},
        {{2024, 12, 31}, "20241231"},
        {{2024, 2, 29}, "20240229"},
        {{1601, 1, 1}, "16010101"},
    };
    for (const Case& c : cases) EXPECT_EQ(install_date_text(c.date), c.text) << c.text;
}

TEST(RegistrationPlan, PackageManagerValuesFollowTheEight) {
    const std::string dir = R"(D:\Player's Games\Marrowlane)";
    using Data = std::variant<std::string, std::uint32_t>;
    const std::string quiet = "\"" + dir + "\\Marrowlane-Setup.exe\" --uninstall --cli -y";
    EXPECT_EQ(quiet_uninstall_command(dir), quiet);
    EXPECT_EQ(package_manager_values(dir, 2'101'000, {2025, 3, 7}),
              (std::vector<UninstallValue>{{"QuietUninstallString", quiet},
                                           {"EstimatedSize", std::uint32_t{2052}},
                                           {"InstallDate", std::string("20250307")}}));
    // A folder that could not be measured gets no size rather than a size of 0.
    const auto unmeasured = package_manager_values(dir, std::nullopt, {2025, 3, 7});
    ASSERT_EQ(unmeasured.size(), 2u);
    EXPECT_EQ(unmeasured[0].name, "QuietUninstallString");
    EXPECT_EQ(unmeasured[1].name, "InstallDate");
    EXPECT_EQ(package_manager_values("C:\\a\xff", 0, {2025, 3, 7})[0].data,
              Data("\"C:\\a\xef\xbf\xbd\\Marrowlane-Setup.exe\" --uninstall --cli -y"));
    // The same copy as the plain uninstall command.
    EXPECT_TRUE(quiet.starts_with(uninstall_command(dir) + " "));
}

TEST(RegistrationPlan, QuietUninstallSwitchesAskForAnUnattendedTerminalRemoval) {
    // What follows the quoted program, as the program's own parser reads it.
    const std::string command = quiet_uninstall_command(R"(C:\Users\a b\Marrowlane)");
    std::istringstream tail(command.substr(command.rfind('"') + 1));
    std::vector<std::string> args;
    for (std::string word; tail >> word;) args.push_back(word);
    const auto mode = parse_cli_args_from(args, nullptr);
    ASSERT_TRUE(mode);
    EXPECT_EQ(*mode, (RunMode{RunMode::Uninstall{.non_interactive = true, .cli = true}}));
}

TEST(RegistrationPlan, ShortcutRules) {
    EXPECT_EQ(shortcut_icon("C:\\M\\i.ico", "C:\\M\\r.exe", true), "C:\\M\\i.ico");
    EXPECT_EQ(shortcut_icon("C:\\M\\i.ico", "C:\\M\\r.exe", false), "C:\\M\\r.exe");
    EXPECT_EQ(shortcut_working_folder(R"(C:\Users\a\Marrowlane\marrowlane.exe)"),
              R"(C:\Users\a\Marrowlane)");
    EXPECT_EQ(shortcut_working_folder(R"(C:\marrowlane.exe)"), "C:\\");
    EXPECT_EQ(shortcut_working_folder("marrowlane.exe"), "");
    EXPECT_EQ(start_menu_created_line("C:\\S.lnk"),
              "  [\u2713] Created Start Menu shortcut -> \"C:\\\\S.lnk\"\n");
    EXPECT_EQ(desktop_created_line("C:\\D.lnk"),
              "  [\u2713] Created Desktop shortcut -> \"C:\\\\D.lnk\"\n");
}

TEST(RegistrationPlan, ShortcutFilesFollowTheShellBeforeTheEnvironment) {
    using Folder = std::optional<std::string>;
    const Folder none;
    struct Case {
        Folder shell, environment;
        std::optional<std::string> start_menu, desktop;
    };
    const std::vector<Case> cases = {
        // A Desktop moved by OneDrive's folder backup, a Start Menu redirected to a share:
        // the shell's folder wins over the profile's.
        {R"(C:\Users\a\OneDrive - Contoso\Desktop)", R"(C:\Users\a)",
         R"(C:\Users\a\OneDrive - Contoso\Desktop\Marrowlane.lnk)",
         R"(C:\Users\a\OneDrive - Contoso\Desktop\Marrowlane.lnk)"},
        {R"(\\server\home$\a\Start Menu\Programs\)", none,
         R"(\\server\home$\a\Start Menu\Programs\Marrowlane.lnk)",
         R"(\\server\home$\a\Start Menu\Programs\Marrowlane.lnk)"},
        // The shell cannot say, or names no absolute folder (a value with an unset variable
        // stays unexpanded): the environment's place.
        {none, R"(C:\Users\a)",
         R"(C:\Users\a\Microsoft\Windows\Start Menu\Programs\Marrowlane.lnk)",
         R"(C:\Users\a\Desktop\Marrowlane.lnk)"},
        {"%OneDrive%\\Desktop", R"(D:\p\)",
         R"(D:\p\Microsoft\Windows\Start Menu\Programs\Marrowlane.lnk)",
         R"(D:\p\Desktop\Marrowlane.lnk)"},
        // Nothing usable: no shortcut below whatever folder the setup runs in.
        {"", "", none, none},
        {"Desktop", ".", none, none},
        {none, "C:relative", none, none},
        {none, none, none, none},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(start_menu_shortcut_file(c.shell, c.environment), c.start_menu)
            << c.shell.value_or("<none>") << " / " << c.environment.value_or("<none>");
        EXPECT_EQ(desktop_shortcut_file(c.shell, c.environment), c.desktop)
            << c.shell.value_or("<none>") << " / " << c.environment.value_or("<none>");
    }
}

TEST(RegistrationPlan, UninstallationRemovesShortcutsFromTheShellFoldersAndOldPlaces) {
    const std::optional<std::string> none;
    EXPECT_EQ(
        shortcut_files_to_remove(R"(C:\S\Programs)", R"(C:\OneDrive\Desktop)",
                                 R"(C:\Users\a\AppData\Roaming)", R"(C:\Users\a)"),
        (std::vector<std::string>{
            R"(C:\S\Programs\Marrowlane.lnk)", R"(C:\OneDrive\Desktop\Marrowlane.lnk)",
            R"(C:\Users\a\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Marrowlane.lnk)",
            R"(C:\Users\a\Desktop\Marrowlane.lnk)"}));
    // Folders not moved: each file once.
    EXPECT_EQ(
        shortcut_files_to_remove(
            R"(C:\Users\a\AppData\Roaming\Microsoft\Windows\Start Menu\Programs)",
            R"(C:\Users\a\Desktop)", R"(C:\Users\a\AppData\Roaming)", R"(C:\Users\a)"),
        (std::vector<std::string>{
            R"(C:\Users\a\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Marrowlane.lnk)",
            R"(C:\Users\a\Desktop\Marrowlane.lnk)"}));
    // Empty and relative places remove nothing below the current folder.
    EXPECT_EQ(shortcut_files_to_remove("Desktop", none, "", "."), std::vector<std::string>{});
}

}  // namespace
}  // namespace ml
