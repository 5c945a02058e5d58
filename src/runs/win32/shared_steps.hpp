#pragma once

// What the installation and the uninstallation both do around their work: show a progress
// step, and close Steam while its files change, starting it again afterwards.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runs/install_plan.hpp"
#include "win_gui/win32/progress_dialog.hpp"

namespace ml {

// Shows a step in the progress window when there is one (terminal runs have none).
void show_step(std::optional<ProgressDialog>& progress, const ProgressStep& step);

// The words one run uses when it finds Steam running: the console line, and the question.
struct SteamQuestion {
    std::string_view running_line;
    std::string_view title;
    std::string_view text;
};

// What became of Steam before a run changes its files.
enum class SteamBefore {
    NotRunning,  // not running in this session (or a dry run, which only looks)
    KeptOpen,    // running, and the user wants it open: the files change while it runs
    Closed,      // closed by this run, which starts it again afterwards (reopen_steam)
    // Still running after it was asked to close and then ended: Steam would overwrite
    // whatever changed in its files, so the run leaves them alone.
    CouldNotClose,
};

// Closes Steam if it runs, after asking (when `ask`) with the run's question; with
// `may_close` false (a dry run) it only looks. While it waits for Steam to close, `waiting`
// (when given) shows the wait in the run's progress window.
SteamBefore close_steam_if_running(const SteamQuestion& question, bool ask, bool may_close,
                                   const std::function<void(std::string_view text)>& waiting);

// Starts Steam again from the roots, with the reopening line, when `before` is Closed; says
// on standard error when an elevated run could not hand it to the desktop shell.
void reopen_steam(SteamBefore before, const std::vector<std::string>& roots);

}  // namespace ml
