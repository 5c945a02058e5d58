// Steam library registration at install: the runner as a non-Steam shortcut with artwork in
// every account, with Steam closed around the change.
#include <optional>
#include <utility>

#include "platform/win32/console.hpp"
#include "platform/win32/entry_removal.hpp"
#include "platform/win32/files.hpp"
#include "platform/path.hpp"
#include "runs/win32/account_walk.hpp"
#include "runs/artwork.hpp"
#include "runs/win32/artwork_deploy.hpp"
#include "runs/gridloom_plan.hpp"
#include "runs/install_plan.hpp"
#include "runs/win32/install_stages.hpp"
#include "runs/win32/shared_steps.hpp"
#include "runs/steam_library_plan.hpp"
#include "runs/win32/steam_lock.hpp"
#include "runs/uninstall_plan.hpp"
#include "steam/win32/fetch.hpp"
#include "steam/win32/process_control.hpp"

namespace ml {
namespace {

// The five images for one account. A line claims only an image that is now in the grid
// folder: a failed download (an answer that is no image among them) leaves the kind out,
// and an earlier file in place, and says so; a grid folder that cannot be made (a file in
// its way) is named once, and no image is tried. A deployed logo gets its position file. A
// dry run lists the plan.
void deploy_account_artwork(const InstallContext& context, std::uint32_t appid,
                            const std::string& grid, std::size_t& images_written) {
    if (!context.options.dry_run) {
        // The walk made it when it could; asked again here for the reason it could not.
        if (auto made = create_directories(grid); !made) {
            err(grid_folder_failed_line(grid, made.error().display()));
            return;
        }
    }
    for (std::size_t k = 0; k < kSteamStageArtwork.size(); ++k) {
        const SteamStageArtwork& artwork = kSteamStageArtwork[k];
        const std::string dest = path_join(grid, artwork_file_name(kArtworkKinds[k], appid));
        if (!context.options.dry_run) {
            // download_or_copy prints its own line first.
            auto fetched = download_or_copy(steam_artwork_address(context.origin, artwork), dest,
                                            is_image_file);
            if (!fetched) {
                err(artwork_failed_line(artwork.label, fetched.error().display()));
                continue;
            }
            ++images_written;
        }
        out(steam_deployed_line(artwork.label, dest));
        if (k == kLogoArtwork && !context.options.dry_run) place_logo_position(grid, appid, "    ");
    }
}

// The walk's rules for the installation: folders made when possible, every failure silent.
// A file that cannot be read or parsed is left as it is and its account skipped, since
// writing a list without its entries would lose the user's other shortcuts. An entry of ours
// replaced under another app id (the runner is now in another folder) takes its artwork
// along once the new list is saved: nothing would ever show those images again.
AccountWalkRules library_rules(const InstallContext& context, std::uint32_t appid,
                               std::size_t& images_written,
                               std::optional<std::uint32_t>& superseded) {
    AccountWalkRules rules;
    rules.dry_run = context.options.dry_run;
    rules.folders = FolderRule::CreateIgnoringErrors;
    rules.missing = MissingFileRule::StartEmpty;
    rules.unreadable = DamagedFileRule::SkipAccount;
    rules.unparsable = DamagedFileRule::SkipAccount;
    rules.on_left_untouched = [](const AccountFiles& files, const LoadedShortcuts& loaded) {
        err(steam_left_untouched_line(files.shortcuts, loaded.error.message));
    };
    rules.edit = [&context, appid, &superseded](const AccountFiles& files,
                                                std::vector<SteamShortcut>& list) {
        SteamShortcut record = make_steam_library_shortcut(
            context, appid,
            path_join(files.grid, artwork_file_name(kArtworkKinds[kIconArtwork], appid)));
        superseded.reset();
        if (auto index = find_matching_shortcut(list, context.options.game_name, appid)) {
            const SteamShortcut earlier = std::exchange(list[*index], std::move(record));
            superseded = superseded_appid(earlier, appid, list);
        } else {
            list.push_back(std::move(record));
        }
    };
    rules.on_saved = [&context, &superseded](const AccountFiles& files, std::size_t) {
        if (!superseded || context.options.dry_run) return;
        const std::uint32_t id[] = {*superseded};
        for (const std::string& name : artwork_files_for(id))
            (void)remove_single_file(path_join(files.grid, name));
    };
    rules.after = [&context, appid, &images_written](const AccountFiles& files) {
        deploy_account_artwork(context, appid, files.grid, images_written);
    };
    return rules;
}

}  // namespace

Result<void> register_in_steam_library(const InstallContext& context) {
    out(steam_stage::kChecking);
    if (!context.steam_enabled) {
        out(steam_stage::kSkipped);
        return {};
    }
    if (context.steam_roots.empty()) {
        out(steam_stage::kNotDetected);
        return {};
    }
    out(steam_roots_found_line(context.steam_roots.size()));

    // Held from closing Steam to restarting it: a second installation waits, and then finds
    // (and closes) the Steam that the first one started again.
    auto lock = lock_steam_files(SteamRun::Installation);
    if (!lock) {
        err(steam_lock_skipped_line(lock.error().message));
        if (!context.options.dry_run) context.steam_nothing_delivered = true;
        return {};
    }
    // Another Windows user's Steam shares the Steam folder, and writes its account's list
    // back when it exits: the accounts of the folder it runs from stay as they are, and it is
    // not ours to close. Where it runs from cannot always be seen: then no folder is changed.
    const SteamRootsHeld roots = find_steam_roots_held_elsewhere(context.steam_roots);
    if (!roots.held.empty()) {
        err(steam_held_elsewhere_line(roots));
        if (roots.free.empty()) {
            if (!context.options.dry_run) context.steam_nothing_delivered = true;
            return {};
        }
    }
    // The progress window's status line, at the stage's percentage.
    const auto show = [&context](std::string_view text) {
        if (context.feedback && context.feedback->show)
            context.feedback->show(install_steps::kSteam.percent, text);
    };
    // A dry run looks but never closes.
    const bool ask = !context.options.cli && !context.options.non_interactive;
    const SteamBefore steam = close_steam_if_running(
        {steam_stage::kRunning, steam_stage::kQuestionTitle, steam_stage::kQuestion}, ask,
        !context.options.dry_run, show);
    if (steam == SteamBefore::CouldNotClose) {
        // Steam would write its own list over ours when it exits: its files stay as they
        // are, and it is not started a second time.
        err(steam_not_closed_line());
        context.steam_nothing_delivered = true;
        return {};
    }
    if (steam == SteamBefore::Closed) show(install_steps::kSteam.text);
    const std::uint32_t appid = steam_library_appid(context);
    std::size_t images_written = 0;
    std::optional<std::uint32_t> superseded;
    // Every failure of the walk is handled by its rules; the installation goes on.
    (void)walk_steam_accounts(roots.free,
                              library_rules(context, appid, images_written, superseded));
    reopen_steam(steam, context.steam_roots);
    // The summary then does not claim a library that got nothing: no account, or no image
    // reached one.
    if (!context.options.dry_run && images_written == 0) context.steam_nothing_delivered = true;
    return {};
}

}  // namespace ml
