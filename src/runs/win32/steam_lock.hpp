#pragma once

#include "platform/error.hpp"
#include "runs/win32/run_lock.hpp"
#include "runs/steam_lock_plan.hpp"

namespace ml {

// Holds the per-user lock on Steam's shortcut files until destroyed.
using SteamFilesLock = RunLock;

// Takes the lock for a run, waiting for another run that holds it (with a note on standard
// error) at most kSteamLockWait, or ML_TEST_STEAM_LOCK_MS milliseconds (a testing aid). A
// holder that ended without letting go has left it to us. Past the wait: Other, with
// steam_lock_busy_reason naming the run that holds it. Nothing may be written without it.
// A run that also takes the setup lock takes that one first.
Result<SteamFilesLock> lock_steam_files(SteamRun run);

}  // namespace ml
