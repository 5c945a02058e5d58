#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "runs/setup_lock_plan.hpp"
#include "runs/steam_lock_plan.hpp"

namespace ml {
namespace {

using std::chrono::milliseconds;

TEST(RunLockPlan, WaitAndTheReasonGivenWhenItRunsOut) {
    const std::vector<std::pair<std::optional<std::string_view>, milliseconds>> waits = {
        {std::nullopt, milliseconds(180'000)},
        {"1500", milliseconds(1500)},
        {"", kSteamLockWait},
        {"0", kSteamLockWait},
        {"2s", kSteamLockWait},
        {"-5", kSteamLockWait},
        {"99999999999", kSteamLockWait},
    };
    for (const auto& [text, wait] : waits) {
        EXPECT_EQ(lock_wait_with(text, kSteamLockWait), wait) << text.value_or("(unset)");
    }

    struct Case {
        std::optional<std::string> holder;
        milliseconds waited;
        std::string steam, setup, removal;
    };
    const std::vector<Case> cases = {
        {run_holder_text(4242, RunKind::Installation), kSteamLockWait,
         "another Marrowlane run (process 4242, an installation) has held Steam's shortcut "
         "files for over 3 minutes",
         "another Marrowlane setup (process 4242, an installation) has been running for over 3 "
         "minutes",
         "another Marrowlane setup (process 4242, an installation) has been removing the "
         "application folder for over 3 minutes"},
        {run_holder_text(7, RunKind::Injection), milliseconds(2000),
         "another Marrowlane run (process 7, an injection run) has held Steam's shortcut files "
         "for over 2 seconds",
         "another Marrowlane setup (process 7, an injection run) has been running for over 2 "
         "seconds",
         "another Marrowlane setup (process 7, an injection run) has been removing the "
         "application folder for over 2 seconds"},
        {run_holder_text(8, RunKind::Uninstallation), milliseconds(1500),
         "another Marrowlane run (process 8, an uninstallation) has held Steam's shortcut files "
         "for over 1500 ms",
         "another Marrowlane setup (process 8, an uninstallation) has been running for over "
         "1500 ms",
         "another Marrowlane setup (process 8, an uninstallation) has been removing the "
         "application folder for over 1500 ms"},
        // A holder that has not named itself (yet).
        {std::nullopt, kSteamLockWait,
         "another Marrowlane run has held Steam's shortcut files for over 3 minutes",
         "another Marrowlane setup has been running for over 3 minutes",
         "another Marrowlane setup has been removing the application folder for over 3 minutes"},
        {std::string(), kSteamLockWait,
         "another Marrowlane run has held Steam's shortcut files for over 3 minutes",
         "another Marrowlane setup has been running for over 3 minutes",
         "another Marrowlane setup has been removing the application folder for over 3 minutes"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(steam_lock_busy_reason(c.holder, c.waited), c.steam);
        EXPECT_EQ(setup_lock_busy_reason(c.holder, c.waited), c.setup);
        EXPECT_EQ(removal_busy_reason(c.holder, c.waited), c.removal);
    }
}

TEST(RunLockPlan, WaitingLinesNameTheOtherRun) {
    const std::string holder = run_holder_text(31, RunKind::Uninstallation);
    EXPECT_EQ(steam_lock_waiting_line(holder),
              "[*] Waiting for another Marrowlane run (process 31, an uninstallation) to finish "
              "with Steam's shortcut files...\n");
    EXPECT_EQ(steam_lock_waiting_line(std::nullopt),
              "[*] Waiting for another Marrowlane run to finish with Steam's shortcut files...\n");
    EXPECT_EQ(setup_lock_waiting_line(holder),
              "[*] Waiting for another Marrowlane setup (process 31, an uninstallation) to "
              "finish...\n");
    EXPECT_EQ(setup_lock_waiting_line(std::nullopt),
              "[*] Waiting for another Marrowlane setup to finish...\n");
    EXPECT_EQ(removal_waiting_line(R"(C:\Users\Jörg\AppData\Local\Marrowlane)", holder),
              "[*] Waiting for another Marrowlane setup (process 31, an uninstallation) to "
              "finish removing \"C:\\\\Users\\\\Jörg\\\\AppData\\\\Local\\\\Marrowlane\"...\n");
    EXPECT_EQ(install_busy_error("another Marrowlane setup has been running for over 1 second"),
              "Nothing was installed: another Marrowlane setup has been running for over 1 "
              "second. Run the setup again once it has finished.");
}

// Any program of the session can write a holder's text: what reaches the console and the
// windows is printable text only, on one line.
TEST(RunLockPlan, AHoldersTextIsShownOnlyAsPrintableText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {run_holder_text(4242, RunKind::Uninstallation), "process 4242, an uninstallation"},
        {"x\x1b[2J\x1b]0;title\x07y", "x?[2J?]0;title?y"},
        {"a\r\nError: fake\tline", "a??Error: fake?line"},
        // U+202E RIGHT-TO-LEFT OVERRIDE would turn the rest of the line around.
        {"abc\xE2\x80\xAEgpj.exe", "abc???gpj.exe"},
        {"\x7f\xff", "??"},
    };
    for (const auto& [raw, shown] : cases) EXPECT_EQ(printable_holder_text(raw), shown) << raw;
}

TEST(RunLockPlan, RemovalMarkerNamesOneFolderEachAndStayStable) {
    const std::vector<std::string> keys = {
        R"(\\?\C:\USERS\U\APPDATA\LOCAL\MARROWLANE)",
        R"(\\?\C:\USERS\V\APPDATA\LOCAL\MARROWLANE)",
        R"(\\?\D:\USERS\U\APPDATA\LOCAL\MARROWLANE)",
        R"(\\?\C:\USERS\JÖRG & ANN (50%)\APPDATA\LOCAL\MARROWLANE)",
        std::string(5000, 'A'),
        "",
    };
    std::set<std::wstring> names;
    for (const std::string& key : keys) {
        const std::wstring name = removal_marker_name(key);
        EXPECT_EQ(name, removal_marker_name(key));
        // A kernel object's name is limited to MAX_PATH characters.
        EXPECT_EQ(name.size(), 47u) << key;
        EXPECT_TRUE(name.starts_with(L"Local\\Marrowlane-Setup-Removal-")) << key;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), keys.size());
    // An uninstaller of one version marks the removal that a setup of another version waits
    // for: the name of a folder may never change (FNV-1a of the key).
    EXPECT_EQ(removal_marker_name("a"), L"Local\\Marrowlane-Setup-Removal-af63dc4c8601ec8c");
}

}  // namespace
}  // namespace ml
