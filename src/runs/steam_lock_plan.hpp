#pragma once

// The rules and texts of the lock that every run editing shortcuts.vdf holds, without the
// operating system. Atomic replacement keeps a file whole, but two runs that both read it
// before either writes would still lose one run's entry: so they take turns.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "runs/run_lock_plan.hpp"

namespace ml {

// The per-user (session) named mutex, and the shared memory where its holder names itself.
inline constexpr std::wstring_view kSteamLockName = L"Local\\Marrowlane-SteamShortcuts";
inline constexpr std::wstring_view kSteamLockHolderName =
    L"Local\\Marrowlane-SteamShortcuts-Holder";

// How long a run waits for another one: longer than any installation's Steam work takes
// (Steam's shutdown and five downloads per account).
inline constexpr std::chrono::milliseconds kSteamLockWait = std::chrono::minutes(3);

// The runs that hold the lock: all three.
using SteamRun = RunKind;

// Why a run gave up waiting: "another Marrowlane run (process 1234, an installation) has held
// Steam's shortcut files for over 3 minutes"; without a holder text the parenthesis is left
// out.
std::string steam_lock_busy_reason(std::optional<std::string_view> holder,
                                   std::chrono::milliseconds waited);

// On standard error while a run waits for another one, named as it names itself:
// "[*] Waiting for another Marrowlane run (process 1234, an installation) to finish with
// Steam's shortcut files...".
std::string steam_lock_waiting_line(std::optional<std::string_view> holder);

}  // namespace ml
