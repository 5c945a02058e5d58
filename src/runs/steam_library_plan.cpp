#include "runs/steam_library_plan.hpp"

#include <algorithm>

#include "cli/options.hpp"
#include "platform/text.hpp"
#include "runs/install_record_plan.hpp"
#include "runs/uninstall_plan.hpp"
#include "vdf/appid.hpp"

namespace ml {
std::uint32_t steam_library_appid(const InstallContext& context) {
    return compute_steam_appid(in_double_quotes(context.runner_path), context.options.game_name);
}

SteamShortcut make_steam_library_shortcut(const InstallContext& context, std::uint32_t appid,
                                          std::string icon_path) {
    SteamShortcut s;
    s.appid = appid;
    s.app_name = context.options.game_name;
    s.exe = in_double_quotes(context.runner_path);
    s.start_dir = in_double_quotes(context.install_path);
    s.icon = std::move(icon_path);
    s.launch_options = url_launch_options(context.options.game_url);
    s.is_hidden = 0;
    s.allow_desktop_config = 0;
    s.allow_overlay = 1;
    s.tags = {"Marrowlane", "WebAssembly"};
    return s;
}

std::optional<std::uint32_t> superseded_appid(const SteamShortcut& earlier, std::uint32_t appid,
                                              std::span<const SteamShortcut> list) {
    if (earlier.appid == appid || !is_shortcut_appid(earlier.appid) ||
        !is_product_shortcut(earlier))
        return std::nullopt;
    const auto uses = [&](const SteamShortcut& s) { return s.appid == earlier.appid; };
    if (std::any_of(list.begin(), list.end(), uses)) return std::nullopt;
    return earlier.appid;
}

std::string steam_artwork_address(std::string_view origin, const SteamStageArtwork& artwork) {
    return std::string(origin) + "/media/steam/" + std::string(artwork.source_file);
}

std::string steam_deployed_line(std::string_view label, std::string_view path) {
    return "    [\xE2\x9C\x93] Deployed " + std::string(label) + " -> " + debug_quote(path) + "\n";
}

std::string artwork_failed_line(std::string_view label, std::string_view error) {
    return "    [!] Failed to deploy " + std::string(label) + ": " + std::string(error) + "\n";
}

std::string grid_folder_failed_line(std::string_view grid, std::string_view error) {
    return "  [!] Could not create the artwork folder " + debug_quote(grid) + " (" +
           std::string(error) + "). No artwork was deployed for this Steam account.\n";
}

std::string steam_roots_found_line(std::size_t count) {
    return "  [\xE2\x9C\x93] Found " + std::to_string(count) +
           " Steam root(s). Injecting shortcuts and custom artwork...\n";
}

std::string left_untouched_line(std::string_view shortcuts_path, std::string_view error,
                                std::string_view consequence) {
    return "  [!] Left " + debug_quote(shortcuts_path) + " untouched: it could not be read (" +
           std::string(error) + "). " + std::string(consequence) + "\n";
}

std::string steam_work_skipped_line(std::string_view reason, std::string_view consequence) {
    return "  [!] Skipped the Steam library: " + std::string(reason) + ". " +
           std::string(consequence) + "\n";
}

std::string steam_left_untouched_line(std::string_view shortcuts_path, std::string_view error) {
    return left_untouched_line(shortcuts_path, error,
                               "Marrowlane was not added to this Steam account.");
}

std::string steam_lock_skipped_line(std::string_view reason) {
    return steam_work_skipped_line(
        reason, "Marrowlane was not added to Steam; run the setup again to add it.");
}

std::string steam_not_closed_line() {
    return steam_work_skipped_line(
        kSteamNotClosedReason,
        "Marrowlane was not added to Steam; close Steam and run the setup again to add it.");
}

std::string steam_held_elsewhere_reason(const SteamRootsHeld& held) {
    std::string reason = "a Steam of another Windows user or session runs ";
    if (held.unplaced || held.folders.empty()) {
        reason += "(from a folder this setup may not see)";
    } else {
        reason += "from ";
        for (std::size_t i = 0; i < held.folders.size(); ++i)
            reason += (i > 0 ? " and " : "") + debug_quote(held.folders[i]);
    }
    return reason + " and would write over the change when it exits";
}

std::string steam_held_elsewhere_line(const SteamRootsHeld& held) {
    return steam_work_skipped_line(steam_held_elsewhere_reason(held),
                                   "Marrowlane was not added to its Steam accounts; run the setup "
                                   "again once that Steam has closed.");
}

std::string steam_close_wait_text(std::chrono::milliseconds wait) {
    return "Waiting up to " + duration_text(wait) + " for Steam to close...";
}

}  // namespace ml
