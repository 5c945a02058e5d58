#pragma once

#include "cli/options.hpp"
#include "platform/error.hpp"

namespace ml {

// The installation: options dialog, progress window, files, Steam, shortcuts, registration.
// A cancelled installation is a success.
Result<void> run_installer(InstallOptions options);

// Removes everything the installer and the product's Steam shortcuts put on the machine.
// Never fails.
Result<void> run_uninstaller(bool non_interactive, bool cli);

// The removal that follows an uninstallation, in a copy of this program: once the uninstaller
// has exited (its standard input ends), removes what it left in the folder, trying for about
// a minute, never through a link. Never fails.
Result<void> run_leftover_removal(const LeftoverRemoval& removal);

// Adds or updates one non-Steam shortcut in every Steam account, with its artwork.
Result<void> run_gridloom(CliOptions options);

}  // namespace ml
