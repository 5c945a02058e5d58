#include "runs/steam_lock_plan.hpp"

#include <cstdint>

#include "platform/text.hpp"

namespace ml {

std::chrono::milliseconds steam_lock_wait_with(std::optional<std::string_view> override_ms) {
    return test_milliseconds(override_ms).value_or(kSteamLockWait);
}

std::string steam_lock_holder_text(unsigned long process_id, SteamRun run) {
    std::string_view what = "an injection run";
    if (run == SteamRun::Installation) what = "an installation";
    if (run == SteamRun::Uninstallation) what = "an uninstallation";
    return "process " + std::to_string(process_id) + ", " + std::string(what);
}

std::string steam_lock_busy_reason(std::optional<std::string_view> holder,
                                   std::chrono::milliseconds waited) {
    std::string text = "another Marrowlane run";
    if (holder && !holder->empty()) text += " (" + std::string(*holder) + ")";
    return text + " has held Steam's shortcut files for over " + duration_text(waited);
}

}  // namespace ml
