#pragma once

// The installation's record in its uninstall entry: written by the installation, read back by
// the uninstallation. The text and the rules for what a record may name are in
// install_record_plan.hpp.
#include "runs/install_context.hpp"
#include "runs/install_record_plan.hpp"

namespace ml {

// The record the uninstall entry holds; empty when there is none (an installation by an
// earlier version) or it cannot be read.
InstallRecord read_install_record();

// Writes the record of this installation into the uninstall entry: what is on disk now (its
// folder, the Marrowlane.lnk files where the shortcut stage puts them, and in each Steam
// account the entry with this installation's app id), then whatever the earlier record names
// that is still there, so that an installation into another folder orphans nothing of the
// one before. Best effort: without a record the uninstallation removes what it finds itself.
void write_install_record(const InstallContext& context);

}  // namespace ml
