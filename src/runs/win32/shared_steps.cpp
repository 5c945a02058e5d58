#include "runs/win32/shared_steps.hpp"

#include "platform/win32/console.hpp"
#include "runs/steam_library_plan.hpp"
#include "steam/win32/process_control.hpp"
#include "win_gui/win32/message_box.hpp"

namespace ml {

void show_step(std::optional<ProgressDialog>& progress, const ProgressStep& step) {
    if (progress) progress->set_progress(step.percent, step.text);
}

// Steam keeps shortcuts.vdf in memory, reads it only at start-up and writes it back when it
// exits, so the client is closed while its files change unless the user wants it open.
SteamBefore close_steam_if_running(const SteamQuestion& question, bool ask, bool may_close,
                                   const std::function<void(std::string_view text)>& waiting) {
    if (!is_steam_running() || !may_close) return SteamBefore::NotRunning;
    out(question.running_line);
    if (ask && !show_message_box(question.title, question.text, true)) {
        out(steam_stage::kRemainsOpen);
        return SteamBefore::KeptOpen;
    }
    out(steam_stage::kClosing);
    const std::string wait_text = steam_close_wait_text(steam_close_wait());
    const bool closed = close_steam_process([&] {
        if (waiting) waiting(wait_text);
    });
    return closed ? SteamBefore::Closed : SteamBefore::CouldNotClose;
}

void reopen_steam(SteamBefore before, const std::vector<std::string>& roots) {
    if (before != SteamBefore::Closed) return;
    out(steam_stage::kReopening);
    if (restart_steam_process(roots) == SteamRestart::LeftClosed) err(steam_stage::kLeftClosed);
}

}  // namespace ml
