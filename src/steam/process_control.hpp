#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace ml {

// True when a steam.exe runs in this session. Another signed-in user's Steam runs in their
// session: it is not ours to close, and their files are not the ones we change.
bool is_steam_running();

// kSteamCloseWait, or ML_TEST_STEAM_CLOSE_MS milliseconds (a testing aid), read once.
std::chrono::milliseconds steam_close_wait();

// Asks the steam.exe of every absolute Steam root to shut down, calls `waiting` (the caller's
// progress text) and waits up to steam_close_wait() for this session's Steam to exit by
// itself; only then ends what is left of it, and looks again. True when no steam.exe runs in
// this session any more. False when Steam could not be ended: one started as administrator
// cannot be ended from a standard user's process. Without any request to send (no absolute
// root holds steam.exe), Steam is ended at once.
bool close_steam_process(const std::function<void()>& waiting = {});

// What became of a restart.
enum class SteamRestart { Started, LeftClosed };

// Starts the first absolute root's steam.exe, or opens steam:// when no absolute root has
// one, without waiting. An elevated setup does not hand Steam its own token: it asks the
// desktop shell to start Steam, and leaves Steam closed (LeftClosed) when it cannot.
SteamRestart restart_steam_process(const std::vector<std::string>& roots);

}  // namespace ml
