// The injection run: one non-Steam shortcut, added or updated in every Steam account.
#include "platform/win32/console.hpp"
#include "platform/win32/files.hpp"
#include "platform/path.hpp"
#include "platform/text.hpp"
#include "runs/win32/account_walk.hpp"
#include "runs/artwork.hpp"
#include "runs/win32/artwork_deploy.hpp"
#include "runs/gridloom_plan.hpp"
#include "runs/win32/runs.hpp"
#include "runs/win32/steam_lock.hpp"
#include "steam/win32/discovery.hpp"
#include "vdf/shortcuts_vdf.hpp"

namespace ml {
namespace {

// The injection run's rules for the shared account walk. Steam may be running: it reads
// shortcuts.vdf only at start-up, so the change shows after the user restarts it. A folder
// that cannot be created, a file that cannot be read or written ends the whole run; a file
// that cannot be parsed is kept as shortcuts.vdf.corrupt.bak and replaced by a fresh list.
AccountWalkRules injection_rules(const CliOptions& options, std::uint32_t appid) {
    AccountWalkRules rules;
    rules.dry_run = options.dry_run;
    rules.folders = FolderRule::CreateOrFail;
    rules.missing = MissingFileRule::StartEmpty;
    rules.unreadable = DamagedFileRule::Fail;
    rules.unparsable = DamagedFileRule::BackupAndStartEmpty;
    rules.backup_before_write = true;
    rules.fail_on_write_error = true;

    rules.on_root = [](const std::string& root) {
        out("\n[*] Processing Steam root: " + debug_quote(root) + "\n");
    };
    rules.on_root_without_accounts = [](const std::string& root) {
        out("  [!] No user profiles found in " + debug_quote(root) + "/userdata. Skipping.\n");
    };
    rules.on_account = [](const AccountFiles& files) {
        out("  -> User config directory: " + debug_quote(files.config) + "\n");
    };
    rules.on_loaded = [](const AccountFiles& files, const LoadedShortcuts& loaded) {
        switch (loaded.state) {
            case LoadedShortcuts::State::Parsed:
                out("     Read " + std::to_string(loaded.shortcuts.size()) +
                    " existing shortcuts from " + debug_quote(files.shortcuts) + "\n");
                break;
            case LoadedShortcuts::State::Unparsable:
                err("     [Warning] Failed to parse existing VDF (" + loaded.error.message +
                    "). Creating backup and starting fresh.\n");
                break;
            default:
                out("     shortcuts.vdf does not exist yet. Creating a new one.\n");
                break;
        }
    };
    rules.edit = [&options, appid](const AccountFiles& files, std::vector<SteamShortcut>& list) {
        SteamShortcut record = make_gridloom_shortcut(
            options, appid,
            path_join(files.grid, artwork_file_name(kArtworkKinds[kIconArtwork], appid)));
        if (auto index = find_matching_shortcut(list, options.name, appid)) {
            out("     Updating existing shortcut at index " + std::to_string(*index) + "\n");
            list[*index] = std::move(record);
        } else {
            out("     Appending new shortcut for '" + options.name + "'\n");
            list.push_back(std::move(record));
        }
    };
    rules.on_saved = [dry_run = options.dry_run](const AccountFiles& files, std::size_t count) {
        out((dry_run ? "     [Dry Run] Would write " : "     Successfully wrote ") +
            std::to_string(count) + " shortcuts to " + debug_quote(files.shortcuts) + "\n");
    };
    rules.after = [&options, appid](const AccountFiles& files) {
        deploy_artwork(files.grid, appid,
                       {options.capsule, options.hero, options.logo, options.banner, options.icon},
                       options.dry_run);
    };
    return rules;
}

}  // namespace

Result<void> run_gridloom(CliOptions options) {
    const std::uint32_t appid = gridloom_appid(options);
    out(gridloom_header(options, appid));

    // A mistyped folder must not lead to the user's real Steam library: nothing else is
    // searched, and nothing is touched.
    if (const auto& dir = options.steam_dir) {
        if (auto usable = check_steam_dir(*dir, path_exists(*dir), is_directory(*dir)); !usable)
            return usable;
    }
    const std::vector<std::string> roots = detect_steam_roots(options.steam_dir);
    if (roots.empty()) {
        err("[!] No Steam installation found in standard directories (~/.local/share/Steam, "
            "~/.steam/steam, Flatpak).\n");
        err("[!] Use --steam-dir to specify a custom Steam directory.\n");
        return {};
    }
    out("[*] Found " + std::to_string(roots.size()) + " Steam installation root(s).\n");

    // Another run (a second --name from the same script, an installation) must not read the
    // files while this one changes them, or one of the two changes would be lost.
    auto lock = lock_steam_files(SteamRun::Injection);
    if (!lock) {
        return fail(lock.error().kind, "Nothing was written: " + lock.error().message +
                                           ". Run this again once it has finished.");
    }
    if (auto done = walk_steam_accounts(roots, injection_rules(options, appid)); !done) return done;

    out("\n\xE2\x9C\x93 Steam injection complete! Return to Steam or restart Steam to see your "
        "game.\n");
    return {};
}

}  // namespace ml
