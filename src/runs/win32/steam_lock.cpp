#include "runs/win32/steam_lock.hpp"

#include "platform/win32/console.hpp"

namespace ml {

Result<SteamFilesLock> lock_steam_files(SteamRun run) {
    static const std::chrono::milliseconds wait =
        lock_wait_from_env("ML_TEST_STEAM_LOCK_MS", kSteamLockWait);
    RunLockWait waiting;
    waiting.deadline = std::chrono::steady_clock::now() + wait;
    waiting.on_wait = [](std::optional<std::string_view> holder) {
        err(steam_lock_waiting_line(holder));
    };
    waiting.busy_reason = [](std::optional<std::string_view> holder) {
        return steam_lock_busy_reason(holder, wait);
    };
    return take_run_lock({kSteamLockName, kSteamLockHolderName}, run, waiting);
}

}  // namespace ml
