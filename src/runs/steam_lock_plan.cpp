#include "runs/steam_lock_plan.hpp"

namespace ml {

std::string steam_lock_busy_reason(std::optional<std::string_view> holder,
                                   std::chrono::milliseconds waited) {
    return run_busy_reason("run", holder, "has held Steam's shortcut files", waited);
}

std::string steam_lock_waiting_line(std::optional<std::string_view> holder) {
    return "[*] Waiting for " + another_run_text("run", holder) +
           " to finish with Steam's shortcut files...\n";
}

}  // namespace ml
