#pragma once

// The rules and texts of the setup lock, without the operating system. An installation and
// an uninstallation that overlap would each leave half of their work: the uninstallation's
// removal of the folder, which runs on after it has exited, would take the installation's
// files away after it reported success. So one setup runs at a time, and a removal still
// pending counts as part of the uninstallation that left it.
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "runs/run_lock_plan.hpp"

namespace ml {

// The per-user (session) named mutex, and the shared memory where its holder names itself.
// Taken before the Steam files' lock, never after it, so that two runs cannot each hold one
// and wait for the other.
inline constexpr std::wstring_view kSetupLockName = L"Local\\Marrowlane-Setup";
inline constexpr std::wstring_view kSetupLockHolderName = L"Local\\Marrowlane-Setup-Holder";

// How long a setup waits for another one, a pending removal of its folder included: longer
// than an installation or an uninstallation takes, Steam's shutdown and the removal's minute
// of retries included.
inline constexpr std::chrono::milliseconds kSetupLockWait = std::chrono::minutes(3);

// The name of the shared memory that exists exactly while a removal of one folder, left by an
// uninstallation to run after its exit, is pending. `folder_key` is the folder's full path as
// the system spells it, letter case folded; the name holds a hash of it (a path can be longer
// than an object name may be).
std::wstring removal_marker_name(std::string_view folder_key);

// On standard error when a run finds another setup running, and when it finds a removal of
// its folder still pending (the folder in debug form). The holder text as the other run
// gave it; without one the parenthesis is left out.
std::string setup_lock_waiting_line(std::optional<std::string_view> holder);
std::string removal_waiting_line(std::string_view folder, std::optional<std::string_view> holder);

// The progress window's status text while a run waits.
inline constexpr std::string_view kSetupWaitingStatus =
    "Waiting for another Marrowlane setup to finish...";

// Why a run gave up waiting: "another Marrowlane setup (process 1234, an uninstallation) has
// been running for over 3 minutes", or "... has been removing the application folder for
// over 3 minutes".
std::string setup_lock_busy_reason(std::optional<std::string_view> holder,
                                   std::chrono::milliseconds waited);
std::string removal_busy_reason(std::optional<std::string_view> holder,
                                std::chrono::milliseconds waited);

// The installation's error when it gave up waiting, before it changed anything.
std::string install_busy_error(std::string_view reason);

}  // namespace ml
