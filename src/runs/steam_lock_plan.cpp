#include "runs/steam_lock_plan.hpp"

#include <charconv>
#include <cstdint>

#include "platform/text.hpp"

namespace ml {

std::chrono::milliseconds steam_lock_wait_with(std::optional<std::string_view> override_ms) {
    if (!override_ms || override_ms->empty()) return kSteamLockWait;
    std::uint32_t value = 0;
    const char* end = override_ms->data() + override_ms->size();
    const auto [stop, ec] = std::from_chars(override_ms->data(), end, value);
    if (ec != std::errc() || stop != end || value == 0) return kSteamLockWait;
    return std::chrono::milliseconds(value);
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
