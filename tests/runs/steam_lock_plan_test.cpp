#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "runs/steam_lock_plan.hpp"

namespace ml {
namespace {

using std::chrono::milliseconds;

TEST(SteamLockPlan, WaitAndTheReasonGivenWhenItRunsOut) {
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
        EXPECT_EQ(steam_lock_wait_with(text), wait) << text.value_or("(unset)");
    }

    struct Case {
        std::optional<std::string> holder;
        milliseconds waited;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {steam_lock_holder_text(4242, SteamRun::Installation), kSteamLockWait,
         "another Marrowlane run (process 4242, an installation) has held Steam's shortcut "
         "files for over 3 minutes"},
        {steam_lock_holder_text(7, SteamRun::Injection), milliseconds(2000),
         "another Marrowlane run (process 7, an injection run) has held Steam's shortcut files "
         "for over 2 seconds"},
        {steam_lock_holder_text(8, SteamRun::Uninstallation), milliseconds(1500),
         "another Marrowlane run (process 8, an uninstallation) has held Steam's shortcut files "
         "for over 1500 ms"},
        // A holder that has not named itself (yet).
        {std::nullopt, kSteamLockWait,
         "another Marrowlane run has held Steam's shortcut files for over 3 minutes"},
        {std::string(), kSteamLockWait,
         "another Marrowlane run has held Steam's shortcut files for over 3 minutes"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(steam_lock_busy_reason(c.holder, c.waited), c.reason);
    }
}

}  // namespace
}  // namespace ml
