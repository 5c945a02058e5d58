#pragma once

#include <string>
#include <vector>

namespace ml {

// True when tasklist lists a process with the image name steam.exe.
bool is_steam_running();

// Asks the steam.exe of every absolute Steam root to shut down, waits up to about two
// seconds, then ends steam.exe by image name and waits up to two seconds more. May return
// with Steam running.
void close_steam_process();

// Starts the first absolute root's steam.exe without waiting, or opens steam:// when no
// absolute root has one.
void restart_steam_process(const std::vector<std::string>& roots);

}  // namespace ml
