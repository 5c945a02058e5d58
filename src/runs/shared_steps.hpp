#pragma once

// What the installation and the uninstallation both do around their work: show a progress
// step, and close Steam while its files change, starting it again afterwards.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runs/install_plan.hpp"
#include "win_gui/progress_dialog.hpp"

namespace ml {

// Shows a step in the progress window when there is one (terminal runs have none).
void show_step(std::optional<ProgressDialog>& progress, const ProgressStep& step);

// The words one run uses when it finds Steam running: the console line, and the question.
struct SteamQuestion {
    std::string_view running_line;
    std::string_view title;
    std::string_view text;
};

// Closes Steam if it runs, after asking (when `ask`) with the run's question; with
// `may_close` false (a dry run) it only looks. True when this run closed Steam, whether or
// not it has really ended, so that reopen_steam starts it again.
bool close_steam_if_running(const SteamQuestion& question, bool ask, bool may_close = true);

// Starts Steam again from the roots, with the reopening line, when `closed`.
void reopen_steam(bool closed, const std::vector<std::string>& roots);

}  // namespace ml
