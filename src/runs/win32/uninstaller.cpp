// The uninstallation: removes the product's Steam entries and artwork, the Windows
// shortcuts, the uninstall entry and the application folder, and what the installation
// recorded it made elsewhere. Every removal is best effort; the run itself never fails.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/console.hpp"
#include "platform/win32/entry_removal.hpp"
#include "platform/win32/env.hpp"
#include "platform/win32/files.hpp"
#include "platform/win32/folder_removal.hpp"
#include "platform/win32/known_folder.hpp"
#include "platform/path.hpp"
#include "platform/win32/registry.hpp"
#include "runs/win32/account_walk.hpp"
#include "runs/win32/install_record.hpp"
#include "runs/win32/leftover_removal.hpp"
#include "runs/registration_plan.hpp"
#include "runs/win32/runs.hpp"
#include "runs/win32/shared_steps.hpp"
#include "runs/win32/setup_lock.hpp"
#include "runs/win32/steam_lock.hpp"
#include "runs/uninstall_plan.hpp"
#include "steam/win32/discovery.hpp"
#include "steam/win32/process_control.hpp"
#include "win_gui/win32/message_box.hpp"

namespace ml {
namespace {

// Every account of every root: the product's entries leave shortcuts.vdf, then their
// artwork leaves the grid folder, with the artwork of the app ids the installation recorded
// for that account (an entry the user removed in Steam, or one an earlier installation had
// under another id), unless an entry that stays uses the id. An account without the file is
// skipped, and so is one whose file cannot be read in full or parsed: writing what we have
// would lose the user's other shortcuts.
void remove_product_from_steam(const std::vector<std::string>& roots, const InstallRecord& record) {
    std::vector<std::uint32_t> removed_appids;
    AccountWalkRules rules;
    rules.folders = FolderRule::Leave;
    rules.missing = MissingFileRule::SkipAccount;
    rules.unreadable = DamagedFileRule::SkipAccount;
    rules.unparsable = DamagedFileRule::SkipAccount;
    rules.on_left_untouched = [](const AccountFiles& files, const LoadedShortcuts& loaded) {
        err(uninstall_left_untouched_line(files.shortcuts, loaded.error.message));
    };
    rules.on_account = [&](const AccountFiles&) { removed_appids.clear(); };
    rules.edit = [&](const AccountFiles& files, std::vector<SteamShortcut>& list) {
        ProductRemoval removal = remove_product_shortcuts(std::move(list));
        list = std::move(removal.kept);
        removed_appids = std::move(removal.removed_appids);
        for (const std::uint32_t id : recorded_artwork_ids(record, files.user_dir, list))
            removed_appids.push_back(id);
    };
    rules.after = [&](const AccountFiles& files) {
        for (const std::string& name : artwork_files_for(removed_appids))
            (void)remove_single_file(path_join(files.grid, name));
    };
    // Nothing the walk reports can stop an uninstallation.
    (void)walk_steam_accounts(roots, rules);
}

// From the folders the shell names and from the environment's places, where earlier versions
// put them. Only absolute folders, as for the installation: an empty or relative APPDATA
// would name a Marrowlane.lnk below whatever folder the uninstaller runs in. Then the ones
// the installation recorded where it wrote them (a Desktop that OneDrive has since given
// back), each only while it still is a shell link: the record names the file, not what a
// program may have put there since.
void remove_windows_shortcuts(const InstallRecord& record) {
    const std::vector<std::string> places = shortcut_files_to_remove(
        known_folder_path(KnownFolder::Programs), known_folder_path(KnownFolder::Desktop),
        env_var("APPDATA"), env_var("USERPROFILE"));
    for (const std::string& path : places) (void)remove_single_file(path);
    for (const std::string& path : record.shortcuts) {
        const auto head = read_file_head(path, kShellLinkHeaderBytes);
        if (head && is_shell_link_header(*head)) (void)remove_single_file(path);
    }
}

// Through the registry interface, as the installation writes the entry: machines that block
// reg.exe would otherwise keep it, and a setup that starts no shell tools looks less like
// something for a security product to stop.
void remove_uninstall_entry() {
    (void)delete_registry_tree(HKEY_CURRENT_USER, kUninstallSubkey);
}

// Hands what this program could not remove itself (its own running image, files another
// program still holds, the folders around them) to the removal that runs once this program
// has exited, however long the user takes over the last message box, and retries for about
// a minute (leftover_removal.hpp): a hidden copy of this program that removes exactly those
// entries and never follows a link, also one put in place of the folder, or of a folder in
// it, after this program has gone. The removal is part of this uninstallation: it inherits
// the mark that keeps every later setup away from the folder until it has ended (without the
// mark it would delete what an installation started meanwhile writes, so it does not start
// without one). True when it started.
bool start_delayed_removal(const std::string& folder, const FolderLeftovers& left,
                           const SetupLock& lock) {
    // The folder as the system names it now: the removal checks every entry against it.
    const auto resolved = resolved_folder_path(folder);
    if (!resolved) return false;
    const UniqueHandle pending = lock.mark_removal_pending(folder);
    if (!pending) return false;
    return start_leftover_removal({*resolved, left.files, left.folders}, pending.get());
}

// The application folder: only below an absolute LOCALAPPDATA. With an empty or relative
// one, it would be whatever "Marrowlane" the current folder holds.
std::optional<std::string> application_folder() {
    const auto parent = application_folder_parent(env_var("LOCALAPPDATA"));
    if (!parent) return std::nullopt;
    return path_join(*parent, kApplicationFolderName);
}

// The running uninstaller's own image among the files left in `folder` (relative); nullopt
// when it is not one of them (a copy started from elsewhere).
std::optional<std::string> own_image_among(const std::string& folder,
                                           const std::vector<std::string>& files) {
    const auto self = running_program_path();
    if (!self) return std::nullopt;
    for (const std::string& file : files) {
        if (same_file(path_join(folder, file), *self)) return file;
    }
    return std::nullopt;
}

// What became of the folders the product used.
struct FolderCleaning {
    // Full paths still in use; our own image left out when the removal after exit takes it.
    std::vector<std::string> in_use;
    bool removal_pending = false;  // the removal after this program was started

    // Adds another folder's outcome: a removal is pending for all that is still in use only
    // when it is for each folder's.
    void add(FolderCleaning other) {
        if (other.in_use.empty()) return;
        removal_pending = (in_use.empty() || removal_pending) && other.removal_pending;
        in_use.insert(in_use.end(), other.in_use.begin(), other.in_use.end());
    }
};

// The folder is emptied here, depth first, without following any link inside it; only what
// is still in use is left for later.
FolderCleaning clean_application_folder(const std::string& folder, const SetupLock& lock) {
    FolderCleaning cleaning;
    const FolderLeftovers left = remove_folder_tree(folder, kApplicationFiles);
    // What stays for good (a link that cannot be removed as a link) keeps the folder, but
    // the setup's own image can still go.
    if (!left.files.empty() || !left.folders.empty() || (left.folder_left && left.kept == 0))
        cleaning.removal_pending = start_delayed_removal(folder, left, lock);
    // Our own image goes with the removal; without one it stays, and is named as well.
    const auto own = cleaning.removal_pending ? own_image_among(folder, left.files) : std::nullopt;
    for (const std::string& entry : entries_in_use(left, own))
        cleaning.in_use.push_back(entry.empty() ? folder : path_join(folder, entry));
    return cleaning;
}

// A folder the installation recorded besides the default one (one given with --install-dir):
// it may hold the user's own files, so only the product's files go, each without following
// a link, and the folder only once nothing else is left in it. A folder that holds none of
// the files only the product names so (it is gone, or was reused for something else) is not
// touched; nullopt then.
std::optional<FolderCleaning> clean_recorded_folder(const std::string& folder,
                                                    const SetupLock& lock) {
    const std::vector<std::string_view> names = product_file_names();
    const auto ours = [&](std::string_view name) {
        return is_distinctive_product_file(name) && is_regular_file(path_join(folder, name));
    };
    if (!is_plain_folder(folder) || std::none_of(names.begin(), names.end(), ours))
        return std::nullopt;
    FolderLeftovers left;
    for (const std::string_view name : names) {
        if (remove_single_file(path_join(folder, name)) == FileRemoval::InUse)
            left.files.emplace_back(name);
    }
    (void)remove_folder_if_empty(folder);
    FolderCleaning cleaning;
    if (!left.files.empty()) cleaning.removal_pending = start_delayed_removal(folder, left, lock);
    const auto own = cleaning.removal_pending ? own_image_among(folder, left.files) : std::nullopt;
    for (const std::string& file : left.files) {
        if (file != own) cleaning.in_use.push_back(path_join(folder, file));
    }
    return cleaning;
}

// Another setup kept this one waiting past the limit: nothing is touched, and the user is
// told so instead of being told it was uninstalled.
void report_nothing_removed(std::string_view reason, std::optional<ProgressDialog>& progress,
                            bool quiet) {
    err(uninstall_busy_line(reason));
    if (progress) {
        progress->close();
        progress.reset();
    }
    if (!quiet) (void)show_message_box(kUninstallerTitle, uninstall_busy_box_text(reason), false);
}

}  // namespace

Result<void> run_uninstaller(bool non_interactive, bool cli) {
    const bool quiet = non_interactive || cli;
    if (!quiet && !show_message_box(kUninstallerTitle, kConfirmUninstallText, true)) {
        out(uninstall_lines::kCancelled);
        return {};
    }

    std::optional<ProgressDialog> progress;
    if (!cli) {
        progress.emplace(kUninstallerTitle, kUninstallingMessage);
        show_step(progress, uninstall_steps::kChecking);
    }
    // One setup at a time, until the folder's removal after this program has ended.
    const std::optional<std::string> folder = application_folder();
    auto taken = lock_setup(RunKind::Uninstallation, folder, [&] {
        show_step(progress, {uninstall_steps::kChecking.percent, kSetupWaitingStatus});
    });
    out(uninstall_banner_text());
    if (!taken) {
        report_nothing_removed(taken.error().message, progress, quiet);
        return {};
    }
    std::optional<SetupLock> setup(std::move(*taken));
    show_step(progress, uninstall_steps::kChecking);
    // Read before the entry that holds it goes.
    const InstallRecord record = read_install_record();

    const std::vector<std::string> roots = detect_steam_roots(std::nullopt);
    out(uninstall_lines::kCheckingSteam);
    SteamEntriesLeft steam_left = SteamEntriesLeft::No;
    {
        // Held from closing Steam to restarting it, as by the installation. Without a root
        // there is nothing of Steam's to change, and no question.
        std::optional<Result<SteamFilesLock>> lock;
        if (!roots.empty()) lock.emplace(lock_steam_files(SteamRun::Uninstallation));
        const bool locked = !lock || *lock;
        if (!locked) {
            err(uninstall_lock_skipped_line(lock->error().message));
            steam_left = SteamEntriesLeft::AnotherRunBusy;
        }
        // Another Windows user's Steam would bring back the entries of its accounts when it
        // exits: the folder it runs from is left alone (every folder, when that cannot be seen).
        SteamRootsHeld split;
        split.free = roots;
        if (locked && !roots.empty()) {
            split = find_steam_roots_held_elsewhere(roots);
            if (!split.held.empty()) {
                err(uninstall_held_elsewhere_line(split));
                steam_left = SteamEntriesLeft::HeldElsewhere;
            }
        }
        const SteamBefore steam =
            locked && !split.free.empty()
                ? close_steam_if_running(
                      {uninstall_lines::kSteamDetected, kSteamRunningTitle, kSteamRunningText},
                      !quiet, true,
                      [&progress](std::string_view text) {
                          show_step(progress, {uninstall_steps::kChecking.percent, text});
                      })
                : SteamBefore::NotRunning;
        // Steam that still runs would write its own list back over ours when it exits.
        if (steam == SteamBefore::CouldNotClose) {
            err(uninstall_steam_not_closed_line());
            steam_left = SteamEntriesLeft::SteamStillRuns;
        }
        show_step(progress, uninstall_steps::kSteam);
        if (locked && steam != SteamBefore::CouldNotClose) {
            remove_product_from_steam(split.free, record);
            if (split.held.empty()) out(uninstall_lines::kSteamDone);
        }
        // Before the Windows shortcuts: the user gets Steam back as soon as its files are done.
        reopen_steam(steam, roots);
    }

    show_step(progress, uninstall_steps::kShortcuts);
    remove_windows_shortcuts(record);
    show_step(progress, uninstall_steps::kCleaning);
    remove_uninstall_entry();
    out(uninstall_lines::kWindowsDone);
    FolderCleaning cleaning;
    // Told apart before the default folder goes: a recorded folder may be it under another
    // spelling.
    std::vector<std::string> others = recorded_other_folders(record, folder);
    std::erase_if(others,
                  [&](const std::string& other) { return folder && same_file(other, *folder); });
    if (folder) {
        cleaning = clean_application_folder(*folder, *setup);
        if (cleaning.in_use.empty()) {
            out(cleaned_folder_line(*folder));
        } else {
            err(files_in_use_line(cleaning.in_use, cleaning.removal_pending));
        }
    }
    // Without a line of their own, so that a complete uninstallation prints what it always
    // has; only what stays there is named.
    for (const std::string& other : others) {
        auto cleaned = clean_recorded_folder(other, *setup);
        if (!cleaned || cleaned->in_use.empty()) continue;
        err(files_in_use_line(cleaned->in_use, cleaned->removal_pending));
        cleaning.add(std::move(*cleaned));
    }
    // The last change is made; a pending removal keeps the folder to itself.
    setup.reset();

    if (progress) {
        show_step(progress, uninstall_steps::kComplete);
        progress->close();
        progress.reset();
    }
    out(uninstall_closing_text(!cleaning.in_use.empty(), steam_left));
    if (!quiet) {
        (void)show_message_box(
            kUninstalledTitle,
            uninstalled_box_text(cleaning.in_use, cleaning.removal_pending, steam_left), false);
    }
    return {};
}

}  // namespace ml
