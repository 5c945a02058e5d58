#pragma once

#include "cli/options.hpp"
#include "platform/win32/handle.hpp"

namespace ml {

// Hands what an uninstallation could not remove from a folder (`removal`, the folder as
// resolved_folder_path names it) to the removal that runs after this program has exited: a
// hidden copy of this program, made in a new folder of its own below the temporary folder,
// started with its input ending once this program has exited, and out of any job this
// program runs in where the job allows it. It inherits `mark` (an inheritable handle),
// which then lives exactly as long as it runs. True when it started.
bool start_leftover_removal(const LeftoverRemoval& removal, HANDLE mark);

}  // namespace ml
