#pragma once

// The Windows shortcuts' and the uninstall entry's texts and rules that need no operating
// system: icon choice, working folder, console lines, the entry's eight values and the three
// that package managers and Windows Settings read besides.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace ml {

// The icon both shortcuts and the uninstall entry show: the installed icon file when it
// exists, otherwise the runner's own.
std::string shortcut_icon(std::string_view icon_path, std::string_view runner_path,
                          bool icon_exists);

// The folder a shortcut starts its target in: the target's parent, empty when it has none.
std::string shortcut_working_folder(std::string_view target);

// The .lnk file of the Start Menu / Desktop shortcut. It goes into the folder the shell
// reports (programs_folder / desktop_folder), which folder redirection and OneDrive's folder
// backup move away from the profile; below the environment's folder (APPDATA / USERPROFILE)
// only when the shell cannot say. A folder that is not an absolute path counts as not given:
// it would name a place below whatever folder the setup runs in. nullopt when neither is
// usable, and the shortcut is skipped.
std::optional<std::string> start_menu_shortcut_file(
    const std::optional<std::string>& programs_folder, const std::optional<std::string>& appdata);
std::optional<std::string> desktop_shortcut_file(const std::optional<std::string>& desktop_folder,
                                                 const std::optional<std::string>& userprofile);

// Every .lnk file an uninstallation removes: Marrowlane.lnk in the two folders the shell
// reports, and in the two environment places, where earlier versions put them; absolute
// folders only, each path once.
std::vector<std::string> shortcut_files_to_remove(const std::optional<std::string>& programs_folder,
                                                  const std::optional<std::string>& desktop_folder,
                                                  const std::optional<std::string>& appdata,
                                                  const std::optional<std::string>& userprofile);

// Console lines of the shortcut stage (paths in debug form).
inline constexpr std::string_view kShortcutsHeading =
    "\n[*] Creating Desktop and Start Menu shortcuts...\n";
std::string start_menu_created_line(std::string_view path);
std::string desktop_created_line(std::string_view path);
// On standard error when a shortcut ("Start Menu", "Desktop") could not be written: its path,
// and the reason.
std::string shortcut_failed_line(std::string_view label, std::string_view path,
                                 std::string_view reason);
// On standard error when no folder is known for a shortcut (the shell names none and the
// profile variable is unusable); the reason it gives is shortcut_no_folder_reason(label).
std::string shortcut_no_folder_line(std::string_view label);
std::string shortcut_no_folder_reason(std::string_view label);

// One value of the uninstall entry: a REG_SZ text or a REG_DWORD number.
struct UninstallValue {
    std::string_view name;
    std::variant<std::string, std::uint32_t> data;

    friend bool operator==(const UninstallValue&, const UninstallValue&) = default;
};

// The quoted setup copy in install_path followed by " --uninstall".
std::string uninstall_command(std::string_view install_path);

// The entry's icon: the quoted icon file, or the quoted runner with ",0" when the icon file
// is missing.
std::string display_icon(std::string_view icon_path, std::string_view runner_path,
                         bool icon_exists);

// The eight values in the order they are written.
std::vector<UninstallValue> uninstall_values(std::string_view install_path,
                                             std::string_view icon_path,
                                             std::string_view runner_path, bool icon_exists);

// The quoted setup copy in install_path followed by " --uninstall --cli -y": a removal that
// shows no window and asks nothing, as package managers run it.
std::string quiet_uninstall_command(std::string_view install_path);

// A size in bytes as whole KiB, rounded up (1 byte is 1 KiB), at most what a REG_DWORD holds.
std::uint32_t size_in_kib(std::uint64_t bytes);

// A calendar date of the local clock.
struct LocalDate {
    int year = 0;
    unsigned month = 0;
    unsigned day = 0;
};

// The date as YYYYMMDD, each part padded with zeros ("20250109").
std::string install_date_text(LocalDate date);

// The three values written after the eight: "QuietUninstallString", "EstimatedSize" (the
// installation folder's size in KiB; left out when the folder could not be measured, as 0
// would be shown as a size) and "InstallDate".
std::vector<UninstallValue> package_manager_values(std::string_view install_path,
                                                   std::optional<std::uint64_t> folder_bytes,
                                                   LocalDate today);

// Printed after every value was written.
inline constexpr std::string_view kUninstallerRegisteredLine =
    "  [\u2713] Registered uninstaller in Windows Settings > Installed Apps\n";

// On standard error instead, when the key or one of its values could not be written: the key
// below HKEY_CURRENT_USER, and the reason.
std::string uninstall_entry_failed_line(std::string_view subkey, std::string_view reason);

}  // namespace ml
