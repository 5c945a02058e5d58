#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "steam/rules.hpp"

namespace ml {

// True when a steam.exe runs in this session. Another signed-in user's Steam runs in their
// session and is not ours to close; but it shares the Steam folder, and with it every
// account's files, with us (find_steam_roots_held_elsewhere).
bool is_steam_running();

// Which of `roots` a running Steam of another Windows session or user holds: the root it
// runs from, or every root when its folder cannot be read (a standard user cannot open
// another user's process). Such a Steam writes its account's shortcut list back when it
// exits, so nothing of a held root's accounts may change.
SteamRootsHeld find_steam_roots_held_elsewhere(const std::vector<std::string>& roots);

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
