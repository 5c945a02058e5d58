#pragma once

// The uninstaller's rules and texts that need no operating system: which Steam entries are
// the product's, what is removed for them, where the application folder is, the command
// that removes that folder after the program has gone, and every console and window text.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/folder_leftovers.hpp"
#include "runs/install_plan.hpp"
#include "steam/rules.hpp"
#include "vdf/shortcuts_vdf.hpp"

namespace ml {

// The progress window's steps, in the order the uninstallation reaches them.
namespace uninstall_steps {
inline constexpr ProgressStep kChecking{15, "Checking Steam installation..."};
inline constexpr ProgressStep kSteam{35, "Removing shortcuts and custom artwork from Steam..."};
inline constexpr ProgressStep kShortcuts{60, "Removing Start Menu and Desktop shortcuts..."};
inline constexpr ProgressStep kCleaning{80,
                                        "Cleaning application files and uninstaller entries..."};
inline constexpr ProgressStep kComplete{100, "Uninstallation complete!"};
}  // namespace uninstall_steps

// Caption of the confirmation box and of the progress window; the window's first message.
inline constexpr std::string_view kUninstallerTitle = "Marrowlane Uninstaller";
inline constexpr std::string_view kUninstallingMessage = "Uninstalling Marrowlane...";

// The question asked before anything is touched.
inline constexpr std::string_view kConfirmUninstallText =
    "Are you sure you want to completely remove Marrowlane from your system and Steam Library?";

// The question asked when Steam runs: it rewrites shortcuts.vdf from memory when it exits.
inline constexpr std::string_view kSteamRunningTitle = "Steam Running";
inline constexpr std::string_view kSteamRunningText =
    "Steam is currently open. It must be closed briefly to remove Marrowlane from your Steam "
    "library.\n\nClose Steam now? (It will be automatically restarted after uninstallation)";

// The information box at the end.
inline constexpr std::string_view kUninstalledTitle = "Marrowlane Uninstalled";
inline constexpr std::string_view kUninstalledText =
    "Marrowlane has been completely uninstalled from your system and Steam Library.";

// Console lines, each with its line break.
namespace uninstall_lines {
inline constexpr std::string_view kCancelled = "[*] Uninstallation cancelled by user.\n";
inline constexpr std::string_view kCheckingSteam =
    "[*] Checking Steam installation for shortcuts and grid artwork...\n";
inline constexpr std::string_view kSteamDetected = "  [*] Detected running Steam process.\n";
// After kSteamDetected, the installation's Steam lines follow (steam_stage).
inline constexpr std::string_view kSteamDone = "[\xE2\x9C\x93] Steam library entries removed.\n";
inline constexpr std::string_view kWindowsDone =
    "[\xE2\x9C\x93] Removed Windows shortcuts and uninstaller registry entries.\n";
}  // namespace uninstall_lines

// On standard error: an account whose shortcuts.vdf could not be read or parsed, left as it
// is (the path in debug form, the load's error message).
std::string uninstall_left_untouched_line(std::string_view shortcuts_path, std::string_view error);

// On standard error: the Steam work skipped because another run held the shortcut files.
std::string uninstall_lock_skipped_line(std::string_view reason);

// On standard error: the Steam work skipped because Steam could not be closed.
std::string uninstall_steam_not_closed_line();

// On standard error: the Steam work skipped where another user's Steam runs.
std::string uninstall_held_elsewhere_line(const SteamRootsHeld& held);

// The three banner lines printed when the work starts.
std::string uninstall_banner_text();

// On standard error, and in a box with windows, when another setup kept this one waiting
// past its limit: nothing was removed.
std::string uninstall_busy_line(std::string_view reason);
std::string uninstall_busy_box_text(std::string_view reason);

// The line naming the cleaned application folder (in debug form).
std::string cleaned_folder_line(std::string_view folder);

// What an uninstallation names as still in use, relative to the folder ("" for the folder
// itself): each file that could not be removed except `own` (the running uninstaller's
// image, which goes once it has exited), then each folder that stayed with nothing left in
// it. With entries left for good (links that cannot go) only files are named, since those
// explain the folders around them. The folder itself only when nothing else keeps it.
std::vector<std::string> entries_in_use(const FolderLeftovers& left,
                                        std::optional<std::string_view> own);

// On standard error, in place of the cleaned line, when entries are still in use (full
// paths, in debug form): they go once released when the removal after this program
// (`removal_pending`) takes them; otherwise the user must close Marrowlane and run the
// uninstaller again.
std::string files_in_use_line(std::span<const std::string> paths, bool removal_pending);

// Why the product's Steam entries stayed, when they did.
enum class SteamEntriesLeft {
    No,
    SteamStillRuns,    // Steam could not be closed, and would have written over our change
    AnotherRunBusy,    // another run held Steam's shortcut files past the wait
    HeldElsewhere,     // a Steam of another Windows user or session runs from their folder
};

// The closing lines: a blank line, then the success line between two rule lines. It says
// "cleanly" only when nothing stayed; otherwise it names what stays (the Steam entries, the
// files named above), so that a skipped step is never claimed as done.
std::string uninstall_closing_text(bool files_left = false,
                                   SteamEntriesLeft steam = SteamEntriesLeft::No);

// The end box's text: kUninstalledText when nothing stayed; otherwise it leaves out the Steam
// Library when its entries stayed (saying why and what to do), and lists the entries still in
// use (plain paths).
std::string uninstalled_box_text(std::span<const std::string> in_use, bool removal_pending,
                                 SteamEntriesLeft steam);

// True when a Steam shortcut is the product's: its AppName is "marrowlane" in any ASCII
// letter case (exactly those 10 bytes), or its Exe contains "marrowlane" in any letter case.
bool is_product_shortcut(const SteamShortcut& shortcut);

// A shortcut list without the product's entries.
struct ProductRemoval {
    std::vector<SteamShortcut> kept;            // the other entries, in their order
    std::vector<std::uint32_t> removed_appids;  // app ids of the removed ones, in file order
};

// Splits a list into the entries that stay and the app ids of the product's entries.
ProductRemoval remove_product_shortcuts(std::vector<SteamShortcut> shortcuts);

// The grid file names that are the product's for each app id, id by id: the five artwork
// kinds in deployment order, then the logo position file (duplicates repeat).
std::vector<std::string> artwork_files_for(std::span<const std::uint32_t> appids);

// The folder under which the application folder lies, i.e. LOCALAPPDATA, when it is an
// absolute path (drive letter and separator, or a UNC path); nullopt when it is unset, empty
// or relative, since the folder would then be whatever "Marrowlane" the current folder holds.
std::optional<std::string> application_folder_parent(const std::optional<std::string>& value);

// The name of the application folder inside that parent.
inline constexpr std::string_view kApplicationFolderName = "Marrowlane";

// How often the removal that runs after this program tries again, a second apart: about a
// minute for a program that still holds a file of the folder (a runner still open) to end.
inline constexpr int kDelayedRemovalAttempts = 60;

// That removal is a copy of this program in a folder of its own below the temporary folder
// (it cannot run from the folder it empties): "Marrowlane-Removal-" and `unique` in 16
// hexadecimal digits names the folder, and with ".exe" the copy in it. A name that no other
// file has: only the copy can be what the removal of the copy deletes.
std::string removal_program_folder_name(std::uint64_t unique);

// True for a name removal_program_folder_name gives: the copy goes with its folder once it
// has ended, and only a copy in such a folder does that.
bool is_removal_program_folder_name(std::string_view name);

// The command text that `cmd /d /e:on /v:off /c` runs to remove that copy once it has ended,
// started by the copy in the folder that holds the copy's folder, with its standard input
// ending only once the copy has exited. It enters the copy's folder at once (which the
// copy, running in it, still holds: nobody can have put another folder in its place), and
// holds it as its current folder; waits for the copy's end (`set /p` returns at the end of
// its input); then, up to 30 times a second apart (`ping` by its full path `ping_program`:
// cmd would look for a bare name in its working folder first) while the copy is still
// there, deletes it; then it leaves the folder and removes it the same way, only when empty
// (rmdir without /s removes no content, and a link only as a link). Only the folder's fixed name
// and the copy's reach cmd's parser, which expands %NAME% even between double quotes:
// nullopt when `folder_name` is not one removal_program_folder_name gives, or
// `ping_program` holds a character cmd would interpret.
std::optional<std::string> removal_program_cleanup_command(std::string_view folder_name,
                                                           std::string_view ping_program);

}  // namespace ml
