// The installation pipeline: the frame around the stages, with the options dialog, the
// progress window, the console lines and the final interaction.
#include <optional>
#include <string>

#include "platform/win32/console.hpp"
#include "platform/win32/env.hpp"
#include "platform/win32/files.hpp"
#include "runs/install_failure_plan.hpp"
#include "runs/install_plan.hpp"
#include "runs/win32/install_stages.hpp"
#include "runs/win32/setup_lock.hpp"
#include "runs/win32/shared_steps.hpp"
#include "runs/win32/runs.hpp"
#include "steam/win32/discovery.hpp"
#include "win_gui/win32/message_box.hpp"
#include "win_gui/win32/options_dialog.hpp"
#include "win_gui/win32/progress_dialog.hpp"

namespace ml {
namespace {

// Asks for the components unless the run is terminal or unattended; false when the user
// cancelled (or the dialog could not be shown), with the answers stored into options.
bool choose_components(InstallOptions& options, bool steam_found) {
    if (options.cli || options.non_interactive) return true;
    const ComponentChoices initial = decide_components(options, steam_found);
    const auto chosen = show_options_dialog(options.game_name, steam_found, initial.start_menu,
                                            initial.desktop, initial.steam_library);
    if (!chosen) return false;
    options.start_menu = chosen->start_menu;
    options.desktop = chosen->desktop;
    options.steam_library = chosen->steam_library;
    return true;
}

// A stage's error that ended the installation, with the step it stands for.
struct StageFailure {
    FatalStep step;
    Error error;
};

// The stages in pipeline order, each after its progress step; stops at the first error.
std::expected<void, StageFailure> run_stages(const InstallContext& context,
                                             const InstallStages& stages,
                                             std::optional<ProgressDialog>& progress) {
    struct Place {
        const ProgressStep& step;
        const InstallStages::Stage& stage;
        bool in_dry_run;
        // What the error box names when this stage ends the run (only the first two may).
        FatalStep fails_as = FatalStep::Other;
    };
    const Place places[] = {
        {install_steps::kConfiguration, stages.write_config, true, FatalStep::WriteConfig},
        {install_steps::kRunner, stages.deploy_runner, true, FatalStep::CopyRunner},
        {install_steps::kWebView2, stages.deploy_webview2_loader, true},
        {install_steps::kIcons, stages.deploy_icons_and_setup_copy, true},
        {install_steps::kSteam, stages.register_in_steam_library, true},
        // A dry run skips these two entirely: no progress step and no console line.
        {install_steps::kShortcuts, stages.create_windows_shortcuts, false},
        {install_steps::kRegistration, stages.register_uninstaller, false},
    };
    for (const Place& place : places) {
        if (context.options.dry_run && !place.in_dry_run) continue;
        show_step(progress, place.step);
        if (place.stage) {
            if (auto done = place.stage(context); !done)
                return std::unexpected(StageFailure{place.fails_as, std::move(done.error())});
        }
    }
    return {};
}

// Ends the installation with its first fatal error. The progress window goes first; a run
// with windows then says in a box what failed and what the user can do, as the error line
// that main prints reaches no one after a double-click. An unattended run (-y) is never left
// waiting on a box, and a terminal run shows none.
std::unexpected<Error> give_up(const InstallOptions& options,
                               std::optional<ProgressDialog>& progress, std::string_view box_text,
                               Error error) {
    if (progress) {
        progress->close();
        progress.reset();
    }
    if (!options.cli && !options.non_interactive)
        show_ok_box(failure_box_title(options.game_name), box_text, BoxIcon::Error);
    return std::unexpected(std::move(error));
}

void finish_interaction(const InstallContext& context) {
    const InstallOptions& options = context.options;
    if (options.non_interactive) return;
    if (options.cli) {
        out(kPressEnterPrompt);
        // End of input or a read error ends the wait just the same.
        (void)read_stdin_line();
        return;
    }
    const CompletionBox box = completion_box(context);
    show_ok_box(box.title, box.text, box.warning ? BoxIcon::Warning : BoxIcon::Information);
}

}  // namespace

Result<void> run_installer_with(InstallOptions options, const InstallStages& stages) {
    // Before any window: the options dialog words its Steam box after what was found.
    std::vector<std::string> steam_roots = detect_steam_roots(std::nullopt);
    // The folder goes into shortcuts and the uninstall entry, so it is stored as Windows
    // will create it: absolute (not relative to wherever the setup was started) and with
    // trailing dots and spaces dropped.
    if (options.install_dir && !options.install_dir->empty()) {
        if (auto full = full_path(*options.install_dir)) options.install_dir = std::move(*full);
    }
    std::optional<ProgressDialog> progress;
    // Refused before any question or change: a runner, shortcut or uninstall entry past the
    // path limit could be neither started nor removed.
    const std::string planned_path = install_path_for(options.install_dir, env_var("LOCALAPPDATA"));
    if (auto fits = check_install_path_length(planned_path); !fits) {
        const std::string box = folder_too_long_box_text(options.game_name, planned_path);
        return give_up(options, progress, box, std::move(fits.error()));
    }
    if (!choose_components(options, !steam_roots.empty())) {
        out(kCancelledLine);
        return {};
    }
    InstallContext context =
        make_install_context(std::move(options), std::move(steam_roots), env_var("LOCALAPPDATA"));

    if (!context.options.cli) {
        progress.emplace(progress_title(context.options.game_name),
                         progress_headline(context.options.game_name));
        show_step(progress, install_steps::kPreparing);
    }
    InstallFeedback feedback;
    feedback.show = [&progress](std::uint32_t percent, std::string_view text) {
        show_step(progress, {percent, text});
    };
    context.feedback = &feedback;

    // One setup at a time, from before the first change to after the last: an uninstallation
    // that ran meanwhile, or the removal of the folder it leaves to run after its exit,
    // would take the files of this installation away. A dry run changes nothing.
    std::optional<SetupLock> setup;
    if (!context.options.dry_run) {
        auto taken = lock_setup(RunKind::Installation, context.install_path, [&] {
            show_step(progress, {install_steps::kPreparing.percent, kSetupWaitingStatus});
        });
        if (!taken) {
            const std::string& reason = taken.error().message;
            return give_up(context.options, progress,
                           setup_busy_box_text(context.options.game_name, reason),
                           Error::make(taken.error().kind, install_busy_error(reason)));
        }
        setup.emplace(std::move(*taken));
        show_step(progress, install_steps::kPreparing);
    }
    out(banner_text());
    out(location_text(context));
    if (!context.options.dry_run) {
        if (auto made = create_directories(context.install_path); !made) {
            // Another setup need not wait while the box waits for the user.
            setup.reset();
            const std::string box =
                failure_box_text(context, FatalStep::CreateFolder, made.error());
            return give_up(context.options, progress, box, std::move(made.error()));
        }
    }
    if (auto done = run_stages(context, stages, progress); !done) {
        setup.reset();
        StageFailure& failure = done.error();
        const std::string box = failure_box_text(context, failure.step, failure.error);
        return give_up(context.options, progress, box, std::move(failure.error));
    }
    // Whatever the stages said, the summary and the box go by what is on disk: without the
    // runner, neither the shortcuts nor the Steam entry can start anything.
    context.runner_missing = !context.options.dry_run && !is_regular_file(context.runner_path);
    setup.reset();

    if (progress) {
        show_step(progress, install_steps::kComplete);
        progress->close();
        progress.reset();
    }
    out(summary_text(context));
    finish_interaction(context);
    return {};
}

Result<void> run_installer(InstallOptions options) {
    return run_installer_with(std::move(options), InstallStages{});
}

}  // namespace ml
