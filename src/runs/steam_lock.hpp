#pragma once

#include "platform/error.hpp"
#include "platform/handle.hpp"
#include "runs/steam_lock_plan.hpp"

namespace ml {

// Holds the per-user lock on Steam's shortcut files until destroyed. Owned by the thread
// that took it (a mutex is): every run does its Steam work on the main thread.
class SteamFilesLock {
  public:
    SteamFilesLock(UniqueHandle mutex, UniqueHandle holder)
        : mutex_(std::move(mutex)), holder_(std::move(holder)) {}
    SteamFilesLock(SteamFilesLock&&) noexcept = default;
    SteamFilesLock& operator=(SteamFilesLock&&) = delete;
    ~SteamFilesLock();

  private:
    UniqueHandle mutex_;
    UniqueHandle holder_;  // keeps this run's name readable for runs that wait
};

// Takes the lock for a run, waiting for another run that holds it (with a note on standard
// error) at most kSteamLockWait, or ML_TEST_STEAM_LOCK_MS milliseconds (a testing aid). A
// holder that ended without letting go has left it to us. Past the wait: Other, with
// steam_lock_busy_reason naming the run that holds it. Nothing may be written without it.
Result<SteamFilesLock> lock_steam_files(SteamRun run);

}  // namespace ml
