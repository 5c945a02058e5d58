#include "runs/shared_steps.hpp"

#include "platform/console.hpp"
#include "runs/steam_library_plan.hpp"
#include "steam/process_control.hpp"
#include "win_gui/message_box.hpp"

namespace ml {

void show_step(std::optional<ProgressDialog>& progress, const ProgressStep& step) {
    if (progress) progress->set_progress(step.percent, step.text);
}

// Steam keeps shortcuts.vdf in memory, reads it only at start-up and writes it back when it
// exits, so the client is closed while its files change unless the user wants it open.
bool close_steam_if_running(const SteamQuestion& question, bool ask, bool may_close) {
    if (!is_steam_running() || !may_close) return false;
    out(question.running_line);
    if (ask && !show_message_box(question.title, question.text, true)) {
        out(steam_stage::kRemainsOpen);
        return false;
    }
    out(steam_stage::kClosing);
    close_steam_process();
    return true;
}

void reopen_steam(bool closed, const std::vector<std::string>& roots) {
    if (!closed) return;
    out(steam_stage::kReopening);
    restart_steam_process(roots);
}

}  // namespace ml
