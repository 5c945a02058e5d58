#pragma once

// The installation's Steam stage without the operating system: the shortcut it puts into
// every account, the artwork it fetches for it, and its console lines.
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "runs/install_context.hpp"
#include "steam/rules.hpp"
#include "vdf/shortcuts_vdf.hpp"

namespace ml {

// The stage's app id: from the quoted runner path and the game name.
std::uint32_t steam_library_appid(const InstallContext& context);

// The entry for one account: the runner and the installation folder, each in double quotes
// (never taken as quoted already), the game address as launch options, and icon_path (the
// account's grid icon file) as its icon. Unlike the injection run's entry it keeps Steam's
// desktop configuration off.
SteamShortcut make_steam_library_shortcut(const InstallContext& context, std::uint32_t appid,
                                          std::string icon_path);

// The app id whose artwork goes when the stage has replaced `earlier` by its own entry (app
// id `appid`) in `list`: the earlier entry's, when that was the product's own under another
// shortcut id and no entry of the list still uses it; nullopt otherwise.
std::optional<std::uint32_t> superseded_appid(const SteamShortcut& earlier, std::uint32_t appid,
                                              std::span<const SteamShortcut> list);

// One artwork image the stage deploys: the file below "{origin}/media/steam/" and the label
// of its console line. Same kinds and order as kArtworkKinds.
struct SteamStageArtwork {
    std::string_view source_file;
    std::string_view label;
};
inline constexpr std::array<SteamStageArtwork, 5> kSteamStageArtwork = {{
    {"capsule.png", "Portrait Poster"},
    {"hero.png", "Hero Banner"},
    {"logo.png", "Title Logo"},
    {"banner.png", "Landscape Banner"},
    {"icon.png", "Square Icon"},
}};

// The address of one image on the distribution server: "{origin}/media/steam/{file}".
std::string steam_artwork_address(std::string_view origin, const SteamStageArtwork& artwork);

// The line printed per image that reached the grid folder (in a dry run, per image planned),
// the path in debug form.
std::string steam_deployed_line(std::string_view label, std::string_view path);

// On standard error, instead of the Deployed line: an image that is not in the grid folder
// (the fetch's error message), and, once for the account, a grid folder that could not be
// created (the path in debug form, the error message).
std::string artwork_failed_line(std::string_view label, std::string_view error);
std::string grid_folder_failed_line(std::string_view grid, std::string_view error);

// The stage's fixed lines and question.
namespace steam_stage {
inline constexpr std::string_view kChecking = "\n[*] Checking Steam installation...\n";
inline constexpr std::string_view kSkipped =
    "  [*] Steam library injection skipped per installation options.\n";
inline constexpr std::string_view kNotDetected =
    "  [!] Steam not detected on system. Skipping Steam library injection.\n";
inline constexpr std::string_view kRunning = "  [*] Steam is currently running.\n";
inline constexpr std::string_view kRemainsOpen =
    "  [!] Steam remains open. Shortcuts will take effect after you restart Steam.\n";
inline constexpr std::string_view kClosing = "  [*] Closing Steam...\n";
inline constexpr std::string_view kReopening = "  [*] Reopening Steam...\n";
// On standard error, after kReopening: an elevated run that could not have the desktop shell
// start Steam leaves it closed rather than give it the administrator's token.
inline constexpr std::string_view kLeftClosed =
    "  [!] Steam was not started again: this setup runs as administrator, and Steam started "
    "by it would run as administrator too. Start Steam yourself.\n";
inline constexpr std::string_view kQuestionTitle = "Steam Running";
inline constexpr std::string_view kQuestion =
    "Steam is currently running. It must be closed briefly to register Marrowlane in your "
    "Steam library without conflict.\n\nClose Steam now? (It will be automatically restarted "
    "after installation)";
}  // namespace steam_stage

// "  [✓] Found {count} Steam root(s). Injecting shortcuts and custom artwork...\n"
std::string steam_roots_found_line(std::size_t count);

// The two stderr lines the installation and the uninstallation share, each ending in what
// the run could not do: an account whose shortcuts.vdf could not be read, and Steam work
// skipped because another run held the Steam files (`reason`).
std::string left_untouched_line(std::string_view shortcuts_path, std::string_view error,
                                std::string_view consequence);
std::string steam_work_skipped_line(std::string_view reason, std::string_view consequence);

// On standard error: an account whose shortcuts.vdf could not be read or parsed, which the
// stage leaves as it is (the path in debug form, the load's error message).
std::string steam_left_untouched_line(std::string_view shortcuts_path, std::string_view error);

// On standard error: the Steam work skipped because another run held the shortcut files.
std::string steam_lock_skipped_line(std::string_view reason);

// Why a run left every Steam file alone: Steam still ran after it was asked to close and
// then ended (steam_work_skipped_line's reason).
inline constexpr std::string_view kSteamNotClosedReason =
    "Steam could not be closed (it may be running as administrator)";

// On standard error: the installation's Steam work skipped because Steam could not be closed.
std::string steam_not_closed_line();

// Why a run left the accounts of the held roots alone (steam_work_skipped_line's reason): a
// Steam of another Windows user or session runs from the named folders (in debug form), or
// from one the setup may not see, and would write over the change when it exits.
std::string steam_held_elsewhere_reason(const SteamRootsHeld& held);

// On standard error: the installation's Steam work skipped where another user's Steam runs.
std::string steam_held_elsewhere_line(const SteamRootsHeld& held);

// The progress window's text while Steam is given `wait` to close by itself.
std::string steam_close_wait_text(std::chrono::milliseconds wait);

}  // namespace ml
