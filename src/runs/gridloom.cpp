// The injection run: one non-Steam shortcut, added or updated in every Steam account.
#include "platform/console.hpp"
#include "platform/files.hpp"
#include "platform/path.hpp"
#include "platform/text.hpp"
#include "runs/artwork.hpp"
#include "runs/artwork_deploy.hpp"
#include "runs/gridloom_plan.hpp"
#include "runs/runs.hpp"
#include "steam/discovery.hpp"
#include "vdf/shortcuts_vdf.hpp"

namespace ml {
namespace {

// One account: read its shortcuts, replace or append ours, write them back, deploy artwork.
// Steam may be running: it reads shortcuts.vdf only at start-up, so the change shows after
// the user restarts it. An error here ends the whole run.
Result<void> inject_into_account(const std::string& user_dir, const CliOptions& options,
                                 std::uint32_t appid) {
    const std::string config = path_join(user_dir, "config");
    const std::string grid = path_join(config, "grid");
    const std::string file = path_join(config, "shortcuts.vdf");
    out("  -> User config directory: " + debug_quote(config) + "\n");

    if (!options.dry_run) {
        if (auto made = create_directories(config); !made) return made;
        if (auto made = create_directories(grid); !made) return made;
    }

    std::vector<SteamShortcut> shortcuts;
    const bool file_exists = path_exists(file);
    if (!file_exists) {
        out("     shortcuts.vdf does not exist yet. Creating a new one.\n");
    } else {
        auto bytes = read_file(file);
        if (!bytes) return std::unexpected(bytes.error());
        auto parsed = parse_shortcuts_vdf(*bytes);
        if (parsed) {
            shortcuts = std::move(*parsed);
            out("     Read " + std::to_string(shortcuts.size()) + " existing shortcuts from " +
                debug_quote(file) + "\n");
        } else {
            err("     [Warning] Failed to parse existing VDF (" + parsed.error().message +
                "). Creating backup and starting fresh.\n");
            // Kept even in a dry run: it is the only copy of what the user had.
            (void)copy_file(file, path_join(config, "shortcuts.vdf.corrupt.bak"));
        }
    }

    SteamShortcut record = make_gridloom_shortcut(
        options, appid, path_join(grid, artwork_file_name(kArtworkKinds[kIconArtwork], appid)));
    if (auto index = find_matching_shortcut(shortcuts, options.name, appid)) {
        out("     Updating existing shortcut at index " + std::to_string(*index) + "\n");
        shortcuts[*index] = std::move(record);
    } else {
        out("     Appending new shortcut for '" + options.name + "'\n");
        shortcuts.push_back(std::move(record));
    }

    if (options.dry_run) {
        out("     [Dry Run] Would write " + std::to_string(shortcuts.size()) + " shortcuts to " +
            debug_quote(file) + "\n");
    } else {
        if (file_exists) (void)copy_file(file, path_join(config, "shortcuts.vdf.bak"));
        // Written beside and moved into place, so a failed write never leaves the user with
        // a truncated or empty shortcuts.vdf.
        if (auto written = replace_file_atomically(file, serialize_shortcuts_vdf(shortcuts));
            !written) {
            return written;
        }
        out("     Successfully wrote " + std::to_string(shortcuts.size()) + " shortcuts to " +
            debug_quote(file) + "\n");
    }

    deploy_artwork(grid, appid,
                   {options.capsule, options.hero, options.logo, options.banner, options.icon},
                   options.dry_run);
    return {};
}

}  // namespace

Result<void> run_gridloom(CliOptions options) {
    const std::uint32_t appid = gridloom_appid(options);
    out(gridloom_header(options, appid));

    // The search goes on without the folder, so a mistyped test folder must not silently
    // lead to the user's real Steam library.
    if (options.steam_dir && !path_exists(*options.steam_dir)) {
        err("[Warning] Steam folder not found: " + debug_quote(*options.steam_dir) +
            "; searching the standard locations instead.\n");
    }
    const std::vector<std::string> roots = detect_steam_roots(options.steam_dir);
    if (roots.empty()) {
        err("[!] No Steam installation found in standard directories (~/.local/share/Steam, "
            "~/.steam/steam, Flatpak).\n");
        err("[!] Use --steam-dir to specify a custom Steam directory.\n");
        return {};
    }
    out("[*] Found " + std::to_string(roots.size()) + " Steam installation root(s).\n");

    for (const std::string& root : roots) {
        out("\n[*] Processing Steam root: " + debug_quote(root) + "\n");
        const std::vector<std::string> users = find_userdata_dirs(root);
        if (users.empty()) {
            out("  [!] No user profiles found in " + debug_quote(root) + "/userdata. Skipping.\n");
            continue;
        }
        for (const std::string& user : users) {
            if (auto done = inject_into_account(user, options, appid); !done) return done;
        }
    }

    out("\n\xE2\x9C\x93 Steam injection complete! Return to Steam or restart Steam to see your "
        "game.\n");
    return {};
}

}  // namespace ml
