#include "runs/registration_plan.hpp"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "build_config.hpp"
#include "platform/path.hpp"
#include "platform/text.hpp"
#include "runs/install_plan.hpp"

namespace ml {

std::string shortcut_icon(std::string_view icon_path, std::string_view runner_path,
                          bool icon_exists) {
    return std::string(icon_exists ? icon_path : runner_path);
}

std::string shortcut_working_folder(std::string_view target) {
    return path_parent(target);
}

namespace {

constexpr std::string_view kShortcutFileName = "Marrowlane.lnk";

// The folder when it is given and absolute.
std::optional<std::string> usable_folder(const std::optional<std::string>& folder) {
    if (folder && is_absolute_path(*folder)) return folder;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> start_menu_shortcut_file(
    const std::optional<std::string>& programs_folder, const std::optional<std::string>& appdata) {
    if (auto shell = usable_folder(programs_folder)) return path_join(*shell, kShortcutFileName);
    if (auto base = usable_folder(appdata)) return start_menu_shortcut_path(*base);
    return std::nullopt;
}

std::optional<std::string> desktop_shortcut_file(const std::optional<std::string>& desktop_folder,
                                                 const std::optional<std::string>& userprofile) {
    if (auto shell = usable_folder(desktop_folder)) return path_join(*shell, kShortcutFileName);
    if (auto base = usable_folder(userprofile)) return desktop_shortcut_path(*base);
    return std::nullopt;
}

std::vector<std::string> shortcut_files_to_remove(const std::optional<std::string>& programs_folder,
                                                  const std::optional<std::string>& desktop_folder,
                                                  const std::optional<std::string>& appdata,
                                                  const std::optional<std::string>& userprofile) {
    const std::optional<std::string> none;
    const std::optional<std::string> candidates[] = {
        start_menu_shortcut_file(programs_folder, none),
        desktop_shortcut_file(desktop_folder, none),
        start_menu_shortcut_file(none, appdata),
        desktop_shortcut_file(none, userprofile),
    };
    std::vector<std::string> files;
    for (const auto& candidate : candidates) {
        if (candidate && std::find(files.begin(), files.end(), *candidate) == files.end())
            files.push_back(*candidate);
    }
    return files;
}

std::string start_menu_created_line(std::string_view path) {
    return "  [\u2713] Created Start Menu shortcut -> " + debug_quote(path) + "\n";
}

std::string desktop_created_line(std::string_view path) {
    return "  [\u2713] Created Desktop shortcut -> " + debug_quote(path) + "\n";
}

std::string shortcut_failed_line(std::string_view label, std::string_view path,
                                 std::string_view reason) {
    return "  [!] Could not create " + std::string(label) + " shortcut -> " + debug_quote(path) +
           ": " + std::string(reason) + "\n";
}

std::string shortcut_no_folder_reason(std::string_view label) {
    return "no " + std::string(label) + " folder is known for this user";
}

std::string shortcut_no_folder_line(std::string_view label) {
    return "  [!] Could not create " + std::string(label) +
           " shortcut: " + shortcut_no_folder_reason(label) + "\n";
}

std::string uninstall_entry_failed_line(std::string_view subkey, std::string_view reason) {
    return "  [!] Could not register the uninstaller in Windows Settings (HKCU\\" +
           std::string(subkey) + "): " + std::string(reason) + "\n";
}

std::string uninstall_command(std::string_view install_path) {
    return in_double_quotes(path_join(install_path, kSetupCopyName)) + " --uninstall";
}

std::string display_icon(std::string_view icon_path, std::string_view runner_path,
                         bool icon_exists) {
    if (icon_exists) return in_double_quotes(icon_path);
    return in_double_quotes(runner_path) + ",0";
}

std::vector<UninstallValue> uninstall_values(std::string_view install_path,
                                             std::string_view icon_path,
                                             std::string_view runner_path, bool icon_exists) {
    // Paths that are not valid Unicode reach the registry with U+FFFD in place.
    return {
        {"DisplayName", std::string("Marrowlane")},
        {"DisplayVersion", std::string(build::kVersion)},
        {"Publisher", std::string("Marrowlane Contributors")},
        {"InstallLocation", sanitize_utf8(install_path)},
        {"UninstallString", sanitize_utf8(uninstall_command(install_path))},
        {"DisplayIcon", sanitize_utf8(display_icon(icon_path, runner_path, icon_exists))},
        {"NoModify", std::uint32_t{1}},
        {"NoRepair", std::uint32_t{1}},
    };
}

std::string quiet_uninstall_command(std::string_view install_path) {
    return uninstall_command(install_path) + " --cli -y";
}

std::uint32_t size_in_kib(std::uint64_t bytes) {
    const std::uint64_t kib = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    constexpr std::uint64_t kLargest = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(kib < kLargest ? kib : kLargest);
}

std::string install_date_text(LocalDate date) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02u%02u", date.year, date.month, date.day);
    return text;
}

std::vector<UninstallValue> package_manager_values(std::string_view install_path,
                                                   std::optional<std::uint64_t> folder_bytes,
                                                   LocalDate today) {
    std::vector<UninstallValue> values;
    values.push_back(
        {"QuietUninstallString", sanitize_utf8(quiet_uninstall_command(install_path))});
    if (folder_bytes) values.push_back({"EstimatedSize", size_in_kib(*folder_bytes)});
    values.push_back({"InstallDate", install_date_text(today)});
    return values;
}

}  // namespace ml
